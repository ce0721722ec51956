#!/usr/bin/env bash
# Times a start of the reader from process start to the first page painted, under a virtual X
# server, for texts of several sizes restored at their middle (as after a restart).
# Usage: scripts/first-page.sh [SIZE_MB...]   (default: 0.6 20 63)
# Prints, per size, the median and the slowest of 10 starts in wall-clock milliseconds and the
# median CPU seconds (user + system).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
folium_install_deps xvfb xauth

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFOLIUM_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target folium -j "${FOLIUM_JOBS:-2}" >/dev/null
program=$PWD/build/release/shell/folium

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(0.6 20 63)

paragraph="    The rabbit-hole went straight on like a tunnel for some way, and then dipped suddenly down, so suddenly that Alice had not a moment to think about stopping herself before she found herself falling down a very deep well."
for size in "${sizes[@]}"; do
    book="$work/book-$size.txt"
    bytes=$(awk -v s="$size" 'BEGIN { printf "%d", s * 1000000 }')
    { yes "$paragraph" || true; } | head -c "$bytes" > "$book"
done

cat > "$work/measure.sh" <<'INNER'
set -euo pipefail
program=$1; work=$2; shift 2
for size in "$@"; do
    book="$work/book-$size.txt"
    middle=$(( $(stat -c %s "$book") / 2 ))
    walls=(); cpus=()
    for run in $(seq 10); do
        rm -rf "$work/home"; mkdir -p "$work/home/.config"
        printf '[Global]\nFontname=DejaVu Serif\nFontsize=18\nBold=false\nSpacing=8\nMargin=48\nFile=%s\nPosition=%s\n' \
            "$book" "$middle" > "$work/home/.config/Folium.conf"
        start=$(date +%s%N)
        cpu=$( { TIMEFORMAT='%U %S'; time HOME=$work/home XDG_CONFIG_HOME=$work/home/.config \
                 XDG_DATA_HOME=$work/home/.local/share FOLIUM_QUIT_AFTER_FIRST_PAGE=1 "$program" >/dev/null 2>&1; } 2>&1 )
        end=$(date +%s%N)
        walls+=( $(( (end - start) / 1000000 )) )
        cpus+=( "$(awk '{ printf "%.3f", $1 + $2 }' <<<"$cpu")" )
    done
    wall_sorted=$(printf '%s\n' "${walls[@]}" | sort -n)
    cpu_median=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n 5p)
    printf '%6s MB: first page after %s ms (median), %s ms (slowest); %s CPU s (median)\n' "$size" \
        "$(sed -n 5p <<<"$wall_sorted")" "$(tail -1 <<<"$wall_sorted")" "$cpu_median"
done
INNER
xvfb-run -a -s "-screen 0 1600x1000x24" bash "$work/measure.sh" "$program" "$work" "${sizes[@]}"
