#!/bin/bash
# Whole-process find speed against grep on the same 200 MB files in the same run, best of 5:
#   folium-render DOC --find PHRASE   (every hit printed, then the page of the first drawn)
#   grep -c -F -i PHRASE DOC
# Usage: bench/find_vs_grep.sh BUILD_DIR [MEGABYTES]   (a release build; files go to a temporary folder)
set -euo pipefail
build=${1:?usage: find_vs_grep.sh BUILD_DIR [MEGABYTES]}
megabytes=${2:-200}
render="$build/tools/folium-render"
phrase="Lantern Glowed"
work=$(mktemp -d /tmp/find-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

# One megabyte of prose (or of HTML dense with tags), the phrase once in it, repeated.
python3 - "$work" "$megabytes" <<'PY'
import random, sys
work, megabytes = sys.argv[1], int(sys.argv[2])
rng = random.Random(5)
def prose(html):
    out, size = [], 0
    while size < 1 << 20:
        w = ''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(1, 10)))
        if html and rng.randrange(3) == 0:
            w = rng.choice(['<b>%s</b>', '<i class="n">%s</i>', '</p>\n<p>%s', '<span>%s</span>']) % w
        out.append(w); size += len(w) + 1
        out.append('\n' if rng.randrange(12) == 0 else ' ')
    out.insert(len(out) // 2, ' a lantern glowed ')
    return ''.join(out).encode()
for name, html in (('prose.txt', False), ('tags.html', True)):
    chunk = prose(html)
    with open(f'{work}/{name}', 'wb') as f:
        if html:
            f.write(b'<html><head><title>b</title></head><body><p>')
        for _ in range(megabytes):
            f.write(chunk)
PY

# Best wall time of five runs of a command, in seconds.
best() {
    local best=999999 t
    for _ in 1 2 3 4 5; do
        local start=$(date +%s.%N)
        # Through a pipe: grep stops at the first hit when its output is /dev/null.
        "$@" 2>/dev/null | cat >/dev/null || true
        t=$(echo "$(date +%s.%N) - $start" | bc)
        best=$(echo "if ($t < $best) $t else $best" | bc)
    done
    echo "$best"
}

for name in prose.txt tags.html; do
    file="$work/$name"
    size=$(stat -c %s "$file")
    hits=$("$render" "$file" --find "$phrase" --width 400 --height 300 2>/dev/null | grep -c '^HIT' || true)
    back=$("$render" "$file" --find-prev "$phrase" --width 400 --height 300 2>/dev/null | grep -c '^HIT' || true)
    g=$(best grep -c -F -i "$phrase" "$file")
    f=$(best "$render" "$file" --find "$phrase" --width 400 --height 300)
    b=$(best "$render" "$file" --find-prev "$phrase" --width 400 --height 300)
    mbs() { echo "scale=0; $size / 1048576 / $1" | bc; }
    echo "$name: $((size >> 20)) MB, $hits hits forward, $back backward"
    echo "  grep -c -F -i     ${g}s  $(mbs "$g") MB/s"
    echo "  folium --find     ${f}s  $(mbs "$f") MB/s  ($(echo "scale=2; $g / $f" | bc)x grep)"
    echo "  folium --find-prev ${b}s  $(mbs "$b") MB/s  ($(echo "scale=2; $f / $b" | bc)x forward)"
done
