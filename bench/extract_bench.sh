#!/usr/bin/env bash
# Times the whole extraction of a realistic package: `sfx-pack extract` (the stub's own
# extraction loop over the POSIX stand-in) against `unzip` and `7z` on a ZIP of the same
# files, on tmpfs (/dev/shm) and on the disk, and prints median wall time, CPU time and
# peak RSS with the ratios.
#
#   bash bench/extract_bench.sh           full run: ~2,000 files / ~150 MB, 5 rounds, ~4 min
#   bash bench/extract_bench.sh --quick   smoke run: ~170 files / ~12 MB, 2 rounds, under a minute
#
# Environment: BUILD_DIR (default build/host, configured with the host preset when new;
# sfx-pack and sfx-stub are brought up to date there), DISK_DIR (a disk-backed scratch
# directory, default /tmp, else the repository's build/), SHM_DIR (default /dev/shm),
# ROUNDS, KEEP=1 to keep the scratch directory. The full run needs about 400 MB under
# DISK_DIR and 150 MB under SHM_DIR, all removed at the end.
#
# Figures come from bench/rusage_run.c (compiled statically here): wall time around
# fork and wait, CPU time and peak RSS from wait4; bench/extract_bench_table.py prints
# the tables.
#
# The tree is assembled from files of this machine, chosen deterministically: every
# category lists its files in byte order of their paths and takes every STRIDE-th one
# that is at most MAXSIZE bytes, until it has MAXFILES files or MAXBYTES bytes.
#   pe32/    PE32 DLLs and programs   /usr/lib/i386-linux-gnu/wine/i386-windows
#   pe64/    PE32+ DLLs and programs  /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
#   lib/     ELF shared libraries     /usr/lib/x86_64-linux-gnu/*.so*
#   include/ C and C++ headers        /usr/include
#   scripts/ Python and Perl modules  /usr/lib/python3, /usr/share/perl*
#   images/  PNG and SVG icons        /usr/share/icons
# Missing sources shrink the tree; names with spaces, ":" or non-ASCII bytes are left out.
#
# Runs alternate between the tools within each round, each into a fresh directory that
# is removed (untimed) afterwards; on the disk a `sync` precedes every run so that one
# run's write-back does not fall into the next. Caches cannot be dropped here, so one
# untimed warm-up run of every tool comes first and the inputs are read from the page
# cache in every timed run. `cp -r` of the tree is timed beside them for reference, and
# `sfx-pack --version` shows the C++ runtime's own peak RSS.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

QUICK=0
[ "${1:-}" = "--quick" ] && QUICK=1
if [ $QUICK = 1 ]; then SCALE=10; ROUNDS=${ROUNDS:-2}; else SCALE=1; ROUNDS=${ROUNDS:-5}; fi

BUILD_DIR=${BUILD_DIR:-$ROOT/build/host}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  if [ "$BUILD_DIR" = "$ROOT/build/host" ]; then cmake --preset host >/dev/null
  else cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null; fi
fi
# Brings the two programs up to date (nothing to do when they are).
cmake --build "$BUILD_DIR" -j2 --target sfx-pack sfx-stub >/dev/null
PACK=$BUILD_DIR/sfx-pack
for tool in zip unzip 7z python3 gcc; do
  command -v $tool >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

fstype() { df --output=fstype "$1" | tail -1; }
DISK_DIR=${DISK_DIR:-/tmp}
if [ "$(fstype "$DISK_DIR")" = tmpfs ]; then DISK_DIR=$ROOT/build; fi
SHM_DIR=${SHM_DIR:-/dev/shm}

WORK=$(mktemp -d "$DISK_DIR/extract-bench.XXXXXX")
SHM_WORK=$(mktemp -d "$SHM_DIR/extract-bench.XXXXXX")
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"; rm -rf "$SHM_WORK"; }
trap cleanup EXIT
TREE=$WORK/tree
LOG=$WORK/runs.log
RUSAGE=$WORK/rusage_run
gcc -O2 -static -o "$RUSAGE" "$ROOT/bench/rusage_run.c" 2>/dev/null ||
  { echo "   (no static C library: peak RSS includes the helper's ~1 MiB)"; gcc -O2 -o "$RUSAGE" "$ROOT/bench/rusage_run.c"; }

# measure LABEL FS COMMAND...: one line of the log (see bench/extract_bench_table.py).
measure() {
  local label=$1 fs=$2 figures
  shift 2
  figures=$("$RUSAGE" "$@")
  printf '%s\t%s\t%s\n' "$label" "$fs" "${figures// /$'\t'}" >>"$LOG"
  [ "${figures##* }" = 0 ] || echo "   $label: exit code ${figures##* }" >&2
}

# pick CATEGORY SOURCE_ROOT STRIDE MAXFILES MAXBYTES MAXSIZE FIND_ARGS...
pick() {
  local category=$1 source=$2 stride=$3 maxfiles=$(( $4 / SCALE )) maxbytes=$(( $5 / SCALE )) maxsize=$6
  shift 6
  [ -d "$source" ] || return 0
  find "$source" "$@" -type f -size -$((maxsize + 1))c -printf '%s %P\n' 2>/dev/null |
    LC_ALL=C grep -v '[^ -~]' | LC_ALL=C grep -v '^[0-9]* .*[: ]' | LC_ALL=C sort -k2 |
    awk -v s="$stride" -v mf="$maxfiles" -v mb="$maxbytes" \
      '!done && (NR - 1) % s == 0 { if (n >= mf || b + $1 > mb) { done = 1; next }; n++; b += $1; print substr($0, index($0, " ") + 1) }' |
    while IFS= read -r rel; do
      mkdir -p "$TREE/$category/$(dirname "$rel")"
      cp --preserve=timestamps "$source/$rel" "$TREE/$category/$rel"
    done
}

echo "== assembling the tree in $TREE"
MB=1000000
pick pe32 /usr/lib/i386-linux-gnu/wine/i386-windows 2 400 $((60 * MB)) $((3 * MB))
pick pe64 /usr/lib/x86_64-linux-gnu/wine/x86_64-windows 3 200 $((33 * MB)) $((3 * MB))
pick lib /usr/lib/x86_64-linux-gnu 2 170 $((40 * MB)) $((3 * MB)) -maxdepth 1 -name '*.so*'
pick include /usr/include 6 800 $((12 * MB)) $((1 * MB)) -name '*.h'
pick scripts /usr/lib/python3 5 250 $((6 * MB)) $((1 * MB)) -name '*.py'
pick scripts/perl /usr/share/perl 3 100 $((3 * MB)) $((1 * MB)) -name '*.pm'
pick images /usr/share/icons 10 480 $((10 * MB)) $((1 * MB)) \( -name '*.png' -o -name '*.svg' \)
FILES=$(find "$TREE" -type f | wc -l)
BYTES=$(du -sb "$TREE" | cut -f1)
echo "   $FILES files, $((BYTES / MB)) MB:"
for d in "$TREE"/*/; do
  printf '   %-10s %5d files %6d MB\n' "$(basename "$d")" "$(find "$d" -type f | wc -l)" "$(( $(du -sb "$d" | cut -f1) / MB ))"
done

echo "== packing ($SECONDS s)"
PKG=$WORK/tree.pkg
ZIPFILE=$WORK/tree.zip
seconds_since() { python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.1f}')" "$1" "$EPOCHREALTIME"; }
start=$EPOCHREALTIME
# (its warning that no name contains ".EXE" is expected: nothing is to be started)
(cd "$TREE" && "$PACK" create --stub "$BUILD_DIR/sfx-stub" --output "$PKG" . >/dev/null 2>"$WORK/create.err") ||
  { cat "$WORK/create.err" >&2; exit 1; }
echo "   sfx-pack create (default level): $(stat -c %s "$PKG") bytes, $(seconds_since "$start") s"
start=$EPOCHREALTIME
(cd "$TREE" && zip -q -r -9 "$ZIPFILE" .)
echo "   zip -q -r -9:                     $(stat -c %s "$ZIPFILE") bytes, $(seconds_since "$start") s"

# One timed run: LABEL FS DEST COMMAND... The destination is fresh and removed afterwards.
timed() {
  local label=$1 fs=$2 dest=$3
  shift 3
  rm -rf "$dest"
  [ "$fs" = disk ] && sync
  measure "$label" "$fs" "$@"
  rm -rf "$dest"
}

round() {  # FS BASE: one run of every tool, in the same order
  local fs=$1 base=$2
  timed "sfx-pack extract" "$fs" "$base/ours" "$PACK" extract "$PKG" "$base/ours"
  timed "unzip" "$fs" "$base/unzip" unzip -o -q "$ZIPFILE" -d "$base/unzip"
  timed "7z" "$fs" "$base/7z" 7z x -y "-o$base/7z" "$ZIPFILE"
  timed "cp -r (reference)" "$fs" "$base/cp" cp -r "$TREE" "$base/cp"
}

# The extraction must give back the tree: checked once, on tmpfs.
"$PACK" extract "$PKG" "$SHM_WORK/check" >/dev/null
diff -r "$TREE" "$SHM_WORK/check" >/dev/null || { echo "sfx-pack extract did not reproduce the tree" >&2; exit 1; }
rm -rf "$SHM_WORK/check"

for fs in tmpfs disk; do
  if [ $fs = tmpfs ]; then base=$SHM_WORK; else base=$WORK/out; mkdir -p "$base"; fi
  echo "== $fs: $base ($(fstype "$base")), warm-up, then $ROUNDS rounds ($SECONDS s)"
  LOG=$WORK/warmup.log round $fs "$base"
  for r in $(seq "$ROUNDS"); do round $fs "$base"; done
done

for i in 1 2 3; do
  measure "sfx-pack --version" runtime "$PACK" --version
  measure "unzip -v" runtime unzip -v
  measure "true" runtime true
done

echo
echo "CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores"
echo "Tree: $FILES files, $((BYTES / MB)) MB; package $(($(stat -c %s "$PKG") / 1024)) KiB, ZIP $(($(stat -c %s "$ZIPFILE") / 1024)) KiB"
for fs in tmpfs disk; do
  echo
  echo "-- $fs (median of $ROUNDS runs; peak RSS is the largest)"
  python3 "$ROOT/bench/extract_bench_table.py" "$LOG" $fs
done
echo
echo "-- runtime baseline (peak RSS of a run that does no work)"
python3 "$ROOT/bench/extract_bench_table.py" "$LOG" runtime
echo; echo "(the benchmark took $SECONDS s)"
