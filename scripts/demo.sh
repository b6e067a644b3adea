#!/usr/bin/env bash
# Builds the program and runs it once in a demo installation under ./demo: a configuration
# database, a company archive with four tasks, one source and two destination order archives.
# Then prints what the run left in the task table and in the destination archives.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

echo "== installing what the build needs"
bash scripts/install-deps.sh

echo "== building the program"
cmake -S . -B build-demo -DVESSENTARIA_TESTS=OFF >/dev/null
cmake --build build-demo --target vessentaria -j "$(nproc)" >/dev/null

demo="$repo/demo"
archivi="$demo/archivi"
echo "== creating the demo installation in $demo"
rm -rf "$demo"
mkdir -p "$demo/User" "$archivi"
cp build-demo/vessentaria "$demo/"

isql() {  # isql DATABASE < script; embedded engine, stops at the first error
  isql-fb -q -bail -user SYSDBA -password masterkey "$@"
}
crea() {  # crea PATH < script: creates the database, then runs the script in it
  { echo "CREATE DATABASE '$1' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 4096;"
    cat
    echo "COMMIT;"
  } | isql
}

# The configuration user works on company 01, whose archive is ditta.fdb.
{ cat sql/user.sql
  cat <<SQL
INSERT INTO UTENTI (NOMEUTENTE, CODICE, DITTA) VALUES ('VESSENTARIA#', 7, '01');
INSERT INTO UTENTI (NOMEUTENTE, CODICE, DITTA) VALUES ('ROSSI', 1, '01');
INSERT INTO TABSOFTDES (UTENTE, INTESTAZIONE, PARAMETRO, VALORE)
  VALUES (7, '01', 'Archivio', '$archivi/ditta.fdb');
INSERT INTO TABSOFTDES (UTENTE, INTESTAZIONE, PARAMETRO, VALORE)
  VALUES (1, '01', 'Archivio', '$archivi/altra-ditta.fdb');
SQL
} | crea "$demo/User/USER.FDB"

# Task 10 copies to the US branch, task 20 is switched off, task 30 (type written in lower case)
# copies to the warehouse archive, task 40 fails: its destination has no order tables.
{ cat sql/archivio-ditta.sql
  cat <<SQL
INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, STATUS)
  VALUES (10, '$archivi/ordini.fdb', '$archivi/filiale-usa.fdb', 'VORNYUSA', 1);
INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, STATUS)
  VALUES (20, '$archivi/ordini.fdb', '$archivi/storico.fdb', 'VORNYUSA', 0);
INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, STATUS)
  VALUES (30, '$archivi/ordini.fdb', '$archivi/magazzino.fdb', 'vornyusa', 1);
INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, STATUS)
  VALUES (40, '$archivi/ordini.fdb', '$archivi/contabilita.fdb', 'VORNYUSA', 1);
SQL
} | crea "$archivi/ditta.fdb"

# Selected orders: those of user 61 or shipped to a customer in the USA (orders 1, 2 and 4).
{ cat sql/archivio-ordini.sql
  cat <<'SQL'
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO)
  VALUES ('C001', 'Lakeside Outfitters Inc.', 'USA', 'C010', 25000.00);
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO)
  VALUES ('C010', 'Lakeside Holding Corp.', 'USA', 'C010', 90000.00);
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO)
  VALUES ('C002', 'Rossi Forniture Srl', 'ITA', 'C002', 5000.00);
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO)
  VALUES ('C003', 'Bergmann Handel GmbH', 'DEU', 'C003', 12000.00);
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA, FIDO)
  VALUES ('C004', 'Atelier Moreau', 'FRA', 'C004', NULL);
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST, DATAORDINE, TOTALE, NOTE)
  VALUES (1, 101, 5, 'C001', '2024-03-04 09:15:00', 1250.50, 'Consegna al magazzino di Denver');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST, DATAORDINE, TOTALE, NOTE)
  VALUES (2, 102, 61, 'C002', '2024-03-05 11:40:00', 310.00, NULL);
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST, DATAORDINE, TOTALE, NOTE)
  VALUES (3, 103, 5, 'C003', '2024-03-05 16:02:00', 780.25, 'Non selezionato');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST, DATAORDINE, TOTALE, NOTE)
  VALUES (4, 104, 61, 'C999', '2024-03-06 08:30:00', 99.90, 'Destinatario non in anagrafica');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PREZZO, IMPORTO, DESCRIZIONE)
  VALUES (1001, 101, 10, 100.05, 1000.5000, 'Tenda da campeggio');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PREZZO, IMPORTO, DESCRIZIONE)
  VALUES (1002, 101, 5, 50.00, 250.0000, 'Sacco a pelo');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PREZZO, IMPORTO, DESCRIZIONE)
  VALUES (1003, 102, 2, 155.00, 310.0000, 'Sedia pieghevole');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PREZZO, IMPORTO, DESCRIZIONE)
  VALUES (1004, 103, 1, 780.25, 780.2500, 'Canoa');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, PREZZO, IMPORTO, DESCRIZIONE)
  VALUES (1005, 104, 3, 33.30, 99.9000, 'Borraccia');
INSERT INTO PS_STOSESSION (ID, INIZIO, FINE, DURATA, TERMINALE)
  VALUES (101, '2024-03-04 09:00:00', '09:15:00', 15.0, 'CASSA01');
INSERT INTO PS_STOSESSION (ID, INIZIO, FINE, DURATA, TERMINALE)
  VALUES (102, '2024-03-05 11:30:00', '11:40:00', 10.0, 'WEB');
INSERT INTO PS_STOSESSION (ID, INIZIO, FINE, DURATA, TERMINALE)
  VALUES (103, '2024-03-05 15:50:00', '16:02:00', 12.0, 'CASSA02');
INSERT INTO PS_STOSESSION (ID, INIZIO, FINE, DURATA, TERMINALE)
  VALUES (104, '2024-03-06 08:20:00', '08:30:00', 10.0, 'WEB');
SQL
} | crea "$archivi/ordini.fdb"

# The destinations already hold a local customer (kept) and an old order (replaced).
for destinazione in filiale-usa magazzino storico; do
  { cat sql/archivio-ordini.sql
    cat <<'SQL'
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA)
  VALUES ('L001', 'Cliente locale', 'USA', 'L001');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (900, 900, 61, 'L001');
SQL
  } | crea "$archivi/$destinazione.fdb"
done

echo "CREATE TABLE MOVIMENTI (ID INTEGER NOT NULL PRIMARY KEY);" | crea "$archivi/contabilita.fdb"

echo "== running $demo/vessentaria"
set +e
# VESSENTARIA_DEMO_RUNNER may name a command to run the program under (a memory checker in CI).
# shellcheck disable=SC2086
(cd "$demo" && ${VESSENTARIA_DEMO_RUNNER:-} ./vessentaria </dev/null)
stato=$?
set -e
echo "exit status: $stato"

echo
echo "== task table VESSENTARIA in $archivi/ditta.fdb"
# One line per row from isql (padded to the column width), split on § and on the notes' CRs.
tabella=$(isql "$archivi/ditta.fdb" <<'SQL'
SET HEADING OFF;
SELECT '§ID ' || ID || '  STATUS ' || COALESCE(STATUS, 'NULL') || '  ' || TIPOSINCRO
  || '§  last run: ' || COALESCE(ULTIMAESECUZIONE, 'never')
  || '§  note:     ' || COALESCE(CAST(NOTEULTIMAESECUZIONE AS VARCHAR(4000)), '(none)')
  || '§'
FROM VESSENTARIA ORDER BY ID;
SQL
)
printf '%s' "$tabella" | tr -d '\n' | sed -e 's/§/\n/g' -e 's/\r/\n            /g' |
  sed -e 's/[[:space:]]*$//' | cat -s

echo
echo "== rows in the destination archives (before the run each held 1 customer and 1 order)"
for destinazione in filiale-usa magazzino storico; do
  printf '%-12s ' "$destinazione"
  isql "$archivi/$destinazione.fdb" <<'SQL' | tr -s ' \n' ' '
SET HEADING OFF;
SELECT 'CLIENTI ' || (SELECT COUNT(*) FROM CLIENTI)
  || '  PS_ORDINI ' || (SELECT COUNT(*) FROM PS_ORDINI)
  || '  PS_STOINSCAR ' || (SELECT COUNT(*) FROM PS_STOINSCAR)
  || '  PS_STOSESSION ' || (SELECT COUNT(*) FROM PS_STOSESSION)
FROM RDB$DATABASE;
SQL
  echo
done
echo "(filiale-usa and magazzino: the local customer kept, 3 customers, orders 1, 2 and 4 with"
echo " their 4 rows and 3 sessions copied, the old order gone; storico: task 20 is switched off)"
