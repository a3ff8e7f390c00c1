#!/usr/bin/env bash
# Runs a Windows program of ours under Wine, headless:
#   scripts/wine-run.sh build/windows/stavrion_tests.exe --gtest_filter=...
# CMake uses it as the cross-compiling emulator, so ctest runs the Windows
# tests through it. The first call makes one Wine prefix shared by every
# build (~10 s, ~700 MB, under ~/.cache/stavrion-wine unless
# STAVRION_WINEPREFIX says otherwise); later calls only check it is there.
# A wineserver that stays up for a minute after the last program ends keeps
# Wine's helper processes warm, so each test starts in milliseconds instead
# of seconds; it goes away by itself.
set -euo pipefail

if [[ -n "${STAVRION_WINEPREFIX:-}" ]]; then
  WINEPREFIX="$STAVRION_WINEPREFIX"
elif [[ -n "${XDG_CACHE_HOME:-}" ]]; then
  WINEPREFIX="$XDG_CACHE_HOME/stavrion-wine"
elif [[ -n "${HOME:-}" ]]; then
  WINEPREFIX="$HOME/.cache/stavrion-wine"
else
  WINEPREFIX="${TMPDIR:-/tmp}/stavrion-wine-$(id -u)"
fi
export WINEPREFIX
export WINEARCH=win64
export WINEDEBUG=-all
# No sound drivers, and never offer to download Mono or Gecko.
export WINEDLLOVERRIDES="winealsa.drv,winepulse.drv=d;mscoree,mshtml="
# No desktop integration (menu entries, file associations) in the prefix.
export WINE_NO_DESKTOP_INTEGRATION=1

wine_prefix_ready() { [[ -f "$WINEPREFIX/.stavrion-ready" ]]; }

make_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  # One maker at a time; the others wait here and then find it ready.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if ! wine_prefix_ready; then
    echo "wine-run: creating the Wine prefix $WINEPREFIX (once)" >&2
    rm -rf "$WINEPREFIX"
    wine wineboot --init </dev/null >/dev/null 2>&1 || true
    wineserver -w
    [[ -f "$WINEPREFIX/system.reg" ]] || {
      echo "wine-run: wineboot did not create $WINEPREFIX" >&2
      exit 1
    }
    # A crashing test must print its trace and exit, not wait on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.stavrion-ready"
  fi
  flock -u 9
  exec 9>&-
}

if [[ "${1:-}" == "--init" ]]; then
  wine_prefix_ready || make_prefix
  exit 0
fi
if [[ $# -lt 1 ]]; then
  echo "usage: wine-run.sh [--init] PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

wine_prefix_ready || make_prefix

# Start a wineserver that lingers 60 s after its last client (exit code 2:
# one is already running). A fresh one gets Wine's helper processes started
# with no terminal or pipe of ours, so they never hold the caller's output.
if wineserver -p60 </dev/null >/dev/null 2>&1; then
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi

# Now and then (about once in a thousand starts on a busy machine) wine exits
# at once with an error status and prints nothing: the program never ran.
# Every program of ours prints something, so such a start is tried again,
# at most twice, and said so on standard error and in the file named by
# STAVRION_WINE_RETRY_LOG (the test command prints that file). The output
# is held until the program ends to tell the two cases apart.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
attempt=1
while :; do
  rc=0
  wine "$@" >"$out" 2>"$err" || rc=$?
  if [[ $rc -ne 0 && ! -s "$out" && ! -s "$err" && $attempt -lt 3 ]]; then
    note="wine-run: wine exited with status $rc and printed nothing (start $attempt of $*); starting it again"
    echo "$note" >&2
    if [[ -n "${STAVRION_WINE_RETRY_LOG:-}" ]]; then
      echo "$(date -u +%FT%TZ) $note" >>"$STAVRION_WINE_RETRY_LOG"
    fi
    attempt=$((attempt + 1))
    continue
  fi
  break
done
cat "$out"
cat "$err" >&2
exit "$rc"
