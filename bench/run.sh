#!/usr/bin/env bash
# Builds the benchmarks in Release and prints
#   (a) the separator alone, in intervals per second, on random double-density intervals;
#   (b) one whole in-process analysis of the sample, of a synthetic 5-revolution track
#       and of each capture in ../shared/realdata;
#   (c) whole-process CPU time (median of 21 runs), peak memory and page faults of
#       quenanalyze on the same files, with default options and with -v, and of a
#       quenanalyze that only prints its usage (what starting the program costs);
#   (d) whole-process CPU time (median of 7 runs) of quendisk -j1, default options, over a
#       synthetic disk of 80 cylinders on both sides and over a folder of the captures;
#   (e) quendisk on the synthetic 80-cylinder disk of quensynth --full-disk: the CPU time
#       and size of the page (disk map and timing pictures) against the same run without
#       a page (and against the BASELINE quendisk's page), and the time and size of
#       --pictures with its default choice, against their targets.
# BASELINE=/path/to/other/build measures the quenanalyze and quendisk of that build folder
# too (BASELINE may also name its quenanalyze), alternating run by run with this one, and
# prints the ratio of the medians. --check first runs the randomized separator check over
# 5 million intervals. RUNS and DISK_RUNS change the number of runs.
# usage: bench/run.sh [--check]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$src/build-bench}
runs=${RUNS:-21}
disk_runs=${DISK_RUNS:-7}
check=${1:-}

base_qa=""; base_qd=""
if [ -n "${BASELINE:-}" ]; then
  if [ -d "$BASELINE" ]; then base_qa=$BASELINE/quenanalyze; else base_qa=$BASELINE; fi
  base_qd=$(dirname "$base_qa")/quendisk
  [ -x "$base_qd" ] || base_qd=""
fi

targets=(quen_bench quen_cpu_time quenanalyze quendisk quensynth)
[ "$check" = --check ] && targets+=(quen_tests)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUEN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tests/quensynth" --revs 5 "$work/synth5.raw"
inputs=("$src/samples/dd9.raw" "$work/synth5.raw")
for f in "$src"/../shared/realdata/track*.raw; do [ -e "$f" ] && inputs+=("$(realpath "$f")"); done

if [ "$check" = --check ]; then
  echo "== randomized separator check, 5 million intervals"
  QUEN_RANDOM_INTERVALS=5000000 "$build/tests/quen_tests" --gtest_filter='Separator.*:Pll.*' | tail -1
fi

echo "== (a) separator alone, (b) whole analyses in-process"
streams=$(IFS=:; echo "${inputs[*]:1}")
QUEN_BENCH_STREAMS=$streams "$build/bench/quen_bench" --benchmark_counters_tabular=true 2>/dev/null

# Median of the numbers on stdin, of $1 of them.
median() { sort -n | sed -n "$(( ($1 + 1) / 2 ))p"; }
ms() { echo "$1 / 1000" | bc -l; }
# One run: "cpu_us peak_kb faults". Never from a terminal: a usage error would wait for a key.
measure() { (cd "$work" && "$build/bench/quen_cpu_time" "$@" </dev/null) || true; }

# compare RUNS LABEL OURS BASE ARGS...: runs OURS and BASE (if any) alternately with ARGS;
# $target, when set, is the ratio to the baseline that the run is held to.
target=""
compare() {
  local n=$1 label=$2 ours_bin=$3 base_bin=$4; shift 4
  local ours=() base=() rss=0 flt=0 us kb f
  for ((i = 0; i < n; i++)); do
    read -r us kb f < <(measure "$ours_bin" "$@")
    ours+=("$us"); [ "$kb" -gt "$rss" ] && rss=$kb; flt=$f
    if [ -n "$base_bin" ]; then
      read -r us kb f < <(measure "$base_bin" "$@")
      base+=("$us")
    fi
  done
  local m line b
  m=$(printf '%s\n' "${ours[@]}" | median "$n")
  line=$(printf '%-22s %9.2f ms  peak %5.1f MB  %5d faults' "$label" "$(ms "$m")" "$(echo "$rss / 1024" | bc -l)" "$flt")
  if [ -n "$base_bin" ]; then
    b=$(printf '%s\n' "${base[@]}" | median "$n")
    line+=$(printf '   baseline %9.2f ms  ratio %5.2f' "$(ms "$b")" "$(echo "$b / $m" | bc -l)")
    [ -n "$target" ] && line+="  (target: at least $target)"
  fi
  echo "$line"
}

echo "== (c) quenanalyze, whole process: median CPU time of $runs runs, peak memory, page faults"
compare "$runs" "(usage only)" "$build/quenanalyze" "$base_qa"
for input in "${inputs[@]}"; do
  for opts in "" -v; do
    # The captures with default options are held to half the baseline's CPU (f7634a4, BENCHMARKS.md).
    target=""; [[ "$input" == */realdata/* && -z "$opts" ]] && target=2
    compare "$runs" "$(basename "$input") $opts" "$build/quenanalyze" "$base_qa" $opts "$input"
  done
done
target=2

echo "== (d) quendisk -j1, whole process: median CPU time of $disk_runs runs"
mkdir "$work/disk80" "$work/captures" "$work/out"
"$build/tests/quensynth" --disk "$work/disk80" --tracks 80
for f in "${inputs[@]:2}"; do cp "$f" "$work/captures/"; done
compare "$disk_runs" "disk of 80 cylinders" "$build/quendisk" "$base_qd" -j1 "$work/disk80" "$work/out"
if [ -n "$(ls "$work/captures")" ]; then
  compare "$disk_runs" "the captures" "$build/quendisk" "$base_qd" -j1 "$work/captures" "$work/out"
fi
target=""

echo "== (e) quendisk's page and pictures of a whole disk (quensynth --full-disk; median CPU time of $disk_runs runs, -j1)"
mkdir -p "$work/disk" && "$build/tests/quensynth" --full-disk "$work/disk"
disk_cpu() {  # disk_cpu QUENDISK [args...]: median CPU time in ms
  local times=()
  for ((i = 0; i < disk_runs; i++)); do
    read -r us kb < <("$build/bench/quen_cpu_time" "$@")
    times+=("$us")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (disk_runs + 1) / 2 ))p" | awk '{printf "%.0f", $1 / 1000}'
}
qd="$build/quendisk"
bare=$(disk_cpu "$qd" -j1 -b "$work/disk")
page=$(disk_cpu "$qd" -j1 -b --html "$work/page/index.html" "$work/disk")
page_bytes=$(stat -c %s "$work/page/index.html")
printf 'no page                 %7d ms\n' "$bare"
printf 'page (map and timing)   %7d ms  %5.2f times the run without a page; page %.1f MB (target: 20 MB)\n' \
  "$page" "$(echo "$page / $bare" | bc -l)" "$(echo "$page_bytes / 1000000" | bc -l)"
if [ -n "$base_qd" ]; then
  old=$(disk_cpu "$base_qd" -j1 -b --html "$work/old/index.html" "$work/disk")
  printf 'baseline page           %7d ms  ratio %5.2f (target: at most 3)\n' "$old" "$(echo "$page / $old" | bc -l)"
fi
if command -v ploticus >/dev/null 2>&1; then
  jobs=$(nproc)
  start=$(date +%s.%N)
  read -r us kb < <("$build/bench/quen_cpu_time" "$qd" -j"$jobs" -b --pictures "$work/disk" "$work/pictures")
  wall=$(echo "$(date +%s.%N) - $start" | bc -l)
  printf -- '--pictures (default), -j%d: %.1f s wall, %.1f s CPU, %.1f MB in OUTDIR (targets: 60 s, 100 MB)\n' \
    "$jobs" "$wall" "$(echo "$us / 1000000" | bc -l)" "$(echo "$(du -sb "$work/pictures" | cut -f1) / 1000000" | bc -l)"
else
  echo "--pictures: ploticus is not installed, not measured"
fi
