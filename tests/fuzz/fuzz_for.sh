#!/usr/bin/env bash
# Fuzzes one target for TAVREL_FUZZ_SECONDS seconds (default 60), starting from its seeds and
# regression inputs. New inputs go to a working corpus under WORK_DIR, never into the
# repository. A crash, a leak, an input slower than 25 s or one that needs more than 2 GB fails
# the run and leaves that input in WORK_DIR/artifacts/. The last line, also left in
# WORK_DIR/FUZZ_TARGET.summary, tells how many inputs ran.
#   fuzz_for.sh FUZZ_TARGET SEED_DIR REGRESSION_DIR WORK_DIR MAX_LEN
set -uo pipefail
[ $# -eq 5 ] || { echo "usage: $0 FUZZ_TARGET SEED_DIR REGRESSION_DIR WORK_DIR MAX_LEN" >&2; exit 2; }
target=$1 seeds=$2 regressions=$3 work=$4 max_len=$5
seconds=${TAVREL_FUZZ_SECONDS:-60}
name=$(basename "$target")

corpus="$work/corpus/$name"
mkdir -p "$corpus" "$work/artifacts"
cp -n "$seeds"/* "$corpus/" 2>/dev/null || true
log="$work/$name.log"

"$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/$name-" \
    "$corpus" "$regressions" >"$log" 2>&1
status=$?
if [ $status -ne 0 ]; then
  tail -n 60 "$log"
  echo "$name: failed (exit $status), input in $work/artifacts/, log in $log" >&2
  exit 1
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
# One line for the log of whoever ran the tests (ctest shows no output of a test that passed).
echo "$name: ${runs:-?} inputs in $seconds s, $cov, peak RSS ${rss:-?} MB," \
     "corpus $(ls "$corpus" | wc -l) files" | tee "$work/$name.summary"
