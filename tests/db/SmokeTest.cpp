#include "AccessoFixture.h"

class Smoke : public AccessoTest {
  std::string Ddl() const override {
    return "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20), C CHAR(10));\n"
           "INSERT INTO T VALUES (1, 'uno', 'AB');\nINSERT INTO T VALUES (2, NULL, NULL);\n";
  }
};

TEST_F(Smoke, Select) {
  auto tr = CreaTransazioneReadCommitted(*db_);
  auto st = Statement(*tr, "SELECT ID, NOME, C FROM T ORDER BY ID");
  st->Execute();
  EXPECT_EQ(st->RowCount(), 1);
  EXPECT_EQ(st->FieldByName("nome").AsString(), "uno");
  EXPECT_EQ(st->Fields(2).AsString(), "AB        ");
  st->Next();
  EXPECT_TRUE(st->FieldByName("NOME").IsNull());
  st->Next();
  EXPECT_TRUE(st->Eof());
  auto ins = Statement(*tr, "INSERT INTO T (ID, NOME) VALUES (:ID, :NOME)");
  ins->ParamByName("id").SetAsInteger(3);
  ins->ParamByName("nome").SetAsString("tre");
  ins->Execute();
  tr->Commit();
  EXPECT_NE(Isql("SELECT NOME FROM T WHERE ID = 3").find("tre"), std::string::npos);
}
