/* The task table of a company archive: one row per synchronisation task. The program reads ID,
   ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO and STATUS, runs the rows with STATUS 1 in
   ascending ID, and writes ULTIMAESECUZIONE and NOTEULTIMAESECUZIONE back after each task. */

CREATE TABLE VESSENTARIA (
  ID INTEGER NOT NULL,
  /* Full paths of the archive files; only their first 255 characters are used. */
  ARCHIVIOORIGINE VARCHAR(255),
  ARCHIVIODESTINAZIONE VARCHAR(255),
  /* 'VORNYUSA' (any letter case, no blanks) copies the order data; anything else is refused. */
  TIPOSINCRO VARCHAR(20),
  /* 1: the task runs; any other value, NULL included: the row is left alone. */
  STATUS INTEGER,
  /* Server time of the last run that reached this row. */
  ULTIMAESECUZIONE TIMESTAMP,
  /* Outcome of that run. A text BLOB keeps every note whole; a CHAR or VARCHAR column works too,
     and a longer note is cut to its length. */
  NOTEULTIMAESECUZIONE BLOB SUB_TYPE TEXT,
  CONSTRAINT PK_VESSENTARIA PRIMARY KEY (ID)
);
