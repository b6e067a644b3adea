#include <string>
#include <vector>

#include "AccessoFixture.h"
#include "db/SQLInternal.h"

TEST(ScansioneParametri, TextSentAndNames) {
  const struct {
    const char* testo;
    const char* inviato;
    std::vector<std::string> nomi;
  } casi[] = {
      {"SELECT A FROM T WHERE A = :A AND B = :b_1$",
       "SELECT A FROM T WHERE A = ? AND B = ?",
       {"A", "b_1$"}},
      {"WHERE X = ':no' AND Y = \":no\"", "WHERE X = ':no' AND Y = \":no\"", {}},
      {"WHERE X = 'it''s :no' OR Z = :si", "WHERE X = 'it''s :no' OR Z = ?", {"si"}},
      {"/* :no 'x */ A = :\"Nome Misto\"+1", "/* :no 'x */ A = ?+1", {"\"Nome Misto\""}},
      {"A = ?P, B = :P", "A = ?, B = ?", {"P", "P"}},
      {"-- :commento\r\nA", "-- ?\r\nA", {"commento"}},
      {"A=:X\r\n", "A=?\r\n", {"X"}},
      {"VALUES(:\"a\"\"b\", :\"c d\")", "VALUES(?, ?)", {"\"a\"\"b\"", "\"c d\""}},
  };
  for (const auto& c : casi) {
    SCOPED_TRACE(c.testo);
    std::vector<std::string> nomi;
    EXPECT_EQ(ScansionaParametri(c.testo, nomi), c.inviato);
    EXPECT_EQ(nomi, c.nomi);
  }
}

TEST(ScansioneParametri, ParseErrors) {
  const std::string prefisso = "SQL Parse Error:\r\n\r\n";
  const struct {
    const char* testo;
    const char* dettaglio;
  } casi[] = {
      {"WHERE A = : AND B = 1", "Parameter name expected"},
      {"WHERE A = ?", "Parameter name expected"},
      {"WHERE A = :\"\"", "Parameter name expected"},
      {"WHERE A = 'aperta", "EOF in string detected"},
      {"WHERE A = \"aperta", "EOF in string detected"},
      {"WHERE A = :\"aperta", "EOF in string detected"},
      {"WHERE A = 1 /* aperto *", "EOF in comment detected"},
  };
  for (const auto& c : casi) {
    SCOPED_TRACE(c.testo);
    std::vector<std::string> nomi;
    EXPECT_EQ(TestoErrore([&] { ScansionaParametri(c.testo, nomi); }), prefisso + c.dettaglio);
  }
}

TEST(Nomi, Normalizzazione) {
  const struct {
    const char* nome;
    int dialetto;
    const char* atteso;
  } casi[] = {{"nome", 3, "NOME"},         {"  Nome ", 3, "NOME"},      {"\"Nome\"", 3, "Nome"},
              {" \"a\"\"b\" ", 3, "a\"b"}, {"\"Nome\"", 1, "\"NOME\""}, {"nome", 1, "NOME"}};
  for (const auto& c : casi) EXPECT_EQ(NormalizzaNome(c.nome, c.dialetto), c.atteso) << c.nome;
}

TEST(Nomi, ColonneDiUscita) {
  const std::string lungo(63, 'L');
  const std::vector<std::string> alias = {"", "ID", "ID", "", "F_3", "", "ID", lungo, lungo};
  const std::vector<std::string> attesi = {"F_1", "ID",  "ID1", "F_2",      "F_3",
                                           "F_4", "ID2", lungo, lungo + "1"};
  std::vector<std::string> presi;
  int senzaNome = 0;
  for (const std::string& a : alias) presi.push_back(NomeUscita(a, presi, senzaNome));
  EXPECT_EQ(presi, attesi);
}

class SQLStatementTest : public AccessoTest {
 protected:
  std::string Ddl() const override {
    return "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));\n"
           "INSERT INTO T VALUES (1, 'uno');\nINSERT INTO T VALUES (2, 'due');\n"
           "INSERT INTO T VALUES (3, 'tre');\n"
           "CREATE TABLE REGISTRO (N INTEGER);\n"
           "CREATE EXCEPTION FALLITA 'procedura fallita';\n"
           "SET TERM ^;\n"
           "CREATE PROCEDURE DOPPIO (A INTEGER) RETURNS (B INTEGER, NOME VARCHAR(20)) AS\n"
           "BEGIN B = A * 2; SELECT NOME FROM T WHERE ID = :A INTO :NOME; END^\n"
           "CREATE PROCEDURE FALLISCE (ID INTEGER) AS BEGIN\n"
           "  IN AUTONOMOUS TRANSACTION DO INSERT INTO REGISTRO VALUES (:ID);\n"
           "  IF (ID = 0) THEN EXCEPTION FALLITA;\n"
           "  UPDATE T SET NOME = 'p' WHERE ID = :ID;\n"
           "END^\n"
           "SET TERM ;^\n";
  }
};

TEST_F(SQLStatementTest, EofAndRowCountAfterExecute) {
  auto tr = CreaTransazioneReadCommitted(*db_);
  auto st = Statement(*tr, "SELECT ID, NOME FROM T WHERE ID > :DA ORDER BY ID");
  const struct {
    int da;
    std::vector<std::string> righe;
  } casi[] = {{0, {"uno", "due", "tre"}}, {2, {"tre"}}, {3, {}}};
  for (const auto& c : casi) {
    SCOPED_TRACE(c.da);
    st->ParamByName("da").SetAsInteger(c.da);
    st->Execute();
    EXPECT_EQ(st->RowCount(), c.righe.empty() ? 0 : 1);
    EXPECT_EQ(st->Eof(), c.righe.empty());
    std::vector<std::string> viste;
    for (; !st->Eof(); st->Next()) viste.push_back(st->FieldByName("nome").AsString());
    EXPECT_EQ(viste, c.righe);
    EXPECT_EQ(st->RowCount(), static_cast<int>(c.righe.size()));
    st->Next();  // harmless once at the end
    st->Close();
    EXPECT_FALSE(st->Open());
    EXPECT_TRUE(st->Prepared());
  }
  auto upd = Statement(*tr, "UPDATE T SET NOME = NOME WHERE ID = 1");
  upd->Execute();
  EXPECT_TRUE(upd->Eof());
  EXPECT_EQ(upd->StatementType(), TTipoStatement::Update);
  EXPECT_EQ(TestoErrore([&] { upd->Next(); }), "Cannot perform operation -- statement is not open");
}

TEST_F(SQLStatementTest, NewTextNeedsClose) {
  auto tr = CreaTransazioneReadCommitted(*db_);
  auto st = Statement(*tr, "SELECT NOME FROM T WHERE ID = 1");
  st->Execute();
  st->SQL().Clear();
  st->SQL().Add("SELECT NOME FROM T WHERE ID = 2");
  EXPECT_EQ(TestoErrore([&] { st->Execute(); }), "Cannot perform operation -- statement is open");
  EXPECT_EQ(TestoErrore([&] { st->Prepare(); }), "Cannot perform operation -- statement is open");
  st->Close();
  st->Execute();
  EXPECT_EQ(st->Fields(0).AsString(), "due");
}

TEST_F(SQLStatementTest, LookupErrors) {
  auto tr = CreaTransazioneReadCommitted(*db_);
  auto st = Statement(*tr, "SELECT ID, NOME, ID FROM T WHERE ID = :ID");
  st->Params(0).SetAsInteger(1);
  st->Execute();
  EXPECT_EQ(st->FieldCount(), 3);
  EXPECT_EQ(st->FieldByName(" nome ").AsString(), "uno");
  EXPECT_EQ(st->FieldByName("id1").AsInteger(), 1);
  EXPECT_EQ(st->Fields(2).Name(), "ID1");
  EXPECT_EQ(TestoErrore([&] { st->FieldByName("X"); }), "Field \"X\" not found");
  EXPECT_EQ(TestoErrore([&] { st->FieldByName("\"nome\""); }), "Field \"\"nome\"\" not found");
  EXPECT_EQ(TestoErrore([&] { st->Fields(3); }), "Field \"3\" not found");
  EXPECT_EQ(TestoErrore([&] { st->Fields(-1); }), "Field \"-1\" not found");
  EXPECT_EQ(TestoErrore([&] { st->Params(1); }), "XSQLDA index out of range");
  EXPECT_EQ(TestoErrore([&] { st->ParamByName("NOME"); }), "Field \"NOME\" not found");

  // A column name that the server keeps in mixed case is found only by its quoted form.
  auto misto = Statement(*tr, "SELECT NOME AS \"Nome\" FROM T WHERE ID = 2");
  misto->Execute();
  EXPECT_EQ(misto->FieldByName("\"Nome\"").AsString(), "due");
  EXPECT_EQ(TestoErrore([&] { misto->FieldByName("nome"); }), "Field \"nome\" not found");
}

TEST_F(SQLStatementTest, PrepareAndExecuteRefusals) {
  auto tr = CreaTransazioneReadCommitted(*db_);
  TSQLStatement st;
  st.SQL().Add("SELECT ID FROM T");
  EXPECT_EQ(TestoErrore([&] { st.Execute(); }), "Database not assigned");
  st.SetDatabase(db_.get());
  EXPECT_EQ(TestoErrore([&] { st.Prepare(); }), "Transaction not assigned");
  st.SetTransaction(tr.get());
  tr->Commit();
  EXPECT_EQ(TestoErrore([&] { st.Execute(); }), "Transaction is not active");
  EXPECT_FALSE(tr->InTransaction()) << "Execute must not start a transaction";
  tr->StartTransaction();
  st.SQL().Clear();
  st.SQL().Add("  ");
  EXPECT_EQ(TestoErrore([&] { st.Prepare(); }), "Empty query");
  st.SQL().Clear();
  st.SQL().Add("SET TRANSACTION");
  EXPECT_EQ(TestoErrore([&] { st.Prepare(); }), "Not permitted");
  EXPECT_FALSE(st.Prepared());
  st.SQL().Clear();
  st.SQL().Add("SELECT ID");
  st.SQL().Add("FROM NESSUNA");
  EXPECT_EQ(TestoErrore([&] { st.Prepare(); }),
            "Dynamic SQL Error\r\nSQL error code = -204\r\nTable unknown\r\nNESSUNA\r\n"
            "At line 2, column 6");
  EXPECT_FALSE(st.Prepared());
  st.SQL().Clear();
  st.SQL().Add("INSERT INTO T (ID) VALUES (1)");
  try {
    st.Execute();
    ADD_FAILURE() << "duplicate key accepted";
  } catch (const ESQLError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("violation of PRIMARY or UNIQUE KEY constraint", 0), 0u)
        << e.what();
    EXPECT_EQ(e.SQLCode(), -803);
    EXPECT_EQ(e.ISCCode(), 335544665);
  }
  // A failed execution leaves the statement prepared and the transaction active.
  EXPECT_TRUE(st.Prepared());
  EXPECT_TRUE(tr->InTransaction());
  db_->SetConnected(false);
  EXPECT_FALSE(st.Prepared());
  EXPECT_EQ(TestoErrore([&] { st.Prepare(); }), "Cannot perform operation -- DB is not open");
}

TEST_F(SQLStatementTest, TextAndParametersReachTheServer) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto ins = Statement(*tr, "INSERT INTO T (ID, NOME)");
  ins->SQL().Add("  VALUES (:ID, /* :commento */ ':' || :\"NOME\")");
  ins->ParamByName("ID").SetAsInteger(4);
  ins->ParamByName("\"NOME\"").SetAsString("x");
  ins->Execute();
  auto senza = Statement(*tr, "UPDATE T SET NOME = NOME || ':y' WHERE ID = 4", false);
  senza->Execute();
  tr->Commit();
  EXPECT_NE(Isql("SELECT NOME FROM T WHERE ID = 4").find(":x:y"), std::string::npos);
}

// A name that the scanner finds where the server sees none ("--" comments are not skipped)
// would move every later name onto another parameter: preparing refuses it.
TEST_F(SQLStatementTest, ParameterNamesMustMatchTheServersParameters) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto upd = Statement(*tr, "UPDATE T SET NOME = 'x' -- :NOME");
  upd->SQL().Add("WHERE ID = :ID");
  EXPECT_EQ(TestoErrore([&] { upd->Prepare(); }),
            "Parameter count mismatch: the text names 2 parameters, the server expects 1");
  EXPECT_FALSE(upd->Prepared());
  upd->SetParamCheck(false);
  upd->SQL().Clear();
  upd->SQL().Add("UPDATE T SET NOME = 'x' WHERE ID = ?");
  upd->Prepare();
  EXPECT_EQ(upd->ParamCount(), 1);
}

TEST_F(SQLStatementTest, ExecuteProcedure) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto st = Statement(*tr, "EXECUTE PROCEDURE DOPPIO :A");
  st->Params(0).SetAsInteger(2);
  st->Execute();
  EXPECT_EQ(st->StatementType(), TTipoStatement::ExecProcedure);
  EXPECT_TRUE(st->Eof());
  EXPECT_EQ(st->FieldByName("B").AsInteger(), 4);
  EXPECT_EQ(st->FieldByName("NOME").AsString(), "due");

  // A failing call is prepared again and run once more; a lock conflict is not retried.
  auto fallisce = Statement(*tr, "EXECUTE PROCEDURE FALLISCE :ID");
  fallisce->Params(0).SetAsInteger(0);
  std::string testo = TestoErrore([&] { fallisce->Execute(); });
  EXPECT_EQ(testo.rfind("exception 1\r\nFALLITA\r\nprocedura fallita", 0), 0u) << testo;
  auto altra = CreaTransazioneSnapshot(*db_);
  auto blocco = Statement(*altra, "UPDATE T SET NOME = 'b' WHERE ID = 3");
  blocco->Execute();
  fallisce->Params(0).SetAsInteger(3);
  testo = TestoErrore([&] { fallisce->Execute(); });
  EXPECT_NE(testo.find("update conflicts with concurrent update"), std::string::npos) << testo;
  altra->Rollback();
  // The calls logged themselves in autonomous transactions: the failing one twice.
  auto lettura = CreaTransazioneReadCommitted(*db_);
  auto registro = Statement(*lettura, "SELECT N, COUNT(*) FROM REGISTRO GROUP BY N ORDER BY N");
  registro->Execute();
  EXPECT_EQ(registro->Fields(0).AsInteger(), 0);
  EXPECT_EQ(registro->Fields(1).AsInteger(), 2);
  registro->Next();
  EXPECT_EQ(registro->Fields(0).AsInteger(), 3);
  EXPECT_EQ(registro->Fields(1).AsInteger(), 1);
}

TEST_F(SQLStatementTest, NoPermissionIsItsOwnKind) {
  TSQLDatabase ospite;
  ospite.SetDatabaseName(percorso_);
  ospite.Params().Add("user_name=OSPITE");
  ospite.Params().Add("password=x");
  db_->SetConnected(false);  // the embedded engine holds the file for one handle at a time
  db_.reset();
  ospite.SetConnected(true);
  auto tr = CreaTransazioneReadCommitted(ospite);
  TSQLStatement st;
  st.SetDatabase(&ospite);
  st.SetTransaction(tr.get());
  st.SQL().Add("SELECT ID FROM T");
  try {
    st.Execute();
    ADD_FAILURE() << "no error";
  } catch (const ESQLNoPermission& e) {
    EXPECT_EQ(e.SQLCode(), -551);
    EXPECT_EQ(std::string(e.what()).rfind("no permission for SELECT access to TABLE T", 0), 0u)
        << e.what();
  }
}

// A thousand rows: a text that is NULL every 7th row and grows with the row, and every 100th row
// a blob long enough to be read in requests of its own.
class LetturaAnticipataTest : public AccessoTest {
 protected:
  std::string Ddl() const override {
    return "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY, TESTO VARCHAR(40),\n"
           "  LUNGO BLOB SUB_TYPE BINARY);\n"
           "INSERT INTO R " +
           RigheNumerate(1000,
                         "I, IIF(MOD(I, 7) = 0, NULL, LPAD('', MOD(I, 40), 'x')),\n"
                         "  IIF(MOD(I, 100) = 0, LPAD('', 20000, 'b'), NULL)") +
           ";\nCOMMIT;\n";
  }
};

// Rings of three rows and of two (cut by bytes) go round hundreds of times: every row arrives
// once, in order, with its NULLs, and a long blob of the same attachment is read while the next
// rows are being fetched.
TEST_F(LetturaAnticipataTest, RowsArriveInOrderAcrossTheRing) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto st = Statement(*tr, "SELECT ID, TESTO, LUNGO FROM R ORDER BY ID");
  for (auto [righe, byte] : {std::pair<int, size_t>{3, 1 << 20}, {512, 1}}) {
    SCOPED_TRACE(righe);
    st->Execute();
    st->LeggiInAnticipo(righe, byte);
    int atteso = 1;
    for (; !st->Eof(); st->Next(), ++atteso) {
      ASSERT_EQ(st->Fields(0).AsInteger(), atteso);
      ASSERT_EQ(st->Fields(1).IsNull(), atteso % 7 == 0);
      if (atteso % 7 != 0) {
        ASSERT_EQ(st->Fields(1).AsString().size(), size_t(atteso % 40));
      }
      ASSERT_EQ(st->Fields(2).IsNull(), atteso % 100 != 0);
      if (atteso % 100 == 0) {
        ASSERT_EQ(st->Fields(2).AsString(), std::string(20000, 'b'));
      }
    }
    EXPECT_EQ(atteso, 1001);
    EXPECT_EQ(st->RowCount(), 1000);
    st->Close();
  }
}

// A fetch that fails reaches the reader at its own row, with the error that the reading row by
// row gives; a reading left early, by a close, a commit or the release of the statement, stops
// without waiting for the rest, and the attachment serves the next request.
TEST_F(LetturaAnticipataTest, EveryEndingIsClean) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto st = Statement(*tr, "SELECT ID, 1/(ID-600) FROM R ORDER BY ID");
  auto finoAllErrore = [&](bool anticipo, int& righe) {
    st->Execute();
    if (anticipo) st->LeggiInAnticipo(4, 1 << 20);
    righe = 0;
    return TestoErrore([&] {
      for (; !st->Eof(); st->Next()) ++righe;
    });
  };
  int righe = 0, righeAnticipo = 0;
  const std::string errore = finoAllErrore(false, righe);
  EXPECT_EQ(finoAllErrore(true, righeAnticipo), errore);
  EXPECT_EQ(righeAnticipo, 599);
  EXPECT_EQ(righe, 599);
  EXPECT_FALSE(st->Open());

  auto tutte = Statement(*tr, "SELECT ID FROM R ORDER BY ID");
  tutte->Execute();
  tutte->LeggiInAnticipo(4, 1 << 20);
  tutte->Next();
  tutte->Close();
  tutte->Execute();
  tutte->LeggiInAnticipo(4, 1 << 20);
  EXPECT_EQ(tutte->Fields(0).AsInteger(), 1);
  tr->Commit();
  EXPECT_FALSE(tutte->Open());

  auto altra = CreaTransazioneSnapshot(*db_);
  auto lasciata = Statement(*altra, "SELECT ID FROM R");
  lasciata->Execute();
  lasciata->LeggiInAnticipo(2, 1 << 20);
  lasciata.reset();
  auto conta = Statement(*altra, "SELECT COUNT(*) FROM R");
  conta->Execute();
  EXPECT_EQ(conta->Fields(0).AsInteger(), 1000);
}
