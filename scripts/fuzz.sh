#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the corpus kept in
# tests/fuzz/corpus (every input must pass), then fuzzes each target for a
# while, seeded with that corpus and with the peer corpora when they are
# beside the project.
# Usage: scripts/fuzz.sh [seconds per target] [--keep]   (default 30)
#   --keep merges what the run found into tests/fuzz/corpus, minimised
#   (only inputs that add coverage are taken).
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
keep=${2:-}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DKELVANE_FUZZ=ON \
  -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build "$dir" -j "$(nproc)" --target $targets
shared=${KELVANE_SHARED:-$(pwd)/../shared}
for name in $targets; do
  bin="$dir/tests/fuzz/$name"
  kept="tests/fuzz/corpus/$name"
  found="$dir/corpus/$name"
  mkdir -p "$found" "$dir/artifacts/$name"
  opts=(-rss_limit_mb=2048 -timeout=10 -print_final_stats=0 -artifact_prefix="$dir/artifacts/$name/")
  seeds=()
  case "$name" in
    fuzz_coding_*) [ -d "$shared/peers/malo/deflate" ] && seeds+=("$shared/peers/malo/deflate") ;;
    *)
      # Whole archives: past 32 KiB an input mostly costs time, not paths.
      opts+=(-max_len=32768)
      [ -d "$shared/peers" ] && seeds+=("$shared/peers/malo/zip" "$shared/peers/yauzl")
      ;;
  esac
  inputs=("$found")
  if [ -d "$kept" ]; then
    echo "== $name: replaying $(ls "$kept" | wc -l) kept inputs"
    "$bin" "${opts[@]}" -runs=0 "$kept" 2>&1 | tail -1
    inputs+=("$kept")
  fi
  echo "== $name ($secs s)"
  "$bin" "${opts[@]}" -max_total_time="$secs" "${inputs[@]}" "${seeds[@]}" 2>&1 | tail -3
  if [ "$keep" = "--keep" ]; then
    mkdir -p "$kept"
    "$bin" "${opts[@]}" -set_cover_merge=1 "$kept" "$found" 2>&1 | tail -1
  fi
done
