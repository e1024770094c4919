#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the viewer need.
# Safe to run again: only what is missing is installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libcli11-dev libssl-dev
  qt6-base-dev libgl-dev
  xvfb xauth xdotool x11-utils
  clang libclang-rt-14-dev
  libopenexr-dev libassimp-dev
  slurmctld slurmd slurm-client parallel iproute2
  povray libembree-dev linux-perf
  dpkg-dev desktop-file-utils groff-base
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
