#!/usr/bin/env bash
# Archives written on Linux by zip, 7zz and python3 are extracted by
# kelvane.exe under wine to the same bytes, non-ASCII names included.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

make_tree "$work/src"
(cd "$work/src" && zip -qr ../by-zip.zip . && 7zz a -tzip ../by-7zz.zip . > /dev/null)
python3 - "$work/src" "$work/by-python.zip" <<'PY'
import os, sys, zipfile
root, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, root))
PY

cd "$work"
for maker in zip 7zz python; do
  kel extract "by-$maker.zip" -d "out-$maker" -q || fail "extract of the $maker archive"
  diff -r src "out-$maker" || fail "the $maker archive extracts to other files"
done
echo "kelvane.exe extracts what zip, 7zz and python3 wrote"
