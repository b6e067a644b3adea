#include "app/Argomenti.h"

#include <cctype>
#include <exception>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Testo.h"

namespace {

// The folder of USER.FDB, as the start-up will look for it.
std::string CartellaUtente() {
  std::string cartella;
  try {
    cartella = EstraiCartella(PercorsoEseguibile());
  } catch (const std::exception&) {
    cartella = std::string("<folder of the executable>") + SeparatoreCartelle();
  }
  return cartella + "User" + SeparatoreCartelle();
}

}  // namespace

std::string TestoAiuto() {
  const std::string utente = CartellaUtente();
  return "vessentaria " + VersioneProgramma() +
         "\n"
         "\n"
         "Copies the order data of a company from one Firebird archive to another. It runs the\n"
         "active rows (STATUS 1) of the task table VESSENTARIA of the company archive in\n"
         "ascending ID and writes each one's outcome back into the row (ULTIMAESECUZIONE,\n"
         "NOTEULTIMAESECUZIONE). Meant to be started by a scheduler: when all is well it prints\n"
         "nothing and waits for nothing.\n"
         "\n"
         "Usage: vessentaria            run the tasks\n"
         "       vessentaria --check    open every archive a run would and make every check a\n"
         "                              task makes before copying, the rights of the login on\n"
         "                              every table it reads or writes included; per active\n"
         "                              task \"Task N: ok\" or the note a run would write, then\n"
         "                              \"Task N via:\" how its rows would travel and \"Task N\n"
         "                              avviso:\" a matching key of the destination without an\n"
         "                              index; writes nothing, creates nothing, asks nothing;\n"
         "                              it cannot know what a destination will refuse of the\n"
         "                              data, nor a server that stops during the run\n"
         "       vessentaria --status   print the task table: each task's last run and note\n"
         "       vessentaria --help     (-h) print this text, open nothing\n"
         "       vessentaria --version  (-V) print the version, open nothing\n"
         "Any other option is refused (exit status 64), and so is a mode's name without its\n"
         "dashes (check, status, help, version); other arguments without a leading '-' are\n"
         "ignored.\n"
         "\n"
         "Configuration, found from the executable's folder:\n"
         "  " +
         utente + "USER.FDB\n" +
         "      user VESSENTARIA# (table UTENTI), its company (DITTA) and its setting Archivio\n"
         "      (table TABSOFTDES): the path of the company archive\n"
         "  dati.ini in the folder of each database, section CONFIG (Nome Server, Alias,\n"
         "      PercorsoDatabase): how that database is reached; without it the file is opened\n"
         "      through the host's own Firebird server (ServerLocale) or, when none answers or\n"
         "      it cannot open the file, by the embedded engine\n"
         "  dati.ini beside USER.FDB, optional section Rete: TimeoutConnessione (default 30)\n"
         "      and TimeoutRisposta (default 600), in seconds, bound the wait for a server\n"
         "      that does not answer (0 to 86400); 0 leaves Firebird's own behaviour;\n"
         "      ServerLocale (default localhost on Linux; empty: none) is the host's server\n"
         "  " +
         utente + "credenziali.ini, optional: the logins, a section per server (Nome\n" +
         "      Server) and [Predefinite], keys Utente, Password, Ruolo; private to the\n"
         "      running user (chmod 600)\n"
         "\n"
         "Exit status:\n"
         "  0  the tasks were run: each task's outcome, failures included, is in its row\n"
         "     (a failed task is also told on standard error); --check: every active task\n"
         "     would start; --status: every active task's last run succeeded\n"
         "  1  no User folder beside the executable, or an unexpected error (report on\n"
         "     standard output)\n"
         "  2  USER.FDB or the company archive not found, or beyond the running user's reach\n"
         "  3  USER.FDB or the company archive could not be opened\n"
         "  4  user VESSENTARIA# not found in USER.FDB\n"
         "  5  user VESSENTARIA# without a current company\n"
         "  6  user VESSENTARIA# without the setting Archivio\n"
         "  7  no table VESSENTARIA in the company archive\n"
         "  8  the task table has no rows, or no active one\n"
         "  9  --check: an active task would not start; --status: an active task failed,\n"
         "     never ran or was not reached by the last run, or no task is active\n"
         "  10 credenziali.ini is open to others, or not readable by the running user\n"
         "  64 an unknown option, or a mode's name without its dashes\n"
         "  74 this text or the version could not be written\n"
         "  75 the run did not complete: a task's note could not be written, the company\n"
         "     archive's connection lost and not regained, or no right to update the task\n"
         "     table (told on standard error)\n"
         "Start-up failures are told on standard error, or in a message box on a Windows\n"
         "desktop.\n";
}

std::string VersioneProgramma() {
  // Defined by the build from the project's version.
  return VESSENTARIA_VERSION;
}

std::string TestoVersione() {
  return "vessentaria " + VersioneProgramma() + "\n";
}

std::string TestoUso(const std::string& errore) {
  // The refused argument is echoed: it must not steer the terminal.
  return "vessentaria: " + TestoVisibile(errore) +
         "\n"
         "Usage: vessentaria [--check | --status | --help | --version]\n";
}

TArgomenti LeggiArgomenti(int argc, const char* const argv[]) {
  TArgomenti richiesta;
  std::vector<TComando> comandi;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argomento = argv[i];
    if (argomento.empty() || argomento[0] != '-') {
      // "vessentaria status" meant --status: taken as a nightly run it would copy every task.
      std::string parola(argomento);
      for (char& c : parola) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (parola == "check" || parola == "status" || parola == "help" || parola == "version") {
        richiesta.Comando = TComando::Uso;
        richiesta.Errore =
            "unknown argument " + std::string(argomento) + " (did you mean --" + parola + "?)";
        return richiesta;
      }
      continue;
    }
    if (argomento == "--help" || argomento == "-h") {
      comandi.push_back(TComando::Aiuto);
    } else if (argomento == "--version" || argomento == "-V") {
      comandi.push_back(TComando::Versione);
    } else if (argomento == "--check") {
      comandi.push_back(TComando::Verifica);
    } else if (argomento == "--status") {
      comandi.push_back(TComando::Stato);
    } else {
      richiesta.Comando = TComando::Uso;
      richiesta.Errore = "unknown option " + std::string(argomento);
      return richiesta;
    }
  }
  for (TComando c : comandi)
    if (c == TComando::Aiuto || c == TComando::Versione) {
      richiesta.Comando = c;
      return richiesta;
    }
  for (TComando c : comandi) {
    if (richiesta.Comando != TComando::Esecuzione && richiesta.Comando != c) {
      richiesta.Comando = TComando::Uso;
      richiesta.Errore = "--check and --status exclude each other";
      return richiesta;
    }
    richiesta.Comando = c;
  }
  return richiesta;
}
