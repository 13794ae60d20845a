#!/usr/bin/env bash
# Builds the benchmarks in Release and prints
#   (a) the separator alone, in intervals per second, on random double-density intervals;
#   (b) one whole in-process analysis of the sample, of a synthetic 5-revolution track
#       and of each capture in ../shared/realdata;
#   (c) whole-process CPU time (median of 21 runs) and peak memory of quenanalyze on
#       the same files, with default options and with -v;
#   (d) quendisk on a synthetic double-sided 80-track disk: the CPU time and size of the
#       page (disk map and timing pictures) against the same run without a page (and
#       against BASELINE_DISK=/path/to/other/quendisk's page when given), and the time
#       and size of --pictures with its default choice, against their targets.
# BASELINE=/path/to/other/quenanalyze measures that build too, alternating run by run
# with this one, and prints the ratio of the medians. --check first runs the
# randomized separator check over 5 million intervals.
# usage: bench/run.sh [--check]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$src/build-bench}
runs=${RUNS:-21}
check=${1:-}

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

median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }

echo "== (c) whole process: median CPU time of $runs runs, peak memory"
bin="$build/quenanalyze"
for input in "${inputs[@]}"; do
  for opts in "" -v; do
    ours=(); base=(); rss=0
    for ((i = 0; i < runs; i++)); do
      read -r us kb < <(cd "$work" && "$build/bench/quen_cpu_time" "$bin" $opts "$input")
      ours+=("$us"); [ "$kb" -gt "$rss" ] && rss=$kb
      if [ -n "${BASELINE:-}" ]; then
        read -r us kb < <(cd "$work" && "$build/bench/quen_cpu_time" "$BASELINE" $opts "$input")
        base+=("$us")
      fi
    done
    m=$(printf '%s\n' "${ours[@]}" | median)
    line=$(printf '%-16s %-3s %8.2f ms  peak %5.1f MB' "$(basename "$input")" "$opts" "$(echo "$m / 1000" | bc -l)" \
      "$(echo "$rss / 1024" | bc -l)")
    if [ -n "${BASELINE:-}" ]; then
      b=$(printf '%s\n' "${base[@]}" | median)
      line+=$(printf '   baseline %8.2f ms  ratio %5.2f' "$(echo "$b / 1000" | bc -l)" "$(echo "$b / $m" | bc -l)")
    fi
    echo "$line"
  done
done

echo "== (d) quendisk on a synthetic 80-track double-sided disk (median CPU time of ${DISK_RUNS:-5} runs, -j1)"
disk_runs=${DISK_RUNS:-5}
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
if [ -n "${BASELINE_DISK:-}" ]; then
  old=$(disk_cpu "$BASELINE_DISK" -j1 -b --html "$work/old/index.html" "$work/disk")
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
