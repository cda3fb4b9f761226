#!/usr/bin/env bash
# Stitches the same 3x4 page of realistic tiles (400x528, quality 85, a 1200x2112 page)
# with PageStitcher, with libvips (vips arrayjoin) and with ImageMagick (convert
# +append/-append), and reports ms per page and peak memory of each.
#
#   bench/stitch_compare.sh [BUILD_DIR] [RUNS] [PAGES]
#
# BUILD_DIR holds bench/stitch_bench (default: build). The other tools run once per
# page as separate processes, RUNS times (default 10); their figures include process
# start, shown on its own as "vips start". Ours stitches PAGES pages (default 50) in one
# process, which is how the program uses it; wall and CPU figures are per page.
set -euo pipefail

build=${1:-build}
runs=${2:-10}
pages=${3:-50}
bench="$build/bench/stitch_bench"
[[ -x $bench ]] || { echo "no $bench: build the stitch_bench target first" >&2; exit 1; }
for tool in vips convert /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --dump-tiles "$work/tiles" >/dev/null

tiles=()
rows=()
for r in 1 2 3 4; do
  row=()
  for c in 1 2 3; do
    row+=("$work/tiles/0001_${r}_${c}.jpg")
  done
  tiles+=("${row[@]}")
  rows+=("(" "${row[@]}" "+append" ")")
done
tile_kb=$(du -cb "${tiles[@]}" | awk 'END { printf "%.0f", $1 / 12 / 1024 }')
echo "tiles: 12 x 400x528, ${tile_kb} KB average; page 1200x2112; $runs runs per tool, $pages pages for ours"

# Runs "$@" $runs times under /usr/bin/time; prints wall and CPU ms per run and peak RSS.
measure() {
  local name=$1
  shift
  local stats
  stats=$( { /usr/bin/time -f '%e %U %S %M' bash -c '
      n=$1; shift
      for ((i = 0; i < n; i++)); do "$@" >/dev/null || exit 1; done' _ "$runs" "$@" ; } 2>&1 >/dev/null | tail -1)
  read -r wall user sys rss <<<"$stats"
  awk -v name="$name" -v w="$wall" -v u="$user" -v s="$sys" -v m="$rss" -v n="$runs" 'BEGIN {
    printf "%-12s %7.1f ms/page wall %7.1f ms/page cpu   peak %6.1f MiB\n", name, 1000 * w / n, 1000 * (u + s) / n, m / 1024 }'
}

measure "vips start" vips --vips-version
measure "vips" vips arrayjoin "${tiles[*]}" "$work/vips.jpg[Q=90]" --across 3
measure "imagemagick" convert "${rows[@]}" -append -quality 90 -sampling-factor 2x2 "$work/im.jpg"

ours=$( { /usr/bin/time -f '%M' "$bench" --stitch-pages "$pages" "$work/ours" "$work/tiles" ; } 2>&1 )
per_page=$(head -1 <<<"$ours")
rss=$(tail -1 <<<"$ours")
awk -v line="$per_page" -v m="$rss" 'BEGIN {
  split(line, f, " ")
  printf "%-12s %7.1f ms/page wall %7.1f ms/page cpu   peak %6.1f MiB (whole process, %s pages)\n", "ours", f[1], f[4], m / 1024, f[8] }'
