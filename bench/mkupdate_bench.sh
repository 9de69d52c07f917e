#!/usr/bin/env bash
# Benchmark of `mkupdate build` (not a test): throughput against `cat` of the same bytes, and
# peak memory for a small and a large payload, which should be the same.
#
#   bench/mkupdate_bench.sh [SIZE_MIB]        (default 1024; the small payload is 64 MiB)
#
# Both sides end with the output on disk: mkupdate flushes its update (fsync) before it renames
# it into place, so cat's output is flushed too (sync FILE) and both timings include that. The
# figures without the flush are printed as well. Needs the native build (it builds it) and GNU
# time (/usr/bin/time, Debian package "time"). The payload lives in a temporary folder under
# /tmp (or $TMPDIR) and is removed at the end.
set -euo pipefail

size_mib=${1:-1024}
small_mib=64
files=8  # the payload is split into this many files
runs=3

root=$(cd "$(dirname "$0")/.." && pwd)
cmake --preset native >/dev/null
cmake --build --preset native --target mkupdate >/dev/null
mkupdate=$root/build/native/mkupdate
work=$(mktemp -d "${TMPDIR:-/tmp}/mkupdate-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A stub, a banner and a payload of random bytes.
make_inputs() {  # folder MiB
  local dir=$1 mib=$2 per
  mkdir -p "$dir"
  per=$((mib / files))
  for i in $(seq 1 "$files"); do
    head -c $((per * 1024 * 1024)) /dev/urandom >"$dir/part$i.bin"
  done
}
python3 - "$work" <<'PY'
import struct, sys
root = sys.argv[1]
open(root + "/stub.exe", "wb").write(b"MZ" + bytes(61438))
pixels = bytes(960 * 240)
header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, 320, 240, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(root + "/banner.bmp", "wb").write(header + info + pixels)
PY

build() {  # payload folder, output
  "$mkupdate" build -q --stub "$work/stub.exe" -o "$2" --title Bench --banner "$work/banner.bmp" \
    --vendor-key Bench --product-key Bench --not-installed-text x --files "$1"
}

seconds() { python3 -c 'import time; print(time.monotonic())'; }

best_of() {  # command... ; prints the best wall time in seconds
  local best="" t0 t1 t
  for _ in $(seq 1 "$runs"); do
    rm -f "$work/out.exe" "$work/out.cat"
    sync
    t0=$(seconds)
    "$@"
    t1=$(seconds)
    t=$(python3 -c "print($t1 - $t0)")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $t < $best else 1)"; then best=$t; fi
  done
  echo "$best"
}

cat_synced() { cat "$work/stub.exe" "$work/big"/part*.bin >"$work/out.cat"; sync "$work/out.cat"; }
cat_plain() { cat "$work/stub.exe" "$work/big"/part*.bin >"$work/out.cat"; }
mk_build() { build "$work/big" "$work/out.exe"; }

peak_kib() {  # payload folder
  /usr/bin/time -f '%M' -o "$work/time.txt" "$mkupdate" build -q --stub "$work/stub.exe" \
    -o "$work/out.exe" --title Bench --banner "$work/banner.bmp" --vendor-key Bench \
    --product-key Bench --not-installed-text x --files "$1"
  rm -f "$work/out.exe"
  cat "$work/time.txt"
}

echo "payload: $size_mib MiB in $files files under $work"
make_inputs "$work/big" "$size_mib"
make_inputs "$work/small" "$small_mib"
cat "$work/big"/part*.bin >/dev/null  # both sides read from the page cache

bytes=$(( size_mib * 1024 * 1024 + 61440 ))
t_cat_sync=$(best_of cat_synced)
t_mk=$(best_of mk_build)
t_cat=$(best_of cat_plain)
peak_small=$(peak_kib "$work/small")
peak_big=$(peak_kib "$work/big")

python3 - "$bytes" "$t_cat_sync" "$t_mk" "$t_cat" "$peak_small" "$peak_big" "$small_mib" \
  "$size_mib" <<'PY'
import sys
b, cs, mk, c = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
ps, pb, sm, bm = int(sys.argv[5]), int(sys.argv[6]), sys.argv[7], sys.argv[8]
mib = b / 1048576
print(f"cat + sync       {cs:7.2f} s  {mib / cs:8.1f} MiB/s")
print(f"mkupdate build   {mk:7.2f} s  {mib / mk:8.1f} MiB/s  ({100 * cs / mk:.0f} % of cat + sync)")
print(f"cat (no sync)    {c:7.2f} s  {mib / c:8.1f} MiB/s  (mkupdate at {100 * c / mk:.0f} % of it)")
print(f"peak memory of mkupdate build: {ps} KiB for {sm} MiB, {pb} KiB for {bm} MiB")
PY
