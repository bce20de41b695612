#!/usr/bin/env bash
# Runs the Windows test programs (x86_64 and i686) under Wine through ctest.
#
# The whole session runs inside one xvfb-run (the dialogs need a display, and
# the wineserver must be started under the same display as the programs).
# The Wine prefix lives in build/wineprefix and is created on first use; it
# holds nothing of value (--fresh deletes it first). A persistent wineserver
# is started before ctest, detached from ctest's pipes (otherwise every test
# waits seconds for the server's inherited pipes), crash dialogs are turned
# off (under Xvfb they would hang the run), and the server is stopped at the
# end. Exits nonzero when any test fails.
#
# i686 test programs need the 32-bit Wine (wine32, installed by
# scripts/install-deps.sh); a prefix made before wine32 was present cannot
# run them and is made anew.
#
# Usage: scripts/run-wine-tests.sh [--fresh] [build-dir ...]   (default: build/win64 build/win32)
# Environment: QUELTA_WINE_TEST_TIMEOUT  seconds per test program (default 1200)
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

fresh=0
dirs=()
for a in "$@"; do
  case "$a" in
    --fresh) fresh=1 ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) dirs+=("$a") ;;
  esac
done
[ ${#dirs[@]} -eq 0 ] && dirs=("$ROOT/build/win64" "$ROOT/build/win32")
have_wine32=0
{ [ -x /usr/lib/wine/wine ] || [ -x /usr/lib/i386-linux-gnu/wine/wine ]; } && have_wine32=1

for tool in wine wineserver xvfb-run ctest; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run-wine-tests: '$tool' not found; run scripts/install-deps.sh" >&2
    exit 1
  fi
done

# Re-run this script inside a virtual X display.
if [ -z "${QUELTA_WINE_SESSION:-}" ]; then
  export QUELTA_WINE_SESSION=1
  args=()
  [ $fresh = 1 ] && args+=(--fresh)
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "${args[@]}" "${dirs[@]}"
fi

export WINEPREFIX="$ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono / Gecko install prompts
export WINEARCH=win64
timeout_s="${QUELTA_WINE_TEST_TIMEOUT:-1200}"

# One session per prefix at a time: a second run would share, and at its
# end stop, the first one's wineserver. Wine's processes never inherit the
# lock (9>&-), so a killed session cannot leave it held.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
if ! flock -n 9; then
  echo "run-wine-tests: waiting for another Wine test session on this prefix"
  flock 9
fi

# A prefix made without the 32-bit Wine has no 32-bit system folder.
marker="$WINEPREFIX/.quelta-wine32"
if [ $have_wine32 = 1 ] && [ -d "$WINEPREFIX" ] && [ ! -f "$marker" ]; then
  echo "run-wine-tests: the prefix was made without 32-bit Wine; making it anew"
  fresh=1
fi
if [ $fresh = 1 ] && [ -d "$WINEPREFIX" ]; then
  wineserver -k >/dev/null 2>&1 </dev/null || true
  rm -rf "$WINEPREFIX"
fi

stop_server() { wineserver -k >/dev/null 2>&1 </dev/null || true; }
trap stop_server EXIT

start=$(date +%s%N)
wineserver -p >/dev/null 2>&1 </dev/null 9>&-
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run-wine-tests: creating the Wine prefix $WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1 </dev/null 9>&-
  [ $have_wine32 = 1 ] && touch "$marker"
fi
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >/dev/null 2>&1 </dev/null 9>&-
# Xvfb has no window manager: Wine draws the windows' frames and captions
# itself (the dialog screenshots show them) and does not wait for a window
# manager to map and unmap each dialog and message box.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null 9>&-
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null 9>&-
ms=$(( ($(date +%s%N) - start) / 1000000 ))
printf 'run-wine-tests: Wine ready in %d.%01d s (%s)\n' $((ms / 1000)) $((ms % 1000 / 100)) \
  "$(wine --version 2>/dev/null)"

rc=0
for d in "${dirs[@]}"; do
  if [ "$(basename "$d")" = win32 ] && [ $have_wine32 = 0 ]; then
    echo "run-wine-tests: FAIL $d needs the 32-bit Wine (wine32:i386); run scripts/install-deps.sh"
    rc=1
    continue
  fi
  if [ ! -f "$d/CTestTestfile.cmake" ]; then
    echo "run-wine-tests: FAIL $d is not a configured build directory"
    rc=1
    continue
  fi
  echo "run-wine-tests: ctest in ${d#"$ROOT"/}"
  (cd "$d" && ctest --output-on-failure --timeout "$timeout_s" </dev/null 9>&-) || rc=1
  # The dialogs' screenshots, as PNG files for the reviewer.
  [ -d "$d/screenshots" ] && { python3 "$ROOT/scripts/bmp-to-png.py" "$d/screenshots" || rc=1; }
done

stop_server
trap - EXIT
if [ $rc -eq 0 ]; then
  echo "run-wine-tests: all Windows tests passed"
else
  echo "run-wine-tests: FAILED"
fi
exit $rc
