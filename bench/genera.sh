#!/usr/bin/env bash
# Makes a source and an empty destination order archive for the benchmark.
#   bench/genera.sh FOLDER [ORDERS] [--senza-blob | --lunghezze]
# FOLDER/origine.fdb gets ORDERS orders (default 100000; about half of them selected by the order
# task), 5 order rows and one session per order and ORDERS/5 customers; FOLDER/destinazione.fdb
# gets the same tables, empty. With --senza-blob the tables have no BLOB columns. With --lunghezze
# (ORDERS ignored) the order rows are 60 INTEGER columns wider and come as runs of 1, 2, ... 63
# short rows, each run followed by one row with a 9,000-byte blob (63 selected orders, 2,079 rows):
# every length of a partial block of rows occurs.
# The rows are made by the server itself (EXECUTE BLOCK), so a million orders take minutes.
set -euo pipefail
cartella="$1"
ordini="${2:-100000}"
blob=1
lunghezze=0
[ "${3:-}" = "--senza-blob" ] && blob=0
[ "${3:-}" = "--lunghezze" ] && lunghezze=1 && ordini=63
clienti=$((ordini / 5))
[ "$clienti" -ge 10 ] || clienti=10
mkdir -p "$cartella"
rm -f "$cartella/origine.fdb" "$cartella/destinazione.fdb"

# Lines ending in "-- blob" are dropped without blobs.
filtra() { if [ "$blob" = 1 ]; then sed 's/ *-- blob$//'; else grep -v -- '-- blob$'; fi; }

tabelle() {
  filtra <<'SQL'
CREATE TABLE CLIENTI (
  CODICE VARCHAR(10) NOT NULL,
  RAGIONESOCIALE VARCHAR(60),
  NAZIONE CHAR(3),
  INTESTATARIOFATTURA VARCHAR(10),
  CATEGORIA SMALLINT,
  FIDO NUMERIC(15,2),
  TELEFONO VARCHAR(20),
  DATAINSERIMENTO DATE,
  CONSTRAINT PK_CLIENTI PRIMARY KEY (CODICE)
);
CREATE TABLE PS_ORDINI (
  ID INTEGER NOT NULL,
  IDSESSIONE INTEGER NOT NULL,
  IDUTENTE INTEGER,
  CODDEST VARCHAR(10),
  DATAORDINE TIMESTAMP,
  STATO CHAR(1),
  TOTALE NUMERIC(15,2),
  SCONTO DECIMAL(18,4),
  RIFERIMENTO VARCHAR(40),
  NOTE BLOB SUB_TYPE TEXT, -- blob
  CONSTRAINT PK_PS_ORDINI PRIMARY KEY (ID)
);
CREATE TABLE PS_STOINSCAR (
  IDINSERIMENTO BIGINT NOT NULL,
  IDSESSIONE INTEGER NOT NULL,
  RIGA SMALLINT,
  CODICEARTICOLO VARCHAR(20),
  DESCRIZIONE VARCHAR(80),
  UNITA CHAR(3),
  QUANTITA INTEGER,
  PREZZO NUMERIC(15,2),
  IMPORTO DECIMAL(18,4),
  PESO DOUBLE PRECISION,
  DATACONSEGNA DATE,
  ORACONSEGNA TIME,
  MODIFICATO TIMESTAMP,
  NOTE BLOB SUB_TYPE TEXT, -- blob
  CONSTRAINT PK_PS_STOINSCAR PRIMARY KEY (IDINSERIMENTO)
);
CREATE INDEX IX_PS_ORDINI_SESSIONE ON PS_ORDINI (IDSESSIONE);
CREATE INDEX IX_PS_STOINSCAR_SESSIONE ON PS_STOINSCAR (IDSESSIONE);
CREATE TABLE PS_STOSESSION (
  ID INTEGER NOT NULL,
  INIZIO TIMESTAMP,
  FINE TIME,
  DURATA DOUBLE PRECISION,
  TERMINALE CHAR(8),
  OPERATORE VARCHAR(30),
  RIGHE INTEGER,
  CONSTRAINT PK_PS_STOSESSION PRIMARY KEY (ID)
);
SQL
}

larghe() { for c in $(seq -w 1 60); do printf '%sC%s' "${1:-}" "$c"; done; }  # larghe [SEPARATOR]
colonne_larghe() { echo "ALTER TABLE PS_STOINSCAR $(larghe ', ADD ' | sed 's/^, //; s/\(C[0-9]*\)/\1 INTEGER/g');"; }
crea() {  # crea PATH: creates the database with the tables, then runs stdin in it
  { echo "CREATE DATABASE '$1' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 8192;"
    tabelle
    [ "$lunghezze" = 0 ] || colonne_larghe
    echo "COMMIT;"
    cat
    echo "COMMIT;"
  } | isql-fb -q -bail -user SYSDBA -password masterkey
}

# A third of the customers are in the USA and a quarter of the orders belong to user 61: about
# half of the orders are selected. Every tenth blob is NULL and the next one empty; other columns
# are NULL now and then too.
{
  cat <<SQL
SET TERM ^;
EXECUTE BLOCK AS
DECLARE K INTEGER = 0;
BEGIN
  WHILE (K < $clienti) DO BEGIN
    INSERT INTO CLIENTI VALUES (
      'C' || :K,
      'Cliente ' || :K || IIF(MOD(:K, 2) = 0, ' S.r.l.', ' Inc.'),
      DECODE(MOD(:K, 3), 0, 'USA', 1, 'ITA', 'DEU'),
      'C' || (:K - MOD(:K, 5)),
      MOD(:K, 9),
      IIF(MOD(:K, 11) = 0, NULL, MOD(:K * 37, 100000) + 0.25),
      IIF(MOD(:K, 7) = 0, NULL, '+39 02 ' || (1000000 + :K)),
      DATEADD(MOD(:K, 3000) DAY TO DATE '2015-01-01'));
    K = K + 1;
  END
END^
EXECUTE BLOCK AS
DECLARE I INTEGER = 1;
DECLARE R INTEGER;
DECLARE T VARCHAR(300);
BEGIN
  WHILE (I <= $ordini) DO BEGIN
    T = IIF(MOD(I, 10) = 0, NULL, IIF(MOD(I, 10) = 1, '',
      RPAD('Ordine ' || I || ': consegna al piano terra, ', 200,
           'citofono, orari d''ufficio, merce fragile; ') || ASCII_CHAR(128 + MOD(I, 128))));
    INSERT INTO PS_ORDINI VALUES (
      :I, :I * 3,
      IIF(MOD(:I, 4) = 0, 61, 1 + MOD(:I, 50)),
      'C' || MOD(:I * 7, $clienti),
      DATEADD(MOD(:I, 86400 * 30) SECOND TO TIMESTAMP '2024-01-01 08:00:00'),
      DECODE(MOD(:I, 3), 0, 'A', 1, 'S', NULL),
      MOD(:I, 50000) + 0.99,
      IIF(MOD(:I, 5) = 0, NULL, MOD(:I, 1000) / 7.0),
      'RIF/' || :I
      , :T -- blob
      );
    INSERT INTO PS_STOSESSION VALUES (
      :I * 3,
      DATEADD(MOD(:I, 86400 * 30) SECOND TO TIMESTAMP '2024-01-01 07:55:00'),
      DATEADD(MOD(:I, 3600) SECOND TO TIME '09:00:00'),
      IIF(MOD(:I, 13) = 0, NULL, MOD(:I, 600) / 3.0),
      'T' || MOD(:I, 40),
      'Operatore ' || MOD(:I, 25),
      5);
    R = 1;
    WHILE (R <= 5) DO BEGIN
      INSERT INTO PS_STOINSCAR VALUES (
        CAST(:I AS BIGINT) * 10 + :R + 5000000000,
        :I * 3, :R,
        'ART' || MOD(:I * :R, 7919),
        'Articolo ' || MOD(:I * :R, 7919) || ' confezione da ' || :R,
        IIF(MOD(:R, 2) = 0, 'PZ', 'KG'),
        IIF(MOD(:I + :R, 17) = 0, NULL, :R * 4),
        MOD(:I * :R, 9973) / 100.00,
        MOD(:I * :R, 99991) / 3.0,
        :R * 1.125 + MOD(:I, 97) / 11.0,
        DATEADD(MOD(:I, 365) DAY TO DATE '2024-02-01'),
        IIF(MOD(:I, 9) = 0, NULL, DATEADD(MOD(:I * :R, 36000) SECOND TO TIME '08:00:00')),
        DATEADD(MOD(:I * :R, 86400 * 60) SECOND TO TIMESTAMP '2024-01-01 00:00:00')
        , IIF(MOD(:I + :R, 10) = 0, NULL, IIF(MOD(:I + :R, 10) = 1, '', -- blob
          RPAD('Riga ' || :R || ' dell''ordine ' || :I || ': ', 200, -- blob
          'imballo rinforzato, etichetta cliente, '))) -- blob
        );
      R = R + 1;
    END
    I = I + 1;
  END
END^
SET TERM ;^
SQL
} | filtra > "$cartella/.riempi.sql"
if [ "$lunghezze" = 1 ]; then
  # Order K (user 61, so selected) has K short rows and then one with a long blob.
  cat >"$cartella/.riempi.sql" <<SQL
INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('C0', 'ITA');
SET TERM ^;
EXECUTE BLOCK AS
DECLARE K INTEGER = 1;
DECLARE R INTEGER;
BEGIN
  WHILE (K <= 63) DO BEGIN
    INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (:K, :K * 3, 61, 'C0');
    INSERT INTO PS_STOSESSION (ID, RIGHE) VALUES (:K * 3, :K + 1);
    R = 1;
    WHILE (R <= K + 1) DO BEGIN
      INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, RIGA, DESCRIZIONE, NOTE$(larghe ', '))
        VALUES (:K * 100 + :R, :K * 3, :R, 'Riga ' || :R,
                IIF(:R > :K, RPAD('', 9000, 'riga lunga, '), 'breve')$(printf ', :R%.0s' $(seq 60)));
      R = R + 1;
    END
    K = K + 1;
  END
END^
SET TERM ;^
SQL
fi
crea "$cartella/origine.fdb" < "$cartella/.riempi.sql"
crea "$cartella/destinazione.fdb" < /dev/null
rm -f "$cartella/.riempi.sql"
