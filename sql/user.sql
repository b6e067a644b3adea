/* USER.FDB, in the folder User/ beside the executable: the configuration user and its settings.
   The program only reads these columns; an installation's USER.FDB may hold more. */

/* The configuration user VESSENTARIA# with its numeric code and the company (DITTA) it works on. */
CREATE TABLE UTENTI (
  NOMEUTENTE VARCHAR(31) NOT NULL,
  CODICE INTEGER NOT NULL,
  DITTA VARCHAR(20),
  CONSTRAINT PK_UTENTI PRIMARY KEY (NOMEUTENTE)
);

/* Settings per user code and company. The row with PARAMETRO 'Archivio' holds in VALORE the full
   path of the company archive that contains the task table VESSENTARIA. */
CREATE TABLE TABSOFTDES (
  UTENTE INTEGER NOT NULL,
  INTESTAZIONE VARCHAR(20) NOT NULL,
  PARAMETRO VARCHAR(40) NOT NULL,
  VALORE VARCHAR(255),
  CONSTRAINT PK_TABSOFTDES PRIMARY KEY (UTENTE, INTESTAZIONE, PARAMETRO)
);
