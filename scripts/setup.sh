#!/usr/bin/env bash
# Installs everything Kiln's build and test bed need on a Debian 12 machine.
# Idempotent: does nothing when every package is already present. 32-bit Wine
# comes too, so that the shipped 32-bit kiln.exe can be run: natively where
# the kernel runs 32-bit code, else under qemu-user (scripts/emulation.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/machine.sh

packages=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64 xvfb
  nlohmann-json3-dev googletest libgtest-dev libbenchmark-dev
  chromium imagemagick nodejs
  libstb-dev zlib1g-dev libz-mingw-w64-dev icoutils osslsigncode
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

install() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

install "${packages[@]}"

# The probe needs the assembler and linker that came with g++.
dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
if kiln_runs_32bit_code; then
  install wine32:i386
else
  install qemu-user wine32:i386
fi
