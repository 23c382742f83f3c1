#!/usr/bin/env bash
# Decoder benchmark in one command, for the two builds that matter: x86-64 (the host
# preset, Release) and i386 as the Windows program ships the decoder (-m32 with the
# Windows build's MinSizeRel flags, so -Os but for the files the build compiles for
# speed), each against zlib and libdeflate of the same architecture (Debian's i386
# packages for the 32-bit build; installed here when missing and run as root). Builds
# the payloads once (about 100 MB of PE images and 50 MB of text from this machine,
# compressed with zlib level 6 and libdeflate level 12; kept in
# $BENCH_BUILD_DIR/bench-payloads), prints the timing table of each build, then the
# instructions per output byte of each decoder measured with callgrind over the decode
# call only (--toggle-collect on the decoder's function). Both also give the work ours
# does that the others' figures do not carry (reads through the read layer, CRC-32 and
# writes, timed and counted alone as "extras") and ours without it (ours-ex).
#
# Valgrind's 32-bit x86 emulation has no carry-less multiply, so under callgrind the
# i386 build's CRC-32 takes its table path (about 4 instructions per byte); on the
# processor it folds as the x86-64 build does. The i386 lines of ours include that.
#
#   BENCH_ROUNDS     timing rounds, decoders alternating within each (default 7)
#   BENCH_CALLGRIND  0 skips the instruction counts (default 1)
#   BENCH_I386       0 skips the i386 build (default 1)
#   BENCH_BUILD_DIR  x86-64 build directory (default build/host); i386: build/i386-tests
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BENCH_BUILD_DIR:-build/host}"
build32=build/i386-tests  # the i386 preset's folder
payloads="$build/bench-payloads"

cmake --preset host -B "$build" >/dev/null
cmake --build "$build" -j2 --target bench_inflate >/dev/null
builds=("x86-64:$build/bench/bench_inflate")

i386_ready() {
  local p
  for p in g++-multilib zlib1g-dev:i386 libdeflate-dev:i386; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 1
  done
}
if [ "${BENCH_I386:-1}" = 1 ]; then
  if ! i386_ready && [ "$(id -u)" = 0 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      g++-multilib zlib1g-dev:i386 libdeflate-dev:i386 >/dev/null
  fi
  if i386_ready; then
    # The i386 preset: the Windows program's flags, the same build the decoder's i386
    # tests run in.
    cmake --preset i386 >/dev/null
    cmake --build "$build32" -j2 --target bench_inflate >/dev/null
    builds+=("i386-as-shipped:$build32/bench/bench_inflate")
  else
    echo "i386 build skipped: needs g++-multilib zlib1g-dev:i386 libdeflate-dev:i386 (run as root to install)"
  fi
fi

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores; one thread;" \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
for entry in "${builds[@]}"; do
  echo
  echo "== ${entry%%:*}"
  "${entry#*:}" --payloads "$payloads" --rounds "${BENCH_ROUNDS:-7}"
done

[ "${BENCH_CALLGRIND:-1}" = 1 ] || exit 0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for entry in "${builds[@]}"; do
  bench="${entry#*:}"
  echo
  echo "== ${entry%%:*}: instructions per output byte (callgrind, decode call only;" \
    "ours includes reading, CRC-32 and writing)"
  printf '%-20s %10s %10s %10s %10s %10s %10s %12s %16s\n' payload ours extras ours-ex zlib libdefl \
    ours/zlib ours/libdefl ours-ex/libdefl
  for payload in pe/zlib-6 pe/libdeflate-12 text/zlib-6 text/libdeflate-12; do
    declare -A per=()
    for decoder in ours zlib libdeflate extras; do
      fn="bench_decode_$decoder"; [ "$decoder" = extras ] && fn=bench_extras
      valgrind --tool=callgrind --toggle-collect="$fn" \
        --callgrind-out-file="$tmp/out" "$bench" --payloads "$payloads" --once "$decoder" "$payload" \
        >"$tmp/stdout" 2>/dev/null
      bytes=$(sed -n 's/^output_bytes //p' "$tmp/stdout")
      instructions=$(sed -n 's/^summary: *//p;s/^totals: *//p' "$tmp/out" | head -n 1)
      per[$decoder]=$(awk -v i="$instructions" -v b="$bytes" 'BEGIN { printf "%.2f", i / b }')
    done
    decode=$(awk -v o="${per[ours]}" -v e="${per[extras]}" 'BEGIN { printf "%.2f", o - e }')
    printf '%-20s %10s %10s %10s %10s %10s %10s %12s %16s\n' "$payload" "${per[ours]}" "${per[extras]}" "$decode" \
      "${per[zlib]}" "${per[libdeflate]}" \
      "$(awk -v o="${per[ours]}" -v z="${per[zlib]}" 'BEGIN { printf "%.2f", z / o }')" \
      "$(awk -v o="${per[ours]}" -v l="${per[libdeflate]}" 'BEGIN { printf "%.2f", l / o }')" \
      "$(awk -v o="$decode" -v l="${per[libdeflate]}" 'BEGIN { printf "%.2f", l / o }')"
    unset per
  done
done
