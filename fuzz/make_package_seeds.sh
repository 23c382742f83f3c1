#!/usr/bin/env bash
# Writes the seeds of the whole-extraction fuzz target: small packages that sfx-pack
# makes (stored and deflated entries, a setup program, folders, none), each after the
# target's four control bytes: without faults, and with a few of the faults it injects.
#
#   make_package_seeds.sh SFX_PACK DIRECTORY
set -euo pipefail
pack="$1"
out="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/in/data/sub"

head -c 32 /dev/zero >"$work/stub"  # a 32-byte stand-in: the marker scan starts at 20 (--force)
printf 'MZ setup program\n' >"$work/in/SETUP.EXE"
printf 'read me first\n' >"$work/in/readme.txt"
seq 1 1500 >"$work/in/data/numbers.txt"
printf 'x' >"$work/in/data/sub/one"

package() {  # NAME, then sfx-pack create's arguments
  "$pack" --quiet create --force --output "$work/$1" --stub "$work/stub" "${@:2}" >/dev/null 2>&1
}
package stored --store --setup SETUP.EXE "$work/in/."
package fast --level 1 --setup SETUP.EXE "$work/in/."
package best --level 9 "$work/in/readme.txt" "$work/in/SETUP.EXE" "$work/in/data"
package plain --level 6 "$work/in/readme.txt"  # one file, no setup program

seed() {  # NAME, PACKAGE, four control bytes as octal escapes
  { printf "$3"; cat "$work/$2"; } >"$out/$1"
}
for p in stored fast best plain; do seed "$p" "$p" '\0\0\0\0'; done
seed stored-short-write stored '\001\100\000\000'
seed fast-short-write fast '\001\000\002\000'
seed fast-second-create-fails fast '\002\000\000\001'
seed stored-locked-setup stored '\004\0\0\0'
seed best-stale-setup best '\010\0\0\0'
seed stored-undeletable stored '\020\0\0\0'
seed best-close-fails best '\040\0\0\0'
seed fast-small-reads fast '\100\0\0\030'
seed plain-folder-taken plain '\200\0\0\0'
echo "wrote $(ls "$out" | wc -l) seeds to $out"
