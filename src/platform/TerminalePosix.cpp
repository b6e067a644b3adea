#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Terminale.h"

bool ErroreStandardSuTerminale() {
  return isatty(STDERR_FILENO) == 1;
}

bool ErroreStandardSulGiornale() {
  // The one environment variable the program reads: systemd sets it to "<device>:<inode>" of
  // the journal's stream, and a child that inherited it with standard error sent elsewhere
  // must not see it as the journal.
  const char* valore = std::getenv("JOURNAL_STREAM");
  if (valore == nullptr || *valore == '\0') return false;
  char* fine = nullptr;
  const unsigned long long dispositivo = std::strtoull(valore, &fine, 10);
  if (fine == valore || *fine != ':') return false;
  const char* inizioNodo = fine + 1;
  const unsigned long long nodo = std::strtoull(inizioNodo, &fine, 10);
  if (fine == inizioNodo || *fine != '\0') return false;
  struct stat info {};
  if (fstat(STDERR_FILENO, &info) != 0) return false;
  return static_cast<unsigned long long>(info.st_dev) == dispositivo &&
         static_cast<unsigned long long>(info.st_ino) == nodo;
}
