#!/usr/bin/env bash
# Renders a picture on a Slurm cluster: one job array with a task per piece
# and a merge job that runs once every piece has succeeded.
#
#   slurm.sh [--tiles N] [--wait] [--workdir DIR] [--sbatch "ARGS"] -o OUT.png SCENE [render options]
#
# The scene, the work folder and OUT's folder must be on storage that every
# node sees at the same path. Run it again with the same --workdir after a
# failure: valid pieces are kept (--skip-existing), only the rest render.
set -euo pipefail
farm_name="slurm.sh"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage() {
  sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
  cat <<'EOF_USAGE'

  --tiles N        horizontal bands, one array task each (default 8)
  --wait           wait for the merge and exit with its status; a failed
                   piece ends the wait at once and cancels the merge
  --workdir DIR    pieces, job scripts and logs (default OUT.png.pieces)
  --sbatch "ARGS"  more sbatch options for both jobs, e.g. "--partition=big --time=2:00:00"
  Renderer: $ORVANEL_RENDER, else build/orvanel-render beside scripts/, else PATH.
EOF_USAGE
}

farm_tiles=8 farm_workdir="" wait_for_merge=0 sbatch_options=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --tiles) [[ $# -ge 2 ]] || farm_fail "--tiles needs a count"; farm_tiles="$2"; shift 2 ;;
    --workdir) [[ $# -ge 2 ]] || farm_fail "--workdir needs a folder"; farm_workdir="$2"; shift 2 ;;
    --sbatch) [[ $# -ge 2 ]] || farm_fail "--sbatch needs options"; read -r -a more <<<"$2"; sbatch_options+=("${more[@]}"); shift 2 ;;
    --wait) wait_for_merge=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) break ;;
  esac
done
farm_parse_rest "$@"
command -v sbatch >/dev/null || farm_fail "sbatch not found: is this a Slurm login node?"

# The job scripts name everything by absolute path, so they run from any node.
piece_script="$farm_workdir/piece-job.sh"
{
  echo '#!/bin/bash'
  echo "# Piece \$SLURM_ARRAY_TASK_ID of $farm_tiles, written by slurm.sh."
  echo 'i="$SLURM_ARRAY_TASK_ID"'
  printf 'exec %q %q -o %q"/piece-$i-of-%s.png" --tile "$i/%s" --skip-existing' \
    "$farm_render" "$farm_scene" "$farm_workdir" "$farm_tiles" "$farm_tiles"
  printf ' %q' "${farm_render_options[@]}"
  echo
} >"$piece_script"
merge_script="$farm_workdir/merge-job.sh"
{
  echo '#!/bin/bash'
  printf 'exec %q -o %q' "$farm_merge" "$farm_output"
  while read -r piece; do printf ' %q' "$piece"; done < <(farm_all_pieces)
  echo
} >"$merge_script"
chmod +x "$piece_script" "$merge_script"

job_id() { cut -d';' -f1; }  # --parsable prints ID or ID;CLUSTER
array_job="$(sbatch --parsable --job-name=orvanel-pieces --array="0-$((farm_tiles - 1))" \
  --output="$farm_workdir/logs/piece-%a.log" --open-mode=append "${sbatch_options[@]}" "$piece_script" | job_id)"
merge_job="$(sbatch --parsable --job-name=orvanel-merge --dependency="afterok:$array_job" --kill-on-invalid-dep=yes \
  --output="$farm_workdir/logs/merge.log" --open-mode=append "${sbatch_options[@]}" "$merge_script" | job_id)" || {
  scancel "$array_job" || true
  farm_fail "could not submit the merge job; the pieces' job array $array_job was cancelled"
}
echo "pieces: job array $array_job ($farm_tiles tasks, logs in $farm_workdir/logs)"
echo "merge: job $merge_job, after every piece, writes $farm_output"
farm_record_run
[[ "$wait_for_merge" == 1 ]] || exit 0
farm_progress_start

# One line per job or array task: "TASK STATE EXITCODE" (a pending range
# of tasks shows as one line with its range).
job_states() {  # job id
  scontrol -o show job "$1" 2>/dev/null | sed -n \
    's/.*ArrayTaskId=\([^ ]*\).*JobState=\([A-Z_]*\).* ExitCode=\([0-9:]*\).*/\1 \2 \3/p; t; s/.*JobState=\([A-Z_]*\).* ExitCode=\([0-9:]*\).*/- \1 \2/p'
}
status_of() {  # exit code "S:SIG": the status, or 128 + the signal
  local code="${1%%:*}" signal="${1##*:}"
  if [[ "$code" != 0 ]]; then echo "$code"; elif [[ "$signal" != 0 ]]; then echo $((128 + signal)); else echo 1; fi
}

while :; do
  failed=() first_status=0 messages=()
  while read -r task state code; do
    case "$state" in
      FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY | BOOT_FAIL | DEADLINE | PREEMPTED)
        status="$(status_of "$code")"
        failed+=("$task")
        [[ "$first_status" != 0 ]] || first_status="$status"
        messages+=("$farm_name: piece $task of $farm_tiles failed ($state, exit status $status): see $farm_workdir/logs/piece-$task.log")
        if farm_is_permanent "$status"; then
          messages+=("$farm_name:   status $status (bad scene or options) fails again on retry: fix the cause first")
        fi
        ;;
    esac
  done < <(job_states "$array_job")
  farm_progress "${#failed[@]}"
  if [[ ${#failed[@]} -gt 0 ]]; then
    farm_progress_end
    printf '%s\n' "${messages[@]}" >&2
    scancel "$merge_job" 2>/dev/null || true
    echo "$farm_name: failed pieces: ${failed[*]}; merge job $merge_job cancelled, $farm_output not written" >&2
    echo "$farm_name: to resume, run the same command again (same --workdir): only missing pieces render" >&2
    exit "$first_status"
  fi

  read -r _ merge_state merge_code < <(job_states "$merge_job") || merge_state=GONE
  case "$merge_state" in
    COMPLETED) farm_progress_end; echo "written: $farm_output"; exit 0 ;;
    PENDING | CONFIGURING | RUNNING | COMPLETING | SUSPENDED | REQUEUED | RESIZING | SIGNALING | STAGE_OUT) ;;
    GONE)
      farm_progress_end
      echo "$farm_name: merge job $merge_job is no longer known to Slurm; see $farm_workdir/logs/merge.log" >&2
      exit 1 ;;
    *)
      farm_progress_end
      status="$(status_of "$merge_code")"
      echo "$farm_name: the merge failed ($merge_state, exit status $status): see $farm_workdir/logs/merge.log" >&2
      echo "$farm_name: to resume, run the same command again (same --workdir)" >&2
      exit "$status" ;;
  esac
  sleep 2
done
