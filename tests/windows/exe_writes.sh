#!/usr/bin/env bash
# kelvane.exe under wine writes an archive with non-ASCII names, lists, tests
# and deletes in it; unzip and 7zz on Linux read it to the same bytes.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

make_tree "$work/src"
cd "$work/src"
kel add ../made.zip Año Кириллица 漢字 plain -q || fail "add"
cd "$work"

unzip -tq made.zip > /dev/null || fail "unzip -t"
unzip -q made.zip -d by-unzip || fail "unzip"
diff -r src by-unzip || fail "unzip gives other files"
7zz x -y -oby-7zz made.zip > /dev/null || fail "7zz x"
diff -r src by-7zz || fail "7zz gives other files"

listing=$(kel list made.zip) || fail "list"
for name in "Año/Ñandú ü.txt" "Кириллица/файл.txt" "漢字/日本語 ファイル.dat"; do
  grep -qF "$name" <<< "$listing" || fail "list does not show $name: $listing"
done
kel test made.zip -q > /dev/null || fail "test"

kel delete made.zip "plain/zeros.bin" -q || fail "delete"
names=$(7zz l -slt made.zip | sed -n 's/^Path = //p')
grep -qxF "plain/zeros.bin" <<< "$names" && fail "deleted item still listed"
grep -qxF "Кириллица/файл.txt" <<< "$names" || fail "delete took another item: $names"
unzip -tq made.zip > /dev/null || fail "unzip -t after delete"
echo "kelvane.exe writes what unzip and 7zz read"
