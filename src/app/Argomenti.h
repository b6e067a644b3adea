#pragma once

#include <string>

// The program's version, as the build names it.
std::string VersioneProgramma();

// What the command line asks for.
enum class TComando {
  Esecuzione,  // no option: the nightly run
  Aiuto,       // --help, -h
  Versione,    // --version, -V
  Verifica,    // --check: open and check everything a run would, write nothing
  Stato,       // --status: print the task table's last outcomes
  Uso,         // an option the program does not know, or two that exclude each other
};

struct TArgomenti {
  TComando Comando = TComando::Esecuzione;
  std::string Errore;  // for Uso: what is wrong with the command line
};

// Reads the options. Arguments that do not begin with '-' are ignored, except a mode's name
// without its dashes. Any option the program does not know, or such a name, makes the whole
// line a usage error, so that a mistyped option never starts a run that empties and refills
// every destination. --help and --version win over the other options; --check and --status
// exclude each other.
TArgomenti LeggiArgomenti(int argc, const char* const argv[]);

// The help text, naming the configuration files of this executable.
std::string TestoAiuto();
std::string TestoVersione();
// The short usage for standard error after a usage error.
std::string TestoUso(const std::string& errore);
