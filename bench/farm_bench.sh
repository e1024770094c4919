#!/usr/bin/env bash
# The cost of rendering in pieces: one whole render on two threads against
# four pieces through scripts/farm/parallel.sh on two job slots (counting
# passes, start-up and the merge included), in one run, on a soft-shadow
# render. Each piece takes the default threads, all the CPUs it may use, so
# the last piece running is not left on one core. Checks the bytes agree.
#   bench/farm_bench.sh [BUILD_DIR]    (default build/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
scene="$root/scenes/showcase.txt"
options=(--width 300 --lights on --depth 5 --shadows soft-jitter)

milliseconds() { date +%s%3N; }

start=$(milliseconds)
"$build/orvanel-render" "$scene" -o "$work/whole.ppm" "${options[@]}" --threads 2 --quiet
whole=$(($(milliseconds) - start))

start=$(milliseconds)
ORVANEL_RENDER="$build/orvanel-render" ORVANEL_MERGE="$build/orvanel-merge" \
  "$root/scripts/farm/parallel.sh" --tiles 4 -j 2 --workdir "$work/pieces" -o "$work/pieces.ppm" "$scene" \
  "${options[@]}" >/dev/null
pieces=$(($(milliseconds) - start))

cmp -s "$work/whole.ppm" "$work/pieces.ppm" || { echo "the pieces differ from the whole render" >&2; exit 1; }
awk -v whole="$whole" -v pieces="$pieces" 'BEGIN {
  printf "whole render, 2 threads:         %6d ms\n", whole
  printf "4 pieces, parallel.sh -j 2:      %6d ms\n", pieces
  printf "overhead of pieces:              %+6.1f %%\n", 100 * (pieces / whole - 1)
}'
