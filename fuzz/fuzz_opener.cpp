// The database name that the opener builds from a folder, a file name and the folder's dati.ini.
// The first connection attempt is stopped before it reaches the client library (no server is
// asked and no file is created); its name must be the one the rules give for that dati.ini.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "db/SQLDatabase.h"
#include "opener/Opener.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"

namespace {

[[noreturn]] void Fallito(const char* perche) {
  std::fprintf(stderr, "broken property: %s\n", perche);
  std::abort();
}

struct TTentativo {
  std::string nome;
};

// Nobody answers: boxes are counted, the dialog stays closed.
class TInterfacciaMuta : public TInterfacciaUtente {
 public:
  void MostraMessaggio(const std::string&, const std::string&, TIconaMessaggio) override {
    ++messaggi;
  }
  void MostraDialogo(TDueCampiForm&) override { ++dialoghi; }
  int messaggi = 0;
  int dialoghi = 0;
};

const std::string& CartellaDiProva() {
  static const std::string path = [] {
    char modello[] = "/tmp/vessentaria-fuzz-opener-XXXXXX";
    if (mkdtemp(modello) == nullptr) std::abort();
    return std::string(modello) + "/";
  }();
  return path;
}

std::string Riga(const std::string& testo, size_t& da) {
  const size_t fine = testo.find('\n', da);
  const std::string riga =
      testo.substr(da, fine == std::string::npos ? std::string::npos : fine - da);
  da = fine == std::string::npos ? testo.size() : fine + 1;
  return riga;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string testo(reinterpret_cast<const char*>(data), size);
  size_t da = 0;
  const std::string primaRiga = Riga(testo, da);
  const std::string nomeFile = Riga(testo, da);
  const std::string ini = testo.substr(da);

  // A first line beginning with two backslashes is a network-share folder (no dati.ini can be
  // read there); anything else uses a real folder whose dati.ini is the rest of the input.
  const bool condivisione = primaRiga.rfind("\\\\", 0) == 0;
  const std::string cartella = condivisione ? primaRiga : CartellaDiProva();
  if (!condivisione) {
    FILE* f = std::fopen((cartella + "dati.ini").c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fwrite(ini.data(), 1, ini.size(), f);
    std::fclose(f);
  }

  TInterfacciaMuta ui;
  TInterfacciaUtente* precedente = ImpostaInterfacciaUtente(&ui);
  std::string tentato;
  bool tentativo = false;
  try {
    TSQLDatabase database;
    std::string rifiuto;
    ApriCreaDatabase(database, cartella, nomeFile, "", "", nullptr, rifiuto,
                     [](const std::string& nome) { throw TTentativo{nome}; });
  } catch (const TTentativo& t) {
    tentativo = true;
    tentato = t.nome;
  }
  ImpostaInterfacciaUtente(precedente);

  const std::string file = nomeFile.empty() ? "archivio.fdb" : nomeFile;
  if (condivisione) {
    // Either the user was told why nothing is tried, or a name is tried that ends with the file.
    if (!tentativo && ui.messaggi == 0) Fallito("a share folder with neither attempt nor message");
    if (tentativo && tentato.compare(tentato.size() - std::min(tentato.size(), file.size()),
                                     std::string::npos, file) != 0)
      Fallito("a share name without the file name");
    return 0;
  }

  const TIniFile dati(cartella + "dati.ini");
  const std::string server = dati.ReadString("CONFIG", "Nome Server", "");
  const std::string alias = dati.ReadString("CONFIG", "Alias", "");
  const std::string percorso = dati.ReadString("CONFIG", "PercorsoDatabase", "");
  std::string atteso;
  if (!server.empty() && !alias.empty()) {
    atteso = server + ":" + alias;
  } else if (!percorso.empty()) {
    atteso = "\\\\" + server + "\\" + percorso;
    if (atteso.back() != '\\') atteso += '\\';
    atteso += file;
  } else {
    atteso = cartella + file;
  }
  if (!tentativo) Fallito("no connection attempt for a local folder");
  if (tentato != atteso) Fallito("the first attempt is not the name of the first rule");
  return 0;
}
