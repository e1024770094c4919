#!/usr/bin/env bash
# The work --resume saves, and what its bands cost. On the showcase with
# supersampling and soft-jitter shadows (the long renders --resume is for),
# in one run:
#   1. a plain render, the whole picture;
#   2. an uninterrupted --resume render: the cost of the bands' files;
#   3. a --resume render killed (SIGKILL) once half its bands are written,
#      then the same command again, timed: the work it still had to do;
#   4. the worst case for the files: a band per row (ORVANEL_BAND_ROWS=1) on
#      a quick render (showcase, 300 px, soft-jitter), against a plain one.
# 1, 2 and 4 alternate, best of 2 rounds. Checks that every --resume
# picture has the plain render's bytes.
#   bench/resume_bench.sh [BUILD_DIR] [WIDTH]    (default build/, 120)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
width="${2:-120}"
work="$(mktemp -d)"
render_pid=""
trap '[[ -z "$render_pid" ]] || kill -KILL "$render_pid" 2>/dev/null; rm -rf "$work"' EXIT
render="$build/orvanel-render"
options=("$root/scenes/showcase.txt" --width "$width" --lights on --depth 2 --aa 10x10 --shadows soft-jitter
  --threads 2 --quiet)

milliseconds() { date +%s%3N; }
timed() {  # command...: runs it, prints its milliseconds
  local start
  start=$(milliseconds)
  "$@"
  echo $(($(milliseconds) - start))
}

least() { if (($1 < $2)); then echo "$1"; else echo "$2"; fi; }
quick=("$root/scenes/showcase.txt" --width 300 --lights on --depth 5 --shadows soft-jitter --threads 2 --quiet)

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
whole=999999999 banded=999999999 quick_plain=999999999 quick_rows=999999999
for round in 1 2; do
  whole=$(least "$whole" "$(timed "$render" "${options[@]}" -o "$work/whole.png")")
  banded=$(least "$banded" "$(timed "$render" "${options[@]}" -o "$work/banded.png" --resume 2>"$work/banded.err")")
  cmp -s "$work/whole.png" "$work/banded.png" || { echo "the --resume picture differs" >&2; exit 1; }
  quick_plain=$(least "$quick_plain" "$(timed "$render" "${quick[@]}" -o "$work/quick.png")")
  quick_rows=$(least "$quick_rows" "$(ORVANEL_BAND_ROWS=1 timed "$render" "${quick[@]}" -o "$work/rows.png" --resume 2>/dev/null)")
  cmp -s "$work/quick.png" "$work/rows.png" || { echo "the band-per-row picture differs" >&2; exit 1; }
done
bands="$(sed -n 's/^resume: \([0-9]*\) bands\{0,1\} in .*/\1/p' "$work/banded.err")"

# Killed once half the bands are there (polled: the event, not a time).
"$render" "${options[@]}" -o "$work/resumed.png" --resume 2>/dev/null &
render_pid=$!
half=$(((bands + 1) / 2))
while kill -0 "$render_pid" 2>/dev/null &&
  (($(find "$work/resumed.png.parts" -name 'band-*.png' 2>/dev/null | wc -l) < half)); do
  sleep 0.02
done
kill -KILL "$render_pid"
wait "$render_pid" 2>/dev/null || true
render_pid=""
kept=$(find "$work/resumed.png.parts" -name 'band-*.png' | wc -l)
second=$(timed "$render" "${options[@]}" -o "$work/resumed.png" --resume 2>/dev/null)
cmp -s "$work/whole.png" "$work/resumed.png" || { echo "the resumed picture differs" >&2; exit 1; }

awk -v w="$width" -v whole="$whole" -v banded="$banded" -v second="$second" -v bands="$bands" -v kept="$kept" \
  -v qp="$quick_plain" -v qr="$quick_rows" 'BEGIN {
  printf "showcase, %d px wide, depth 2, aa 10x10, soft-jitter, 2 threads: %d bands\n", w, bands
  printf "plain render:                          %7d ms\n", whole
  printf "--resume, uninterrupted:               %7d ms  (%+.1f %% for the bands)\n", banded, 100 * (banded / whole - 1)
  printf "--resume again after SIGKILL at %d of %d bands: %7d ms  (%.0f %% of a plain render)\n", kept, bands, second, 100 * second / whole
  printf "work saved by resuming:                %6.0f %%  (bands kept: %.0f %%)\n", 100 * (1 - second / whole), 100 * kept / bands
  printf "showcase, 300 px, soft-jitter: plain %d ms, --resume with a band per row (225 files) %d ms (%+.1f %%)\n", qp, qr, 100 * (qr / qp - 1)
}'
