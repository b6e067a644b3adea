#include <filesystem>
#include <string>
#include <utility>

#include "AccessoFixture.h"

namespace {

std::unique_ptr<TSQLDatabase> Database(const std::string& nome) {
  auto db = std::make_unique<TSQLDatabase>();
  db->SetDatabaseName(nome);
  db->SetLoginPrompt(false);
  db->Params().Add("user_name=SYSDBA");
  db->Params().Add("password=masterkey");
  return db;
}

}  // namespace

TEST(SQLDatabaseTest, ConnectRefusals) {
  TempFolder cartella;
  TSQLDatabase vuoto;
  EXPECT_EQ(vuoto.SQLDialect(), 3);
  EXPECT_TRUE(vuoto.LoginPrompt());
  EXPECT_EQ(TestoErrore([&] { vuoto.SetConnected(true); }), "Database name is missing");
  EXPECT_EQ(TestoErrore([&] { vuoto.SetSQLDialect(0); }), "SQL Dialect Invalid");

  auto db = Database(cartella / "manca.fdb");
  EXPECT_EQ(TestoErrore([&] { db->SetConnected(true); }),
            "I/O error during \"open\" operation for file \"" + (cartella / "manca.fdb") +
                "\"\r\nError while trying to open file\r\nNo such file or directory");
  EXPECT_FALSE(db->Connected());

  db->Params().Add("isc_dpb_sweep=1");
  EXPECT_EQ(TestoErrore([&] { db->SetConnected(true); }),
            "DPB Constant (isc_dpb_sweep) is unsupported");
  EXPECT_FALSE(db->Connected());
}

TEST(SQLDatabaseTest, TextBetweenQuotes) {
  const std::pair<std::string, std::string> apici[] = {{"D'ARCO", "'D''ARCO'"},
                                                       {"''", "''''''"},
                                                       {"A", "'A'"},
                                                       {"", "''"},
                                                       {"x' OR '1'='1", "'x'' OR ''1''=''1'"}};
  for (const auto& [testo, atteso] : apici) EXPECT_EQ(TraApici(testo), atteso);
  EXPECT_EQ(TraApici("nome \"x\" 'y'", '"'), "\"nome \"\"x\"\" 'y'\"");
}

TEST(SQLDatabaseTest, CreateDatabaseWithAQuoteInThePath) {
  TempFolder cartella;
  const std::string nome = cartella / "l'archivio.fdb";
  auto db = Database(nome);
  db->Params().Clear();
  db->Params().Add("USER 'SYSDBA' PASSWORD 'masterkey'");
  db->Params().Add("PAGE_SIZE 8192");
  db->CreateDatabase();
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(db->DatabaseDialect(), 3);
  EXPECT_TRUE(std::filesystem::is_regular_file(nome));
  EXPECT_EQ(TestoErrore([&] { db->CreateDatabase(); }),
            "Cannot perform operation -- DB is currently open");
  EXPECT_EQ(TestoErrore([&] { db->SetDatabaseName(cartella / "altro.fdb"); }),
            "Cannot perform operation -- DB is currently open");
  EXPECT_EQ(TestoErrore([&] { db->Params().Clear(); }),
            "Cannot perform operation -- DB is currently open");
  db->SetDatabaseName(nome);  // the same name: nothing to refuse
  EXPECT_EQ(TestoErrore([&] { db->SetSQLDialect(4); }), "SQL Dialect Invalid");

  auto tr = CreaTransazioneReadCommitted(*db);
  TSQLStatement st;
  st.SetDatabase(db.get());
  st.SetTransaction(tr.get());
  st.SQL().Add("SELECT MON$PAGE_SIZE FROM MON$DATABASE");
  st.Execute();
  EXPECT_EQ(st.Fields(0).AsInteger(), 8192);
  tr.reset();
  db->SetConnected(false);
  db->SetConnected(true);  // the parameters for connecting were rebuilt from the new lines
}

TEST(SQLDatabaseTest, DialectIsLoweredToTheDatabases) {
  TempFolder cartella;
  const std::string nome = cartella / "d1.fdb";
  RunIsql("", "SET SQL DIALECT 1;\nCREATE DATABASE '" + nome +
                  "' USER 'SYSDBA' PASSWORD 'masterkey';\n"
                  "CREATE TABLE T (NOME INTEGER, D TIMESTAMP);\nCOMMIT;\n");
  auto db = Database(nome);
  db->SetConnected(true);
  EXPECT_EQ(db->DatabaseDialect(), 1);
  EXPECT_EQ(db->SQLDialect(), 1);
  EXPECT_EQ(TestoErrore([&] { db->SetSQLDialect(2); }), "SQL Dialect Invalid");
  auto tr = CreaTransazioneSnapshot(*db);
  TSQLStatement st;
  st.SetDatabase(db.get());
  st.SetTransaction(tr.get());
  st.SQL().Add("INSERT INTO T VALUES (:\"Nome\", :D)");
  ASSERT_EQ(st.ParamCount(), 2);
  // In dialect 1 every name is upper-cased, quotes included.
  EXPECT_EQ(st.Params(0).Name(), "\"NOME\"");
  st.Params(0).SetAsInteger(5);
  st.Params(1).SetAsDate(45351.5);  // a timestamp in this dialect
  EXPECT_EQ(st.Params(1).SQLType(), 510);
  st.Execute();
  st.SQL().Clear();
  st.SQL().Add("SELECT D FROM T");
  st.Execute();
  EXPECT_EQ(st.Fields(0).SQLType(), 510);
  EXPECT_DOUBLE_EQ(st.Fields(0).AsDateTime(), 45351.5);
}
