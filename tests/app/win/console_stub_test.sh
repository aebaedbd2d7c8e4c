#!/usr/bin/env bash
# The Windows stubs in batch mode under wine: --dest extracts every item
# (folders, non-ASCII names) and keeps or replaces existing files as told;
# --list and --test; a stub without an archive fails with the engine's
# message; a stub that carries a zone mark hands it on to each file it
# writes; a stub signed after its archive was appended (the certificate table
# at the end) still extracts, and the archive is still read by kelvane.exe
# (when given) and by unzip.
# Usage: console_stub_test.sh KELVANE_SFX_CLI_EXE KELVANE_SFX_EXE [KELVANE_EXE]
set -euo pipefail
cli=$1
gui=$2
tool=${3:-}
export WINEDEBUG=-all
wine=${WINE:-wine}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
phase=start
fail() {
  echo "FAIL ($phase): $*" >&2
  exit 1
}
# run EXPECTED_STATUS COMMAND...: output in $work/out, errors in $work/err.
run() {
  local expected=$1 status=0
  shift
  "$wine" "$@" >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" -ne "$expected" ]; then
    cat "$work/out" "$work/err" >&2
    fail "exit status $status of $*, expected $expected"
  fi
}

mkdir -p "$work/src/docs"
printf 'alpha\n' >"$work/src/a.txt"
printf 'eñe\n' >"$work/src/docs/año.txt"
python3 - "$work/src" "$work/gift.zip" <<'PY'
import os, sys, zipfile
src, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    for name in ('a.txt', 'docs/', 'docs/año.txt'):
        z.write(os.path.join(src, name), name)
PY

for stub in "$cli" "$gui"; do
  kind=$(basename "$stub" .exe)
  dir="$work/$kind"
  mkdir -p "$dir"
  cat "$stub" "$work/gift.zip" >"$dir/setup.exe"

  phase="$kind extract"
  run 0 "$dir/setup.exe" --dest "$dir/out"
  for f in a.txt docs/año.txt; do
    cmp -s "$work/src/$f" "$dir/out/$f" || fail "$f was not extracted"
  done

  phase="$kind keep and replace"
  printf 'mine\n' >"$dir/out/a.txt"
  # Nobody to ask: the existing files are kept and the run says so.
  run 1 "$dir/setup.exe" --dest "$dir/out"
  [ "$(cat "$dir/out/a.txt")" = mine ] || fail "an existing file was replaced without --overwrite"
  grep -q "2 items were not extracted (2 kept)" "$work/err" || fail "no word of the kept files: $(cat "$work/err")"
  run 0 "$dir/setup.exe" --dest "$dir/out" --overwrite
  cmp -s "$work/src/a.txt" "$dir/out/a.txt" || fail "--overwrite did not replace a.txt"

  phase="$kind list and test"
  run 0 "$dir/setup.exe" --list
  grep -q 'docs\\año.txt' "$work/out" || fail "the listing lacks docs\\año.txt: $(cat "$work/out")"
  grep -q '3 items' "$work/out" || fail "the listing lacks its total: $(cat "$work/out")"
  run 0 "$dir/setup.exe" --test
  grep -q 'No errors found.' "$work/out" || fail "the test did not pass: $(cat "$work/out")"
  run 2 "$dir/setup.exe" --bogus
  grep -q 'unknown option --bogus' "$work/err" || fail "no usage error: $(cat "$work/err")"
done

phase="no archive"
cp "$cli" "$work/bare.exe"
run 3 "$work/bare.exe" --dest "$work/bare-out"
grep -qE 'Archiver: .* - Native error: [0-9]{5}' "$work/err" || fail "no engine error: $(cat "$work/err")"

# Wine keeps no alternate data streams: it stores "file:Zone.Identifier" as a
# file of that name beside the file. The stub's calls are the same as on
# NTFS, so the mark is looked for there.
phase="zone mark"
dir="$work/marked"
mkdir -p "$dir/out"
cat "$cli" "$work/gift.zip" >"$dir/setup.exe"
mark=$'[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.invalid/setup.exe\r\n'
printf '%s' "$mark" >"$work/mark"
cp "$work/mark" "$dir/setup.exe:Zone.Identifier"
printf 'mine\n' >"$dir/out/a.txt"
run 1 "$dir/setup.exe" --dest "$dir/out"
[ ! -e "$dir/out/a.txt:Zone.Identifier" ] || fail "a kept file of the user's was marked"
cmp -s "$work/mark" "$dir/out/docs/año.txt:Zone.Identifier" || fail "docs/año.txt has not the stub's mark"
[ ! -e "$dir/out/docs:Zone.Identifier" ] || fail "a folder was marked"
run 0 "$dir/setup.exe" --dest "$dir/out" --overwrite
cmp -s "$work/mark" "$dir/out/a.txt:Zone.Identifier" || fail "a replaced file has not the stub's mark"
# Without a mark on the stub, nothing is marked.
dir="$work/unmarked"
mkdir -p "$dir"
cat "$cli" "$work/gift.zip" >"$dir/setup.exe"
run 0 "$dir/setup.exe" --dest "$dir/out"
if find "$dir/out" -name '*:Zone.Identifier' | grep -q .; then fail "files of an unmarked stub were marked"; fi

phase="signed"
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  dir="$work/signed"
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 2 \
    -subj "/CN=Kelvane throw-away test" 2>/dev/null
  cat "$cli" "$work/gift.zip" >"$dir/unsigned.exe"
  osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -n "Kelvane SFX" \
    -in "$dir/unsigned.exe" -out "$dir/setup.exe" >/dev/null
  osslsigncode verify -in "$dir/setup.exe" -CAfile "$dir/cert.pem" >/dev/null 2>&1 ||
    fail "the signature does not verify"
  # The certificate table lies behind the archive, at the end of the file.
  python3 - "$dir/setup.exe" "$(stat -c %s "$dir/unsigned.exe")" <<'PY' || fail "the signature is not behind the archive"
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3c)[0]
optional = pe + 24
security = optional + 112 + 4 * 8  # PE32+: the fifth data directory
offset, size = struct.unpack_from('<II', data, security)
assert size > 0 and offset >= int(sys.argv[2]) and offset + size == len(data), (offset, size, len(data))
PY
  run 0 "$dir/setup.exe" --dest "$dir/out"
  for f in a.txt docs/año.txt; do
    cmp -s "$work/src/$f" "$dir/out/$f" || fail "$f was not extracted from the signed stub"
  done
  run 0 "$dir/setup.exe" --test
  if [ -n "$tool" ] && [ ! -f "$tool" ]; then
    echo "kelvane.exe is not built ($tool): the tool's reading of the signed stub is not tried"
  elif [ -n "$tool" ]; then
    run 0 "$tool" l "$dir/setup.exe"
    grep -q 'a.txt' "$work/out" || fail "kelvane.exe does not list the signed stub: $(cat "$work/out")"
  fi
  if command -v unzip >/dev/null; then
    # It warns of the stub in front (status 1) and finds no error.
    unzip -t "$dir/setup.exe" >"$work/out" 2>&1 || true
    grep -q 'No errors detected' "$work/out" || fail "unzip cannot read the signed stub"
  fi
else
  echo "osslsigncode or openssl missing: the signed stub is not tried"
fi

echo "console stub test passed"
