#!/usr/bin/env bash
# Takes the README's picture of the reader as a new user sees it: builds the release program,
# starts it under a virtual X server with no settings at all and a sample book named on the
# command line, dumps the screen and writes docs/screenshot.png.
# Usage: scripts/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
folium_install_deps xvfb xauth x11-apps

out=${1:-docs/screenshot.png}
width=1280
height=800

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFOLIUM_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target folium -j "${FOLIUM_JOBS:-$(nproc 2>/dev/null || echo 2)}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/books" "$work/config"
book="$work/home/books/alice.txt"
cat > "$book" <<'TEXT'
CHAPTER I. Down the Rabbit-Hole

    Alice was beginning to get very tired of sitting by her sister on the bank, and of having nothing to do: once or twice she had peeped into the book her sister was reading, but it had no pictures or conversations in it, "and what is the use of a book," thought Alice "without pictures or conversations?"

    So she was considering in her own mind (as well as she could, for the hot day made her feel very sleepy and stupid), whether the pleasure of making a daisy-chain would be worth the trouble of getting up and picking the daisies, when suddenly a White Rabbit with pink eyes ran close by her.

    There was nothing so very remarkable in that; nor did Alice think it so very much out of the way to hear the Rabbit say to itself, "Oh dear! Oh dear! I shall be late!" (when she thought it over afterwards, it occurred to her that she ought to have wondered at this, but at the time it all seemed quite natural); but when the Rabbit actually took a watch out of its waistcoat-pocket, and looked at it, and then hurried on, Alice started to her feet, for it flashed across her mind that she had never before seen a rabbit with either a waistcoat-pocket, or a watch to take out of it, and burning with curiosity, she ran across the field after it, and fortunately was just in time to see it pop down a large rabbit-hole under the hedge.

    In another moment down went Alice after it, never once considering how in the world she was to get out again.

    The rabbit-hole went straight on like a tunnel for some way, and then dipped suddenly down, so suddenly that Alice had not a moment to think about stopping herself before she found herself falling down a very deep well.

    Either the well was very deep, or she fell very slowly, for she had plenty of time as she went down to look about her and to wonder what was going to happen next. First, she tried to look down and make out what she was coming to, but it was too dark to see anything; then she looked at the sides of the well, and noticed that they were filled with cupboards and book-shelves; here and there she saw maps and pictures hung upon pegs.
TEXT

HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
xvfb-run -a -s "-screen 0 ${width}x${height}x24" bash -c '
    build/release/shell/folium -geometry "$1" "$2" &
    pid=$!
    sleep "${FOLIUM_SHOT_DELAY:-4}"
    xwd -root -silent > "$0/screen.xwd"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' "$work" "${width}x${height}+0+0" "$book"

mkdir -p "$(dirname "$out")"
python3 scripts/xwd2png.py "$work/screen.xwd" "$out" "$width" "$height"
echo "Wrote $out"
