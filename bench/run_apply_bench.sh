#!/usr/bin/env bash
# Runs the update-run benchmark under Wine in a prefix of its own:
#   bench/run_apply_bench.sh [small-count small-bytes large-count large-mib]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target apply_bench
state="$root/build/win64/bench-wine"
trap '"$root/tests/wine_env.sh" cleanup "$state"' EXIT
"$root/tests/wine_env.sh" setup "$state" >/dev/null
TAVREL_UPDATER_EXE="$root/build/win64/Tavrel_Update.exe" \
  "$root/tests/wine_env.sh" run "$state" "$root/build/win64/bench/apply_bench.exe" "$@"
