#!/usr/bin/env bash
# Installs what is missing, builds the self-extractor stub, makes a
# self-extracting archive of a small example folder and runs it in batch mode.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target kelvane-sfx-cli kelvane-sfx kelvane-cli
app/example/run-demo.sh build/release
