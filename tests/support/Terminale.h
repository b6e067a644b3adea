#pragma once

#include <sys/types.h>

#include <string>

// The program run on a pseudo-terminal of its own (standard input, output and error), as a person
// at a console would run it; what it writes is read back as the screen.
class Terminale {
 public:
  explicit Terminale(const std::string& programma);
  Terminale(const Terminale&) = delete;
  Terminale& operator=(const Terminale&) = delete;
  ~Terminale();
  // Reads until `testo` has appeared on the screen after what an earlier call found (or seconds
  // have passed); true when it did.
  bool Attendi(const std::string& testo, int secondi = 20);
  // Types `tasti` on the terminal.
  void Scrivi(const std::string& tasti);
  bool InEsecuzione();
  // The exit status, waiting at most a few seconds; -1 if it has not ended.
  int Esito();
  const std::string& Schermo() const { return schermo_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string schermo_;
  size_t letto_ = 0;
};
