#!/usr/bin/env bash
# scripts/farm/parallel.sh end to end: pieces on two job slots merge to the
# whole render; a piece that fails once is all that a second run renders.
#   parallel_test.sh BUILD_DIR
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/farm_support.sh"
command -v parallel >/dev/null || skip_missing "GNU parallel is not installed"
begin_farm_test
farm="$(dirname "${BASH_SOURCE[0]}")/../../scripts/farm/parallel.sh"

check_failure_and_resume "$farm" -j 2
# Four pieces in the first run, then the failed one alone.
[[ $(tail -n +2 "$work"/pieces/joblog-4-* | wc -l) == 5 ]] || fail "the job log does not hold 4 pieces and 1 retry"
echo "PASS"
