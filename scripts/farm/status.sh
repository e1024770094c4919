#!/usr/bin/env bash
# How far a farm run has got, while it runs or after it: the pieces done of
# all, the failed (broken) ones and the time left, then the missing pieces by
# index and the broken ones by name with the reason. Every present piece is
# checked as the merge would check it (orvanel-merge --check).
#
#   status.sh WORKDIR
#
# WORKDIR is the work folder of slurm.sh or parallel.sh (default
# OUT.png.pieces). Exit status 0 when every piece is there and valid, 1
# otherwise, 2 when WORKDIR is not a farm work folder.
set -euo pipefail
farm_name="status.sh"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

case "${1:-}" in
  -h | --help) sed -n '2,12s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  "") farm_fail "usage: status.sh WORKDIR" ;;
esac
[[ $# == 1 ]] || farm_fail "usage: status.sh WORKDIR"
farm_workdir="$1"
[[ -d "$farm_workdir" ]] || farm_fail "no such folder: $farm_workdir"

# The count from the run's record, else from the pieces' names.
farm_tiles="" started=""
if [[ -f "$farm_workdir/farm-run" ]]; then
  farm_tiles="$(sed -n 's/^tiles=//p' "$farm_workdir/farm-run")"
  started="$(sed -n 's/^started=//p' "$farm_workdir/farm-run")"
else
  counts="$(find "$farm_workdir" -maxdepth 1 -name 'piece-*-of-*.png' | sed -n 's/.*-of-\([0-9]*\)\.png$/\1/p' | sort -u)"
  [[ $(wc -w <<<"$counts") == 1 ]] || farm_fail "$farm_workdir: no farm-run record and not one piece count in the names"
  farm_tiles="$counts"
fi
[[ "$farm_tiles" =~ ^[1-9][0-9]*$ ]] || farm_fail "$farm_workdir/farm-run: no piece count"
farm_find_render
farm_find_merge

present=() missing=()
for ((i = 0; i < farm_tiles; i++)); do
  piece="$farm_workdir/piece-$i-of-$farm_tiles.png"
  if [[ -e "$piece" ]]; then present+=("$piece"); else missing+=("$i"); fi
done

# Broken: the pieces the merge's check names, with its reason.
broken=()
if ((${#present[@]} > 0)); then
  while IFS= read -r line; do
    for piece in "${present[@]}"; do
      if [[ "$line" == "error: $piece: "* ]]; then broken+=("${line#error: }"); break; fi
    done
  done < <("$farm_merge" --check "${present[@]}" 2>&1 || true)
fi

valid=$((${#present[@]} - ${#broken[@]}))
# The time left from the pieces written since the run began.
fresh=0
if [[ -n "$started" ]]; then
  for piece in "${present[@]}"; do
    (($(stat -c %Y "$piece") >= started)) && ((fresh += 1))
  done
fi
farm_progress_text "$valid" "${#broken[@]}" "$fresh" "${started:-$(date +%s)}"
((${#missing[@]} == 0)) || echo "missing: ${missing[*]}"
for line in "${broken[@]}"; do echo "broken: $line"; done
((${#missing[@]} == 0 && ${#broken[@]} == 0))
