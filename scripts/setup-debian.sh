#!/usr/bin/env bash
# Installs what building and testing need on Debian, if it is missing:
# MinGW-w64, CMake, Ninja, Wine with its own fonts (Tahoma, Marlett for the
# caption buttons) and a fixed-pitch font, Xvfb, GoogleTest (its sources for
# the Windows build, prebuilt for the native one), and
# clang with its sanitizer and libFuzzer runtimes, and llvm-symbolizer for the
# fuzzers' coverage by function.
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 mingw-w64-tools googletest libgtest-dev wine wine64 xvfb xauth
          x11-utils imagemagick python3 clang libclang-rt-14-dev llvm zip fonts-wine fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
