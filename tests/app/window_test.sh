#!/usr/bin/env bash
# The self-extractor's window on a virtual display: it opens with its exact
# texts, places and size, centred; Escape leaves it (exit status 1); a stub
# without an archive shows the engine's error in a box after Enter and the
# window stays until it is left; Tab reaches the folder browser; Enter
# extracts next to the program and ends it (exit status 0); existing files
# bring the Spanish question, whose All replaces the rest; an encrypted item
# brings the masked password dialog. Screenshots are kept in ARTIFACTS.
# Usage: window_test.sh KELVANE_SFX ARTIFACTS
set -euo pipefail
stub=$1
artifacts=$2

if [ -z "${KEL_WINDOW_TEST_DISPLAY:-}" ]; then
  # Always a display of known size, even on a desktop; without -noreset the
  # server restarts whenever its last client leaves, and refuses the next one
  # that comes in meanwhile.
  export KEL_WINDOW_TEST_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
fi

mkdir -p "$artifacts"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

phase="start"
fail() {
  echo "FAIL ($phase): $*" >&2
  if [ -s "$work/stderr" ]; then
    echo "--- the program's standard error:" >&2
    cat "$work/stderr" >&2
  fi
  exit 1
}

# xwd's dump to PNG, so the artifact opens anywhere.
screenshot() {
  local window=$1 name=$2
  xwd -silent -id "$window" -out "$artifacts/$name.xwd"
  python3 - "$artifacts/$name.xwd" "$artifacts/$name.png" <<'PY' || true
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
head = struct.unpack('>25I', data[:100])
size, depth, w, h, order, bpp, line, ncolors = head[0], head[3], head[4], head[5], head[7], head[11], head[12], head[19]
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

# The windows titled like the application, oldest first.
windows() {
  xdotool search --onlyvisible --name '^Kelvane SFX$' 2>/dev/null || true
}

# Generous waits: a sanitizer build on a busy machine starts slowly.
wait_windows() {
  local count=$1
  for _ in $(seq 300); do
    [ "$(windows | wc -l)" -ge "$count" ] && return 0
    sleep 0.1
  done
  fail "expected $count window(s) titled 'Kelvane SFX'"
}

# Waits for a visible window other than Main (a box over the dialog); prints it.
wait_box() {
  local main=$1 box
  for _ in $(seq 300); do
    box=$(xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$main" | head -1 || true)
    [ -n "$box" ] && { echo "$box"; return 0; }
    sleep 0.1
  done
  fail "no box appeared over the dialog"
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
  local window=$1 key=$2
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers "$key"
}

# A stub alone: the dialog opens, but there is no archive behind it.
cp "$stub" "$work/setup"
chmod +x "$work/setup"

# 1. The window as it opens; Escape leaves it.
phase="1 opening"
"$work/setup" --describe-window >"$work/describe" 2>"$work/stderr" &
pid=$!
pids+=("$pid")
wait_windows 1
main=$(windows | head -1)
geometry=$(xdotool getwindowgeometry "$main")
echo "$geometry" | grep -q 'Geometry: 441x137' || fail "client area: $geometry"
# Centred on the 1024 x 768 screen.
echo "$geometry" | grep -q 'Position: 291,315' || fail "not centred: $geometry"
sleep 0.3
screenshot "$main" window
# Fixed size, and the window icon in three sizes (xprop, when installed).
if command -v xprop >/dev/null; then
  props=$(xprop -id "$main" WM_NORMAL_HINTS _NET_WM_ICON WM_CLASS)
  for want in 'minimum size: 441 by 137' 'maximum size: 441 by 137' 'Icon (16 x 16)' \
    'Icon (32 x 32)' 'Icon (48 x 48)' '"Kelvane-sfx", "Kelvane-sfx"'; do
    grep -qF "$want" <<<"$props" || fail "window property missing: $want"
  done
fi
cat >"$work/expected" <<EXPECTED
window "Kelvane SFX" 441x137 fixed font 11
0 bnExtract 248 104 75 25 "Extraer" default focus
1 bnExit 121 104 75 25 "Salir" cancel
2 edPath 8 32 393 21 "$work/"
3 bnSelectDestPath 408 30 25 25 "..."
4 cboverwrite 8 64 177 17 "Sobreescribir archivos existentes" unchecked
- Label1 8 8 116 13 "Selecionar folder destino"
EXPECTED
diff -u "$work/expected" "$work/describe" || fail "the window's controls differ"
press "$main" Escape
wait_exit "$pid" 1

# 2. Enter on a stub without an archive: the engine's error in a box, and the
# dialog stays until it is left.
phase="2 error box"
"$work/setup" --describe-window >"$work/describe" 2>"$work/stderr" &
pid=$!
pids+=("$pid")
wait_windows 1
main=$(windows | head -1)
press "$main" Return
box=$(wait_box "$main")
sleep 0.3
screenshot "$box" error-box
expected='box "Kelvane SFX" error OK default OK "Archiver: Archive is damaged. Open failed - Native error: 00048."'
grep -qxF "$expected" "$work/describe" || { cat "$work/describe" >&2; fail "no error box: $expected"; }
press "$box" Return
for _ in $(seq 300); do
  [ "$(windows | wc -l)" -eq 1 ] && break
  sleep 0.1
done
[ "$(windows | wc -l)" -eq 1 ] || fail "the error box did not close"
kill -0 "$pid" 2>/dev/null || fail "the dialog closed after the error"
[ "$(windows | head -1)" = "$main" ] || fail "the dialog's window is gone"
press "$main" Escape
wait_exit "$pid" 1

# 3. Tab order: the fourth control is "...", whose folder browser has its own
# title; cancelling it leaves the dialog as it was.
phase="3 folder browser"
"$work/setup" >/dev/null 2>"$work/stderr" &
pid=$!
pids+=("$pid")
wait_windows 1
main=$(windows | head -1)
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers Tab Tab Tab space
browser=""
for _ in $(seq 300); do
  browser=$(xdotool search --onlyvisible --name '^Seleccionar folder destino \.\.\.$' 2>/dev/null | head -1 || true)
  [ -n "$browser" ] && break
  sleep 0.1
done
[ -n "$browser" ] || fail "no folder browser titled 'Seleccionar folder destino ...' after Tab Tab Tab Space"
sleep 0.3
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
cat "$stub" "$work/gift.zip" >"$work/gift/setup"
chmod +x "$work/gift/setup"

# 4. Enter extracts into the folder shown, the executable's own, and ends.
phase="4 extraction"
"$work/gift/setup" --describe-window >"$work/describe" 2>"$work/stderr" &
pid=$!
pids+=("$pid")
wait_windows 1
main=$(windows | head -1)
press "$main" Return
wait_exit "$pid" 0
for f in a.txt b.txt docs/c.txt; do
  cmp -s "$work/src/$f" "$work/gift/$f" || fail "$f was not extracted next to the program"
done
grep -q '^box' "$work/describe" && fail "a box was shown: $(grep '^box' "$work/describe")"

# 5. Existing files and the check box unticked: the Spanish question, and All
# replaces this file and the rest without asking again.
phase="5 overwrite question"
printf 'old\n' >"$work/gift/a.txt"
printf 'old\n' >"$work/gift/b.txt"
"$work/gift/setup" --describe-window >"$work/describe" 2>"$work/stderr" &
pid=$!
pids+=("$pid")
wait_windows 1
main=$(windows | head -1)
press "$main" Return
box=$(wait_box "$main")
sleep 0.3
screenshot "$box" overwrite-question
question="box \"Confirm\" confirmation Yes,No,All default Yes \"Sobreescribir $work/gift/a.txt\\r\\nCon archivo a.txt\""
grep -qxF "$question" "$work/describe" || { cat "$work/describe" >&2; fail "no question: $question"; }
# From Yes (the default) two steps on to All.
xdotool windowfocus --sync "$box"
xdotool key --clearmodifiers Tab Tab Return
wait_exit "$pid" 0
[ "$(grep -c '^box' "$work/describe")" -eq 1 ] || fail "asked more than once: $(cat "$work/describe")"
for f in a.txt b.txt; do
  cmp -s "$work/src/$f" "$work/gift/$f" || fail "$f was not replaced after All"
done

# 6. An encrypted item: the engine's password dialog, masked; the password
# typed there opens the item.
phase="6 password"
if command -v zip >/dev/null; then
  mkdir -p "$work/locked"
  (cd "$work/src" && zip -q -P 'Clave 7' "$work/locked.zip" a.txt)
  cat "$stub" "$work/locked.zip" >"$work/locked/setup"
  chmod +x "$work/locked/setup"
  "$work/locked/setup" --describe-window >"$work/describe" 2>"$work/stderr" &
  pid=$!
  pids+=("$pid")
  wait_windows 1
  main=$(windows | head -1)
  press "$main" Return
  box=$(wait_box "$main")
  sleep 0.3
  xdotool windowfocus --sync "$box"
  xdotool type --delay 20 'Clave 7'
  sleep 0.2
  screenshot "$box" password-dialog
  grep -qF 'query "Password for "a.txt"" "Enter password: " masked ' "$work/describe" ||
    { cat "$work/describe" >&2; fail "no masked password dialog"; }
  xdotool key --clearmodifiers Return
  wait_exit "$pid" 0
  cmp -s "$work/src/a.txt" "$work/locked/a.txt" || fail "the encrypted item was not extracted"
fi

echo "window test passed; screenshots in $artifacts"
