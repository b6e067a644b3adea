// A whole run whose every database is reached through a server of the test's own, logging in with
// the site's user from credenziali.ini. The server's SYSDBA has a password of its own, as a
// careful site's has, so the built-in login would be refused; the site's user has only the grants
// that the README lists, so a step that needed more would fail the task.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/FirebirdServer.h"
#include "support/Impianto.h"

namespace {

namespace fs = std::filesystem;

const char* const kPasswordServer = "Srv-5ec7e7";
const char* const kPasswordSito = "S1to;pass";
const char* const kPasswordSbagliata = "Sbagl1ata";
const char* const kRifiutato =
    "Your user name and password are not defined. Ask your database administrator to set up a "
    "Firebird login";

class LoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    impianto_.SetDitta(ditta_);
    fs::create_directories(cartella("ditta"));
    impianto_.CreaDitta(RigaTask(1, origine_, destinazione_));
    TImpianto::CreaOrdini(origine_, DatiOrigine());
    TImpianto::CreaOrdini(destinazione_, DatiDestinazione());
    server_ = std::make_unique<FirebirdServer>(
        kPasswordServer,
        std::vector<std::pair<std::string, std::string>>{{"utente", utenteFdb_},
                                                         {"ditta", ditta_},
                                                         {"origine", origine_},
                                                         {"destinazione", destinazione_}});
    for (const char* alias : {"utente", "ditta", "origine", "destinazione"})
      ScriviDatiIni(
          alias == std::string("utente") ? impianto_.Installazione() + "User/" : cartella(alias),
          server_->Nome(), alias);
    server_->Isql("utente",
                  std::string("CREATE USER SITO PASSWORD '") + kPasswordSito + "';\nCOMMIT;\n");
    Concedi("utente", "SELECT", {"UTENTI", "TABSOFTDES"});
    Concedi("ditta", "SELECT, UPDATE", {"VESSENTARIA"});
    Concedi("origine", "SELECT", TabelleOrdini());
    Concedi("destinazione", "SELECT, INSERT, UPDATE, DELETE", TabelleOrdini());
    // The program runs as a user that cannot open the database files itself: the server is the
    // only way in, as on a site whose archives live on a database server.
    if (!impianto_.EseguiComeUtenteDiSistema()) GTEST_SKIP() << "needs root to run as another user";
    for (const std::string& file : {utenteFdb_, ditta_, origine_, destinazione_}) {
      fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
      ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
    }
  }

  std::string cartella(const std::string& nome) const { return impianto_.Archivi() + nome + "/"; }

  void Concedi(const std::string& alias, const std::string& privilegi,
               const std::vector<std::string>& tabelle) const {
    std::string script;
    for (const auto& tabella : tabelle)
      script += "GRANT " + privilegi + " ON " + tabella + " TO USER SITO;\n";
    server_->Isql(alias, script + "COMMIT;\n");
  }

  TIsql IsqlServer() const {
    return [this](const std::string& database, const std::string& script) {
      return server_->Isql(database == ditta_ ? "ditta" : "destinazione", script);
    };
  }

  // The site's login for the server, and `altro` for the same server under another name.
  std::string Credenziali(const std::string& password, const std::string& altro = "") const {
    // Appended piece by piece: prepending to a temporary draws a false warning from g++ -O3.
    std::string testo = "[";
    testo += server_->Nome();
    testo += "]\r\nUtente=SITO\r\nPassword=" + password + "\r\n";
    if (!altro.empty()) {
      testo += "[127.0.0.1/";
      testo += std::to_string(server_->Port());
      testo += "]\r\nUtente=SITO\r\nPassword=" + altro + "\r\n";
    }
    return testo;
  }

  // No password anywhere the program writes: its output, the notes, the dati.ini files.
  void NessunaPassword(const TEsito& esito) const {
    std::string scritto = esito.out + esito.err;
    for (const auto& [id, riga] : impianto_.LeggiTabella(IsqlServer())) scritto += riga.nota;
    for (const auto& voce : fs::recursive_directory_iterator(impianto_.Archivi()))
      if (voce.path().filename() == "dati.ini") scritto += LeggiFile(voce.path());
    scritto += LeggiFile(impianto_.Installazione() + "User/dati.ini");
    for (const char* password : {kPasswordSito, kPasswordSbagliata, kPasswordServer})
      EXPECT_EQ(scritto.find(password), std::string::npos) << password;
  }

  TImpianto impianto_;
  std::string utenteFdb_ = impianto_.Installazione() + "User/USER.FDB";
  std::string ditta_ = cartella("ditta") + "ditta.fdb";
  std::string origine_ = cartella("origine") + "origine.fdb";
  std::string destinazione_ = cartella("destinazione") + "destinazione.fdb";
  std::unique_ptr<FirebirdServer> server_;
};

TEST_F(LoginTest, SiteUserWithTheListedGrantsRunsTheWholeTask) {
  impianto_.ScriviCredenziali(Credenziali(kPasswordSito));
  const TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_EQ(esito.out, "");
  EXPECT_EQ(impianto_.LeggiTabella(IsqlServer())[1].nota, kSuccesso);
  // The selected orders (two of them share session 200, the key) with their rows, a long blob
  // among them.
  EXPECT_EQ(ContaRighe(destinazione_, "PS_ORDINI", IsqlServer()), 3);
  EXPECT_EQ(ContaRighe(destinazione_, "PS_STOINSCAR", IsqlServer()), 4);
  NessunaPassword(esito);
}

TEST_F(LoginTest, RefusedLoginIsToldWithTheServersTextAndChangesNothing) {
  // The archives of the task through the same server under another name, with a wrong password.
  const std::string altroNome = "127.0.0.1/" + std::to_string(server_->Port());
  ScriviDatiIni(cartella("origine"), altroNome, "origine");
  impianto_.ScriviCredenziali(Credenziali(kPasswordSito, kPasswordSbagliata));
  const std::string prima = Impronta(destinazione_, IsqlServer());
  TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_EQ(impianto_.LeggiTabella(IsqlServer())[1].nota,
            "Impossibile stabilire la connessione all'origine\r\"" + origine_ +
                "\":\rImpossibile stabilire la connessione\r" + kRifiutato);
  EXPECT_EQ(Impronta(destinazione_, IsqlServer()), prima);
  NessunaPassword(esito);

  // Refused at USER.FDB: the start-up error carries the server's text.
  impianto_.ScriviCredenziali(Credenziali(kPasswordSbagliata));
  esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 3);
  EXPECT_EQ(esito.err, "Error: Impossibile stabilire la connessione all'archivio\n\"" + utenteFdb_ +
                           "\"\n" + kRifiutato + "\n");
  NessunaPassword(esito);
}

}  // namespace
