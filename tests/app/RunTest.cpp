// The whole program, built and copied into temporary installation folders, run without a
// terminal: the task table, the run of the tasks and the notes they leave, exit statuses 7 and 8,
// and an error that escapes a task.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/FabbricaTask.h"
#include "support/Impianto.h"
#include "support/Terminale.h"
#include "transfer/TaskVornyUSA.h"

namespace {

namespace fs = std::filesystem;

// A task row of the given type and status.
std::string Riga(int id, const std::string& origine, const std::string& destinazione,
                 const std::string& tipo = "VORNYUSA", const std::string& status = "1") {
  return RigaTask(id, origine, destinazione, status, tipo);
}

// Orders 1 (shipped to the USA) and 2 (user 61) are selected, order 3 is not.
const char* const kOrdini = R"(
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('U1', 'USA', 'H1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('H1', 'USA', 'H1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('I1', 'ITA', 'I1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('D1', 'DEU', 'D1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (1, 11, 5, 'U1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (2, 12, 61, 'I1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (3, 13, 5, 'D1');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (101, 11);
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (102, 11);
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (103, 12);
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (104, 13);
INSERT INTO PS_STOSESSION (ID) VALUES (11);
INSERT INTO PS_STOSESSION (ID) VALUES (12);
INSERT INTO PS_STOSESSION (ID) VALUES (13);
)";

// What the copy of kOrdini leaves in an empty destination.
const char* const kCopiati =
    "CLIENTI H1 I1 U1 PS_ORDINI 1 2 PS_STOINSCAR 101 102 103 PS_STOSESSION 11 12";
const char* const kVuoto = "CLIENTI PS_ORDINI PS_STOINSCAR PS_STOSESSION";

class RunTest : public ::testing::Test {
 protected:
  void CreaDitta(const std::string& righe, const std::string& ddl = DdlDitta()) {
    impianto_.CreaDitta(righe, ddl);
  }
  std::string CreaOrdini(const std::string& nome, const std::string& righe = "") {
    const std::string path = archivi_ + nome;
    TImpianto::CreaOrdini(path, righe);
    return path;
  }
  TEsito Esegui() { return impianto_.Esegui(std::chrono::seconds(120)); }
  std::map<int, TRigaTask> LeggiTabella() { return impianto_.LeggiTabella(); }

  // The keys of the four order tables, sorted, in one line.
  static std::string Contenuto(const std::string& archivio) {
    const std::string testo = RunIsql(archivio, R"(SET HEADING OFF;
SELECT 'CLIENTI' FROM RDB$DATABASE;
SELECT CODICE FROM CLIENTI ORDER BY CODICE;
SELECT 'PS_ORDINI' FROM RDB$DATABASE;
SELECT ID FROM PS_ORDINI ORDER BY ID;
SELECT 'PS_STOINSCAR' FROM RDB$DATABASE;
SELECT IDINSERIMENTO FROM PS_STOINSCAR ORDER BY IDINSERIMENTO;
SELECT 'PS_STOSESSION' FROM RDB$DATABASE;
SELECT ID FROM PS_STOSESSION ORDER BY ID;
)");
    std::istringstream parole(testo);
    std::string parola, riga;
    while (parole >> parola) riga += (riga.empty() ? "" : " ") + parola;
    return riga;
  }

  TImpianto impianto_;
  const std::string archivi_ = impianto_.Archivi();
  const std::string ditta_ = impianto_.Ditta();
};

TEST_F(RunTest, NienteDaEseguireTerminaConStato7O8) {
  struct Caso {
    std::string ddl;
    std::string righe;
    int stato;
    std::string err;
  };
  const std::string nonTrovata =
      "Error: Tabella vessentaria \"VESSENTARIA\" non trovata nell'archivio \"" + ditta_ + "\"\n";
  const std::vector<Caso> casi = {
      {"CREATE TABLE ALTRA (ID INTEGER);", "", 7, nonTrovata},
      {DdlDitta(), "", 8,
       "Error: Vessentaria non avviabile:\nNessuna elaborazione di sincro trovata\n"},
      {DdlDitta(),
       Riga(1, "/o", "/d", "VORNYUSA", "0") + Riga(2, "/o", "/d", "VORNYUSA", "2") +
           Riga(3, "/o", "/d", "VORNYUSA", "-1") + Riga(4, "/o", "/d", "VORNYUSA", "NULL"),
       8, "Error: Vessentaria non avviabile:\nNessuna elaborazione di sincro attiva trovata\n"},
  };
  for (const Caso& caso : casi) {
    fs::remove(ditta_);
    CreaDitta(caso.righe, caso.ddl);
    const TEsito esito = Esegui();
    EXPECT_EQ(esito.stato, caso.stato);
    EXPECT_EQ(esito.err, caso.err);
    EXPECT_EQ(esito.out, "");
    if (caso.stato == 8) {
      const auto righe = LeggiTabella();
      EXPECT_EQ(righe.size(), caso.righe.empty() ? 0u : 4u);
      for (const auto& [id, riga] : righe) EXPECT_EQ(riga.nota, kNotaVecchia) << id;
    }
  }
}

TEST_F(RunTest, RigheAttiveInOrdineDiIDFinoAlPrimoFallimento) {
  const std::string origine = CreaOrdini("origine.fdb", kOrdini);
  const std::string uno = CreaOrdini("uno.fdb");
  // A destination without the order tables: the task fails, cleanly.
  const std::string due = archivi_ + "due.fdb";
  CreaDatabaseDiProva(due, "CREATE TABLE ALTRA (ID INTEGER);");
  const std::string tre = CreaOrdini("tre.fdb");
  CreaDitta(Riga(3, origine, tre) + Riga(1, origine, uno) + Riga(2, origine, due));

  // The failure is told on standard error, for the journal and cron's mail.
  const TEsito esito = Esegui();
  EXPECT_EQ(esito.stato, 0);
  EXPECT_EQ(esito.out, "");
  EXPECT_EQ(esito.err,
            "vessentaria: Task 2 fallito: Impossibile eseguire il travaso Intestatari PS Ordini: / "
            "Tabella \"CLIENTI\" non trovata in destinazione\n"
            "vessentaria: Task attivi non eseguiti dopo il fallimento del task 2: 3\n");

  auto righe = LeggiTabella();
  EXPECT_EQ(righe[1].nota, kSuccesso);
  EXPECT_EQ(righe[2].nota,
            "Impossibile eseguire il travaso Intestatari PS Ordini:\r"
            "Tabella \"CLIENTI\" non trovata in destinazione");
  EXPECT_EQ(righe[3].nota, kNotaVecchia);
  EXPECT_NE(righe[1].ultima.substr(0, 4), "2001");
  EXPECT_NE(righe[2].ultima.substr(0, 4), "2001");
  EXPECT_EQ(righe[3].ultima.substr(0, 4), "2001");
  EXPECT_EQ(Contenuto(uno), kCopiati);
  EXPECT_EQ(Contenuto(tre), kVuoto);
}

TEST_F(RunTest, RigheInattiveIntatteEDatiCopiati) {
  const std::string origine = CreaOrdini("origine.fdb", kOrdini);
  // The destination has a customer of its own (kept) and an old order (replaced).
  const std::string a = CreaOrdini(
      "a.fdb",
      "INSERT INTO CLIENTI (CODICE) VALUES ('L1');\n"
      "INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (9, 99, 61, 'L1');\n");
  const std::string b = CreaOrdini("b.fdb");
  const std::string mai = CreaOrdini("mai.fdb");
  CreaDitta(Riga(10, origine, a) + Riga(11, origine, mai, "VORNYUSA", "0") +
            Riga(12, origine, mai, "VORNYUSA", "2") + Riga(13, origine, mai, "VORNYUSA", "-1") +
            Riga(14, origine, mai, "VORNYUSA", "NULL") + Riga(15, origine, b, "vornyusa") +
            Riga(16, "", "", "", "0"));

  const TEsito esito = Esegui();
  EXPECT_EQ(esito.stato, 0);
  EXPECT_EQ(esito.out, "");
  EXPECT_EQ(esito.err, "");
  auto righe = LeggiTabella();
  for (int id : {10, 15}) {
    EXPECT_EQ(righe[id].nota, kSuccesso) << id;
    EXPECT_NE(righe[id].ultima.substr(0, 4), "2001") << id;
  }
  for (int id : {11, 12, 13, 14, 16}) {
    EXPECT_EQ(righe[id].nota, kNotaVecchia) << id;
    EXPECT_EQ(righe[id].ultima.substr(0, 4), "2001") << id;
  }
  EXPECT_EQ(Contenuto(a),
            "CLIENTI H1 I1 L1 U1 PS_ORDINI 1 2 PS_STOINSCAR 101 102 103 PS_STOSESSION 11 12");
  EXPECT_EQ(Contenuto(b), kCopiati);
  EXPECT_EQ(Contenuto(mai), kVuoto);

  // The program's maker of task objects knows the order task and nothing for an unknown type.
  EXPECT_NE(dynamic_cast<TTaskVornyUSA*>(CreaTask(tsVornyUSA).get()), nullptr);
  EXPECT_TRUE(CreaTask(tsNessuno) == nullptr);
}

TEST_F(RunTest, NoteDiFallimentoDellaRiga) {
  const std::string origine = CreaOrdini("origine.fdb", kOrdini);
  const std::string destinazione = CreaOrdini("destinazione.fdb");
  const std::string manca = archivi_ + "manca.fdb";
  const std::string cartella = archivi_ + "cartella.fdb";
  fs::create_directories(cartella);
  const std::string nonArchivio = archivi_ + "testo.fdb";
  std::ofstream(nonArchivio) << "non un archivio\n";
  // A file that exists only under its full path of more than 255 characters.
  std::string lungo = archivi_;
  while (lungo.size() < 250) lungo += std::string(40, 'c') + "/";
  fs::create_directories(lungo);
  lungo += std::string(60, 'f') + ".fdb";
  fs::copy_file(origine, lungo);
  ASSERT_GT(lungo.size(), 255u);
  const std::string allarga = "ALTER TABLE VESSENTARIA ALTER ARCHIVIOORIGINE TYPE VARCHAR(1000);\n";

  struct Caso {
    std::string riga;
    std::string nota;
  };
  const std::vector<Caso> casi = {
      {Riga(1, "", ""), "Manca Archivio Origine"},
      {Riga(1, "NULL", destinazione), "Manca Archivio Origine"},
      {Riga(1, manca, ""), "Manca Archivio Destinazione"},
      {Riga(1, origine, destinazione, ""), "Status non riconosciuto"},
      {Riga(1, origine, destinazione, "NULL"), "Status non riconosciuto"},
      {Riga(1, origine, destinazione, "VORNYUSA "), "Status non riconosciuto"},
      {Riga(1, origine, destinazione, "ALTRO"), "Status non riconosciuto"},
      {Riga(1, manca, manca, "ALTRO"), "Status non riconosciuto"},
      {Riga(1, manca, destinazione), "Archivio origine \"" + manca + "\" non trovato"},
      {Riga(1, cartella, destinazione), "Archivio origine \"" + cartella + "\" non trovato"},
      {Riga(1, manca, manca), "Archivio origine \"" + manca + "\" non trovato"},
      {Riga(1, origine, manca), "Archivio destinazione \"" + manca + "\" non trovato"},
      {allarga + Riga(1, lungo, destinazione),
       "Archivio origine \"" + lungo.substr(0, 255) + "\" non trovato"},
      {Riga(1, nonArchivio, destinazione), "Impossibile stabilire la connessione all'origine\r\"" +
                                               nonArchivio +
                                               "\":\rImpossibile stabilire la connessione"},
      {Riga(1, origine, nonArchivio), "Impossibile stabilire la connessione alla destinazione\r\"" +
                                          nonArchivio +
                                          "\":\rImpossibile stabilire la connessione"},
  };
  for (const Caso& caso : casi) {
    fs::remove(ditta_);
    // Row 2 comes after the failing row: it is never reached.
    CreaDitta(caso.riga + Riga(2, origine, destinazione));
    const TEsito esito = Esegui();
    EXPECT_EQ(esito.stato, 0) << caso.nota;
    EXPECT_EQ(esito.out, "") << caso.nota;
    auto righe = LeggiTabella();
    EXPECT_EQ(righe[1].nota, caso.nota);
    EXPECT_NE(righe[1].ultima.substr(0, 4), "2001") << caso.nota;
    EXPECT_EQ(righe[2].nota, kNotaVecchia) << caso.nota;
  }
  EXPECT_EQ(Contenuto(destinazione), kVuoto);
  // Without a terminal the opener's question about the server stays unanswered.
  EXPECT_FALSE(fs::exists(archivi_ + "dati.ini"));
}

TEST_F(RunTest, NotaPiuLungaDellaColonnaTagliataEScritta) {
  const std::string origine = CreaOrdini("origine.fdb", kOrdini);
  const std::string destinazione = CreaOrdini("destinazione.fdb");
  const std::string manca = archivi_ + std::string(100, 'm') + ".fdb";
  CreaDitta(Riga(1, origine, destinazione) + Riga(2, manca, destinazione) +
                Riga(3, origine, destinazione),
            "CREATE TABLE VESSENTARIA (ID INTEGER NOT NULL, ARCHIVIOORIGINE VARCHAR(255),"
            " ARCHIVIODESTINAZIONE VARCHAR(255), TIPOSINCRO VARCHAR(20), STATUS INTEGER,"
            " ULTIMAESECUZIONE TIMESTAMP, NOTEULTIMAESECUZIONE VARCHAR(40));");

  const TEsito esito = Esegui();
  EXPECT_EQ(esito.stato, 0);
  EXPECT_EQ(esito.out, "");
  auto righe = LeggiTabella();
  EXPECT_EQ(righe[1].nota, std::string(kSuccesso).substr(0, 40));
  EXPECT_EQ(righe[2].nota, ("Archivio origine \"" + manca).substr(0, 40));
  EXPECT_EQ(righe[3].nota, kNotaVecchia);
  EXPECT_EQ(Contenuto(destinazione), kCopiati);
}

TEST_F(RunTest, ErroreCheSfuggeAlTaskTerminaConStato1DopoLaNota) {
  const std::string origine = CreaOrdini("origine.fdb", kOrdini);
  // The layouts match, but the destination computes RAGIONESOCIALE: the upsert of the first
  // transfer cannot even be prepared, and that error is not an expected failure of the task.
  const std::string calcolata = CreaOrdini(
      "calcolata.fdb",
      "ALTER TABLE CLIENTI DROP RAGIONESOCIALE;\n"
      "ALTER TABLE CLIENTI ADD RAGIONESOCIALE VARCHAR(60) CHARACTER SET WIN1252 COMPUTED BY "
      "(CAST(CODICE AS VARCHAR(60) CHARACTER SET WIN1252));\n"
      "INSERT INTO CLIENTI (CODICE) VALUES ('L1');\n"
      "INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (9, 99, 61, 'L1');\n");
  const std::string destinazione = CreaOrdini("destinazione.fdb");
  CreaDitta(Riga(1, origine, calcolata) + Riga(2, origine, destinazione));

  const TEsito esito = Esegui();
  EXPECT_EQ(esito.stato, 1);
  auto righe = LeggiTabella();
  const std::string nota = righe[1].nota;
  // The task itself left no text: the note is the error that ended it, as the report shows it.
  EXPECT_EQ(nota, "attempted update of read-only column");
  EXPECT_EQ(esito.out.rfind("Exception ESQLError in module vessentaria at ", 0), 0u) << esito.out;
  EXPECT_NE(esito.out.find(".\r\n" + nota + ".\r\n\r\n"), std::string::npos) << esito.out;
  // A journal of standard error shows what the error left undone.
  EXPECT_EQ(esito.err,
            "vessentaria: Esecuzione interrotta da un errore imprevisto nel task 1; task attivi "
            "non eseguiti: 2\n");
  EXPECT_EQ(righe[2].nota, kNotaVecchia);
  EXPECT_EQ(Contenuto(calcolata), "CLIENTI L1 PS_ORDINI 9 PS_STOINSCAR PS_STOSESSION");
  EXPECT_EQ(Contenuto(destinazione), kVuoto);
}

// A person who starts the program at a terminal sees each task's steps, which of how many, how
// each task ended and a summary; the notes are the same as in a run that nobody watches. A path
// cannot steer the terminal.
TEST_F(RunTest, AlTerminaleMostraPassiEdEsiti) {
  const std::string origine = CreaOrdini("origine.fdb", kOrdini);
  const std::string destinazione = CreaOrdini("destinazione.fdb");
  const std::string manca = archivi_ + "manca\x1b]0;titolo\x07\x1b[2J.fdb";
  CreaDitta(Riga(10, origine, destinazione) + Riga(20, origine, manca));

  Terminale terminale(impianto_.Programma());
  ASSERT_TRUE(terminale.Attendi("\rTask 10 (1 di 2) - Intestatari PS Ordini - "))
      << terminale.Schermo();
  ASSERT_TRUE(terminale.Attendi("\rTask 10 (1 di 2) - Sessioni PS Ordini - "))
      << terminale.Schermo();
  ASSERT_TRUE(terminale.Attendi("\rTask 10 (1 di 2) riuscito in ")) << terminale.Schermo();
  ASSERT_TRUE(terminale.Attendi(": " + std::string(kSuccesso))) << terminale.Schermo();
  ASSERT_TRUE(terminale.Attendi("\rTask 20 (2 di 2) fallito in ")) << terminale.Schermo();
  ASSERT_TRUE(terminale.Attendi(": Archivio destinazione \"" + archivi_ +
                                "manca?]0;titolo??[2J.fdb\" non trovato"))
      << terminale.Schermo();
  ASSERT_TRUE(terminale.Attendi("\rTask riusciti: 1, falliti: 1, non eseguiti: 0\r\n"))
      << terminale.Schermo();
  EXPECT_EQ(terminale.Esito(), 0);
  EXPECT_EQ(terminale.Schermo().find('\x1b'), std::string::npos);
  EXPECT_EQ(terminale.Schermo().find('\x07'), std::string::npos);
  auto righe = LeggiTabella();
  EXPECT_EQ(righe[10].nota, kSuccesso);
  EXPECT_EQ(righe[20].nota, "Archivio destinazione \"" + manca + "\" non trovato");
  EXPECT_EQ(Contenuto(destinazione), kCopiati);
}

}  // namespace
