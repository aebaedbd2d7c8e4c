#!/usr/bin/env bash
# The Windows window stub under wine on a virtual display: it opens with its
# exact texts, places and size (at 96 DPI), centred, with its glyphs; Escape
# leaves it (exit status 1); a stub without an archive shows the engine's
# error in a box after Enter and the window stays; Tab reaches the folder
# browser, titled as it should be; Enter extracts next to the program and ends
# it (exit status 0); existing files bring the Spanish question, whose All
# replaces the rest; an encrypted item brings the masked password dialog.
# Screenshots are kept in ARTIFACTS.
# Usage: window_test.sh KELVANE_SFX_EXE ARTIFACTS
set -euo pipefail
stub=$1
artifacts=$2
export WINEDEBUG=-all
wine=${WINE:-wine}

if [ -z "${KEL_WINDOW_TEST_DISPLAY:-}" ]; then
  export KEL_WINDOW_TEST_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
fi

# A run's shared wine server (scripts/test-windows.sh) was started without a
# display, and windows it makes never appear: this test has its own prefix,
# made once, and its own server, ended with the test so that it holds no
# output pipe of the test runner open.
own_prefix=
if [ -n "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$WINEPREFIX-display"
  own_prefix=1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
  fi
fi

mkdir -p "$artifacts"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$own_prefix" ] && { wineserver -k 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

phase="start"
fail() {
  echo "FAIL ($phase): $*" >&2
  [ -s "$work/describe" ] && { echo "--- the program's description:" >&2; cat "$work/describe" >&2; }
  exit 1
}

# xwd's dump as PNG, so the artifact opens anywhere.
screenshot() {
  local window=$1 name=$2
  xwd -silent -id "$window" -out "$artifacts/$name.xwd"
  python3 - "$artifacts/$name.xwd" "$artifacts/$name.png" <<'PY' || true
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
head = struct.unpack('>25I', data[:100])
size, w, h, order, bpp, line, ncolors = head[0], head[4], head[5], head[7], head[11], head[12], head[19]
if bpp != 32:
    sys.exit(1)
pixels = data[size + ncolors * 12:]
rows = bytearray()
for y in range(h):
    rows.append(0)
    row = pixels[y * line:y * line + w * 4]
    for x in range(0, w * 4, 4):
        b, g, r = (row[x], row[x + 1], row[x + 2]) if order == 0 else (row[x + 3], row[x + 2], row[x + 1])
        rows += bytes((r, g, b))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
open(sys.argv[2], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
                               chunk(b'IDAT', zlib.compress(bytes(rows))) + chunk(b'IEND', b''))
PY
}

# The program's description without the CR of the Windows line ends.
described() {
  tr -d '\r' <"$work/describe" 2>/dev/null || true
}

windows() {
  xdotool search --onlyvisible --name '^Kelvane SFX$' 2>/dev/null || true
}

# Wine starts slowly the first time; the waits are generous.
wait_windows() {
  for _ in $(seq 600); do
    [ "$(windows | wc -l)" -ge 1 ] && return 0
    sleep 0.1
  done
  fail "no window titled 'Kelvane SFX'"
}

# Waits for the description to hold a line matching Pattern (grep -E).
wait_line() {
  local pattern=$1
  for _ in $(seq 300); do
    described | grep -qE "$pattern" && return 0
    sleep 0.1
  done
  fail "the program did not describe: $pattern"
}

# The visible window titled Title that is not Main.
wait_titled() {
  local main=$1 title=$2 box
  for _ in $(seq 300); do
    box=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | grep -vx "$main" | head -1 || true)
    [ -n "$box" ] && { echo "$box"; return 0; }
    sleep 0.1
  done
  fail "no window titled $title"
}

wait_exit() {
  local pid=$1 expected=$2 status=0
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end"
  wait "$pid" || status=$?
  [ "$status" -eq "$expected" ] || fail "exit status $status, expected $expected"
}

press() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers "$@"
}

start() {
  "$wine" "$1" --describe-window >"$work/describe" 2>"$work/stderr" &
  pid=$!
  pids+=("$pid")
  wait_windows
  main=$(windows | head -1)
  wait_line '^- Label1 '
}

cp "$stub" "$work/setup.exe"
folder=$(cd "$work" && "$wine" winepath -w "$work/" 2>/dev/null | tr -d '\r')

# 1. The window as it opens; Escape leaves it.
phase="1 opening"
start "$work/setup.exe"
geometry=$(xdotool getwindowgeometry "$main")
echo "$geometry" | grep -q 'Geometry: 441x137' || fail "client area: $geometry"
# Centred on the 1024 x 768 screen (the frame's height is wine's).
x=$(sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1/p' <<<"$geometry")
y=$(sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\2/p' <<<"$geometry")
[ "$x" -eq 291 ] && [ "$y" -ge 290 ] && [ "$y" -le 340 ] || fail "not centred: $geometry"
sleep 0.5
screenshot "$main" window
cat >"$work/expected" <<EXPECTED
window "Kelvane SFX" 441x137 fixed font 11 dpi 96
0 bnExtract 248 104 75 25 "Extraer" default focus glyph
1 bnExit 121 104 75 25 "Salir" cancel glyph
2 edPath 8 32 393 21 "$folder"
3 bnSelectDestPath 408 30 25 25 "..."
EXPECTED
described | head -5 | diff -u "$work/expected" - || fail "the window's controls differ"
# The check box and the label keep their places and grow with a wider font.
grep -qE '^4 cboverwrite 8 64 (17[7-9]|1[89][0-9]|2[0-9][0-9]) 17 "Sobreescribir archivos existentes" unchecked$' \
  <(described) || fail "the check box differs"
grep -qE '^- Label1 8 8 (11[6-9]|1[2-9][0-9]) 13 "Selecionar folder destino"$' <(described) ||
  fail "the label differs"
press "$main" Escape
wait_exit "$pid" 1

# 2. Enter on a stub without an archive: the engine's error in a box; the
# dialog stays until it is left.
phase="2 error box"
start "$work/setup.exe"
press "$main" Return
box=$(wait_titled "$main" '^Kelvane SFX$')
wait_line '^box '
sleep 0.5
screenshot "$box" error-box
grep -qE '^box "Kelvane SFX" error OK default OK "Archiver: .* - Native error: [0-9]{5}\."$' \
  <(described) || fail "no error box"
press "$box" Return
for _ in $(seq 300); do
  [ "$(windows | wc -l)" -eq 1 ] && break
  sleep 0.1
done
[ "$(windows | wc -l)" -eq 1 ] || fail "the error box did not close"
kill -0 "$pid" 2>/dev/null || fail "the dialog closed after the error"
press "$main" Escape
wait_exit "$pid" 1

# 3. Tab order: the fourth control is "...", whose folder browser has its own
# title; cancelling it leaves the dialog as it was.
phase="3 folder browser"
start "$work/setup.exe"
press "$main" Tab Tab Tab space
browser=$(wait_titled "$main" '^Seleccionar folder destino \.\.\.$')
sleep 1
screenshot "$browser" folder-browser
press "$browser" Escape
for _ in $(seq 300); do
  xdotool search --onlyvisible --name '^Seleccionar folder destino' >/dev/null 2>&1 || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null || fail "the dialog closed with the browser"
press "$main" Escape
wait_exit "$pid" 1

# A self-extracting archive: the stub with two files and a folder appended.
mkdir -p "$work/gift" "$work/src/docs"
printf 'new a\n' >"$work/src/a.txt"
printf 'new b\n' >"$work/src/b.txt"
printf 'new c\n' >"$work/src/docs/c.txt"
python3 - "$work/src" "$work/gift.zip" <<'PY'
import os, sys, zipfile
src, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    for name in ('a.txt', 'b.txt', 'docs/', 'docs/c.txt'):
        z.write(os.path.join(src, name), name)
PY
cat "$stub" "$work/gift.zip" >"$work/gift/setup.exe"
giftFolder=$(cd "$work" && "$wine" winepath -w "$work/gift/" 2>/dev/null | tr -d '\r')

# 4. Enter extracts into the folder shown, the executable's own, and ends.
phase="4 extraction"
start "$work/gift/setup.exe"
press "$main" Return
wait_exit "$pid" 0
for f in a.txt b.txt docs/c.txt; do
  cmp -s "$work/src/$f" "$work/gift/$f" || fail "$f was not extracted next to the program"
done
described | grep -q '^box' && fail "a box was shown"

# 5. Existing files and the check box unticked: the Spanish question, and All
# replaces this file and the rest without asking again.
phase="5 overwrite question"
printf 'old\n' >"$work/gift/a.txt"
printf 'old\n' >"$work/gift/b.txt"
start "$work/gift/setup.exe"
press "$main" Return
box=$(wait_titled "$main" '^Confirm$')
wait_line '^box '
sleep 0.5
screenshot "$box" overwrite-question
question="box \"Confirm\" confirmation Yes,No,All default Yes \"Sobreescribir ${giftFolder}a.txt\\r\\nCon archivo a.txt\""
grep -qxF "$question" <(described) || fail "no question: $question"
# From Yes (the default) two steps on to All.
press "$box" Tab Tab Return
wait_exit "$pid" 0
[ "$(described | grep -c '^box')" -eq 1 ] || fail "asked more than once"
for f in a.txt b.txt; do
  cmp -s "$work/src/$f" "$work/gift/$f" || fail "$f was not replaced after All"
done

# 6. An encrypted item: the engine's password dialog, masked; the password
# typed there opens the item.
phase="6 password"
if command -v zip >/dev/null; then
  mkdir -p "$work/locked"
  (cd "$work/src" && zip -q -P 'Clave 7' "$work/locked.zip" a.txt)
  cat "$stub" "$work/locked.zip" >"$work/locked/setup.exe"
  start "$work/locked/setup.exe"
  press "$main" Return
  wait_line '^query '
  box=$(wait_titled "$main" '^Password for "a.txt"$')
  xdotool windowfocus --sync "$box"
  xdotool type --delay 20 'Clave 7'
  sleep 0.3
  screenshot "$box" password-dialog
  grep -qE '^query "Password for "a.txt"" "Enter password: " masked [0-9]+x[0-9]+$' <(described) ||
    fail "no masked password dialog"
  xdotool key --clearmodifiers Return
  wait_exit "$pid" 0
  cmp -s "$work/src/a.txt" "$work/locked/a.txt" || fail "the encrypted item was not extracted"
fi

echo "window test passed; screenshots in $artifacts"
