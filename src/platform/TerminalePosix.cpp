#include <unistd.h>

#include "platform/Terminale.h"

bool ErroreStandardSuTerminale() {
  return isatty(STDERR_FILENO) == 1;
}
