#include <string>
#include <vector>

#include "AccessoFixture.h"

namespace {

TStrings Righe(const std::vector<std::string>& righe) {
  TStrings s;
  for (const std::string& r : righe) s.Add(r);
  return s;
}

std::string Byte(std::initializer_list<int> valori) {
  std::string s;
  for (int v : valori) s += static_cast<char>(v);
  return s;
}

}  // namespace

TEST(BloccoParametri, Transazione) {
  const struct {
    std::vector<std::string> righe;
    std::string atteso;
  } casi[] = {
      {{}, ""},
      {{"isc_tpb_concurrency", "isc_tpb_nowait"}, Byte({3, 2, 7})},
      {{"ISC_TPB_READ_COMMITTED", " ", "rec_version"}, Byte({3, 15, 17})},
      {{"isc_tpb_write=ignored", "isc_tpb_lock_write=CLIENTI"}, Byte({3, 9, 11, 7}) + "CLIENTI"},
      {{"isc_tpb_consistency", "isc_tpb_ignore_limbo", "isc_tpb_no_rec_version"},
       Byte({3, 1, 14, 18})},
  };
  for (const auto& c : casi) {
    SCOPED_TRACE(testing::PrintToString(c.righe));
    EXPECT_EQ(CostruisciTPB(Righe(c.righe)), c.atteso);
  }
  EXPECT_EQ(TestoErrore([] { CostruisciTPB(Righe({"isc_tpb_autocommit"})); }),
            "TPB Constant (isc_tpb_autocommit) is unsupported");
  EXPECT_EQ(TestoErrore([] { CostruisciTPB(Righe({"isc_tpb_verb_time"})); }),
            "TPB Constant (isc_tpb_verb_time) is unsupported");
  EXPECT_EQ(TestoErrore([] { CostruisciTPB(Righe({"isc_tpb_Lock_Timeout=5"})); }),
            "TPB Constant (isc_tpb_lock_timeout) is unknown");
}

TEST(BloccoParametri, Connessione) {
  EXPECT_EQ(CostruisciDPB(Righe({"user_name=SYSDBA", "senza uguale", "isc_dpb_password=pw"})),
            Byte({1, 28, 6}) + "SYSDBA" + Byte({29, 2}) + "pw");
  EXPECT_EQ(CostruisciDPB(Righe({})), Byte({1}));
  EXPECT_EQ(TestoErrore([] { CostruisciDPB(Righe({"isc_dpb_num_buffers=5"})); }),
            "DPB Constant (isc_dpb_num_buffers) is unsupported");
  EXPECT_EQ(TestoErrore([] { CostruisciDPB(Righe({"Pippo=1"})); }),
            "DPB Constant (pippo) is unknown");
}

TEST(Preset, ParametriDallaMaschera) {
  const struct {
    TOpzioniTransazione maschera;
    std::vector<std::string> righe;
  } casi[] = {
      {132, {"isc_tpb_concurrency", "isc_tpb_nowait"}},
      {0x28000, {"isc_tpb_read_committed", "isc_tpb_rec_version"}},
      {0xFFE00001u, {}},  // bit 0 and bits above 20 mean nothing
      {(1u << 1) | (1u << 20), {"isc_tpb_consistency", "isc_tpb_no_auto_undo"}},
  };
  for (const auto& c : casi) {
    TSQLTransaction tr;
    tr.Params().Add("isc_tpb_wait");
    ImpostaParametriTransazione(tr, c.maschera);
    EXPECT_EQ(tr.Params().Lines(), c.righe) << c.maschera;
  }
}

class TransactionTest : public AccessoTest {
 protected:
  std::string Ddl() const override {
    return "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));\n"
           "INSERT INTO T VALUES (1, 'uno');\nINSERT INTO T VALUES (2, 'due');\n"
           "INSERT INTO T VALUES (3, 'tre');\n"
           "CREATE EXCEPTION RIFIUTATA 'commit rifiutato';\n"
           "SET TERM ^;\n"
           "CREATE TRIGGER AL_COMMIT ON TRANSACTION COMMIT AS BEGIN\n"
           "  IF (EXISTS(SELECT 1 FROM T WHERE ID = 99)) THEN EXCEPTION RIFIUTATA;\n"
           "END^\n"
           "SET TERM ;^\n";
  }

  void Inserisci(TSQLTransaction& tr, int id) {
    auto st = Statement(tr, "INSERT INTO T (ID) VALUES (:ID)");
    st->Params(0).SetAsInteger(id);
    st->Execute();
  }

  int Conta() {
    auto tr = CreaTransazioneReadCommitted(*db_);
    auto st = Statement(*tr, "SELECT COUNT(*) FROM T");
    st->Execute();
    return st->Fields(0).AsInteger();
  }
};

TEST_F(TransactionTest, EndingCommitsOrRollsBack) {
  auto tr = CreaTransazioneSnapshot(*db_);
  EXPECT_EQ(tr->Params().Lines(),
            (std::vector<std::string>{"isc_tpb_concurrency", "isc_tpb_nowait"}));
  Inserisci(*tr, 10);
  tr.reset();  // release while active: commit
  EXPECT_EQ(Conta(), 4);

  tr = CreaTransazioneSnapshot(*db_);
  Inserisci(*tr, 11);
  tr->SetActive(false);  // rollback
  EXPECT_FALSE(tr->InTransaction());
  EXPECT_EQ(Conta(), 4);
  tr->SetActive(true);
  tr->SetActive(true);  // nothing when active
  Inserisci(*tr, 12);
  tr->RollbackRetaining();
  EXPECT_TRUE(tr->InTransaction());
  Inserisci(*tr, 13);
  tr->Commit();
  EXPECT_EQ(Conta(), 5);

  // Disconnecting commits what is active, and leaves the transaction inactive.
  tr->StartTransaction();
  Inserisci(*tr, 14);
  db_->SetConnected(false);
  EXPECT_FALSE(tr->InTransaction());
  db_->SetConnected(true);
  EXPECT_EQ(Conta(), 6);
}

// The database refuses every commit that would leave a row 99.
TEST_F(TransactionTest, RefusedCommit) {
  auto tr = CreaTransazioneSnapshot(*db_);
  Inserisci(*tr, 99);
  std::string testo = TestoErrore([&] { tr->Commit(); });
  EXPECT_EQ(testo.rfind("exception 1\r\nRIFIUTATA\r\ncommit rifiutato", 0), 0u) << testo;
  EXPECT_TRUE(tr->InTransaction());
  // Released while active: the failed commit is followed by a rollback, and nothing is raised.
  tr.reset();
  EXPECT_EQ(Conta(), 3);

  tr = CreaTransazioneSnapshot(*db_);
  Inserisci(*tr, 99);
  db_->SetConnected(false);  // the same forced end on disconnect
  EXPECT_FALSE(tr->InTransaction());
  db_->SetConnected(true);
  EXPECT_EQ(Conta(), 3);
}

TEST_F(TransactionTest, CommitRetainingKeepsTheCursor) {
  auto tr = CreaTransazioneReadCommitted(*db_);
  auto sel = Statement(*tr, "SELECT ID FROM T ORDER BY ID");
  sel->Execute();
  EXPECT_EQ(sel->Fields(0).AsInteger(), 1);
  Inserisci(*tr, 20);
  tr->CommitRetaining();
  EXPECT_TRUE(tr->InTransaction());
  EXPECT_TRUE(sel->Open());
  sel->Next();
  EXPECT_EQ(sel->Fields(0).AsInteger(), 2);
  // A real commit closes the cursor; the statement stays prepared.
  tr->Commit();
  EXPECT_FALSE(sel->Open());
  EXPECT_TRUE(sel->Eof());
  EXPECT_TRUE(sel->Prepared());
  tr->StartTransaction();
  sel->Execute();
  EXPECT_EQ(sel->Fields(0).AsInteger(), 1);
}

TEST_F(TransactionTest, Refusals) {
  TSQLTransaction tr;
  EXPECT_EQ(TestoErrore([&] { tr.StartTransaction(); }),
            "No databases are listed in transaction component");
  tr.SetDefaultDatabase(db_.get());
  for (auto azione : {&TSQLTransaction::Commit, &TSQLTransaction::Rollback,
                      &TSQLTransaction::CommitRetaining, &TSQLTransaction::RollbackRetaining})
    EXPECT_EQ(TestoErrore([&] { (tr.*azione)(); }), "Transaction is not active");
  tr.Params().Add("isc_tpb_pippo");
  EXPECT_EQ(TestoErrore([&] { tr.StartTransaction(); }), "TPB Constant (isc_tpb_pippo) is unknown");
  EXPECT_FALSE(tr.InTransaction());
  tr.Params().Clear();
  tr.StartTransaction();
  EXPECT_EQ(TestoErrore([&] { tr.StartTransaction(); }), "Transaction is active");
  EXPECT_EQ(TestoErrore([&] { tr.Params().Add("isc_tpb_read"); }), "Transaction is active");
  EXPECT_EQ(tr.Params().Count(), 0);
  tr.Commit();
  db_->SetConnected(false);
  EXPECT_EQ(TestoErrore([&] { tr.StartTransaction(); }),
            "Cannot perform operation -- DB is not open");
  EXPECT_EQ(TestoErrore([&] { CreaTransazioneReadCommitted(*db_); }),
            "Cannot perform operation -- DB is not open");
}

TEST_F(TransactionTest, LockConflictLeavesTheTransactionActive) {
  auto a = CreaTransazioneSnapshot(*db_);
  auto b = CreaTransazioneSnapshot(*db_);
  auto ua = Statement(*a, "UPDATE T SET NOME = 'a' WHERE ID = 1");
  auto ub = Statement(*b, "UPDATE T SET NOME = 'b' WHERE ID = 1");
  ua->Execute();
  std::string testo = TestoErrore([&] { ub->Execute(); });
  EXPECT_EQ(testo.rfind("deadlock\r\nupdate conflicts with concurrent update\r\n", 0), 0u) << testo;
  EXPECT_TRUE(b->InTransaction());
  b->Rollback();
  a->Commit();
  EXPECT_NE(Isql("SELECT NOME FROM T WHERE ID = 1").find("NOME                            a"),
            std::string::npos);
}

TEST_F(TransactionTest, ObjectsOutliveTheirDatabase) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto st = Statement(*tr, "SELECT ID FROM T");
  st->Execute();
  Inserisci(*tr, 30);
  db_.reset();  // commits tr, unprepares st, and leaves both without a database
  EXPECT_FALSE(tr->InTransaction());
  EXPECT_EQ(tr->DefaultDatabase(), nullptr);
  EXPECT_EQ(st->Database(), nullptr);
  EXPECT_FALSE(st->Prepared());
  EXPECT_EQ(TestoErrore([&] { st->Execute(); }), "Database not assigned");
  st.reset();
  tr.reset();
  db_ = ConnettiArchivio(percorso_);
  EXPECT_EQ(Conta(), 4);
}
