#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root). Safe to run again.
set -euo pipefail
need=(cmake make g++ gcc clang libclang-rt-14-dev g++-mingw-w64-i686 binutils-mingw-w64-i686
      libgtest-dev zlib1g-dev libdeflate-dev zip unzip p7zip-full python3 file
      wine wine32:i386 wine64 xvfb imagemagick osslsigncode openssl valgrind groff-base
      g++-multilib zlib1g-dev:i386 libdeflate-dev:i386)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
