#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "platform/Dialogs.h"
#include "support/TestSupport.h"
#include "taskbase/Connessione.h"
#include "taskbase/Task.h"
#include "taskbase/TaskInfo.h"

namespace {

void Esegui(TSQLDatabase& database, TSQLTransaction& transazione, const std::string& sql) {
  TSQLStatement statement;
  statement.SetDatabase(&database);
  statement.SetTransaction(&transazione);
  statement.SetParamCheck(false);
  statement.SQL().Add(sql);
  statement.Execute();
}

int Righe(TSQLTransaction& transazione) {
  TStrings righe;
  righe.Add("SELECT * FROM NOTE");
  return ContaRecordSQL(righe, transazione);
}

// Answers every dialog with the button given and records what was shown.
class InterfacciaDiProva : public TInterfacciaUtente {
 public:
  explicit InterfacciaDiProva(std::string server = "")
      : server_(std::move(server)), precedente_(ImpostaInterfacciaUtente(this)) {}
  ~InterfacciaDiProva() override { ImpostaInterfacciaUtente(precedente_); }
  void MostraMessaggio(const std::string&, const std::string& testo, TIconaMessaggio) override {
    mostrati.push_back(testo);
  }
  void MostraDialogo(TDueCampiForm& dialogo) override {
    mostrati.push_back("dialogo");
    if (server_.empty()) {
      dialogo.CancelBtnClick();
    } else {
      dialogo.Edit1.Text = server_;
      dialogo.OKBtnClick();
    }
  }
  std::vector<std::string> mostrati;

 private:
  std::string server_;
  TInterfacciaUtente* precedente_;
};

class TaskDiProva : public TTask {
 public:
  bool Esecuzione(std::string& messaggio) override {
    messaggio.clear();
    return true;
  }
};

class TaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreaDatabaseDiProva(origine_, "CREATE TABLE NOTE (ID INTEGER);");
    CreaDatabaseDiProva(destinazione_, "CREATE TABLE NOTE (ID INTEGER);");
    std::filesystem::create_directory(cartella_ / "cartella.fdb");
    std::ofstream(rotto_) << "not a database\n";
  }

  TempFolder cartella_;
  const std::string origine_ = cartella_ / "origine.fdb";
  const std::string destinazione_ = cartella_ / "destinazione.fdb";
  const std::string mancante_ = cartella_ / "mancante.fdb";
  const std::string rotto_ = cartella_ / "rotto.fdb";
};

}  // namespace

// Each transaction of the pair is active when asked for, with its options and its database.
TEST_F(TaskTest, PairGivesItsTransactionsStarted) {
  auto database = ConnettiArchivio(origine_);
  TConnessione connessione(*database);
  EXPECT_EQ(&connessione.Database(), database.get());
  EXPECT_TRUE(connessione.TransazioneLettura().InTransaction());
  EXPECT_TRUE(connessione.TransazioneScrittura().InTransaction());
  EXPECT_EQ(connessione.TransazioneLettura().Params().Lines(),
            (std::vector<std::string>{"isc_tpb_read_committed", "isc_tpb_rec_version"}));
  EXPECT_EQ(connessione.TransazioneScrittura().Params().Lines(),
            (std::vector<std::string>{"isc_tpb_concurrency", "isc_tpb_nowait"}));
  EXPECT_EQ(connessione.TransazioneLettura().DefaultDatabase(), database.get());
  EXPECT_EQ(connessione.TransazioneScrittura().DefaultDatabase(), database.get());
}

// Releasing a pair rolls back what its write transaction holds, but not what a commit that kept
// the transaction open already made permanent.
TEST_F(TaskTest, PairReleaseRollsBackTheWriteTransaction) {
  auto database = ConnettiArchivio(origine_);
  {
    TConnessione connessione(*database);
    TSQLTransaction& scrittura = connessione.TransazioneScrittura();
    Esegui(*database, scrittura, "INSERT INTO NOTE VALUES (1)");
    scrittura.CommitRetaining();
    ASSERT_TRUE(scrittura.InTransaction());
    Esegui(*database, scrittura, "INSERT INTO NOTE VALUES (2)");
    EXPECT_EQ(Righe(scrittura), 2);
  }
  auto lettura = CreaTransazioneReadCommitted(*database);
  EXPECT_EQ(Righe(*lettura), 1);
  lettura.reset();
  database.reset();
  std::string righe = QueryIsql(origine_, "SELECT COUNT(*) AS TANTE, MIN(ID) AS PRIMA FROM NOTE");
  EXPECT_NE(righe.find("TANTE                           1\n"), std::string::npos) << righe;
  EXPECT_NE(righe.find("PRIMA                           1\n"), std::string::npos) << righe;
}

// The handle can go before the pair: its release ended and detached the transactions.
TEST_F(TaskTest, HandleReleasedBeforeThePair) {
  auto database = ConnettiArchivio(origine_);
  auto connessione = std::make_unique<TConnessione>(*database);
  Esegui(*database, connessione->TransazioneScrittura(), "INSERT INTO NOTE VALUES (3)");
  database.reset();
  EXPECT_FALSE(connessione->TransazioneScrittura().InTransaction());
  EXPECT_FALSE(connessione->TransazioneLettura().InTransaction());
  EXPECT_NO_THROW(connessione.reset());
}

TEST_F(TaskTest, OpeningFailures) {
  struct Caso {
    const char* nome;
    std::string origine, destinazione;
    std::string messaggio;
    bool origineAperta;
  };
  const std::string testaOrigine = "Impossibile stabilire la connessione all'origine\r\"";
  const std::string testaDestinazione =
      "Impossibile stabilire la connessione alla destinazione\r\"";
  const std::string cartella = cartella_ / "cartella.fdb";
  const Caso casi[] = {
      {"source missing", mancante_, destinazione_,
       testaOrigine + mancante_ + "\":\rFile non trovato", false},
      {"source is a folder", cartella, destinazione_,
       testaOrigine + cartella + "\":\rFile non trovato", false},
      {"both missing", mancante_, mancante_, testaOrigine + mancante_ + "\":\rFile non trovato",
       false},
      {"source unopenable", rotto_, destinazione_,
       testaOrigine + rotto_ + "\":\rImpossibile stabilire la connessione", false},
      {"destination missing", origine_, mancante_,
       testaDestinazione + mancante_ + "\":\rFile non trovato", true},
      {"destination unopenable", origine_, rotto_,
       testaDestinazione + rotto_ + "\":\rImpossibile stabilire la connessione", true},
  };
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.nome);
    InterfacciaDiProva ui;
    TaskDiProva task;
    TVessentariaTaskInfo riga;
    riga.ArchivioOrigine = caso.origine;
    riga.ArchivioDestinazione = caso.destinazione;
    std::string messaggio = "da svuotare";
    EXPECT_FALSE(task.ApriConnessioni(riga, messaggio));
    EXPECT_EQ(messaggio, caso.messaggio);
    EXPECT_EQ(task.Origine() != nullptr, caso.origineAperta);
    EXPECT_EQ(task.Destinazione(), nullptr);
    if (caso.origineAperta) {
      EXPECT_TRUE(task.Origine()->Database().Connected());
    }
  }
  // Nothing was created in place of a missing archive.
  EXPECT_FALSE(std::filesystem::exists(mancante_));
}

// An error raised while opening becomes the inner text: here dati.ini cannot be written after
// the user named a server.
TEST_F(TaskTest, OpeningErrorText) {
  // A link into a folder that does not exist: reads as a missing file, cannot be written.
  std::filesystem::create_symlink(cartella_ / "nessuna/dati.ini", cartella_ / "dati.ini");
  InterfacciaDiProva ui("SERVER");
  TaskDiProva task;
  TVessentariaTaskInfo riga;
  riga.ArchivioOrigine = rotto_;
  riga.ArchivioDestinazione = destinazione_;
  std::string messaggio;
  EXPECT_FALSE(task.ApriConnessioni(riga, messaggio));
  EXPECT_EQ(messaggio, "Impossibile stabilire la connessione all'origine\r\"" + rotto_ +
                           "\":\rUnable to write to " + (cartella_ / "dati.ini"));
  EXPECT_EQ(task.Origine(), nullptr);
}

TEST_F(TaskTest, OpeningBothArchives) {
  InterfacciaDiProva ui;
  TaskDiProva task;
  TVessentariaTaskInfo riga;
  riga.ArchivioOrigine = origine_;
  riga.ArchivioDestinazione = destinazione_;
  std::string messaggio = "da svuotare";
  ASSERT_TRUE(task.ApriConnessioni(riga, messaggio));
  EXPECT_EQ(messaggio, "");
  ASSERT_NE(task.Origine(), nullptr);
  ASSERT_NE(task.Destinazione(), nullptr);
  EXPECT_EQ(task.Origine()->Database().DatabaseName(), origine_);
  EXPECT_EQ(task.Destinazione()->Database().DatabaseName(), destinazione_);
  EXPECT_TRUE(task.Origine()->TransazioneLettura().InTransaction());
  EXPECT_TRUE(task.Destinazione()->TransazioneScrittura().InTransaction());
  EXPECT_EQ(ui.mostrati, std::vector<std::string>{});

  // Opening again replaces the pairs; a failing destination leaves its slot empty.
  riga.ArchivioDestinazione = mancante_;
  EXPECT_FALSE(task.ApriConnessioni(riga, messaggio));
  EXPECT_NE(task.Origine(), nullptr);
  EXPECT_EQ(task.Destinazione(), nullptr);
}
