#!/usr/bin/env bash
# Makes the reader's default dictionary (English-German, from Debian's FreeDict data package) when
# the user has none yet: $XDG_DATA_HOME/folium/dictionary.dic, or ~/.local/share/... by default.
# Usage: scripts/default-dictionary.sh FOLIUM_DICT_TOOL
# Set FOLIUM_NO_DICTIONARY=1 to skip. Failing here never stops the reader from starting.
set -u
tool=$1
[ "${FOLIUM_NO_DICTIONARY:-0}" = 1 ] && exit 0
target="${XDG_DATA_HOME:-$HOME/.local/share}/folium/dictionary.dic"
[ -e "$target" ] && exit 0
package=dict-freedict-eng-deu
index=/usr/share/dictd/freedict-eng-deu.index
data=/usr/share/dictd/freedict-eng-deu.dict.dz
if [ ! -r "$index" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "No dictionary yet. For one, install $package (apt-get install $package) and run this again." >&2
        exit 0
    fi
    echo "Installing $package for the default dictionary..."
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$package" >/dev/null \
        || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$package" >/dev/null; } \
        || { echo "Could not install $package; the reader starts without a dictionary." >&2; exit 0; }
fi
mkdir -p "$(dirname "$target")"
echo "Making the default dictionary at $target..."
"$tool" import-dictd "$index" "$data" "$target.part" && mv "$target.part" "$target" \
    || { rm -f "$target.part"; echo "Could not make the default dictionary." >&2; }
exit 0
