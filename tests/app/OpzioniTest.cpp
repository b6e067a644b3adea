// --check and --status on an installation: what they print, their exit status, and that they
// leave every archive, the task table and dati.ini as they were.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/Impianto.h"

namespace fs = std::filesystem;

namespace {

// Task 1 would copy; task 2's destination lacks a column of the last step; task 3's destination
// does not exist; task 4 is inactive and never mentioned.
class Opzioni : public ::testing::Test {
 protected:
  void SetUp() override {
    impianto_.CreaOrdini(origine_, DatiOrigine());
    impianto_.CreaOrdini(buona_, DatiDestinazione());
    impianto_.CreaOrdini(ridotta_, "ALTER TABLE PS_STOSESSION DROP TERMINALE;");
    impianto_.CreaDitta(RigaTask(1, origine_, buona_) + RigaTask(2, origine_, ridotta_) +
                        RigaTask(3, origine_, manca_) + RigaTask(4, origine_, manca_, "0"));
  }

  TImpianto impianto_;
  std::string origine_ = impianto_.Archivi() + "origine.fdb";
  std::string buona_ = impianto_.Archivi() + "buona.fdb";
  std::string ridotta_ = impianto_.Archivi() + "ridotta.fdb";
  std::string manca_ = impianto_.Archivi() + "manca.fdb";
};

// How --check says an archive was opened: no server runs on this host (the tests' client
// configuration), so every plain path is opened by the embedded engine, with the built-in login.
std::string Via(const std::string& archivio) {
  return "Archivio " + archivio + ": motore incorporato, utente SYSDBA\n";
}

// The way of the rows of a task whose archives the embedded engine opens.
std::string RigaPerRiga(int id) {
  return "Task " + std::to_string(id) +
         " via: riga per riga: gli archivi non sono aperti attraverso un server\n";
}

TEST_F(Opzioni, CheckDiceCosaFarebbeOgniTaskSenzaScrivereNulla) {
  const std::string utente = impianto_.Installazione() + "User/dati.ini";
  std::ofstream(utente) << "[Rete]\nTimeoutRisposta=dieci\nTimeoutConnessione=90000\n"
                           "[CONFIG]\nAlias Server=x\n[AltroProgramma]\nChiave=1\n";
  const std::string impronta = Impronta(buona_);

  const TEsito esito = impianto_.Esegui({"--check"});
  EXPECT_EQ(esito.stato, 9) << esito.err;
  EXPECT_EQ(esito.out,
            "Task 1: ok\n" + RigaPerRiga(1) +
                "Task 2: Impossibile eseguire il travaso Sessioni PS Ordini: / Rilevata "
                "discrepanza tra il tracciato di origine e quello di destinazione (Campo "
                "\"TERMINALE\" mancante in destinazione)\n" +
                RigaPerRiga(2) + "Task 3: Archivio destinazione \"" + manca_ + "\" non trovato\n" +
                Via(impianto_.UserFdb()) + Via(impianto_.Ditta()) + Via(origine_) + Via(buona_) +
                Via(ridotta_) + utente +
                ": [Rete] TimeoutConnessione=90000 fuori dall'intervallo 0-86400: vale 30\n" +
                utente +
                ": [Rete] TimeoutRisposta=dieci non è un numero intero di secondi: "
                "vale 600\n" +
                utente + ": [CONFIG] chiave sconosciuta \"Alias Server\"\n");
  EXPECT_EQ(esito.err, "");

  for (const auto& [id, riga] : impianto_.LeggiTabella()) {
    EXPECT_EQ(riga.nota, kNotaVecchia) << id;
    EXPECT_EQ(riga.ultima.substr(0, 4), "2001") << id;
  }
  EXPECT_EQ(Impronta(buona_), impronta);
  EXPECT_FALSE(fs::exists(manca_));
  EXPECT_FALSE(fs::exists(impianto_.Archivi() + "dati.ini"));

  // Without the faulty tasks every active task would start.
  fs::remove(impianto_.Ditta());
  impianto_.CreaDitta(RigaTask(1, origine_, buona_) + RigaTask(4, origine_, manca_, "0"));
  const TEsito pulito = impianto_.Esegui({"--check"});
  EXPECT_EQ(pulito.stato, 0) << pulito.err;
  EXPECT_EQ(pulito.out.substr(0, 11), "Task 1: ok\n");
}

// A matching key of the destination that no active index begins with: the check warns with the
// index to create and a run warns the same on standard error; the task still starts and copies.
TEST_F(Opzioni, CheckERunAvvisanoDiUnaChiaveSenzaIndice) {
  const std::string ordini =
      "la chiave IDSESSIONE di PS_ORDINI in destinazione non ha un indice: ogni riga copiata "
      "legge tutta la tabella; lo crea CREATE INDEX IX_PS_ORDINI_IDSESSIONE ON PS_ORDINI "
      "(IDSESSIONE)";
  const std::string sessioni =
      "la chiave ID di PS_STOSESSION in destinazione non ha un indice: ogni riga copiata legge "
      "tutta la tabella; lo crea CREATE INDEX IX_PS_STOSESSION_ID ON PS_STOSESSION (ID)";
  const std::string senzaChiave = "ALTER TABLE PS_STOSESSION DROP CONSTRAINT PK_PS_STOSESSION;\n";
  const struct {
    std::string ddl;
    std::string avviso;
  } casi[] = {
      {"", ""},
      {"DROP INDEX IX_PS_ORDINI_IDSESSIONE;", ordini},
      {"ALTER INDEX IX_PS_ORDINI_IDSESSIONE INACTIVE;", ordini},
      {senzaChiave + "CREATE INDEX X ON PS_STOSESSION (INIZIO, ID);", sessioni},
      {senzaChiave + "CREATE DESCENDING INDEX X ON PS_STOSESSION (ID, INIZIO);", ""},
  };
  int n = 0;
  for (const auto& caso : casi) {
    SCOPED_TRACE(caso.ddl);
    const std::string destinazione = impianto_.Archivi() + "indici" + std::to_string(++n) + ".fdb";
    impianto_.CreaOrdini(destinazione, "COMMIT;\n" + caso.ddl);
    fs::remove(impianto_.Ditta());
    impianto_.CreaDitta(RigaTask(1, origine_, destinazione));
    const std::string avviso = caso.avviso.empty() ? "" : "Task 1 avviso: " + caso.avviso + "\n";
    const TEsito verifica = impianto_.Esegui({"--check"});
    EXPECT_EQ(verifica.stato, 0) << verifica.err;
    EXPECT_EQ(verifica.out.substr(0, verifica.out.find("Archivio ")),
              "Task 1: ok\n" + RigaPerRiga(1) + avviso);
    const TEsito esecuzione = impianto_.Esegui();
    EXPECT_EQ(esecuzione.stato, 0);
    EXPECT_EQ(esecuzione.err, avviso.empty() ? "" : "vessentaria: " + avviso);
    EXPECT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
  }
}

// A company archive that does not exist is a start-up failure, as for a run, and is not created.
TEST_F(Opzioni, CheckNonCreaLArchivioDellaDitta) {
  fs::remove(impianto_.Installazione() + "User/USER.FDB");
  impianto_.CreaUtente(impianto_.Archivi() + "nessuna.fdb");
  const TEsito esito = impianto_.Esegui({"--check"});
  EXPECT_EQ(esito.stato, 2);
  EXPECT_NE(esito.err.find("nessuna.fdb\" non trovato"), std::string::npos) << esito.err;
  EXPECT_FALSE(fs::exists(impianto_.Archivi() + "nessuna.fdb"));
}

TEST_F(Opzioni, StatusMostraLUltimaEsecuzioneDiOgniTask) {
  const TEsito prima = impianto_.Esegui({"--status"});
  EXPECT_EQ(prima.stato, 9) << prima.err;
  EXPECT_NE(prima.out.find("\n1   1       VORNYUSA  2001-02-03 04:05:06  nota vecchia\n"),
            std::string::npos)
      << prima.out;

  impianto_.Esegui();
  const auto righe = impianto_.LeggiTabella();
  const TEsito dopo = impianto_.Esegui({"--status"});
  EXPECT_EQ(dopo.stato, 9) << dopo.err;
  EXPECT_EQ(dopo.out.substr(0, dopo.out.find('\n')),
            "ID  STATUS  TIPO      ULTIMA ESECUZIONE    NOTA");
  EXPECT_NE(dopo.out.find(std::string("  ") + kSuccesso + "\n"), std::string::npos) << dopo.out;
  EXPECT_NE(dopo.out.find(" / Rilevata discrepanza"), std::string::npos) << dopo.out;
  EXPECT_NE(dopo.out.find("\n4   0       VORNYUSA  2001-02-03 04:05:06  nota vecchia\n"),
            std::string::npos)
      << dopo.out;
  EXPECT_EQ(impianto_.LeggiTabella(), righe);

  // Only the active tasks count: one that succeeded makes the status good.
  fs::remove(impianto_.Ditta());
  impianto_.CreaDitta(RigaTask(1, origine_, buona_) + RigaTask(4, origine_, manca_, "0"));
  impianto_.Esegui();
  EXPECT_EQ(impianto_.Esegui({"--status"}).stato, 0);
}

// Success is recognised as the program writes it into a note column that cuts or pads it; a
// task that the last run did not reach is marked as such over its older note; no active task is
// no good status, as for a run (exit status 8).
TEST_F(Opzioni, StatusDiceIlVeroDiOgniTask) {
  auto ditta = [this](const std::string& righe, const std::string& nota = "BLOB SUB_TYPE TEXT") {
    fs::remove(impianto_.Ditta());
    std::string ddl = DdlDitta();
    ddl.replace(ddl.find("BLOB SUB_TYPE TEXT"), 18, nota);
    impianto_.CreaDitta(righe, ddl);
  };
  for (const char* nota : {"CHAR(255)", "VARCHAR(30)", "CHAR(60) CHARACTER SET UTF8"}) {
    SCOPED_TRACE(nota);
    ditta(RigaTask(1, origine_, buona_), nota);
    EXPECT_EQ(impianto_.Esegui().stato, 0);
    const TEsito stato = impianto_.Esegui({"--status"});
    EXPECT_EQ(stato.stato, 0) << stato.out;
    // The note is shown without the blanks that the column pads it with.
    EXPECT_EQ(stato.out.find(" \n"), std::string::npos) << stato.out;
  }

  ditta(RigaTask(1, origine_, buona_) + RigaTask(2, origine_, ridotta_) +
        RigaTask(3, origine_, buona_) + "UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = '" +
        kSuccesso + "' WHERE ID = 3;\n");
  impianto_.Esegui();
  const TEsito fermata = impianto_.Esegui({"--status"});
  EXPECT_EQ(fermata.stato, 9);
  EXPECT_NE(fermata.out.find(std::string("  NON ESEGUITO nell'ultima esecuzione, fermata dal task "
                                         "2; nota precedente: ") +
                             kSuccesso + "\n"),
            std::string::npos)
      << fermata.out;
  EXPECT_EQ(fermata.out.find("NON ESEGUITO"), fermata.out.rfind("NON ESEGUITO")) << fermata.out;

  ditta(RigaTask(1, origine_, buona_, "0"));
  const TEsito nessuno = impianto_.Esegui({"--status"});
  EXPECT_EQ(nessuno.stato, 9);
  EXPECT_TRUE(nessuno.out.ends_with("\nNessuna elaborazione di sincro attiva trovata\n"))
      << nessuno.out;
}

// A mistyped section or key of the logins file falls back to another login without a word: the
// check names each, never a value. A section counts when a server of the installation bears its
// name: in the dati.ini of an archive read, or in an active task's path.
TEST_F(Opzioni, CheckNominaSezioniEChiaviSconosciuteDelleCredenziali) {
  std::ofstream(impianto_.Archivi() + "dati.ini") << "[CONFIG]\nNome Server=dbserver\n";
  fs::remove(impianto_.Ditta());
  impianto_.CreaDitta(RigaTask(1, origine_, buona_) + RigaTask(2, "altrohost:/srv/a.fdb", buona_) +
                      RigaTask(3, "inattivo:/srv/a.fdb", buona_, "0"));
  impianto_.ScriviCredenziali(
      "[Predefinite]\nUtente=SYSDBA\nPassword=segreta1\nUser=SITO\n[DBSERVER]\nPassword=segreta2\n"
      "[AltroHost]\nPassword=segreta3\n[locahost]\nUtente=SITO\nPasswd=segreta4\n"
      "[inattivo]\nPassword=segreta5\n");
  const std::string file = impianto_.CartellaUtente() + "credenziali.ini";
  const std::string altrove =
      "] che non corrisponde a nessun server degli archivi (server usati: "
      "localhost, dbserver, altrohost)\n";

  const TEsito esito = impianto_.Esegui({"--check"});
  EXPECT_EQ(esito.stato, 9) << esito.err;
  EXPECT_EQ(esito.out, "Task 1: ok\n" + RigaPerRiga(1) +
                           "Task 2: Archivio origine \"altrohost:/srv/a.fdb\" non trovato\n" +
                           Via(impianto_.UserFdb()) + Via(impianto_.Ditta()) + Via(origine_) +
                           Via(buona_) + file + ": [Predefinite] chiave sconosciuta \"User\"\n" +
                           file + ": sezione [locahost" + altrove + file +
                           ": [locahost] chiave sconosciuta \"Passwd\"\n" + file +
                           ": sezione [inattivo" + altrove);
}

// A start-up that fails is when the faults of the configuration matter most. The sections of the
// logins file wait for the tasks' archives, which were not read.
TEST_F(Opzioni, CheckNominaIDifettiAncheSeLAvvioFallisce) {
  const std::string datiIni = impianto_.CartellaUtente() + "dati.ini";
  std::ofstream(datiIni) << "[CONFIG]\nAlias Server=x\n";
  impianto_.ScriviCredenziali("[Predefinite]\nUser=SITO\n[locahost]\nUtente=SITO\n");
  fs::remove(impianto_.UserFdb());
  impianto_.CreaUtente(impianto_.Archivi() + "nessuna.fdb");

  const TEsito esito = impianto_.Esegui({"--check"});
  EXPECT_EQ(esito.stato, 2);
  EXPECT_EQ(esito.out, Via(impianto_.UserFdb()) + datiIni +
                           ": [CONFIG] chiave sconosciuta \"Alias Server\"\n" +
                           impianto_.CartellaUtente() +
                           "credenziali.ini: [Predefinite] chiave sconosciuta \"User\"\n");
}

}  // namespace
