#include "tasks/Decodifica.h"

#include <array>

namespace {

// Indexed by TTipoSincro and TStatusSincro; constant for the life of the process.
const std::array<const char*, 2> kCodiciTipoSincro = {"", "VORNYUSA"};
const std::array<int32_t, 2> kValoriStatus = {0, 1};

std::string MaiuscoloAscii(std::string testo) {
  for (char& c : testo)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return testo;
}

}  // namespace

TTipoSincro DecodificaTipoSincro(const std::string& codice) {
  const std::string cercato = MaiuscoloAscii(codice);
  for (size_t i = 0; i < kCodiciTipoSincro.size(); ++i)
    if (MaiuscoloAscii(kCodiciTipoSincro[i]) == cercato) return static_cast<TTipoSincro>(i);
  return tsNessuno;
}

TStatusSincro DecodificaStatus(int32_t valore) {
  for (size_t i = 0; i < kValoriStatus.size(); ++i)
    if (kValoriStatus[i] == valore) return static_cast<TStatusSincro>(i);
  return ssInattivo;
}
