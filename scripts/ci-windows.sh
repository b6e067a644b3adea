#!/usr/bin/env bash
# The Windows program: cross-compiled with warnings as errors, packed in its zip (cpack), then
# tested under Wine on a private X server (tests/windows/wine-tests.sh). The zip is checked as an
# administrator meets it: one folder, the installation folder that the task definition and the
# README name; text files with CR LF line ends; the task's actions. Screenshots of the boxes and
# of the dialog are left in build-windows/artefacts. Installs what it needs from Debian's
# packages when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  cmake make firebird-dev g++-mingw-w64-x86-64
  wine wine64 xvfb xauth xdotool imagemagick fonts-liberation libxml2-utils unzip
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
fallito() {
  echo "ci-windows: $*" >&2
  exit 1
}
cartella="$(cut -d/ -f1 <<<"$contenuto" | sort -u)"
[ "$(wc -l <<<"$cartella")" = 1 ] || fallito "the zip holds more than one folder: $cartella"
for file in vessentaria.exe User/dati.ini.example README.md vessentaria-attivita.xml \
  registra-eventi.ps1; do
  grep -qx "$cartella/$file" <<<"$contenuto" || fallito "$file is not in $zip"
done

aperto="$(mktemp -d /tmp/vess-zip.XXXXXX)"
trap 'rm -rf "$aperto"' EXIT
unzip -q "$zip" -d "$aperto"
while IFS= read -r file; do
  case "$file" in *.exe | */) continue ;; esac
  righe=$(tr -cd '\n' <"$aperto/$file" | wc -c)
  [ "$righe" -gt 0 ] && [ "$(grep -c $'\r$' "$aperto/$file")" = "$righe" ] ||
    fallito "$file: not every line ends with CR LF"
done <<<"$contenuto"

# The task's actions: the program in the zip's folder unpacked in C:\.
xml="$aperto/$cartella/vessentaria-attivita.xml"
campo() { xmllint --xpath "string(//*[local-name()='Exec'][$1]/*[local-name()='$2'])" "$xml"; }
installazione="C:\\$cartella"
programma="$installazione\\vessentaria.exe"
[ "$(xmllint --xpath "count(//*[local-name()='Exec'])" "$xml")" = 2 ] ||
  fallito "the task has not two actions"
for azione in 1 2; do
  [ "$(campo $azione Command)" = "$programma" ] &&
    [ "$(campo $azione WorkingDirectory)" = "$installazione" ] ||
    fallito "action $azione is not $programma in $installazione"
done
# The run, then the view of the task table, whose exit status is the task's Last Run Result.
[ -z "$(campo 1 Arguments)" ] || fallito "the run's action has arguments"
[ "$(campo 2 Arguments)" = "--status" ] || fallito "the second action is not --status"
# Every path of a file of the zip that the README and the XML's own comment name is in that folder.
percorsi="$(grep -ohE '[A-Z]:\\([^\\ `*]+\\)*(vessentaria\.exe|vessentaria-attivita\.xml|registra-eventi\.ps1)' \
  "$aperto/$cartella/README.md" "$xml" | sort -u)"
grep -q . <<<"$percorsi" || fallito "the README names no installed file"
while IFS= read -r percorso; do
  [ "${percorso%\\*}" = "$installazione" ] || fallito "$percorso is not in $installazione"
done <<<"$percorsi"
echo "the zip's folder, its text files and the task's actions agree with $installazione"

echo "== the Windows program under Wine"
bash tests/windows/wine-tests.sh "$build" "$build/artefacts"
