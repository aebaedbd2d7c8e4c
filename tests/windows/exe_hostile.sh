#!/usr/bin/env bash
# A hostile archive extracted by kelvane.exe under wine: drive letters, network
# paths, "..", device names, data streams and a link already in the destination
# (a reparse point to Windows) write nothing outside the destination, and each
# item that is written gets a safe name inside it.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

drive_c=${WINEPREFIX:-$HOME/.wine}/drive_c
python3 - "$work/hostile.zip" <<'PY'
import sys, zipfile
names = ["C:/evil1.txt", "C:evil2.txt", "../evil3.txt", "..\\..\\evil4.txt",
         "\\\\srv\\share\\evil5.txt", "/abs/evil6.txt", "CON", "con.txt", "nul",
         "Aux .c", "COM1.log", "a:b", "ab:stream", "report.txt:hidden", "trail. ", "dir./inner.txt",
         "ok.txt", "link/through.txt", "link"]
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for n in names:
        z.writestr(zipfile.ZipInfo(n), "x")
PY
mkdir -p "$work/box/dest" "$work/elsewhere"
ln -s ../../elsewhere "$work/box/dest/link"
# Extracted files carry the archive's times: the outside is compared by listing.
outside() { find "$work" -path "$work/box/dest" -prune -o -print | sort; }
before=$(outside)
cd "$work/box"
rm -f "$drive_c/evil1.txt" "$drive_c/evil2.txt"
kel extract ../hostile.zip -d dest -q || true  # a refused item may fail; the files decide

expected=$(printf '%s\n' "abs/evil6.txt" "b" "ab_stream" "_Aux .c" "_COM1.log" "_con.txt" "_CON" \
  "dir_/inner.txt" "evil1.txt" "evil2.txt" "evil3.txt" "evil4.txt" "evil5.txt" "_nul" \
  "ok.txt" "report.txt_hidden" "trail__" | sort)
got=$(cd dest && find . -type f | sed 's|^\./||' | sort)
[ "$got" = "$expected" ] || fail "files in the destination:
$got
expected:
$expected"
[ "$(outside)" = "$before" ] || fail "written outside the destination:
$(diff <(echo "$before") <(outside))"
for f in evil1.txt evil2.txt; do
  [ ! -e "$drive_c/$f" ] || fail "written to the C: drive: $f"
done
[ ! -e /abs/evil6.txt ] || fail "written to /abs"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "written through the link"
echo "a hostile archive writes only below the destination"
