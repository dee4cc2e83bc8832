# Sourced by the run and test scripts: one Wine prefix, one Xvfb display and one
# persistent wineserver for the whole run.
#
# Where the kernel runs 32-bit code the test bed runs the shipped 32-bit build
# under 32-bit Wine; elsewhere the 64-bit build of the same sources under
# 64-bit Wine (see scripts/machine.sh). Wine's launcher scripts prefer a
# 32-bit Wine when one is installed, so loader and server are named directly.
#
# KILN_WIN_PRESET=win32 on a machine that runs no 32-bit code chooses the
# emulated bed: a 64-bit prefix whose 64-bit Wine starts Wine's 32-bit loader
# for the shipped build's exes, which qemu-user runs through a binfmt entry
# (scripts/emulation.sh) that exists only between start and stop.
#   kiln_wine_start   prepares the prefix (once) and starts display and server
#   kiln_wine_stop    ends both again
# Exports KILN_WIN_PRESET and KILN_WIN_BUILD (the Windows build to run) and
# KILN_RUNTIME_ARCH (the folder under EBWebView a runtime goes in for it).
# With KILN_DESKTOP set, windows open on the user's own display (DISPLAY) in a
# prefix of their own, where the desktop's window manager manages them.

KILN_ROOT=${KILN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
source "$KILN_ROOT/scripts/machine.sh"
export KILN_WIN_PRESET
KILN_WIN_PRESET=$(kiln_test_preset)
export KILN_WIN_BUILD=$KILN_ROOT/build/$KILN_WIN_PRESET
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$KILN_ROOT/build/wineprefix-$KILN_WIN_PRESET${KILN_DESKTOP:+-desktop}}
KILN_EMULATED=
if [ "$KILN_WIN_PRESET" = win32 ] && ! kiln_runs_32bit_code; then
  KILN_EMULATED=yes
  source "$KILN_ROOT/scripts/emulation.sh"
  export WINEPREFIX=$KILN_ROOT/build/wineprefix-win32-emulated WINEARCH=win64 KILN_RUNTIME_ARCH=x86
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  # Without it qemu cannot give Wine the address range of its shared data.
  export QEMU_RESERVED_VA=0xffff0000
elif [ "$KILN_WIN_PRESET" = win32 ]; then
  export WINEARCH=win32 KILN_RUNTIME_ARCH=x86
  export WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
else
  export WINEARCH=win64 KILN_RUNTIME_ARCH=x64
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
fi

wine() { "$WINELOADER" "$@"; }
wineserver() { "$WINESERVER" "$@"; }

kiln_prefix_ready() { [ -f "$WINEPREFIX/.kiln-ready" ]; }

kiln_prepare_prefix() {
  kiln_prefix_ready && return 0
  echo "wine: creating a prefix in $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1
  # No window manager runs under Xvfb: unmanaged windows hide and close at once.
  [ -n "${KILN_DESKTOP:-}" ] || wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
  # A crash exits (code 5) instead of hanging on the debugger dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
  wine winecfg -v win10 >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.kiln-ready"
}

kiln_start_display() {
  if [ -n "${KILN_KEEP_DISPLAY:-}${KILN_DESKTOP:-}" ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n lock
  # Two stages may start at once (the emulated one runs beside the others):
  # one chooses and starts its display at a time. Xvfb must not inherit the
  # lock, or it would hold it for as long as it runs.
  exec {lock}>/tmp/.kiln-display.lock
  flock "$lock"
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 2560x1600x24 -nolisten tcp >/dev/null 2>&1 {lock}>&- &
    KILN_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then exec {lock}>&-; return 0; fi
      sleep 0.1
    done
    kill "$KILN_XVFB_PID" 2>/dev/null || true
  done
  exec {lock}>&-
  echo "wine: no free X display for Xvfb" >&2
  return 1
}

kiln_wine_start() {
  if [ -n "$KILN_EMULATED" ]; then kiln_emulation_start || return 1; fi
  kiln_start_display
  kiln_prepare_prefix
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p
}

kiln_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${KILN_XVFB_PID:-}" ]; then kill "$KILN_XVFB_PID" 2>/dev/null || true; fi
  if [ -n "$KILN_EMULATED" ]; then kiln_emulation_stop; fi
}
