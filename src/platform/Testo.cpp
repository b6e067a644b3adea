#include "platform/Testo.h"

#include <cstdio>

#include "platform/Terminale.h"

namespace {

std::string Visibile(const std::string& testo, bool righe) {
  std::string risultato;
  risultato.reserve(testo.size());
  for (size_t i = 0; i < testo.size(); ++i) {
    const auto c = static_cast<unsigned char>(testo[i]);
    if (righe && (c == '\r' || c == '\n')) {
      risultato += testo[i];
    } else if (c < 0x20 || c == 0x7F) {
      risultato += '?';
    } else if (c == 0xC2 && i + 1 < testo.size() &&
               static_cast<unsigned char>(testo[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(testo[i + 1]) <= 0x9F) {
      // A terminal in UTF-8 takes these as control characters too (0x9B opens a sequence).
      risultato += '?';
      ++i;
    } else {
      risultato += testo[i];
    }
  }
  return risultato;
}

}  // namespace

std::string TestoVisibile(const std::string& testo) {
  return Visibile(testo, false);
}

std::string TestoVisibileARighe(const std::string& testo) {
  return Visibile(testo, true);
}

std::string NotaSuUnaRiga(const std::string& nota) {
  std::string riga;
  riga.reserve(nota.size());
  for (size_t i = 0; i < nota.size(); ++i) {
    if (nota[i] == '\r' || nota[i] == '\n') {
      if (nota[i] == '\r' && i + 1 < nota.size() && nota[i + 1] == '\n') ++i;
      riga += " / ";
    } else {
      riga += nota[i];
    }
  }
  return TestoVisibile(riga);
}

void ScriviRigaErrore(const std::string& riga, TGravita gravita) {
  std::string testo;
  // The journal's priorities are one digit, 0 to 7.
  if (ErroreStandardSulGiornale())
    testo = {'<', static_cast<char>('0' + static_cast<int>(gravita)), '>'};
  testo += "vessentaria: ";
  testo += TestoVisibile(riga);
  testo += '\n';
  std::fwrite(testo.data(), 1, testo.size(), stderr);
  std::fflush(stderr);
}
