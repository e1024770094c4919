# Shared by the farm script tests: a work folder, the reference picture and a
# renderer that fails once for one piece. Sourced with BUILD set.

work="$(mktemp -d "${TMPDIR:-/tmp}/orvanel-farm-test.XXXXXX")"
scene="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scenes" && pwd)/shadows.txt"
render_options=(--width 48 --lights on --shadows soft-jitter --depth 2)
export ORVANEL_MERGE="$BUILD/orvanel-merge"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The whole picture, rendered in one run, as the pieces must give it back.
"$BUILD/orvanel-render" "$scene" -o "$work/whole.ppm" "${render_options[@]}" --quiet

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
  # Pieces that the first run still renders after its end must not count as the second run's.
  if declare -F settle_first_run >/dev/null; then settle_first_run; fi
  inodes | grep -v piece-2-of-4 >"$work/kept.before"
  [[ $(wc -l <"$work/kept.before") == 3 ]] || fail "the first run did not render the other three pieces"

  "$@" --tiles 4 --workdir "$work/pieces" -o "$work/out.ppm" "$scene" "${render_options[@]}" ||
    fail "the second run failed"
  inodes | grep -v piece-2-of-4 >"$work/kept.after"
  cmp -s "$work/kept.before" "$work/kept.after" || fail "pieces that were already done were rendered again"
  cmp "$work/out.ppm" "$work/whole.ppm" || fail "the merged picture differs from the whole render"
}
