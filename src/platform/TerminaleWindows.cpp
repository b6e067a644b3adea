#include <io.h>

#include <cstdio>

#include "platform/Terminale.h"

bool ErroreStandardSuTerminale() {
  return _isatty(_fileno(stderr)) != 0;
}

bool ErroreStandardSulGiornale() {
  return false;
}
