#include "app/Argomenti.h"

#include <exception>
#include <string_view>

#include "platform/FileSystem.h"

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
         "Usage: vessentaria            run the tasks (arguments other than these are ignored)\n"
         "       vessentaria --help     print this text, open nothing\n"
         "       vessentaria --version  print the version, open nothing\n"
         "\n"
         "Configuration, found from the executable's folder:\n"
         "  " +
         utente + "USER.FDB\n" +
         "      user VESSENTARIA# (table UTENTI), its company (DITTA) and its setting Archivio\n"
         "      (table TABSOFTDES): the path of the company archive\n"
         "  dati.ini in the folder of each database, section CONFIG (Nome Server, Alias,\n"
         "      PercorsoDatabase): how that database is reached; without it the file is opened\n"
         "      by the embedded engine\n"
         "  dati.ini beside USER.FDB, optional section Rete: TimeoutConnessione (default 30)\n"
         "      and TimeoutRisposta (default 600), in seconds, bound the wait for a server\n"
         "      that does not answer; 0 leaves Firebird's own behaviour\n"
         "\n"
         "Exit status:\n"
         "  0  the tasks were run: each task's outcome, failures included, is in its row\n"
         "  1  no User folder beside the executable, or an unexpected error (report on\n"
         "     standard output)\n"
         "  2  USER.FDB or the company archive not found\n"
         "  3  USER.FDB or the company archive could not be opened\n"
         "  4  user VESSENTARIA# not found in USER.FDB\n"
         "  5  user VESSENTARIA# without a current company\n"
         "  6  user VESSENTARIA# without the setting Archivio\n"
         "  7  no table VESSENTARIA in the company archive\n"
         "  8  the task table has no rows, or no active one\n"
         "Start-up failures are told on standard error, or in a message box on a Windows\n"
         "desktop.\n";
}

}  // namespace

std::string VersioneProgramma() {
  // Defined by the build from the project's version.
  return VESSENTARIA_VERSION;
}

std::optional<std::string> TestoRichiesto(int argc, const char* const argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argomento = argv[i];
    if (argomento == "--help") return TestoAiuto();
    if (argomento == "--version") return "vessentaria " + VersioneProgramma() + "\n";
  }
  return std::nullopt;
}
