#!/usr/bin/env bash
# Tests of the Windows program under Wine, on a private X server (Xvfb) in a private Wine prefix:
#   tests/windows/wine-tests.sh <build folder with the .exe files and the zip> <artefacts folder>
# The boxes and the dialog are real windows: ispettore.exe reads them (caption, texts, controls,
# focus, tab order), xdotool answers them with keys as a user would, and a screenshot of each
# kind is kept in the artefacts folder. Ends with "N passed, N failed" and a non-zero exit status
# when a check failed.
set -uo pipefail

build=$(cd "$1" && pwd)
artefatti=$(mkdir -p "$2" && cd "$2" && pwd)
lavoro=$(mktemp -d /tmp/vess-wine.XXXXXX)
passati=0
falliti=0

export WINEPREFIX=$lavoro/prefix WINEDEBUG=-all WINEARCH=win64
# No prompts to install the .NET or HTML engines in a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The ANSI code page of the Wine machine: Windows-1252, as on the machines the program runs on.
export LANG=en_US.UTF-8

xvfb_pid=""
finisci() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$lavoro"
}
trap finisci EXIT

ok() {
  passati=$((passati + 1))
  echo "ok   $1"
}
ko() {
  falliti=$((falliti + 1))
  echo "FAIL $1"
  [ -n "${2:-}" ] && sed 's/^/     /' <<<"$2"
}

# Exactly this line in the description file $1.
riga() {
  local file=$1 attesa=$2 nome=$3
  if grep -Fxq -- "$attesa" "$file"; then ok "$nome"; else ko "$nome" "expected: $attesa
$(cat "$file")"; fi
}

# --- the X server and the Wine prefix -------------------------------------------------------
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$lavoro/display" 2>"$lavoro/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$lavoro/display" ] && break; sleep 0.1; done
if [ ! -s "$lavoro/display" ]; then
  echo "Xvfb did not start"; cat "$lavoro/xvfb.log"; exit 1
fi
export DISPLAY=:$(head -1 "$lavoro/display")
wineboot -i >"$lavoro/wineboot.log" 2>&1 || { echo "wineboot failed"; cat "$lavoro/wineboot.log"; exit 1; }
# A desktop of its own draws the window frames and captions, which the screenshots show.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
# Arial as the metric twin that Debian has, so that texts take the room they take on Windows.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1

windows() { winepath -w "$1" 2>/dev/null; }

# --- running a program and answering its windows --------------------------------------------
# avvia <name> <exe> [args...]: runs it in the background; its output goes to $lavoro/<name>.out,
# its exit status to $lavoro/<name>.rc once it has ended.
avvia() {
  local nome=$1
  shift
  rm -f "$lavoro/$nome.rc"
  (
    wine "$@" >"$lavoro/$nome.out" 2>"$lavoro/$nome.err"
    echo $? >"$lavoro/$nome.rc"
  ) &
}

# fine <name> <seconds>: the exit status, or "running" when it has not ended in time.
fine() {
  local nome=$1
  for _ in $(seq $(($2 * 10))); do
    [ -s "$lavoro/$nome.rc" ] && { cat "$lavoro/$nome.rc"; return; }
    sleep 0.1
  done
  echo running
}

# ispeziona <caption> <file>: the description of the window with that caption; false when none
# came within 30 seconds.
ispeziona() {
  wine "$build/ispettore.exe" "$1" 30 2>/dev/null | tr -d '\r' >"$2"
  [ -s "$2" ]
}

# tasti <xdotool key arguments...>: keys pressed on the X server's keyboard; they reach the
# window that Wine has made active, the box or dialog shown last. (Keys sent to a window rather
# than typed can leave one held down on the X server, which then repeats into the next box.)
tasti() { xdotool key --delay 80 "$@"; }

# scrivi <text>: the text typed into the control that has the focus.
scrivi() { xdotool type --delay 80 "$1"; }

foto() { import -window root "$artefatti/$1" 2>/dev/null; }

# The program still waits after a second: the box is modal and nothing else ends it.
attende() {
  sleep 1
  if [ ! -e "$lavoro/$1.rc" ]; then ok "$2"; else ko "$2" "ended with $(cat "$lavoro/$1.rc")"; fi
}

# Stops a program left waiting by a failed check, so that the next test starts clean.
ferma() {
  if [ "$(fine "$1" 5)" = running ]; then
    wineserver -k >/dev/null 2>&1
    sleep 1
  fi
}

installazione() {
  local cartella=$lavoro/$1
  mkdir -p "$cartella"
  cp "$build/vessentaria.exe" "$cartella/"
  echo "$cartella"
}

# --- start-up errors ------------------------------------------------------------------------
# casoErrore <name> <folder> <expected text as ispettore writes it> <exit status> [screenshot]
casoErrore() {
  local nome=$1 cartella=$2 testo=$3 stato=$4 foto=${5:-}
  avvia "$nome" "$cartella/vessentaria.exe"
  if ! ispeziona Error "$lavoro/$nome.box"; then
    ko "$nome: error box shown" "$(cat "$lavoro/$nome.out" "$lavoro/$nome.err" 2>/dev/null)"
    ferma "$nome"
    return
  fi
  riga "$lavoro/$nome.box" "caption=Error" "$nome: caption Error"
  # ispettore writes each backslash twice.
  if sed -n 's/^controllo Static .* testo=//p' "$lavoro/$nome.box" | grep -Fxq -- "${testo//\\/\\\\}"; then
    ok "$nome: text of the box"
  else
    ko "$nome: text of the box" "expected: $testo
$(cat "$lavoro/$nome.box")"
  fi
  if grep -q "icona=1" "$lavoro/$nome.box"; then ok "$nome: error icon"; else
    ko "$nome: error icon" "$(cat "$lavoro/$nome.box")"; fi
  if [ "$(grep -c '^controllo Button' "$lavoro/$nome.box")" = 1 ] &&
    grep -q '^controllo Button .* testo=OK$' "$lavoro/$nome.box"; then
    ok "$nome: one OK button"
  else
    ko "$nome: one OK button" "$(cat "$lavoro/$nome.box")"
  fi
  attende "$nome" "$nome: waits while the box is open"
  [ -n "$foto" ] && foto "$foto"
  tasti Return
  local esito
  esito=$(fine "$nome" 20)
  if [ "$esito" = "$stato" ]; then ok "$nome: exit status $stato after Return"; else
    ko "$nome: exit status $stato after Return" "got $esito"; fi
  if [ ! -s "$lavoro/$nome.out" ]; then ok "$nome: nothing on standard output"; else
    ko "$nome: nothing on standard output" "$(cat -A "$lavoro/$nome.out")"; fi
  ferma "$nome"
}

echo "== start-up errors"
cartella=$(installazione senza-user)
casoErrore riga0 "$cartella" "Percorso \"$(windows "$cartella/User")\\\" non trovato" 1 \
  errore-avvio.png

cartella=$(installazione senza-user-fdb)
mkdir -p "$cartella/User"
casoErrore riga1 "$cartella" "Archivio \"$(windows "$cartella/User/USER.FDB")\" non trovato" 2

cartella=$(installazione cartella-user-fdb)
mkdir -p "$cartella/User/USER.FDB"
casoErrore riga1-cartella "$cartella" \
  "Archivio \"$(windows "$cartella/User/USER.FDB")\" non trovato" 2

echo "== without the client library"
cartella=$(installazione senza-gds32)
mkdir -p "$cartella/User"
: >"$cartella/User/USER.FDB"
avvia libreria "$cartella/vessentaria.exe"
esito=$(fine libreria 30)
if [ "$esito" = 1 ]; then ok "no gds32.dll: exit status 1"; else
  ko "no gds32.dll: exit status 1" "got $esito"; fi
# The report: "Exception <class> in module <file> at <address>." CR LF, the message with a full
# stop, CR LF, CR LF; nothing else.
atteso=$(printf 'Exception ESQLError in module vessentaria.exe at XXXXXXXX.\r\nUnable to load the client library gds32.dll (error 126).\r\n\r\n')
ottenuto=$(sed -E 's/ at [0-9A-F]{8}\./ at XXXXXXXX./' "$lavoro/libreria.out")
if [ "$ottenuto" = "$atteso" ]; then ok "no gds32.dll: report on standard output"; else
  ko "no gds32.dll: report on standard output" "$(cat -A "$lavoro/libreria.out")"; fi
ferma libreria

# --- the client library ---------------------------------------------------------------------
# The stand-in gds32.dll (Gds32Prova.cpp) records every call it receives and refuses every
# connection; a second build of it lacks isc_dsql_sql_info.

# risposta <name> <caption> <text as ispettore writes it> <icon 0|1> <key> [screenshot]: the next
# box or dialog with that caption shows that text (on one of its controls) and that icon, then
# the key.
risposta() {
  local nome=$1 caption=$2 testo=$3 icona=$4 tasto=$5 immagine=${6:-} file
  file=$lavoro/$nome.$(echo "$caption" | tr -c 'a-zA-Z0-9\n' _)
  if ! ispeziona "$caption" "$file"; then
    ko "$nome: $caption shown" "$(cat "$lavoro/$nome.out" "$lavoro/$nome.err" 2>/dev/null)"
    return 1
  fi
  local visibile=0
  grep -q "icona=1" "$file" && visibile=1
  if sed -n 's/^controllo [A-Za-z]* .* testo=//p' "$file" | grep -Fxq -- "$testo" &&
    [ "$visibile" = "$icona" ]; then
    ok "$nome: $caption: $testo"
  else
    ko "$nome: $caption: $testo" "$(cat "$file")"
  fi
  sleep 0.3
  [ -n "$immagine" ] && foto "$immagine"
  tasti "$tasto"
}

# What the test client answers to every attachment; a failed start-up shows it after the path.
clientDiProva="I/O error during the test client's open"

echo "== the client library"
cartella=$(installazione incompleta)
mkdir -p "$cartella/User"
: >"$cartella/User/USER.FDB"
cp "$build/gds32-incompleta/gds32.dll" "$cartella/"
avvia incompleta "$cartella/vessentaria.exe"
esito=$(fine incompleta 30)
atteso=$(printf 'Exception ESQLError in module vessentaria.exe at XXXXXXXX.\r\nEntry point isc_dsql_sql_info not found in the client library gds32.dll.\r\n\r\n')
ottenuto=$(sed -E 's/ at [0-9A-F]{8}\./ at XXXXXXXX./' "$lavoro/incompleta.out")
if [ "$esito" = 1 ] && [ "$ottenuto" = "$atteso" ]; then
  ok "a library without an entry point: report naming it, exit status 1"
else
  ko "a library without an entry point: report naming it, exit status 1" "status $esito: $(cat -A "$lavoro/incompleta.out")"
fi
ferma incompleta

cartella=$lavoro/variadica
mkdir -p "$cartella"
cp "$build/prova-libreria.exe" "$build/gds32-prova/gds32.dll" "$cartella/"
REGISTRO_CLIENT=$(windows "$cartella/registro.txt") avvia variadica "$cartella/prova-libreria.exe" transazione
esito=$(fine variadica 30)
if [ "$esito" = 0 ] && [ "$(tr -d '\r' <"$lavoro/variadica.out")" = "esito=0 transazione=77" ] &&
  [ "$(cat "$cartella/registro.txt" 2>/dev/null)" = "isc_start_multiple n=2 [db=11 tpb=03 02 07] [db=22 tpb=03]" ]; then
  ok "isc_start_transaction: each database's handle and parameter block reach the library"
else
  ko "isc_start_transaction: each database's handle and parameter block reach the library" \
    "status $esito: $(cat "$lavoro/variadica.out" "$cartella/registro.txt" 2>&1)"
fi
ferma variadica

# No server answers: the program tries the local path, tries to create the database there, asks
# for the server (cancelled with Esc), says it could not open the database and ends with row 2.
cartella=$(installazione senza-server)
mkdir -p "$cartella/User"
: >"$cartella/User/USER.FDB"
cp "$build/gds32-prova/gds32.dll" "$cartella/"
utente=$(windows "$cartella/User/USER.FDB")
REGISTRO_CLIENT=$(windows "$cartella/registro.txt") avvia senza-server "$cartella/vessentaria.exe"
risposta senza-server vessentaria "Non trovato dati.ini" 0 Return &&
  risposta senza-server "Non trovato dati.ini" "Cancel" 0 Escape &&
  risposta senza-server vessentaria "Apertura / creazione del database non riuscita!" 0 Return &&
  risposta senza-server Error "Impossibile stabilire la connessione all'archivio\\r\"${utente//\\/\\\\}\"\\r${utente//\\/\\\\}: $clientDiProva" 1 Return \
    errore-connessione.png
esito=$(fine senza-server 20)
if [ "$esito" = 3 ] && [ ! -s "$lavoro/senza-server.out" ]; then ok "no server: exit status 3"; else
  ko "no server: exit status 3" "status $esito: $(cat -A "$lavoro/senza-server.out")"; fi
registro=$(tr -d '\r' <"$cartella/registro.txt" 2>/dev/null)
# Every attachment ends its parameters asking a Firebird 4 server for its newer types as text.
legami="int128 to varchar;decfloat to varchar;time zone to varchar"
legami="5D $(printf '%02X' ${#legami}) $(printf '%s' "$legami" | od -An -tx1 -v | xargs | tr a-f A-F)"
atteso="isc_attach_database $utente dpb=01 1C 06 53 59 53 44 42 41 1D 09 74 61 77 6E 79 71 75 69 70 39 04 1E 00 00 00 $legami handle=0
isc_dsql_execute_immediate dialect=3 CREATE DATABASE '$utente' USER \"SYSDBA\"\\r\\nPASSWORD \"tawnyquip\"\\r\\nPAGE_SIZE 4096\\r\\n handles=0,0"
if [ "$registro" = "$atteso" ]; then
  ok "no server: one connection as SYSDBA, then one creation with page size 4096 in dialect 3"
else
  ko "no server: one connection as SYSDBA, then one creation with page size 4096 in dialect 3" "$registro"
fi
if [ ! -e "$cartella/User/dati.ini" ]; then ok "no server: cancelled prompt writes no dati.ini"; else
  ko "no server: cancelled prompt writes no dati.ini" "$(cat -A "$cartella/User/dati.ini")"; fi
ferma senza-server

# --- the two-field dialog -------------------------------------------------------------------
# dialogo <name> <folder>: runs the server prompt for that folder up to the dialog, after the
# plain box that comes first; false when either did not appear.
dialogo() {
  local nome=$1 cartella=$2
  DESCRIZIONE_DIALOGO=$(windows "$lavoro/$nome.interno") \
    avvia "$nome" "$build/prova-dialogo.exe" chiedi "$(windows "$cartella")\\"
  if ! ispeziona vessentaria "$lavoro/$nome.box"; then
    ko "$nome: plain box before the dialog" "$(cat "$lavoro/$nome.out" "$lavoro/$nome.err")"
    return 1
  fi
  tasti Return
  if ! ispeziona "Non trovato dati.ini" "$lavoro/$nome.dlg"; then
    ko "$nome: dialog shown" "$(cat "$lavoro/$nome.out" "$lavoro/$nome.err")"
    return 1
  fi
}

echo "== the two-field dialog"
cartella=$lavoro/dati-ok
mkdir -p "$cartella"
if dialogo ok "$cartella"; then
  box=$lavoro/ok.box
  if grep -q '^controllo Static .* testo=Non trovato dati.ini$' "$box" && ! grep -q "icona=1" "$box" &&
    [ "$(grep -c '^controllo Button' "$box")" = 1 ]; then
    ok "plain box: its text, no icon, one button"
  else
    ko "plain box: its text, no icon, one button" "$(cat "$box")"
  fi
  dlg=$lavoro/ok.dlg
  riga "$dlg" "caption=Non trovato dati.ini" "dialog: caption"
  riga "$dlg" "client=329x148" "dialog: client area 329 by 148"
  riga "$dlg" "centrata=1" "dialog: centred on the screen"
  riga "$dlg" "default=1" "dialog: OK is the default button"
  for controllo in \
    "controllo Edit id=0 x=168 y=56 w=127 h=24 tab=1 icona=0 testo=" \
    "controllo Button id=1 x=93 y=108 w=77 h=27 tab=1 icona=0 testo=OK" \
    "controllo Button id=2 x=177 y=108 w=77 h=27 tab=1 icona=0 testo=Cancel" \
    "controllo Edit id=0 x=24 y=56 w=129 h=24 tab=1 icona=0 testo=" \
    "controllo Static id=0 x=8 y=8 w=313 h=89 tab=0 icona=0 testo="; do
    riga "$dlg" "$controllo" "dialog: ${controllo%% tab=*}"
  done
  etichetta='testo=Inserire il nome del computer e la lettera della sua\r\nunit\xE0 disco dove risulta ospitato (o sar\xE0 ospitato) il database'
  if grep -Fq -- "$etichetta" "$dlg" && grep -q '^controllo Static id=0 x=13 y=22 ' "$dlg"; then
    ok "dialog: label at 13,22 with its two lines in Windows-1252"
  else
    ko "dialog: label at 13,22 with its two lines in Windows-1252" "$(cat "$dlg")"
  fi
  riga "$dlg" "fuoco=Edit@24,56" "dialog: focus on the server name"
  riga "$dlg" "tab=Edit@24,56 Edit@168,56 Button@93,108 Button@177,108" \
    "dialog: tab order drive letter, OK, Cancel, server name"
  interno=$lavoro/ok.interno
  for _ in $(seq 50); do [ -s "$interno" ] && break; sleep 0.1; done
  tr -d '\r' <"$interno" >"$interno.txt" 2>/dev/null
  # The bevel draws no text and keeps no font.
  if [ "$(grep -c '^font .*=Arial 8$' "$interno.txt")" = 5 ] &&
    [ "$(grep -c '^font ' "$interno.txt")" = 5 ]; then
    ok "dialog: every control with a text in Arial 8"
  else
    ko "dialog: every control with a text in Arial 8" "$(cat "$interno.txt")"
  fi
  foto dialogo.png
  scrivi "SRV"
  tasti Tab
  scrivi "C"
  foto dialogo-compilato.png
  tasti Return
  esito=$(fine ok 20)
  if [ "$esito" = 0 ] && [ "$(tr -d '\r' <"$lavoro/ok.out")" = "$(printf 'Server=SRV\nLettera=C')" ]; then
    ok "OK: the answers come back"
  else
    ko "OK: the answers come back" "status $esito: $(cat "$lavoro/ok.out" "$lavoro/ok.err")"
  fi
  if [ "$(tr -d '\r' <"$cartella/dati.ini" 2>/dev/null)" = "$(printf '[CONFIG]\nNome Server=SRV\nLettera Disco Server=C')" ]; then
    ok "OK: Nome Server and Lettera Disco Server written to dati.ini"
  else
    ko "OK: Nome Server and Lettera Disco Server written to dati.ini" "$(cat -A "$cartella/dati.ini" 2>&1)"
  fi
fi
ferma ok

# Answers that write nothing: Cancel pressed from the keyboard (three tabs from the server name,
# then space), Esc (the cancel button), and closing the window with Alt+F4.
# nessunaScrittura <name> <keys...>
nessunaScrittura() {
  local nome=$1
  shift
  local cartella=$lavoro/dati-$nome
  mkdir -p "$cartella"
  # A dati.ini without a server name: the dialog comes all the same, and the file must stay.
  printf '[CONFIG]\r\nAlias=ditta\r\n' >"$cartella/dati.ini"
  cp "$cartella/dati.ini" "$lavoro/$nome.prima"
  if dialogo "$nome" "$cartella"; then
    scrivi "SRV"
    tasti "$@"
    local esito
    esito=$(fine "$nome" 20)
    if [ "$esito" = 0 ] && [ "$(tr -d '\r' <"$lavoro/$nome.out")" = "$(printf 'Server=\nLettera=')" ]; then
      ok "$nome: no server name comes back"
    else
      ko "$nome: no server name comes back" "status $esito: $(cat "$lavoro/$nome.out" "$lavoro/$nome.err")"
    fi
    if cmp -s "$cartella/dati.ini" "$lavoro/$nome.prima"; then ok "$nome: dati.ini unchanged"; else
      ko "$nome: dati.ini unchanged" "$(cat -A "$cartella/dati.ini")"; fi
  fi
  ferma "$nome"
}
nessunaScrittura cancel Tab Tab Tab space
nessunaScrittura esc Escape
nessunaScrittura chiusura alt+F4

# OK with an empty server name: "Nome Server" is written empty, no drive letter.
cartella=$lavoro/dati-vuoto
mkdir -p "$cartella"
if dialogo vuoto "$cartella"; then
  tasti Return
  fine vuoto 20 >/dev/null
  if [ "$(tr -d '\r' <"$cartella/dati.ini" 2>/dev/null)" = "$(printf '[CONFIG]\nNome Server=')" ]; then
    ok "OK with no server name: Nome Server written empty, no drive letter"
  else
    ko "OK with no server name: Nome Server written empty, no drive letter" "$(cat -A "$cartella/dati.ini" 2>&1)"
  fi
fi
ferma vuoto

# A stored server name: no box, no dialog.
cartella=$lavoro/dati-server
mkdir -p "$cartella"
printf '[CONFIG]\r\nNome Server=SRV2\r\nLettera Disco Server=D\r\n' >"$cartella/dati.ini"
avvia salvato "$build/prova-dialogo.exe" chiedi "$(windows "$cartella")\\"
esito=$(fine salvato 20)
if [ "$esito" = 0 ] && [ "$(tr -d '\r' <"$lavoro/salvato.out")" = "$(printf 'Server=SRV2\nLettera=D')" ]; then
  ok "stored server: read from dati.ini without asking"
else
  ko "stored server: read from dati.ini without asking" "status $esito: $(cat "$lavoro/salvato.out" "$lavoro/salvato.err")"
fi
ferma salvato

# A value longer than the profile functions give back is cut at 2047 characters.
cartella=$lavoro/dati-lungo
mkdir -p "$cartella"
lungo=$(head -c 3000 /dev/zero | tr '\0' A)
printf '[config]\r\nnome server=%s\r\n' "$lungo" >"$cartella/dati.ini"
avvia lungo "$build/prova-dialogo.exe" chiedi "$(windows "$cartella")\\"
esito=$(fine lungo 20)
if [ "$esito" = 0 ] && [ "$(tr -d '\r' <"$lavoro/lungo.out")" = "$(printf 'Server=%s\nLettera=' "${lungo:0:2047}")" ]; then
  ok "stored server: names compared without case, value cut at 2047 characters"
else
  ko "stored server: names compared without case, value cut at 2047 characters" "status $esito: $(head -c 300 "$lavoro/lungo.out")"
fi
ferma lungo

# dati.ini that cannot be written (a folder of that name): OK raises the write error.
cartella=$lavoro/dati-cartella
mkdir -p "$cartella/dati.ini"
if dialogo scrittura "$cartella"; then
  scrivi "SRV"
  tasti Return
  esito=$(fine scrittura 20)
  if [ "$esito" = 3 ] && [ "$(tr -d '\r' <"$lavoro/scrittura.out")" = "Errore=Unable to write to $(windows "$cartella")\\dati.ini" ]; then
    ok "OK with dati.ini unwritable: Unable to write to <path>"
  else
    ko "OK with dati.ini unwritable: Unable to write to <path>" "status $esito: $(cat "$lavoro/scrittura.out" "$lavoro/scrittura.err")"
  fi
fi
ferma scrittura

echo "== the named-share warning"
avvia condivisione "$build/prova-dialogo.exe" condivisione '\\SRV\ARCHIVI\'
if ispeziona vessentaria "$lavoro/condivisione.box"; then
  avviso='testo=Attenzione: il disco con gli archivi \xE8 stato condiviso in rete con un nome - ARCHIVI - e non con la lettera che lo identifica. Si consiglia di correggere la condivisione oppure di correggere manualmente la sezione Percorso Nel Server nel file Dati.ini accanto al database'
  if grep -Fq -- "$avviso" "$lavoro/condivisione.box" && ! grep -q "icona=1" "$lavoro/condivisione.box"; then
    ok "named share: the warning in Windows-1252, no icon"
  else
    ko "named share: the warning in Windows-1252, no icon" "$(cat "$lavoro/condivisione.box")"
  fi
  foto avviso-condivisione.png
  tasti Return
  esito=$(fine condivisione 20)
  if [ "$(tr -d '\r' <"$lavoro/condivisione.out")" = "$(printf 'Fermo=1\nConNome=1')" ]; then
    ok "named share: no connection is to be attempted"
  else
    ko "named share: no connection is to be attempted" "status $esito: $(cat "$lavoro/condivisione.out")"
  fi
else
  ko "named share: warning shown" "$(cat "$lavoro/condivisione.out" "$lavoro/condivisione.err")"
fi
ferma condivisione

# --- a desktop that nobody sees -------------------------------------------------------------
# stazione.exe starts the program on a window station of its own without WSF_VISIBLE, as the Task
# Scheduler starts a task run whether the user is logged on or not, and lists in <name>.finestre
# the boxes and dialogs that the program makes there. Wine passes what the program reports to the
# event log to its debug channel "eventlog", which goes to standard error beside the program's own.
# incustodito <name> <installation folder> [station]: WinSta0 is the user's visible one.
incustodito() {
  local nome=$1 cartella=$2 stazione=${3:-Incustodita}
  WINEDEBUG=-all,err+eventlog,warn+eventlog avvia "$nome" "$build/stazione.exe" "$stazione" \
    "$(windows "$lavoro/$nome.finestre")" "$(windows "$cartella/vessentaria.exe")"
}

# senzaFinestre <name> <exit status> <standard error> <event log>: the program ended by itself
# with that status, made no window, wrote those lines to standard error and to the event log
# (as Wine writes them: tid prefix removed) and nothing to standard output.
senzaFinestre() {
  local nome=$1 stato=$2 errore=$3 eventi=$4 esito
  esito=$(fine "$nome" 30)
  if [ "$esito" = "$stato" ]; then ok "$nome: the run goes on, exit status $stato"; else
    ko "$nome: the run goes on, exit status $stato" "got $esito"; fi
  if [ "$(tr -d '\r' <"$lavoro/$nome.finestre" 2>/dev/null)" = "visibile=0" ]; then
    ok "$nome: no window on a station without WSF_VISIBLE"
  else
    ko "$nome: no window on a station without WSF_VISIBLE" "$(cat "$lavoro/$nome.finestre" 2>&1)"
  fi
  local evento='^[0-9a-f]+:(err|warn):eventlog:'
  if [ "$(grep -Ev "$evento" "$lavoro/$nome.err" | tr -d '\r')" = "$errore" ]; then
    ok "$nome: the text on standard error"
  else
    ko "$nome: the text on standard error" "$(cat -A "$lavoro/$nome.err")"
  fi
  if [ "$(grep -E "$evento" "$lavoro/$nome.err" | sed -E 's/^[0-9a-f]+://')" = "$eventi" ]; then
    ok "$nome: the text in the event log"
  else
    ko "$nome: the text in the event log" "$(cat -A "$lavoro/$nome.err")"
  fi
  if [ ! -s "$lavoro/$nome.out" ]; then ok "$nome: nothing on standard output"; else
    ko "$nome: nothing on standard output" "$(cat -A "$lavoro/$nome.out")"; fi
  ferma "$nome"
}

# In the event log, a backslash and a double quote come with a backslash before them.
registrato() { local t=${1//\\/\\\\}; echo "${t//\"/\\\"}"; }

echo "== a desktop that nobody sees"
cartella=$(installazione incustodito-senza-user)
percorso="$(windows "$cartella/User")\\"
incustodito incustodito-riga0 "$cartella"
senzaFinestre incustodito-riga0 1 "Error: Percorso \"$percorso\" non trovato" \
  "err:eventlog:ReportEventW L\"$(registrato "Error: Percorso \"$percorso\" non trovato")\""

# The whole opener: the connection and the creation fail, the dialog counts as closed, the run
# goes on to the start-up error.
cartella=$(installazione incustodito-senza-server)
mkdir -p "$cartella/User"
: >"$cartella/User/USER.FDB"
cp "$build/gds32-prova/gds32.dll" "$cartella/"
utente=$(windows "$cartella/User/USER.FDB")
REGISTRO_CLIENT=$(windows "$cartella/registro.txt") incustodito incustodito-opener "$cartella"
senzaFinestre incustodito-opener 3 "vessentaria: Non trovato dati.ini
vessentaria: Apertura / creazione del database non riuscita!
Error: Impossibile stabilire la connessione all'archivio
\"$utente\"
$utente: $clientDiProva" "warn:eventlog:ReportEventW L\"vessentaria: Non trovato dati.ini\"
warn:eventlog:ReportEventW L\"vessentaria: Apertura / creazione del database non riuscita!\"
err:eventlog:ReportEventW L\"$(registrato "Error: Impossibile stabilire la connessione all'archivio")\\r\\n$(registrato "\"$utente\"")\\r\\n$(registrato "$utente: $clientDiProva")\""
if [ "$(grep -c '^isc_' "$cartella/registro.txt" 2>/dev/null)" = 2 ] && [ ! -e "$cartella/User/dati.ini" ]; then
  ok "incustodito-opener: one connection, one creation, no dati.ini written"
else
  ko "incustodito-opener: one connection, one creation, no dati.ini written" \
    "$(cat "$cartella/registro.txt" "$cartella/User/dati.ini" 2>&1)"
fi

# The same start on the visible station: the box, waiting for the user, as ever.
cartella=$(installazione visibile-senza-user)
incustodito visibile-riga0 "$cartella" WinSta0
if ispeziona Error "$lavoro/visibile-riga0.box"; then
  ok "visible station: the error box"
  attende visibile-riga0 "visible station: waits while the box is open"
  tasti Return
  esito=$(fine visibile-riga0 20)
  if [ "$esito" = 1 ] && [ "$(tr -d '\r' <"$lavoro/visibile-riga0.finestre")" = "$(printf 'visibile=1\nfinestra=Error')" ] &&
    ! grep -q "non trovato" "$lavoro/visibile-riga0.err"; then
    ok "visible station: exit status 1 after Return, nothing on standard error"
  else
    ko "visible station: exit status 1 after Return, nothing on standard error" \
      "status $esito: $(cat "$lavoro/visibile-riga0.finestre" "$lavoro/visibile-riga0.err")"
  fi
else
  ko "visible station: the error box" "$(cat "$lavoro/visibile-riga0.err" 2>/dev/null)"
fi
ferma visibile-riga0

# --- where gds32.dll is looked for ----------------------------------------------------------
echo "== where gds32.dll is looked for"
# A gds32.dll in the current folder and none beside the program: the program does not load it.
cartella=$(installazione piantata)
mkdir -p "$cartella/User" "$lavoro/corrente"
: >"$cartella/User/USER.FDB"
cp "$build/gds32-prova/gds32.dll" "$lavoro/corrente/"
(cd "$lavoro/corrente" && REGISTRO_CLIENT=$(windows "$lavoro/piantata.registro") \
  avvia piantata "$cartella/vessentaria.exe")
esito=$(fine piantata 30)
atteso=$(printf 'Exception ESQLError in module vessentaria.exe at XXXXXXXX.\r\nUnable to load the client library gds32.dll (error 126).\r\n\r\n')
ottenuto=$(sed -E 's/ at [0-9A-F]{8}\./ at XXXXXXXX./' "$lavoro/piantata.out")
if [ "$esito" = 1 ] && [ "$ottenuto" = "$atteso" ] && [ ! -e "$lavoro/piantata.registro" ]; then
  ok "gds32.dll in the current folder: not loaded, the missing library's report"
else
  ko "gds32.dll in the current folder: not loaded, the missing library's report" \
    "status $esito: $(cat -A "$lavoro/piantata.out" "$lavoro/piantata.registro" 2>&1)"
fi
ferma piantata

# One in the system folder is loaded.
sistema=$WINEPREFIX/drive_c/windows/system32/gds32.dll
cp "$build/gds32-prova/gds32.dll" "$sistema"
cartella=$lavoro/da-sistema
mkdir -p "$cartella"
cp "$build/prova-libreria.exe" "$cartella/"
avvia da-sistema "$cartella/prova-libreria.exe" transazione
esito=$(fine da-sistema 30)
if [ "$esito" = 0 ] && [ "$(tr -d '\r' <"$lavoro/da-sistema.out")" = "esito=0 transazione=77" ]; then
  ok "gds32.dll in the system folder: loaded"
else
  ko "gds32.dll in the system folder: loaded" "status $esito: $(cat "$lavoro/da-sistema.out")"
fi
rm -f "$sistema"
ferma da-sistema

echo "== the zip unpacked in C:\\"
# The task definition's command is the program of the zip, unpacked where the README says.
unzip -q "$(ls "$build"/vessentaria-*.zip)" -d "$WINEPREFIX/drive_c"
comando=$(xmllint --xpath "string(//*[local-name()='Exec'][1]/*[local-name()='Command'])" \
  "$WINEPREFIX"/drive_c/*/vessentaria-attivita.xml)
avvia dallozip "$comando" --version
esito=$(fine dallozip 30)
if [ "$esito" = 0 ] && grep -q '^vessentaria ' "$lavoro/dallozip.out"; then
  ok "the task's command runs the unpacked program: $comando"
else
  ko "the task's command runs the unpacked program: $comando" "status $esito: $(cat "$lavoro/dallozip.out" "$lavoro/dallozip.err")"
fi

echo "$passati passed, $falliti failed"
[ "$falliti" = 0 ]
