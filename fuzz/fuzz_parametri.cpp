// Statement texts as the parameter scanner sees them, and the name rules used to look up
// columns and parameters. The scanner must either refuse a text with its parse error or give a
// text in which each parameter, its ":" or "?" and its name, stands as one "?".

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/SQLError.h"
#include "db/SQLInternal.h"

namespace {

[[noreturn]] void Fallito(const char* perche) {
  std::fprintf(stderr, "broken property: %s\n", perche);
  std::abort();
}

bool CarattereNome(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

void Scansione(const std::string& testo) {
  std::vector<std::string> nomi;
  std::string inviato;
  try {
    inviato = ScansionaParametri(testo, nomi);
  } catch (const ESQLError& e) {
    if (std::string(e.what()).rfind("SQL Parse Error:\r\n\r\n", 0) != 0)
      Fallito("a parse failure without its heading");
    return;
  }
  size_t lunghezzaNomi = 0;
  for (const std::string& nome : nomi) {
    if (nome.empty()) Fallito("an empty parameter name");
    if (nome.front() == '"') {
      if (nome.size() < 3 || nome.back() != '"') Fallito("a quoted name without its quotes");
    } else {
      for (char c : nome)
        if (!CarattereNome(c)) Fallito("a name with a character that ends names");
    }
    lunghezzaNomi += nome.size();
  }
  if (inviato.size() + lunghezzaNomi != testo.size())
    Fallito("the sent text and the names do not add up to the original");
  // The sent text never holds more placeholders than there are names; the rest are inside
  // strings and comments, copied as they were.
  size_t segnaposto = 0;
  for (char c : inviato) segnaposto += c == '?';
  if (segnaposto < nomi.size()) Fallito("a parameter without its placeholder");
}

void Nomi(const std::string& testo) {
  for (int dialetto : {1, 3}) {
    const std::string normale = NormalizzaNome(testo, dialetto);
    if (normale.size() > testo.size()) Fallito("a normalised name longer than the name");
    // Normalising is idempotent for names without quotes.
    if (testo.find('"') == std::string::npos && NormalizzaNome(normale, dialetto) != normale)
      Fallito("normalising twice changes an unquoted name");
  }
  // Output names: never one that is already taken.
  std::vector<std::string> presi;
  size_t inizio = 0;
  while (inizio <= testo.size() && presi.size() < 64) {
    size_t fine = testo.find('\n', inizio);
    if (fine == std::string::npos) fine = testo.size();
    presi.push_back(testo.substr(inizio, fine - inizio));
    inizio = fine + 1;
  }
  const std::string alias = presi.front();
  presi.erase(presi.begin());
  // The server never describes longer names: 63 characters of UTF-8 (Firebird 4 and later).
  if (alias.size() > 252) return;
  int senzaNome = 0;
  const std::string nome = NomeUscita(alias, presi, senzaNome);
  for (const std::string& preso : presi)
    if (preso == nome) Fallito("an output name that is already taken");
  // At most 63 names are taken, so a number of two digits always makes a free one.
  if (nome.size() > (alias.empty() ? 4 : alias.size() + 2))
    Fallito("an output name longer than its alias and a two-digit number");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string testo(reinterpret_cast<const char*>(data), size);
  Scansione(testo);
  Nomi(testo);
  return 0;
}
