#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time,
# seeded with the peer corpora when they are beside the project.
# Usage: scripts/fuzz.sh [seconds per target]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DKELVANE_FUZZ=ON \
  -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build "$dir" -j "$(nproc)" --target $targets
shared=${KELVANE_SHARED:-$(pwd)/../shared}
for target in $targets; do
  bin="$dir/tests/fuzz/$target"
  name=$(basename "$bin")
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  case "$name" in
    fuzz_coding_*) [ -d "$shared/peers/malo/deflate" ] && seeds+=("$shared/peers/malo/deflate") ;;
    *) [ -d "$shared/peers" ] && seeds+=("$shared/peers/malo/zip" "$shared/peers/yauzl") ;;
  esac
  echo "== $name ($secs s)"
  "$bin" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -3
done
