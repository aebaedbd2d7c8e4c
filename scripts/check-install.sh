#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and builds a small outside
# program against the installed engine, once through its CMake package and
# once through pkg-config; both must run. Also checks that the tool, the
# stubs, the man page and the completion were installed.
# Usage: scripts/check-install.sh [BUILD_DIR]   (default: build/release, built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
src=$PWD/scripts/install-check
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for f in bin/kelvane bin/kelvane-sfx-cli lib/libkelvane.a include/kelvane/engine/Kelvane.h \
         lib/pkgconfig/kelvane.pc lib/cmake/Kelvane/KelvaneConfig.cmake \
         share/man/man1/kelvane.1 share/bash-completion/completions/kelvane; do
  [ -e "$tmp/prefix/$f" ] || { echo "check-install: $f was not installed" >&2; exit 1; }
done

cmake -S "$src" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/cmake-build" >/dev/null
"$tmp/cmake-build/use_kelvane" "$tmp/by-cmake.zip"

export PKG_CONFIG_PATH="$tmp/prefix/lib/pkgconfig"
# shellcheck disable=SC2046
g++ -std=c++20 -o "$tmp/use_kelvane_pc" "$src/use_kelvane.cpp" $(pkg-config --cflags --libs kelvane)
"$tmp/use_kelvane_pc" "$tmp/by-pkg-config.zip"
unzip -tq "$tmp/by-pkg-config.zip" >/dev/null

# The installed tool finds the installed stubs.
"$tmp/prefix/bin/kelvane" add "$tmp/setup" "$src/use_kelvane.cpp" --stub console -q
"$tmp/setup" --list >/dev/null
echo "check-install: the installed package builds and runs outside programs"
