// The run driver against a real company archive, with a task type of the test's own so that
// each row's outcome (success, failure, exception) is chosen by the test.

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"
#include "support/ArchiviOrdini.h"
#include "support/FirebirdServer.h"
#include "support/TestSupport.h"
#include "taskbase/Connessione.h"
#include "taskbase/Task.h"
#include "tasks/Decodifica.h"
#include "tasks/VessentariaElab.h"
#include "tasks/VessentariaTask.h"
#include "tasks/VessentariaTasks.h"

namespace {

std::string DdlConNote(const std::string& tipoNote) {
  return "CREATE TABLE VESSENTARIA (ID INTEGER, ARCHIVIOORIGINE VARCHAR(400),"
         " ARCHIVIODESTINAZIONE VARCHAR(400), TIPOSINCRO VARCHAR(20), STATUS INTEGER,"
         " ULTIMAESECUZIONE TIMESTAMP, NOTEULTIMAESECUZIONE " +
         tipoNote + ", ALTRA VARCHAR(10));";
}

struct TStatoRiga {
  std::string nota;
  std::string ultima;  // empty when NULL
};

// The task rows as another connection sees them once committed.
std::map<int32_t, TStatoRiga> LeggiTabella(const std::string& path) {
  auto db = ConnettiArchivio(path);
  auto tr = CreaTransazioneReadCommitted(*db);
  TSQLStatement q;
  q.SetDatabase(db.get());
  q.SetTransaction(tr.get());
  q.SetParamCheck(false);
  q.SQL().Add("SELECT ID, NOTEULTIMAESECUZIONE, ULTIMAESECUZIONE FROM VESSENTARIA");
  q.Execute();
  std::map<int32_t, TStatoRiga> righe;
  for (; !q.Eof(); q.Next())
    righe[q.Fields(0).AsInteger()] = {q.Fields(1).AsString(), q.Fields(2).AsString()};
  return righe;
}

enum class TEsito { Riesce, Fallisce, Solleva };

struct TComportamento {
  TEsito apertura = TEsito::Riesce;
  TEsito esecuzione = TEsito::Riesce;
  std::string testo;  // failure message or exception text
  std::function<void()> durante = nullptr;  // what happens elsewhere while the task runs
};

// A task type whose outcome per row ID is set by the test; it records what the driver did.
class TTaskDiProva : public TTask {
 public:
  TTaskDiProva(std::vector<std::string>& eventi, std::map<int32_t, TComportamento>& comportamenti,
               int& vivi)
      : eventi_(eventi), comportamenti_(comportamenti), vivi_(vivi) {
    ++vivi_;
  }
  ~TTaskDiProva() override {
    --vivi_;
    eventi_.push_back("rilascia " + std::to_string(id_));
  }

  bool ApriConnessioni(const TVessentariaTaskInfo& riga, std::string& messaggio) override {
    id_ = riga.ID;
    eventi_.push_back("apre " + std::to_string(id_) + " vivi " + std::to_string(vivi_));
    return Esito(comportamenti_[id_].apertura, messaggio);
  }
  bool Esecuzione(std::string& messaggio) override {
    eventi_.push_back("esegue " + std::to_string(id_));
    if (comportamenti_[id_].durante) comportamenti_[id_].durante();
    return Esito(comportamenti_[id_].esecuzione, messaggio);
  }

 private:
  bool Esito(TEsito esito, std::string& messaggio) {
    if (esito == TEsito::Solleva) throw ESQLError(comportamenti_[id_].testo);
    if (esito == TEsito::Fallisce) messaggio = comportamenti_[id_].testo;
    return esito == TEsito::Riesce;
  }

  std::vector<std::string>& eventi_;
  std::map<int32_t, TComportamento>& comportamenti_;
  int& vivi_;
  int32_t id_ = 0;
};

const char* const kSuccesso = "Elaborazione effettuata senza anomalie da segnalare";

class DriverTest : public ::testing::Test {
 protected:
  // Creates the company archive with `ddl` and `righe` (INSERT statements).
  void CreaDitta(const std::string& ddl, const std::string& righe) {
    CreaDatabaseDiProva(ditta_, ddl + "\nCOMMIT;\n" + righe);
    std::ofstream(origine_).put('x');
    std::ofstream(destinazione_).put('x');
  }
  // An INSERT of an active row of type VORNYUSA whose archives exist, with an old note.
  std::string Riga(int32_t id, const std::string& status = "1") {
    return "INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO, "
           "STATUS, ULTIMAESECUZIONE, NOTEULTIMAESECUZIONE) VALUES (" +
           std::to_string(id) + ", '" + origine_ + "', '" + destinazione_ + "', 'VORNYUSA', " +
           status + ", '2001-02-03 04:05:06', 'nota vecchia');\n";
  }
  // On the embedded engine, or under `nome` (server:path).
  void Avvia(const std::string& nome = "") {
    database_ = ConnettiArchivio(nome.empty() ? ditta_ : nome);
    elab_ = std::make_unique<TVessentariaElab>(*database_);
    elab_->Tasks().Task().SetFabbricaTask([this](TTipoSincro) {
      return std::make_unique<TTaskDiProva>(eventi_, comportamenti_, vivi_);
    });
  }

  TempFolder cartella_;
  std::string ditta_ = cartella_ / "ditta.fdb";
  std::string origine_ = cartella_ / "origine.fdb";
  std::string destinazione_ = cartella_ / "destinazione.fdb";
  std::vector<std::string> eventi_;
  std::map<int32_t, TComportamento> comportamenti_;
  int vivi_ = 0;
  std::unique_ptr<TSQLDatabase> database_;
  std::unique_ptr<TVessentariaElab> elab_;
};

TEST(Decodifica, TipoEStatus) {
  const std::vector<std::pair<std::string, TTipoSincro>> tipi = {
      {"VORNYUSA", tsVornyUSA}, {"vornyusa", tsVornyUSA}, {"VornyUsa", tsVornyUSA},
      {"VORNYUSA ", tsNessuno}, {" VORNYUSA", tsNessuno}, {"", tsNessuno},
      {"VORNY", tsNessuno},     {"VORNYUSAX", tsNessuno}, {"VORNYUS\xC0", tsNessuno},
      {"vornyusa\r", tsNessuno}};
  for (const auto& [codice, atteso] : tipi)
    EXPECT_EQ(DecodificaTipoSincro(codice), atteso) << "'" << codice << "'";

  const std::vector<std::pair<int32_t, TStatusSincro>> stati = {
      {1, ssAttivo},           {0, ssInattivo},         {2, ssInattivo},  {-1, ssInattivo},
      {INT32_MAX, ssInattivo}, {INT32_MIN, ssInattivo}, {257, ssInattivo}};
  for (const auto& [valore, atteso] : stati) EXPECT_EQ(DecodificaStatus(valore), atteso) << valore;
}

TEST_F(DriverTest, CaricaTasksSenzaRigheOSenzaRigheAttive) {
  struct Caso {
    std::string righe;
    bool risultato;
    std::string messaggio;
  };
  const std::vector<Caso> casi = {
      {"", false, "Nessuna elaborazione di sincro trovata"},
      {"INSERT INTO VESSENTARIA (ID, STATUS) VALUES (1, 0);\n"
       "INSERT INTO VESSENTARIA (ID, STATUS) VALUES (2, 2);\n"
       "INSERT INTO VESSENTARIA (ID, STATUS) VALUES (3, -1);\n"
       "INSERT INTO VESSENTARIA (ID, STATUS) VALUES (4, NULL);\n",
       false, "Nessuna elaborazione di sincro attiva trovata"},
      {"INSERT INTO VESSENTARIA (ID, STATUS) VALUES (1, 0);\n"
       "INSERT INTO VESSENTARIA (ID, STATUS) VALUES (2, 1);\n",
       true, ""},
  };
  for (const Caso& caso : casi) {
    TempFolder cartella;
    CreaDatabaseDiProva(cartella / "ditta.fdb", DdlDitta() + "\nCOMMIT;\n" + caso.righe);
    auto db = ConnettiArchivio(cartella / "ditta.fdb");
    TVessentariaElab elab(*db);
    std::string messaggio = "resto";
    EXPECT_EQ(elab.CaricaTasks(messaggio), caso.risultato) << caso.righe;
    EXPECT_EQ(messaggio, caso.messaggio) << caso.righe;
    // Loading alone never writes a row.
    for (const auto& [id, stato] : LeggiTabella(cartella / "ditta.fdb")) {
      EXPECT_EQ(stato.ultima, "") << id;
      EXPECT_EQ(stato.nota, "") << id;
    }
  }
}

TEST_F(DriverTest, CaricaLeggeLeRigheInOrdineDiID) {
  const std::string lungo(300, 'p');
  CreaDitta(DdlConNote("VARCHAR(100)"),
            "INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO,"
            " STATUS) VALUES (7, '/a/o.fdb', '/a/d.fdb', 'vornyusa', 1);\n"
            "INSERT INTO VESSENTARIA (ID, ARCHIVIOORIGINE, ARCHIVIODESTINAZIONE, TIPOSINCRO,"
            " STATUS) VALUES (-3, '" +
                lungo +
                "', NULL, 'VORNYUSA ', 2);\n"
                "INSERT INTO VESSENTARIA (ID, STATUS) VALUES (NULL, NULL);\n");
  Avvia();
  std::string messaggio;
  ASSERT_TRUE(elab_->CaricaTasks(messaggio));
  TVessentariaTasks& tasks = elab_->Tasks();
  ASSERT_EQ(tasks.Count(), 3);
  // NULL sorts first in ascending order and reads as 0.
  const std::vector<TVessentariaTaskInfo> attese = {
      {0, "", "", tsNessuno, ssInattivo},
      {-3, lungo.substr(0, 255), "", tsNessuno, ssInattivo},
      {7, "/a/o.fdb", "/a/d.fdb", tsVornyUSA, ssAttivo}};
  for (int i = 0; i < 3; ++i) {
    const TVessentariaTaskInfo& riga = tasks.Items(i).Info();
    EXPECT_EQ(&tasks.Items(i), &tasks.Task());
    EXPECT_EQ(riga.ID, attese[i].ID) << i;
    EXPECT_EQ(riga.ArchivioOrigine, attese[i].ArchivioOrigine) << i;
    EXPECT_EQ(riga.ArchivioDestinazione, attese[i].ArchivioDestinazione) << i;
    EXPECT_EQ(riga.TipoSincro, attese[i].TipoSincro) << i;
    EXPECT_EQ(riga.Status, attese[i].Status) << i;
  }
  EXPECT_THROW(tasks.Items(3), std::out_of_range);
}

TEST_F(DriverTest, LeggiRigheCresceOltreIlConteggio) {
  CreaDitta(DdlDitta(), Riga(1) + Riga(2) + Riga(3));
  auto db = ConnettiArchivio(ditta_);
  TConnessione coppia(*db);
  for (int32_t conteggio : {0, 1, 3, 5}) {
    TSQLStatement q;
    q.SetDatabase(db.get());
    q.SetTransaction(&coppia.TransazioneLettura());
    q.SetParamCheck(false);
    q.SQL().Add("SELECT * FROM VESSENTARIA ORDER BY ID");
    q.Execute();
    std::vector<TVessentariaTaskInfo> righe(9);
    LeggiRighe(q, conteggio, righe);
    ASSERT_EQ(righe.size(), static_cast<size_t>(std::max(conteggio, 3))) << conteggio;
    for (size_t i = 0; i < righe.size(); ++i) {
      EXPECT_EQ(righe[i].ID, i < 3 ? static_cast<int32_t>(i + 1) : 0) << conteggio;
      EXPECT_EQ(righe[i].Status, i < 3 ? ssAttivo : ssInattivo) << conteggio;
      EXPECT_EQ(righe[i].ArchivioOrigine, i < 3 ? origine_ : "") << conteggio;
    }
  }
}

TEST_F(DriverTest, OrdineDiIDEPrimoFallimentoFermaIlGiro) {
  struct Caso {
    TComportamento venti;
    std::vector<std::string> eventi;
    std::string messaggio;
  };
  const std::vector<Caso> casi = {
      {{TEsito::Riesce, TEsito::Fallisce, "Guasto\rdettaglio"},
       {"apre 10 vivi 1", "esegue 10", "rilascia 10", "apre 20 vivi 1", "esegue 20"},
       "Fallita esecuzione sincro ID 20:\rGuasto\rdettaglio"},
      {{TEsito::Fallisce, TEsito::Riesce, "Impossibile aprire"},
       {"apre 10 vivi 1", "esegue 10", "rilascia 10", "apre 20 vivi 1"},
       "Anomalia sincro ID 20:\rImpossibile aprire"},
  };
  for (const Caso& caso : casi) {
    TempFolder cartella;
    ditta_ = cartella / "ditta.fdb";
    // Row 30 is stored first; the inactive row 15 stands between two active ones.
    CreaDitta(DdlDitta(), Riga(30) + Riga(10) + Riga(15, "0") + Riga(20));
    eventi_.clear();
    comportamenti_ = {{20, caso.venti}};
    Avvia();
    std::string messaggio;
    ASSERT_TRUE(elab_->CaricaTasks(messaggio));
    EXPECT_FALSE(elab_->EseguiTasks(messaggio));
    EXPECT_EQ(messaggio, caso.messaggio);
    EXPECT_EQ(eventi_, caso.eventi);

    auto righe = LeggiTabella(ditta_);
    EXPECT_EQ(righe[10].nota, kSuccesso);
    EXPECT_EQ(righe[20].nota, caso.venti.testo);
    EXPECT_NE(righe[10].ultima, righe[15].ultima);
    EXPECT_NE(righe[20].ultima, righe[15].ultima);
    for (int32_t id : {15, 30}) EXPECT_EQ(righe[id].nota, "nota vecchia") << id;
    EXPECT_NE(righe[15].ultima.find("2001"), std::string::npos) << righe[15].ultima;
    EXPECT_EQ(righe[30].ultima, righe[15].ultima);
    elab_.reset();
    database_.reset();
    EXPECT_EQ(vivi_, 0);
  }
}

TEST_F(DriverTest, GiroCompletoScriveOgniRigaAttiva) {
  CreaDitta(DdlDitta(), Riga(2) + Riga(1) + Riga(3, "NULL"));
  Avvia();
  std::string messaggio;
  ASSERT_TRUE(elab_->CaricaTasks(messaggio));
  EXPECT_TRUE(elab_->EseguiTasks(messaggio));
  EXPECT_EQ(messaggio, kSuccesso);
  EXPECT_EQ(eventi_, (std::vector<std::string>{"apre 1 vivi 1", "esegue 1", "rilascia 1",
                                               "apre 2 vivi 1", "esegue 2"}));
  // The last task lives until the driver is released.
  EXPECT_EQ(vivi_, 1);
  auto righe = LeggiTabella(ditta_);
  EXPECT_EQ(righe[1].nota, kSuccesso);
  EXPECT_EQ(righe[2].nota, kSuccesso);
  EXPECT_EQ(righe[3].nota, "nota vecchia");
  elab_.reset();
  EXPECT_EQ(vivi_, 0);
  EXPECT_EQ(eventi_.back(), "rilascia 2");
}

TEST_F(DriverTest, EccezioneDelTaskScriveLaNotaEProsegueVersoLAlto) {
  struct Caso {
    TComportamento uno;
    std::vector<std::string> eventi;
  };
  const std::vector<Caso> casi{
      Caso{TComportamento{TEsito::Riesce, TEsito::Solleva, "lock conflict on no wait transaction"},
           {"apre 1 vivi 1", "esegue 1"}},
      Caso{TComportamento{TEsito::Solleva, TEsito::Riesce, "Unable to write to /x/dati.ini"},
           {"apre 1 vivi 1"}},
  };
  for (const Caso& caso : casi) {
    TempFolder cartella;
    ditta_ = cartella / "ditta.fdb";
    CreaDitta(DdlDitta(), Riga(1) + Riga(2));
    eventi_.clear();
    comportamenti_ = {{1, caso.uno}};
    Avvia();
    std::string messaggio;
    ASSERT_TRUE(elab_->CaricaTasks(messaggio));
    try {
      elab_->EseguiTutto();
      ADD_FAILURE() << "no exception";
    } catch (const ESQLError& e) {
      EXPECT_EQ(std::string(e.what()), caso.uno.testo);
    }
    EXPECT_EQ(eventi_, caso.eventi);
    auto righe = LeggiTabella(ditta_);
    EXPECT_EQ(righe[1].nota, caso.uno.testo);
    EXPECT_NE(righe[1].ultima, righe[2].ultima);
    EXPECT_EQ(righe[2].nota, "nota vecchia");
    EXPECT_NE(righe[2].ultima.find("2001"), std::string::npos) << righe[2].ultima;
    elab_.reset();
    database_.reset();
  }
}

// The cut counts characters: in a UTF8 column of 40 characters fit 40 of them, accented ones
// (two bytes each) and the euro sign (three) whole.
TEST_F(DriverTest, NotaTagliataAllaLunghezzaDellaColonna) {
  const std::string lunga = "Impossibile eseguire il travaso PS Ordini:\r" + std::string(5000, 'e');
  std::string accentata = "Perch\xC3\xA9 \xE2\x82\xAC:";
  for (int i = 0; i < 30; ++i) accentata += "\xC3\xA0\xC3\xA8\xC3\xAC";
  struct Caso {
    std::string tipo;
    std::string attesa;
    std::string nota;
    size_t caratteri;  // the column's length; npos: none
  };
  const std::vector<Caso> casi = {
      {"VARCHAR(20)", lunga.substr(0, 20), lunga, 20},
      {"CHAR(50)", lunga.substr(0, 50), lunga, 50},
      {"VARCHAR(8000)", lunga, lunga, std::string::npos},
      {"BLOB SUB_TYPE TEXT", lunga, lunga, std::string::npos},
      {"VARCHAR(40) CHARACTER SET UTF8", lunga.substr(0, 40), lunga, 40},
      // 9 characters in 12 bytes, then 31 of two bytes each.
      {"VARCHAR(40) CHARACTER SET UTF8", accentata.substr(0, 12 + 62), accentata, 40},
      // A server's text in its own code page: not UTF-8, written all the same.
      {"VARCHAR(40) CHARACTER SET UTF8", "Citt\xEF\xBF\xBD \"Forl\xEF\xBF\xBD\"",
       "Citt\xE0 \"Forl\xEC\"", 40},
      {"BLOB SUB_TYPE TEXT CHARACTER SET UTF8", "Citt\xEF\xBF\xBD", "Citt\xE0", std::string::npos},
  };
  for (const Caso& caso : casi) {
    TempFolder cartella;
    ditta_ = cartella / "ditta.fdb";
    CreaDitta(DdlConNote(caso.tipo), Riga(1) + Riga(2));
    // The first note is short: the limit must not shrink to it for the next row.
    comportamenti_ = {{1, {TEsito::Riesce, TEsito::Riesce, ""}},
                      {2, {TEsito::Riesce, TEsito::Fallisce, caso.nota}}};
    Avvia();
    std::string messaggio;
    ASSERT_TRUE(elab_->CaricaTasks(messaggio));
    EXPECT_FALSE(elab_->EseguiTasks(messaggio)) << caso.tipo;
    EXPECT_EQ(messaggio, "Fallita esecuzione sincro ID 2:\r" + caso.nota) << caso.tipo;
    auto righe = LeggiTabella(ditta_);
    EXPECT_EQ(righe[1].nota, std::string(kSuccesso).substr(0, caso.caratteri)) << caso.tipo;
    EXPECT_EQ(righe[2].nota, caso.attesa) << caso.tipo;
  }
}

TEST_F(DriverTest, RigaBloccataAltroveNonFermaIlGiro) {
  CreaDitta(DdlDitta(), Riga(1) + Riga(2));
  auto altro = ConnettiArchivio(ditta_);
  auto blocco = CreaTransazioneSnapshot(*altro);
  TSQLStatement aggiorna;
  aggiorna.SetDatabase(altro.get());
  aggiorna.SetTransaction(blocco.get());
  aggiorna.SetParamCheck(false);
  aggiorna.SQL().Add("UPDATE VESSENTARIA SET STATUS=1 WHERE ID=1");
  aggiorna.Execute();

  Avvia();
  std::string messaggio;
  ASSERT_TRUE(elab_->CaricaTasks(messaggio));
  EXPECT_TRUE(elab_->EseguiTasks(messaggio));
  EXPECT_EQ(eventi_, (std::vector<std::string>{"apre 1 vivi 1", "esegue 1", "rilascia 1",
                                               "apre 2 vivi 1", "esegue 2"}));
  blocco->Rollback();
  auto righe = LeggiTabella(ditta_);
  EXPECT_EQ(righe[1].nota, "nota vecchia");
  EXPECT_EQ(righe[2].nota, kSuccesso);
  // The refused update does not linger: the next write on the row goes through.
  elab_->Tasks().Items(0);
  EXPECT_TRUE(elab_->Tasks().Task().ScriviNote("di nuovo"));
  EXPECT_EQ(LeggiTabella(ditta_)[1].nota, "di nuovo");
}

// The company archive's server restarted under a task: the note and the run go on; killed: the
// run stops at the note it lost, even after a success, and the row keeps the mark of a task begun.
TEST_F(DriverTest, ServerDellaDittaPersoDuranteIlTask) {
  for (const bool riavviato : {true, false}) {
    SCOPED_TRACE(riavviato ? "restarted" : "killed");
    TempFolder cartella;
    ditta_ = cartella / "ditta.fdb";
    CreaDitta(DdlDitta(), Riga(1) + Riga(2));
    FirebirdServer server("masterkey");
    const std::string nome = server.Nome() + ":" + ditta_;
    comportamenti_ = {{1, {TEsito::Riesce, TEsito::Riesce, "", [&] {
                             riavviato ? server.Riavvia() : server.Uccidi();
                           }}}};
    Avvia(nome);
    std::string messaggio;
    ASSERT_TRUE(elab_->CaricaTasks(messaggio));
    EXPECT_EQ(elab_->EseguiTasks(messaggio), riavviato);
    EXPECT_EQ(elab_->Esito().NotaNonScritta, !riavviato);
    EXPECT_EQ(elab_->Esito().NonEseguiti, std::vector<int32_t>(riavviato ? 0 : 1, 2));
    if (!riavviato) server.Riavvia();
    auto righe = LeggiTabella(nome);
    EXPECT_EQ(righe[1].nota, riavviato ? kSuccesso : kNotaAvviata);
    EXPECT_EQ(righe[2].nota, riavviato ? kSuccesso : "nota vecchia");
    elab_.reset();
    database_.reset();
  }
}

TEST_F(DriverTest, EseguiSenzaTaskPreparato) {
  CreaDitta(DdlDitta(), Riga(5));
  Avvia();
  std::string messaggio;
  ASSERT_TRUE(elab_->CaricaTasks(messaggio));
  TVessentariaTask& task = elab_->Tasks().Items(0);
  EXPECT_FALSE(task.EseguiTask(messaggio));
  EXPECT_EQ(messaggio, "Errore nella gestione interna dell'elaborazione di sincro");
  EXPECT_EQ(LeggiTabella(ditta_)[5].nota, messaggio);
  EXPECT_TRUE(eventi_.empty());
}

}  // namespace
