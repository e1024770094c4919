# Shared by the farm script tests: the skip policy, a work folder with its
# clean-up, the reference picture and a renderer that fails once for one
# piece. Sourced with BUILD set.

source "$(dirname "${BASH_SOURCE[0]}")/../skip_missing.sh"
scene="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scenes" && pwd)/shadows.txt"
status_script="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/farm" && pwd)/status.sh"
render_options=(--width 48 --lights on --shadows soft-jitter --depth 2)
export ORVANEL_MERGE="$BUILD/orvanel-merge"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The work folder, and the trap that removes it (after `farm_test_cleanup`,
# when the test defines one) set before anything runs; then the whole
# picture, rendered in one run, as the pieces must give it back.
begin_farm_test() {
  work="$(mktemp -d "${TMPDIR:-/tmp}/orvanel-farm-test.XXXXXX")"
  trap 'if declare -F farm_test_cleanup >/dev/null; then farm_test_cleanup; fi; rm -rf "$work"' EXIT
  "$BUILD/orvanel-render" "$scene" -o "$work/whole.ppm" "${render_options[@]}" --quiet
}

# A renderer that fails with status 4 (an output error: worth a retry) the
# first time it is asked for piece $1, then renders as usual.
make_flaky_renderer() {  # tile "I/N"
  cat >"$work/flaky-render" <<EOF_FLAKY
#!/bin/bash
for argument; do
  if [[ "\$argument" == "$1" ]] && mkdir "$work/failed-once" 2>/dev/null; then
    echo "flaky-render: failing piece $1 on purpose" >&2
    exit 4
  fi
done
exec "$BUILD/orvanel-render" "\$@"
EOF_FLAKY
  chmod +x "$work/flaky-render"
  export ORVANEL_RENDER="$work/flaky-render"
}

inodes() {  # the pieces' inode numbers, to tell a kept piece from a new one
  stat -c '%n %i' "$work"/pieces/piece-*.png
}

# Runs the farm script twice with piece 2 of 4 failing the first time: the
# first run must fail naming that piece and write nothing; the second must
# render that piece alone and end with the whole render's pixels.
check_failure_and_resume() {  # script arguments before -o...
  make_flaky_renderer 2/4
  local status=0
  "$@" --tiles 4 --workdir "$work/pieces" -o "$work/out.ppm" "$scene" "${render_options[@]}" 2>"$work/first.err" ||
    status=$?
  cat "$work/first.err"
  [[ "$status" == 4 ]] || fail "the first run ended with status $status, not the piece's 4"
  grep -q "failed pieces: 2\b" "$work/first.err" || fail "the failed piece is not named"
  grep -q "run the same command again" "$work/first.err" || fail "no word on how to resume"
  [[ ! -e "$work/out.ppm" ]] || fail "a picture was written although a piece failed"
  [[ ! -e "$work/pieces/piece-2-of-4.png" ]] || fail "the failed piece left a file"
  grep -q "^pieces: [0-9] of 4 done, [01] failed" "$work/first.err" || fail "no progress line while waiting"
  # Pieces that the first run still renders after its end must not count as the second run's.
  if declare -F settle_first_run >/dev/null; then settle_first_run; fi
  inodes | grep -v piece-2-of-4 >"$work/kept.before"
  [[ $(wc -l <"$work/kept.before") == 3 ]] || fail "the first run did not render the other three pieces"

  local state=0
  "$status_script" "$work/pieces" >"$work/status.out" || state=$?
  cat "$work/status.out"
  [[ "$state" == 1 ]] || fail "status.sh exited $state with a piece missing"
  grep -qx "pieces: 3 of 4 done, 0 failed, .*" "$work/status.out" || fail "status.sh does not count 3 of 4"
  grep -qx "missing: 2" "$work/status.out" || fail "status.sh does not name the missing piece"

  "$@" --tiles 4 --workdir "$work/pieces" -o "$work/out.ppm" "$scene" "${render_options[@]}" 2>"$work/second.err" ||
    { cat "$work/second.err"; fail "the second run failed"; }
  cat "$work/second.err"
  grep -q "^pieces: 4 of 4 done, 0 failed" "$work/second.err" || fail "the progress never showed 4 of 4"
  inodes | grep -v piece-2-of-4 >"$work/kept.after"
  cmp -s "$work/kept.before" "$work/kept.after" || fail "pieces that were already done were rendered again"
  cmp "$work/out.ppm" "$work/whole.ppm" || fail "the merged picture differs from the whole render"
  "$status_script" "$work/pieces" | grep -qx "pieces: 4 of 4 done, 0 failed, none left to render" ||
    fail "status.sh does not see the finished run"

  # A piece cut short is named as broken.
  head -c 200 "$work/pieces/piece-1-of-4.png" >"$work/short.png"
  mv "$work/short.png" "$work/pieces/piece-1-of-4.png"
  state=0
  "$status_script" "$work/pieces" >"$work/status.out" || state=$?
  [[ "$state" == 1 ]] || fail "status.sh exited $state with a broken piece"
  grep -q "^broken: $work/pieces/piece-1-of-4.png: damaged or incomplete PNG" "$work/status.out" ||
    { cat "$work/status.out"; fail "status.sh does not name the broken piece"; }
}
