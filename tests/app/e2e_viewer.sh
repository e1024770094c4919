#!/usr/bin/env bash
# End to end: build/orvanel on a virtual X display. The window appears
# untitled, a scene is opened through the real dialog with the keyboard,
# the title takes the file's name and the screen shows the picture that
# orvanel-render makes at the same width (or, without it, the core), with the
# elapsed time under it. Closing the window during a render ends the process
# promptly and cleanly. Then, on a copy of the scene named on the command
# line: a drag orbits the camera, Camera > Write Camera to Scene rewrites the
# file's CAMERA record, the screen comes to show orvanel-render's picture of
# the rewritten scene, and File > Save Picture As writes those very pixels.
# Usage: e2e_viewer.sh VIEWER SCREEN_CHECK SCENE WORK_DIR [ORVANEL_RENDER]
set -euo pipefail
viewer="$1" checker="$2" scene="$3" work="$4" cli="${5:-}"

source "$(dirname "${BASH_SOURCE[0]}")/../skip_missing.sh"

if [[ -z "${ORVANEL_E2E_DISPLAY:-}" ]]; then
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || skip_missing "e2e: $tool is not installed (scripts/setup.sh installs it)"
  done
  mkdir -p "$work"
  # Without a display, or with one that refuses the connection: a clear
  # message and status 1, not an abort.
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$viewer" >"$work/no-display.log" 2>&1 || status=$?
  if ((status != 1)) || ! grep -q "^orvanel: no display" "$work/no-display.log"; then
    echo "e2e: without a display the viewer exited with status $status:" >&2
    cat "$work/no-display.log" >&2
    exit 1
  fi
  status=0
  QT_QPA_PLATFORM=xcb DISPLAY=:4321 timeout 20 "$viewer" >"$work/bad-display.log" 2>&1 || status=$?
  if ((status != 1)) || ! grep -q "^orvanel: cannot open a window" "$work/bad-display.log"; then
    echo "e2e: with an unreachable display the viewer exited with status $status:" >&2
    cat "$work/bad-display.log" >&2
    exit 1
  fi

  export ORVANEL_E2E_DISPLAY=1 QT_QPA_PLATFORM=xcb
  exec timeout 400 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

fail() {
  echo "e2e: $*" >&2
  echo "--- viewer output ---" >&2
  cat "$work/viewer.log" >&2 || true
  exit 1
}

# Prints the id of the visible window with exactly this title, waiting for
# it; the limit is only a guard. xdotool gives up on a window that vanishes
# while it searches, so the search is repeated until the time is up.
wait_for_window() {
  local title="$1" deadline=$((SECONDS + $2)) id
  while ((SECONDS < deadline)); do
    id="$(timeout $((deadline - SECONDS + 1)) xdotool search --sync --onlyvisible --name "^${title}\$" 2>/dev/null |
      head -n 1 || true)"
    if [[ -n "$id" ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# Opens a drop-down with its Alt key and waits until it is on the screen: a
# second visible window of this process (the limit is only a guard).
open_drop_down() {
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key "alt+$1"
  local deadline=$((SECONDS + 10))
  while ((SECONDS < deadline)); do
    xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -qvx "$window" && return 0
    sleep 0.05
  done
  return 1
}

"$viewer" >"$work/viewer.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

window="$(wait_for_window "Orvanel's Ray Tracer - Untitled" 60)"
[[ -n "$window" ]] || fail "no window titled \"Orvanel's Ray Tracer - Untitled\""
# The picture's width until the View menu changes it.
width=300

# File/Open from the keyboard. The open dialog is the window titled "Open";
# a key may come before the main window takes the focus, so the drop-down is
# retried until it shows.
dialog=""
for attempt in 1 2 3 4 5; do
  if open_drop_down f; then
    xdotool key Return
    dialog="$(wait_for_window Open 30)"
    [[ -n "$dialog" ]] && break
  fi
  xdotool key Escape Escape
done
[[ -n "$dialog" ]] || fail "the open dialog did not appear"

# The keys go to the window that has the focus: give it to the dialog first.
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 5 "$scene"
xdotool key Return
[[ -n "$(wait_for_window "Orvanel's Ray Tracer - $(basename "$scene")" 60)" ]] ||
  fail "the title did not take the file's name"

reference=()
if [[ -n "$cli" && -x "$cli" ]]; then
  "$cli" "$scene" -o "$work/reference.png" --width "$width" --quiet || fail "orvanel-render failed"
  reference=("$work/reference.png")
fi
"$checker" check "$scene" "$window" "$width" "$work/screen.png" 120 "${reference[@]}" ||
  fail "the screen does not show the picture"

# Supersampling (Anti-Aliasing, second item) restarts a long render; close
# the window while it runs. The close request reaches the window after the
# keys, so the command has run by then.
open_drop_down a || fail "the Anti-Aliasing drop-down did not open"
xdotool key Down Return
"$checker" close "$window"
# Waiting for the exit itself; the limit is only a guard.
timeout 120 tail --pid="$pid" -f /dev/null || fail "the viewer did not exit after closing"
status=0
wait "$pid" || status=$?
((status == 0)) || fail "the viewer exited with status $status"
[[ -n "$cli" && -x "$cli" ]] || {
  echo "e2e: passed without the camera steps: no orvanel-render to compare with (screenshot $work/screen.png)"
  exit 0
}

# The record's line, by which the test sees the viewer's write land.
camera_record() { grep -m 1 '^CAMERA' "$1" || true; }

moved="$work/moved.txt" saved="$work/saved.png"
cp "$scene" "$moved"
rm -f "$saved" "$work/moved-reference.png"
"$viewer" --width "$width" "$moved" >"$work/viewer.log" 2>&1 &
pid=$!
window="$(wait_for_window "Orvanel's Ray Tracer - moved.txt" 60)"
[[ -n "$window" ]] || fail "orvanel --width $width SCENE showed no window titled with the scene"
"$checker" check "$moved" "$window" "$width" "$work/screen-opened.png" 120 "$work/reference.png" ||
  fail "orvanel SCENE does not show the picture"
before="$(camera_record "$moved")"

# A left drag in the picture, well inside it and below the menu bar.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool windowfocus --sync "$window" 2>/dev/null || true
x=$((X + width / 2)) y=$((Y + 120))
xdotool mousemove --sync "$x" "$y" mousedown 1
for step in 1 2 3 4 5 6; do
  xdotool mousemove --sync $((x + 9 * step)) $((y + 4 * step))
done
xdotool mouseup 1

# The key comes after the button's release, so the step is complete.
xdotool key ctrl+shift+s
deadline=$((SECONDS + 60))
while [[ "$(camera_record "$moved")" == "$before" ]] && ((SECONDS < deadline)); do sleep 0.05; done
after="$(camera_record "$moved")"
[[ "$after" != "$before" ]] || fail "Write Camera to Scene left the record as it was: $before"
echo "e2e: the drag wrote $after"

# The screen shows the moved camera's exact picture with its time once that
# render has finished, and so holds the picture that Save writes.
"$cli" "$moved" -o "$work/moved-reference.png" --width "$width" --quiet || fail "orvanel-render failed on $moved"
"$checker" check "$moved" "$window" "$width" "$work/screen-moved.png" 120 "$work/moved-reference.png" ||
  fail "the screen does not show orvanel-render's picture of the rewritten scene"

dialog=""
for attempt in 1 2 3 4 5; do
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key ctrl+s
  dialog="$(wait_for_window "Save Picture As" 30)" && break
done
[[ -n "$dialog" ]] || fail "Ctrl+S showed no save dialog"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
# The name field holds the suggested name, selected: the typed path replaces it.
xdotool key ctrl+a
xdotool type --delay 5 "$saved"
xdotool key Return
# Written beside and renamed into place: once there, it is whole.
deadline=$((SECONDS + 60))
while [[ ! -e "$saved" ]] && ((SECONDS < deadline)); do sleep 0.05; done
[[ -e "$saved" ]] || fail "Save Picture As wrote no $saved"
"$checker" same "$saved" "$work/moved-reference.png" ||
  fail "the saved picture is not orvanel-render's picture of the rewritten scene"

"$checker" close "$window"
timeout 120 tail --pid="$pid" -f /dev/null || fail "the viewer did not exit after closing"
status=0
wait "$pid" || status=$?
((status == 0)) || fail "the viewer exited with status $status"
echo "e2e: passed (screenshots $work/screen.png, $work/screen-moved.png)"
