#!/usr/bin/env bash
# Renders a picture in pieces with GNU parallel, on this machine or on hosts
# over ssh, then merges them here.
#
#   parallel.sh [--tiles N] [-j J] [--sshloginfile FILE] [--workdir DIR] -o OUT.png SCENE [render options]
#
# Over ssh every host must see the scene, the renderer and the work folder
# at the same paths (a shared file system). Run it again with the same
# --workdir after a failure: only the pieces that failed render again.
set -euo pipefail
farm_name="parallel.sh"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage() {
  sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
  cat <<'EOF_USAGE'

  --tiles N            horizontal bands, one job each (default 8)
  -j J                 pieces at a time per host (default: one per CPU)
  --sshloginfile FILE  hosts for parallel --sshloginfile (":" is this machine)
  --retries R          tries per piece within one run (default 1)
  --workdir DIR        pieces, job log and logs (default OUT.png.pieces)
  Renderer: $ORVANEL_RENDER, else build/orvanel-render beside scripts/, else PATH.
EOF_USAGE
}

farm_tiles=8 farm_workdir="" jobs="" retries=1 parallel_options=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --tiles) [[ $# -ge 2 ]] || farm_fail "--tiles needs a count"; farm_tiles="$2"; shift 2 ;;
    -j | --jobs) [[ $# -ge 2 ]] || farm_fail "$1 needs a count"; jobs="$2"; shift 2 ;;
    --sshloginfile) [[ $# -ge 2 ]] || farm_fail "--sshloginfile needs a file"; parallel_options+=(--sshloginfile "$2"); shift 2 ;;
    --retries) [[ $# -ge 2 ]] || farm_fail "--retries needs a count"; retries="$2"; shift 2 ;;
    --workdir) [[ $# -ge 2 ]] || farm_fail "--workdir needs a folder"; farm_workdir="$2"; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) break ;;
  esac
done
farm_parse_rest "$@"
command -v parallel >/dev/null || farm_fail "GNU parallel not found (Debian: apt-get install parallel)"
[[ -z "$jobs" ]] || parallel_options+=(-j "$jobs")

# The job log remembers what succeeded: --resume-failed runs the failed and
# the never-run pieces only. One log per command (count, scene, options), so
# a run with other settings does not take the old successes for its own.
command_key="$(printf '%s\n' "$farm_render" "$farm_scene" "$farm_tiles" "${farm_render_options[@]}" | sha256sum | cut -c1-12)"
joblog="$farm_workdir/joblog-$farm_tiles-$command_key"
echo "pieces: $farm_tiles, job log $joblog, logs in $farm_workdir/logs"
farm_record_run
logged_before=0
[[ ! -f "$joblog" ]] || logged_before="$(wc -l <"$joblog")"
failed_now() {  # jobs of this run that failed so far
  tail -n +$((logged_before + 1)) "$joblog" 2>/dev/null | awk -F'\t' '$1 ~ /^[0-9]+$/ && ($7 != 0 || $8 != 0) { n++ } END { print n + 0 }'
}
farm_progress_start
set +e
seq 0 $((farm_tiles - 1)) | parallel --will-cite --joblog "$joblog" --resume-failed --retries "$retries" \
  "${parallel_options[@]}" -q sh -c 'exec "$@" >>"$0" 2>&1' "$farm_workdir/logs/piece-{}.log" \
  "$farm_render" "$farm_scene" -o "$farm_workdir/piece-{}-of-$farm_tiles.png" --tile "{}/$farm_tiles" \
  --skip-existing "${farm_render_options[@]}" &
parallel_pid=$!
# A stopped script stops its pieces: parallel passes the signal on.
trap 'kill -TERM "$parallel_pid" 2>/dev/null' INT TERM
while kill -0 "$parallel_pid" 2>/dev/null; do
  farm_progress "$(failed_now)"
  sleep 1 &
  wait $! 2>/dev/null
done
wait "$parallel_pid"
parallel_status=$?
trap - INT TERM
farm_progress "$(failed_now)"
farm_progress_end
set -e

# The latest entry of every piece decides (Seq is the piece's index + 1).
failed=() first_status=0
while read -r index status signal; do
  [[ "$status" == 0 && "$signal" == 0 ]] && continue
  [[ "$status" != 0 ]] || status=$((128 + signal))
  failed+=("$index")
  [[ "$first_status" != 0 ]] || first_status="$status"
  echo "$farm_name: piece $index of $farm_tiles failed (exit status $status): see $farm_workdir/logs/piece-$index.log" >&2
  if farm_is_permanent "$status"; then
    echo "$farm_name:   status $status (bad scene or options) fails again on retry: fix the cause first" >&2
  fi
done < <(awk -F'\t' 'NR > 1 { last[$1] = ($1 - 1) " " $7 " " $8 } END { for (s in last) print last[s] }' "$joblog" | sort -n)
if [[ ${#failed[@]} -gt 0 || "$parallel_status" != 0 ]]; then
  [[ ${#failed[@]} -gt 0 ]] || { echo "$farm_name: GNU parallel failed (status $parallel_status)" >&2; first_status=1; }
  echo "$farm_name: failed pieces: ${failed[*]:-none recorded}; $farm_output not written" >&2
  echo "$farm_name: to resume, run the same command again (same --workdir): only the failed pieces render" >&2
  exit "$first_status"
fi

mapfile -t pieces < <(farm_all_pieces)
"$farm_merge" -o "$farm_output" "${pieces[@]}" 2>"$farm_workdir/logs/merge.log" || {
  status=$?
  cat "$farm_workdir/logs/merge.log" >&2
  echo "$farm_name: the merge failed (exit status $status); $farm_output not written" >&2
  exit "$status"
}
echo "written: $farm_output"
