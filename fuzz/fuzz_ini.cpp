// dati.ini files of any content. Reading never fails and never gives a value longer than 2047
// characters; writing one key either refuses the whole file ("Unable to write to ...") or changes
// one line only, keeps every other value of the section and reads back what was written.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/IniFile.h"

namespace {

[[noreturn]] void Fallito(const char* perche) {
  std::fprintf(stderr, "broken property: %s\n", perche);
  std::abort();
}

const std::string& FileDiProva() {
  static const std::string path = [] {
    char modello[] = "/tmp/vessentaria-fuzz-ini-XXXXXX";
    if (mkdtemp(modello) == nullptr) std::abort();
    return std::string(modello) + "/dati.ini";
  }();
  return path;
}

std::string Leggi(const std::string& path) {
  std::string testo;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) std::abort();
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) testo.append(buffer, n);
  std::fclose(f);
  return testo;
}

void Scrivi(const std::string& path, const std::string& testo) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(testo.data(), 1, testo.size(), f);
  std::fclose(f);
}

const char* const kChiavi[] = {"Nome Server", "Alias", "PercorsoDatabase", "Percorso Nel Server",
                               "Lettera Disco Server"};

// A value that an INI line carries unchanged: one line, no blanks at its ends.
bool ValoreSemplice(const std::string& v) {
  if (v.empty() || v.size() > TIniFile::LunghezzaMassimaValore) return false;
  if (v.front() == ' ' || v.back() == ' ' || v.front() == '\t' || v.back() == '\t') return false;
  for (char c : v)
    if (c == '\r' || c == '\n' || c == '\0') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string testo(reinterpret_cast<const char*>(data), size);
  const std::string& path = FileDiProva();
  Scrivi(path, testo);

  TIniFile ini(path);
  std::vector<std::string> prima;
  for (const char* chiave : kChiavi) {
    prima.push_back(ini.ReadString("CONFIG", chiave, ""));
    if (prima.back().size() > TIniFile::LunghezzaMassimaValore) Fallito("a value too long");
  }
  if (ini.ReadString("CONFIG", "NonCe", "predefinito") != "predefinito" &&
      testo.find("NonCe") == std::string::npos && testo.find("nonce") == std::string::npos &&
      testo.find("NONCE") == std::string::npos)
    Fallito("a missing key that does not read as the default");

  // The value written: the last line of the input, as the dialog would give a server name.
  const size_t a = testo.rfind('\n');
  const std::string valore = a == std::string::npos ? testo : testo.substr(a + 1);
  try {
    ini.WriteString("CONFIG", "Nome Server", valore);
  } catch (const EIniFileError& e) {
    if (std::string(e.what()) != "Unable to write to " + path) Fallito("a write error text");
    return 0;
  }
  // Everything but one line of the file is kept byte for byte: what changed in the old text lies
  // within one line, and what stands there now carries the written value.
  const std::string dopo = Leggi(path);
  size_t prefisso = 0;
  while (prefisso < testo.size() && prefisso < dopo.size() && testo[prefisso] == dopo[prefisso])
    ++prefisso;
  size_t suffisso = 0;
  while (suffisso < testo.size() - prefisso && suffisso < dopo.size() - prefisso &&
         testo[testo.size() - 1 - suffisso] == dopo[dopo.size() - 1 - suffisso])
    ++suffisso;
  const std::string tolto = testo.substr(prefisso, testo.size() - prefisso - suffisso);
  if (tolto.find('\n') != std::string::npos) Fallito("a write changed more than one line");
  if (dopo.size() - prefisso - suffisso > valore.size() + 200) Fallito("a write added too much");
  // A value between double quotes reads without them, as from a Windows profile.
  const bool traVirgolette = valore.size() >= 2 && valore.front() == '"' && valore.back() == '"';
  const std::string atteso = traVirgolette ? valore.substr(1, valore.size() - 2) : valore;
  if (ValoreSemplice(valore) && ini.ReadString("CONFIG", "Nome Server", "") != atteso)
    Fallito("a written value that does not read back");
  for (size_t i = 1; i < prima.size(); ++i)
    if (ini.ReadString("CONFIG", kChiavi[i], "") != prima[i])
      Fallito("a write changed another key");
  return 0;
}
