#!/usr/bin/env bash
# Builds the stub for Linux and Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset host >/dev/null && cmake --build --preset host
cmake --preset win32 >/dev/null && cmake --build --preset win32
ls -l build/host/sfx-stub build/win32/sfx-stub.exe
