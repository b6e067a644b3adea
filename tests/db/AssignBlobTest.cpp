// Blobs moved by Assign: a short one travels as a text parameter, a long one segment by segment;
// either way the destination holds the same bytes, NULL stays NULL and empty stays empty.
#include <optional>
#include <vector>

#include "AccessoFixture.h"
#include "support/FirebirdServer.h"

namespace {

const char* const kTabellaBlob =
    "CREATE TABLE BLOBS (ID INTEGER NOT NULL PRIMARY KEY, BT BLOB SUB_TYPE TEXT,\n"
    "  BB BLOB SUB_TYPE BINARY, BW BLOB SUB_TYPE TEXT CHARACTER SET WIN1252,\n"
    "  BO BLOB SUB_TYPE TEXT CHARACTER SET OCTETS, B5 BLOB SUB_TYPE -1,\n"
    "  BI BLOB SUB_TYPE TEXT CHARACTER SET ISO8859_1, VC VARCHAR(10));\n";
// The private test server finds no character set library: there the text blobs are in NONE.
const char* const kTabellaBlobServer =
    "CREATE TABLE BLOBS (ID INTEGER NOT NULL PRIMARY KEY, BT BLOB SUB_TYPE TEXT,\n"
    "  BB BLOB SUB_TYPE BINARY, BW BLOB SUB_TYPE TEXT, BO BLOB SUB_TYPE TEXT CHARACTER SET "
    "OCTETS,\n"
    "  B5 BLOB SUB_TYPE -1, BI BLOB SUB_TYPE TEXT, VC VARCHAR(10));\n";
const char* const kColonneBlob[] = {"BT", "BB", "BW", "BO", "B5", "BI"};

std::string OgniByte(size_t dimensione) {
  std::string s(dimensione, '\0');
  for (size_t i = 0; i < dimensione; ++i) s[i] = static_cast<char>((i * 13 + i / 256) % 256);
  return s;
}

struct Caso {
  const char* nome;
  std::optional<std::string> valore;  // nullopt: NULL
};

}  // namespace

class AssignBlobTest : public AccessoTest {
 protected:
  std::string Ddl() const override { return kTabellaBlob; }

  // Fills the source with one row per case, copies every row with Assign into `dest` (which
  // already holds row 1, so blobs are also replaced in place) and reads them back from there.
  void CopiaEVerifica(TSQLDatabase& dest) {
    std::string tutti(256, '\0');
    for (int i = 0; i < 256; ++i) tutti[static_cast<size_t>(i)] = static_cast<char>(i);
    // Short, long, short again: a buffer that kept the tail of a longer blob would show.
    const std::vector<Caso> casi = {
        {"all 256 byte values", tutti},
        {"empty", std::string()},
        {"NULL", std::nullopt},
        {"plain text", std::string("consegna al piano terra, citofono")},
        {"one byte", std::string(1, '\xff')},
        {"just below the text limit", OgniByte(32764)},
        {"at the text limit", OgniByte(32765)},
        {"just above the text limit", OgniByte(32766)},
        {"several segments", OgniByte(200000)},
        {"short after long", std::string("fine")},
    };
    {
      auto tr = CreaTransazioneSnapshot(*db_);
      auto ins =
          Statement(*tr, "INSERT INTO BLOBS VALUES (:ID, :BT, :BB, :BW, :BO, :B5, :BI, NULL)");
      for (size_t i = 0; i < casi.size(); ++i) {
        ins->ParamByName("ID").SetAsInteger(static_cast<int>(i));
        for (const char* colonna : kColonneBlob) {
          if (casi[i].valore)
            ins->ParamByName(colonna).SetAsString(*casi[i].valore);
          else
            ins->ParamByName(colonna).Clear();
        }
        ins->Execute();
      }
      tr->Commit();
    }
    {
      auto tr = CreaTransazioneSnapshot(dest);
      TSQLStatement pre;
      pre.SetDatabase(&dest);
      pre.SetTransaction(tr.get());
      pre.SetParamCheck(false);
      pre.SQL().Add("INSERT INTO BLOBS VALUES (1, 'old', 'old', 'old', 'old', NULL, 'old', 'old')");
      pre.Execute();
      tr->Commit();
    }
    {
      auto trDa = CreaTransazioneReadCommitted(*db_);
      auto trA = CreaTransazioneSnapshot(dest);
      auto sel =
          Statement(*trDa, "SELECT ID, BT, BB, BW, BO, B5, BI, VC FROM BLOBS ORDER BY ID", false);
      TSQLStatement ups;
      ups.SetDatabase(&dest);
      ups.SetTransaction(trA.get());
      ups.SQL().Add("UPDATE OR INSERT INTO BLOBS (ID, BT, BB, BW, BO, B5, BI, VC)");
      ups.SQL().Add("  VALUES (:ID, :BT, :BB, :BW, :BO, :B5, :BI, :VC) MATCHING (ID)");
      for (sel->Execute(); !sel->Eof(); sel->Next()) {
        for (int i = 0; i < sel->FieldCount(); ++i) ups.Params(i).Assign(sel->Fields(i));
        ups.Execute();
      }
      trA->Commit();
    }

    auto tr = CreaTransazioneReadCommitted(dest);
    TSQLStatement sel;
    sel.SetDatabase(&dest);
    sel.SetTransaction(tr.get());
    sel.SetParamCheck(false);
    sel.SQL().Add("SELECT ID, BT, BB, BW, BO, B5, BI, VC FROM BLOBS ORDER BY ID");
    size_t righe = 0;
    for (sel.Execute(); !sel.Eof(); sel.Next(), ++righe) {
      ASSERT_LT(righe, casi.size());
      const Caso& caso = casi[static_cast<size_t>(sel.Fields(0).AsInteger())];
      for (int c = 1; c <= 6; ++c) {
        SCOPED_TRACE(std::string(caso.nome) + ", column " + kColonneBlob[c - 1]);
        const TSQLVar& v = sel.Fields(c);
        ASSERT_EQ(v.IsNull(), !caso.valore.has_value());
        if (!caso.valore) continue;
        const std::string letto = v.AsString();
        EXPECT_EQ(letto.size(), caso.valore->size());
        EXPECT_TRUE(letto == *caso.valore);
      }
      EXPECT_TRUE(sel.Fields(7).IsNull());
    }
    EXPECT_EQ(righe, casi.size());
  }
};

TEST_F(AssignBlobTest, EveryBlobArrivesByteForByteEmbedded) {
  TempFolder altra;
  const std::string destinazione = altra / "dest.fdb";
  CreaDatabaseDiProva(destinazione, kTabellaBlob);
  auto dest = ConnettiArchivio(destinazione);
  CopiaEVerifica(*dest);
}

// Over the network the short blobs ride inside the parameters; the server must store the same.
TEST_F(AssignBlobTest, EveryBlobArrivesByteForByteThroughAServer) {
  FirebirdServer server;
  const std::string destinazione = server.DataFolder() + "dest.fdb";
  CreaDatabaseDiProva(destinazione, kTabellaBlobServer);
  auto dest = ConnettiArchivio(server.Nome() + ":" + destinazione, "tawnyquip");
  CopiaEVerifica(*dest);
}

// A blob copied onto a text parameter still reaches it, converted by the server.
TEST_F(AssignBlobTest, BlobIntoATextColumn) {
  Esegui("INSERT INTO BLOBS (ID, BT) VALUES (1, 'breve')");
  auto tr = CreaTransazioneSnapshot(*db_);
  auto sel = Statement(*tr, "SELECT BT FROM BLOBS WHERE ID = 1", false);
  auto upd = Statement(*tr, "UPDATE BLOBS SET VC = :VC WHERE ID = 1");
  sel->Execute();
  upd->Params(0).Assign(sel->Fields(0));
  upd->Execute();
  sel->Close();
  auto chk = Statement(*tr, "SELECT VC FROM BLOBS WHERE ID = 1", false);
  chk->Execute();
  EXPECT_EQ(chk->Fields(0).AsString(), "breve");
}
