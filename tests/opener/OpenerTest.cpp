#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "db/SQLDatabase.h"
#include "opener/Credenziali.h"
#include "opener/Opener.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "support/FirebirdServer.h"
#include "support/Relay.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kCreato = "Effettuata creazione data base";
const std::string kNonTrovato = "Non trovato dati.ini";
const std::string kNonRiuscita = "Apertura / creazione del database non riuscita!";
const std::string kErroreRete =
    "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
    "impossibile l'attivazione del database";

std::string AvvisoCondivisione(const std::string& condivisione) {
  return "Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - " +
         condivisione +
         " - e non con la lettera che lo identifica. Si consiglia di correggere la condivisione "
         "oppure di correggere manualmente la sezione Percorso Nel Server nel file Dati.ini "
         "accanto al database";
}

struct Risposta {
  uint16_t esito = 0;  // 0: the window is closed without a choice
  std::string server, lettera;
};

// Answers the boxes and the dialog as a user would, and records what was shown and which names
// the opener tried.
class Utente : public TInterfacciaUtente {
 public:
  explicit Utente(Risposta risposta = {}) : risposta_(std::move(risposta)) {
    precedente_ = ImpostaInterfacciaUtente(this);
  }
  ~Utente() override { ImpostaInterfacciaUtente(precedente_); }
  TOsservatoreConnessioni Osservatore() {
    return [this](const std::string& nome) { nomi.push_back(nome); };
  }
  void MostraMessaggio(const std::string& titolo, const std::string& testo,
                       TIconaMessaggio icona) override {
    EXPECT_EQ(titolo, "vessentaria");
    EXPECT_EQ(icona, TIconaMessaggio::Nessuna);
    messaggi.push_back(testo);
  }
  void MostraDialogo(TDueCampiForm& d) override {
    ++dialoghi;
    caption = d.Caption();
    etichetta = d.Label1.Caption;
    etichettaTop = d.Label1.Top;
    font = d.Font().Name + " " + std::to_string(d.Font().Size) + (d.Font().Bold ? " bold" : "");
    edit1Iniziale = d.Edit1.Text;
    attivoEdit1 = d.ActiveControl() == &d.Edit1;
    // Boxes come before the dialog, never while it is open.
    messaggiPrimaDelDialogo = messaggi.size();
    d.Edit1.Text = risposta_.server;
    d.Edit2.Text = risposta_.lettera;
    if (risposta_.esito == 1) d.OKBtnClick();
    if (risposta_.esito == 2) d.CancelBtnClick();
  }

  std::vector<std::string> messaggi;
  std::vector<std::string> nomi;
  int dialoghi = 0;
  size_t messaggiPrimaDelDialogo = 0;
  std::string caption, etichetta, font, edit1Iniziale;
  int etichettaTop = 0;
  bool attivoEdit1 = false;

 private:
  Risposta risposta_;
  TInterfacciaUtente* precedente_ = nullptr;
};

// A port on 127.0.0.1 where nothing listens: connections to it are refused at once.
int PortaChiusa() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof(a);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

// Network-share and drive-letter folders are relative paths on Linux: each case works in a
// folder of its own.
class CartellaCorrente {
 public:
  explicit CartellaCorrente(const std::string& cartella) : precedente_(fs::current_path()) {
    fs::current_path(cartella);
  }
  ~CartellaCorrente() { fs::current_path(precedente_); }

 private:
  fs::path precedente_;
};

// Page size and dialect of a database, read by isql independently of the access layer.
std::string PaginaEDialetto(const std::string& database) {
  return QueryIsql(database, "SELECT MON$PAGE_SIZE, MON$SQL_DIALECT FROM MON$DATABASE");
}

}  // namespace

TEST(Opener, NetworkShareFolders) {
  struct Caso {
    std::string cartella, percorsoNelServer;
    bool risultato;
    std::string percorso;
    bool conNome;
    std::vector<std::string> messaggi;
  };
  const Caso casi[] = {
      {"\\\\SRV\\C\\Dati\\", "", false, "SRV:C:\\Dati\\", false, {}},
      {"\\\\SRV\\C\\Dati\\", "D:\\Altro\\", false, "SRV:C:\\Dati\\", false, {}},
      {"\\\\SRV\\D\\", "", false, "SRV:D:\\", false, {}},
      {"\\\\SRV\\C", "", false, "SRV:C:", false, {}},
      {"\\\\SRV\\ARCHIVI\\Ditta1\\", "D:\\Archivi\\", false, "SRV:D:\\Archivi\\", true, {}},
      {"\\\\SRV\\ARCHIVI\\Ditta1\\", "D:\\Archivi", false, "SRV:D:\\Archivi", true, {}},
      {"\\\\SRV\\ARCHIVI\\", "", true, "ARCHIVI\\", true, {AvvisoCondivisione("ARCHIVI")}},
      {"\\\\SRV\\AB\\x\\", "", true, "AB\\x\\", true, {AvvisoCondivisione("AB")}},
  };
  for (const auto& caso : casi) {
    Utente utente;
    std::string percorso = "non toccato";
    bool conNome = false;
    EXPECT_EQ(PercorsoDaCondivisione(caso.cartella, caso.percorsoNelServer, percorso, conNome),
              caso.risultato)
        << caso.cartella;
    EXPECT_EQ(percorso, caso.percorso) << caso.cartella;
    EXPECT_EQ(conNome, caso.conNome) << caso.cartella;
    EXPECT_EQ(utente.messaggi, caso.messaggi) << caso.cartella;
  }
}

// Every rule that does not reach a database: the names tried in order, the boxes shown, the
// dialog, the result and what dati.ini holds afterwards. Servers are refused at once (a closed
// local port) or unknown; "a.fdb" is a folder, so neither connecting to nor creating the local
// name can succeed.
TEST(Opener, NamingRules) {
  std::string rifiuto;
  const std::string srv = "localhost/" + std::to_string(PortaChiusa());
  struct Caso {
    std::string nome;
    std::string cartella;  // "<T>" stands for the case's own folder
    std::optional<std::string> datiIni;
    Risposta risposta;
    std::vector<std::string> nomi;
    std::vector<std::string> messaggi;
    int dialoghi;
    std::optional<std::string> datiIniDopo;  // unset: unchanged
  };
  const Caso casi[] = {
      {"alias, then local, then the stored server",
       "<T>",
       "[CONFIG]\nNome Server=" + srv + "\nAlias=ditta\n",
       {},
       {srv + ":ditta", "<T>a.fdb", srv + ":<T>a.fdb"},
       {},
       0,
       {}},
      {"alias without server is skipped",
       "<T>",
       "[CONFIG]\nAlias=ditta\n",
       {2, "x", "y"},
       {"<T>a.fdb"},
       {kNonTrovato, kNonRiuscita},
       1,
       {}},
      {"server folder",
       "<T>",
       "[CONFIG]\nNome Server=" + srv + "\nPercorsoDatabase=C:\\Dati\n",
       {},
       {"\\\\" + srv + "\\C:\\Dati\\a.fdb"},
       {},
       0,
       {}},
      {"server folder with its backslash, alias first",
       "<T>",
       "[CONFIG]\nNome Server=" + srv + "\nAlias=ditta\nPercorsoDatabase=C:\\Dati\\\n",
       {},
       {srv + ":ditta", "\\\\" + srv + "\\C:\\Dati\\a.fdb"},
       {},
       0,
       {}},
      {"drive-letter share",
       "\\\\SRV\\C\\Dati\\",
       std::nullopt,
       {2, "", ""},
       {"SRV:C:\\Dati\\a.fdb"},
       {kNonTrovato, kNonRiuscita},
       1,
       {}},
      {"named share with its server folder",
       "\\\\SRV\\ARCHIVI\\Ditta1\\",
       "[CONFIG]\nPercorso Nel Server=D:\\Archivi\\\n",
       {},
       {"SRV:D:\\Archivi\\a.fdb"},
       {kErroreRete},
       0,
       {}},
      {"named share without its server folder",
       "\\\\SRV\\ARCHIVI\\",
       std::nullopt,
       {},
       {},
       {AvvisoCondivisione("ARCHIVI")},
       0,
       {}},
      {"prompt with a drive letter",
       "Z:\\Dati\\",
       std::nullopt,
       {1, srv, "C"},
       {"Z:\\Dati\\a.fdb", srv + ":C:\\Dati\\a.fdb"},
       {kNonTrovato},
       1,
       "[CONFIG]\nNome Server=" + srv + "\nLettera Disco Server=C\n"},
      {"prompt without a drive letter",
       "<T>",
       std::nullopt,
       {1, srv, ""},
       {"<T>a.fdb", srv + ":<T>a.fdb"},
       {kNonTrovato},
       1,
       "[CONFIG]\nNome Server=" + srv + "\n"},
      {"prompt answered with an empty server",
       "<T>",
       "[CONFIG]\nAlias=ditta\n",
       {1, "", "C"},
       {"<T>a.fdb"},
       {kNonTrovato, kNonRiuscita},
       1,
       "[CONFIG]\nAlias=ditta\nNome Server=\nLettera Disco Server=C\n"},
      {"prompt cancelled",
       "<T>",
       "; mano dell'utente\n[CONFIG]\nLettera Disco Server=E\n",
       {2, srv, "C"},
       {"<T>a.fdb"},
       {kNonTrovato, kNonRiuscita},
       1,
       {}},
      {"prompt closed",
       "<T>",
       std::nullopt,
       {0, srv, "C"},
       {"<T>a.fdb"},
       {kNonTrovato, kNonRiuscita},
       1,
       {}},
      {"stored server: the local name first, no dialog",
       "<T>",
       "[CONFIG]\nNome Server=" + srv + "\nLettera Disco Server=C\n",
       {},
       {"<T>a.fdb", srv + ":C<T1>a.fdb"},
       {},
       0,
       {}},
  };
  for (const auto& caso : casi) {
    SCOPED_TRACE(caso.nome);
    TempFolder temp;
    CartellaCorrente qui(temp.Path());
    auto sostituisci = [&](std::string s) {
      for (size_t p; (p = s.find("<T1>")) != std::string::npos;)
        s.replace(p, 4, temp.Path().substr(1));
      for (size_t p; (p = s.find("<T>")) != std::string::npos;) s.replace(p, 3, temp.Path());
      return s;
    };
    const std::string cartella = sostituisci(caso.cartella);
    fs::create_directories(temp / "a.fdb");
    const fs::path sopra = fs::path(cartella + "dati.ini").parent_path();
    if (!sopra.empty()) fs::create_directories(sopra);
    if (caso.datiIni) ScriviFile(cartella + "dati.ini", *caso.datiIni);
    const bool esisteva = fs::exists(cartella + "dati.ini");
    const std::string prima = LeggiFile(cartella + "dati.ini");

    TSQLDatabase database;
    Utente utente(caso.risposta);
    EXPECT_FALSE(ApriCreaDatabase(database, cartella, "a.fdb", "", "", nullptr, rifiuto,
                                  utente.Osservatore()));
    EXPECT_FALSE(database.Connected());
    std::vector<std::string> nomi;
    for (const auto& n : caso.nomi) nomi.push_back(sostituisci(n));
    EXPECT_EQ(utente.nomi, nomi);
    EXPECT_EQ(utente.messaggi, caso.messaggi);
    EXPECT_EQ(utente.dialoghi, caso.dialoghi);
    if (caso.dialoghi > 0) {
      EXPECT_EQ(utente.messaggiPrimaDelDialogo, 1u);
      EXPECT_EQ(utente.caption, "Non trovato dati.ini");
      EXPECT_EQ(utente.etichetta,
                "Inserire il nome del computer e la lettera della sua\r\nunità disco dove "
                "risulta ospitato (o sarà ospitato) il database");
      EXPECT_EQ(utente.font, "Arial 8");
      EXPECT_EQ(utente.etichettaTop, 22);
      EXPECT_EQ(utente.edit1Iniziale, "");
      EXPECT_TRUE(utente.attivoEdit1);
    }
    if (caso.datiIniDopo) {
      EXPECT_EQ(LeggiFile(cartella + "dati.ini"), *caso.datiIniDopo);
    } else {
      EXPECT_EQ(fs::exists(cartella + "dati.ini"), esisteva);
      EXPECT_EQ(LeggiFile(cartella + "dati.ini"), prima);
    }
  }
}

TEST(Opener, LocalDatabases) {
  std::string rifiuto;
  TempFolder temp;
  CreaDatabaseDiProva(temp / "ditta.fdb", "CREATE TABLE SEGNO (ID INTEGER);");
  TSQLDatabase database;
  {
    Utente utente;
    ASSERT_TRUE(ApriCreaDatabase(database, temp.Path(), "ditta.fdb", "", "", nullptr, rifiuto,
                                 utente.Osservatore()));
    EXPECT_TRUE(database.Connected());
    EXPECT_EQ(utente.nomi, std::vector<std::string>{temp / "ditta.fdb"});
    EXPECT_TRUE(utente.messaggi.empty());
    EXPECT_EQ(database.Params().Lines(),
              (std::vector<std::string>{"user_name=SYSDBA", "password=tawnyquip"}));
    EXPECT_FALSE(database.LoginPrompt());
  }
  {
    // The same handle, still connected, opens a missing database: it is created.
    Utente utente;
    ASSERT_TRUE(ApriCreaDatabase(database, temp.Path(), "", "", "", nullptr, rifiuto,
                                 utente.Osservatore()));
    EXPECT_TRUE(database.Connected());
    EXPECT_EQ(database.DatabaseName(), temp / "archivio.fdb");
    EXPECT_EQ(utente.nomi, std::vector<std::string>{temp / "archivio.fdb"});
    EXPECT_EQ(utente.messaggi, std::vector<std::string>{kCreato});
    EXPECT_EQ(utente.dialoghi, 0);
    EXPECT_EQ(
        database.Params().Lines(),
        (std::vector<std::string>{"USER \"SYSDBA\"", "PASSWORD \"tawnyquip\"", "PAGE_SIZE 4096"}));
    EXPECT_EQ(database.SQLDialect(), 3);
  }
  database.SetConnected(false);
  EXPECT_FALSE(fs::exists(temp / "dati.ini"));
  const std::string creato = PaginaEDialetto(temp / "archivio.fdb");
  EXPECT_NE(creato.find("MON$PAGE_SIZE                   4096"), std::string::npos) << creato;
  EXPECT_NE(creato.find("MON$SQL_DIALECT                 3"), std::string::npos) << creato;
  // The first database is untouched by the second open.
  EXPECT_NE(QueryIsql(temp / "ditta.fdb", "SELECT COUNT(*) AS N FROM SEGNO").find("N  "),
            std::string::npos);
}

TEST(Opener, ConnectOrCreateLines) {
  std::string rifiuto;
  TempFolder temp;
  fs::create_directory(temp / "cartella.fdb");
  TSQLDatabase database;
  Utente utente;
  // A folder can be neither opened nor created: both attempts fail, nothing is shown.
  EXPECT_FALSE(ConnettiCreaDatabase(database, temp / "cartella.fdb", "", "", "ALTRO", "segreta",
                                    rifiuto, utente.Osservatore()));
  EXPECT_EQ(database.DatabaseName(), temp / "cartella.fdb");
  EXPECT_EQ(database.Params().Lines(),
            (std::vector<std::string>{"USER \"ALTRO\"", "PASSWORD \"segreta\"", "PAGE_SIZE 4096"}));
  EXPECT_TRUE(utente.messaggi.empty());

  struct Caso {
    std::string nome, server, lettera, atteso;
  };
  const std::string srv = "localhost/" + std::to_string(PortaChiusa());
  const Caso casi[] = {
      {"Z:\\Dati\\a.fdb", srv, "C", srv + ":C:\\Dati\\a.fdb"},
      {"Z:\\Dati\\a.fdb", srv, "", srv + ":Z:\\Dati\\a.fdb"},
      {"Z:\\Dati\\a.fdb", srv, "DD", srv + ":DD:\\Dati\\a.fdb"},
      {"Z:\\Dati\\a.fdb", "", "C", "Z:\\Dati\\a.fdb"},
      {"", srv, "C", srv + ":C"},
  };
  for (const auto& caso : casi) {
    utente.nomi.clear();
    CartellaCorrente qui(temp.Path());
    EXPECT_FALSE(ConnettiCreaDatabase(database, caso.nome, caso.server, caso.lettera, "", "",
                                      rifiuto, utente.Osservatore()));
    EXPECT_EQ(utente.nomi, std::vector<std::string>{caso.atteso});
    EXPECT_EQ(database.DatabaseName(), caso.atteso);
  }
}

TEST(Opener, UnwritableDatiIniLeavesTheOpener) {
  std::string rifiuto;
  TempFolder temp;
  const std::string cartella = temp / "manca/";
  TSQLDatabase database;
  Utente utente({1, "SRV", "C"});
  try {
    ApriCreaDatabase(database, cartella, "a.fdb", "", "", nullptr, rifiuto, utente.Osservatore());
    FAIL() << "no error raised";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + cartella + "dati.ini");
  }
  EXPECT_EQ(utente.messaggi, std::vector<std::string>{kNonTrovato});
  EXPECT_FALSE(fs::exists(cartella));
}

// The alias rule's server refuses the connection and the local path opens the archive: one line
// on standard error says so, with the server's reason.
TEST(Opener, ServerNotReachedIsToldWhenTheLocalPathOpens) {
  TempFolder temp;
  CreaDatabaseDiProva(temp / "ditta.fdb", "CREATE TABLE SEGNO (ID INTEGER);");
  const std::string server = "127.0.0.1/" + std::to_string(PortaChiusa());
  std::ofstream(temp / "dati.ini") << "[CONFIG]\nNome Server=" << server << "\nAlias=ditta\n";
  TSQLDatabase database;
  Utente utente;
  std::string rifiuto;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(ApriCreaDatabase(database, temp.Path(), "ditta.fdb", "", "", nullptr, rifiuto,
                               utente.Osservatore()));
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::string attesa =
      "vessentaria: " + (temp / "ditta.fdb") + ": server " + server +
      " (alias ditta) non raggiungibile, aperto tramite motore incorporato: ";
  EXPECT_EQ(err.substr(0, attesa.size()), attesa) << err;
  EXPECT_GT(err.size(), attesa.size() + 10) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_TRUE(utente.messaggi.empty());
}

namespace {

// ApriCreaDatabase on "a.fdb" in `cartella` as a check or a status view calls it: nothing created.
bool ApriSenzaCreare(TSQLDatabase& database, const std::string& cartella, Utente& utente,
                     std::string& rifiuto) {
  ImpostaSoloApertura(true);
  const bool aperto =
      ApriCreaDatabase(database, cartella, "a.fdb", "", "", nullptr, rifiuto, utente.Osservatore());
  ImpostaSoloApertura(false);
  return aperto;
}

}  // namespace

// A start that must change nothing: a missing database is not created and no server is asked
// for, so dati.ini stays unwritten.
TEST(Opener, OpenOnlyCreatesAndAsksNothing) {
  TempFolder temp;
  TSQLDatabase database;
  Utente utente({1, "SRV", "C"});
  std::string rifiuto;
  const bool aperto = ApriSenzaCreare(database, temp.Path(), utente, rifiuto);
  EXPECT_FALSE(aperto);
  EXPECT_EQ(utente.dialoghi, 0);
  EXPECT_EQ(utente.messaggi, std::vector<std::string>{kNonRiuscita});
  EXPECT_FALSE(fs::exists(temp / "a.fdb"));
  EXPECT_FALSE(fs::exists(temp / "dati.ini"));
}

// Through a private server on loopback: the alias rule, the prompt rule and a wrong password.
class OpenerServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dati_ = std::make_unique<TempFolder>();
    CreaDatabaseDiProva(*dati_ / "demo.fdb", "CREATE TABLE SEGNO (ID INTEGER);");
    server_ = std::make_unique<FirebirdServer>(
        "tawnyquip",
        std::vector<std::pair<std::string, std::string>>{{"demo", *dati_ / "demo.fdb"}});
  }
  static void TearDownTestSuite() {
    server_.reset();
    dati_.reset();
  }
  static std::unique_ptr<TempFolder> dati_;
  static std::unique_ptr<FirebirdServer> server_;
};
std::unique_ptr<TempFolder> OpenerServer::dati_;
std::unique_ptr<FirebirdServer> OpenerServer::server_;

TEST_F(OpenerServer, AliasRuleConnectsThroughTheServer) {
  std::string rifiuto;
  TempFolder temp;
  ScriviFile(temp / "dati.ini", "[CONFIG]\nNome Server=" + server_->Nome() + "\nAlias=demo\n");
  TSQLDatabase database;
  Utente utente;
  ASSERT_TRUE(ApriCreaDatabase(database, temp.Path(), "ignorato.fdb", "", "", nullptr, rifiuto,
                               utente.Osservatore()));
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(utente.nomi, std::vector<std::string>{server_->Nome() + ":demo"});
  EXPECT_TRUE(utente.messaggi.empty());
  EXPECT_FALSE(fs::exists(temp / "ignorato.fdb"));
}

TEST_F(OpenerServer, PromptRuleConnectsThroughTheServer) {
  std::string rifiuto;
  TempFolder temp;
  CreaDatabaseDiProva(temp / "a.fdb", "CREATE TABLE SEGNO (ID INTEGER);");
  // While the server holds the database, the local engine cannot open it, nor create it.
  TSQLDatabase tenuto;
  ASSERT_TRUE(ConnettiCreaDatabase(tenuto, server_->Nome() + ":" + temp / "a.fdb", "", "", "", "",
                                   rifiuto));

  TSQLDatabase database;
  Utente utente({1, server_->Nome(), ""});
  ASSERT_TRUE(ApriCreaDatabase(database, temp.Path(), "a.fdb", "", "", nullptr, rifiuto,
                               utente.Osservatore()));
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(utente.nomi,
            (std::vector<std::string>{temp / "a.fdb", server_->Nome() + ":" + temp / "a.fdb"}));
  EXPECT_EQ(utente.messaggi, std::vector<std::string>{kNonTrovato});
  EXPECT_EQ(utente.dialoghi, 1);
  EXPECT_EQ(LeggiFile(temp / "dati.ini"), "[CONFIG]\nNome Server=" + server_->Nome() + "\n");
  TIniFile ini(temp / "dati.ini");
  EXPECT_EQ(ini.ReadString("CONFIG", "Lettera Disco Server", "assente"), "assente");

  // The next open of the folder tries the local name first, then the stored server, no dialog.
  TSQLDatabase ancora;
  Utente dopo;
  ASSERT_TRUE(
      ApriCreaDatabase(ancora, temp.Path(), "a.fdb", "", "", nullptr, rifiuto, dopo.Osservatore()));
  EXPECT_EQ(dopo.nomi,
            (std::vector<std::string>{temp / "a.fdb", server_->Nome() + ":" + temp / "a.fdb"}));
  EXPECT_TRUE(dopo.messaggi.empty());
  EXPECT_EQ(dopo.dialoghi, 0);
}

TEST_F(OpenerServer, RefusedLoginEndsTheOpeningWithTheServersText) {
  std::string rifiuto;
  TempFolder temp;
  CreaDatabaseDiProva(temp / "a.fdb");
  const std::string cartella = server_->Nome() + ":" + temp.Path();
  {
    // No creation under that name, no other rule and no prompt: the server answered.
    TSQLDatabase database;
    Utente utente({1, server_->Nome(), ""});
    EXPECT_FALSE(ApriCreaDatabase(database, cartella, "a.fdb", "SYSDBA", "sbagliata", nullptr,
                                  rifiuto, utente.Osservatore()));
    EXPECT_EQ(utente.nomi, std::vector<std::string>{cartella + "a.fdb"});
    EXPECT_TRUE(utente.messaggi.empty());
    EXPECT_EQ(utente.dialoghi, 0);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(rifiuto,
              "Your user name and password are not defined. Ask your database administrator to "
              "set up a Firebird login\rUtente \"SYSDBA\"");
  }
  {
    // The same name with the right password connects.
    TSQLDatabase database;
    Utente utente;
    EXPECT_TRUE(ApriCreaDatabase(database, cartella, "a.fdb", "SYSDBA", "tawnyquip", nullptr,
                                 rifiuto, utente.Osservatore()));
    EXPECT_TRUE(utente.messaggi.empty());
    EXPECT_EQ(rifiuto, "");
  }
}

// A mistyped section falls back to another login, silently until the server refuses it: the
// text then names the user tried and the section it came from.
TEST_F(OpenerServer, RefusedLoginNamesTheLoginTried) {
  TempFolder temp;
  CreaDatabaseDiProva(temp / "a.fdb");
  const std::string cartella = server_->Nome() + ":" + temp.Path();
  const std::string credenziali = temp / "credenziali.ini";
  ImpostaFileCredenziali(credenziali);
  // Appended, not prefixed: g++ 12 at -O3 sees a false overlap in "[" + string&&.
  const std::string sezione = std::string("[").append(server_->Nome()).append("]");
  const std::pair<std::string, std::string> casi[] = {
      {"[locahost]\nPassword=tawnyquip\n[Predefinite]\nUtente=SITO\nPassword=x\n",
       "Utente \"SITO\" (sezione [Predefinite] di credenziali.ini)"},
      {sezione + "\nPassword=sbagliata\n",
       "Utente \"SYSDBA\" (sezione " + sezione + " di credenziali.ini)"},
  };
  for (const auto& [file, login] : casi) {
    ScriviFile(credenziali, file);
    TSQLDatabase database;
    Utente utente;
    std::string rifiuto;
    EXPECT_FALSE(ApriCreaDatabase(database, cartella, "a.fdb", "", "", nullptr, rifiuto,
                                  utente.Osservatore()));
    EXPECT_EQ(rifiuto.substr(rifiuto.find('\r') + 1), login) << rifiuto;
    EXPECT_EQ(rifiuto.find("sbagliata"), std::string::npos);
  }
  ImpostaFileCredenziali("");
}

// A misspelt server fails with the client's own text, which the opener keeps for the caller's
// message beside that of every other failed attempt.
TEST(Opener, FailedAttemptsKeepTheirTexts) {
  TempFolder temp;
  std::ofstream(temp / "dati.ini") << "[CONFIG]\nNome Server=localhots\n";
  TSQLDatabase database;
  Utente utente;
  std::string rifiuto;
  const bool aperto = ApriSenzaCreare(database, temp.Path(), utente, rifiuto);
  EXPECT_FALSE(aperto);
  EXPECT_EQ(rifiuto, "");
  const std::string tentativi = TentativiFalliti();
  EXPECT_EQ(tentativi.rfind(temp / "a.fdb: ", 0), 0u) << tentativi;
  EXPECT_NE(tentativi.find("\rlocalhots:" + temp / "a.fdb: "), std::string::npos) << tentativi;
  EXPECT_NE(tentativi.find("network request to host \"localhots\""), std::string::npos);

  // Each opening starts with a clean slate.
  CreaDatabaseDiProva(temp / "b.fdb");
  EXPECT_TRUE(ApriCreaDatabase(database, temp.Path(), "b.fdb", "", "", nullptr, rifiuto));
  EXPECT_EQ(TentativiFalliti(), "");
}

// A server that accepts connections and answers nothing: the attempt ends at the limit, and no
// creation follows under that name (it would wait for the same server with no limit).
TEST(Opener, FrozenServerAttemptEndsAtTheLimit) {
  std::string rifiuto;
  FirebirdServer server("tawnyquip");
  const TLimitiRete prima = LimitiRete();
  ImpostaLimitiRete({2, 0, ""});
  TempFolder temp;
  const std::string nome = server.Nome() + ":" + server.DataFolder() + "nuovo.fdb";
  server.Sospendi();
  const auto inizio = std::chrono::steady_clock::now();
  TSQLDatabase database;
  Utente utente;
  const bool connesso =
      ConnettiCreaDatabase(database, nome, "", "", "", "", rifiuto, utente.Osservatore());
  const double secondi =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio).count();
  server.Riprendi();
  ImpostaLimitiRete(prima);
  EXPECT_FALSE(connesso);
  EXPECT_FALSE(database.Connected());
  EXPECT_GE(secondi, 1.5);
  EXPECT_LT(secondi, 6.0);
  EXPECT_EQ(utente.nomi, std::vector<std::string>{nome});
  EXPECT_TRUE(utente.messaggi.empty());
  EXPECT_FALSE(fs::exists(server.DataFolder() + "nuovo.fdb"));
}

// The host's server of plain paths, each way it can fail: whether the embedded engine opens the
// archive, the line on standard error, and whether later openings (another archive, then the same
// again) ask that server again.
TEST(Opener, HostServerFailures) {
  FirebirdServer server("tawnyquip", {}, true);
  Relay chiude(PortaChiusa());  // accepts, and closes at once: no Firebird server there
  const std::string dopo = "; non più interpellato in questa esecuzione";
  const std::string io =
      "il server non ha aperto il file: I/O error during \"open\" operation "
      "for file \"<F>\" / Error while trying to open file / Permission denied";
  struct Caso {
    std::string server;
    bool sospeso, saltato;           // saltato: later openings do not ask that server
    std::string messaggio;           // of each failed opening; empty: each opens
    std::vector<std::string> cause;  // of each opening's line; empty: none
  };
  const Caso casi[] = {
      {"localhost/" + std::to_string(PortaChiusa()), false, false, "", {"", "", ""}},
      {"nessuno.invalid",
       false,
       false,
       "Server locale \"nessuno.invalid\" ([Rete] ServerLocale nel dati.ini di USER.FDB) "
       "sconosciuto: Unable to complete network request to host \"nessuno.invalid\". / Failed to "
       "locate host machine. / The specified name was not found in the hosts file or Domain Name "
       "Services",
       {"", "", ""}},
      {server.Nome(),
       true,
       true,
       "",
       {"nessuna risposta in 2 s: connection rejected by remote interface" + dopo,
        "non interpellato (in questa esecuzione: nessuna risposta in 2 s)", ""}},
      {chiude.Nome(),
       false,
       true,
       "",
       {"sulla porta non risponde un server Firebird: connection rejected by remote interface" +
            dopo,
        "non interpellato (in questa esecuzione: sulla porta non risponde un server Firebird)",
        ""}},
      // Only root can make a file the server (then the firebird user) cannot open.
      {server.Nome(), false, false, "", {io, io, io}},
  };
  const TLimitiRete prima = LimitiRete();
  for (const auto& caso : casi) {
    SCOPED_TRACE(caso.server + " " + caso.cause[0]);
    if (caso.cause[0] == io && geteuid() != 0) continue;
    TempFolder temp;
    ImpostaLimitiRete({2, 0, caso.server});
    if (caso.sospeso) server.Sospendi();
    std::string righe, attese;
    for (size_t i = 0; i < 3; ++i) {
      const std::string file = temp / (i == 0 ? "a.fdb" : "b.fdb");
      if (i < 2) CreaDatabaseDiProva(file);
      std::string causa = caso.cause[i];
      if (causa == io) causa.replace(causa.find("<F>"), 3, file);
      if (!causa.empty())
        attese += "vessentaria: " + file + ": aperto tramite motore incorporato, non tramite " +
                  "server " + caso.server + ": " + causa + "\n";
      TSQLDatabase database;
      Utente utente;
      std::string messaggio;
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(ApriCreaDatabase(database, temp.Path(), EstraiNomeFile(file), "", "", nullptr,
                                 messaggio, utente.Osservatore()),
                caso.messaggio.empty());
      righe += ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(messaggio, caso.messaggio);
      std::vector<std::string> nomi;
      if (i == 0 || !caso.saltato) nomi.push_back(caso.server + ":" + file);
      if (caso.messaggio.empty()) nomi.push_back(file);
      EXPECT_EQ(utente.nomi, nomi);
    }
    if (caso.sospeso) server.Riprendi();
    EXPECT_EQ(righe, attese);
  }
  ImpostaLimitiRete(prima);
}
