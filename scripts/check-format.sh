#!/usr/bin/env bash
# Fails when a C++ file differs from .clang-format. With a git range argument
# only the files changed in that range are checked; otherwise every file.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  files=$(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h' || true)
else
  files=$(git ls-files '*.cpp' '*.h')
fi
[ -n "$files" ] || exit 0
clang-format --dry-run -Werror $files
