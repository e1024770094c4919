#!/usr/bin/env bash
# The first command to run: installs what is missing, builds into build/,
# then opens the viewer when there is a display, or else renders the
# showcase scene to showcase.png.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x build/orvanel ]]; then
  exec build/orvanel "$@"
fi

echo "No display: rendering scenes/showcase.txt instead of opening the viewer."
build/orvanel-render scenes/showcase.txt -o showcase.png --lights on --depth 5
echo "Wrote $root/showcase.png"
