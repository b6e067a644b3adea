#!/usr/bin/env bash
# The Debian package: made with cpack from the Release build (the folder given, build-release by
# default) with the distribution's hardening flags, checked by lintian (no error, no hardening
# tag), its program's hardening read from the ELF file, its manual page rendered without a
# warning, its service checked by systemd-analyze security (exposure 4.9 or lower), installed on
# this machine, vessentaria on PATH, the manual page compared with --help, its systemd units
# checked (installed, not enabled), and its program run as the service runs it, without
# systemd: the service's ExecStart line, then its ExecStartPost line, as its User, on the demo's
# databases (USER.FDB in /opt/vessentaria/User, the archives in a temporary folder). Fails unless
# the run ends with status 0, naming only its failed task on standard error, leaving the demo's
# notes and rows, and the view after it with 9 for that failed task.
# The package is purged at the end: it must keep User/ with USER.FDB and say so; then the demo
# installation is removed. As root, or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh dpkg-dev file systemd lintian man-db
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
build="${1:-build-release}"
prefisso=/opt/vessentaria
unita=/lib/systemd/system

fallito() {
  echo "ci-package: $*" >&2
  exit 1
}

echo "== the Debian package"
# Debian's hardening: fortified functions, read-only relocations, every symbol bound at start-up.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESSENTARIA_WERROR=ON \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" --target vessentaria -j "$(nproc)"
rm -f "$build"/vessentaria_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(cd "$build" && ls "$PWD"/vessentaria_*.deb)"
dpkg-deb --info "$deb" | sed -n -e '/Package:/p' -e '/Version:/p' -e '/Depends:/p'
listato="$(dpkg-deb --contents "$deb")"
contenuto="$(awk '{print $6}' <<<"$listato")"
for file in "$prefisso/vessentaria" "$prefisso/User/dati.ini.example" "$prefisso/README.md" \
  "$prefisso/sql/user.sql" "$prefisso/sql/archivio-ditta.sql" "$prefisso/sql/archivio-ordini.sql" \
  "$unita/vessentaria.service" "$unita/vessentaria.timer"; do
  grep -qx "\.$file" <<<"$contenuto" || fallito "$file is not in the package"
done
grep -q " \./usr/bin/vessentaria -> $prefisso/vessentaria\$" <<<"$listato" ||
  fallito "/usr/bin/vessentaria is not a link to $prefisso/vessentaria"

lintian --fail-on error -I -E "$deb" | tee "$build/lintian.txt" ||
  fallito "lintian reports an error"
! grep -q ' hardening-' "$build/lintian.txt" || fallito "lintian finds the program not hardened"
# The same from the ELF file: relocations read-only after start-up, bound at once, and calls
# to the checking variants of the C library's functions.
estratto="$(mktemp -d)"
dpkg-deb --extract "$deb" "$estratto"
programma="$estratto$prefisso/vessentaria"
readelf -lW "$programma" | grep GNU_RELRO >/dev/null || fallito "the program has no RELRO segment"
readelf -dW "$programma" | grep BIND_NOW >/dev/null ||
  fallito "the program is not linked with -z now"
readelf -sW --dyn-syms "$programma" | grep '__[a-z_]*_chk@' >/dev/null ||
  fallito "the program calls no fortified function"
echo "the program is built with relro, bind-now and fortified functions"

# The manual page: its sections, and no warning from groff.
manuale="$estratto/usr/share/man/man1/vessentaria.1.gz"
for sezione in NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" EXAMPLES; do
  zcat "$manuale" | grep -x "\.SH $sezione" >/dev/null || fallito "the manual page has no $sezione"
done
avvisi="$(zcat "$manuale" | groff -man -ww -z 2>&1)"
[ -z "$avvisi" ] || fallito "the manual page renders with warnings:
$avvisi"
rm -rf "$estratto"
sicurezza="$(systemd-analyze security --offline=yes packaging/debian/vessentaria.service 2>&1 |
  tail -1)"
echo "$sicurezza"
systemd-analyze security --offline=yes --threshold=49 packaging/debian/vessentaria.service \
  >/dev/null 2>&1 || fallito "the service's exposure is over 4.9"

# A machine whose installation has its own USER.FDB is not a place to try the package.
[ ! -e "$prefisso/User/USER.FDB" ] || fallito "$prefisso/User/USER.FDB exists: not touching it"
archivi=""
pulizia() {
  $SUDO rm -f "$prefisso/User/USER.FDB"
  $SUDO apt-get purge -y -qq vessentaria >/dev/null 2>&1 || true
  $SUDO rmdir "$prefisso/User" "$prefisso" 2>/dev/null || true
  [ -z "$archivi" ] || $SUDO rm -rf "$archivi"
}
trap pulizia EXIT

echo "== installing it"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  --reinstall "$deb" >/dev/null
versione="$(dpkg-deb --field "$deb" Version)"
[ "$("$prefisso/vessentaria" --version)" = "vessentaria $versione" ] ||
  fallito "--version does not print vessentaria $versione"
[ "$(command -v vessentaria)" = /usr/bin/vessentaria ] || fallito "vessentaria is not on PATH"
vessentaria --help | grep -qF "  $prefisso/User/USER.FDB" ||
  fallito "vessentaria on PATH does not name $prefisso/User/USER.FDB"
"$prefisso/vessentaria" --help | grep -qF "  $prefisso/User/USER.FDB" ||
  fallito "--help does not name $prefisso/User/USER.FDB"

# The manual page carries every line of the help text but its first, the version, in the same
# order, spacing and line breaks aside (its options and statuses are entries, filled); the
# headings "Usage:" and "Exit status:" are its section names.
righe() { sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e '/^$/d' -e 's/[[:space:]]\+/ /g'; }
pagina="$(MANWIDTH=200 LC_ALL=C man vessentaria | righe | tr '\n' ' ')"
resto="$pagina"
while IFS= read -r riga; do
  [[ "$resto" == *"$riga"* ]] || fallito "man vessentaria lacks, or has out of order: $riga"
  resto="${resto#*"$riga"}"
done < <("$prefisso/vessentaria" --help | tail -n +2 | sed -e 's/^Usage: //' -e '/^Exit status:$/d' |
  righe)
echo "man vessentaria carries the text of --help"

servizio="$unita/vessentaria.service"
grep -qx "Type=oneshot" "$servizio" || fallito "the service is not oneshot"
grep -qx "Persistent=true" "$unita/vessentaria.timer" || fallito "the timer is not persistent"
[ ! -e /etc/systemd/system/timers.target.wants/vessentaria.timer ] ||
  fallito "the timer was enabled by the package"
systemd-analyze verify "$servizio" "$unita/vessentaria.timer"

utente="$(sed -n 's/^User=//p' "$servizio")"
echo "== USER.FDB and a company archive made as the README says, from what the package installs"
# The README's commands for USER.FDB, run as they stand; the company archive they name is made
# from the installed task table. --status then reads both: a task table without rows, status 9.
readme_sh="$(awk '/^The package does not ship `USER.FDB`/ { t = 1 }
  t && /^```sh$/ { f = 1; next } f && /^```$/ { exit } f' README.md)"
[ -n "$readme_sh" ] || fallito "the README gives no commands for USER.FDB"
# The company archive's folder of the example is a temporary one here.
ditta_readme="$(mktemp -d /tmp/vessentaria-readme.XXXXXX)"
readme_sh="${readme_sh//\/srv\/archivi/$ditta_readme}"
$SUDO rm -f "$prefisso/User/USER.FDB"
echo "CREATE DATABASE '$ditta_readme/ditta.fdb' USER 'SYSDBA';" | $SUDO isql-fb -q -bail -user SYSDBA
$SUDO isql-fb -q -bail -user SYSDBA -i "$prefisso/sql/archivio-ditta.sql" "$ditta_readme/ditta.fdb"
$SUDO chmod 755 "$ditta_readme"
$SUDO chown -R "$utente:" "$ditta_readme"
$SUDO bash -euo pipefail -c "$readme_sh"
set +e
vuota="$(cd / && $SUDO runuser -u "$utente" -- vessentaria --status </dev/null 2>&1)"
stato=$?
set -e
echo "$vuota"
[ "$stato" -eq 9 ] && grep -qx "Nessuna elaborazione di sincro trovata" <<<"$vuota" ||
  fallito "--status on the README's USER.FDB ended with $stato, not 9 and an empty task table"
$SUDO rm -rf "$ditta_readme" "$prefisso/User/USER.FDB"

echo "== the service's command line on the demo databases"
comando="$(sed -n 's/^ExecStart=//p' "$servizio")"
[ -n "$utente" ] && [ -n "$comando" ] || fallito "no User or ExecStart in $servizio"
archivi="$(mktemp -d /tmp/vessentaria-archivi.XXXXXX)"
bash scripts/demo-archivi.sh "$prefisso/User" "$archivi"
$SUDO chown -R "$utente:" "$archivi" "$prefisso/User/USER.FDB"
uscita="$(mktemp)"
errori="$(mktemp)"
set +e
# shellcheck disable=SC2086
(cd / && $SUDO runuser -u "$utente" -- $comando </dev/null >"$uscita" 2>"$errori")
stato=$?
set -e
echo "$comando as $utente: exit status $stato"
cat "$uscita" "$errori"
[ "$stato" -eq 0 ] || fallito "exit status $stato"
# The demo's task 40 fails: standard error names it, and the active tasks left unrun (none).
[ ! -s "$uscita" ] || fallito "the run wrote on standard output"
grep -q 'Task 40 fallito: ' "$errori" || fallito "standard error does not name task 40"
rm -f "$uscita" "$errori"

# After it the unit's ExecStartPost, the task table's view: task 40 failed, so it ends with 9,
# which fails the unit and starts its OnFailure= units.
dopo="$(sed -n 's/^ExecStartPost=//p' "$servizio")"
[ "$dopo" = "$comando --status" ] || fallito "ExecStartPost is not $comando --status"
set +e
# shellcheck disable=SC2086
vista="$(cd / && $SUDO runuser -u "$utente" -- $dopo </dev/null 2>&1)"
stato=$?
set -e
echo "$dopo as $utente: exit status $stato"
echo "$vista"
[ "$stato" -eq 9 ] || fallito "ExecStartPost ended with $stato, not 9, after a failed task"

isql() {
  isql-fb -q -bail -user SYSDBA -password masterkey "$@" | sed -e 's/[[:space:]]*$//' -e '/^$/d'
}
note="$(isql "$archivi/ditta.fdb" <<'SQL' | tr '\r' '~'
SET HEADING OFF;
SELECT ID || '|' || TRIM(IIF(ULTIMAESECUZIONE IS NULL, 'never', 'run')) || '|'
  || COALESCE(CAST(NOTEULTIMAESECUZIONE AS VARCHAR(1000)), '')
FROM VESSENTARIA ORDER BY ID;
SQL
)"
attese='10|run|Elaborazione effettuata senza anomalie da segnalare
20|never|
30|run|Elaborazione effettuata senza anomalie da segnalare
40|run|Impossibile eseguire il travaso Intestatari PS Ordini:~Tabella "CLIENTI" non trovata in destinazione'
[ "$note" = "$attese" ] || fallito "task table:
$note
expected:
$attese"
for destinazione in filiale-usa:4/3/4/3 magazzino:4/3/4/3 storico:1/1/0/0; do
  conti="$(isql "$archivi/${destinazione%%:*}.fdb" <<'SQL'
SET HEADING OFF;
SELECT (SELECT COUNT(*) FROM CLIENTI) || '/' || (SELECT COUNT(*) FROM PS_ORDINI) || '/'
  || (SELECT COUNT(*) FROM PS_STOINSCAR) || '/' || (SELECT COUNT(*) FROM PS_STOSESSION)
FROM RDB$DATABASE;
SQL
)"
  [ "$conti" = "${destinazione#*:}" ] || fallito "${destinazione%%:*}: rows $conti"
done
echo "task notes and destination rows as the demo leaves them"

echo "== removing it"
# The purge keeps the site's User folder and says so.
rimozione="$($SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vessentaria 2>&1)"
echo "$rimozione" | grep 'vessentaria:' || true
grep -qF "vessentaria: $prefisso/User kept" <<<"$rimozione" ||
  fallito "the purge does not say that $prefisso/User was kept"
[ -e "$prefisso/User/USER.FDB" ] || fallito "the purge removed $prefisso/User/USER.FDB"
if [ -e "$prefisso/vessentaria" ] || [ -L /usr/bin/vessentaria ]; then
  fallito "the program is still there after the purge"
fi
pulizia
trap - EXIT
[ ! -e "$prefisso" ] || fallito "$prefisso is still there after the package was purged"
echo "ci-package: the package installs, runs the demo and goes away, leaving the site's data"
