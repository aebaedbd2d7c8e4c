#!/usr/bin/env bash
# Builds one configuration and runs the whole test suite.
# Usage: scripts/test.sh [release|asan]   (default: release)
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
  release) dir=build/release; flags=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan) dir=build/asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DKELVANE_SANITIZE=ON -DKELVANE_BENCH=OFF) ;;
  *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
