#include <cstdio>
#include <cstdlib>

#include "platform/UscitaStandard.h"

void ScriviUscitaStandard(const std::string& testo) {
  std::fwrite(testo.data(), 1, testo.size(), stdout);
  std::fflush(stdout);
}

void EsciSubito(int stato) {
  std::fflush(nullptr);
  std::_Exit(stato);
}
