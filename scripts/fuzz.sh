#!/usr/bin/env bash
# Fuzzes the scene reader and renderer, then the model importer, for SECONDS
# in all (default 60, two thirds for the first):
#   scripts/fuzz.sh [SECONDS] [extra libFuzzer arguments...]
# Installs what is missing (clang and its fuzzer runtime), builds build-fuzz and
# runs from corpora in build-fuzz: corpus seeded with scenes/*.txt, and
# import-corpus. A finding is left in build-fuzz/findings and makes the exit
# status non-zero.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

seconds="${1:-60}"
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: scripts/fuzz.sh SECONDS [libFuzzer arguments...]" >&2
  exit 2
fi

scripts/setup.sh  # clang and its fuzzer runtime among the rest

dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEL_FUZZ=ON \
  -DORVANEL_BUILD_VIEWER=OFF -DORVANEL_BUILD_CLI=OFF -DORVANEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target scene_fuzzer import_fuzzer

mkdir -p "$dir/corpus" "$dir/import-corpus" "$dir/findings"
shopt -s nullglob
for scene in scenes/*.txt; do cp -- "$scene" "$dir/corpus/"; done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
scene_seconds=$(((seconds * 2 + 2) / 3))
import_seconds=$((seconds - scene_seconds > 0 ? seconds - scene_seconds : 1))
status=0
"$dir/scene_fuzzer" "$dir/corpus" \
  -dict=tests/fuzz/scene.dict -max_total_time="$scene_seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$dir/findings/" -print_final_stats=1 "$@" || status=$?
"$dir/import_fuzzer" "$dir/import-corpus" \
  -max_total_time="$import_seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$dir/findings/import-" -print_final_stats=1 "$@" || status=$?
if ((status != 0)); then
  echo "=== fuzzing found a fault; the input is in $dir/findings ===" >&2
fi
exit "$status"
