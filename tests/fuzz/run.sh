#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan), replays the seed corpus and the regression
# inputs, then fuzzes each target for SECONDS seconds (default 60). New inputs go to a working
# corpus under the build folder, never into the repository; a crash leaves its input in
# build/fuzz/artifacts/ and makes this script fail.
#   tests/fuzz/run.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build/fuzz}

cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" >/dev/null
ctest --test-dir "$build" --output-on-failure

mkdir -p "$build/artifacts"
for target in check_package record_name; do
  corpus_name=${target#check_}
  work="$build/corpus/$corpus_name"
  mkdir -p "$work"
  cp -n "$root/tests/fuzz/corpus/$corpus_name/"* "$work/" 2>/dev/null || true
  max_len=4096
  [ "$target" = record_name ] && max_len=260
  echo "fuzz_$target: ${seconds} s"
  "$build/fuzz_$target" -max_total_time="$seconds" -max_len=$max_len -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/${target}-" "$work" 2>"$build/fuzz_$target.log" || {
    tail -40 "$build/fuzz_$target.log"; echo "fuzz_$target: crash, input in $build/artifacts/" >&2
    exit 1; }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov:" "$build/fuzz_$target.log" | tail -3
done
