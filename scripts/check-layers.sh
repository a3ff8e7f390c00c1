#!/usr/bin/env bash
# The layer check: fails when a source includes a layer above its own, or when
# a Windows header or a file of a win32/ folder is included outside a win32/
# folder. The build makes the same rules between layers hard to break (see
# CMakeLists.txt); this also covers the folders inside os/, headers that no
# target compiles alone, and the Windows sources a Linux build never sees.
#
#   scripts/check-layers.sh              checks the files git knows of
#   scripts/check-layers.sh FILE...      checks the given files (paths from the root)
#   scripts/check-layers.sh --self-test  shows that each rule catches what it should
#
# Layers, bottom up; a folder may include its own layer and the ones it lists:
#   base/                          nothing else of ours
#   os/wire/                       base
#   os/ (the interfaces)           base, os/wire
#   os/sim, os/linux, os/win32     base, os/wire, os/ and their own folder only
#   engine/                        base, os/wire, os/
#   app/                           + engine
#   tools/                         + app
#   monitor/                       + app, and the backends (the monitor picks the machine)
#   ui/ (the window's arithmetic)  base
#   ui/win32/ (the window's controls)  base, os/wire, os/, os/win32, ui/
#   chart/ (the chart's arithmetic)  base
#   cli/ (front end)               everything above but the window
#   monitor/win32/, tools/win32/, chart/win32/ (the window program)
#                                  everything but cli/, and resources/ (its resource numbers)
#   loadgen/ (the load generator, its own program)  nothing else of ours;
#                                  loadgen/linux, loadgen/win32 its backends
#   tests/, bench/, fuzz/          anything
# Besides: only win32/ folders include Windows headers or files of a win32/
# folder.
set -euo pipefail

cd "$(dirname "$0")/.."

# Layer name of a path (a source file or an include target).
LAYER_AWK='
function layer(path) {
  if (path ~ /^base\//) return "base"
  if (path ~ /^os\/wire\//) return "wire"
  if (path ~ /^os\/(sim|linux|win32)\//) { split(path, p, "/"); return "os-" p[2] }
  if (path ~ /^os\//) return "os"
  if (path ~ /^(tests|bench|fuzz)\//) return "any"
  if (path ~ /^ui\/win32\//) return "ui-win32"
  if (path ~ /^(monitor|tools|chart)\/win32\//) return "window"
  if (path ~ /^engine\//) return "engine"
  if (path ~ /^app\//) return "app"
  if (path ~ /^monitor\//) return "monitor"
  if (path ~ /^tools\//) return "tools"
  if (path ~ /^ui\//) return "ui"
  if (path ~ /^chart\//) return "chart"
  if (path ~ /^cli\//) return "front"
  if (path ~ /^loadgen\//) return "loadgen"
  if (path ~ /^resources\//) return "resources"
  return ""
}
# May a file of layer `from` include a file of layer `to`?
function allowed(from, to) {
  if (to == "" || from == "any" || from == to) return 1
  return index(may[from], " " to " ") > 0
}
function in_win32(path) { return path ~ /(^|\/)win32\// }
BEGIN {
  backends = " os-sim os-linux os-win32 "
  may["base"] = " "
  may["wire"] = " base "
  may["os"] = " base wire "
  may["os-sim"] = may["os-linux"] = may["os-win32"] = " base wire os "
  may["engine"] = " base wire os "
  may["app"] = " base wire os engine "
  may["tools"] = " base wire os engine app "
  may["monitor"] = " base wire os engine app" backends
  may["ui"] = " base "
  may["ui-win32"] = " base wire os os-win32 ui "
  may["chart"] = " base "
  may["front"] = " base wire os engine app tools monitor ui chart" backends
  may["window"] = " base wire os engine app tools monitor ui ui-win32 chart resources" backends
  may["resources"] = " "
  may["loadgen"] = " "
  # Headers of the Windows SDK (matched without case, as Windows matches them).
  windows = "^(windows|win[a-z0-9_]*|nt[a-z0-9_]*|ws2[a-z0-9_]*|wbem[a-z]*|comdef|comip|comutil|" \
            "commctrl|commdlg|ole[a-z0-9]*|objbase|objidl|shellapi|shlobj|shlwapi|setupapi|" \
            "devguid|cfgmgr32|pdh[a-z]*|mmsystem|dbt|iphlpapi|psapi|tlhelp32|strsafe|tchar|" \
            "wincrypt|mapi|uxtheme|dwmapi|d2d1|gdiplus|io|direct|process|conio|intrin|" \
            "lm[a-z]*|sddl|aclapi|userenv|versionhelpers)\\.h$"
  bad = 0
}
/^[ \t]*#[ \t]*include[ \t]*[<"]/ {
  line = $0
  sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
  quote = substr(line, 1, 1)
  target = substr(line, 2)
  sub(/[>"].*$/, "", target)
  from = layer(FILENAME)
  if (quote == "<") {
    if (tolower(target) ~ windows && !in_win32(FILENAME)) {
      printf "%s:%d: Windows header <%s> outside a win32/ folder\n", FILENAME, FNR, target
      bad = 1
    }
    next
  }
  if (in_win32(target) && !in_win32(FILENAME)) {
    printf "%s:%d: includes %s of a win32/ folder from a portable folder\n", FILENAME, FNR, target
    bad = 1
    next
  }
  to = layer(target)
  if (!allowed(from, to)) {
    printf "%s:%d: %s (%s) may not include %s (%s)\n", FILENAME, FNR, FILENAME, from, target, to
    bad = 1
  }
}
END { exit bad }
'

check() {
  [[ $# -gt 0 ]] || return 0
  awk "$LAYER_AWK" "$@"
}

self_test() {
  local tmp failures=0
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  # Each case: a file, its one include line, and whether the check must pass.
  local cases=(
    "engine/A.cpp|#include \"app/Settings.h\"|fail"
    "engine/A.cpp|#include \"monitor/Monitor.h\"|fail"
    "engine/A.cpp|#include \"os/sim/SimPlatform.h\"|fail"
    "engine/A.cpp|#include \"os/linux/LinuxSystem.h\"|fail"
    "engine/A.cpp|#include \"os/wire/WinIoctl.h\"|pass"
    "engine/A.cpp|#include \"os/DeviceIo.h\"|pass"
    "engine/A.cpp|#include \"base/DebugLog.h\"|pass"
    "os/A.h|#include \"engine/AtaSmart.h\"|fail"
    "os/wire/A.h|#include \"os/DeviceIo.h\"|fail"
    "os/sim/A.cpp|#include \"engine/WinIoctl.h\"|fail"
    "os/sim/A.cpp|#include \"os/linux/SysfsDisks.h\"|fail"
    "os/linux/A.cpp|#include \"app/DebugLog.h\"|fail"
    "os/linux/A.cpp|#include \"os/wire/DeviceNames.h\"|pass"
    "base/A.h|#include \"os/Clock.h\"|fail"
    "base/A.h|#include <cstdint>|pass"
    "app/A.cpp|#include \"monitor/Monitor.h\"|fail"
    "app/A.cpp|#include \"engine/AtaSmart.h\"|pass"
    "monitor/A.cpp|#include \"cli/ReportCommand.h\"|fail"
    "monitor/A.cpp|#include \"os/sim/SimPlatform.h\"|pass"
    "cli/A.cpp|#include \"monitor/Monitor.h\"|pass"
    "engine/A.cpp|#include <windows.h>|fail"
    "monitor/A.cpp|#include <Windows.h>|fail"
    "os/A.cpp|#  include <winioctl.h>|fail"
    "tests/A.cpp|#include <ntddscsi.h>|fail"
    "monitor/A.cpp|#include \"monitor/win32/Tray.h\"|fail"
    "os/win32/A.cpp|#include <windows.h>|pass"
    "monitor/win32/A.cpp|#include <windows.h>|pass"
    "tests/win32/A.cpp|#include <windows.h>|pass"
    "ui/win32/A.cpp|#include \"monitor/win32/Tray.h\"|fail"
    "ui/win32/A.cpp|#include \"monitor/Monitor.h\"|fail"
    "ui/win32/A.cpp|#include \"os/win32/WinText.h\"|pass"
    "ui/win32/A.cpp|#include \"ui/SkinMath.h\"|pass"
    "ui/A.cpp|#include \"engine/AtaSmart.h\"|fail"
    "ui/A.cpp|#include \"ui/win32/SkinControl.h\"|fail"
    "ui/A.cpp|#include <windows.h>|fail"
    "monitor/win32/A.cpp|#include \"ui/win32/SkinControl.h\"|pass"
    "monitor/win32/A.cpp|#include \"resources/resource.h\"|pass"
    "monitor/win32/A.cpp|#include \"cli/Commands.h\"|fail"
    "monitor/A.cpp|#include \"resources/resource.h\"|fail"
    "monitor/A.cpp|#include \"tools/Smbios.h\"|fail"
    "monitor/A.cpp|#include \"ui/SkinMath.h\"|fail"
    "tools/A.cpp|#include \"app/JsonWriter.h\"|pass"
    "tools/A.cpp|#include \"monitor/Monitor.h\"|fail"
    "tools/A.cpp|#include \"os/linux/LinuxSmbios.h\"|fail"
    "tools/A.cpp|#include <winsock2.h>|fail"
    "tools/win32/A.cpp|#include \"tools/Smbios.h\"|pass"
    "cli/A.cpp|#include \"tools/MemoryInfo.h\"|pass"
    "cli/A.cpp|#include \"monitor/win32/MainDialog.h\"|fail"
    "app/A.cpp|#include \"tools/Smbios.h\"|fail"
    "tests/A.cpp|#include \"monitor/Monitor.h\"|pass"
    "loadgen/A.cpp|#include \"base/DebugLog.h\"|fail"
    "loadgen/linux/A.cpp|#include \"loadgen/LoadPlan.h\"|pass"
    "loadgen/win32/A.cpp|#include <windows.h>|pass"
    "loadgen/A.cpp|#include <windows.h>|fail"
    "cli/A.cpp|#include \"loadgen/LoadPlan.h\"|fail"
    "chart/A.cpp|#include \"base/Text.h\"|pass"
    "chart/A.cpp|#include \"monitor/Monitor.h\"|fail"
    "chart/A.cpp|#include \"chart/win32/ChartCtrl.h\"|fail"
    "chart/A.cpp|#include <windows.h>|fail"
    "chart/win32/A.cpp|#include \"chart/ChartAxis.h\"|pass"
    "chart/win32/A.cpp|#include \"ui/win32/SkinControl.h\"|pass"
    "monitor/win32/A.cpp|#include \"chart/win32/ChartCtrl.h\"|pass"
  )
  local c file text want got
  for c in "${cases[@]}"; do
    IFS='|' read -r file text want <<<"$c"
    rm -rf "${tmp:?}"/*
    mkdir -p "$tmp/$(dirname "$file")"
    printf '// case\n%s\n' "$text" >"$tmp/$file"
    if (cd "$tmp" && awk "$LAYER_AWK" "$file" >/dev/null); then got=pass; else got=fail; fi
    if [[ "$got" != "$want" ]]; then
      echo "check-layers self-test: $file with '$text' should $want, did $got" >&2
      failures=$((failures + 1))
    fi
  done
  [[ $failures -eq 0 ]] || return 1
  echo "check-layers self-test: ${#cases[@]} cases ok"
}

if [[ "${1:-}" == "--self-test" ]]; then
  self_test
  exit
fi
if [[ $# -gt 0 ]]; then
  check "$@"
  exit
fi
mapfile -t FILES < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' |
                     while read -r f; do [[ -f "$f" ]] && echo "$f"; done)
if ! check "${FILES[@]}"; then
  echo "check-layers: includes point up or Windows headers sit outside win32/ folders (see above)" >&2
  exit 1
fi
echo "check-layers: ${#FILES[@]} files, every include points down"
