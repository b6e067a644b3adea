#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/UscitaStandard.h"

void ScriviUscitaStandard(const std::string& testo) {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(testo.data(), 1, testo.size(), stdout);
  std::fflush(stdout);
}
