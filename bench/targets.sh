#!/usr/bin/env bash
# Measures every target of the engine work, each as a ratio from this one run,
# and prints them in a table with pass or fail:
#   1. soft shadows against the baseline commit (built here, beside this tree)
#   2. the glass-sphere field against POV-Ray, render-only CPU time
#   3. primary rays of 100 000 triangles against Embree's rtcIntersect1
#   4. two threads against two independent one-thread processes
#   5. sample scenes against the baseline, growth from 1 000 to 100 000
#      spheres, hierarchy build against a render
# Every picture this script times is also compared byte for byte with the
# new build's `--threads 1 --no-accel` render of the same scene.
#   bench/targets.sh [--rounds N]
# Builds into build/targets/. Old and new runs alternate, so a busy machine
# slows both; the best of the rounds is kept. Takes some ten minutes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$root/build/targets"
baseline_commit=1563eaa
rounds=3
soft_width=240 # the baseline's soft-jitter showcase takes about 6 s here
sample_width=800

while (($#)); do
  case "$1" in
    --rounds)
      [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || { echo "targets.sh: --rounds needs a positive number" >&2; exit 2; }
      rounds=$2
      shift 2
      ;;
    *)
      echo "usage: bench/targets.sh [--rounds N]" >&2
      exit 2
      ;;
  esac
done

say() { echo "targets.sh: $*" >&2; }
die() {
  say "$*"
  exit 1
}

configure_flags=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_BUILD_VIEWER=OFF -DORVANEL_BUILD_TESTS=OFF)
mkdir -p "$work/out"

say "building this tree in $work/new"
cmake -S "$root" -B "$work/new" "${configure_flags[@]}" -DORVANEL_BUILD_BENCH=ON >/dev/null
cmake --build "$work/new" -j 2 --target orvanel-render orvanel-bench target-bench >"$work/build.log" ||
  die "the build failed; see $work/build.log"
have_embree=0
embree_build=""
if cmake --build "$work/new" -j 2 --target embree-bench >/dev/null 2>&1; then have_embree=1; fi

say "building the baseline $baseline_commit in $work/baseline"
baseline_src="$work/baseline-src"
want="$(git -C "$root" rev-parse --verify "$baseline_commit^{commit}")" || die "no commit $baseline_commit in $root"
if [[ -e $baseline_src ]] && [[ "$(git -C "$baseline_src" rev-parse HEAD 2>/dev/null)" != "$want" ]]; then
  die "$baseline_src exists but is not $baseline_commit; remove it (git worktree remove --force $baseline_src)"
fi
if [[ ! -e $baseline_src ]]; then
  git -C "$root" worktree prune
  git -C "$root" worktree add --detach "$baseline_src" "$want" >/dev/null 2>&1 || die "cannot check out $baseline_commit"
fi
cmake -S "$baseline_src" -B "$work/baseline" "${configure_flags[@]}" -DORVANEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$work/baseline" -j 2 --target orvanel-render >"$work/baseline-build.log" ||
  die "the baseline build failed; see $work/baseline-build.log"
# The baseline's own growth and build figures, for the two rows that compare
# within one build; its interface differs, so the probe is built against it.
g++ -std=c++20 -O3 -DNDEBUG -ffp-contract=off -fno-fast-math -fno-math-errno -I"$baseline_src" \
  "$root/bench/baseline_probe.cpp" "$baseline_src/bench/scene_generator.cpp" "$work/baseline/liborvanel_core.a" \
  -pthread -o "$work/baseline/baseline-probe" >>"$work/baseline-build.log" 2>&1 ||
  die "the baseline probe did not build; see $work/baseline-build.log"

new="$work/new/orvanel-render"
old="$work/baseline/orvanel-render"
scenes="$work/scenes"
out="$work/out"
"$work/new/target-bench" scenes "$scenes" >/dev/null

# Renders with --stats and prints the render time in ms.
render_ms() {
  local bin=$1 picture=$2
  shift 2
  local stats
  stats="$("$bin" "$@" -o "$picture" --quiet --stats)" || die "render failed: $bin $* -o $picture"
  sed -n 's/^render time: \([0-9]*\) ms$/\1/p' <<<"$stats"
}

# CPU time (user + system, ms) of the command; its output is discarded.
cpu_ms() {
  local TIMEFORMAT='%3U %3S' times
  times="$({ time "$@" >/dev/null 2>&1; } 2>&1)" || die "failed: $*"
  awk '{ printf "%d", ($1 + $2) * 1000 }' <<<"$times"
}

min() { printf '%s\n' "$@" | sort -g | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }'; }
# pass when the value is at least (>=) or at most (<=) the threshold
verdict() { awk -v v="$1" -v t="$3" -v op="$2" 'BEGIN { ok = op == ">=" ? v >= t : v <= t; print ok ? "pass" : "FAIL" }'; }
same() { if cmp -s "$1" "$2"; then echo yes; else echo NO; fi; }

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 $5 | $(verdict "$3" "$4" "$5") | $6 |"); }
# Progress on stderr; the table alone on stdout.
note() { say "$*"; }

# The new build's reference picture of a scene: one thread, linear search.
reference() {
  local name=$1
  shift
  [[ -e $out/$name.ref.ppm ]] || "$new" "$@" -o "$out/$name.ref.ppm" --threads 1 --no-accel --quiet ||
    die "reference render failed: $*"
}

# 1. Soft shadows, baseline against new, interleaved.
for scene in showcase mixed-60; do
  file="$root/scenes/$scene.txt"
  if [[ $scene == mixed-60 ]]; then file="$scenes/$scene.txt"; fi
  for mode in soft-axes soft-jitter; do
    args=("$file" --width "$soft_width" --lights on --depth 5 --shadows "$mode")
    name="$scene-$mode"
    reference "$name" "${args[@]}"
    olds=() news=()
    for ((r = 0; r < rounds; ++r)); do
      olds+=("$(render_ms "$old" "$out/$name.old.ppm" "${args[@]}" --threads 1)")
      news+=("$(render_ms "$new" "$out/$name.new.ppm" "${args[@]}" --threads 1)")
    done
    o="$(min "${olds[@]}")" n="$(min "${news[@]}")"
    note "$name: baseline ${olds[*]} ms, new ${news[*]} ms"
    row "1. soft shadows: $scene, $mode, ${soft_width} px" "$o -> $n ms" "$(ratio "$o" "$n")" ">=" 4 \
      "$(same "$out/$name.new.ppm" "$out/$name.ref.ppm")"
  done
done

# 2. Glass-sphere field against POV-Ray: CPU time, start-up cancelled by a tiny
# render. CPU time because POV-Ray idles for a while at start-up, which wall
# time would turn into noise.
if command -v povray >/dev/null; then
  glass=("$scenes/glass-field.txt" --lights on --depth 5 --quiet)
  reference glass "${glass[@]}" --width 800
  ours_full=() ours_tiny=() pov_full=() pov_tiny=()
  # POV-Ray may only write beside the scene, so it runs in that folder.
  pov() { (cd "$scenes" && povray +Iglass-field.pov "+Opov-$1.png" "+W$1" "+H$2" +WT1 -D +FN File_Gamma=1.0); }
  for ((r = 0; r < rounds + 2; ++r)); do
    ours_full+=("$(cpu_ms "$new" "${glass[@]}" --threads 1 --width 800 -o "$out/glass.new.ppm")")
    ours_tiny+=("$(cpu_ms "$new" "${glass[@]}" --threads 1 --width 8 -o "$out/glass.tiny.ppm")")
    pov_full+=("$(cpu_ms pov 800 600)")
    pov_tiny+=("$(cpu_ms pov 8 6)")
  done
  o=$(($(min "${ours_full[@]}") - $(min "${ours_tiny[@]}")))
  p=$(($(min "${pov_full[@]}") - $(min "${pov_tiny[@]}")))
  note "glass field: ours ${ours_full[*]} - ${ours_tiny[*]} ms, POV-Ray ${pov_full[*]} - ${pov_tiny[*]} ms"
  row "2. glass field vs POV-Ray, 800 x 600, depth 5, 1 thread (our time / its)" "$o vs $p ms" \
    "$(ratio "$o" "$p")" "<=" 0.4 "$(same "$out/glass.new.ppm" "$out/glass.ref.ppm")"
else
  rows+=("| 2. glass field vs POV-Ray | povray not installed (scripts/setup.sh) | - | <= 0.4 | skipped | - |")
fi

# 3. Primary rays of 100 000 triangles against Embree.
if ((have_embree)); then
  report="$("$work/new/embree-bench")" || die "embree-bench failed"
  field() { sed -n "s|^$1: ||p" <<<"$report"; }
  embree_build="$(field 'build ms')"
  note "embree-bench: $(tr '\n' ';' <<<"$report")"
  row "3. 100 000 triangles, 400 px primary rays vs Embree rtcIntersect1 (rate / its)" \
    "$(field 'ours rays/s') vs $(field 'embree rays/s') rays/s" "$(awk -v v="$(field ratio)" 'BEGIN { printf "%.2f", v }')" \
    ">=" 0.5 "hit/miss differ on $(field disagreements) of $(field rays | cut -d' ' -f1) rays"
else
  rows+=("| 3. triangles vs Embree | Embree 3 not found (libembree-dev) | - | >= 0.5 | skipped | - |")
fi

# 4. Two threads against two independent one-thread processes started together.
args=("$root/scenes/showcase.txt" --width "$soft_width" --lights on --depth 5 --shadows soft-jitter)
reference showcase-soft-jitter "${args[@]}"
ones=() twos=() pairs=()
for ((r = 0; r < rounds; ++r)); do
  ones+=("$(render_ms "$new" "$out/one.ppm" "${args[@]}" --threads 1)")
  twos+=("$(render_ms "$new" "$out/two.ppm" "${args[@]}" --threads 2)")
  render_ms "$new" "$out/pair-a.ppm" "${args[@]}" --threads 1 >"$out/pair-a.ms" &
  a=$!
  render_ms "$new" "$out/pair-b.ppm" "${args[@]}" --threads 1 >"$out/pair-b.ms" &
  b=$!
  wait "$a" || die "paired render failed"
  wait "$b" || die "paired render failed"
  # the pair is done when the slower one is
  pairs+=("$(printf '%s\n' "$(<"$out/pair-a.ms")" "$(<"$out/pair-b.ms")" | sort -g | tail -n 1)")
done
t1="$(min "${ones[@]}")" t2="$(min "${twos[@]}")" tp="$(min "${pairs[@]}")"
note "threads: one ${ones[*]} ms, two ${twos[*]} ms, pair ${pairs[*]} ms"
speedup="$(ratio "$t1" "$t2")"
limit="$(awk -v a="$t1" -v b="$tp" 'BEGIN { printf "%.2f", 2 * a / b }')"
row "4. --threads 2 over 1, showcase soft-jitter ${soft_width} px (speedup / limit)" \
  "speedup ${speedup}x, limit ${limit}x" "$(ratio "$speedup" "$limit")" ">=" 0.95 \
  "$(same "$out/two.ppm" "$out/showcase-soft-jitter.ref.ppm")"

# 5a. Every sample scene, hard shadows, baseline against new.
for file in "$root"/scenes/*.txt; do
  name="sample-$(basename "$file" .txt)"
  args=("$file" --width "$sample_width" --lights on --depth 5 --shadows hard)
  reference "$name" "${args[@]}"
  olds=() news=()
  # short renders: more rounds against the noise
  for ((r = 0; r < 2 * rounds; ++r)); do
    olds+=("$(render_ms "$old" "$out/$name.old.ppm" "${args[@]}" --threads 1)")
    news+=("$(render_ms "$new" "$out/$name.new.ppm" "${args[@]}" --threads 1)")
  done
  o="$(min "${olds[@]}")" n="$(min "${news[@]}")"
  row "5. scenes/$(basename "$file"), hard, ${sample_width} px (speedup)" "$o -> $n ms" "$(ratio "$o" "$n")" ">=" 0.9 \
    "$(same "$out/$name.new.ppm" "$out/$name.ref.ppm")"
done

# 5b. Growth from 1 000 to 100 000 spheres (orvanel-bench, the new build),
# and where the baseline stood on it and on 5c.
probe="$("$work/baseline/baseline-probe")" || die "the baseline probe failed"
read -r base_small base_large < <(sed -n 's/^growth ms: //p' <<<"$probe")
base_build="$(sed -n 's/^build ms: //p' <<<"$probe")" base_render="$(sed -n 's/^render ms: //p' <<<"$probe")"
note "baseline probe: $(tr '\n' ';' <<<"$probe")"
growth="$("$work/new/orvanel-bench" --growth)" || die "orvanel-bench --growth failed"
column() { awk -F'|' -v n="$1" -v c="$2" '$2 + 0 == n { gsub(/[ x]/, "", $c); print $c }' <<<"$growth"; }
g="$(column 100000 5)"
[[ -n $g ]] || die "no 100000-sphere row in the output of orvanel-bench --growth"
row "5. render time, 1 000 to 100 000 spheres, 400 px (growth)" "$(column 1000 3) -> $(column 100000 3) ms" "$g" "<=" 2 \
  "not checked (the reference takes hours); baseline: $base_small -> $base_large ms, $(ratio "$base_large" "$base_small")x"

# 5c. Hierarchy build against a render of the same 100 000 triangles.
report="$("$work/new/target-bench" build)" || die "target-bench build failed"
b="$(sed -n 's/^build ms: //p' <<<"$report")" r="$(sed -n 's/^render ms: //p' <<<"$report")"
one="$(sed -n 's/^one-thread build ms: //p' <<<"$report")"
row "5. hierarchy build on 100 000 triangles / 400 px render (depth 5)" "$b vs $r ms" \
  "$(awk -v v="$(sed -n 's/^ratio: //p' <<<"$report")" 'BEGIN { printf "%.3f", v }')" "<=" 0.1 \
  "one thread: $one ms${embree_build:+; first build on one thread, embree-bench: $embree_build ms}; baseline: $base_build vs $base_render ms, $(awk -v a="$base_build" -v b="$base_render" 'BEGIN { printf "%.3f", a / b }')"

echo "Targets, $(date -u +%Y-%m-%d), $(git -C "$root" rev-parse --short HEAD) against $baseline_commit;" \
  "best of $rounds rounds; load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| target | measured | ratio | threshold | pass | same bytes as --threads 1 --no-accel |"
echo "|---|---|---:|---|---|---|"
printf '%s\n' "${rows[@]}"
