#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan) as a project of their own, replays the seed
# corpus and the regression inputs, then fuzzes each target for SECONDS seconds (default 60),
# as many at a time as there are cores. New inputs go to a working corpus under the build folder,
# never into the repository; a crash leaves its input in BUILD_DIR/artifacts/ and makes this
# script fail. The sanitize preset runs the same tests for TAVREL_FUZZ_SECONDS seconds.
#   tests/fuzz/run.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build/fuzz}

cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" >/dev/null
rm -f "$build"/*.summary
status=0
TAVREL_FUZZ_SECONDS=$seconds ctest --test-dir "$build" --output-on-failure -j "$(nproc)" ||
  status=1
cat "$build"/*.summary 2>/dev/null || true
exit $status
