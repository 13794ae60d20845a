#!/usr/bin/env bash
# Builds the fuzz targets if needed and runs one of them for a given time over its corpus.
# usage: fuzz/run.sh TARGET SECONDS [MAX_LEN] [libFuzzer options...]
#   TARGET   stream_reader | scp_reader | analysis
#   MAX_LEN  largest input in bytes (default 65536; the analyser takes files of any size,
#            so longer runs may choose more)
# Environment: QUEN_FUZZ_BUILD (build directory, default build-fuzz), QUEN_FUZZ_CXX
# (default clang++-14), QUEN_FUZZ_TIMEOUT (seconds one input may take, default 30),
# QUEN_FUZZ_RSS_MB (default 2048).
# New inputs go to BUILD/fuzz/corpus/TARGET, findings to BUILD/fuzz/artifacts/TARGET/.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -lt 2 ]; then
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
max_len=65536
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
  max_len=$1
  shift
fi
case $target in
  stream_reader|scp_reader|analysis) ;;
  *) echo "run.sh: unknown target '$target' (stream_reader, scp_reader or analysis)" >&2; exit 2 ;;
esac

build=${QUEN_FUZZ_BUILD:-$src/build-fuzz}
# Every input of up to 1 MB ends within 3 s in Release, and the instrumented build is about
# ten times slower: an input that takes longer than this is a hang to look at.
timeout=${QUEN_FUZZ_TIMEOUT:-30}
rss_mb=${QUEN_FUZZ_RSS_MB:-2048}

# Both targets may be started at once on one build directory: one build at a time.
mkdir -p "$build"
(
  flock 9
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="${QUEN_FUZZ_CXX:-clang++-14}" \
      -DQUEN_BUILD_FUZZ=ON -DQUEN_BUILD_TESTS=OFF
  fi
  cmake --build "$build" -j2 --target "fuzz_$target" fuzz_seeds
) 9>"$build/.build-lock"

corpus=$build/fuzz/corpus/$target
artifacts=$build/fuzz/artifacts/$target
mkdir -p "$corpus" "$artifacts"
# The first directory receives what the run finds; the seeds are only read.
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" \
  -rss_limit_mb="$rss_mb" -print_final_stats=1 -artifact_prefix="$artifacts/" "$@" \
  "$corpus" "$build/fuzz/seeds/$target"
