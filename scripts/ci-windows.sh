#!/usr/bin/env bash
# The Windows program: cross-compiled with warnings as errors, then tested under Wine on a private
# X server (tests/windows/wine-tests.sh). Screenshots of the boxes and of the dialog are left in
# build-windows/artefacts. Installs what it needs from Debian's packages when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  cmake make firebird-dev g++-mingw-w64-x86-64
  wine wine64 xvfb xauth xdotool imagemagick fonts-liberation
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
build=build-windows
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2
echo "== the Windows program under Wine"
bash tests/windows/wine-tests.sh "$build" "$build/artefacts"
