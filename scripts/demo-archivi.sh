#!/usr/bin/env bash
# Creates the databases of the demo installation: USER.FDB in the folder USER (which must exist)
# for a configuration user working on company 01, and in the folder ARCHIVI the company archive
# ditta.fdb with four tasks, a source order archive and four destinations. Used by
# scripts/demo.sh and by the package check of CI (scripts/ci-package.sh).
#   bash scripts/demo-archivi.sh USER ARCHIVI
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
user="$(cd "$1" && pwd)"
archivi="$(cd "$2" && pwd)"
cd "$repo"

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
} | crea "$user/USER.FDB"

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
