#!/usr/bin/env bash
# Brings up and tears down the headless Wine environment of the Windows test suite:
# one Xvfb server and one freshly booted win32 prefix, both recorded in a state
# directory so that every test of the run reuses them and the last one removes them.
#
#   wine-env.sh start STATE_DIR [DRIVER_EXE [WARMUP_EXE]]
#                                              Xvfb, prefix, persistent wineserver
#   wine-env.sh stop STATE_DIR                 wineserver -k, Xvfb killed, nothing left
#
# STATE_DIR/env gets DISPLAY, WINEPREFIX, XVFB_PID and WIN_TEMP (the prefix's temporary
# directory as GetTempPathA gives it, read with DRIVER_EXE --print-temp when given).
# WARMUP_EXE, the suite's setup program, is run once through the driver showing a message
# box: the first windows of a fresh prefix take seconds (caches being built), later ones
# about 0.1 s, and the tests should not pay that. WARMUP_EXE also stays running in the
# background, without a window, until the stop step ends the wineserver.
set -uo pipefail

wine_environment() {
  export WINEPREFIX="$1/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

prefix_processes() {
  local entry
  for entry in /proc/[0-9]*; do
    local pid="${entry#/proc/}"
    [ "$pid" = "$$" ] || [ "$pid" = "$PPID" ] && continue
    { tr '\0' '\n' <"$entry/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}

stop_environment() {
  local state="$1"
  [ -f "$state/env" ] || return 0
  local xvfb_pid
  xvfb_pid=$(sed -n 's/^XVFB_PID=//p' "$state/env")
  wine_environment "$state"
  if [ -d "$WINEPREFIX" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
  fi
  # Should the server have been unreachable, end what still runs in this prefix: the
  # processes whose environment names exactly this WINEPREFIX, one by one.
  local pid
  for pid in $(prefix_processes); do kill -9 "$pid" 2>/dev/null; done
  # Only the Xvfb this script started: its pid is recorded, and its command line is checked.
  if [ -n "$xvfb_pid" ] && tr '\0' ' ' <"/proc/$xvfb_pid/cmdline" 2>/dev/null | grep -q '^Xvfb '; then
    kill "$xvfb_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$xvfb_pid" 2>/dev/null
  fi
  rm -f "$state/env"
}

start_environment() {
  local state="$1" driver="${2:-}" warmup="${3:-}"
  mkdir -p "$state"
  stop_environment "$state"  # a previous run that was interrupted
  rm -rf "$state/prefix" "$state/display"

  # Xvfb picks a free display and writes its number to fd 3. setsid and closed output
  # keep it from holding the test runner's pipes.
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" \
    </dev/null >"$state/xvfb.log" 2>&1 &
  local xvfb_pid=$!
  echo "XVFB_PID=$xvfb_pid" >"$state/env"
  for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
  if ! [ -s "$state/display" ]; then
    echo "Xvfb did not start:" >&2; cat "$state/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$state/display")"
  echo "DISPLAY=$DISPLAY" >>"$state/env"

  wine_environment "$state"
  echo "WINEPREFIX=$WINEPREFIX" >>"$state/env"
  # A persistent server for the whole run: every program then starts warm. It stays
  # at most 10 minutes after its last client, should the stop step never come. The
  # server needs the prefix directory; wineboot fills the empty directory.
  mkdir -p "$WINEPREFIX"
  wineserver -p600 </dev/null >"$state/wineserver.log" 2>&1
  if ! wineboot -i </dev/null >"$state/wineboot.log" 2>&1; then
    echo "wineboot failed:" >&2; cat "$state/wineboot.log" >&2
    return 1
  fi
  # Wine draws its own window frames: no window manager needed, no delays per window.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || {
    echo "registry update failed" >&2; return 1; }
  if [ -n "$driver" ]; then
    local temp
    temp=$(wine "$driver" --print-temp </dev/null 2>/dev/null | tr -d '\r' | head -n1)
    [ -n "$temp" ] || { echo "driver could not report the temporary directory" >&2; return 1; }
    echo "WIN_TEMP=$temp" >>"$state/env"
    if [ -n "$warmup" ]; then
      local warmup_win="Z:${warmup//\//\\}"
      # A program that stays for the whole run keeps Wine's desktop and services up:
      # without one they stop after each test and start again, seconds each time.
      # Both runs record their command line to NUL: nothing to check there.
      SFX_WINE_RECORD=NUL SFX_WINE_STAY_MS=900000 setsid wine "$warmup" </dev/null >/dev/null 2>&1 &
      SFX_WINE_RECORD=NUL SFX_WINE_STAY_MS=0 SFX_WINE_BOX=warm-up \
        wine "$driver" "$warmup_win" </dev/null >"$state/warmup.log" 2>&1 &&
        grep -q '^t=[0-9]* box ' "$state/warmup.log" || { echo "warm-up run failed" >&2; return 1; }
    fi
  fi
  echo "Wine environment ready: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
}

# Paths are made absolute: the wineserver is found through the prefix directory.
[ $# -ge 2 ] && set -- "$1" "$(realpath -m "$2")" "${@:3}"
case "${1:-}" in
  start) [ $# -ge 2 ] || { echo "usage: $0 start STATE_DIR [DRIVER_EXE [WARMUP_EXE]]" >&2; exit 2; }
         start_environment "$2" "${3:-}" "${4:-}" || { stop_environment "$2"; exit 1; } ;;
  stop)  [ $# -ge 2 ] || { echo "usage: $0 stop STATE_DIR" >&2; exit 2; }
         stop_environment "$2" ;;
  *)     echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
