#!/usr/bin/env bash
# Builds both programs and runs every test: units, the package tool, the decoder's
# tests as i386 code, the Windows program under Wine, the Linux tests again under
# AddressSanitizer and UBSan, and a bounded fuzz run. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host
cmake --preset win32 >/dev/null
cmake --build --preset win32
ctest --preset host
# The decoder's tests again as the Windows program's i386 code (-m32, size flags, the
# fast loop for speed): its 32-bit bit reader and copies are not in the x86-64 build.
cmake --preset i386 >/dev/null
cmake --build --preset i386
ctest --preset i386
ctest --test-dir build/win32 --output-on-failure
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi
