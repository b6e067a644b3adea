#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "AccessoFixture.h"

namespace {

const char* const kTabellaTipi =
    "CREATE TABLE TIPI (ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, I INTEGER, BI BIGINT,\n"
    "  N92 NUMERIC(9,2), N184 NUMERIC(18,4), N186 NUMERIC(18,6), F FLOAT, D DOUBLE PRECISION,\n"
    "  TS TIMESTAMP, DT DATE, TM TIME, C10 CHAR(10), VC VARCHAR(20), BT BLOB SUB_TYPE TEXT,\n"
    "  BB BLOB SUB_TYPE BINARY, BO BOOLEAN);\n";

const char* const kColonne =
    "ID, SI, I, BI, N92, N184, N186, F, D, TS, DT, TM, C10, VC, BT, BB, BO";

std::string TuttiIByte(size_t dimensione) {
  std::string s(dimensione, '\0');
  for (size_t i = 0; i < dimensione; ++i) s[i] = static_cast<char>((i * 7 + i / 256) % 256);
  return s;
}

// 2024-02-29 in the engine's day numbers; 10:15:30.4567 in 1/10000 s.
constexpr int32_t kGiorno = 60369;
constexpr uint32_t kOra = (10 * 3600 + 15 * 60 + 30) * 10000 + 4567;

}  // namespace

class SQLVarTest : public AccessoTest {
 protected:
  std::string Ddl() const override { return kTabellaTipi; }

  // Inserts one row through named parameters set by `imposta`, then reads it back.
  std::unique_ptr<TSQLStatement> Inserisci(int id,
                                           const std::function<void(TSQLStatement&)>& imposta) {
    auto tr = CreaTransazioneSnapshot(*db_);
    auto ins = Statement(*tr, std::string("INSERT INTO TIPI (") + kColonne +
                                  ") VALUES (:ID, :SI, :I, :BI, :N92, :N184, :N186, :F, :D, :TS,"
                                  " :DT, :TM, :C10, :VC, :BT, :BB, :BO)");
    ins->ParamByName("ID").SetAsInteger(id);
    imposta(*ins);
    ins->Execute();
    tr->Commit();
    lettura_ = CreaTransazioneReadCommitted(*db_);
    auto sel = Statement(*lettura_, std::string("SELECT ") + kColonne +
                                        " FROM TIPI WHERE ID = " + std::to_string(id));
    sel->Execute();
    EXPECT_EQ(sel->RowCount(), 1);
    return sel;
  }

  std::unique_ptr<TSQLTransaction> lettura_;
};

TEST_F(SQLVarTest, WholeValuesRoundTripExactly) {
  const std::string blob = TuttiIByte(1 << 20);
  struct Caso {
    int64_t bi;
    int64_t n184;
  };
  // BIGINT extremes and NUMERIC(18,4) at both ends of its range.
  const Caso casi[] = {{std::numeric_limits<int64_t>::max(), 123456789012345678},
                       {std::numeric_limits<int64_t>::min(), -123456789012345678},
                       {0, 0}};
  int id = 1;
  for (const Caso& c : casi) {
    SCOPED_TRACE(id);
    auto sel = Inserisci(id++, [&](TSQLStatement& s) {
      s.ParamByName("BI").SetAsScaledInteger(c.bi, 0);
      s.ParamByName("N184").SetAsScaledInteger(c.n184, -4);
      s.ParamByName("N92").SetAsScaledInteger(1275, -2);
      s.ParamByName("TS").SetAsTimeStamp({kGiorno, kOra});
      s.ParamByName("DT").SetAsSQLDate(kGiorno);
      s.ParamByName("TM").SetAsSQLTime(kOra);
      s.ParamByName("BB").SetAsString(blob);
      s.ParamByName("BT").SetAsString("riga 1\r\nriga 2");
    });
    EXPECT_EQ(sel->FieldByName("BI").AsScaledInteger(), c.bi);
    EXPECT_EQ(sel->FieldByName("N184").AsScaledInteger(), c.n184);
    EXPECT_EQ(sel->FieldByName("N184").Scale(), -4);
    EXPECT_EQ(sel->FieldByName("N92").AsScaledInteger(), 1275);
    EXPECT_EQ(sel->FieldByName("TS").AsTimeStamp(), (TSQLTimeStamp{kGiorno, kOra}));
    EXPECT_EQ(sel->FieldByName("DT").AsSQLDate(), kGiorno);
    EXPECT_EQ(sel->FieldByName("TM").AsSQLTime(), kOra);
    EXPECT_TRUE(sel->FieldByName("BB").AsString() == blob) << "binary blob differs";
    EXPECT_EQ(sel->FieldByName("BT").AsString(), "riga 1\r\nriga 2");
  }
  // The same values seen by isql, so that a fault shared by writing and reading cannot hide.
  std::string isql = Isql("SELECT BI, N184, TS, TM FROM TIPI WHERE ID = 1");
  EXPECT_NE(isql.find("9223372036854775807"), std::string::npos) << isql;
  EXPECT_NE(isql.find("12345678901234.5678"), std::string::npos) << isql;
  EXPECT_NE(isql.find("2024-02-29 10:15:30.4567"), std::string::npos) << isql;
  EXPECT_NE(isql.find("10:15:30.4567"), std::string::npos) << isql;
}

TEST_F(SQLVarTest, ClassicAccessorsReadAndWrite) {
  auto sel = Inserisci(1, [](TSQLStatement& s) {
    s.ParamByName("SI").SetAsInteger(-7);
    s.ParamByName("I").SetAsString("42");
    s.ParamByName("N92").SetAsDouble(12.75);
    s.ParamByName("N186").SetAsCurrency(-1234567);  // -123.4567
    s.ParamByName("F").SetAsDouble(0.5);
    s.ParamByName("D").SetAsDouble(-3.9);
    s.ParamByName("C10").SetAsString("AB");
    s.ParamByName("VC").SetAsString("");
    s.ParamByName("TS").SetAsDateTime(45351.25);  // 2024-02-29 06:00
    s.ParamByName("DT").SetAsDate(45351.75);
    s.ParamByName("TM").SetAsTime(45351.5);
    s.ParamByName("BO").SetAsString("TRUE");
  });
  EXPECT_EQ(sel->FieldByName("SI").AsInteger(), -7);
  EXPECT_EQ(sel->FieldByName("SI").AsString(), "-7");
  EXPECT_EQ(sel->FieldByName("I").AsInteger(), 42);
  EXPECT_EQ(sel->FieldByName("N92").AsInteger(), 12);
  EXPECT_EQ(sel->FieldByName("N92").AsString(), "12.75");
  EXPECT_DOUBLE_EQ(sel->FieldByName("N92").AsDouble(), 12.75);
  EXPECT_EQ(sel->FieldByName("N186").AsString(), "-123.4567");
  EXPECT_DOUBLE_EQ(sel->FieldByName("N186").AsDouble(), -123.4567);
  EXPECT_EQ(sel->FieldByName("N186").AsInteger(), -123);
  EXPECT_DOUBLE_EQ(sel->FieldByName("F").AsDouble(), 0.5);
  EXPECT_EQ(sel->FieldByName("D").AsInteger(), -3);
  EXPECT_EQ(sel->FieldByName("D").AsString(), "-3.9");
  EXPECT_EQ(sel->FieldByName("C10").AsString(), "AB        ");
  EXPECT_FALSE(sel->FieldByName("VC").IsNull());
  EXPECT_EQ(sel->FieldByName("VC").AsString(), "");
  EXPECT_DOUBLE_EQ(sel->FieldByName("TS").AsDateTime(), 45351.25);
  EXPECT_EQ(sel->FieldByName("TS").AsString(), "29/02/2024 06:00:00");
  EXPECT_DOUBLE_EQ(sel->FieldByName("DT").AsDateTime(), 45351.0);
  EXPECT_EQ(sel->FieldByName("DT").AsString(), "29/02/2024");
  EXPECT_DOUBLE_EQ(sel->FieldByName("TM").AsDateTime(), 0.5);
  EXPECT_EQ(sel->FieldByName("TM").AsString(), "12:00:00");
  EXPECT_EQ(sel->FieldByName("BO").AsInteger(), 1);
}

TEST_F(SQLVarTest, TimestampThroughDateTimeDropsTheFraction) {
  Inserisci(1, [](TSQLStatement& s) { s.ParamByName("TS").SetAsTimeStamp({kGiorno, kOra}); });
  auto tr = CreaTransazioneSnapshot(*db_);
  auto sel = Statement(*tr, "SELECT TS FROM TIPI WHERE ID = 1");
  sel->Execute();
  auto upd = Statement(*tr, "UPDATE TIPI SET TS = :TS WHERE ID = 1");
  upd->Params(0).SetAsDateTime(sel->Fields(0).AsDateTime());
  sel->Close();
  upd->Execute();
  sel->Execute();
  EXPECT_EQ(sel->Fields(0).AsTimeStamp(), (TSQLTimeStamp{kGiorno, kOra - 4567}));
}

TEST_F(SQLVarTest, NullInEveryType) {
  auto sel = Inserisci(1, [](TSQLStatement& s) {
    for (int i = 1; i < s.ParamCount(); ++i) {
      s.Params(i).SetAsInteger(1);  // a value first, so that Clear has something to undo
      s.Params(i).Clear();
    }
  });
  for (int i = 1; i < sel->FieldCount(); ++i) {
    TSQLVar& f = sel->Fields(i);
    SCOPED_TRACE(f.Name());
    EXPECT_TRUE(f.IsNull());
    EXPECT_EQ(f.AsString(), "");
    EXPECT_EQ(f.AsInteger(), 0);
    EXPECT_EQ(f.AsDouble(), 0);
    EXPECT_EQ(f.AsDateTime(), 0);
    EXPECT_EQ(f.AsVariant().tipo, TVariant::Tipo::Null);
  }
}

// The copy loop of a table transfer: every column of a row of one database into the parameter of
// the same position of an upsert on another database, in both directions of NULL.
TEST_F(SQLVarTest, AssignCopiesEveryTypeBetweenDatabasesExactly) {
  const std::string blob = TuttiIByte(1 << 20);
  Inserisci(1, [&](TSQLStatement& s) {
    s.ParamByName("SI").SetAsInteger(-32768);
    s.ParamByName("I").SetAsInteger(std::numeric_limits<int32_t>::min());
    s.ParamByName("BI").SetAsScaledInteger(std::numeric_limits<int64_t>::max(), 0);
    s.ParamByName("N92").SetAsScaledInteger(-1275, -2);
    s.ParamByName("N184").SetAsScaledInteger(123456789012345678, -4);
    s.ParamByName("N186").SetAsScaledInteger(-999999999999999999, -6);
    s.ParamByName("F").SetAsDouble(1.0 / 3);
    s.ParamByName("D").SetAsDouble(-3.9);
    s.ParamByName("TS").SetAsTimeStamp({kGiorno, kOra});
    s.ParamByName("DT").SetAsSQLDate(kGiorno);
    s.ParamByName("TM").SetAsSQLTime(kOra);
    s.ParamByName("C10").SetAsString("AB");
    s.ParamByName("VC").SetAsString("l'\xe8 vero");
    s.ParamByName("BT").SetAsString("");
    s.ParamByName("BB").SetAsString(blob);
    s.ParamByName("BO").SetAsString("FALSE");
  });
  Inserisci(2, [](TSQLStatement&) {});  // all NULL
  Inserisci(3, [](TSQLStatement& s) { s.ParamByName("VC").SetAsString("x"); });

  TempFolder altra;
  const std::string destinazione = altra / "dest.fdb";
  CreaDatabaseDiProva(destinazione, kTabellaTipi);
  auto dest = ConnettiArchivio(destinazione);
  {
    auto trDa = CreaTransazioneReadCommitted(*db_);
    auto trA = CreaTransazioneSnapshot(*dest);
    TSQLStatement sel;
    sel.SetDatabase(db_.get());
    sel.SetTransaction(trDa.get());
    sel.SetParamCheck(false);
    sel.SQL().Add(std::string("SELECT ") + kColonne + " FROM TIPI ORDER BY ID");
    TSQLStatement ups;
    ups.SetDatabase(dest.get());
    ups.SetTransaction(trA.get());
    ups.SQL().Add(std::string("UPDATE OR INSERT INTO TIPI (") + kColonne + ")");
    ups.SQL().Add("  VALUES (:ID, :SI, :I, :BI, :N92, :N184, :N186, :F, :D, :TS, :DT, :TM,");
    ups.SQL().Add("  :C10, :VC, :BT, :BB, :BO) MATCHING (ID)");
    int righe = 0;
    for (sel.Execute(); !sel.Eof(); sel.Next()) {
      for (int i = 0; i < sel.FieldCount(); ++i) ups.Params(i).Assign(sel.Fields(i));
      ups.Execute();
      ++righe;
    }
    EXPECT_EQ(righe, 3);
    trA->Commit();
  }
  dest->SetConnected(false);
  // isql would print binary blobs whole: those are compared through the layer below.
  std::string query =
      "SELECT ID, SI, I, BI, N92, N184, N186, F, D, TS, DT, TM, C10, VC, BT, BO, BB IS NULL AS BBN"
      " FROM TIPI ORDER BY ID";
  db_->SetConnected(false);
  std::string attesa = QueryIsql(percorso_, query);
  std::string ottenuta = QueryIsql(destinazione, query);
  EXPECT_EQ(ottenuta, attesa);
  EXPECT_NE(attesa.find("12345678901234.5678"), std::string::npos);
  EXPECT_NE(attesa.find("10:15:30.4567"), std::string::npos);
  db_->SetConnected(true);
  dest->SetConnected(true);
  auto trDa = CreaTransazioneReadCommitted(*db_);
  auto trA = CreaTransazioneReadCommitted(*dest);
  auto a = Statement(*trDa, "SELECT BB FROM TIPI WHERE ID = 1");
  TSQLStatement b;
  b.SetDatabase(dest.get());
  b.SetTransaction(trA.get());
  b.SQL().Add("SELECT BB, OCTET_LENGTH(BB) FROM TIPI WHERE ID = 1");
  a->Execute();
  b.Execute();
  EXPECT_EQ(b.Fields(1).AsInteger(), 1 << 20);
  EXPECT_TRUE(b.Fields(0).AsString() == blob);
}

TEST_F(SQLVarTest, SetterWritesEveryParameterOfTheSameName) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto ins = Statement(*tr, "INSERT INTO TIPI (ID, I, SI, VC) VALUES (:A, :a, :\"A\", :B)");
  ASSERT_EQ(ins->ParamCount(), 4);
  EXPECT_EQ(ins->Params(1).Name(), "A");
  ins->ParamByName("a").SetAsInteger(9);
  ins->Params(3).SetAsString("b");
  ins->Execute();
  tr->Commit();
  EXPECT_NE(Isql("SELECT ID, I, SI FROM TIPI")
                .find("ID                              9\n"
                      "I                               9\n"
                      "SI                              9"),
            std::string::npos);
}

TEST_F(SQLVarTest, StringSetterFollowsTheDescribedType) {
  auto tr = CreaTransazioneSnapshot(*db_);
  auto ins = Statement(*tr, "INSERT INTO TIPI (ID, I, VC, TS) VALUES (:ID, :I, :VC, :TS)");
  EXPECT_EQ(ins->ParamByName("VC").MaxLength(), 20);
  EXPECT_EQ(TestoErrore([&] { ins->ParamByName("VC").SetAsString(std::string(21, 'x')); }),
            "Trying to store a string of length 21 into a field that can only contain 20");
  const struct {
    int id;
    const char* i;
    const char* vc;
    const char* ts;
  } righe[] = {
      {1, "12", "x", "29/02/2024 10:15:30"}, {2, "", "", ""}, {3, " 7 ", "", "2024-03-01"}};
  for (const auto& r : righe) {
    SCOPED_TRACE(r.id);
    ins->Params(0).SetAsInteger(r.id);
    ins->Params(1).SetAsString(r.i);
    ins->Params(2).SetAsString(r.vc);
    ins->Params(3).SetAsString(r.ts);
    ins->Execute();
  }
  EXPECT_EQ(TestoErrore([&] { ins->Params(3).SetAsString("31/02/2024"); }),
            "Invalid data conversion");
  tr->Commit();
  std::string isql = Isql("SELECT ID, I, VC, TS FROM TIPI ORDER BY ID");
  // Row 2: an empty text is NULL for INTEGER and TIMESTAMP, an empty string for VARCHAR, also
  // after the same parameters received texts on the row before.
  EXPECT_NE(isql.find("ID                              2\n"
                      "I                               <null>\n"
                      "VC                              \n"
                      "TS                              <null>"),
            std::string::npos)
      << isql;
  EXPECT_NE(isql.find("2024-02-29 10:15:30.0000"), std::string::npos) << isql;
  EXPECT_NE(isql.find("I                               7"), std::string::npos) << isql;
}

TEST_F(SQLVarTest, ConversionFailures) {
  auto sel = Inserisci(1, [](TSQLStatement& s) {
    s.ParamByName("VC").SetAsString("abc");
    s.ParamByName("BI").SetAsScaledInteger(std::numeric_limits<int64_t>::max(), 0);
    s.ParamByName("C10").SetAsString("31/02/2024");
    s.ParamByName("BT").SetAsString("t");
    s.ParamByName("D").SetAsDouble(1e20);
    s.ParamByName("I").SetAsInteger(1);
  });
  const std::string conv = "Invalid data conversion";
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("VC").AsInteger(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("VC").AsDouble(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("VC").AsDateTime(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("C10").AsDateTime(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("BI").AsVariant(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("BT").AsInteger(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("VC").AsScaledInteger(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("I").AsTimeStamp(); }), conv);
  // Values that do not fit 32 bits are refused rather than wrapped.
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("BI").AsInteger(); }), conv);
  EXPECT_EQ(TestoErrore([&] { sel->FieldByName("D").AsInteger(); }), conv);

  auto tr = CreaTransazioneSnapshot(*db_);
  auto ins = Statement(*tr, "INSERT INTO TIPI (ID) VALUES (:ID)");
  EXPECT_EQ(
      TestoErrore([&] { ins->Params(0).SetAsVariant(TVariant::Make(TVariant::Tipo::Array)); }),
      "Unsupported feature");
  EXPECT_EQ(
      TestoErrore([&] { ins->Params(0).SetAsVariant(TVariant::Make(TVariant::Tipo::Oggetto)); }),
      "Not permitted");
  for (double fuori : {1e300, -1e7, std::nan("")})
    EXPECT_EQ(TestoErrore([&] { ins->Params(0).SetAsDateTime(fuori); }), conv) << fuori;
}

TEST_F(SQLVarTest, VariantsByType) {
  auto sel = Inserisci(1, [](TSQLStatement& s) {
    s.ParamByName("SI").SetAsVariant(TVariant::MakeIntero(5));
    s.ParamByName("N92").SetAsVariant(TVariant::MakeCurrency(127500));  // 12.75
    s.ParamByName("N186").SetAsVariant(TVariant::MakeDouble(1.5));
    s.ParamByName("D").SetAsVariant(TVariant::MakeDouble(2.25));
    s.ParamByName("TS").SetAsVariant(TVariant::MakeDateTime(45351.5));
    s.ParamByName("VC").SetAsVariant(TVariant::MakeTesto("v"));
    s.ParamByName("BT").SetAsVariant(TVariant::MakeTesto("blob"));
    s.ParamByName("I").SetAsVariant(TVariant::MakeNull());
  });
  TVariant v = sel->FieldByName("SI").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::Intero);
  EXPECT_EQ(v.intero, 5);
  v = sel->FieldByName("N92").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::Currency);
  EXPECT_EQ(v.currency, 127500);
  v = sel->FieldByName("N186").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::Double);
  EXPECT_EQ(v.reale, 1.5);
  v = sel->FieldByName("D").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::Double);
  EXPECT_EQ(v.reale, 2.25);
  v = sel->FieldByName("TS").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::DateTime);
  EXPECT_DOUBLE_EQ(v.reale, 45351.5);
  v = sel->FieldByName("VC").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::Testo);
  EXPECT_EQ(v.testo, "v");
  v = sel->FieldByName("BT").AsVariant();
  EXPECT_EQ(v.tipo, TVariant::Tipo::Testo);
  EXPECT_EQ(v.testo, "(Blob)");
  EXPECT_EQ(sel->FieldByName("BT").AsString(), "blob");
  EXPECT_EQ(sel->FieldByName("I").AsVariant().tipo, TVariant::Tipo::Null);
}
