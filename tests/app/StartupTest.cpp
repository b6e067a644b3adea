// The built program in temporary installation folders: the start-up failures with their exit
// statuses and messages, without a terminal and under a pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/Argomenti.h"
#include "app/Avvio.h"
#include "app/ErroriAvvio.h"
#include "platform/Dialogs.h"
#include "support/Terminale.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kUtenti =
    "CREATE TABLE UTENTI (NOMEUTENTE VARCHAR(31), CODICE INTEGER, DITTA VARCHAR(20));\n";
const char* const kTabsoftdes =
    "CREATE TABLE TABSOFTDES (UTENTE INTEGER, INTESTAZIONE VARCHAR(20), PARAMETRO VARCHAR(40),"
    " VALORE VARCHAR(255));\n";

// A folder holding a copy of the program, as an installation would.
class Installazione {
 public:
  Installazione() {
    fs::copy_file(ProgramPath(), Programma());
    fs::permissions(Programma(), fs::perms::owner_all);
  }
  std::string Programma() const { return cartella_ / "vessentaria"; }
  std::string Cartella() const { return cartella_.Path(); }
  std::string CartellaUtente() const { return cartella_ / "User/"; }
  std::string UserFdb() const { return cartella_ / "User/USER.FDB"; }
  std::string Archivio() const { return cartella_ / "ditta.fdb"; }

  void CreaUtente(const std::string& ddl) {
    fs::create_directory(CartellaUtente());
    CreaDatabaseDiProva(UserFdb(), ddl);
  }
  // Runs the program without a terminal.
  int Esegui(std::string* out, std::string* err, const std::string& argomenti = "") const {
    return RunCommand("'" + Programma() + "' " + argomenti, out, err);
  }

 private:
  TempFolder cartella_;
};

std::string Configurazione(const std::string& ditta, const std::string& valore) {
  return std::string(kUtenti) + kTabsoftdes +
         "INSERT INTO UTENTI VALUES ('ALTRO', 1, 'NO');\n"
         "INSERT INTO UTENTI VALUES ('VESSENTARIA#', -7, '" +
         ditta + "');\nINSERT INTO TABSOFTDES VALUES (-7, '" + ditta + "', 'Archivio', '" + valore +
         "');\n";
}

}  // namespace

TEST(Startup, ErrorRows) {
  struct Caso {
    uint8_t indice;
    std::string primo, secondo, testo;
  };
  const Caso casi[] = {
      {0, "/opt/v/User/", "", "Percorso \"/opt/v/User/\" non trovato"},
      {1, "/opt/v/User/USER.FDB", "ignorato", "Archivio \"/opt/v/User/USER.FDB\" non trovato"},
      {2, "/d/a.fdb", "", "Impossibile stabilire la connessione all'archivio\r\"/d/a.fdb\""},
      {3, "VESSENTARIA#", "",
       "Utente \"VESSENTARIA#\" non trovato nella configurazione di USER.FDB"},
      {4, "VESSENTARIA#", "", "Utente \"VESSENTARIA#\" senza ditta corrente impostata"},
      {5, "VESSENTARIA#", "Archivio",
       "Utente \"VESSENTARIA#\" senza parametro \"Archivio\" configurato"},
      {6, "VESSENTARIA", "/d/a.fdb",
       "Tabella vessentaria \"VESSENTARIA\" non trovata nell'archivio \"/d/a.fdb\""},
      {7, "Nessuna elaborazione di sincro trovata", "",
       "Vessentaria non avviabile:\rNessuna elaborazione di sincro trovata"},
      // Arguments are inserted as they are, placeholders in them included.
      {1, "%s%d\"%", "x", "Archivio \"%s%d\"%\" non trovato"},
  };

  class Registratore : public TInterfacciaUtente {
   public:
    void MostraMessaggio(const std::string& titolo, const std::string& testo,
                         TIconaMessaggio icona) override {
      visti.push_back(titolo + "|" + testo + (icona == TIconaMessaggio::Errore ? "|errore" : ""));
    }
    void MostraDialogo(TDueCampiForm&) override { ADD_FAILURE() << "no dialog expected"; }
    std::vector<std::string> visti;
  } registratore;
  TInterfacciaUtente* prima = ImpostaInterfacciaUtente(&registratore);
  for (const auto& caso : casi) {
    registratore.visti.clear();
    EXPECT_EQ(FormattaErroreAvvio(caso.indice, caso.primo, caso.secondo), caso.testo);
    EXPECT_EQ(MostraErroreAvvio(caso.indice, caso.primo, caso.secondo), caso.indice + 1);
    EXPECT_EQ(registratore.visti, std::vector<std::string>{"Error|" + caso.testo + "|errore"});
  }
  ImpostaInterfacciaUtente(prima);
}

TEST(Startup, UncaughtErrorReportAndQuotes) {
  const int x = 0;
  const std::string inizio = "Exception ESQLError in module vessentaria at ";
  struct Caso {
    std::string messaggio, fine;
  };
  const Caso casi[] = {
      {"Invalid data conversion", "Invalid data conversion.\r\n\r\n"},
      {"Unable to write to /x/dati.ini", "Unable to write to /x/dati.ini.\r\n\r\n"},
      {"Fine.", "Fine.\r\n\r\n"},
      {"riga\rdue", "riga\rdue.\r\n\r\n"},
      {"", ".\r\n\r\n"},
  };
  for (const auto& caso : casi) {
    std::string rapporto = RapportoEccezione("ESQLError", "vessentaria", &x, caso.messaggio);
    EXPECT_TRUE(std::regex_match(rapporto.substr(0, inizio.size() + 11),
                                 std::regex(inizio + "[0-9A-F]{8}\\.\r\n")))
        << rapporto;
    EXPECT_EQ(rapporto.substr(inizio.size() + 11), caso.fine);
  }
  EXPECT_EQ(NomeClasseErrore(std::runtime_error("x")), "std::runtime_error");

  const std::pair<std::string, std::string> apici[] = {{"D'ARCO", "D''ARCO"},
                                                       {"''", "''''"},
                                                       {"A", "A"},
                                                       {"", ""},
                                                       {"x' OR '1'='1", "x'' OR ''1''=''1"}};
  for (const auto& [testo, atteso] : apici) EXPECT_EQ(RaddoppiaApici(testo), atteso);
}

// Each failure of the start-up without a terminal: one block on standard error per box, the
// error box last, nothing on standard output, the row's code as exit status.
TEST(Startup, FailuresWithoutTerminal) {
  struct Caso {
    std::string nome;
    std::function<void(Installazione&)> prepara;
    int codice;
    std::string err;  // "<T>" stands for the installation folder
  };
  const std::string nonTrovato =
      "Error: Utente \"VESSENTARIA#\" non trovato nella configurazione di USER.FDB\n";
  const std::string senzaParametro =
      "Error: Utente \"VESSENTARIA#\" senza parametro \"Archivio\" configurato\n";
  const std::string nessunaConnessione =
      "vessentaria: Non trovato dati.ini\n"
      "vessentaria: Apertura / creazione del database non riuscita!\n"
      "Error: Impossibile stabilire la connessione all'archivio\n";
  const Caso casi[] = {
      {"no User folder", [](Installazione&) {}, 1, "Error: Percorso \"<T>User/\" non trovato\n"},
      {"User is a file", [](Installazione& i) { std::ofstream(i.Cartella() + "User") << "x"; }, 1,
       "Error: Percorso \"<T>User/\" non trovato\n"},
      {"no USER.FDB", [](Installazione& i) { fs::create_directory(i.CartellaUtente()); }, 2,
       "Error: Archivio \"<T>User/USER.FDB\" non trovato\n"},
      {"USER.FDB is a folder", [](Installazione& i) { fs::create_directories(i.UserFdb()); }, 2,
       "Error: Archivio \"<T>User/USER.FDB\" non trovato\n"},
      {"USER.FDB is no database",
       [](Installazione& i) {
         fs::create_directory(i.CartellaUtente());
         std::ofstream(i.UserFdb()) << "non un archivio";
       },
       3, nessunaConnessione + "\"<T>User/USER.FDB\"\n"},
      {"no table UTENTI", [](Installazione& i) { i.CreaUtente(kTabsoftdes); }, 4, nonTrovato},
      {"no configuration user",
       [](Installazione& i) {
         i.CreaUtente(std::string(kUtenti) + "INSERT INTO UTENTI VALUES ('vessentaria#', 1, 'A');");
       },
       4, nonTrovato},
      {"company code null",
       [](Installazione& i) {
         i.CreaUtente(std::string(kUtenti) +
                      "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 1, NULL);");
       },
       5, "Error: Utente \"VESSENTARIA#\" senza ditta corrente impostata\n"},
      {"company code empty",
       [](Installazione& i) {
         i.CreaUtente(std::string(kUtenti) + "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 1, '');");
       },
       5, "Error: Utente \"VESSENTARIA#\" senza ditta corrente impostata\n"},
      {"no table TABSOFTDES",
       [](Installazione& i) {
         i.CreaUtente(std::string(kUtenti) + "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 1, 'A');");
       },
       6, senzaParametro},
      {"setting of another user",
       [](Installazione& i) {
         i.CreaUtente(Configurazione("A", i.Archivio()) + "UPDATE TABSOFTDES SET UTENTE = 7;");
       },
       6, senzaParametro},
      {"setting of another company",
       [](Installazione& i) {
         i.CreaUtente(Configurazione("A", i.Archivio()) +
                      "UPDATE TABSOFTDES SET INTESTAZIONE = 'B';");
       },
       6, senzaParametro},
      {"archive path null",
       [](Installazione& i) {
         i.CreaUtente(Configurazione("A", "") + "UPDATE TABSOFTDES SET VALORE = NULL;");
       },
       6, senzaParametro},
      {"archive path empty", [](Installazione& i) { i.CreaUtente(Configurazione("A", "")); }, 6,
       senzaParametro},
      {"archive missing", [](Installazione& i) { i.CreaUtente(Configurazione("A", i.Archivio())); },
       2, "Error: Archivio \"<T>ditta.fdb\" non trovato\n"},
      {"archive path with a blank is not trimmed",
       [](Installazione& i) {
         i.CreaUtente(Configurazione("A", i.Archivio() + " "));
         CreaDatabaseDiProva(i.Archivio());
       },
       2, "Error: Archivio \"<T>ditta.fdb \" non trovato\n"},
      {"archive is a folder",
       [](Installazione& i) { i.CreaUtente(Configurazione("A", i.Cartella())); }, 2,
       "Error: Archivio \"<T>\" non trovato\n"},
      {"archive is no database",
       [](Installazione& i) {
         i.CreaUtente(Configurazione("A", i.Archivio()));
         std::ofstream(i.Archivio()) << "non un archivio";
       },
       3, nessunaConnessione + "\"<T>ditta.fdb\"\n"},
      {"company code with a quote finds its own setting",
       [](Installazione& i) {
         i.CreaUtente(Configurazione("D''ARCO", i.Archivio()) +
                      "INSERT INTO TABSOFTDES VALUES (-7, 'D', 'Archivio', '/altrove.fdb');");
       },
       2, "Error: Archivio \"<T>ditta.fdb\" non trovato\n"},
  };
  for (const auto& caso : casi) {
    SCOPED_TRACE(caso.nome);
    Installazione installazione;
    caso.prepara(installazione);
    std::string out, err;
    EXPECT_EQ(installazione.Esegui(&out, &err), caso.codice);
    std::string atteso = caso.err;
    for (size_t p; (p = atteso.find("<T>")) != std::string::npos;)
      atteso.replace(p, 3, installazione.Cartella());
    EXPECT_EQ(err, atteso);
    EXPECT_EQ(out, "");
    // Nothing was created beside the archives that were looked for.
    EXPECT_FALSE(fs::exists(installazione.CartellaUtente() + "dati.ini"));
  }
}

TEST(Startup, UncaughtErrorIsReportedOnStandardOutput) {
  Installazione installazione;
  installazione.CreaUtente(
      "CREATE TABLE UTENTI (NOMEUTENTE VARCHAR(31), CODICE VARCHAR(10), DITTA VARCHAR(20));\n"
      "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 'sette', 'A');");
  std::string out, err;
  EXPECT_EQ(installazione.Esegui(&out, &err), 1);
  EXPECT_EQ(err, "");
  // The access layer's own text, with the full stop that the report adds.
  EXPECT_TRUE(std::regex_match(
      out, std::regex("Exception ESQLError in module vessentaria at [0-9A-F]{8}\\.\r\n"
                      "Invalid data conversion\\.\r\n\r\n")))
      << out;
}

// --help and --version answer without starting: a USER.FDB that a run would try to open (and
// then report) is left alone. Any other argument is ignored and the run starts as without one.
TEST(Startup, HelpAndVersionOpenNothing) {
  Installazione installazione;
  fs::create_directory(installazione.CartellaUtente());
  std::ofstream(installazione.UserFdb()) << "non un archivio";
  const std::string versione = "vessentaria " + VersioneProgramma() + "\n";
  EXPECT_NE(VersioneProgramma(), "");

  std::string out, err;
  EXPECT_EQ(installazione.Esegui(&out, &err, "--help"), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(out.substr(0, versione.size()), versione);
  EXPECT_NE(out.find("  " + installazione.UserFdb() + "\n"), std::string::npos) << out;
  for (int codice = 0; codice <= 8; ++codice)
    EXPECT_NE(out.find("\n  " + std::to_string(codice) + "  "), std::string::npos) << codice;

  const std::string aiuto = out;
  for (const char* argomenti : {"--version", "--version --help", "-x --version"}) {
    SCOPED_TRACE(argomenti);
    EXPECT_EQ(installazione.Esegui(&out, &err, argomenti), 0);
    EXPECT_EQ(out, versione);
    EXPECT_EQ(err, "");
  }
  EXPECT_EQ(installazione.Esegui(&out, &err, "--verbose help -h --help"), 0);
  EXPECT_EQ(out, aiuto);
  EXPECT_EQ(LeggiFile(installazione.UserFdb()), "non un archivio");
  EXPECT_FALSE(fs::exists(installazione.CartellaUtente() + "dati.ini"));

  for (const char* argomenti : {"--verbose", "-h help --Help"}) {
    SCOPED_TRACE(argomenti);
    EXPECT_EQ(installazione.Esegui(&out, &err, argomenti), 3);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("Error: Impossibile stabilire la connessione all'archivio"),
              std::string::npos)
        << err;
  }
}

namespace {

// The program on a pseudo-terminal, as a user at a console runs it.
}  // namespace

TEST(Startup, ErrorBoxWaitsForEnterOnATerminal) {
  Installazione installazione;
  Terminale terminale(installazione.Programma());
  ASSERT_TRUE(terminale.Attendi("Error: Percorso \"" + installazione.CartellaUtente() +
                                "\" non trovato\r\n"))
      << terminale.Schermo();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(terminale.InEsecuzione());
  terminale.Scrivi("\r");
  EXPECT_EQ(terminale.Esito(), 1);
}

// On a terminal the opener's boxes wait as well and the dialog asks for the server; its answer is
// stored in dati.ini beside USER.FDB before the connection is tried with it.
TEST(Startup, DialogOnATerminal) {
  Installazione installazione;
  fs::create_directory(installazione.CartellaUtente());
  std::ofstream(installazione.UserFdb()) << "non un archivio";
  Terminale terminale(installazione.Programma());
  ASSERT_TRUE(terminale.Attendi("vessentaria: Non trovato dati.ini\r\n")) << terminale.Schermo();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(terminale.InEsecuzione());
  terminale.Scrivi("\r");
  ASSERT_TRUE(terminale.Attendi(
      "Non trovato dati.ini: Inserire il nome del computer e la lettera della sua\r\n"
      "unità disco dove risulta ospitato (o sarà ospitato) il database\r\nComputer: "))
      << terminale.Schermo();
  terminale.Scrivi("127.0.0.1/1\r");
  ASSERT_TRUE(terminale.Attendi("Lettera disco: ")) << terminale.Schermo();
  terminale.Scrivi("\r");
  ASSERT_TRUE(terminale.Attendi("OK / Cancel [OK]: ")) << terminale.Schermo();
  terminale.Scrivi("\r");
  ASSERT_TRUE(terminale.Attendi("Error: Impossibile stabilire la connessione all'archivio\r\n\"" +
                                installazione.UserFdb() + "\"\r\n"))
      << terminale.Schermo();
  EXPECT_EQ(LeggiFile(installazione.CartellaUtente() + "dati.ini"),
            "[CONFIG]\nNome Server=127.0.0.1/1\n");
  terminale.Scrivi("\r");
  EXPECT_EQ(terminale.Esito(), 3);
  EXPECT_EQ(terminale.Schermo().find("Apertura / creazione"), std::string::npos);
}

// A dati.ini that cannot be written after the dialog leaves the start-up as an uncaught error.
TEST(Startup, UnwritableDatiIniOnATerminal) {
  Installazione installazione;
  fs::create_directory(installazione.CartellaUtente());
  std::ofstream(installazione.UserFdb()) << "non un archivio";
  fs::create_directory(installazione.CartellaUtente() + "dati.ini");
  Terminale terminale(installazione.Programma());
  ASSERT_TRUE(terminale.Attendi("vessentaria: Non trovato dati.ini\r\n")) << terminale.Schermo();
  terminale.Scrivi("\r");
  ASSERT_TRUE(terminale.Attendi("Computer: ")) << terminale.Schermo();
  terminale.Scrivi("SRV\rC\rok\r");
  ASSERT_TRUE(terminale.Attendi("Unable to write to " + installazione.CartellaUtente() +
                                "dati.ini.\r\r\n\r\r\n"))
      << terminale.Schermo();
  EXPECT_EQ(terminale.Esito(), 1);
  EXPECT_TRUE(std::regex_search(
      terminale.Schermo(),
      std::regex("Exception EIniFileError in module vessentaria at [0-9A-F]{8}\\.\r\r\n")))
      << terminale.Schermo();
}
