#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "support/ArchiviOrdini.h"
#include "taskbase/Connessione.h"
#include "transfer/TravasiVornyUSA.h"

namespace {

// The two pairs over the archives, released handle after pair so that isql can then read them.
struct Coppie {
  explicit Coppie(const ArchiviOrdini& archivi)
      : databaseOrigine(ConnettiArchivio(archivi.origine)),
        origine(std::make_unique<TConnessione>(*databaseOrigine)),
        databaseDestinazione(ConnettiArchivio(archivi.destinazione)),
        destinazione(std::make_unique<TConnessione>(*databaseDestinazione)) {}

  // Rows of `tabella` that the destination's write transaction sees.
  int RigheInScrittura(const std::string& tabella, const std::string& where = "") {
    TStrings righe;
    righe.Add("SELECT * FROM " + tabella + (where.empty() ? "" : " WHERE " + where));
    return ContaRecordSQL(righe, destinazione->TransazioneScrittura());
  }

  std::unique_ptr<TSQLDatabase> databaseOrigine;
  std::unique_ptr<TConnessione> origine;
  std::unique_ptr<TSQLDatabase> databaseDestinazione;
  std::unique_ptr<TConnessione> destinazione;
};

// The order tables with one table's definition replaced.
std::string DdlConTabella(const std::string& tabella, const std::string& definizione) {
  std::string ddl = DdlOrdini();
  size_t inizio = ddl.find("CREATE TABLE " + tabella + " (");
  size_t fine = ddl.find(");", inizio);
  if (inizio == std::string::npos || fine == std::string::npos) ADD_FAILURE() << tabella;
  return ddl.replace(inizio, fine + 2 - inizio, definizione);
}

std::string DdlSenzaTabella(const std::string& tabella) {
  return DdlConTabella(tabella, "");
}

std::vector<std::string> Righe(const TStrings& sql) {
  return sql.Lines();
}

// Lines written on one line, separated by '|'.
std::vector<std::string> Diviso(const std::string& testo) {
  std::vector<std::string> righe(1);
  for (char c : testo) {
    if (c == '|')
      righe.emplace_back();
    else
      righe.back() += c;
  }
  return righe;
}

}  // namespace

TEST(TravasoTest, StatementsOfEveryTransfer) {
  struct Caso {
    TTravasoDatiVornyUSAClass classe;
    std::string tabella;
    std::vector<std::string> origine;
    std::string chiave;
  };
  const std::vector<std::string> selezione = {"WHERE", "  A.IDUTENTE=61", "  OR",
                                              "  B.NAZIONE='USA'"};
  auto con = [&](std::vector<std::string> righe) {
    righe.insert(righe.end(), selezione.begin(), selezione.end());
    return righe;
  };
  const Caso casi[] = {
      {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_ClientiOrdini>, "CLIENTI",
       con({"SELECT DISTINCT", "  C.*", "FROM", "  PS_ORDINI A", "  INNER JOIN CLIENTI B ON",
            "  B.CODICE=A.CODDEST", "  INNER JOIN CLIENTI C ON",
            "  C.CODICE=B.INTESTATARIOFATTURA"}),
       "MATCHING(CODICE)"},
      {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_ClientiOrdini>, "CLIENTI",
       con({"SELECT DISTINCT", "  B.*", "FROM", "  PS_ORDINI A", "  INNER JOIN CLIENTI B ON",
            "  B.CODICE=A.CODDEST"}),
       "MATCHING(CODICE)"},
      {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_Ordini>, "PS_ORDINI",
       con({"SELECT", "  A.*", "FROM", "  PS_ORDINI A", "  LEFT JOIN CLIENTI B ON",
            "  B.CODICE=A.CODDEST"}),
       "MATCHING(IDSESSIONE)"},
      {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoInsCar>, "PS_STOINSCAR",
       con({"SELECT", "  C.*", "FROM", "  PS_ORDINI A", "  LEFT JOIN CLIENTI B ON",
            "  B.CODICE=A.CODDEST", "  INNER JOIN PS_STOINSCAR C ON",
            "  C.IDSESSIONE=A.IDSESSIONE"}),
       "MATCHING(IDINSERIMENTO)"},
      {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>, "PS_STOSESSION",
       con({"SELECT", "  C.*", "FROM", "  PS_ORDINI A", "  LEFT JOIN CLIENTI B ON",
            "  B.CODICE=A.CODDEST", "  INNER JOIN PS_STOSESSION C ON", "  C.ID=A.IDSESSIONE"}),
       "MATCHING(ID)"},
  };
  ArchiviOrdini archivi;
  Coppie coppie(archivi);
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.tabella + " " + caso.chiave);
    auto travaso = caso.classe(*coppie.origine, *coppie.destinazione);
    EXPECT_EQ(travaso->Tabella(), caso.tabella);
    std::string messaggio = "da svuotare";
    ASSERT_TRUE(travaso->Prepara(messaggio)) << messaggio;
    EXPECT_EQ(messaggio, "");
    // The selection runs as written; it may be wrapped in a query that adds the short blobs
    // as text after the table's columns.
    const std::vector<std::string> origine = Righe(travaso->SQLOrigine()->SQL());
    EXPECT_NE(std::search(origine.begin(), origine.end(), caso.origine.begin(), caso.origine.end()),
              origine.end())
        << ::testing::PrintToString(origine);

    const std::vector<std::string> destinazione = Righe(travaso->SQLDestinazione()->SQL());
    ASSERT_FALSE(destinazione.empty());
    EXPECT_EQ(destinazione.front(), "UPDATE OR INSERT INTO " + caso.tabella + "(");
    EXPECT_EQ(destinazione.back(), caso.chiave);
  }
  // The layout that the statement follows is the source's, in column position order.
  auto sessioni = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
      *coppie.origine, *coppie.destinazione);
  std::string messaggio;
  ASSERT_TRUE(sessioni->Prepara(messaggio));
  EXPECT_EQ(Righe(sessioni->SQLDestinazione()->SQL()),
            Diviso("UPDATE OR INSERT INTO PS_STOSESSION(|\"ID\"|,|\"INIZIO\"|,|\"FINE\"|,|"
                   "\"DURATA\"|,|\"TERMINALE\"|,|\"REGISTRO\"|)|VALUES(|:\"ID\"|,|:\"INIZIO\"|,|"
                   ":\"FINE\"|,|:\"DURATA\"|,|:\"TERMINALE\"|,|:\"REGISTRO\"|)|MATCHING(ID)"));
}

// Each layout that the destination cannot take is reported for the first failing column in
// source order, before the order-side table is emptied; a wider destination is accepted.
TEST(TravasoTest, LayoutComparison) {
  struct Caso {
    const char* nome;
    std::string definizione;  // the destination's PS_STOSESSION
    std::string messaggio;    // empty: accepted
    std::string origine;      // the source's PS_STOSESSION; empty: the usual one
  };
  auto sessioni = [](const std::string& durata, const std::string& terminale) {
    return "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, INIZIO TIMESTAMP, FINE "
           "TIME, DURATA " +
           durata + ", TERMINALE " + terminale + ", REGISTRO BLOB SUB_TYPE TEXT);";
  };
  const std::string cornice =
      "Rilevata discrepanza tra il tracciato di origine e quello di destinazione (";
  const Caso casi[] = {
      {"missing column",
       "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, INIZIO TIMESTAMP, FINE TIME,"
       " DURATA DOUBLE PRECISION, REGISTRO BLOB SUB_TYPE TEXT);",
       cornice + "Campo \"TERMINALE\" mancante in destinazione)", ""},
      {"name differing in case",
       "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, INIZIO TIMESTAMP, FINE TIME,"
       " DURATA DOUBLE PRECISION, \"Terminale\" CHAR(8), REGISTRO BLOB SUB_TYPE TEXT);",
       cornice + "Campo \"TERMINALE\" mancante in destinazione)", ""},
      {"different type",
       "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, INIZIO TIMESTAMP, FINE TIME,"
       " DURATA FLOAT, TERMINALE CHAR(8), REGISTRO BLOB SUB_TYPE TEXT);",
       cornice + "Campo \"DURATA\" di tipo differente in destinazione)", ""},
      {"CHAR turned VARCHAR",
       "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, INIZIO TIMESTAMP, FINE TIME,"
       " DURATA DOUBLE PRECISION, TERMINALE VARCHAR(8), REGISTRO BLOB SUB_TYPE TEXT);",
       cornice + "Campo \"TERMINALE\" di tipo differente in destinazione)", ""},
      {"shorter text",
       "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, INIZIO TIMESTAMP, FINE TIME,"
       " DURATA DOUBLE PRECISION, TERMINALE CHAR(7), REGISTRO BLOB SUB_TYPE TEXT);",
       cornice + "Dimensione campo \"TERMINALE\" non compatibile con la destinazione)", ""},
      {"first failure in source order",
       "CREATE TABLE PS_STOSESSION (REGISTRO INTEGER, TERMINALE CHAR(2), ID INTEGER NOT NULL "
       "PRIMARY KEY, INIZIO TIMESTAMP, FINE TIMESTAMP);",
       cornice + "Campo \"FINE\" di tipo differente in destinazione)", ""},
      {"wider destination",
       "CREATE TABLE PS_STOSESSION (EXTRA1 INTEGER, REGISTRO BLOB SUB_TYPE TEXT, TERMINALE "
       "CHAR(20), DURATA DOUBLE PRECISION, FINE TIME, INIZIO TIMESTAMP, ID INTEGER NOT NULL "
       "PRIMARY KEY, EXTRA2 VARCHAR(5));",
       "", ""},
      {"fewer decimals, before a shorter text", sessioni("NUMERIC(15,2)", "CHAR(7)"),
       cornice + "Decimali campo \"DURATA\" non compatibili con la destinazione)",
       sessioni("NUMERIC(15,4)", "CHAR(8)")},
      {"decimals into an integer", sessioni("INTEGER", "CHAR(8)"),
       cornice + "Decimali campo \"DURATA\" non compatibili con la destinazione)",
       sessioni("NUMERIC(9,2)", "CHAR(8)")},
      {"more decimals", sessioni("NUMERIC(18,4)", "CHAR(8)"), "",
       sessioni("NUMERIC(15,2)", "CHAR(8)")},
  };
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.nome);
    ArchiviOrdini archivi(DatiOrigine(), "INSERT INTO PS_STOSESSION (ID) VALUES (900);",
                          caso.origine.empty() ? "" : DdlConTabella("PS_STOSESSION", caso.origine),
                          DdlConTabella("PS_STOSESSION", caso.definizione));
    Coppie coppie(archivi);
    auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
        *coppie.origine, *coppie.destinazione);
    std::string messaggio;
    bool esito = travaso->Esegui(messaggio);
    EXPECT_EQ(messaggio, caso.messaggio);
    EXPECT_EQ(esito, caso.messaggio.empty());
    if (esito) {
      EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION"), 3);
      EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION", "ID IN (100,200,400)"), 3);
    } else {
      EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION", "ID=900"), 1);
    }
  }
}

TEST(TravasoTest, TableMissingOnEitherSide) {
  struct Caso {
    std::string ddlOrigine, ddlDestinazione, messaggio;
  };
  const Caso casi[] = {
      {DdlSenzaTabella("PS_STOSESSION"), "", "Tabella \"PS_STOSESSION\" non trovata in origine"},
      {"", DdlSenzaTabella("PS_STOSESSION"),
       "Tabella \"PS_STOSESSION\" non trovata in destinazione"},
      {DdlSenzaTabella("PS_STOSESSION"), DdlSenzaTabella("PS_STOSESSION"),
       "Tabella \"PS_STOSESSION\" non trovata in origine"},
  };
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.messaggio);
    ArchiviOrdini archivi("", "", caso.ddlOrigine, caso.ddlDestinazione);
    Coppie coppie(archivi);
    auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
        *coppie.origine, *coppie.destinazione);
    std::string messaggio;
    EXPECT_FALSE(travaso->Esegui(messaggio));
    EXPECT_EQ(messaggio, caso.messaggio);
    EXPECT_EQ(travaso->SQLOrigine(), nullptr);
  }
}

// Every value arrives whole: exact numerics of every width, fractions of a second, 8-bit text,
// text and binary blobs (one of 80 KB), NULLs, a BIGINT key. The old order rows are gone.
TEST(TravasoTest, ValuesArriveWhole) {
  ArchiviOrdini archivi;
  {
    Coppie coppie(archivi);
    auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoInsCar>(
        *coppie.origine, *coppie.destinazione);
    std::string messaggio;
    ASSERT_TRUE(travaso->Esegui(messaggio)) << messaggio;
    EXPECT_EQ(messaggio, "");
    travaso.reset();
    coppie.destinazione->TransazioneScrittura().Commit();
  }
  std::string atteso = DumpTabella(archivi.origine, "PS_STOINSCAR", "IDSESSIONE IN (100,200,400)");
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_STOINSCAR"), atteso);
  EXPECT_NE(atteso.find("123456789012345.6789"), std::string::npos);
  EXPECT_NE(atteso.find("LUNGHEZZAIMMAGINE               80017"), std::string::npos);

  // The same values checked by the destination server itself, against the source's literals.
  std::string esatti = QueryIsql(archivi.destinazione,
                                 "SELECT COUNT(*) AS ESATTI FROM PS_STOINSCAR WHERE "
                                 "IDINSERIMENTO=1001 AND QUANTITA=-32768 AND PEZZI=2147483647 "
                                 "AND CODICEGRANDE=9223372036854775807 AND SCONTORIGA=12.75 AND "
                                 "PREZZO=1234567.89 AND IMPORTO=123456789012345.6789 AND "
                                 "ALIQUOTA=99999999999999.9999 AND PESO=CAST(1.1 AS FLOAT) AND "
                                 "VOLUME=1e0/3 AND DATACONSEGNA='1800-01-01' AND "
                                 "ORACONSEGNA='23:59:59.9999' AND "
                                 "MODIFICATO='2024-02-29 23:59:59.1234' AND UNITA=x'E8E0F9' AND "
                                 "DESCRIZIONE=x'436166E8208020E0' AND ETICHETTA=x'7069F9' AND "
                                 "NOTE=x'72696761E80D0A756E6F' AND IMMAGINE=x'00FF10000A0D'");
  EXPECT_NE(esatti.find("ESATTI                          1"), std::string::npos) << esatti;
  std::string nulli = QueryIsql(
      archivi.destinazione,
      "SELECT COUNT(*) AS NULLI FROM PS_STOINSCAR WHERE IDINSERIMENTO=1002 AND QUANTITA IS NULL "
      "AND PEZZI IS NULL AND CODICEGRANDE IS NULL AND SCONTORIGA IS NULL AND PREZZO IS NULL AND "
      "IMPORTO IS NULL AND ALIQUOTA IS NULL AND PESO IS NULL AND VOLUME IS NULL AND DATACONSEGNA "
      "IS NULL AND ORACONSEGNA IS NULL AND MODIFICATO IS NULL AND UNITA IS NULL AND DESCRIZIONE "
      "IS NULL AND ETICHETTA IS NULL AND NOTE IS NULL AND IMMAGINE IS NULL");
  EXPECT_NE(nulli.find("NULLI                           1"), std::string::npos) << nulli;
}

// Prepara may run again on the same object: the statements are closed and rewritten.
TEST(TravasoTest, PreparaTwice) {
  ArchiviOrdini archivi;
  Coppie coppie(archivi);
  auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
      *coppie.origine, *coppie.destinazione);
  std::string messaggio;
  ASSERT_TRUE(travaso->Prepara(messaggio)) << messaggio;
  TSQLStatement* origine = travaso->SQLOrigine();
  ASSERT_TRUE(travaso->Prepara(messaggio)) << messaggio;
  EXPECT_EQ(travaso->SQLOrigine(), origine);
  EXPECT_EQ(travaso->Campi()->Count(), 6);
  ASSERT_TRUE(travaso->Travasa(messaggio)) << messaggio;
  EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION"), 3);
  EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION", "ID IN (100,200,400)"), 3);
}

// A row that the destination refuses ends the copy with the server's text; the rows written
// before it stay in the open transaction, which the transfer does not end.
TEST(TravasoTest, RowRejectedByDestination) {
  ArchiviOrdini archivi(DatiOrigine(), "", "",
                        DdlOrdini() +
                            "ALTER TABLE PS_STOSESSION ADD CONSTRAINT DURATA_BREVE "
                            "CHECK (DURATA IS NULL OR DURATA < 1000);");
  Coppie coppie(archivi);
  auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
      *coppie.origine, *coppie.destinazione);
  std::string messaggio;
  EXPECT_FALSE(travaso->Esegui(messaggio));
  const std::string testa = "Errore interno durante l'inserimento record\r";
  ASSERT_EQ(messaggio.substr(0, testa.size()), testa) << messaggio;
  std::string server = messaggio.substr(testa.size());
  EXPECT_NE(server.find("CHECK constraint DURATA_BREVE"), std::string::npos) << server;
  EXPECT_EQ(server.find("Errore interno"), std::string::npos);
  EXPECT_TRUE(coppie.destinazione->TransazioneScrittura().InTransaction());
  EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION", "ID IN (100,200)"), 2);
  EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION", "ID=400"), 0);
}

namespace {

// The customers of both steps, their rows in blocks of four.
class ClientiInBlocchi : public TTravasoDatiVornyUSA_ClientiOrdini {
 public:
  using TTravasoDatiVornyUSA_ClientiOrdini::TTravasoDatiVornyUSA_ClientiOrdini;

 protected:
  TMisureBlocco MisureBlocco() const override { return {4, 1 << 20, 8000}; }
};

}  // namespace

// One source query serves two steps (invoice holders C01 and C03, then ship-to customers C01
// and C02): the second step is announced before its first row, and each step's rows go in blocks
// of their own, so that a row refused by the destination is named under its own step.
TEST(TravasoTest, TwoStepsOfOneQuery) {
  for (const bool rifiuta : {false, true}) {
    SCOPED_TRACE(rifiuta);
    ArchiviOrdini archivi(DatiOrigine(), "", "",
                          DdlOrdini() + (rifiuta ? "ALTER TABLE CLIENTI ADD CONSTRAINT NO_C03 "
                                                   "CHECK (CODICE <> 'C03');"
                                                 : ""));
    Coppie coppie(archivi);
    auto travaso =
        TTravasoDatiVornyUSA::Crea<ClientiInBlocchi>(*coppie.origine, *coppie.destinazione);
    std::vector<int> passi;
    travaso->SetCambioPasso([&](int passo) { passi.push_back(passo); });
    std::string messaggio;
    EXPECT_EQ(travaso->Esegui(messaggio), !rifiuta) << messaggio;
    EXPECT_EQ(messaggio.find("NO_C03") != std::string::npos, rifiuta) << messaggio;
    EXPECT_EQ(passi, rifiuta ? std::vector<int>{} : std::vector<int>{2});
    if (!rifiuta) {
      EXPECT_EQ(coppie.RigheInScrittura("CLIENTI", "CODICE IN ('C01','C02','C03')"), 3);
    }
  }
}

TEST(TravasoTest, EmptyingRefused) {
  ArchiviOrdini archivi(DatiOrigine(), "INSERT INTO PS_STOSESSION (ID) VALUES (900);", "",
                        DdlOrdini() + R"(
CREATE EXCEPTION SESSIONI_FISSE 'le sessioni non si cancellano';
SET TERM ^;
CREATE TRIGGER SESSIONI_NO_DELETE FOR PS_STOSESSION BEFORE DELETE AS
BEGIN
  EXCEPTION SESSIONI_FISSE;
END^
SET TERM ;^
)");
  Coppie coppie(archivi);
  auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
      *coppie.origine, *coppie.destinazione);
  std::string messaggio;
  EXPECT_FALSE(travaso->Esegui(messaggio));
  const std::string testa = "Fallito azzeramento tabella destinazione \"PS_STOSESSION\"\r";
  ASSERT_EQ(messaggio.substr(0, testa.size()), testa) << messaggio;
  EXPECT_NE(messaggio.find("le sessioni non si cancellano"), std::string::npos) << messaggio;
  // The copy loop did not run.
  EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION"), 1);
}

namespace {

// The session transfer over a source query whose columns are not in the layout's order.
class TSessioniInDisordine : public TTravasoDatiVornyUSA_PS_StoSession {
 public:
  using TTravasoDatiVornyUSA_PS_StoSession::TTravasoDatiVornyUSA_PS_StoSession;

 protected:
  void ComponiSQLOrigine(TStrings& righe) override {
    righe.Add("SELECT C.ID, C.FINE, C.INIZIO, C.DURATA, C.TERMINALE, C.REGISTRO");
    righe.Add("FROM PS_STOSESSION C");
  }
};

}  // namespace

// Column names that only a quoted identifier reaches (lower case, blanks, a reserved word, a
// double quote) are written like any other; a source query that returns the layout's columns
// in another order is refused before anything is emptied or written.
TEST(TravasoTest, ColumnsByTheirExactNamesAndPositions) {
  const std::string tabella =
      "CREATE TABLE PS_STOSESSION (ID INTEGER NOT NULL PRIMARY KEY, \"inizio\" TIMESTAMP, "
      "\"FINE SESSIONE\" TIME, \"ORDER\" DOUBLE PRECISION, \"Term\"\"inale\" CHAR(8), "
      "REGISTRO BLOB SUB_TYPE TEXT);";
  const std::string dati = R"(
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE) VALUES (1, 100, 61);
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE) VALUES (2, 200, 61);
INSERT INTO PS_STOSESSION VALUES (100, '2024-03-01 08:00:00.0001', '08:30:00.5', 1e0/7, 'T1', 'a');
INSERT INTO PS_STOSESSION VALUES (200, NULL, '23:59:59.9999', -2.5, NULL, NULL);
)";
  const std::string colonne =
      "SELECT ID, \"inizio\", \"FINE SESSIONE\", \"ORDER\", \"Term\"\"inale\" AS T,"
      " CAST(REGISTRO AS VARCHAR(10)) AS R FROM PS_STOSESSION ORDER BY ID";
  ArchiviOrdini archivi(dati, "INSERT INTO PS_STOSESSION (ID) VALUES (900);",
                        DdlConTabella("PS_STOSESSION", tabella),
                        DdlConTabella("PS_STOSESSION", tabella));
  {
    Coppie coppie(archivi);
    auto travaso = TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>(
        *coppie.origine, *coppie.destinazione);
    std::string messaggio;
    ASSERT_TRUE(travaso->Esegui(messaggio)) << messaggio;
    travaso.reset();
    coppie.destinazione->TransazioneScrittura().Commit();
  }
  EXPECT_EQ(QueryIsql(archivi.destinazione, colonne), QueryIsql(archivi.origine, colonne));

  ArchiviOrdini standard;
  Coppie coppie(standard);
  auto disordine =
      TTravasoDatiVornyUSA::Crea<TSessioniInDisordine>(*coppie.origine, *coppie.destinazione);
  std::string messaggio;
  EXPECT_FALSE(disordine->Esegui(messaggio));
  EXPECT_EQ(messaggio,
            "Rilevata discrepanza tra il tracciato di origine e quello di destinazione (Campo "
            "\"FINE\" fuori posizione nella query di origine)");
  EXPECT_EQ(coppie.RigheInScrittura("PS_STOSESSION", "ID=900"), 1);
}
