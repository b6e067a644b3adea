#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"
#include "support/ArchiviOrdini.h"
#include "support/FirebirdServer.h"
#include "taskbase/Connessione.h"
#include "transfer/TravasiVornyUSA.h"

// Rows travel to the destination in blocks: each case copies order rows with blocks of a few
// rows and must leave exactly what the rows one by one leave, in the same order of triggers.

namespace {

using TMisure = TTravasoDatiVornyUSA::TMisureBlocco;

// The order rows with the grouping that a case sets.
class RigheMisurate : public TTravasoDatiVornyUSA_PS_StoInsCar {
 public:
  using TTravasoDatiVornyUSA_PS_StoInsCar::TTravasoDatiVornyUSA_PS_StoInsCar;
  static TMisure misure;

 protected:
  // Righe 0: the program's own measures.
  TMisure MisureBlocco() const override {
    return misure.Righe > 0 ? misure : TTravasoDatiVornyUSA_PS_StoInsCar::MisureBlocco();
  }
};
TMisure RigheMisurate::misure{1, 1, 1};

// `n` rows of order 1 (user 61): QUANTITA is the row's number, IMMAGINE has the length
// `immagini[i % size]` (-1: NULL), NOTE cycles through NULL, empty and a short text.
std::string DatiRighe(int n, const std::vector<int>& immagini) {
  std::string dati =
      "INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE) VALUES (1, 100, 61);\n"
      "INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE) VALUES (2, 200, 7);\n"
      "INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (7, 200);\n";
  for (int i = 0; i < n; ++i) {
    const int lunghezza = immagini[static_cast<size_t>(i) % immagini.size()];
    const std::string nota = i % 3 == 0   ? "NULL"
                             : i % 3 == 1 ? "''"
                                          : "'nota " + std::to_string(i) + "'";
    dati +=
        "INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE, QUANTITA, MODIFICATO, UNITA, NOTE) "
        "VALUES (" +
        std::to_string(1000 + i) + ", 100, " + std::to_string(i) +
        ", '2024-02-29 23:59:59.1234', 'x', " + nota + ");\n";
    if (lunghezza < 0) continue;
    // In pieces: one text expression holds at most 32,765 bytes.
    const std::string motivo = std::string("x'00FF0D0A") + (i % 2 ? "E8" : "41") + "'";
    std::string blob = "CAST(x'' AS BLOB SUB_TYPE BINARY)";
    for (int fatti = 0; fatti < lunghezza; fatti += 30000)
      blob += " || LPAD(x'', " + std::to_string(std::min(30000, lunghezza - fatti)) + ", " +
              motivo + ")";
    dati += "UPDATE PS_STOINSCAR SET IMMAGINE = " + blob +
            " WHERE IDINSERIMENTO = " + std::to_string(1000 + i) + ";\n";
  }
  return dati;
}

// The destination logs every row that its trigger sees, in order.
std::string DdlConRegistro(const std::string& altro = "") {
  return DdlOrdini() + R"(
CREATE TABLE REGISTRO_RIGHE (N INTEGER, ID BIGINT);
CREATE SEQUENCE G_REGISTRO;
SET TERM ^;
CREATE TRIGGER REGISTRA FOR PS_STOINSCAR AFTER INSERT OR UPDATE AS
BEGIN
  INSERT INTO REGISTRO_RIGHE VALUES (NEXT VALUE FOR G_REGISTRO, NEW.IDINSERIMENTO);
END^
SET TERM ;^
)" + altro;
}

struct Esito {
  bool riuscito = false;
  std::string messaggio;
  std::vector<std::string> ordineOrigine;  // the keys in the order that the source query yields
  std::vector<std::string> registro;       // the keys as the trigger saw them
  int righe = 0;                           // rows in the destination's write transaction
  int blocchi = 0;                         // blocks prepared on the destination
};

std::vector<std::string> Colonna(TSQLDatabase& database, TSQLTransaction& transazione,
                                 const TStrings& sql, int colonna) {
  TSQLStatement s;
  s.SetDatabase(&database);
  s.SetTransaction(&transazione);
  s.SQL().AddStrings(sql);
  s.Execute();
  std::vector<std::string> valori;
  for (; !s.Eof(); s.Next()) valori.push_back(s.Fields(colonna).AsString());
  return valori;
}

// Runs the order-row transfer with `misure` from `origine` and leaves its transaction
// committed when it succeeds.
Esito Copia(const std::string& origine, const std::string& destinazione, const TMisure& misure,
            const std::string& password = "masterkey") {
  RigheMisurate::misure = misure;
  Esito esito;
  auto dbOrigine = ConnettiArchivio(origine, password);
  auto coppiaOrigine = std::make_unique<TConnessione>(*dbOrigine);
  auto dbDestinazione = ConnettiArchivio(destinazione, password);
  auto coppiaDestinazione = std::make_unique<TConnessione>(*dbDestinazione);
  auto travaso = TTravasoDatiVornyUSA::Crea<RigheMisurate>(*coppiaOrigine, *coppiaDestinazione);
  esito.riuscito = travaso->Esegui(esito.messaggio);
  esito.ordineOrigine =
      Colonna(*dbOrigine, coppiaOrigine->TransazioneLettura(), travaso->SQLOrigine()->SQL(), 0);
  TSQLTransaction& scrittura = coppiaDestinazione->TransazioneScrittura();
  TStrings registro;
  registro.Add("SELECT ID FROM REGISTRO_RIGHE ORDER BY N");
  esito.registro = Colonna(*dbDestinazione, scrittura, registro, 0);
  TStrings conta;
  conta.Add("SELECT COUNT(*) FROM PS_STOINSCAR");
  esito.righe = std::stoi(Colonna(*dbDestinazione, scrittura, conta, 0).at(0));
  TStrings blocchi;
  blocchi.Add(
      "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION "
      "AND MON$SQL_TEXT STARTING WITH 'EXECUTE BLOCK'");
  esito.blocchi = std::stoi(Colonna(*dbDestinazione, scrittura, blocchi, 0).at(0));
  travaso.reset();
  if (esito.riuscito)
    scrittura.Commit();
  else
    scrittura.Rollback();
  return esito;
}

// The destination holds the source's order rows byte for byte, and its trigger saw them in the
// source's order.
void StesseRighe(const ArchiviOrdini& archivi, const Esito& esito) {
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_STOINSCAR"),
            DumpTabella(archivi.origine, "PS_STOINSCAR", "IDSESSIONE=100"));
  EXPECT_EQ(esito.registro, esito.ordineOrigine);
}

void CopiaEsatta(int righe, const std::vector<int>& immagini, const TMisure& misure) {
  SCOPED_TRACE(std::to_string(righe) + " rows, blocks of " + std::to_string(misure.Righe) + ", " +
               std::to_string(misure.Byte) + " bytes, text up to " +
               std::to_string(misure.TestoBlob));
  ArchiviOrdini archivi(DatiRighe(righe, immagini), "", "", DdlConRegistro());
  Esito esito = Copia(archivi.origine, archivi.destinazione, misure);
  ASSERT_TRUE(esito.riuscito) << esito.messaggio;
  EXPECT_EQ(esito.messaggio, "");
  EXPECT_EQ(esito.righe, righe);
  EXPECT_GT(esito.blocchi, 0);
  StesseRighe(archivi, esito);
}

}  // namespace

// Batches of 1, K-1, K, K+1 and many rows, short batches cut by bytes, NULL and empty blobs and
// texts: the destination holds the source's rows byte for byte, and its trigger saw them in the
// source's order.
TEST(BloccoTest, BatchEdges) {
  const std::vector<int> corti = {-1, 0, 1, 5};
  for (int righe : {1, 2, 3, 4, 11}) CopiaEsatta(righe, corti, {3, 1 << 20, 8000});
  // About two rows per block: the batches end by bytes before they are full.
  CopiaEsatta(11, {-1, 0, 300, 5}, {5, 700, 8000});
}

// Blobs at and around the length that travels with the row as text, and around the longest
// text parameter, mixed in batches: the long ones go alone, in their place.
TEST(BloccoTest, BlobsAroundTheTextLimits) {
  CopiaEsatta(12, {99, 100, 101, 0, -1, 32765, 32766, 80017}, {4, 1 << 20, 100});
  CopiaEsatta(6, {7999, 8000, 8001, 16000}, {3, 1 << 20, 8000});
}

// On the embedded engine a request costs no round trip: with the program's own measures the
// rows go one by one, short blobs still as text.
TEST(BloccoTest, NoBlocksWhereNoRoundTripIsSaved) {
  ArchiviOrdini archivi(DatiRighe(7, {-1, 0, 40, 9000}), "", "", DdlConRegistro());
  Esito esito = Copia(archivi.origine, archivi.destinazione, {0, 0, 0});
  ASSERT_TRUE(esito.riuscito) << esito.messaggio;
  EXPECT_EQ(esito.blocchi, 0);
  StesseRighe(archivi, esito);
}

// A row refused in the middle of a batch: the note is the one the row alone gets, and the rows
// written before it are those written one by one; the task then rolls them back.
TEST(BloccoTest, RefusedRowInTheMiddleOfABatch) {
  const std::string vincolo =
      "ALTER TABLE PS_STOINSCAR ADD CONSTRAINT QUANTITA_AMMESSA CHECK (QUANTITA <> 7);";
  Esito atteso;
  {
    ArchiviOrdini archivi(DatiRighe(11, {-1, 3}), "", "", DdlConRegistro(vincolo));
    atteso = Copia(archivi.origine, archivi.destinazione, {1, 1, 1});
  }
  ASSERT_FALSE(atteso.riuscito);
  EXPECT_NE(atteso.messaggio.find("QUANTITA_AMMESSA"), std::string::npos) << atteso.messaggio;
  ASSERT_EQ(atteso.registro.size(), 7u);

  ArchiviOrdini archivi(DatiRighe(11, {-1, 3}), "", "", DdlConRegistro(vincolo));
  Esito esito = Copia(archivi.origine, archivi.destinazione, {3, 1 << 20, 8000});
  EXPECT_FALSE(esito.riuscito);
  EXPECT_EQ(esito.messaggio, atteso.messaggio);
  EXPECT_EQ(esito.righe, atteso.righe);
  EXPECT_EQ(esito.registro, atteso.registro);
  EXPECT_EQ(atteso.blocchi, 0);
  EXPECT_GT(esito.blocchi, 0);
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_STOINSCAR"), "");
}

// A source behind a server, with blobs short and long; then both archives behind it, with the
// program's own measures and blocks as large as they get: the same rows arrive.
TEST(BloccoTest, ArchivesBehindAServer) {
  struct Caso {
    int righe;
    std::vector<int> immagini;
    TMisure misure;
    bool destinazioneRemota;
  };
  const Caso casi[] = {{9, {-1, 0, 40, 40000}, {4, 1 << 20, 100}, false},
                       {300, {7990, -1, 8000, 0, 12}, {0, 0, 0}, true}};
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.righe);
    ArchiviOrdini archivi(DatiRighe(caso.righe, caso.immagini), "", "", DdlConRegistro());
    FirebirdServer server("tawnyquip",
                          {{"origine", archivi.origine}, {"destinazione", archivi.destinazione}});
    Esito esito =
        Copia(server.Nome() + ":origine",
              caso.destinazioneRemota ? server.Nome() + ":destinazione" : archivi.destinazione,
              caso.misure, "tawnyquip");
    server.Stop();
    ASSERT_TRUE(esito.riuscito) << esito.messaggio;
    EXPECT_EQ(esito.righe, caso.righe);
    EXPECT_GT(esito.blocchi, 0);
    StesseRighe(archivi, esito);
  }
}

// Order rows well past what is read ahead, with the program's own measures on the embedded
// engine: a row that the destination refuses near the end stops the copy with its note after the
// rows before it, written in the source's order, and nothing of them stays.
TEST(BloccoTest, RowsReadAheadEndAtTheRefusedRow) {
  ArchiviOrdini archivi(DatiRighe(1500, {-1, 3}), "", "",
                        DdlConRegistro("ALTER TABLE PS_STOINSCAR ADD CONSTRAINT "
                                       "QUANTITA_AMMESSA CHECK (QUANTITA <> 1400);"));
  Esito esito = Copia(archivi.origine, archivi.destinazione, {0, 0, 0});
  EXPECT_FALSE(esito.riuscito);
  EXPECT_NE(esito.messaggio.find("QUANTITA_AMMESSA"), std::string::npos);
  const auto rifiutata = std::find(esito.ordineOrigine.begin(), esito.ordineOrigine.end(), "2400");
  ASSERT_NE(rifiutata, esito.ordineOrigine.end());
  EXPECT_EQ(esito.registro, std::vector<std::string>(esito.ordineOrigine.begin(), rifiutata));
  EXPECT_EQ(DumpTabella(archivi.destinazione, "PS_STOINSCAR"), "");
}
