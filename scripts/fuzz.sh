#!/usr/bin/env bash
# Fuzzes the deflate decoder for a bounded time: builds the `fuzz` preset (clang,
# -fsanitize=fuzzer,address,undefined), generates the seed corpus, and runs the
# libFuzzer target. Fails on any crash, sanitizer report, leak, broken promise of the
# target, or an input that runs longer than 10 seconds.
#
#   FUZZ_SECONDS   run time in seconds (default 60)
#   FUZZ_BUILD_DIR build directory (default: the preset's, build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
build="${FUZZ_BUILD_DIR:-build/fuzz}"
# Each run writes the input and output as files: keep them in memory where possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ]; then export TMPDIR=/dev/shm; fi

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target fuzz_inflate inflate_fuzz_seeds

work="$build/inflate-fuzz"
mkdir -p "$work/corpus" "$work/artifacts"
rm -rf "$work/seeds"
"$build/fuzz/inflate_fuzz_seeds" "$work/seeds" >/dev/null

log="$work/last-run.log"
status=0
"$build/fuzz/fuzz_inflate" "$work/corpus" "$work/seeds" \
  -max_total_time="$seconds" -timeout=10 -max_len=20000 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 >"$log" 2>&1 || status=$?

runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || true)
files=$(find "$work/corpus" -type f | wc -l)
bytes=$(du -sb "$work/corpus" | cut -f1)
echo "inflate fuzz: ${runs:-?} executions in ${seconds} s; corpus ${files} files, ${bytes} bytes (status ${status})"
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "inflate fuzz: FAILED, see $log and $work/artifacts/" >&2
  exit 1
fi
