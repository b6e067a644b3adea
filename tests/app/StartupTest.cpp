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
#include "support/Impianto.h"
#include "support/Terminale.h"

namespace fs = std::filesystem;

namespace {

const char* const kUtenti =
    "CREATE TABLE UTENTI (NOMEUTENTE VARCHAR(31), CODICE INTEGER, DITTA VARCHAR(20));\n";
const char* const kTabsoftdes =
    "CREATE TABLE TABSOFTDES (UTENTE INTEGER, INTESTAZIONE VARCHAR(20), PARAMETRO VARCHAR(40),"
    " VALORE VARCHAR(255));\n";

std::string Archivio(const TImpianto& i) {
  return i.Installazione() + "ditta.fdb";
}

// Runs the program without a terminal.
int Esegui(const TImpianto& i, std::string* out, std::string* err,
           const std::vector<std::string>& argomenti = {}) {
  const TEsito esito = i.Esegui(argomenti);
  *out = esito.out;
  *err = esito.err;
  return esito.stato;
}

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

TEST(Startup, UncaughtErrorReport) {
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
      // A server's text cannot steer the terminal that shows the report.
      {"x\x1b]0;T\x07\x1b[31m\r\ny", "x?]0;T??[31m\r\ny.\r\n\r\n"},
  };
  for (const auto& caso : casi) {
    std::string rapporto = RapportoEccezione("ESQLError", "vessentaria", &x, caso.messaggio);
    EXPECT_TRUE(std::regex_match(rapporto.substr(0, inizio.size() + 11),
                                 std::regex(inizio + "[0-9A-F]{8}\\.\r\n")))
        << rapporto;
    EXPECT_EQ(rapporto.substr(inizio.size() + 11), caso.fine);
  }
  EXPECT_EQ(NomeClasseErrore(std::runtime_error("x")), "std::runtime_error");
}

// Each failure of the start-up without a terminal: one block on standard error per box, the
// error box last, nothing on standard output, the row's code as exit status.
TEST(Startup, FailuresWithoutTerminal) {
  struct Caso {
    std::string nome;
    std::function<void(TImpianto&)> prepara;
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
  // The engine's own text for the only attempt, a file too short for a database.
  auto NonUnArchivio = [](const std::string& file) {
    return file + ": I/O error during \"read\" operation for file \"" + file +
           "\" / File size is less than expected\n";
  };
  const Caso casi[] = {
      {"no User folder", [](TImpianto&) {}, 1, "Error: Percorso \"<T>User/\" non trovato\n"},
      {"User is a file", [](TImpianto& i) { std::ofstream(i.Installazione() + "User") << "x"; }, 1,
       "Error: Percorso \"<T>User/\" non trovato\n"},
      {"no USER.FDB", [](TImpianto& i) { fs::create_directory(i.CartellaUtente()); }, 2,
       "Error: Archivio \"<T>User/USER.FDB\" non trovato\n"},
      {"USER.FDB is a folder", [](TImpianto& i) { fs::create_directories(i.UserFdb()); }, 2,
       "Error: Archivio \"<T>User/USER.FDB\" non trovato\n"},
      {"USER.FDB is no database",
       [](TImpianto& i) {
         fs::create_directory(i.CartellaUtente());
         std::ofstream(i.UserFdb()) << "non un archivio";
       },
       3, nessunaConnessione + "\"<T>User/USER.FDB\"\n" + NonUnArchivio("<T>User/USER.FDB")},
      {"logins open to others: refused before USER.FDB is opened",
       [](TImpianto& i) {
         fs::create_directory(i.CartellaUtente());
         std::ofstream(i.UserFdb()) << "non un archivio";
         std::ofstream(i.CartellaUtente() + "credenziali.ini") << "[Predefinite]\nPassword=x\n";
         fs::permissions(i.CartellaUtente() + "credenziali.ini",
                         fs::perms::owner_read | fs::perms::group_read);
       },
       10,
       "Error: File delle credenziali \"<T>User/credenziali.ini\" non protetto:\nè accessibile "
       "al gruppo o ad altri utenti: toglierne l'accesso con chmod 600\n"},
      {"no table UTENTI", [](TImpianto& i) { i.CreaUserFdb(kTabsoftdes); }, 4, nonTrovato},
      {"no configuration user",
       [](TImpianto& i) {
         i.CreaUserFdb(std::string(kUtenti) +
                       "INSERT INTO UTENTI VALUES ('vessentaria#', 1, 'A');");
       },
       4, nonTrovato},
      {"company code null",
       [](TImpianto& i) {
         i.CreaUserFdb(std::string(kUtenti) +
                       "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 1, NULL);");
       },
       5, "Error: Utente \"VESSENTARIA#\" senza ditta corrente impostata\n"},
      {"company code empty",
       [](TImpianto& i) {
         i.CreaUserFdb(std::string(kUtenti) + "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 1, '');");
       },
       5, "Error: Utente \"VESSENTARIA#\" senza ditta corrente impostata\n"},
      {"no table TABSOFTDES",
       [](TImpianto& i) {
         i.CreaUserFdb(std::string(kUtenti) +
                       "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 1, 'A');");
       },
       6, senzaParametro},
      {"setting of another user",
       [](TImpianto& i) {
         i.CreaUserFdb(Configurazione("A", Archivio(i)) + "UPDATE TABSOFTDES SET UTENTE = 7;");
       },
       6, senzaParametro},
      {"setting of another company",
       [](TImpianto& i) {
         i.CreaUserFdb(Configurazione("A", Archivio(i)) +
                       "UPDATE TABSOFTDES SET INTESTAZIONE = 'B';");
       },
       6, senzaParametro},
      {"archive path null",
       [](TImpianto& i) {
         i.CreaUserFdb(Configurazione("A", "") + "UPDATE TABSOFTDES SET VALORE = NULL;");
       },
       6, senzaParametro},
      {"archive path empty", [](TImpianto& i) { i.CreaUserFdb(Configurazione("A", "")); }, 6,
       senzaParametro},
      {"archive missing", [](TImpianto& i) { i.CreaUserFdb(Configurazione("A", Archivio(i))); }, 2,
       "Error: Archivio \"<T>ditta.fdb\" non trovato\n"},
      {"archive path with a blank is not trimmed",
       [](TImpianto& i) {
         i.CreaUserFdb(Configurazione("A", Archivio(i) + " "));
         CreaDatabaseDiProva(Archivio(i));
       },
       2, "Error: Archivio \"<T>ditta.fdb \" non trovato\n"},
      {"archive is a folder",
       [](TImpianto& i) { i.CreaUserFdb(Configurazione("A", i.Installazione())); }, 2,
       "Error: Archivio \"<T>\" non trovato\n"},
      {"archive is no database",
       [](TImpianto& i) {
         i.CreaUserFdb(Configurazione("A", Archivio(i)));
         std::ofstream(Archivio(i)) << "non un archivio";
       },
       3, nessunaConnessione + "\"<T>ditta.fdb\"\n" + NonUnArchivio("<T>ditta.fdb")},
      {"company code with a quote finds its own setting",
       [](TImpianto& i) {
         i.CreaUserFdb(Configurazione("D''ARCO", Archivio(i)) +
                       "INSERT INTO TABSOFTDES VALUES (-7, 'D', 'Archivio', '/altrove.fdb');");
       },
       2, "Error: Archivio \"<T>ditta.fdb\" non trovato\n"},
  };
  for (const auto& caso : casi) {
    SCOPED_TRACE(caso.nome);
    TImpianto installazione;
    caso.prepara(installazione);
    std::string out, err;
    EXPECT_EQ(Esegui(installazione, &out, &err), caso.codice);
    std::string atteso = caso.err;
    for (size_t p; (p = atteso.find("<T>")) != std::string::npos;)
      atteso.replace(p, 3, installazione.Installazione());
    EXPECT_EQ(err, atteso);
    EXPECT_EQ(out, "");
    // Nothing was created beside the archives that were looked for.
    EXPECT_FALSE(fs::exists(installazione.CartellaUtente() + "dati.ini"));
  }
}

TEST(Startup, UncaughtErrorIsReportedOnStandardOutput) {
  TImpianto installazione;
  installazione.CreaUserFdb(
      "CREATE TABLE UTENTI (NOMEUTENTE VARCHAR(31), CODICE VARCHAR(10), DITTA VARCHAR(20));\n"
      "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 'sette', 'A');");
  std::string out, err;
  EXPECT_EQ(Esegui(installazione, &out, &err), 1);
  EXPECT_EQ(err, "");
  // The access layer's own text, with the full stop that the report adds.
  EXPECT_TRUE(std::regex_match(
      out, std::regex("Exception ESQLError in module vessentaria at [0-9A-F]{8}\\.\r\n"
                      "Invalid data conversion\\.\r\n\r\n")))
      << out;
}

// --help and --version answer without starting: a USER.FDB that a run would try to open (and
// then report) is left alone. An option the program does not know, or a mode named without its
// dashes, is refused before anything is opened; other arguments are ignored and the run starts
// as without one.
TEST(Startup, HelpAndVersionOpenNothing) {
  TImpianto installazione;
  fs::create_directory(installazione.CartellaUtente());
  std::ofstream(installazione.UserFdb()) << "non un archivio";
  const std::string versione = "vessentaria " + VersioneProgramma() + "\n";
  EXPECT_NE(VersioneProgramma(), "");

  std::string out, err;
  EXPECT_EQ(Esegui(installazione, &out, &err, {"--help"}), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(out.substr(0, versione.size()), versione);
  EXPECT_NE(out.find("  " + installazione.UserFdb() + "\n"), std::string::npos) << out;
  for (int codice : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 64, 74, 75})
    EXPECT_NE(out.find("\n  " + std::to_string(codice) + " "), std::string::npos) << codice;

  const std::string aiuto = out;
  for (const std::vector<std::string>& argomenti :
       {std::vector<std::string>{"--version"}, {"--version", "--help"}, {"-V", "--check"}}) {
    SCOPED_TRACE(::testing::PrintToString(argomenti));
    EXPECT_EQ(Esegui(installazione, &out, &err, argomenti), 0);
    EXPECT_EQ(out, versione);
    EXPECT_EQ(err, "");
  }
  EXPECT_EQ(Esegui(installazione, &out, &err, {"-h", "--status"}), 0);
  EXPECT_EQ(out, aiuto);
  // Help that does not reach its reader does not end as if it had.
  EXPECT_NE(RunCommand("'" + installazione.Programma() + "' --help >/dev/full", &out, &err), 0);

  for (const std::vector<std::string>& argomenti : {std::vector<std::string>{"--verbose"},
                                                    {"-h", "help", "--Help"},
                                                    {"status"},
                                                    {"check"},
                                                    {"Version"},
                                                    {"help", "-h", "--status"},
                                                    {"--dry-run"},
                                                    {"--hlep"},
                                                    {"-"},
                                                    {"--x\x1b]0;X\x07"},
                                                    {"--check", "--status"}}) {
    SCOPED_TRACE(::testing::PrintToString(argomenti));
    EXPECT_EQ(Esegui(installazione, &out, &err, argomenti), 64);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("vessentaria: ", 0), 0u) << err;
    EXPECT_NE(err.find("\nUsage: vessentaria "), std::string::npos) << err;
    EXPECT_EQ(err.find_first_of("\x1b\x07"), std::string::npos) << err;
  }
  EXPECT_EQ(LeggiFile(installazione.UserFdb()), "non un archivio");
  EXPECT_FALSE(fs::exists(installazione.CartellaUtente() + "dati.ini"));

  EXPECT_EQ(Esegui(installazione, &out, &err, {"notte", "statuss"}), 3);
  EXPECT_NE(err.find("Error: Impossibile stabilire la connessione all'archivio"), std::string::npos)
      << err;
}

namespace {

// The program on a pseudo-terminal, as a user at a console runs it.
}  // namespace

TEST(Startup, ErrorBoxWaitsForEnterOnATerminal) {
  TImpianto installazione;
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
  TImpianto installazione;
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
  TImpianto installazione;
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
