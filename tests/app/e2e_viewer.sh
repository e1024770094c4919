#!/usr/bin/env bash
# End to end: build/orvanel on a virtual X display. The window appears
# untitled, a scene is opened through the real dialog with the keyboard,
# the title takes the file's name and the screen shows the picture that
# orvanel-render makes at the same width (or, without it, the core), with the
# elapsed time under it. Closing the window during a render ends the process
# promptly and cleanly.
# Usage: e2e_viewer.sh VIEWER SCREEN_CHECK SCENE WORK_DIR [ORVANEL_RENDER]
set -euo pipefail
viewer="$1" checker="$2" scene="$3" work="$4" cli="${5:-}"

if [[ -z "${ORVANEL_E2E_DISPLAY:-}" ]]; then
  for tool in xvfb-run xdotool; do
    if ! command -v "$tool" >/dev/null; then
      echo "e2e: $tool is not installed (scripts/setup.sh installs it); skipped"
      exit 77
    fi
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
  exec timeout 80 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

fail() {
  echo "e2e: $*" >&2
  echo "--- viewer output ---" >&2
  cat "$work/viewer.log" >&2 || true
  exit 1
}

# Prints the id of the visible window with exactly this title, waiting for it.
wait_for_window() {
  local title="$1" deadline=$((SECONDS + $2)) id
  while ((SECONDS < deadline)); do
    id="$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1 || true)"
    if [[ -n "$id" ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

visible_windows() { xdotool search --onlyvisible --pid "$1" 2>/dev/null | wc -l || true; }

"$viewer" >"$work/viewer.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

window="$(wait_for_window "Orvanel's Ray Tracer - Untitled" 15)" || fail "no window titled \"Orvanel's Ray Tracer - Untitled\""
# No window manager: the window has no frame, and its first width is the
# client area's, the picture's width for the whole run.
eval "$(xdotool getwindowgeometry --shell "$window")"
width="$WIDTH"

# File/Open from the keyboard; retried, as a key may come before the
# window takes the focus.
for attempt in 1 2 3 4 5; do
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key alt+f
  sleep 0.3
  xdotool key Return
  for _ in $(seq 20); do
    (($(visible_windows "$pid") >= 2)) && break 2
    sleep 0.1
  done
  xdotool key Escape Escape
done
(($(visible_windows "$pid") >= 2)) || fail "the open dialog did not appear"

xdotool type --delay 5 "$scene"
sleep 0.2
xdotool key Return
wait_for_window "Orvanel's Ray Tracer - $(basename "$scene")" 15 >/dev/null || fail "the title did not take the file's name"

reference=()
if [[ -n "$cli" && -x "$cli" ]]; then
  "$cli" "$scene" -o "$work/reference.png" --width "$width" --quiet || fail "orvanel-render failed"
  reference=("$work/reference.png")
fi
"$checker" check "$scene" "$window" "$width" "$work/screen.png" 20 "${reference[@]}" ||
  fail "the screen does not show the picture"

# Supersampling (Anti-Aliasing, second item) restarts a long render; close
# the window while it runs.
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key alt+a
sleep 0.3
xdotool key Down Return
sleep 0.3
"$checker" close "$window"
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then fail "the viewer did not exit within 10 s of closing"; fi
status=0
wait "$pid" || status=$?
((status == 0)) || fail "the viewer exited with status $status"
echo "e2e: passed (screenshot $work/screen.png)"
