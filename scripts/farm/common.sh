# Shared by slurm.sh and parallel.sh: the command line, the programs and the
# names of the pieces. Sourced, not run.

farm_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

farm_fail() {  # message...: a usage or set-up error, status 2
  echo "$farm_name: $*" >&2
  exit 2
}

# An absolute path for a program given by path or by name on PATH.
farm_program() {  # path-or-name
  if [[ "$1" == */* ]]; then
    [[ -x "$1" ]] || return 1
    echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
  else
    command -v "$1"
  fi
}

# $ORVANEL_RENDER, else the renderer built beside these scripts, else PATH.
farm_find_render() {
  if [[ -n "${ORVANEL_RENDER:-}" ]]; then
    farm_render="$(farm_program "$ORVANEL_RENDER")" || farm_fail "ORVANEL_RENDER=$ORVANEL_RENDER is not a program"
  elif [[ -x "$farm_root/build/orvanel-render" ]]; then
    farm_render="$farm_root/build/orvanel-render"
  else
    farm_render="$(command -v orvanel-render)" || farm_fail "no orvanel-render: build it, put it on PATH or set ORVANEL_RENDER"
  fi
}

# $ORVANEL_MERGE, else beside the renderer, else beside these scripts, else PATH.
farm_find_merge() {
  if [[ -n "${ORVANEL_MERGE:-}" ]]; then
    farm_merge="$(farm_program "$ORVANEL_MERGE")" || farm_fail "ORVANEL_MERGE=$ORVANEL_MERGE is not a program"
  elif [[ -x "$(dirname "$farm_render")/orvanel-merge" ]]; then
    farm_merge="$(dirname "$farm_render")/orvanel-merge"
  elif [[ -x "$farm_root/build/orvanel-merge" ]]; then
    farm_merge="$farm_root/build/orvanel-merge"
  else
    farm_merge="$(command -v orvanel-merge)" || farm_fail "no orvanel-merge: build it, put it on PATH or set ORVANEL_MERGE"
  fi
}

# After the script's own options: -o OUT anywhere before SCENE, then SCENE,
# then the render options, passed to every piece unchanged.
farm_parse_rest() {  # arguments...
  farm_output="" farm_scene="" farm_render_options=()
  while [[ $# -gt 0 ]]; do
    case "$1" in
      -o | --output) [[ $# -ge 2 ]] || farm_fail "$1 needs a file"; farm_output="$2"; shift 2 ;;
      -*) farm_fail "unknown option $1 before the scene (see --help)" ;;
      *) farm_scene="$1"; shift; farm_render_options=("$@"); break ;;
    esac
  done
  [[ -n "$farm_output" ]] || farm_fail "-o OUT.png is required"
  [[ -n "$farm_scene" ]] || farm_fail "the scene file is required"
  [[ -r "$farm_scene" ]] || farm_fail "cannot read the scene $farm_scene"
  local option
  for option in "${farm_render_options[@]}"; do
    case "$option" in
      -o | --output | --output=* | --tile | --tile=* | --region | --region=* | --skip-existing)
        farm_fail "$option is the script's to set, not a render option" ;;
    esac
  done
  [[ "$farm_tiles" =~ ^[1-9][0-9]*$ ]] || farm_fail "--tiles wants a positive count, not $farm_tiles"

  farm_scene="$(cd "$(dirname "$farm_scene")" && pwd)/$(basename "$farm_scene")"
  mkdir -p "$(dirname "$farm_output")" || farm_fail "cannot create the folder of $farm_output"
  farm_output="$(cd "$(dirname "$farm_output")" && pwd)/$(basename "$farm_output")"
  farm_workdir="${farm_workdir:-$farm_output.pieces}"
  mkdir -p "$farm_workdir/logs" || farm_fail "cannot create the work folder $farm_workdir"
  farm_workdir="$(cd "$farm_workdir" && pwd)"
  farm_find_render
  farm_find_merge
}

farm_piece() {  # index: the piece's file; the count is in the name so runs of another --tiles never mix
  echo "$farm_workdir/piece-$1-of-$farm_tiles.png"
}

farm_all_pieces() {
  local i
  for ((i = 0; i < farm_tiles; i++)); do farm_piece "$i"; done
}

# The status of a failed piece: 1, 2 and 3 (bad scene, bad options, no
# picture) fail again on every retry; the others may not.
farm_is_permanent() {  # status
  [[ "$1" == 1 || "$1" == 2 || "$1" == 3 ]]
}

# The run's description in the work folder, for status.sh: the piece count,
# the output and when this run began.
farm_record_run() {
  printf 'tiles=%s\noutput=%s\nstarted=%s\n' "$farm_tiles" "$farm_output" "$(date +%s)" >"$farm_workdir/farm-run"
}

farm_count_done() {  # the pieces present: each appears under its name only when complete
  local i count=0
  for ((i = 0; i < farm_tiles; i++)); do [[ -e "$farm_workdir/piece-$i-of-$farm_tiles.png" ]] && ((count += 1)); done
  echo "$count"
}

farm_duration() {  # seconds: "45 s", "12 min 05 s", "3 h 20 min"
  local s="$1"
  ((s > 0)) || s=1
  if ((s < 60)); then echo "$s s"
  elif ((s < 3600)); then printf '%d min %02d s\n' $((s / 60)) $((s % 60))
  else printf '%d h %02d min\n' $((s / 3600)) $((s % 3600 / 60)); fi
}

# "pieces: D of N done, F failed, about T left": the time left from the
# pieces finished since `since` (epoch seconds), `fresh` of them.
farm_progress_text() {  # done failed fresh since
  local done="$1" failed="$2" fresh="$3" since="$4" left remaining
  remaining=$((farm_tiles - done - failed))
  if ((remaining <= 0)); then left="none left to render"
  elif ((fresh > 0)); then left="about $(farm_duration $(((($(date +%s) - since) * remaining + fresh - 1) / fresh))) left"
  else left="time left unknown until a piece finishes"; fi
  echo "pieces: $done of $farm_tiles done, $failed failed, $left"
}

# While a script waits: one line on standard error, redrawn in place on a
# terminal, else written again only when the counts change.
farm_progress_start() {
  farm_progress_since="$(date +%s)" farm_progress_base="$(farm_count_done)" farm_progress_shown=""
}
farm_progress() {  # failed
  local done line
  done="$(farm_count_done)"
  line="$(farm_progress_text "$done" "$1" $((done - farm_progress_base)) "$farm_progress_since")"
  if [[ -t 2 ]]; then
    printf '\r\033[K%s' "$line" >&2
    farm_progress_shown="drawn"
  elif [[ "$farm_progress_shown" != "$done $1" ]]; then
    echo "$line" >&2
    farm_progress_shown="$done $1"
  fi
}
farm_progress_end() {
  if [[ -t 2 && -n "$farm_progress_shown" ]]; then printf '\n' >&2; fi
  farm_progress_shown=""
}
