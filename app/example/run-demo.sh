#!/usr/bin/env bash
# Builds a self-extracting archive from the example folder beside this script
# and runs it in batch mode into a temporary folder, printing what it extracted.
# Usage: app/example/run-demo.sh [BUILD_DIR]   (default: build/release)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/release}
stub=$build/app/kelvane-sfx-cli
if [ ! -x "$stub" ]; then
  echo "no stub at $stub: build it first (cmake --build $build --target kelvane-sfx-cli)" >&2
  exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The archive itself comes from Info-ZIP's zip, or python's zipfile without it.
if command -v zip >/dev/null; then
  (cd "$here/files" && zip -qr "$work/example.zip" .)
else
  python3 - "$here/files" "$work/example.zip" <<'PY'
import os, sys, zipfile
root, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(root):
        for name in sorted(dirs) + sorted(files):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, root))
PY
fi
setup=$work/example-setup
cat "$stub" "$work/example.zip" >"$setup"
chmod +x "$setup"
echo "Self-extracting archive: $(stat -c %s "$setup") bytes" \
  "(stub $(stat -c %s "$stub") + archive $(stat -c %s "$work/example.zip"))"
echo
"$setup" --list
echo
dest=$work/extracted
echo "Extracting into $dest:"
"$setup" --dest "$dest"
diff -r "$here/files" "$dest" >/dev/null
echo "The extracted tree matches the example folder."
