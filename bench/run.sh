#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ and runs them: orvanel-bench renders
# each scene by the reference (one thread, linear search) and by every fast
# path in the same run, compares the pictures byte for byte and prints
# Markdown tables; then the Google Benchmark kernels, when installed.
#   bench/run.sh [--quick] [--threads N] [--kernels-only | --no-kernels]
# The ratios are only as good as the machine is quiet: on a shared machine
# run it when nothing else runs (see `uptime`).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
render_args=()
kernels=1
renders=1
for arg in "$@"; do
  case "$arg" in
    --kernels-only) renders=0 ;;
    --no-kernels) kernels=0 ;;
    *) render_args+=("$arg") ;;
  esac
done
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_BUILD_VIEWER=OFF \
  -DORVANEL_BUILD_TESTS=OFF -DORVANEL_BUILD_CLI=OFF -DORVANEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j 2 --target orvanel-bench
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
if [[ $renders == 1 ]]; then
  (cd "$root" && "$build/orvanel-bench" --scenes scenes "${render_args[@]}")
fi
if [[ $kernels == 1 ]] && cmake --build "$build" -j 2 --target kernel-bench 2>/dev/null; then
  "$build/kernel-bench" --benchmark_min_time=0.2
fi
