# Shared by the scripts here: kelvane.exe run under wine from Linux, in a
# scratch folder that goes away at the end. Source it after "set -euo pipefail";
# $1 of the script is the path of kelvane.exe.
exe=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all LC_ALL=C.UTF-8

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs kelvane.exe with the arguments in the current folder; its output
# without the console's "\r".
kel() {
  wine "$exe" "$@" < /dev/null | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# A tree of files with names in several scripts and contents of several kinds.
make_tree() {
  local root=$1
  mkdir -p "$root/Año/sub" "$root/Кириллица" "$root/漢字" "$root/plain"
  printf 'Ñandú ü\n' > "$root/Año/Ñandú ü.txt"
  seq 1 20000 > "$root/Año/sub/deep numbers.txt"
  printf 'привет\n' > "$root/Кириллица/файл.txt"
  head -c 70000 /dev/urandom > "$root/漢字/日本語 ファイル.dat"
  printf '' > "$root/plain/empty"
  head -c 300000 /dev/zero > "$root/plain/zeros.bin"
}
