#!/usr/bin/env bash
# Times `sfx-pack create` at its default level (10), on every processor and on one
# thread, against `7z a -tzip` at 7-Zip's default level and `zip -r -9`, on one tree of
# this machine's files, and prints wall time, CPU time, peak RSS and the output's size.
#
#   bash bench/create_bench.sh
#
# The tree (regular files only, copied once into WORK_DIR): every file of
# /usr/share/doc, then Wine's PE DLLs and programs (/usr/lib/i386-linux-gnu/wine and
# /usr/lib/x86_64-linux-gnu/wine, *-windows folders) in byte order of their paths until
# the tree holds TREE_MB megabytes. Every tool reads it from the page cache: one untimed
# warm-up run of each comes first. The machine's load average is printed before and
# after, since other work on it slows every tool.
#
# Environment: BUILD_DIR (default build/host), WORK_DIR (default /tmp), TREE_MB (default
# 300), ROUNDS (default 1; the table shows the median of the rounds), LEVELS (other
# levels to time sfx-pack at, e.g. "9 12", a row each), KEEP=1 keeps the scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-$ROOT/build/host}
TREE_MB=${TREE_MB:-300}
ROUNDS=${ROUNDS:-1}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake --preset host >/dev/null
cmake --build "$BUILD_DIR" -j2 --target sfx-pack sfx-stub >/dev/null
for tool in zip 7z gcc; do
  command -v $tool >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

WORK=$(mktemp -d "${WORK_DIR:-/tmp}/sfx-create-bench-XXXXXX")
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT
RUSAGE=$WORK/rusage_run
gcc -O2 -static -o "$RUSAGE" "$ROOT/bench/rusage_run.c" 2>/dev/null || gcc -O2 -o "$RUSAGE" "$ROOT/bench/rusage_run.c"

# The tree: names with spaces or non-ASCII bytes are left out, so every tool sees the same files.
TREE=$WORK/tree
mkdir -p "$TREE"
set +o pipefail  # the list stops being read at TREE_MB
{
  find /usr/share/doc -type f 2>/dev/null | LC_ALL=C sort
  find /usr/lib/i386-linux-gnu/wine /usr/lib/x86_64-linux-gnu/wine -path '*-windows/*' -type f 2>/dev/null | LC_ALL=C sort
} | LC_ALL=C grep -v '[^!-~]' | xargs -d '\n' stat -c '%s %n' 2>/dev/null |
  awk -v limit=$((TREE_MB * 1000000)) '{ total += $1; if (total > limit) exit; print substr($0, index($0, " ") + 1) }' |
  while read -r f; do mkdir -p "$TREE$(dirname "$f")" && cp "$f" "$TREE$f"; done
set -o pipefail
FILES=$(find "$TREE" -type f | wc -l)
BYTES=$(find "$TREE" -type f -printf '%s\n' | awk '{s += $1} END {print s}')

STUB=$BUILD_DIR/sfx-stub
declare -A COMMANDS=(
  [sfx-pack]="$BUILD_DIR/sfx-pack -q create --stub $STUB --output $WORK/out.sfx-pack ."
  [sfx-pack-j1]="$BUILD_DIR/sfx-pack -q create --jobs 1 --stub $STUB --output $WORK/out.sfx-pack-j1 ."
  [7z]="7z a -tzip -bd -bso0 $WORK/out.7z.zip ."
  [zip-9]="zip -q -r -9 $WORK/out.zip-9.zip ."
)
declare -A OUT=([sfx-pack]=out.sfx-pack [sfx-pack-j1]=out.sfx-pack-j1 [7z]=out.7z.zip [zip-9]=out.zip-9.zip)
ORDER=(sfx-pack sfx-pack-j1)
for level in ${LEVELS:-}; do
  COMMANDS[sfx-pack-l$level]="$BUILD_DIR/sfx-pack -q create --level $level --stub $STUB --output $WORK/out.l$level ."
  OUT[sfx-pack-l$level]=out.l$level
  ORDER+=(sfx-pack-l$level)
done
ORDER+=(7z zip-9)

echo "tree: $FILES files, $BYTES bytes ($(nproc) processors); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in "${ORDER[@]}"; do (cd "$TREE" && rm -f "$WORK/${OUT[$name]}" && ${COMMANDS[$name]} >/dev/null 2>&1); done
declare -A RESULTS
for ((round = 0; round < ROUNDS; round++)); do
  for name in "${ORDER[@]}"; do
    rm -f "$WORK/${OUT[$name]}"
    RESULTS[$name]+="$(cd "$TREE" && "$RUSAGE" ${COMMANDS[$name]} 2>/dev/null)"$'\n'
  done
done
printf '%-12s %9s %9s %10s %14s %8s\n' tool wall_s cpu_s peak_MiB bytes "vs 7z"
SIZE7Z=$(stat -c %s "$WORK/${OUT[7z]}")
for name in "${ORDER[@]}"; do
  median=$(printf '%s' "${RESULTS[$name]}" | sort -n -k1,1 | awk '{a[NR] = $0} END {print a[int((NR + 1) / 2)]}')
  read -r wall cpu rss code <<<"$median"
  [ "$code" = 0 ] || echo "$name exited with $code" >&2
  size=$(stat -c %s "$WORK/${OUT[$name]}")
  printf '%-12s %9.2f %9.2f %10.1f %14d %7.3fx\n' "$name" "$wall" "$cpu" "$(echo "$rss / 1024" | bc -l)" "$size" \
    "$(echo "$size / $SIZE7Z" | bc -l)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in "${ORDER[@]}"; do echo "  $name: ${COMMANDS[$name]}"; done
