#include <cstdio>

#include "app/Argomenti.h"
#include "app/Avvio.h"

int main(int argc, char* argv[]) {
  // Asked for help or the version, the program answers and opens nothing.
  if (const auto testo = TestoRichiesto(argc, argv)) {
    std::fputs(testo->c_str(), stdout);
    return 0;
  }
  return EseguiProgramma();
}
