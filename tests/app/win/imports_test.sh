#!/usr/bin/env bash
# The Windows stubs load no DLL that could be planted next to them: every DLL
# in their import tables (and delayed import tables) is a KnownDLL, which the
# loader takes from System32 only, or common controls 6, which the window
# stub's manifest binds to the system's side-by-side copy. Also: the window
# stub is a GUI program, the console stub a console one; both carry a
# manifest that asks for no elevation (the window stub's also for visual
# styles and per-monitor DPI awareness) and are built for ASLR and DEP.
# Usage: imports_test.sh KELVANE_SFX_EXE KELVANE_SFX_CLI_EXE
set -euo pipefail
gui=$1
cli=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
known="advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
shell32.dll shlwapi.dll user32.dll"
# Loaded on first use, after the search was limited to System32.
delayed="bcrypt.dll"
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

# check EXE SUBSYSTEM ALLOWED_EXTRA MANIFEST_TEXT...
check() {
  local exe=$1 subsystem=$2 extra=$3
  shift 3
  local dump name
  dump=$("$objdump" -p "$exe")
  # Imports and delayed imports both list their DLLs as "DLL Name: ...".
  while read -r name; do
    name=$(tr 'A-Z' 'a-z' <<<"$name")
    grep -qwF "$name" <<<"$known $extra" || fail "$(basename "$exe") imports $name"
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
  grep -q "DLL Name:" <<<"$dump" || fail "$(basename "$exe"): no import table found"
  # Delayed imports (mingw's delay libraries) leave their DLL's name in the
  # file but no entry objdump shows: every DLL name in the file must be
  # allowed, or one of those loaded on first use from System32.
  while read -r name; do
    name=$(tr 'A-Z' 'a-z' <<<"$name")
    grep -qwF "$name" <<<"$known $extra $delayed" || fail "$(basename "$exe") names $name"
  done < <(grep -aoiE '[a-z0-9_-]+\.dll' "$exe" | sort -u)
  grep -qE "^Subsystem[[:space:]]+0000000$subsystem" <<<"$dump" ||
    fail "$(basename "$exe"): subsystem is not $subsystem"
  for flag in DYNAMIC_BASE NX_COMPAT; do
    grep -q "$flag" <<<"$dump" || fail "$(basename "$exe"): not built with $flag"
  done
  for text in "$@"; do
    grep -qaF "$text" "$exe" || fail "$(basename "$exe"): the manifest lacks $text"
  done
}

check "$gui" 2 comctl32.dll 'level="asInvoker"' 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
  '>PerMonitorV2, PerMonitor<'
check "$cli" 3 "" 'level="asInvoker"'
# The console stub has no window: common controls would be a planted DLL's way in.
if "$objdump" -p "$cli" | grep -qi 'DLL Name: comctl32'; then
  fail "the console stub imports comctl32.dll without a manifest that binds it"
fi
[ "$failed" -eq 0 ] && echo "imports test passed"
exit "$failed"
