#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need
# (only what is missing; quiet and non-interactive).
set -euo pipefail
pkgs=(build-essential cmake pkg-config zlib1g-dev libisal-dev libgtest-dev libgmock-dev libbenchmark-dev
      clang-format clang libclang-rt-14-dev zip unzip 7zip p7zip-full libarchive-tools python3 time
      libfltk1.3-dev libx11-dev libxft-dev libxinerama-dev libxcursor-dev libxfixes-dev
      libxrender-dev libfontconfig-dev xvfb xauth xdotool x11-apps x11-utils
      g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 osslsigncode)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
