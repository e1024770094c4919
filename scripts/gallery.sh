#!/usr/bin/env bash
# Renders every picture of docs/gallery/index.tsv (file name, scene, options)
# into docs/gallery, after importing the knot model again. Builds first when
# build/ lacks the programs. The gallery test then holds the engine to these
# very pixels, so run this only when a picture is meant to change.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [[ ! -x build/orvanel-render || ! -x build/orvanel-import ]]; then
  scripts/setup.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j "$(nproc)" --target orvanel-render orvanel-import
fi

build/orvanel-import scenes/models/knot.obj --scene --fit 2 -o scenes/knot.txt

while IFS=$'\t' read -r name scene options; do
  [[ -z "$name" ]] && continue
  read -ra words <<<"$options"
  echo "docs/gallery/$name"
  build/orvanel-render "$scene" -o "docs/gallery/$name" "${words[@]}" --quiet
done <docs/gallery/index.tsv
