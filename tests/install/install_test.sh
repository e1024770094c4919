#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs
# from a folder outside the source tree, then makes the Debian package and
# reads its dependencies and contents:
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
work="$scratch/work"
mkdir -p "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
is_png() { [[ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" == 89504e470d0a1a0a ]]; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# Every program has its man page; every man page in docs/man is installed.
programs=()
for program in "$prefix"/bin/*; do programs+=("$(basename "$program")"); done
for program in orvanel orvanel-render orvanel-import; do
  [[ -x "$prefix/bin/$program" ]] || fail "$program is not installed"
done
for program in "${programs[@]}"; do
  [[ -f "$prefix/share/man/man1/$program.1" ]] || fail "no man page for $program"
done
for page in "$source_dir"/docs/man/*.1; do
  installed="$prefix/share/man/man1/$(basename "$page")"
  cmp -s "$page" "$installed" || fail "$(basename "$page") is not installed"
  if command -v groff >/dev/null; then
    warnings="$(groff -man -Tutf8 -ww -z "$installed" 2>&1)"
    [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
  fi
done

desktop="$prefix/share/applications/orvanel.desktop"
grep -qx 'Exec=orvanel %f' "$desktop" || fail "the desktop entry does not run orvanel %f"
grep -qx 'Icon=orvanel' "$desktop" || fail "the desktop entry names no icon"
is_png "$prefix/share/icons/hicolor/128x128/apps/orvanel.png" || fail "no icon"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi
for scene in "$source_dir"/scenes/*.txt; do
  cmp -s "$scene" "$prefix/share/orvanel/scenes/$(basename "$scene")" || fail "$(basename "$scene") is not installed"
done

# The installed programs, found on PATH, run from outside the source tree.
cd "$work"
export PATH="$prefix/bin:/usr/bin:/bin"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# Every installed program names itself and its version, the viewer too
# without a display.
for program in "${programs[@]}"; do
  status=0
  output="$("$program" --version 2>&1)" || status=$?
  ((status == 0)) && [[ "$output" == "$program "* ]] || fail "$program --version: status $status, $output"
done

orvanel-render "$prefix/share/orvanel/scenes/sphere.txt" -o sphere.png --width 40 --lights on --quiet
is_png sphere.png || fail "the installed renderer wrote no picture"

printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n' >tetra.obj
orvanel-import tetra.obj --scene --fit 2 -o tetra.txt
orvanel-render tetra.txt -o tetra.png --width 40 --lights on --quiet
is_png tetra.png || fail "no picture of the imported model"

# The Debian package: the same files, and dependencies from the libraries.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >/dev/null
package=("$scratch"/package/*.deb)
[[ -f "${package[0]}" ]] || fail "cpack made no package"
depends="$(dpkg-deb -f "${package[0]}" Depends)"
for library in libassimp libqt6widgets6 libpng16-16 libstdc++6; do
  [[ "$depends" == *"$library"* ]] || fail "the package does not depend on $library: $depends"
done
contents="$(dpkg-deb -c "${package[0]}")"
for file in ./usr/bin/orvanel-import ./usr/share/man/man1/orvanel-render.1 ./usr/share/applications/orvanel.desktop \
  ./usr/share/orvanel/scenes/showcase.txt; do
  [[ "$contents" == *" $file"* ]] || fail "the package lacks $file"
done
echo "installed, ran and packaged from $prefix"
