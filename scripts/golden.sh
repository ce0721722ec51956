#!/usr/bin/env bash
# Golden outputs: renders a fixed set of generated documents (text, HTML, zip, gzip, PalmDoc,
# Plucker, every rotation, several encodings, paging both ways, names, contents, a translation
# page) with folium-render, as line listings and PNGs. Save them before a restructuring and check
# them after: every file must be byte-identical.
#
#   scripts/golden.sh save  [BUILD_DIR] [GOLDEN_DIR]   # render and keep the outputs
#   scripts/golden.sh check [BUILD_DIR] [GOLDEN_DIR]   # render again and compare
#
# BUILD_DIR defaults to build/release (built if missing), GOLDEN_DIR to build/golden.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
build=${2:-build/release}
golden=${3:-build/golden}
case "$mode" in
    save|check) ;;
    *) echo "usage: scripts/golden.sh save|check [BUILD_DIR] [GOLDEN_DIR]" >&2; exit 2 ;;
esac

if [ ! -x "$build/tools/folium-render" ] || [ ! -x "$build/tools/folium-dict" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFOLIUM_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target folium-render folium-dict -j "$(nproc 2>/dev/null || echo 2)"
fi
render=$(realpath "$build/tools/folium-render")
dict=$(realpath "$build/tools/folium-dict")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
docs="$work/docs"
out="$work/out"
mkdir -p "$out"
python3 scripts/golden_docs.py "$docs"
"$dict" build "$docs/words.tsv" "$docs/words.dic" >/dev/null

export QT_QPA_PLATFORM=offscreen
# Each case: a name, the document, then folium-render options. Every case writes NAME.txt
# (standard output and the exit status) and NAME.png.
run() {
    local name=$1 doc=$2
    shift 2
    local status=0
    (cd "$work" && "$render" "docs/$doc" --font "DejaVu Sans" --out "out/$name.png" "$@") \
        >"$out/$name.txt" 2>&1 || status=$?
    echo "exit $status" >>"$out/$name.txt"
}

run text-lines          text.txt --lines --page 6 --events "prev prev next"
run text-computed-back  text.txt --lines --position 20000 --events "prev prev prev"
run text-options        text.txt --lines --page 3 --no-justify --size 16 --bold --italic --margin 10 --indent 30 --spacing 5
run text-no-reparagraph text.txt --lines --page 2 --no-reparagraph --events "prev"
run text-regexp         text.txt --lines --page 2 --regexp '^\s*$|^[A-Z]' --events "prev"
run text-bar-jump       text.txt --lines --bar --events "tap:300,796 prev"
run text-keys           text.txt --lines --events "key:Down key:Down key:Up key:Right key:Left key:B key:S"
for r in 0 -90 90 180; do
    run "text-rotation$r" text.txt --lines --rotation "$r" --page 2 --events "prev key:Up key:Left"
done
run text-name           text.txt --page 4 --name --contents "out/text-contents.cnt"
run text-as-html        text.txt --lines --strip-html --page 2
run html-lines          page.html --lines --page 3 --events "prev prev"
run html-name           page.html --page 2 --name --contents "out/html-contents.cnt"
run html-narrow         page.html --lines --width 180 --height 240 --page 5 --events "prev"
run zip                 archive.zip --lines --page 2
run gzip                packed.txt.gz --lines --page 2 --events "prev"
run palmdoc             palmdoc.pdb --lines --page 3 --events "prev prev"
run plucker             plucker.pdb --lines --events "next prev tap:320,28 back tap:520,28 next back"
run plucker-back        plucker.pdb --lines --page 4 --events "prev prev"
run russian-utf8        russian-utf8.txt --lines --page 2 --events "prev"
run russian-cp1251      russian-cp1251.txt --lines --encoding "CP 1251" --page 2 --events "prev"
run russian-koi8r       russian-koi8r.txt --lines --encoding "KOI8-R" --page 2
run greek               greek-iso8859-7.txt --lines --encoding "ISO 8859-7" --page 2
run french-codec        french-latin1.txt --lines --encoding "ISO-8859-1" --page 2 --events "prev"
run russian-automatic   russian-cp1251.txt --lines --encoding Automatic --page 2 --events "prev"
run russian-utf16       russian-utf16.txt --lines --encoding Automatic --page 3 --events "prev prev"
run windows-text        windows.txt --lines --page 2 --events "prev"
run hostile-html        hostile.html --lines --page 3 --events "prev prev"
run hostile-html-strip  hostile.html --lines --strip-newlines --page 2 --events "prev" --contents "out/hostile.cnt"
run translation         text.txt --dictionary "docs/words.dic" --events "tap:60,12 key:Backspace key:x"
run translation-error   text.txt --dictionary "docs/missing.dic" --events "tap:60,12"

if [ "$mode" = save ]; then
    rm -rf "$golden"
    mkdir -p "$golden"
    cp -r "$out/." "$golden/"
    echo "saved $(ls "$golden" | wc -l) golden outputs in $golden"
    exit 0
fi
if diff -r "$golden" "$out" >"$work/diff.txt"; then
    echo "all $(ls "$out" | wc -l) golden outputs are byte-identical"
else
    echo "golden outputs differ:" >&2
    head -n 60 "$work/diff.txt" >&2
    exit 1
fi
