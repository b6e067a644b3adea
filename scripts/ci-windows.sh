#!/usr/bin/env bash
# The Windows program: cross-compiled with warnings as errors, packed in its zip (cpack), then
# tested under Wine on a private X server (tests/windows/wine-tests.sh). Screenshots of the boxes
# and of the dialog are left in build-windows/artefacts. Installs what it needs from Debian's
# packages when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  cmake make firebird-dev g++-mingw-w64-x86-64
  wine wine64 xvfb xauth xdotool imagemagick fonts-liberation
)
bash scripts/install-deps.sh "${packages[@]}"
build=build-windows
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DVESSENTARIA_WERROR=ON >/dev/null
cmake --build "$build" -j 2
echo "== the Windows zip"
rm -f "$build"/vessentaria-*.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zip="$(ls "$build"/vessentaria-*.zip)"
contenuto="$(cmake -E tar tf "$zip")"
echo "$contenuto"
cartella="$(basename "$zip" .zip)"
for file in vessentaria.exe User/dati.ini.example README.md vessentaria-attivita.xml; do
  grep -qx "$cartella/$file" <<<"$contenuto" || { echo "$file is not in $zip" >&2; exit 1; }
done
echo "== the Windows program under Wine"
bash tests/windows/wine-tests.sh "$build" "$build/artefacts"
