#!/bin/sh
# Cross-builds the Windows programs (kelvane.exe, kelvane-sfx.exe,
# kelvane-sfx-cli.exe) with mingw-w64 and puts them, stripped, in one folder,
# whose path is printed last. Each is linked statically: nothing beside it is
# needed on a bare Windows 10/11 x64.
#   scripts/build-windows.sh [build folder]   (default: build/windows)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null

# Whatever of the three programs this tree defines.
available=$(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
targets=
for t in kelvane-cli kelvane-sfx kelvane-sfx-cli; do
  if printf '%s\n' "$available" | grep -qx "$t"; then targets="$targets $t"; fi
done
[ -n "$targets" ] || { echo "no Windows program targets defined" >&2; exit 1; }
# shellcheck disable=SC2086
cmake --build "$build" -j"$jobs" --target $targets

dist=$build/dist
rm -rf "$dist"
mkdir -p "$dist"
for exe in kelvane.exe kelvane-sfx.exe kelvane-sfx-cli.exe; do
  found=$(find "$build" -path "$dist" -prune -o -name "$exe" -type f -print | head -n 1)
  [ -n "$found" ] || continue
  x86_64-w64-mingw32-strip -o "$dist/$exe" "$found"
done
ls -l "$dist" | sed -n 's/^[^ ]* *[^ ]* *[^ ]* *[^ ]* *\([0-9]*\) .* \([^ ]*\.exe\)$/\2 \1 bytes/p'
echo "$dist"
