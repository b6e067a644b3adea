// Archives reached through a Firebird server of the test's own: rows locked by another user of the
// destination and of the task table, and a server that is not running when the run starts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/FirebirdServer.h"
#include "support/Impianto.h"

namespace {

namespace fs = std::filesystem;

const char* const kPassword = "tawnyquip";

// Orders 1 (shipped to U1 in the USA, invoiced to H1) and 2 (user 61) are selected.
const char* const kOrdini = R"(
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('U1', 'USA', 'H1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('H1', 'USA', 'H1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('I1', 'ITA', 'I1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (1, 11, 5, 'U1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (2, 12, 61, 'I1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (3, 13, 5, 'I1');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (101, 11);
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (102, 12);
INSERT INTO PS_STOSESSION (ID) VALUES (11);
INSERT INTO PS_STOSESSION (ID) VALUES (12);
)";

// The destination's own rows: an old copy of U1 and an order that the copy replaces.
const char* const kVecchi = R"(
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('U1', 'USA', 'VECCHIO');
INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('L1', 'ITA');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (9, 99, 61, 'L1');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (909, 99);
INSERT INTO PS_STOSESSION (ID) VALUES (99);
)";

// What the server says when a no-wait snapshot transaction meets a row that another transaction
// has changed and not committed; the transaction number follows.
const char* const kConflitto =
    "deadlock\r\nupdate conflicts with concurrent update\r\nconcurrent transaction number is ";

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TImpianto::CreaOrdini(origine_, kOrdini);
    TImpianto::CreaOrdini(destinazione_, kVecchi);
    fs::create_directories(cartellaDitta_);
    impianto_.SetDitta(ditta_);
    impianto_.CreaUtente(ditta_);
  }

  // Starts the server with aliases for the destination and the company archive, and sends both
  // through it.
  void AvviaServer() {
    server_ = std::make_unique<FirebirdServer>(
        kPassword, std::vector<std::pair<std::string, std::string>>{{"destinazione", destinazione_},
                                                                    {"ditta", ditta_}});
    ScriviDatiIni(cartellaRemota_, server_->Nome(), "destinazione");
    ScriviDatiIni(cartellaDitta_, server_->Nome(), "ditta");
  }

  TIsql IsqlServer() const {
    return [this](const std::string& database, const std::string& script) {
      return server_->Isql(database == ditta_ ? "ditta" : "destinazione", script);
    };
  }

  std::string NomeRemoto(const std::string& alias) const { return server_->Nome() + ":" + alias; }

  TImpianto impianto_;
  std::string origine_ = impianto_.Archivi() + "origine.fdb";
  std::string cartellaRemota_ = impianto_.Archivi() + "remoto/";
  std::string destinazione_ = cartellaRemota_ + "destinazione.fdb";
  std::string cartellaDitta_ = impianto_.Archivi() + "ditta/";
  std::string ditta_ = cartellaDitta_ + "ditta.fdb";
  std::unique_ptr<FirebirdServer> server_;
};

TEST_F(ServerTest, RigaDestinazioneBloccataNonAttende) {
  struct Caso {
    std::string blocco;
    std::string inizioNota;
  };
  const std::vector<Caso> casi = {
      {"UPDATE CLIENTI SET NAZIONE = NAZIONE WHERE CODICE = 'U1'",
       "Impossibile eseguire il travaso Destinatari PS Ordini:\r"
       "Errore interno durante l'inserimento record\r"},
      {"UPDATE PS_ORDINI SET IDUTENTE = 62 WHERE ID = 9",
       "Impossibile eseguire il travaso PS Ordini:\r"
       "Fallito azzeramento tabella destinazione \"PS_ORDINI\"\r"},
  };
  AvviaServer();
  const std::string prima = Impronta(destinazione_, IsqlServer());
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.blocco);
    fs::remove(ditta_);
    CreaDatabaseDiProva(ditta_, DdlDitta() + "\nCOMMIT;\n" + RigaTask(1, origine_, destinazione_) +
                                    RigaTask(2, origine_, destinazione_));
    TSessione altroUtente(NomeRemoto("destinazione"), kPassword);
    altroUtente.Esegui(caso.blocco);

    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    // A write transaction that waited would have stayed until the lock was released.
    EXPECT_LT(esito.secondi, 15.0);
    altroUtente.Rollback();

    auto righe = impianto_.LeggiTabella(IsqlServer());
    const std::string& nota = righe[1].nota;
    EXPECT_EQ(nota.substr(0, caso.inizioNota.size()), caso.inizioNota) << nota;
    EXPECT_EQ(nota.substr(caso.inizioNota.size(), std::string(kConflitto).size()), kConflitto)
        << nota;
    EXPECT_EQ(righe[2].nota, kNotaVecchia);
    EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima);
  }
}

TEST_F(ServerTest, RigaDelTaskBloccataLaNotaNonVieneScritta) {
  const std::string seconda = impianto_.Archivi() + "seconda.fdb";
  TImpianto::CreaOrdini(seconda);
  CreaDatabaseDiProva(ditta_, DdlDitta() + "\nCOMMIT;\n" + RigaTask(1, origine_, destinazione_) +
                                  RigaTask(2, origine_, seconda) +
                                  RigaTask(3, origine_, seconda, "0"));
  AvviaServer();
  TSessione altroUtente(NomeRemoto("ditta"), kPassword);
  altroUtente.Esegui("UPDATE VESSENTARIA SET STATUS = STATUS WHERE ID = 1");

  const TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_EQ(esito.out, "");
  EXPECT_LT(esito.secondi, 30.0);
  altroUtente.Rollback();

  auto righe = impianto_.LeggiTabella(IsqlServer());
  // The note of task 1 could not be written: its row keeps its old time and note ...
  EXPECT_EQ(righe[1].nota, kNotaVecchia);
  EXPECT_EQ(righe[1].ultima.substr(0, 4), "2001");
  // ... and the run went on as if it had been written.
  EXPECT_EQ(righe[2].nota, kSuccesso);
  EXPECT_NE(righe[2].ultima.substr(0, 4), "2001");
  EXPECT_EQ(righe[3].nota, kNotaVecchia);
  // Both copies were committed: 3 customers (U1 updated, H1 and I1 added, L1 kept), orders 1 and
  // 2 with their rows and sessions.
  for (const auto& [archivio, isql] : std::vector<std::pair<std::string, TIsql>>{
           {destinazione_, IsqlServer()}, {seconda, IsqlLocale()}}) {
    SCOPED_TRACE(archivio);
    EXPECT_EQ(ContaRighe(archivio, "PS_ORDINI", isql), 2);
    EXPECT_EQ(ContaRighe(archivio, "PS_STOINSCAR", isql), 2);
    EXPECT_EQ(ContaRighe(archivio, "PS_STOSESSION", isql), 2);
  }
  EXPECT_EQ(ContaRighe(destinazione_, "CLIENTI", IsqlServer()), 4);
  EXPECT_EQ(ContaRighe(seconda, "CLIENTI", IsqlLocale()), 3);
}

TEST_F(ServerTest, ServerFermoPrimaDellEsecuzione) {
  CreaDatabaseDiProva(ditta_, DdlDitta() + "\nCOMMIT;\n" + RigaTask(1, origine_, destinazione_));
  AvviaServer();
  server_->Stop();
  // Nothing answers on the server's port: the alias fails at once and the archives are opened
  // on their local paths, as the rules of dati.ini go on when the alias cannot be reached.
  const TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_EQ(esito.out, "");
  EXPECT_LT(esito.secondi, 30.0);
  auto righe = impianto_.LeggiTabella();
  EXPECT_EQ(righe[1].nota, kSuccesso);
  EXPECT_EQ(ContaRighe(destinazione_, "PS_ORDINI"), 2);
  EXPECT_EQ(ContaRighe(destinazione_, "CLIENTI"), 4);
}

TEST_F(ServerTest, PercorsoSulServerAttivoEFermo) {
  CreaDatabaseDiProva(ditta_, DdlDitta() + "\nCOMMIT;\n" + RigaTask(1, origine_, destinazione_));
  AvviaServer();
  // Only the server's name: the local path comes first and, while the server holds the file,
  // fails; the stored server then reaches it as server:path.
  std::ofstream(cartellaRemota_ + "dati.ini", std::ios::binary)
      << "[CONFIG]\r\nNome Server=" << server_->Nome() << "\r\n";
  fs::remove(cartellaDitta_ + "dati.ini");
  {
    TSessione altroUtente(server_->Nome() + ":" + destinazione_, kPassword);
    EXPECT_THROW(RunIsql(destinazione_, "SELECT 1 FROM RDB$DATABASE;\n"), std::runtime_error);
    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    EXPECT_LT(esito.secondi, 30.0);
  }
  EXPECT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
  EXPECT_EQ(ContaRighe(destinazione_, "PS_ORDINI", IsqlServer()), 2);

  // The same with the server stopped: the local path is free and serves.
  server_->Stop();
  RunIsql(destinazione_, "DELETE FROM PS_ORDINI;\nCOMMIT;\n");
  RunIsql(ditta_, "UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = 'x';\nCOMMIT;\n");
  const TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_LT(esito.secondi, 30.0);
  EXPECT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
  EXPECT_EQ(ContaRighe(destinazione_, "PS_ORDINI"), 2);
}

// A section of the logins file misspelt makes the server refuse the built-in login at start-up:
// the check names that section first, though the tasks' archives were never read.
TEST_F(ServerTest, CheckNominaLaSezioneSbagliataQuandoIlLoginERifiutato) {
  const FirebirdServer server("password-del-sito");
  std::ofstream(impianto_.CartellaUtente() + "dati.ini")
      << "[Rete]\nServerLocale=" << server.Nome() << "\n";
  const std::string sbagliata = "localhots/" + std::to_string(server.Port());
  impianto_.ScriviCredenziali("[" + sbagliata + "]\nPassword=password-del-sito\n");
  const TEsito esito = impianto_.Esegui({"--check"});
  EXPECT_EQ(esito.stato, 3) << esito.err;
  EXPECT_EQ(esito.out.substr(0, esito.out.find('\n') + 1),
            impianto_.CartellaUtente() + "credenziali.ini: sezione [" + sbagliata +
                "] che non corrisponde a nessun server degli archivi letti finora (server usati: " +
                server.Nome() + ")\n")
      << esito.out;
}

}  // namespace
