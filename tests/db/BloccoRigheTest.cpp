// Many rows in one request: more upserts than a plain block could hold (the block calls them
// instead), a shorter last batch, and a refused block that leaves nothing and keeps its rows for
// running them one by one.
#include <vector>

#include "AccessoFixture.h"
#include "db/Blocco.h"
#include "db/SQLVar.h"

namespace {

const char* const kCorpo =
    "UPDATE OR INSERT INTO RIGHE (ID, \"Testo\", N, B) VALUES (:\"ID\", :\"Testo\", :\"N\", "
    ":\"B\") "
    "MATCHING (ID)";

std::vector<TParametroBlocco> Valori() {
  return {{"\"ID\"", "TYPE OF COLUMN RIGHE.ID"},
          {"\"Testo\"", "TYPE OF COLUMN RIGHE.\"Testo\""},
          {"\"N\"", "TYPE OF COLUMN RIGHE.N"},
          {"\"B\"", "TYPE OF COLUMN RIGHE.B"}};
}

}  // namespace

// Written in line, each row's statement names that row's values; other names, and the names in
// strings and comments, stay as written.
TEST(TestoBlocco, RowValuesInLine) {
  const struct {
    const char* corpo;
    const char* riga1;
  } casi[] = {
      {kCorpo,
       "UPDATE OR INSERT INTO RIGHE (ID, \"Testo\", N, B) VALUES (:P1_0, :P1_1, :P1_2, :P1_3) "
       "MATCHING (ID)"},
      {"X = :\"N\"||':\"N\"'/* :\"B\" */", "X = :P1_2||':\"N\"'/* :\"B\" */"},
      {":ALTRO, :\"IDX\", :\"ID\"", ":ALTRO, :\"IDX\", :P1_0"},
  };
  for (const auto& c : casi) {
    const std::string testo = TestoBlocco(c.corpo, Valori(), 2, true);
    EXPECT_NE(testo.find(std::string("IF (VSQL_RIGHE > 1) THEN ") + c.riga1 + ";\r\n"),
              std::string::npos)
        << testo;
  }
}

class BloccoRigheTest : public AccessoTest {
 protected:
  std::string Ddl() const override {
    return "CREATE TABLE RIGHE (ID INTEGER NOT NULL PRIMARY KEY, \"Testo\" CHAR(6), "
           "N NUMERIC(18,4), B BLOB SUB_TYPE BINARY, CONSTRAINT POSITIVO CHECK (ID > 0));";
  }

  void Riga(TBloccoRighe& blocco, int id) {
    blocco.Valore(0).SetAsInteger(id);
    blocco.Valore(1).SetAsString(std::string(1, 'r').append(std::to_string(id)));
    blocco.Valore(2).SetAsScaledInteger(id * 10001LL, -4);
    if (id > 0 && id % 2)
      blocco.Valore(3).SetAsString(std::string(static_cast<size_t>(id), '\xE8'));
    else
      blocco.Valore(3).Clear();
    blocco.AggiungiRiga();
  }
};

TEST_F(BloccoRigheTest, ManyRowsShortBatchAndRefusal) {
  auto tr = CreaTransazioneSnapshot(*db_);
  TBloccoRighe blocco(*db_, *tr, kCorpo, Valori(), 100);
  for (int id = 1; id <= 100; ++id) Riga(blocco, id);
  // A hundred upserts written out would take more table contexts than one statement has.
  EXPECT_FALSE(blocco.InLinea());
  EXPECT_GT(blocco.Byte(), 100u * 4);
  blocco.Esegui();
  EXPECT_EQ(blocco.Righe(), 0);
  EXPECT_EQ(blocco.Byte(), 0u);
  for (int id = 101; id <= 103; ++id) Riga(blocco, id);
  blocco.Esegui();

  // Row 3 of 4 is refused: the block leaves nothing, the rows stay to run alone (rows without
  // blob ids: a blob id serves one execution).
  for (int id : {200, 202, -5, 204}) Riga(blocco, id);
  std::string errore = TestoErrore([&] { blocco.Esegui(); });
  EXPECT_NE(errore.find("POSITIVO"), std::string::npos) << errore;
  ASSERT_EQ(blocco.Righe(), 4);
  auto singolo = Statement(*tr, kCorpo);
  blocco.CopiaRiga(1, *singolo);
  singolo->Execute();
  blocco.CopiaRiga(2, *singolo);
  EXPECT_NE(TestoErrore([&] { singolo->Execute(); }).find("POSITIVO"), std::string::npos);
  blocco.Svuota();
  tr->Commit();

  EXPECT_EQ(
      Isql("SELECT COUNT(*) AS RIGHE, SUM(ID) AS SOMMA, SUM(OCTET_LENGTH(B)) AS BYTEBLOB, "
           "COUNT(B) AS CONBLOB, MIN(N) AS MINIMO, MAX(\"Testo\" || '|') AS TESTO FROM RIGHE"),
      "\nRIGHE                           104\n"
      "SOMMA                           5558\n"
      "BYTEBLOB                        2704\n"
      "CONBLOB                         52\n"
      "MINIMO                          1.0001\n"
      "TESTO                           r99   |\n\n\n");
}

// Batches of every length up to the full one, then a short batch after a refused long one: the
// server holds one block, and rows left from the longer batch do not run again.
TEST_F(BloccoRigheTest, OneBlockWhateverTheBatchLengths) {
  auto tr = CreaTransazioneSnapshot(*db_);
  TBloccoRighe blocco(*db_, *tr, kCorpo, Valori(), 6);
  int id = 0;
  for (int righe = 6; righe >= 1; --righe) {
    for (int r = 0; r < righe; ++r) Riga(blocco, ++id);
    EXPECT_TRUE(blocco.InLinea());
    blocco.Esegui();
  }
  for (int riga : {300, 302, -5, 304}) Riga(blocco, riga);
  TestoErrore([&] { blocco.Esegui(); });
  blocco.Svuota();
  Riga(blocco, 306);
  blocco.Esegui();

  auto monitor = CreaTransazioneSnapshot(*db_);
  auto blocchi = Statement(*monitor,
                           "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$ATTACHMENT_ID = "
                           "CURRENT_CONNECTION AND MON$SQL_TEXT STARTING WITH 'EXECUTE BLOCK'",
                           false);
  blocchi->Execute();
  EXPECT_EQ(blocchi->Fields(0).AsInteger(), 1);
  monitor->Commit();
  tr->Commit();
  EXPECT_EQ(Isql("SELECT COUNT(*) AS RIGHE, SUM(ID) AS SOMMA FROM RIGHE"),
            "\nRIGHE                           22\n"
            "SOMMA                           537\n\n\n");
}
