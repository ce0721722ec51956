#!/bin/sh
# folium-render's find options: HIT rows in order from --position, backward nearest first, the
# options, and a message for a percentage out of range.
set -eu
render=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export QT_QPA_PLATFORM=offscreen
printf 'x caf&eacute; y <b title="cafe">CAF&Eacute;</b> Cafeteria\n' > "$dir/a.html"
expect() {
    got=$("$render" "$dir/a.html" "$@" 2>/dev/null | grep '^HIT' | tr '\n' ' ')
    [ "$got" = "$want" ] || { echo "folium-render $*: got '$got', want '$want'"; exit 1; }
}
want='HIT 2 13 HIT 32 43 '; expect --find 'café'
want='HIT 32 43 '; expect --find 'café' --position 3
want='HIT 2 13 '; expect --find 'café' --match-case
want='HIT 32 43 HIT 2 13 '; expect --find-prev 'CAFÉ'
want='HIT 2 13 '; expect --find-prev 'CAFÉ' --position 32
want='HIT 2 5 HIT 32 35 HIT 48 51 '; expect --find 'caf'
want='HIT 48 57 '; expect --find 'Cafeteria' --whole-words
want=''; expect --find 'cafe' --whole-words
if "$render" "$dir/a.html" --goto-percent 120 2>/dev/null; then echo "--goto-percent 120 was taken"; exit 1; fi
"$render" "$dir/a.html" --goto-percent 50% --name 2>/dev/null | grep -q '^PAGENO 1$'
