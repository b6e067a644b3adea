// A server that stops answering (SIGSTOP: its port still accepts, nothing answers) in the middle
// of an attachment: the limit of a request ends the wait with the client's network error. (The
// limit of a connection attempt is tested through the opener, which sets it.)

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"
#include "db/Schema.h"
#include "db/Sorvegliante.h"
#include "support/FirebirdServer.h"
#include "support/Relay.h"

namespace {

const char* const kPassword = "tawnyquip";

double Secondi(std::chrono::steady_clock::time_point da) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - da).count();
}

// Resumes the server however the test ends.
struct Ripresa {
  FirebirdServer& server;
  ~Ripresa() { server.Riprendi(); }
};

class SorveglianteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreaDatabaseDiProva(archivio_,
                        "CREATE TABLE T (ID INTEGER, B BLOB SUB_TYPE 0);\n"
                        "COMMIT;\n"
                        "INSERT INTO T VALUES (1, 'contenuto');\n"
                        "CREATE TABLE L (TESTO VARCHAR(4000));\n"
                        "INSERT INTO L " +
                            RigheNumerate(500, "LPAD('', 4000, 'l')") + ";\n");
  }

  // Through `server` when given, `server_` otherwise; with `connetti` false left to connect.
  std::unique_ptr<TSQLDatabase> Apri(int connessione, int risposta, const std::string& server = "",
                                     bool connetti = true) {
    auto db = std::make_unique<TSQLDatabase>();
    db->SetDatabaseName((server.empty() ? server_.Nome() : server) + ":" + archivio_);
    db->Params().Add("user_name=SYSDBA");
    db->Params().Add(std::string("password=") + kPassword);
    db->SetLoginPrompt(false);
    db->SetConnectTimeout(connessione);
    db->SetResponseTimeout(risposta);
    if (connetti) db->SetConnected(true);
    return db;
  }

  FirebirdServer server_{kPassword};
  std::string archivio_ = server_.DataFolder() + "sorvegliato.fdb";
};

// Each kind of request on an attachment whose server froze after the connection: the request
// fails after the limit with a network error, and ending the transaction and the attachment
// afterwards does not wait either.
TEST_F(SorveglianteTest, RichiestaSenzaRispostaInterrotta) {
  using Passo = std::function<void(TSQLTransaction&, TSQLStatement&)>;
  auto esegui = [](const char* sql) {
    return [sql](TSQLTransaction&, TSQLStatement& s) {
      s.SQL().Add(sql);
      s.Execute();
    };
  };
  struct Caso {
    const char* nome;
    Passo prima;  // before the freeze
    Passo richiesta;
  };
  const std::vector<Caso> casi = {
      {"execute", nullptr, esegui("UPDATE T SET ID = 2")},
      {"select", nullptr, esegui("SELECT ID FROM T")},
      {"commit", nullptr, [](TSQLTransaction& t, TSQLStatement&) { t.Commit(); }},
      // The row came before the freeze; its blob needs the server again.
      {"blob", esegui("SELECT B FROM T"),
       [](TSQLTransaction&, TSQLStatement& s) { s.Fields(0).AsString(); }},
      // Rows read ahead on their own thread: those that reached the client come, the fetch that
      // needs the server is cut and its error reaches the reader.
      {"ahead",
       [esegui](TSQLTransaction& t, TSQLStatement& s) {
         esegui("SELECT TESTO FROM L")(t, s);
         s.LeggiInAnticipo(2, 1 << 20);
         std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the ring is full
       },
       [](TSQLTransaction&, TSQLStatement& s) {
         while (!s.Eof()) s.Next();
       }},
  };
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.nome);
    auto db = Apri(0, 1);
    auto tr = CreaTransazioneSnapshot(*db);
    TSQLStatement s;
    s.SetDatabase(db.get());
    s.SetTransaction(tr.get());
    if (caso.prima) caso.prima(*tr, s);
    server_.Sospendi();
    Ripresa ripresa{server_};
    auto inizio = std::chrono::steady_clock::now();
    try {
      caso.richiesta(*tr, s);
      ADD_FAILURE() << "the request was answered by a suspended server";
    } catch (const ESQLError& e) {
      EXPECT_TRUE(e.ErroreDiRete()) << e.ISCCode() << " " << e.what();
    }
    double secondi = Secondi(inizio);
    EXPECT_GE(secondi, 0.9);
    EXPECT_LT(secondi, 4.0);
    inizio = std::chrono::steady_clock::now();
    s.Close();
    tr.reset();
    db.reset();
    EXPECT_LT(Secondi(inizio), 2.0);
  }
}

// Runs `passo`, whose exception reaches the caller. A step still waiting after 20 s would hang the
// test run: the process ends at once, failed.
void Entro20(std::function<void()> passo) {
  auto compito = std::make_shared<std::packaged_task<void()>>(std::move(passo));
  auto futuro = compito->get_future();
  std::thread([compito] { (*compito)(); }).detach();
  if (futuro.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    std::fputs("FAILED: a step still waits after 20 s\n", stderr);
    std::_Exit(1);
  }
  futuro.get();
}

// A server frozen after the first answer of a login (the relay lets nothing else through): a login
// with a limit fails after it and a second, as a network error; a marked request past its limit
// whose look logs in there (the second connection) is cut within two limits. No release waits.
TEST_F(SorveglianteTest, AccessoCongelatoAbbandonato) {
  for (const int congelaDalla : {1, 2}) {
    SCOPED_TRACE(congelaDalla);
    Relay relay(server_.Port());
    relay.SetCongelaDalla(congelaDalla);
    auto db = Apri(1, 1, relay.Nome(), false);
    auto inizio = std::chrono::steady_clock::now();
    try {
      Entro20([&db] {
        db->SetConnected(true);
        db->SetLavoroSorvegliato("marca-7d1");
        auto tr = CreaTransazioneSnapshot(*db);
        TSQLStatement s;
        s.SetDatabase(db.get());
        s.SetTransaction(tr.get());
        s.SetParamCheck(false);
        s.SQL().Add(
            "EXECUTE BLOCK AS DECLARE T TIMESTAMP; DECLARE N BIGINT = 0; BEGIN /* marca-7d1 */"
            " T = CAST('NOW' AS TIMESTAMP);"
            " WHILE (DATEDIFF(MILLISECOND FROM T TO CAST('NOW' AS TIMESTAMP)) < 8000) DO N = N + 1;"
            " END");
        s.Execute();
      });
      ADD_FAILURE() << "a frozen server answered";
    } catch (const ESQLError& e) {
      EXPECT_TRUE(e.ErroreDiRete()) << e.what();
      if (congelaDalla == 1) {
        EXPECT_STREQ(e.what(), "The server did not complete the login within 1 s");
      }
    }
    EXPECT_GE(Secondi(inizio), 1.9);
    EXPECT_LT(Secondi(inizio), 4.0);
    inizio = std::chrono::steady_clock::now();
    Entro20([&db] { db.reset(); });
    EXPECT_LT(Secondi(inizio), 1.0);
  }
}

}  // namespace

// The limit watches only attachments through a server: on the embedded engine a long request is
// work of this process, not a server that stopped answering, and it runs to its end.
TEST(SorveglianteLocale, RichiestaLungaNonInterrotta) {
  // Known to be embedded at its first statement, or from the describing query before it.
  for (const bool descritto : {false, true}) {
    SCOPED_TRACE(descritto);
    TempFolder cartella;
    const std::string archivio = cartella / "locale.fdb";
    CreaDatabaseDiProva(archivio);
    auto db = ConnettiArchivio(archivio);
    db->SetConnected(false);
    db->SetResponseTimeout(1);
    db->SetConnected(true);
    auto tr = CreaTransazioneSnapshot(*db);
    if (descritto) {
      TTracciati tracciati;
      DescriviDatabase({"RDB$DATABASE"}, *db, *tr, tracciati);
    }
    TSQLStatement s;
    s.SetDatabase(db.get());
    s.SetTransaction(tr.get());
    s.SetParamCheck(false);
    s.SQL().Add(
        "EXECUTE BLOCK RETURNS (N BIGINT) AS DECLARE T TIMESTAMP; BEGIN N = 0;"
        " T = CAST('NOW' AS TIMESTAMP);"
        " WHILE (DATEDIFF(MILLISECOND FROM T TO CAST('NOW' AS TIMESTAMP)) < 2500) DO N = N + 1;"
        " SUSPEND; END");
    const auto inizio = std::chrono::steady_clock::now();
    s.Execute();
    EXPECT_GE(Secondi(inizio), 2.4);
    EXPECT_GT(s.Fields(0).AsInteger(), 0);
    tr->Commit();
  }
}

namespace {

// Several passes of the watchdog's thread (one every 100 ms).
void Guarda() {
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
}

// `contatore` once it has reached `n`, or after 5 s.
int Attendi(const std::atomic<int>& contatore, int n) {
  for (int i = 0; i < 100 && contatore < n; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return contatore.load();
}

}  // namespace

// The watchdog's decisions on a clock that the test moves, with a counted cut in place of the
// client's cancel: a request that overruns is cut once, however long it lasts; the next request is
// judged by its own time, even one begun at the same clock reading as the request that was cut
// (the millisecond count wraps every 49 days), so that it is cut in its turn if it freezes.
TEST(SorveglianteDecisioni, OgniRichiestaGiudicataDaSola) {
  static std::atomic<uint32_t> ora{1000};
  std::atomic<int> tagli{0};
  TSorvegliante sorvegliante([&tagli] { ++tagli; }, 500, [] { return ora.load(); });
  {
    TRichiesta prima(&sorvegliante);
    Guarda();
    EXPECT_EQ(tagli, 0);
    ora += 600;
    EXPECT_EQ(Attendi(tagli, 1), 1);
    Guarda();
    EXPECT_EQ(tagli, 1);
  }
  ora = 1000;
  {
    TRichiesta seconda(&sorvegliante);
    Guarda();
    EXPECT_EQ(tagli, 1);
    ora += 600;
    EXPECT_EQ(Attendi(tagli, 2), 2);
  }
  ora += 600;
  Guarda();
  EXPECT_EQ(tagli, 2);
}

// A request that ends while the cut aimed at it is being issued: the next request on the
// attachment cannot begin before the cut has landed, so the cut falls on the request it was decided
// for. The cut here waits (half a second at most: held back, they never come) for the test's thread
// to end that request and begin the next, and notes which one was in progress when it landed.
TEST(SorveglianteDecisioni, TaglioNonCadeSullaRichiestaSeguente) {
  static std::atomic<uint32_t> ora{1000};
  std::mutex m;
  std::condition_variable cv;
  bool inTaglio = false, seguenteIniziata = false;
  int attiva = 1, tagliata = 0;
  TSorvegliante sorvegliante(
      [&] {
        std::unique_lock<std::mutex> l(m);
        inTaglio = true;
        cv.notify_all();
        cv.wait_for(l, std::chrono::milliseconds(500), [&] { return seguenteIniziata; });
        if (tagliata == 0) tagliata = attiva;
      },
      500, [] { return ora.load(); });
  sorvegliante.Inizio();
  ora += 600;
  {
    std::unique_lock<std::mutex> l(m);
    ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(5), [&] { return inTaglio; }));
  }
  sorvegliante.Fine();
  sorvegliante.Inizio();
  {
    std::lock_guard<std::mutex> l(m);
    attiva = 2;
    seguenteIniziata = true;
  }
  cv.notify_all();
  sorvegliante.Fine();
  std::lock_guard<std::mutex> l(m);
  EXPECT_EQ(tagliata, 1);
}

// Past the limit, a marked request is looked at once per limit: given another limit while its
// work grows since the previous look, cut when it does not or when the look fails; without a
// mark, cut without a look.
TEST(SorveglianteDecisioni, LavoroSegnatoGuardato) {
  static std::atomic<uint32_t> ora{1000};
  std::atomic<int> tagli{0}, sguardi{0};
  std::atomic<int64_t> lavoro{0};  // negative: the look fails
  TSorvegliante sorvegliante([&tagli] { ++tagli; }, 500, [] { return ora.load(); },
                             [&](const std::string& marca) -> int64_t {
                               ++sguardi;
                               if (lavoro < 0 || marca != "m") throw std::runtime_error("none");
                               return lavoro.load();
                             });
  sorvegliante.SetMarca("m");
  {
    TRichiesta richiesta(&sorvegliante);
    lavoro = 10;
    ora += 600;
    EXPECT_EQ(Attendi(sguardi, 1), 1);
    Guarda();  // the new limit runs from the look
    EXPECT_EQ(sguardi, 1);
    EXPECT_EQ(tagli, 0);
    ora += 600;
    EXPECT_EQ(Attendi(tagli, 1), 1);
  }
  for (const char* marca : {"m", ""}) {
    TRichiesta richiesta(&sorvegliante);
    sorvegliante.SetMarca(marca);
    lavoro = -1;
    ora += 600;
    const int prima = tagli;
    EXPECT_EQ(Attendi(tagli, prima + 1), prima + 1);
  }
  EXPECT_EQ(sguardi, 3);
}

// The look runs on a thread of its own, so requests end and begin during it: what it saw of
// request 1 never cuts request 2, which is judged by its own time and look; a look that does not
// answer within a limit (a frozen server) is no look, and the request is cut.
TEST(SorveglianteDecisioni, SguardoNonTagliaLaRichiestaSeguente) {
  static std::atomic<uint32_t> ora{1000};
  std::mutex m;
  std::condition_variable cv;
  int sguardi = 0;
  bool seguente = false, fine = false;
  std::atomic<int> tagli{0};
  TSorvegliante sorvegliante([&tagli] { ++tagli; }, 500, [] { return ora.load(); },
                             [&](const std::string&) -> int64_t {
                               std::unique_lock<std::mutex> l(m);
                               const bool primo = ++sguardi == 1;
                               cv.notify_all();
                               cv.wait_for(l, std::chrono::seconds(5),
                                           [&] { return primo ? seguente : fine; });
                               return 0;
                             });
  sorvegliante.SetMarca("m");
  sorvegliante.Inizio();
  ora += 600;
  std::unique_lock<std::mutex> l(m);
  ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(5), [&] { return sguardi == 1; }));
  sorvegliante.Fine();
  sorvegliante.Inizio();
  seguente = true;
  l.unlock();
  cv.notify_all();
  Guarda();
  EXPECT_EQ(tagli, 0);
  ora += 600;
  l.lock();
  ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(5), [&] { return sguardi == 2; }));
  l.unlock();
  Guarda();
  EXPECT_EQ(tagli, 0);
  ora += 500;
  EXPECT_EQ(Attendi(tagli, 1), 1);
  sorvegliante.Fine();
  l.lock();
  fine = true;
  l.unlock();
  cv.notify_all();
}
