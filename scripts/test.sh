#!/usr/bin/env bash
# Builds both programs and runs every test: units, the package tool, the Windows
# program under Wine, the Linux tests again under AddressSanitizer and UBSan, and a
# bounded fuzz run. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host
cmake --preset win32 >/dev/null
cmake --build --preset win32
ctest --preset host
ctest --test-dir build/win32 --output-on-failure
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi
