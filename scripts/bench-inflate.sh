#!/usr/bin/env bash
# Decoder benchmark in one command: builds bench_inflate (Release), builds the payloads
# once (about 100 MB of PE images and 50 MB of text from this machine, compressed with
# zlib level 6 and libdeflate level 12; kept in $BENCH_BUILD_DIR/bench-payloads), prints
# the timing table, then the instructions per output byte of each decoder measured with
# callgrind over the decode call only (--toggle-collect on the decoder's function).
#
#   BENCH_ROUNDS     timing rounds, decoders alternating within each (default 7)
#   BENCH_CALLGRIND  0 skips the instruction counts (default 1)
#   BENCH_BUILD_DIR  build directory (default build/host)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BENCH_BUILD_DIR:-build/host}"
payloads="$build/bench-payloads"

cmake --preset host -B "$build" >/dev/null
cmake --build "$build" -j2 --target bench_inflate >/dev/null
bench="$build/bench/bench_inflate"

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores; one thread"
"$bench" --payloads "$payloads" --rounds "${BENCH_ROUNDS:-7}"

[ "${BENCH_CALLGRIND:-1}" = 1 ] || exit 0
echo
echo "instructions per output byte (callgrind, decode call only; ours includes reading, CRC-32 and writing)"
printf '%-20s %10s %10s %10s %10s %12s\n' payload ours zlib libdefl ours/zlib ours/libdefl
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for payload in pe/zlib-6 pe/libdeflate-12 text/zlib-6 text/libdeflate-12; do
  declare -A per=()
  for decoder in ours zlib libdeflate; do
    valgrind --tool=callgrind --toggle-collect="bench_decode_$decoder" \
      --callgrind-out-file="$tmp/out" "$bench" --payloads "$payloads" --once "$decoder" "$payload" \
      >"$tmp/stdout" 2>/dev/null
    bytes=$(sed -n 's/^output_bytes //p' "$tmp/stdout")
    instructions=$(sed -n 's/^summary: *//p;s/^totals: *//p' "$tmp/out" | head -n 1)
    per[$decoder]=$(awk -v i="$instructions" -v b="$bytes" 'BEGIN { printf "%.2f", i / b }')
  done
  printf '%-20s %10s %10s %10s %10s %12s\n' "$payload" "${per[ours]}" "${per[zlib]}" "${per[libdeflate]}" \
    "$(awk -v o="${per[ours]}" -v z="${per[zlib]}" 'BEGIN { printf "%.2f", z / o }')" \
    "$(awk -v o="${per[ours]}" -v l="${per[libdeflate]}" 'BEGIN { printf "%.2f", l / o }')"
  unset per
done
