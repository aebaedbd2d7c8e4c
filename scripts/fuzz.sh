#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the corpus kept in
# tests/fuzz/corpus (every input must pass), then fuzzes each target for a
# while, seeded with that corpus and with the peer corpora when they are
# beside the project.
# Usage: scripts/fuzz.sh [seconds per target] [--keep]   (default 30)
#   --keep merges what the run found into tests/fuzz/corpus, minimised
#   (only inputs that add coverage are taken).
# FUZZ_JOBS=N fuzzes N targets at a time (default 1); each target's output
# is then kept in build/fuzz/logs and its last lines printed when it ends.
# FUZZ_TARGETS="fuzz_a fuzz_b" fuzzes only those.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
keep=${2:-}
jobs=${FUZZ_JOBS:-1}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DKELVANE_FUZZ=ON \
  -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF >/dev/null
targets=${FUZZ_TARGETS:-$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')}
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" --target $targets
shared=${KELVANE_SHARED:-$(pwd)/../shared}
mkdir -p "$dir/logs"

fuzz_one() {
  local name=$1
  local bin="$dir/tests/fuzz/$name"
  local kept="tests/fuzz/corpus/$name"
  local found="$dir/corpus/$name"
  mkdir -p "$found" "$dir/artifacts/$name"
  # A minute per input: a hang still shows, and a loaded machine (the run
  # niced beside builds) flags no input that takes a fraction of a second alone.
  local opts=(-rss_limit_mb=2048 -timeout=60 -print_final_stats=0
              -artifact_prefix="$dir/artifacts/$name/")
  local seeds=()
  case "$name" in
    fuzz_coding_*) [ -d "$shared/peers/malo/deflate" ] && seeds+=("$shared/peers/malo/deflate") ;;
    *)
      # Whole archives: past 32 KiB an input mostly costs time, not paths.
      opts+=(-max_len=32768)
      [ -d "$shared/peers" ] && seeds+=("$shared/peers/malo/zip" "$shared/peers/yauzl")
      ;;
  esac
  local inputs=("$found")
  if [ -d "$kept" ]; then
    echo "== $name: replaying $(ls "$kept" | wc -l) kept inputs"
    "$bin" "${opts[@]}" -runs=0 "$kept" 2>&1 | tail -1 || return 1
    inputs+=("$kept")
  fi
  echo "== $name ($secs s)"
  "$bin" "${opts[@]}" -max_total_time="$secs" "${inputs[@]}" "${seeds[@]}" 2>&1 | tail -3 || return 1
  if [ "$keep" = "--keep" ]; then
    mkdir -p "$kept"
    "$bin" "${opts[@]}" -set_cover_merge=1 "$kept" "$found" 2>&1 | tail -1 || return 1
  fi
}

if [ "$jobs" -le 1 ]; then
  for name in $targets; do fuzz_one "$name" || exit 1; done
  exit 0
fi
# In parallel: a failing target fails the run once all have ended.
running=0
for name in $targets; do
  {
    rc=0
    fuzz_one "$name" >"$dir/logs/$name.log" 2>&1 || rc=$?
    echo "$rc" >"$dir/logs/$name.status"
  } &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
status=0
for name in $targets; do
  cat "$dir/logs/$name.log"
  [ "$(cat "$dir/logs/$name.status")" = 0 ] || { echo "== $name FAILED"; status=1; }
done
exit $status
