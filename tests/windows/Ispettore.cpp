// Describes the window of another program that has the given caption (see Ispezione.h):
//   ispettore <caption> [seconds to wait, 20 by default]
// Exit status 0 once described, 2 when no such window came in time.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Ispezione.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: ispettore <caption> [seconds]\n", stderr);
    return 64;
  }
  HWND finestra = AttendiFinestra(argv[1], argc > 2 ? std::atoi(argv[2]) : 20);
  if (!finestra) {
    std::fprintf(stderr, "no window \"%s\"\n", argv[1]);
    return 2;
  }
  // The description goes out as written, without CR added before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
  // Let the program finish laying out its window before it is read.
  Sleep(300);
  std::string descrizione = DescriviFinestra(finestra);
  std::fwrite(descrizione.data(), 1, descrizione.size(), stdout);
  return 0;
}
