// Paths split into folder and file name, and network-share folders turned into server paths.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "opener/Opener.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"

namespace {

[[noreturn]] void Fallito(const char* perche) {
  std::fprintf(stderr, "broken property: %s\n", perche);
  std::abort();
}

// The warning about a named share is counted, not shown.
class TInterfacciaMuta : public TInterfacciaUtente {
 public:
  void MostraMessaggio(const std::string&, const std::string&, TIconaMessaggio) override {}
  void MostraDialogo(TDueCampiForm&) override {}
};

bool Separatore(char c) {
  return c == '\\' || c == '/' || c == ':';
}

void Divisione(const std::string& path) {
  const std::string cartella = EstraiCartella(path);
  const std::string nome = EstraiNomeFile(path);
  if (cartella + nome != path) Fallito("folder and file name do not make the path");
  if (!cartella.empty() && !Separatore(cartella.back())) Fallito("a folder without its separator");
  for (char c : nome)
    if (Separatore(c)) Fallito("a file name with a separator");
}

void Condivisione(const std::string& testo) {
  // Input: the share folder, then a NUL and the server's own path of the share.
  const size_t nul = testo.find('\0');
  const std::string cartella = "\\\\" + testo.substr(0, nul);
  const std::string nelServer = nul == std::string::npos ? "" : testo.substr(nul + 1);
  std::string percorso = "invariato";
  bool conNome = false;
  const bool stop = PercorsoDaCondivisione(cartella, nelServer, percorso, conNome);
  if (stop && (!conNome || !nelServer.empty())) Fallito("a stop without a named share");
  if (!conNome && stop) Fallito("a drive-letter share that stops");
  const std::string server = cartella.substr(2, cartella.find('\\', 2) - 2);
  if (!stop && percorso.rfind(server + ":", 0) != 0) Fallito("a server path without its server");
  if (conNome && !stop && percorso != server + ":" + nelServer)
    Fallito("a named share not replaced by the server's path");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TInterfacciaMuta muta;
  ImpostaInterfacciaUtente(&muta);
  const std::string testo(reinterpret_cast<const char*>(data), size);
  Divisione(testo);
  Condivisione(testo);
  return 0;
}
