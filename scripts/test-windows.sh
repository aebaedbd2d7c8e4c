#!/bin/sh
# Builds the Windows tree (programs and test binaries) and runs its tests under
# wine through CTest's cross-compiling emulator. Headless: wine gets a private
# prefix inside the build folder, created on the first run (no display needed).
#   scripts/test-windows.sh [build folder] [extra ctest arguments...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
[ $# -gt 0 ] && shift
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=ON >/dev/null
cmake --build "$build" -j"$jobs"

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No prompts for the .NET and HTML runtimes, which nothing here uses.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the wine prefix $WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
fi
# One wine server for the whole run: each test is its own process.
wineserver -p 120
status=0
ctest --test-dir "$build" -j"$jobs" --output-on-failure --timeout 300 "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
