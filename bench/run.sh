#!/usr/bin/env bash
# The benchmark in one command: builds the program and the baseline, generates the archives, sets
# up a real installation (executable, USER.FDB, company archive, one active task) and runs the
# program and the baseline alternately on fresh copies of the destination, in six modes:
#   vuota     embedded engine on both sides, empty destination
#   piena     embedded, the destination already holds every row (all of them are updated)
#   senzablob embedded, empty destination, tables without BLOB columns
#   server    both archives through a private Firebird server on 127.0.0.1 started here: the
#             server copies the rows itself
#   wan       the destination through that server behind bench_relay, a link that holds every
#             chunk for BENCH_DELAY_MS (default 5) each way: a wide-area round trip; the source
#             embedded
#   wan2      the source too behind the relay: one server, which copies the rows itself
#   lunghezze the order rows 60 INTEGER columns wider, in runs of 1, 2, ... 63 short rows each
#             followed by one row with a 9,000-byte blob (bench/genera.sh --lunghezze, 2,079
#             rows): every length of a partial block occurs; embedded
#   lunghezze-server  the same data with the destination through the private server, where rows
#             travel in blocks; each run line also gives the server's resident memory after it
#   locale    plain local paths, no dati.ini: the program asks the host's server first, here the
#             private server (User/dati.ini [Rete] ServerLocale=localhost/port), which opens every
#             archive; the baseline names the same files through that server. Against vuota (the
#             embedded engine) in the same run: what going through the host's server costs
#   pavimento the floor: the engine's own work for the same copy, no client program: the source
#             tables and empty destination tables (D_...) in one database, the five steps run
#             by isql, embedded, as one EXECUTE BLOCK each (a FOR SELECT over the step's source
#             query, one UPDATE OR INSERT ... MATCHING per row), one transaction; measured at
#             every order count of the modes run before it that copy its data (with blobs, not
#             senzablob or lunghezze), and those modes are reported against it; when it is asked
#             for, it also runs once in every round of those modes, and each of them is
#             reported against the runs of its own rounds (BENCH_FLOOR_BETWEEN=0 leaves them out)
# In the wide-area modes the baseline sends text blobs inside the upsert's parameter (one request
# per row, like the program), elsewhere it copies them segment by segment; BENCH_TEXT_BASELINE
# lists the modes that use the first (default "wan wan2").
# Prints medians (with min and max) of wall time, rows per second, peak RSS, the CPU time of the
# client process (user + system: less disturbed than wall time by other work on the machine; it
# leaves out the server's own work), the client's network sends per copied row and, behind the
# relay, the round trips per copied row it counted and the time that many would wait on a 10 ms
# link for the copy of 100,000 orders; checks that both destinations have the same checksum.
#
#   bench/run.sh [ORDERS] [REPETITIONS]        defaults: 100000 orders (1000 in the wide-area
#                                              modes), 3 repetitions
# Environment: BENCH_DIR (work folder, default ./build-bench), BENCH_MODES (default
# "vuota piena senzablob server wan wan2 pavimento"), BENCH_SKIP_BUILD=1 to reuse the build,
# BENCH_STRACE=0 to skip the extra run under strace that counts the network sends,
# BENCH_WAN_ORDERS for the orders of the wide-area modes (default ORDERS when given, else 1000),
# BENCH_WIRECRYPT to set the private server's WireCrypt (e.g. Disabled, with BENCH_RELAY_OPS=1:
# relay.log then names the operation of every chunk; never for figures that are compared).
# Exit status: 0 when every checksum agrees and every run succeeded, 1 otherwise (the figures are
# reported, not enforced).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
ordini_dati="${1:-}"
ripetizioni="${2:-3}"
W="${BENCH_DIR:-$repo/build-bench}"
modi="${BENCH_MODES:-vuota piena senzablob server wan wan2 pavimento}"
ritardo="${BENCH_DELAY_MS:-5}"
base_testo="${BENCH_TEXT_BASELINE:-wan wan2}"
password=tawnyquip
mkdir -p "$W"
W="$(cd "$W" && pwd)"

if [ "${BENCH_SKIP_BUILD:-}" != 1 ]; then
  bash "$repo/scripts/install-deps.sh" time strace
  echo "== building in $W/build"
  cmake -S "$repo" -B "$W/build" -DVESSENTARIA_BENCH=ON -DVESSENTARIA_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$W/build" --target vessentaria bench_baseline bench_relay -j 2 >/dev/null
fi

isql() { isql-fb -q -bail -user SYSDBA -password "$password" "$@"; }

# ---- data: one folder per size and variant, generated once
ordini_modo() {  # the orders of a mode
  case "$1" in
    wan | wan2) echo "${BENCH_WAN_ORDERS:-${ordini_dati:-1000}}" ;;
    lunghezze*) echo 63 ;;
    *) echo "${ordini_dati:-100000}" ;;
  esac
}
dati() {  # dati ORDERS VARIANT: the folder of the archives, generated if missing
  local d="$W/dati-$1-$2" opzione=""
  if [ ! -f "$d/.pronto" ]; then
    echo "== generating $1 orders ($2)" >&2
    rm -rf "$d"
    [ "$2" = senzablob ] && opzione=--senza-blob
    [ "$2" = lunghezze ] && opzione=--lunghezze
    bash "$repo/bench/genera.sh" "$d" "$1" $opzione >&2
    touch "$d/.pronto"
  fi
  echo "$d"
}

# ---- the installation
inst="$W/inst"
rm -rf "$inst"
mkdir -p "$inst/User" "$inst/archivi" "$inst/origine" "$inst/dest"
cp "$W/build/vessentaria" "$inst/"
# Plain paths go to the embedded engine, whatever server this machine runs.
printf '[Rete]\nServerLocale=\n' >"$inst/User/dati.ini"
{ echo "CREATE DATABASE '$inst/User/USER.FDB' PAGE_SIZE 4096;"
  cat "$repo/sql/user.sql"
  echo "INSERT INTO UTENTI (NOMEUTENTE, CODICE, DITTA) VALUES ('VESSENTARIA#', 7, '01');"
  echo "INSERT INTO TABSOFTDES VALUES (7, '01', 'Archivio', '$inst/archivi/ditta.fdb');"
  echo "COMMIT;"
} | isql
{ echo "CREATE DATABASE '$inst/archivi/ditta.fdb' PAGE_SIZE 4096;"
  cat "$repo/sql/archivio-ditta.sql"
  echo "INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, STATUS)"
  echo "  VALUES (1, '$inst/origine/origine.fdb', '$inst/dest/destinazione.fdb', 'VORNYUSA', 1);"
  echo "COMMIT;"
} | isql

# ---- the private server for the server modes, and the relay in front of it
server_pid=""
relay_pid=""
ferma_server() {
  if [ -n "$relay_pid" ]; then
    kill -TERM "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=""
  fi
  [ -n "$server_pid" ] || return 0
  kill -TERM "$server_pid" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}
trap ferma_server EXIT
avvia_server() {
  local R="$W/server" fb=/usr/lib/x86_64-linux-gnu/firebird/3.0
  rm -rf "$R"
  mkdir -p "$R/data" "$R/lock"
  for v in UDF firebird.msg intl lib plugins include; do ln -s "$fb/$v" "$R/$v"; done
  cp /etc/firebird/3.0/plugins.conf /etc/firebird/3.0/fbtrace.conf "$R/"
  porta=0
  for _ in $(seq 50); do
    local p=$((20000 + RANDOM % 30000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then porta=$p; break; fi
  done
  { cat /etc/firebird/3.0/firebird.conf
    echo "RemoteServicePort = $porta"
    echo "RemoteBindAddress = 127.0.0.1"
    echo "IpcName = vessentaria_bench_$porta"
    echo "SecurityDatabase = $R/data/security3.fdb"
    [ -z "${BENCH_WIRECRYPT:-}" ] || echo "WireCrypt = $BENCH_WIRECRYPT"
  } > "$R/firebird.conf"
  { echo "security.db = $R/data/security3.fdb"
    echo "{"
    echo "  RemoteAccess = false"
    echo "}"
    echo "bench = $inst/dest/destinazione.fdb"
    echo "origine = $inst/origine/origine.fdb"
  } > "$R/databases.conf"
  FIREBIRD="$R" FIREBIRD_LOCK="$R/lock" isql-fb -q -bail -user SYSDBA <<SQL
CREATE DATABASE '$R/data/security3.fdb';
COMMIT;
CONNECT '$R/data/security3.fdb' USER SYSDBA;
CREATE USER SYSDBA PASSWORD '$password';
COMMIT;
SQL
  FIREBIRD="$R" FIREBIRD_LOCK="$R/lock" /usr/sbin/firebird </dev/null >"$R/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 300); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$porta") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "the Firebird server did not start" >&2
  cat "$R/server.log" >&2
  exit 1
}

avvia_relay() {  # sets porta_relay; the relay's log is $W/relay.log
  "$W/build/bench_relay" "$porta" "$ritardo" >"$W/relay.log" 2>&1 &
  relay_pid=$!
  for _ in $(seq 100); do
    porta_relay="$(sed -n 's/^port //p' "$W/relay.log")"
    [ -n "$porta_relay" ] && return 0
    sleep 0.05
  done
  echo "the relay did not start" >&2
  cat "$W/relay.log" >&2
  exit 1
}

giri_relay() {  # giri_relay FROM-LINE: round trips of the connections logged after that line,
  # once every connection through the relay has closed
  for _ in $(seq 100); do
    [ "$(grep -c '^open' "$W/relay.log")" = "$(grep -c '^closed' "$W/relay.log")" ] && break
    sleep 0.05
  done
  tail -n "+$(($1 + 1))" "$W/relay.log" | awk '$1 == "closed" {s += $7} END {print s + 0}'
}

# ---- checksum over every column of the four tables
checksum() {  # checksum DATABASE-NAME WITH-BLOBS(1/0) [TABLE-PREFIX]
  local db="$1" blob="$2" prefisso="${3:-}" sql=""
  local -A colonne=(
    [CLIENTI]="CODICE RAGIONESOCIALE NAZIONE INTESTATARIOFATTURA CATEGORIA FIDO TELEFONO DATAINSERIMENTO"
    [PS_ORDINI]="ID IDSESSIONE IDUTENTE CODDEST DATAORDINE STATO TOTALE SCONTO RIFERIMENTO"
    [PS_STOINSCAR]="IDINSERIMENTO IDSESSIONE RIGA CODICEARTICOLO DESCRIZIONE UNITA QUANTITA PREZZO IMPORTO PESO DATACONSEGNA ORACONSEGNA MODIFICATO"
    [PS_STOSESSION]="ID INIZIO FINE DURATA TERMINALE OPERATORE RIGHE"
  )
  for t in CLIENTI PS_ORDINI PS_STOINSCAR PS_STOSESSION; do
    local e="" c
    for c in ${colonne[$t]}; do e="$e${e:+||'|'||}COALESCE(CAST($c AS VARCHAR(100)),'~')"; done
    case "$blob$t" in
      1PS_ORDINI | 1PS_STOINSCAR) e="$e||'|'||COALESCE(NOTE||'','~')" ;;
    esac
    sql="$sql SELECT '$t', COUNT(*), SUM(MOD(HASH($e), 1000000007)) FROM $prefisso$t;"
  done
  echo "$sql" | isql -pag 0 "$db" | tr -s ' \n' ' '
}

# ---- the floor: the five steps as EXECUTE BLOCKs inside one embedded database
tabelle_ordini="CLIENTI PS_ORDINI PS_STOINSCAR PS_STOSESSION"
colonne() {  # colonne DATABASE TABLE: the column names in position order, one a line
  printf 'SET HEADING OFF;\nSELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME=%s ORDER BY RDB$FIELD_POSITION;\n' \
    "'$2'" | isql -pag 0 "$1" | awk 'NF == 1 {print $1}'
}
passo_pavimento() {  # DATABASE TABLE MATCHING EMPTY(1/0) SELECT: one step as one EXECUTE BLOCK
  local db="$1" t="$2" chiave="$3" svuota="$4" sel="$5" c i=0 dichiara="" var="" col=""
  for c in $(colonne "$db" "$t"); do
    i=$((i + 1))
    dichiara="$dichiara  DECLARE V$i TYPE OF COLUMN $t.$c;"$'\n'
    var="$var${var:+, }:V$i"
    col="$col${col:+, }$c"
  done
  echo "EXECUTE BLOCK AS"
  printf '%s' "$dichiara"
  echo "BEGIN"
  [ "$svuota" = 1 ] && echo "  DELETE FROM D_$t;"
  echo "  FOR $sel INTO $var DO"
  echo "    UPDATE OR INSERT INTO D_$t ($col) VALUES ($var) MATCHING ($chiave);"
  echo "END^"
}
script_pavimento() {  # script_pavimento DATABASE: the five steps of the order task and the commit
  local db="$1"
  local da="FROM PS_ORDINI A LEFT JOIN CLIENTI B ON B.CODICE=A.CODDEST"
  local dove="WHERE A.IDUTENTE=61 OR B.NAZIONE='USA'"
  echo "SET TERM ^ ;"
  passo_pavimento "$db" CLIENTI CODICE 0 "SELECT DISTINCT C.* FROM PS_ORDINI A INNER JOIN CLIENTI B
    ON B.CODICE=A.CODDEST INNER JOIN CLIENTI C ON C.CODICE=B.INTESTATARIOFATTURA $dove"
  passo_pavimento "$db" CLIENTI CODICE 0 "SELECT DISTINCT B.* FROM PS_ORDINI A INNER JOIN CLIENTI B
    ON B.CODICE=A.CODDEST $dove"
  passo_pavimento "$db" PS_ORDINI IDSESSIONE 1 "SELECT A.* $da $dove"
  passo_pavimento "$db" PS_STOINSCAR IDINSERIMENTO 1 \
    "SELECT C.* $da INNER JOIN PS_STOINSCAR C ON C.IDSESSIONE=A.IDSESSIONE $dove"
  passo_pavimento "$db" PS_STOSESSION ID 1 \
    "SELECT C.* $da INNER JOIN PS_STOSESSION C ON C.ID=A.IDSESSIONE $dove"
  echo "SET TERM ; ^"
  echo "COMMIT;"
}
modello_pavimento() {  # modello_pavimento FOLDER: the floor's database and script, made once
  local d="$1"
  if [ ! -f "$d/.pavimento" ]; then
    cp "$d/origine.fdb" "$d/pavimento.fdb"
    # The destination's tables, indexes and constraints, renamed D_...
    isql -x "$d/destinazione.fdb" | sed -E \
      -e "s/\\b(${tabelle_ordini// /|})\\b/D_\\1/g" -e 's/\b(PK|IX)_/D_\1_/g' |
      isql "$d/pavimento.fdb" >/dev/null
    script_pavimento "$d/pavimento.fdb" >"$d/pavimento.sql"
    touch "$d/.pavimento"
  fi
}

# ---- the rows that one copy writes: the five source queries of the order task, counted
conta_righe() {
  local da="FROM PS_ORDINI A LEFT JOIN CLIENTI B ON B.CODICE=A.CODDEST"
  local dove="WHERE A.IDUTENTE=61 OR B.NAZIONE='USA'"
  isql -pag 0 "$1" <<SQL | awk '$1 ~ /^[0-9]+$/ {s += $1} END {print s}'
SELECT COUNT(*) FROM (SELECT DISTINCT C.* FROM PS_ORDINI A INNER JOIN CLIENTI B
  ON B.CODICE=A.CODDEST INNER JOIN CLIENTI C ON C.CODICE=B.INTESTATARIOFATTURA $dove);
SELECT COUNT(*) FROM (SELECT DISTINCT B.* FROM PS_ORDINI A INNER JOIN CLIENTI B
  ON B.CODICE=A.CODDEST $dove);
SELECT COUNT(*) $da $dove;
SELECT COUNT(*) $da INNER JOIN PS_STOINSCAR C ON C.IDSESSIONE=A.IDSESSIONE $dove;
SELECT COUNT(*) $da INNER JOIN PS_STOSESSION C ON C.ID=A.IDSESSIONE $dove;
SQL
}

# ---- one timed run: prints "seconds peak-KiB cpu-seconds"
esegui() {  # esegui program|baseline SOURCE-NAME DEST-NAME OUTFILE [strace]
  local chi="$1" origine="$2" dest="$3" uscita="$4" misura="$W/.misura"
  local comando
  if [ "$chi" = program ]; then
    comando=("$inst/vessentaria")
  else
    comando=("$W/build/bench_baseline" $opzione_base "$origine" "$dest" SYSDBA "$password")
  fi
  if [ "${5:-}" = strace ]; then
    strace -f --seccomp-bpf -c -e trace=sendto,sendmsg,write,writev -o "$uscita.strace" "${comando[@]}" \
      >"$uscita" 2>&1 </dev/null
  else
    /usr/bin/time -f "%e %M %U %S" -o "$misura" "${comando[@]}" >"$uscita" 2>&1 </dev/null
    awk '{print $1, $2, $3 + $4}' "$misura"
  fi
}

nota_task() {
  echo "SET LIST ON; SELECT CAST(NOTEULTIMAESECUZIONE AS VARCHAR(2000)) AS NOTA FROM VESSENTARIA;" |
    isql "$inst/archivi/ditta.fdb" | sed -n 's/^NOTA *//p' | tr '\r' ' '
}

cpu_server() {  # user + system seconds the private server has used so far
  [ -n "$server_pid" ] || { echo 0; return; }
  awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$server_pid/stat"
}

statistica() {  # median min max of the numbers on stdin
  sort -g | awk '{v[NR]=$1} END {printf "%s %s %s\n", v[int((NR+1)/2)], v[1], v[NR]}'
}

invii() {  # network sends counted by strace -c
  awk '$NF=="sendto" || $NF=="sendmsg" {s+=$4} END {print s+0}' "$1"
}

giro_pavimento() {  # giro_pavimento FOLDER: one run of the floor; prints "seconds KiB cpu"
  local db="$W/pavimento.fdb"
  modello_pavimento "$1"
  cp "$1/pavimento.fdb" "$db"
  if ! /usr/bin/time -f "%e %M %U %S" -o "$W/.misura" isql-fb -q -bail -user SYSDBA \
    -password "$password" "$db" -i "$1/pavimento.sql" >"$W/.uscita-pavimento" 2>&1 \
    </dev/null; then
    echo "   floor run failed:" >&2
    cat "$W/.uscita-pavimento" >&2
    return 1
  fi
  awk '{print $1, $2, $3 + $4}' "$W/.misura"
}

riga_pavimento() {  # riga_pavimento RUN SECONDS KIB CPU
  printf '   floor    run %s: %6.2f s, %7.1f MiB, cpu %6.2f s\n' "$1" "$2" \
    "$(awk -v k="$3" 'BEGIN {print k / 1024}')" "$4"
}

pavimento() {  # the floor at every order count of the modes run so far
  local taglie o cartella giro secondi kib cpu somma
  # Only the modes that copy the same data as the floor, with blobs, are compared with it.
  taglie="$(awk '$1 !~ /^(senzablob|lunghezze)/ {print $2}' "$risultati" | sort -un)"
  [ -n "$taglie" ] || taglie="$(ordini_modo pavimento)"
  for o in $taglie; do
    cartella="$(dati "$o" blob)"
    modello_pavimento "$cartella"
    righe=$(conta_righe "$cartella/origine.fdb")
    echo "== mode pavimento: $o orders, $righe rows per copy, $ripetizioni runs, isql embedded"
    for f in t m u; do : >"$W/.$f-pavimento"; done
    for giro in $(seq "$ripetizioni"); do
      if ! read -r secondi kib cpu < <(giro_pavimento "$cartella"); then
        esito=1
        continue
      fi
      echo "$secondi" >>"$W/.t-pavimento"
      echo "$kib" >>"$W/.m-pavimento"
      echo "$cpu" >>"$W/.u-pavimento"
      riga_pavimento "$giro" "$secondi" "$kib" "$cpu"
    done
    somma="$(checksum "$W/pavimento.fdb" 1 D_)"
    echo "   checksum: $somma"
    # The same rows as the copies of the same data into an empty destination.
    if [ -f "$W/.somma-$o" ] && [ "$(cat "$W/.somma-$o")" != "$somma" ]; then
      echo "   CHECKSUMS DIFFER: floor $somma, copies $(cat "$W/.somma-$o")" >&2
      esito=1
    fi
    [ -s "$W/.t-pavimento" ] || continue
    read -r tp tpmin tpmax < <(statistica <"$W/.t-pavimento")
    read -r mp _ _ < <(statistica <"$W/.m-pavimento")
    read -r up _ _ < <(statistica <"$W/.u-pavimento")
    echo "$o $righe $tp $tpmin $tpmax $(awk -v k="$mp" 'BEGIN {printf "%.1f", k / 1024}') $up" \
      >>"$pavimenti"
  done
}

esito=0
risultati="$W/risultati.txt"
pavimenti="$W/pavimenti.txt"
: >"$risultati"
: >"$pavimenti"
rm -f "$W"/.somma-*
for modo in $modi; do
  if [ "$modo" = pavimento ]; then
    pavimento
    continue
  fi
  ordini="$(ordini_modo "$modo")"
  variante=blob
  [ "$modo" = senzablob ] && variante=senzablob
  [[ "$modo" == lunghezze* ]] && variante=lunghezze
  con_blob=1
  [ "$modo" = senzablob ] && con_blob=0
  cartella="$(dati "$ordini" "$variante")"
  modello="$cartella/destinazione.fdb"
  if [ "$modo" = piena ]; then
    modello="$cartella/piena.fdb"
    if [ ! -f "$cartella/.piena" ]; then
      cp "$cartella/destinazione.fdb" "$modello"
      "$W/build/bench_baseline" "$cartella/origine.fdb" "$modello" >/dev/null
      touch "$cartella/.piena"
    fi
  fi
  opzione_base=""
  [[ " $base_testo " == *" $modo "* ]] && opzione_base=--blob-as-text
  cp "$cartella/origine.fdb" "$inst/origine/origine.fdb"
  rm -f "$inst/dest/dati.ini" "$inst/origine/dati.ini"
  origine="$inst/origine/origine.fdb"
  dest="$inst/dest/destinazione.fdb"
  verifica="$dest"  # the name the checksum reads the destination by
  printf '[Rete]\nServerLocale=\n' >"$inst/User/dati.ini"
  case "$modo" in
    server | wan | wan2 | lunghezze-server)
      avvia_server; dest="localhost/$porta:bench"; verifica="$dest" ;;
    locale)
      avvia_server
      printf '[Rete]\nServerLocale=localhost/%s\n' "$porta" >"$inst/User/dati.ini"
      origine="localhost/$porta:$origine"; dest="localhost/$porta:$dest"; verifica="$dest" ;;
  esac
  case "$modo" in
    wan | wan2) avvia_relay; dest="localhost/$porta_relay:bench" ;;
  esac
  case "$modo" in
    server | wan | wan2 | lunghezze-server)
      printf '[CONFIG]\nNome Server=%s\nAlias=bench\n' "${dest%%:*}" >"$inst/dest/dati.ini" ;;
  esac
  case "$modo" in
    server) origine="localhost/$porta:origine" ;;
    wan2) origine="localhost/$porta_relay:origine" ;;
  esac
  case "$modo" in
    server | wan2)
      printf '[CONFIG]\nNome Server=%s\nAlias=origine\n' "${origine%%:*}" >"$inst/origine/dati.ini" ;;
  esac
  righe=$(conta_righe "$inst/origine/origine.fdb")
  collegamento=""
  [ -n "$relay_pid" ] && collegamento=", ${ritardo} ms each way through the relay"
  echo "== mode $modo: $ordini orders, $righe rows per copy, $ripetizioni runs each$collegamento"
  echo "   baseline: ${opzione_base:-blobs segment by segment}"
  for f in t m u g; do : >"$W/.$f-program"; : >"$W/.$f-baseline"; done
  : >"$W/.t-tra"
  # The floor runs between the rounds where it copies the same data: with blobs, and asked for.
  tra=0
  [[ " $modi " == *" pavimento "* && "$variante" = blob && "${BENCH_FLOOR_BETWEEN:-1}" = 1 ]] && tra=1
  giri="$(seq "$ripetizioni")"
  echo 0 >"$W/.s-program"
  echo 0 >"$W/.s-baseline"
  [ "${BENCH_STRACE:-1}" = 0 ] || giri="$giri strace"
  for giro in $giri; do
    for chi in program baseline; do
      cp "$modello" "$inst/dest/destinazione.fdb"
      # A note left by an earlier run must not pass for this one's.
      echo "UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = NULL; COMMIT;" |
        isql "$inst/archivi/ditta.fdb"
      inizio_log=0
      [ -n "$relay_pid" ] && inizio_log="$(wc -l <"$W/relay.log")"
      cpu_server_prima="$(cpu_server)"
      if [ "$giro" = strace ]; then
        esegui "$chi" "$origine" "$dest" "$W/.uscita-$chi" strace
        echo "$(invii "$W/.uscita-$chi.strace")" >"$W/.s-$chi"
      else
        read -r secondi kib cpu < <(esegui "$chi" "$origine" "$dest" "$W/.uscita-$chi")
        echo "$secondi" >>"$W/.t-$chi"
        echo "$cpu" >>"$W/.u-$chi"
        echo "$kib" >>"$W/.m-$chi"
        viaggi=""
        if [ -n "$relay_pid" ]; then
          viaggi="$(giri_relay "$inizio_log")"
          echo "$viaggi" >>"$W/.g-$chi"
          if [ "$viaggi" = 0 ]; then
            echo "   the $chi's run did not go through the relay" >&2
            esito=1
          fi
          viaggi=", $viaggi round trips"
        fi
        # The server holds what a client prepared until the client lets it go: its peak
        # resident memory so far, and what it still holds after the run; and the work it did
        # for the run, which the client's own CPU time leaves out.
        [ -n "$server_pid" ] && viaggi="$viaggi, server $(awk '/^VmHWM|^VmRSS/ {printf "%s%.1f", \
          (n++ ? " now " : "peak "), $2 / 1024}' "/proc/$server_pid/status") MiB, server cpu $(awk -v a="$cpu_server_prima" -v b="$(cpu_server)" 'BEGIN {printf "%.2f", b - a}') s"
        printf '   %-8s run %s: %6.2f s, %7.1f MiB, cpu %6.2f s%s\n' "$chi" "$giro" "$secondi" \
          "$(awk -v k="$kib" 'BEGIN {print k / 1024}')" "$cpu" "$viaggi"
      fi
      if [ "$chi" = program ]; then
        nota="$(nota_task)"
        if [ "$nota" != "Elaborazione effettuata senza anomalie da segnalare" ]; then
          echo "   program run failed: $nota" >&2
          cat "$W/.uscita-$chi" >&2
          esito=1
        fi
      elif ! grep -q "^PS_STOSESSION" "$W/.uscita-$chi"; then
        echo "   baseline run failed:" >&2
        cat "$W/.uscita-$chi" >&2
        esito=1
      fi
      somma="$(checksum "$verifica" "$con_blob")"
      echo "$somma" >"$W/.c-$chi"
    done
    if ! cmp -s "$W/.c-program" "$W/.c-baseline"; then
      echo "   CHECKSUMS DIFFER: program $(cat "$W/.c-program")" >&2
      echo "                     baseline $(cat "$W/.c-baseline")" >&2
      esito=1
    fi
    # This machine's speed drifts within minutes: the floor measured in the same round as the
    # copies is the one they are compared with.
    if [ "$tra" = 1 ] && [ "$giro" != strace ]; then
      if read -r secondi kib cpu < <(giro_pavimento "$cartella"); then
        echo "$secondi" >>"$W/.t-tra"
        riga_pavimento "$giro" "$secondi" "$kib" "$cpu"
      else
        esito=1
      fi
    fi
  done
  echo "   checksum: $(cat "$W/.c-baseline")"
  [ "$modo" = vuota ] && cp "$W/.c-baseline" "$W/.somma-$ordini"
  read -r tp tpmin tpmax < <(statistica <"$W/.t-program")
  read -r tb tbmin tbmax < <(statistica <"$W/.t-baseline")
  read -r mp _ _ < <(statistica <"$W/.m-program")
  read -r mb _ _ < <(statistica <"$W/.m-baseline")
  read -r up _ _ < <(statistica <"$W/.u-program")
  read -r ub _ _ < <(statistica <"$W/.u-baseline")
  ft=-
  [ -s "$W/.t-tra" ] && read -r ft _ _ < <(statistica <"$W/.t-tra")
  gp=-1
  gb=-1
  if [ -s "$W/.g-program" ]; then
    read -r gp _ _ < <(statistica <"$W/.g-program")
    read -r gb _ _ < <(statistica <"$W/.g-baseline")
  fi
  awk -v modo="$modo" -v ordini="$ordini" -v righe="$righe" -v tp="$tp" -v tpmin="$tpmin" \
    -v tpmax="$tpmax" -v tb="$tb" -v tbmin="$tbmin" -v tbmax="$tbmax" -v mp="$mp" -v mb="$mb" \
    -v up="$up" -v ub="$ub" -v sp="$(cat "$W/.s-program")" -v sb="$(cat "$W/.s-baseline")" \
    -v gp="$gp" -v gb="$gb" -v ft="$ft" 'BEGIN {
      # Round trips per row, and what they wait on a 10 ms link for the copy of 100,000 orders
      # (rows grow in proportion to the orders).
      if (gp < 0) { rp = "-"; rb = "-"; lp = "-"; lb = "-" }
      else {
        rp = sprintf("%.2f", gp / righe); rb = sprintf("%.2f", gb / righe)
        lp = sprintf("%.0f", gp * 100000 / ordini * 0.010)
        lb = sprintf("%.0f", gb * 100000 / ordini * 0.010)
      }
      printf "%s %d %d %.2f %.2f %.2f %.2f %.2f %.2f %.3f %d %d %.1f %.1f %.2f %.2f %.2f %.2f %.3f %s %s %s %s %s %s %s\n",
        modo, ordini, righe, tp, tpmin, tpmax, tb, tbmin, tbmax, tp / tb, righe / tp, righe / tb,
        mp / 1024, mb / 1024, sp / righe, sb / righe, up, ub, up / ub, rp, rb, lp, lb, (gp < 0 ? "-" : gp), (gb < 0 ? "-" : gb), ft }' \
    >>"$risultati"
  case "$modo" in server | wan | wan2 | lunghezze-server | locale) ferma_server ;; esac
done

echo
echo "== results: medians of $ripetizioni runs (min-max), $(date -u '+%Y-%m-%d %H:%M UTC')"
printf '%-10s %7s %7s %20s %20s %6s %8s %8s %7s %7s %5s %5s %6s %6s %6s %5s %5s %7s %7s %6s %6s %6s %6s\n' mode \
  orders rows "program s" "baseline s" ratio "prog r/s" "base r/s" "p MiB" "b MiB" "p snd" \
  "b snd" "p cpu" "b cpu" "cpu r" "p rt" "b rt" "p 10ms" "b 10ms" "p rtc" "b rtc" "p/flr" "b/flr"
while read -r modo o righe tp tpmin tpmax tb tbmin tbmax r rp rb mp mb sp sb up ub ur gp gb lp lb \
  tp_giri tb_giri ft; do
  # Against the floor of the mode's own rounds, else the one measured after the modes on the same
  # number of orders, when there is one.
  pf=-
  bf=-
  fl="$ft"
  [ "$fl" != - ] || fl="$(awk -v o="$o" '$1 == o {print $3}' "$pavimenti")"
  [[ "$modo" == senzablob || "$modo" == lunghezze* ]] && fl=""
  if [ -n "$fl" ]; then
    pf="$(awk -v a="$tp" -v f="$fl" 'BEGIN {printf "%.2f", a / f}')"
    bf="$(awk -v a="$tb" -v f="$fl" 'BEGIN {printf "%.2f", a / f}')"
  fi
  printf '%-10s %7s %7s %6s (%5s-%5s) %6s (%5s-%5s) %6s %8s %8s %7s %7s %5s %5s %6s %6s %6s %5s %5s %7s %7s %6s %6s %6s %6s\n' \
    "$modo" "$o" "$righe" "$tp" "$tpmin" "$tpmax" "$tb" "$tbmin" "$tbmax" "$r" "$rp" "$rb" "$mp" \
    "$mb" "$sp" "$sb" "$up" "$ub" "$ur" "$gp" "$gb" "$lp" "$lb" "$tp_giri" "$tb_giri" "$pf" "$bf"
done <"$risultati"
while read -r o righe tp tpmin tpmax mp up; do
  printf '%-10s %7s %7s %6s (%5s-%5s) %20s %6s %8s %8s %7s %7s %5s %5s %6s\n' pavimento "$o" \
    "$righe" "$tp" "$tpmin" "$tpmax" - - "$(awk -v r="$righe" -v t="$tp" 'BEGIN {printf "%.0f", r / t}')" \
    - "$mp" - - - "$up"
done <"$pavimenti"
echo "(ratio = program / baseline wall time; MiB = peak RSS; snd = network sends per copied row;"
echo " cpu = user + system seconds of the client process, cpu r = their ratio;"
echo " rt = round trips per copied row counted by the relay; 10ms = seconds those round trips"
echo " would wait on a 10 ms link for the copy of 100,000 orders, scaled from the rows copied here;"
echo " rtc = round trips per copy; flr = wall time / the floor's on the same number of orders,"
echo " measured between the mode's own rounds where it copies the same data, else after the modes)"
exit "$esito"
