#pragma once

#include <optional>
#include <string>

// The program's version, as the build names it.
std::string VersioneProgramma();

// The command line. "--help" and "--version" are the only arguments the program recognises: the
// first of them gives the text to print instead of a run (the help, naming the configuration
// files of this executable, or the version line). Without either the result is empty and the
// run goes on; every other argument is ignored.
std::optional<std::string> TestoRichiesto(int argc, const char* const argv[]);
