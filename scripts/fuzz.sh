#!/usr/bin/env bash
# Fuzzes the deflate decoder and the whole package for a bounded time: builds the
# `fuzz` preset (clang, -fsanitize=fuzzer,address,undefined), generates both seed
# corpora (the decoder's from zlib and libdeflate, the packages' from sfx-pack), and
# runs each libFuzzer target in turn. Both keep their files in memory. Fails on any
# crash, sanitizer report, leak, broken promise of a target, or an input that runs
# longer than 10 seconds.
#
#   FUZZ_SECONDS   run time of each target in seconds (default 40)
#   FUZZ_BUILD_DIR build directory (default: the preset's, build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-40}"
build="${FUZZ_BUILD_DIR:-build/fuzz}"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target fuzz_inflate inflate_fuzz_seeds fuzz_extract sfx-pack

# run NAME TARGET MAX_LEN: fuzzes from the target's kept corpus and fresh seeds.
run() {
  local name="$1" target="$2" max_len="$3"
  local work="$build/$name-fuzz"
  local log="$work/last-run.log" status=0
  mkdir -p "$work/corpus" "$work/artifacts"
  "$build/fuzz/$target" "$work/corpus" "$work/seeds" \
    -max_total_time="$seconds" -timeout=10 -max_len="$max_len" -rss_limit_mb=2048 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1 >"$log" 2>&1 || status=$?
  local runs rate files bytes
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || true)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  files=$(find "$work/corpus" -type f | wc -l)
  bytes=$(du -sb "$work/corpus" | cut -f1)
  echo "$name fuzz: ${runs:-?} executions in ${seconds} s (${rate:-?}/s); corpus ${files} files, ${bytes} bytes (status ${status})"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "$name fuzz: FAILED, see $log and $work/artifacts/" >&2
    return 1
  fi
}

rm -rf "$build/inflate-fuzz/seeds" "$build/extract-fuzz/seeds"
"$build/fuzz/inflate_fuzz_seeds" "$build/inflate-fuzz/seeds" >/dev/null
bash fuzz/make_package_seeds.sh "$build/sfx-pack" "$build/extract-fuzz/seeds" >/dev/null

status=0
run inflate fuzz_inflate 20000 || status=1
run extract fuzz_extract 8192 || status=1
exit "$status"
