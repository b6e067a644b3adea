#include <unistd.h>

#include "platform/Dialogs.h"
#include "platform/Sistema.h"

TInterfacciaUtente& InterfacciaDiSistema() {
  static TInterfacciaConsole console;
  return console;
}

bool IngressoDaTerminale(std::FILE* ingresso) {
  return isatty(fileno(ingresso)) == 1;
}
