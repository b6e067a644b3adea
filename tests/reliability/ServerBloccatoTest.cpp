// A destination server that stops answering (SIGSTOP: its port still accepts connections, the
// process answers nothing), before the run and in the middle of a copy. The limits of the
// installation's User/dati.ini are set low; the company archive is local.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/FirebirdServer.h"
#include "support/Impianto.h"
#include "support/Relay.h"

namespace {

using namespace std::chrono_literals;

const char* const kPassword = "tawnyquip";
const int kOrdini = 10000;
const int kTimeoutConnessione = 2;
const int kTimeoutRisposta = 3;

std::string Riga(const std::string& testo) {
  std::string r = testo;
  for (char& c : r)
    if (c == '\r') c = '|';
  return r;
}

double Secondi(std::chrono::steady_clock::time_point da) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - da).count();
}

class ServerBloccatoTest : public ::testing::Test {
 protected:
  // `ddl` runs in the destination after its rows; `risposta` is the response limit.
  // With `origineSulServer` the source too is reached through the server, from a folder of its
  // own: the server then copies the rows. With `congelaDalla` the program reaches the server
  // through a relay that freezes logins from that connection on.
  void Prepara(const std::string& ordini, const std::string& ddl = "",
               int risposta = kTimeoutRisposta, bool origineSulServer = false,
               int congelaDalla = 0) {
    if (origineSulServer) origine_ = impianto_.Archivi() + "origine-remota/origine.fdb";
    TImpianto::CreaOrdini(origine_, ordini);
    TImpianto::CreaOrdini(destinazione_,
                          "CREATE GENERATOR G_AVANZAMENTO;\n"
                          "SET TERM ^;\n"
                          "CREATE TRIGGER T_AVANZAMENTO FOR PS_ORDINI BEFORE INSERT AS\n"
                          "  DECLARE N BIGINT;\n"
                          "BEGIN\n"
                          "  N = GEN_ID(G_AVANZAMENTO, 1);\n"
                          "END^\n"
                          "SET TERM ;^\n"
                          "INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('L1', 'ITA');\n"
                          "INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) "
                          "VALUES (90001, 99, 61, 'L1');\nCOMMIT;\n" +
                              ddl);
    impianto_.CreaDitta(RigaTask(1, origine_, destinazione_) +
                        RigaTask(2, origine_, impianto_.Archivi() + "seconda.fdb"));
    TImpianto::CreaOrdini(impianto_.Archivi() + "seconda.fdb");
    std::ofstream(impianto_.Installazione() + "User/dati.ini", std::ios::binary)
        << "[Rete]\r\nTimeoutConnessione=" << kTimeoutConnessione
        << "\r\nTimeoutRisposta=" << risposta << "\r\n";
    std::vector<std::pair<std::string, std::string>> alias{{"destinazione", destinazione_}};
    if (origineSulServer) alias.push_back({"origine", origine_});
    server_ = std::make_unique<FirebirdServer>(kPassword, alias);
    std::string nome = server_->Nome();
    if (congelaDalla > 0) {
      relay_ = std::make_unique<Relay>(server_->Port());
      relay_->SetCongelaDalla(congelaDalla);
      nome = relay_->Nome();
    }
    ScriviDatiIni(cartellaRemota_, nome, "destinazione");
    if (origineSulServer) ScriviDatiIni(impianto_.Archivi() + "origine-remota/", nome, "origine");
    prima_ = Impronta(destinazione_, IsqlServer());
  }

  TIsql IsqlServer() const {
    return [this](const std::string&, const std::string& script) {
      return server_->Isql("destinazione", script);
    };
  }

  // The run ends after the failed task, as after any: the second task is not started.
  static void VerificaSecondoTask(const std::map<int, TRigaTask>& righe) {
    EXPECT_EQ(righe.at(2).nota, kNotaVecchia) << Riga(righe.at(2).nota);
  }

  TImpianto impianto_;
  std::string origine_ = impianto_.Archivi() + "origine.fdb";
  std::string cartellaRemota_ = impianto_.Archivi() + "remoto/";
  std::string destinazione_ = cartellaRemota_ + "destinazione.fdb";
  std::unique_ptr<FirebirdServer> server_;
  std::unique_ptr<Relay> relay_;
  std::string prima_;
};

// Resumes the server however the test ends; the server's own release then kills it.
struct Ripresa {
  FirebirdServer& server;
  ~Ripresa() { server.Riprendi(); }
};

TEST_F(ServerBloccatoTest, BloccatoPrimaDellEsecuzione) {
  Prepara(DatiMassivi(10));
  // The server holds the destination open, as a production server does, so that the embedded
  // engine cannot take the local path instead.
  TSessione altroUtente(server_->Nome() + ":destinazione", kPassword);
  server_->Sospendi();
  TEsito esito;
  {
    Ripresa ripresa{*server_};
    esito = impianto_.Esegui(120s);
  }
  // Two attempts reach the server (its alias, then its name with the path), each bounded.
  EXPECT_NE(esito.stato, -1);
  EXPECT_LT(esito.secondi, 2 * kTimeoutConnessione + 6.0);
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  altroUtente.Rollback();

  const auto righe = impianto_.LeggiTabella();
  EXPECT_EQ(righe.at(1).nota, "Impossibile stabilire la connessione alla destinazione\r\"" +
                                  destinazione_ + "\":\rImpossibile stabilire la connessione")
      << Riga(righe.at(1).nota);
  VerificaSecondoTask(righe);
  EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima_);
  std::cout << "server frozen before the run: the run took " << esito.secondi << " s\n";
}

TEST_F(ServerBloccatoTest, BloccatoDuranteLaCopia) {
  Prepara(DatiMassivi(kOrdini));
  TProcesso processo = impianto_.Avvia();
  int scritti = -1;
  {
    TSessione osservatore(server_->Nome() + ":destinazione", kPassword);
    const auto limite = std::chrono::steady_clock::now() + 60s;
    while (processo.InCorso() && std::chrono::steady_clock::now() < limite) {
      scritti = osservatore.Valore("SELECT GEN_ID(G_AVANZAMENTO, 0) FROM RDB$DATABASE");
      if (scritti >= kOrdini / 4) break;
      std::this_thread::sleep_for(10ms);
    }
  }
  ASSERT_GE(scritti, kOrdini / 4) << "the copy was not under way";
  ASSERT_TRUE(processo.InCorso());
  server_->Sospendi();
  const auto fermo = std::chrono::steady_clock::now();
  TEsito esito;
  double secondi = 0;
  {
    Ripresa ripresa{*server_};
    esito = processo.Attendi(60s);
    secondi = Secondi(fermo);
  }
  ASSERT_NE(esito.stato, -1) << "still running a minute after the server froze";
  EXPECT_LT(secondi, kTimeoutRisposta + 5.0);

  const auto righe = impianto_.LeggiTabella();
  const std::string& nota = righe.at(1).nota;
  // The request that met the frozen server fails as one that met a server gone away: waiting
  // for its answer, or still sending a block of rows that the server no longer reads.
  EXPECT_EQ(nota.rfind("Impossibile eseguire il travaso PS Ordini:\r", 0), 0u) << Riga(nota);
  EXPECT_TRUE(nota.find("Error reading data from the connection") != std::string::npos ||
              nota.find("Error writing data to the connection") != std::string::npos)
      << Riga(nota);
  EXPECT_NE(righe.at(1).ultima.substr(0, 4), "2001");
  VerificaSecondoTask(righe);
  // Resumed, the server finds the connection closed and rolls its transaction back.
  EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima_);
  std::cout << "server frozen after " << scritti << " of " << kOrdini << " orders; program ended "
            << secondi << " s later with status " << esito.stato << "; note: " << Riga(nota)
            << "\nstdout: " << esito.out << "\n";
}

// A destination slower than the response limit (three seconds of the server's own time, once
// per transaction, against one): the request past it is cut, the task fails with the step and
// the connection's text, nothing of it stays, and the run ends as after any failed task.
class LimiteRispostaTest : public ServerBloccatoTest {
 protected:
  void Verifica(const std::string& trigger, const std::string& inizioNota) {
    Prepara(DatiMassivi(10), "SET TERM ^;\n" + trigger + "SET TERM ;^\n", 1);
    const TEsito esito = impianto_.Esegui(120s);
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    const auto righe = impianto_.LeggiTabella();
    const std::string& nota = righe.at(1).nota;
    EXPECT_EQ(nota.rfind(inizioNota, 0), 0u) << Riga(nota);
    EXPECT_TRUE(nota.ends_with("Error reading data from the connection") ||
                nota.ends_with("Error writing data to the connection"))
        << Riga(nota);
    VerificaSecondoTask(righe);
    EXPECT_NE(esito.err.find("Task attivi non eseguiti dopo il fallimento del task 1: 2\n"),
              std::string::npos)
        << esito.err;
    EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima_);
  }

  const std::string variabili_ = "  DECLARE T TIMESTAMP;\n  DECLARE N BIGINT = 0;\nBEGIN\n";
  const std::string lento_ =
      "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'LENTO') IS NULL) THEN BEGIN\n"
      "    RDB$SET_CONTEXT('USER_TRANSACTION', 'LENTO', 1);\n"
      "    T = CAST('NOW' AS TIMESTAMP);\n"
      "    WHILE (DATEDIFF(MILLISECOND FROM T TO CAST('NOW' AS TIMESTAMP)) < 3000) DO N = N + 1;\n"
      "  END\n";
  // 25 ms for every order row, as a busy destination writes them.
  const std::string righeLente_ =
      "SET TERM ^;\nCREATE TRIGGER T_LENTO FOR PS_STOINSCAR BEFORE INSERT AS\n" + variabili_ +
      "  T = CAST('NOW' AS TIMESTAMP);\n"
      "  WHILE (DATEDIFF(MILLISECOND FROM T TO CAST('NOW' AS TIMESTAMP)) < 25) DO N = N + 1;\n"
      "END^\nSET TERM ;^\n";
};

TEST_F(LimiteRispostaTest, RigaOltreIlLimite) {
  Verifica(
      "CREATE TRIGGER T_LENTO FOR PS_STOINSCAR BEFORE INSERT AS\n" + variabili_ + lento_ + "END^\n",
      // A row cut alone adds the insertion's line; a block cut while being sent does not.
      "Impossibile eseguire il travaso Righe PS Ordini:\r");
}

// The task's transaction on the destination starts as the archive is described, before any
// step: the program's alone (isql's transactions wait on locks, the program's do not).
TEST_F(LimiteRispostaTest, DescrizioneOltreIlLimite) {
  Verifica("CREATE TRIGGER T_LENTO ON TRANSACTION START AS\n" + variabili_ +
               "  IF (RDB$GET_CONTEXT('SYSTEM', 'ISOLATION_LEVEL') = 'SNAPSHOT' AND\n"
               "      RDB$GET_CONTEXT('SYSTEM', 'LOCK_TIMEOUT') = '0') THEN BEGIN\n" +
               lento_ + "  END\nEND^\n",
           "Impossibile leggere la struttura della destinazione\r\"" + destinazione_ + "\":\r");
}

// Marked by the copy of the orders, so that only the task's transaction waits.
TEST_F(LimiteRispostaTest, CommitOltreIlLimite) {
  Verifica(
      "CREATE TRIGGER T_SEGNA FOR PS_ORDINI AFTER INSERT AS\nBEGIN\n"
      "  RDB$SET_CONTEXT('USER_TRANSACTION', 'COPIA', 1);\nEND^\n"
      "CREATE TRIGGER T_LENTO ON TRANSACTION COMMIT AS\n" +
          variabili_ +
          "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'COPIA') IS NOT NULL) THEN BEGIN\n" + lento_ +
          "  END\nEND^\n",
      "Impossibile eseguire il travaso Conferma PS Ordini:\r");
}

// Where the server copies the rows, one request lasts as long as a table's copy: five seconds of
// order rows (25 ms each, as a busy destination writes them) against a limit of one are not cut
// while the rows keep moving. Through the program the same rows would go in requests of 64 rows,
// each longer than the limit. The request that the server's monitoring tables show while it runs
// holds no password.
TEST_F(LimiteRispostaTest, CopiaNelServerOltreIlLimite) {
  Prepara(DatiMassivi(100), righeLente_, 1, true);
  TProcesso processo = impianto_.Avvia();
  int copie = 0, conPassword = -1;
  const auto limite = std::chrono::steady_clock::now() + 60s;
  while (copie == 0 && processo.InCorso() && std::chrono::steady_clock::now() < limite) {
    TSessione osservatore(server_->Nome() + ":destinazione", kPassword);
    const std::string copia =
        "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
        "MON$SQL_TEXT CONTAINING 'ON EXTERNAL'";
    copie = osservatore.Valore(copia);
    conPassword = osservatore.Valore(copia + " AND MON$SQL_TEXT CONTAINING '" + kPassword + "'");
  }
  EXPECT_GT(copie, 0) << "the server's copy was never seen running";
  EXPECT_EQ(conPassword, 0);
  const TEsito esito = processo.Attendi(120s);
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  const auto righe = impianto_.LeggiTabella();
  EXPECT_EQ(righe.at(1).nota, kSuccesso) << Riga(righe.at(1).nota);
  EXPECT_EQ(ContaRighe(destinazione_, "PS_STOINSCAR", IsqlServer()), 200);
  std::cout << "the server's copy of 200 slow order rows under a 1 s limit took " << esito.secondi
            << " s\n";
}

// A server that freezes in the middle of a login (the relay passes a new connection's first answer
// and nothing more) while it would copy the slow rows above: the run ends within its limits. The
// source's login (the first connection) is given up after the connection limit and a second, for
// each of the two names tried; the look's login (the third) leaves the copy past its limit cut
// two limits after it began, and the program does not wait for that login.
struct AccessoCongelato {
  const char* nome;
  int congelaDalla;
  const char* inizioNota;
  const char* fineNota;
  double massimo;
};

class AccessoCongelatoTest : public LimiteRispostaTest,
                             public ::testing::WithParamInterface<AccessoCongelato> {};

TEST_P(AccessoCongelatoTest, RunConclusa) {
  const AccessoCongelato& caso = GetParam();
  Prepara(DatiMassivi(100), righeLente_, 1, true, caso.congelaDalla);
  // The server holds the source open, so that the embedded engine cannot take its local path.
  TSessione altroUtente(server_->Nome() + ":origine", kPassword);
  const TEsito esito = impianto_.Esegui(60s);
  ASSERT_NE(esito.stato, -1) << "still running after a minute";
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_LT(esito.secondi, caso.massimo);
  const std::string nota = impianto_.LeggiTabella().at(1).nota;
  EXPECT_TRUE(nota.starts_with(caso.inizioNota) && nota.ends_with(caso.fineNota)) << Riga(nota);
  EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima_);
  std::cout << caso.nome << ": the run took " << esito.secondi << " s\n";
}

INSTANTIATE_TEST_SUITE_P(
    , AccessoCongelatoTest,
    ::testing::Values(AccessoCongelato{"origine", 1,
                                       "Impossibile stabilire la connessione all'origine\r",
                                       "\rImpossibile stabilire la connessione",
                                       2 * (kTimeoutConnessione + 1) + 4.0},
                      AccessoCongelato{"sguardo", 3,
                                       "Impossibile eseguire il travaso Righe PS Ordini:\r",
                                       "Error reading data from the connection", 2 + 6.0}),
    [](const auto& riga) { return std::string(riga.param.nome); });

}  // namespace
