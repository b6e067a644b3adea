#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/UscitaStandard.h"

void ScriviUscitaStandard(const std::string& testo) {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(testo.data(), 1, testo.size(), stdout);
  std::fflush(stdout);
}

void EsciSubito(int stato) {
  std::fflush(nullptr);
  // Unlike ExitProcess, no library's detach code runs, so none can wait for a thread.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(stato));
  std::_Exit(stato);
}
