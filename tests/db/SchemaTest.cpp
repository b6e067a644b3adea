#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "support/TestSupport.h"

namespace {

// A table whose layout takes more than the 32,765 bytes that one value carries.
std::string TabellaLarga() {
  std::string sql = "CREATE TABLE LARGA (";
  for (int i = 0; i < 700; ++i)
    sql += (i ? ", COLONNA_DELLA_TABELLA_LARGA_" : "COLONNA_DELLA_TABELLA_LARGA_") +
           std::to_string(i) + " INTEGER";
  return sql + ");\n";
}

class SchemaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cartella_ = new TempFolder;
    CreaDatabaseDiProva(*cartella_ / "schema.fdb", R"(
CREATE TABLE RIGHE (
  ZETA VARCHAR(40) NOT NULL,
  ALFA INTEGER NOT NULL,
  IMPORTO NUMERIC(15,2),
  SCONTO DECIMAL(15,2),
  PREZZO NUMERIC(9,2),
  QUOTA NUMERIC(4,1),
  GRANDE BIGINT,
  PICCOLO SMALLINT,
  REALE FLOAT,
  DOPPIO DOUBLE PRECISION,
  GIORNO DATE,
  ORA TIME,
  ISTANTE TIMESTAMP,
  SIGLA CHAR(3),
  TESTO BLOB SUB_TYPE TEXT,
  DATI BLOB SUB_TYPE BINARY,
  CONSTRAINT PK_RIGHE PRIMARY KEY (ALFA, ZETA)
);
CREATE TABLE UNICA (CODICE INTEGER NOT NULL UNIQUE, NOME VARCHAR(10));
CREATE VIEW VISTA AS SELECT ALFA FROM RIGHE;
CREATE TABLE "minuscola" (A INTEGER);
CREATE TABLE "a:b;c" ("x;1" INTEGER, "2:y" VARCHAR(5), Z NUMERIC(9,3));
CREATE TABLE "città" ("è" INTEGER);
INSERT INTO UNICA VALUES (1, 'uno');
INSERT INTO UNICA VALUES (2, 'due');
INSERT INTO UNICA VALUES (3, 'tre');
)" + TabellaLarga());
  }
  static void TearDownTestSuite() {
    delete cartella_;
    cartella_ = nullptr;
  }

  void SetUp() override {
    database_.SetDatabaseName(*cartella_ / "schema.fdb");
    database_.Params().Add("user_name=SYSDBA");
    database_.Params().Add("password=masterkey");
    database_.SetLoginPrompt(false);
    database_.SetConnected(true);
  }

  static TempFolder* cartella_;
  TSQLDatabase database_;
};

TempFolder* SchemaTest::cartella_ = nullptr;

}  // namespace

TEST_F(SchemaTest, LayoutOfEveryColumnType) {
  struct Atteso {
    const char* nome;
    TTipoCampoSQL tipo;
    int dimensione, precisione, scala;
    bool chiave;
  };
  const Atteso attesi[] = {
      {"ZETA", tcVarChar, 40, 0, 0, true},      {"ALFA", tcInteger, 0, 0, 0, true},
      {"IMPORTO", tcBigInt, 0, 15, 2, false},   {"SCONTO", tcDecimal, 0, 15, 2, false},
      {"PREZZO", tcInteger, 0, 9, 2, false},    {"QUOTA", tcSmallInt, 0, 4, 1, false},
      {"GRANDE", tcBigInt, 0, 0, 0, false},     {"PICCOLO", tcSmallInt, 0, 0, 0, false},
      {"REALE", tcFloat, 0, 0, 0, false},       {"DOPPIO", tcDouble, 0, 0, 0, false},
      {"GIORNO", tcDate, 0, 0, 0, false},       {"ORA", tcTime, 0, 0, 0, false},
      {"ISTANTE", tcTimeStamp, 0, 0, 0, false}, {"SIGLA", tcChar, 3, 0, 0, false},
      {"TESTO", tcBlob, 0, 0, 0, false},        {"DATI", tcBlob, 0, 0, 0, false},
  };
  TCampoSQLList campi;
  ASSERT_TRUE(CaricaCampiSQL("RIGHE", database_, campi));
  ASSERT_EQ(campi.Count(), static_cast<int>(std::size(attesi)));
  for (int i = 0; i < campi.Count(); ++i) {
    const Atteso& atteso = attesi[i];
    const TCampoSQL& campo = campi.Campo(i);
    SCOPED_TRACE(atteso.nome);
    EXPECT_EQ(campo.Nome, atteso.nome);
    EXPECT_EQ(campo.Tipo, atteso.tipo);
    EXPECT_EQ(campo.Dimensione, atteso.dimensione);
    EXPECT_EQ(campo.Precisione, atteso.precisione);
    EXPECT_EQ(campo.Scala, atteso.scala);
    EXPECT_EQ(campo.Chiave, atteso.chiave);
  }

  // A unique constraint is not a primary key.
  ASSERT_TRUE(CaricaCampiSQL("UNICA", database_, campi));
  ASSERT_EQ(campi.Count(), 2);
  EXPECT_FALSE(campi.Campo(0).Chiave);
  EXPECT_FALSE(campi.Campo(1).Chiave);
  EXPECT_EQ(campi.Campo(1).Dimensione, 10);
}

TEST_F(SchemaTest, NoLayoutLeavesTheListEmpty) {
  for (const char* nome : {"", "righe", "NESSUNA", "MINUSCOLA"}) {
    SCOPED_TRACE(nome);
    TCampoSQLList campi;
    campi.NuovoCampo().Nome = "VECCHIO";
    EXPECT_FALSE(CaricaCampiSQL(nome, database_, campi));
    EXPECT_EQ(campi.Count(), 0);
  }
  // A quoted lower-case name is stored as written.
  TCampoSQLList campi;
  EXPECT_TRUE(CaricaCampiSQL("minuscola", database_, campi));
  EXPECT_EQ(campi.Count(), 1);
}

TEST_F(SchemaTest, TableExistence) {
  struct Caso {
    const char* nome;
    bool esiste;
  };
  const Caso casi[] = {{"RIGHE", true},    {"VISTA", true},    {"RDB$RELATIONS", true},
                       {"righe", false},   {"NESSUNA", false}, {"", false},
                       {"minuscola", true}};
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.nome);
    EXPECT_EQ(EsisteTabella(caso.nome, database_), caso.esiste);
  }
  // The form on a given transaction starts it when inactive and leaves it active.
  TSQLTransaction transazione;
  transazione.SetDefaultDatabase(&database_);
  ASSERT_FALSE(transazione.InTransaction());
  EXPECT_TRUE(EsisteTabella("UNICA", database_, transazione));
  EXPECT_TRUE(transazione.InTransaction());
  EXPECT_FALSE(EsisteTabella("MANCANTE", database_, transazione));
  EXPECT_TRUE(transazione.InTransaction());
}

// One request brings the identity and the layouts of the tables asked for, each as CaricaCampiSQL
// reads it alone, whatever characters their names hold and however many columns they have; a
// table that does not exist has no entry, and with none found the identity still comes.
TEST_F(SchemaTest, DescriptionOfADatabase) {
  TSQLTransaction transazione;
  transazione.SetDefaultDatabase(&database_);
  const TIdentitaDatabase identita = IdentitaDatabase(database_, transazione);
  const std::vector<std::string> tabelle = {"UNICA", "NESSUNA", "RIGHE", "minuscola",
                                            "VISTA", "a:b;c",   "città"};
  for (const char* larga : {"", "LARGA"}) {
    SCOPED_TRACE(larga);
    std::vector<std::string> chieste = tabelle;
    if (*larga) chieste.push_back(larga);
    TTracciati tracciati;
    EXPECT_EQ(DescriviDatabase(chieste, database_, transazione, tracciati), identita);
    ASSERT_EQ(tracciati.size(), chieste.size() - 1);
    EXPECT_EQ(tracciati.count("NESSUNA"), 0u);
    for (const auto& [tabella, campi] : tracciati) {
      SCOPED_TRACE(tabella);
      TCampoSQLList soli;
      ASSERT_TRUE(CaricaCampiSQL(tabella, database_, soli));
      ASSERT_EQ(campi.Count(), soli.Count());
      for (int i = 0; i < campi.Count(); ++i) {
        EXPECT_EQ(campi.Campo(i).Nome, soli.Campo(i).Nome);
        EXPECT_EQ(campi.Campo(i).Tipo, soli.Campo(i).Tipo);
        EXPECT_EQ(campi.Campo(i).Dimensione, soli.Campo(i).Dimensione);
        EXPECT_EQ(campi.Campo(i).Scala, soli.Campo(i).Scala);
        EXPECT_EQ(campi.Campo(i).Chiave, soli.Campo(i).Chiave);
      }
    }
  }
  TTracciati tracciati;
  EXPECT_EQ(DescriviDatabase({"NESSUNA"}, database_, transazione, tracciati), identita);
  EXPECT_TRUE(tracciati.empty());
}

TEST_F(SchemaTest, RowCountOfASelect) {
  std::unique_ptr<TSQLTransaction> transazione = CreaTransazioneReadCommitted(database_);
  struct Caso {
    std::vector<std::string> righe;
    int32_t attesi;
  };
  const Caso casi[] = {
      {{"SELECT * FROM UNICA"}, 3},
      {{"SELECT", "  *", "FROM", "  UNICA", "WHERE", "  CODICE > 5"}, 0},
      {{"SELECT NOME FROM UNICA", "ORDER BY", "  NOME"}, 3},
      {{"SELECT R.RDB$RELATION_NAME FROM RDB$RELATIONS R", "WHERE R.RDB$RELATION_NAME='UNICA'"}, 1},
  };
  for (const Caso& caso : casi) {
    TStrings righe;
    for (const std::string& riga : caso.righe) righe.Add(riga);
    SCOPED_TRACE(righe.Text());
    EXPECT_EQ(ContaRecordSQL(righe, *transazione), caso.attesi);
  }

  TStrings righe;
  righe.Add("SELECT * FROM NESSUNA");
  EXPECT_THROW(ContaRecordSQL(righe, *transazione), ESQLError);

  TSQLTransaction inattiva;
  inattiva.SetDefaultDatabase(&database_);
  righe.Clear();
  righe.Add("SELECT * FROM UNICA");
  try {
    ContaRecordSQL(righe, inattiva);
    ADD_FAILURE() << "no error";
  } catch (const ESQLError& e) {
    EXPECT_EQ(std::string(e.what()), "Transaction is not active");
  }
}

TEST(CampoSQLListTest, RecordsAndLookup) {
  TCampoSQLList campi;
  EXPECT_EQ(campi.Count(), 0);
  TCampoSQL& nuovo = campi.NuovoCampo();
  EXPECT_EQ(nuovo.Nome, "");
  EXPECT_EQ(nuovo.Tipo, tcSconosciuto);
  EXPECT_EQ(nuovo.Dimensione, 0);
  EXPECT_EQ(nuovo.Precisione, 0);
  EXPECT_EQ(nuovo.Scala, 0);
  EXPECT_FALSE(nuovo.Chiave);
  nuovo.Nome = "NOME";
  campi.NuovoCampo().Nome = "CODICE";
  campi.NuovoCampo().Nome = "NOME";
  EXPECT_EQ(&campi.Campo(0), &nuovo);

  EXPECT_EQ(campi.IndiceCampo("NOME"), 0);
  EXPECT_EQ(campi.IndiceCampo("CODICE"), 1);
  EXPECT_EQ(campi.IndiceCampo("nome"), -1);
  EXPECT_EQ(campi.IndiceCampo("NOME "), -1);
  EXPECT_EQ(campi.IndiceCampo(""), -1);

  for (int indice : {3, -1, 100}) {
    try {
      campi.Campo(indice);
      ADD_FAILURE() << indice;
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(indice) + ")");
    }
  }
  campi.Clear();
  EXPECT_EQ(campi.Count(), 0);
  EXPECT_EQ(campi.IndiceCampo("CODICE"), -1);
}

// Bare only as a plain upper-case identifier of at most 63 characters that the server does not
// reserve: the first and last reserved words included, a longer word that begins with one not.
TEST(NomeNudoTest, PlainIdentifiersOnly) {
  const std::pair<std::string, bool> casi[] = {
      {"ID", true},          {"A$_1", true},
      {"ADDS", true},        {std::string(63, 'N'), true},
      {"", false},           {"Terminale", false},
      {"1A", false},         {"_A", false},
      {"A B", false},        {"ADD", false},
      {"YEAR", false},       {"SELECT", false},
      {"RDB$DB_KEY", false}, {std::string(64, 'N'), false}};
  for (const auto& [nome, nudo] : casi) EXPECT_EQ(NomeNudo(nome), nudo) << nome;
}

// A note cut to a column counts characters of the column's set and never ends inside one.
TEST(TagliaAColonnaTest, CutsWholeCharacters) {
  const struct {
    const char* set;
    int bytes;
    std::string testo;
    int caratteri;
    std::string atteso;
  } casi[] = {
      {"WIN1252", 1, "caf\xE8 s\xEC", 4, "caf\xE8"},
      {"UTF8", 4, "abcdef", 4, "abcd"},
      {"UTF8", 4, "caff\xC3\xA8 \xE2\x82\xAC!", 5, "caff\xC3\xA8"},
      {"UTF8", 4, "\xE2\x82\xAC\xF0\x9F\x98\x80x", 2, "\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"UTF8", 4, "corta", 40, "corta"},
      // Malformed UTF-8 (a WIN1252 text, a lone continuation byte, a sequence cut short, an
      // overlong form, a surrogate, past U+10FFFF): each byte that begins no character is one,
      // as U+FFFD.
      {"UTF8", 4, "caf\xE8 s\xEC", 6, "caf\xEF\xBF\xBD s"},
      {"UTF8", 4, "\xE8rr", 2, "\xEF\xBF\xBDr"},
      {"UNICODE_FSS", 3,
       "a\x80"
       "b\xE2\x82",
       9,
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"UTF8", 4, "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80", 2, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"SJIS_0208", 2, "a\x82\xA0\xB1\x82\xA2", 3, "a\x82\xA0\xB1"},
      {"GB18030", 4, "\x81\x30\x81\x30\xB0\xA1z", 2, "\x81\x30\x81\x30\xB0\xA1"},
  };
  for (const auto& c : casi) {
    SCOPED_TRACE(std::string(c.set) + " " + c.testo);
    EXPECT_EQ(TagliaAColonna(c.testo, TColonnaTesto{c.caratteri, c.bytes, c.set}), c.atteso);
  }
}
