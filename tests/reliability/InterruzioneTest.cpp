// A large copy interrupted in the middle: the program killed, and the destination's server
// stopped. The destination goes through a server of the test's own, so that the test can follow
// the copy: a trigger counts the orders written (a generator, which no rollback takes back).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/FirebirdServer.h"
#include "support/Impianto.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kPassword = "tawnyquip";
// 10000 orders, 20000 order rows, 10000 sessions and 2000 customers to write.
const int kOrdini = 10000;
const int kRigheDaScrivere = 4 * kOrdini + kOrdini / 5;

const char* const kVecchi = R"(
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('U1', 'USA', 'VECCHIO');
INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('L1', 'ITA');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (90001, 99, 61, 'L1');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (90909, 99);
INSERT INTO PS_STOSESSION (ID) VALUES (99);
COMMIT;
CREATE GENERATOR G_AVANZAMENTO;
SET TERM ^;
CREATE TRIGGER T_AVANZAMENTO FOR PS_ORDINI BEFORE INSERT AS
  DECLARE N BIGINT;
BEGIN
  N = GEN_ID(G_AVANZAMENTO, 1);
END^
SET TERM ;^
)";

std::string Riga(const std::string& testo) {
  std::string r = testo;
  for (char& c : r)
    if (c == '\r') c = '|';
  return r;
}

class InterruzioneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TImpianto::CreaOrdini(origine_, DatiMassivi(kOrdini));
    TImpianto::CreaOrdini(destinazione_, kVecchi);
  }

  // With `origine`, the source too goes through the server, from a folder of its own: the server
  // then copies the rows itself.
  void AvviaServer(bool origine = false) {
    std::vector<std::pair<std::string, std::string>> alias{{"destinazione", destinazione_}};
    if (origine) {
      fs::create_directories(cartellaOrigine_);
      fs::copy_file(origine_, cartellaOrigine_ + "origine.fdb");
      alias.push_back({"origine", cartellaOrigine_ + "origine.fdb"});
    }
    server_ = std::make_unique<FirebirdServer>(kPassword, alias);
    ScriviDatiIni(cartellaRemota_, server_->Nome(), "destinazione");
    if (origine) ScriviDatiIni(cartellaOrigine_, server_->Nome(), "origine");
  }

  // The destination by its alias, any other archive by its path.
  TIsql IsqlServer() const {
    return [this](const std::string& database, const std::string& script) {
      return server_->Isql(database == destinazione_ ? "destinazione" : database, script);
    };
  }

  // Waits until the running program has written `ordini` orders of its copy (so the customers
  // are all written); returns how many it had written then, or -1 when the program ended first
  // or did not get there within a minute.
  int AttendiOrdini(TProcesso& processo, int ordini) {
    TSessione osservatore(server_->Nome() + ":destinazione", kPassword);
    const auto limite = std::chrono::steady_clock::now() + 60s;
    while (processo.InCorso() && std::chrono::steady_clock::now() < limite) {
      const int scritti = osservatore.Valore("SELECT GEN_ID(G_AVANZAMENTO, 0) FROM RDB$DATABASE");
      if (scritti >= ordini) return scritti;
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  // After a kill: the four tables (as `impronta` reads them) exactly as before, the task row
  // marked as begun and not ended; then a new run at once completes with the clean run's result.
  // Returns that run.
  TEsito VerificaDopoLUccisione(const std::string& prima,
                                const std::map<int, TRigaTask>& righePrima,
                                const std::string& completa,
                                const std::function<std::string()>& impronta) {
    EXPECT_EQ(impronta(), prima);
    const auto righeDopo = impianto_.LeggiTabella();
    EXPECT_EQ(righeDopo.at(1).nota, kAvviata);
    EXPECT_NE(righeDopo.at(1).ultima, righePrima.at(1).ultima);
    const TEsito ripresa = impianto_.Esegui();
    EXPECT_EQ(ripresa.stato, 0) << ripresa.out << ripresa.err;
    EXPECT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
    EXPECT_EQ(impronta(), completa);
    return ripresa;
  }

  TImpianto impianto_;
  std::string origine_ = impianto_.Archivi() + "origine.fdb";
  std::string cartellaRemota_ = impianto_.Archivi() + "remoto/";
  std::string destinazione_ = cartellaRemota_ + "destinazione.fdb";
  std::string cartellaOrigine_ = impianto_.Archivi() + "origine-remota/";
  std::unique_ptr<FirebirdServer> server_;
};

// Killed in the middle of the copy, the program leaves the destination and the task row as they
// were, and a new run started at once gives what a clean run gives: with only the destination
// behind the server, and with both archives there, where the server copies the rows in requests
// of its own. How soon the server lets the killed run's connection go is printed.
TEST_F(InterruzioneTest, ProgrammaUccisoDuranteLaCopia) {
  // A clean run on a copy of the destination gives what a completed copy looks like.
  const std::string riferimento = impianto_.Archivi() + "riferimento.fdb";
  fs::copy_file(destinazione_, riferimento);
  impianto_.CreaDitta(RigaTask(1, origine_, riferimento));
  const TEsito pulita = impianto_.Esegui();
  ASSERT_EQ(pulita.stato, 0) << pulita.out << pulita.err;
  ASSERT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
  ASSERT_EQ(ContaRighe(riferimento, "PS_ORDINI"), kOrdini);
  const std::string completa = Impronta(riferimento);
  const std::string iniziale = impianto_.Archivi() + "iniziale.fdb";
  fs::copy_file(destinazione_, iniziale);

  for (const bool nelServer : {false, true}) {
    SCOPED_TRACE(nelServer ? "both archives behind the server" : "the destination behind it");
    if (nelServer) {
      server_.reset();
      fs::copy_file(iniziale, destinazione_, fs::copy_options::overwrite_existing);
    }
    const std::string origine = nelServer ? cartellaOrigine_ + "origine.fdb" : origine_;
    AvviaServer(nelServer);
    RunIsql(impianto_.Ditta(),
            "DELETE FROM VESSENTARIA;\n" + RigaTask(1, origine, destinazione_) + "COMMIT;\n");
    const std::string prima = Impronta(destinazione_, IsqlServer());
    const auto righePrima = impianto_.LeggiTabella();

    TProcesso processo = impianto_.Avvia();
    // Customers done, a quarter of the orders written: well inside the copy.
    const int scritti = AttendiOrdini(processo, kOrdini / 4);
    if (scritti < 0) {
      const TEsito finito = processo.Attendi(1s);
      FAIL() << "the program ended before the copy was under way: " << finito.stato << finito.out
             << finito.err << Riga(impianto_.LeggiTabella()[1].nota);
    }
    processo.Uccidi();
    const auto ucciso = std::chrono::steady_clock::now();
    EXPECT_EQ(processo.Attendi(5s).stato, 128 + 9);

    // The server lets the killed run's connection go when it notices it lost.
    double notato = -1;
    while (notato < 0 && std::chrono::steady_clock::now() - ucciso < 60s) {
      TSessione osservatore(server_->Nome() + ":destinazione", kPassword);
      if (osservatore.Valore("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$REMOTE_PROCESS "
                             "CONTAINING 'vessentaria'") == 0)
        notato = std::chrono::duration<double>(std::chrono::steady_clock::now() - ucciso).count();
    }
    EXPECT_GE(notato, 0) << "the killed run's connection stayed a minute";
    const TEsito ripresa = VerificaDopoLUccisione(
        prima, righePrima, completa, [this] { return Impronta(destinazione_, IsqlServer()); });
    std::cout << kRigheDaScrivere << " rows to write; killed after " << scritti << " of " << kOrdini
              << " orders; clean run " << pulita.secondi << " s; the server let the "
              << "killed run's connection go " << notato << " s after the kill; rerun "
              << ripresa.secondi << " s; 4 tables compared\n";
  }
}

TEST_F(InterruzioneTest, ProgrammaUccisoDuranteLaCopiaSulMotoreIncorporato) {
  // Without a server the archive cannot be watched while the program holds it: the kill comes
  // at 40% of the time of a clean run of the same copy after the program opened the destination.
  const std::string riferimento = impianto_.Archivi() + "riferimento.fdb";
  const std::string locale = impianto_.Archivi() + "locale.fdb";
  fs::copy_file(destinazione_, riferimento);
  fs::copy_file(destinazione_, locale);
  const std::string prima = Impronta(locale);
  impianto_.CreaDitta(RigaTask(1, origine_, riferimento));
  const TEsito pulita = impianto_.Esegui();
  ASSERT_EQ(pulita.stato, 0) << pulita.out << pulita.err;
  ASSERT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
  const std::string completa = Impronta(riferimento);

  RunIsql(impianto_.Ditta(),
          "DELETE FROM VESSENTARIA;\n" + RigaTask(1, origine_, locale) + "COMMIT;\n");
  const auto righePrima = impianto_.LeggiTabella();
  TProcesso processo = impianto_.Avvia();
  // From the moment the task has opened its destination, 40% of a clean run's time.
  const auto limite = std::chrono::steady_clock::now() + 60s;
  while (!processo.HaAperto(locale) && processo.InCorso() &&
         std::chrono::steady_clock::now() < limite)
    std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(processo.HaAperto(locale)) << "the program never opened the destination";
  const auto attesa = std::chrono::duration<double>(pulita.secondi * 0.4);
  std::this_thread::sleep_for(attesa);
  ASSERT_TRUE(processo.InCorso()) << "the program ended before the time of the kill";
  processo.Uccidi();

  const TEsito ripresa =
      VerificaDopoLUccisione(prima, righePrima, completa, [&] { return Impronta(locale); });
  std::cout << kRigheDaScrivere << " rows to write; killed " << attesa.count()
            << " s after the destination was opened, of a clean run of " << pulita.secondi
            << " s; 4 tables compared\n";
}

// The destination's server stopped, or the host's server of every archive (ServerLocale: USER.FDB
// and the company archive too) restarted or killed, during the copy: the run ends soon after, the
// destination as it was; the note names the lost connection (the step fails the task, not the
// run), written over a new connection; with no server to take it, status 75, standard error and
// --status tell it.
TEST_F(InterruzioneTest, ServerFermatoDuranteLaCopia) {
  struct Caso {
    const char* nome;
    bool dellHost;
    void (FirebirdServer::*guasto)();
    int stato;
    std::string passo;  // the note's first line; empty: the note was not written
  };
  const std::vector<Caso> casi = {
      {"destination's server stopped", false, &FirebirdServer::Uccidi, 0,
       "Impossibile eseguire il travaso PS Ordini:\r"},
      {"host's server restarted", true, &FirebirdServer::Riavvia, 0,
       "Impossibile eseguire il travaso "},
      {"host's server killed", true, &FirebirdServer::Uccidi, 75, ""},
  };
  const std::string iniziale = impianto_.Archivi() + "iniziale.fdb";
  fs::copy_file(destinazione_, iniziale);
  impianto_.CreaDitta("");
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.nome);
    server_.reset();
    fs::copy_file(iniziale, destinazione_, fs::copy_options::overwrite_existing);
    RunIsql(impianto_.Ditta(), "DELETE FROM VESSENTARIA;\n" + RigaTask(1, origine_, destinazione_) +
                                   RigaTask(2, origine_, destinazione_) +
                                   "UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = '" + kSuccesso +
                                   "';\nCOMMIT;\n");
    AvviaServer();
    ScriviFile(impianto_.CartellaUtente() + "dati.ini",
               "[Rete]\nTimeoutConnessione=10\n" +
                   (caso.dellHost ? "ServerLocale=" + server_->Nome() + "\n" : ""));
    const std::string prima = Impronta(destinazione_, IsqlServer());

    TProcesso processo = impianto_.Avvia();
    const int scritti = AttendiOrdini(processo, kOrdini / 4);
    ASSERT_GE(scritti, 0) << "the program ended before the copy was under way";
    const auto fermo = std::chrono::steady_clock::now();
    ((*server_).*caso.guasto)();
    const TEsito esito = processo.Attendi(60s);
    const double secondi =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - fermo).count();
    ASSERT_NE(esito.stato, -1) << "still running a minute after the server stopped";
    // At most the connection limit of 10 s to find the company archive's server again.
    EXPECT_LT(secondi, 30.0);
    if (!server_->Running()) server_->Riavvia();
    EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima);

    auto righe = impianto_.LeggiTabella(IsqlServer());
    const std::string& nota = righe[1].nota;
    EXPECT_NE(righe[1].ultima.substr(0, 4), "2001");
    EXPECT_EQ(righe[2].nota, kSuccesso);
    EXPECT_EQ(righe[2].ultima.substr(0, 4), "2001");
    EXPECT_EQ(esito.stato, caso.stato) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    EXPECT_NE(esito.err.find("Task 1 fallito: Impossibile eseguire il travaso "), std::string::npos)
        << esito.err;
    EXPECT_NE(esito.err.find("dopo il fallimento del task 1: 2"), std::string::npos) << esito.err;
    if (!caso.passo.empty()) {
      EXPECT_EQ(nota.rfind(caso.passo, 0), 0u) << Riga(nota);
      EXPECT_NE(nota.find("connection", caso.passo.size()), std::string::npos) << Riga(nota);
    } else {
      EXPECT_EQ(nota, kAvviata);
      EXPECT_NE(esito.err.find("Nota del task 1 non scritta nell'archivio della ditta: "),
                std::string::npos)
          << esito.err;
      const TEsito stato = impianto_.Esegui({"--status"});
      EXPECT_EQ(stato.stato, 9);
      EXPECT_NE(stato.out.find(std::string("  ") + kAvviata + "\n"), std::string::npos)
          << stato.out;
    }
    std::cout << caso.nome << " after " << scritti << " of " << kOrdini << " orders; program ended "
              << secondi << " s later with status " << esito.stato << "; note: " << Riga(nota)
              << "\n";
  }
}

}  // namespace
