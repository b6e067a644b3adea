#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "db/SQLDatabase.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "support/ArchiviOrdini.h"
#include "support/ServerSito.h"
#include "support/TestSupport.h"
#include "taskbase/Connessione.h"
#include "transfer/TravasiVornyUSA.h"

namespace {

// The types that Firebird 4 added, as columns of the order rows.
const char kColonneNuove[] =
    "ALTER TABLE PS_STOINSCAR ADD I128 INT128, ADD N38 NUMERIC(38,4), ADD D16 DECFLOAT(16),"
    " ADD D34 DECFLOAT(34), ADD TZT TIME WITH TIME ZONE, ADD TZS TIMESTAMP WITH TIME ZONE;\n"
    "COMMIT;\n";

// The new columns of the selected order rows, each as the server's own text.
const char kTestoNuove[] =
    "SET LIST ON;\n"
    "SELECT IDINSERIMENTO, CAST(I128 AS VARCHAR(60)) AS I128, CAST(N38 AS VARCHAR(60)) AS N38,"
    " CAST(D16 AS VARCHAR(60)) AS D16, CAST(D34 AS VARCHAR(60)) AS D34,"
    " CAST(TZT AS VARCHAR(60)) AS TZT, CAST(TZS AS VARCHAR(60)) AS TZS"
    " FROM PS_STOINSCAR WHERE IDSESSIONE IN (100,200,400) ORDER BY IDINSERIMENTO;\n";

class Firebird4Test : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = TServerSito::DaAmbiente("FB4");
    if (!server_) GTEST_SKIP() << "no Firebird 4 server (scripts/ci-servers.sh)";
    // The server's data folder lives for the whole run: each test names its own files.
    server_->dati += ::testing::UnitTest::GetInstance()->current_test_info()->name();
    server_->dati += '-';
  }

  // Order archives on the server, the new columns in both, `valori` run in the source.
  void CreaArchivi(const std::string& valori) {
    server_->CreaDatabase("origine.fdb", DdlOrdini());
    server_->Isql("origine.fdb", DatiOrigine() + kColonneNuove + valori + "COMMIT;\n");
    server_->CreaDatabase("destinazione.fdb", DdlOrdini());
    server_->Isql("destinazione.fdb", DatiDestinazione() + kColonneNuove);
  }

  std::unique_ptr<TSQLDatabase> Connetti(const std::string& file) {
    return ConnettiArchivio(server_->Nome(file), server_->passwordSysdba);
  }

  // The order rows' transfer between the two archives; the destination committed on success.
  // `righe`: the destination's order rows that its transaction saw at the end.
  bool CopiaRigheOrdine(std::string& messaggio, int* righe = nullptr) {
    auto origine = Connetti("origine.fdb");
    auto destinazione = Connetti("destinazione.fdb");
    TConnessione coppiaOrigine(*origine), coppiaDestinazione(*destinazione);
    auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoInsCar>(
        coppiaOrigine, coppiaDestinazione);
    const bool esito = travaso->Esegui(messaggio);
    travaso.reset();
    TStrings tutte;
    tutte.Add("SELECT * FROM PS_STOINSCAR");
    if (righe) *righe = ContaRecordSQL(tutte, coppiaDestinazione.TransazioneScrittura());
    if (esito) coppiaDestinazione.TransazioneScrittura().Commit();
    return esito;
  }

  std::optional<TServerSito> server_;
};

}  // namespace

TEST_F(Firebird4Test, SystemTablesWithTheNewTypes) {
  server_->CreaDatabase("tipi.fdb",
                        "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, I128 INT128,"
                        " N38 NUMERIC(38,4), D16 DECFLOAT(16), D34 DECFLOAT(34),"
                        " TZT TIME WITH TIME ZONE, TZS TIMESTAMP WITH TIME ZONE);");
  auto database = Connetti("tipi.fdb");
  TCampoSQLList campi;
  ASSERT_TRUE(CaricaCampiSQL("T", *database, campi));
  ASSERT_EQ(campi.Count(), 7);
  EXPECT_EQ(campi.Campo(1).Tipo, tcInt128);
  EXPECT_EQ(campi.Campo(2).Tipo, tcInt128);
  EXPECT_EQ(campi.Campo(2).Precisione, 38);
  EXPECT_EQ(campi.Campo(2).Scala, 4);
  EXPECT_EQ(campi.Campo(3).Tipo, tcDecFloat16);
  EXPECT_EQ(campi.Campo(4).Tipo, tcDecFloat34);
  EXPECT_EQ(campi.Campo(5).Tipo, tcTimeTZ);
  EXPECT_EQ(campi.Campo(6).Tipo, tcTimeStampTZ);

  // The identity of an archive: its creation time is kept WITH TIME ZONE by this server.
  auto identita = [](TSQLDatabase& db) {
    TSQLTransaction transazione;
    transazione.SetDefaultDatabase(&db);
    return IdentitaDatabase(db, transazione);
  };
  const TIdentitaDatabase prima = identita(*database);
  EXPECT_NE(prima.Nome.find("tipi.fdb"), std::string::npos);
  EXPECT_EQ(identita(*Connetti("tipi.fdb")), prima);
}

// Extremes of every new type, zones by name and by offset, NULLs: the destination server's text
// of each value is the source server's.
TEST_F(Firebird4Test, NewTypesArriveExactly) {
  CreaArchivi(
      "UPDATE PS_STOINSCAR SET I128 = 170141183460469231731687303715884105727,"
      " N38 = -1234567890123456789012345678901234.5678, D16 = 1.234567890123456E+384,"
      " D34 = -1.000000000000000000000000000000001E-6143, TZT = '23:59:59.9999 +13:45',"
      " TZS = '2021-10-31 03:30:00.0001 Europe/Rome' WHERE IDINSERIMENTO = 1001;\n"
      "UPDATE PS_STOINSCAR SET I128 = -170141183460469231731687303715884105728,"
      " N38 = 0.0001, D16 = -0E+5, D34 = 1.00, TZT = '00:00:00.0001 America/New_York',"
      " TZS = '0001-01-01 00:00:00.0000 -14:00' WHERE IDINSERIMENTO = 9000000000000000001;\n"
      "UPDATE PS_STOINSCAR SET D16 = CAST('-Infinity' AS DECFLOAT(16)),"
      " D34 = CAST('NaN' AS DECFLOAT(34)) WHERE IDINSERIMENTO = 1004;\n");
  std::string messaggio;
  ASSERT_TRUE(CopiaRigheOrdine(messaggio)) << messaggio;

  const std::string atteso = server_->Isql("origine.fdb", kTestoNuove);
  EXPECT_EQ(server_->Isql("destinazione.fdb", kTestoNuove), atteso);
  EXPECT_NE(atteso.find("170141183460469231731687303715884105727"), std::string::npos) << atteso;
  EXPECT_NE(atteso.find("-1.000000000000000000000000000000001E-6143"), std::string::npos);
  EXPECT_NE(atteso.find("Europe/Rome"), std::string::npos);
}

// At the end of daylight saving time a local time by zone name happens twice: the one that its
// text does not give back refuses the table before the destination is touched.
TEST_F(Firebird4Test, AmbiguousZoneTimeRefusesTheTable) {
  CreaArchivi(
      "UPDATE PS_STOINSCAR SET TZS = TIMESTAMP '2021-10-31 00:30:00 UTC' AT TIME ZONE "
      "'Europe/Rome' WHERE IDINSERIMENTO = 1001;\n"
      "UPDATE PS_STOINSCAR SET TZS = TIMESTAMP '2021-10-31 01:30:00 UTC' AT TIME ZONE "
      "'Europe/Rome' WHERE IDINSERIMENTO = 1002;\n");
  std::string messaggio;
  int righe = -1;
  EXPECT_FALSE(CopiaRigheOrdine(messaggio, &righe));
  EXPECT_NE(messaggio.find("Tabella \"PS_STOINSCAR\", campo \"TZS\""), std::string::npos)
      << messaggio;
  EXPECT_EQ(righe, 1);  // the old order row, not yet emptied
}
