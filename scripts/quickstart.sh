#!/usr/bin/env bash
# Installs what is missing, builds, and runs the smoke program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"
build/release/cli/kelvane-smoke
