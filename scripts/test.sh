#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the release build: every test (unit, CLI, viewer, end-to-end);
#   2. a ThreadSanitizer build: the tests labelled "threads";
#   3. an AddressSanitizer + UndefinedBehaviorSanitizer build: every test
#      but the end-to-end ones.
# ORVANEL_QUICK=1 runs the release build only. The exit status is the tests'.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/setup.sh

jobs="$(nproc)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
status=0

run_suite() {  # name, build dir, ctest arguments..., -- cmake arguments...
  local name="$1" dir="$2"
  shift 2
  local ctest_args=()
  while [[ $# -gt 0 && "$1" != "--" ]]; do ctest_args+=("$1"); shift; done
  [[ $# -gt 0 ]] && shift
  echo "=== $name ==="
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  if ! ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${ctest_args[@]}"; then
    echo "=== $name: FAILED ==="
    status=1
  fi
}

run_suite "release" build -- -DCMAKE_BUILD_TYPE=Release

if [[ "${ORVANEL_QUICK:-0}" != 1 ]]; then
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  run_suite "thread sanitizer" build-tsan -L threads -- \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEL_SANITIZE=thread -DORVANEL_BUILD_BENCH=OFF
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  run_suite "address and undefined-behaviour sanitizers" build-asan -LE e2e -- \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEL_SANITIZE=address,undefined -DORVANEL_BUILD_BENCH=OFF
fi

exit "$status"
