#!/usr/bin/env bash
# The main job on the bundled example (examples/hello): builds both stubs, sfx-pack and
# the example's setup program for Linux and Windows, makes a package of each, runs the
# Linux package through the POSIX stand-in and the Windows package under Wine in a
# headless X server, saves a screenshot of what the user sees under build/demo/, and
# prints where the files went and what the setup program received.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
cmake --preset host >/dev/null && cmake --build --preset host >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 >/dev/null

demo=build/demo
rm -rf "$demo" && mkdir -p "$demo/linux" "$demo/windows" "$demo/tmp"
for side in linux windows; do cp -r examples/hello/files/. "$demo/$side/"; done
cp build/host/examples/hello-setup "$demo/linux/SETUP.EXE"
cp build/win32/examples/hello-setup.exe "$demo/windows/SETUP.EXE"

# The package paths have spaces: the setup program receives them with 0xAC instead.
linux_package="$demo/hello package.run"
windows_package="$demo/hello package.exe"
build/host/sfx-pack create --stub build/host/sfx-stub --output "$linux_package" "$demo/linux/."
build/host/sfx-pack create --stub build/win32/sfx-stub.exe --output "$windows_package" "$demo/windows/."
ls -l "$linux_package" "$windows_package" build/win32/sfx-stub.exe

show_received() {  # the received text is Windows-1252: 0xAC is shown as the sign it is
  python3 -c 'import sys; print("  setup program received: " + open(sys.argv[1], "rb").read().decode("cp1252"))' "$1"
}

echo
echo "== Linux: running $linux_package"
TMPDIR="$root/$demo/tmp" "$linux_package"
echo "  files went to $demo/tmp/_I_/:"
(cd "$demo/tmp/_I_" && find . -type f | sed 's|^\./|    |' | sort)
show_received "$demo/tmp/sfx-demo-received.txt"

echo
echo "== Windows: running $windows_package under Wine"
state="$root/$demo/wine"
trap 'bash "$root/scripts/wine-env.sh" stop "$state" >/dev/null 2>&1 || true' EXIT
bash scripts/wine-env.sh start "$state" "$root/build/win32/tests/wine/sfx-wine-driver.exe" >/dev/null
DISPLAY=$(sed -n 's/^DISPLAY=//p' "$state/env")
WINEPREFIX=$(sed -n 's/^WINEPREFIX=//p' "$state/env")
WIN_TEMP=$(sed -n 's/^WIN_TEMP=//p' "$state/env")
export DISPLAY WINEPREFIX WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
win_temp_unix=$(winepath -u "$WIN_TEMP" 2>/dev/null | tr -d '\r')
rm -rf "$win_temp_unix/_I_" "$win_temp_unix/sfx-demo-received.txt"
wine "$windows_package" </dev/null >/dev/null 2>&1 &
package_pid=$!
# The setup program shows its window for three seconds once the package has started it.
for _ in $(seq 100); do [ -s "$win_temp_unix/sfx-demo-received.txt" ] && break; sleep 0.1; done
sleep 1
import -display "$DISPLAY" -window root "$demo/screenshot.png"
wait "$package_pid" || true
echo "  files went to ${WIN_TEMP}_I_\\ ($win_temp_unix/_I_/):"
(cd "$win_temp_unix/_I_" 2>/dev/null && find . -type f | sed 's|^\./|    |' | sort)
show_received "$win_temp_unix/sfx-demo-received.txt"
echo "  screenshot of what the user saw: $demo/screenshot.png"
