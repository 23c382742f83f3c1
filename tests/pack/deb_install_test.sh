#!/usr/bin/env bash
# The Debian package, end to end: cpack makes the .deb from this build, dpkg-deb unpacks
# it into a scratch root, and the installed sfx-pack (finding its installed Linux stub on its
# own) makes a package that the installed Linux stub then runs. The listing proves the
# man page and the documents are there; that the tool takes the Windows stub from where
# the listing shows it by default is StubSearch's test.
#
#   deb_install_test.sh CPACK_CONFIG WINDOWS_STUB
# Exit status 77 (skipped) when the Windows stub, which the package holds, has not been built.
set -euo pipefail
config=$1
windows_stub=$2
if [ ! -f "$windows_stub" ]; then
  echo "the Windows stub $windows_stub is not built: skipped"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$config" -G DEB -B "$scratch/deb" >/dev/null
deb=$(ls "$scratch"/deb/sfx-pack_*.deb)
listing=$(dpkg-deb -c "$deb")
for f in ./usr/bin/sfx-pack ./usr/share/sfx/sfx-stub.exe ./usr/share/sfx/sfx-stub ./usr/share/man/man1/sfx-pack.1 \
  ./usr/share/doc/sfx-pack/copyright ./usr/share/doc/sfx-pack/guide.md ./usr/share/doc/sfx-pack/package-format.md; do
  grep -q " $f\$" <<<"$listing" || fail "$f is not in the package"
done
dpkg-deb -x "$deb" "$scratch/root"
tool=$scratch/root/usr/bin/sfx-pack

# The package's inputs: a setup program (a script: the Linux stub runs anything) that
# copies the data file unpacked beside it to a record the test reads.
mkdir -p "$scratch/app/data" "$scratch/tmp"
printf '#!/bin/sh\ncat "$(dirname "$0")/data/readme.txt" >"$SFX_TEST_RECORD"\n' >"$scratch/app/SETUP.EXE"
echo "hello from the package" >"$scratch/app/data/readme.txt"

cd "$scratch/app"
"$tool" create --stub linux --output "$scratch/app.run" SETUP.EXE data >/dev/null
(cd "$scratch" && TMPDIR="$scratch/tmp" SFX_TEST_RECORD="$scratch/record" timeout 60 ./app.run) ||
  fail "the package did not run"
[ "$(cat "$scratch/record")" = "hello from the package" ] ||
  fail "the setup program did not run with the files beside it: $(cat "$scratch/record" 2>&1)"
echo "the .deb installs sfx-pack, both stubs, the man page and the documents; a package made with them runs"
