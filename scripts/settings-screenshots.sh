#!/usr/bin/env bash
# Pictures of the settings page, one per tab, in a small window: starts the reader under a
# virtual X server of the given size with a sample document, opens "Settings" from the "File"
# menu with the keyboard, steps through the tabs and dumps the screen after each.
# Usage: scripts/settings-screenshots.sh [out-folder [width height]]
# FOLIUM_BUILD_DIR names an already configured build folder to use instead of build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
folium_install_deps xvfb xauth x11-apps xdotool

out=${1:-build/settings-shots}
width=${2:-480}
height=${3:-640}

build=${FOLIUM_BUILD_DIR:-build/release}
if [ -z "${FOLIUM_BUILD_DIR:-}" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFOLIUM_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target folium -j "${FOLIUM_JOBS:-1}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/books/dicts" "$work/config"
book="$work/home/books/sample.txt"
for i in $(seq 1 40); do
    echo "    Paragraph $i of a sample text for the settings pictures, long enough to wrap."
done > "$book"
touch "$work/home/books/dicts/english.dic" "$work/home/books/dicts/german.dic"

cat > "$work/config/Folium.conf" <<INI
[Global]
Fontname=DejaVu Sans
Fontsize=14
Justify=true
ParagraphRegexp=^\\\\s+|^\\\\s*$
BarVisible=true
Encoding=UTF-8
Rotation=0
Indent=16
Margin=4
Spacing=3
Scroll=200
File=$book
Folderpath=$work/home/books
Position=0
Paragraph=true
InternalDictionary=true
DictionaryPath=$work/home/books/dicts/english.dic
INI

mkdir -p "$out"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
xvfb-run -a -s "-screen 0 ${width}x${height}x24" bash -c '
    work=$0 folium=$1
    "$folium" &
    pid=$!
    sleep "${FOLIUM_SHOT_DELAY:-4}"
    win=$(xdotool search --sync --onlyvisible --name "^Folium" | head -n 1)
    # No window manager here to maximise the window: give it the screen by hand.
    xdotool windowmove "$win" 0 0 windowsize --sync "$win" "$2" "$3" && sleep 1
    xdotool windowfocus --sync "$win" && sleep 1
    xdotool key F11 && sleep 1
    xdotool key Down Down Return && sleep 1   # past "Open" to "Settings"
    for tab in 1 2 3; do
        xwd -root -silent > "$work/tab$tab.xwd"
        xdotool key Right && sleep 1
    done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' "$work" "$build/shell/folium" "$width" "$height"

for tab in 1 2 3; do
    python3 scripts/xwd2png.py "$work/tab$tab.xwd" "$out/settings-tab$tab.png" "$width" "$height"
done
echo "Wrote $out/settings-tab1.png .. settings-tab3.png"
