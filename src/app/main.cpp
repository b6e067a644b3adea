#include <cstdio>

#include "app/Argomenti.h"
#include "app/Avvio.h"
#include "db/SQLDatabase.h"
#include "platform/UscitaStandard.h"

namespace {

// EX_USAGE and EX_IOERR of the BSD convention that schedulers and scripts know.
constexpr int kStatoUso = 64;
constexpr int kStatoScrittura = 74;

// A help text that did not reach its reader must not look like one that did.
int Stampa(const std::string& testo) {
  const bool scritto = std::fputs(testo.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
  return scritto && !std::ferror(stdout) ? 0 : kStatoScrittura;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Everything but a run answers before anything is opened.
  const TArgomenti richiesta = LeggiArgomenti(argc, argv);
  switch (richiesta.Comando) {
    case TComando::Aiuto:
      return Stampa(TestoAiuto());
    case TComando::Versione:
      return Stampa(TestoVersione());
    case TComando::Uso:
      std::fputs(TestoUso(richiesta.Errore).c_str(), stderr);
      return kStatoUso;
    case TComando::Esecuzione:
    case TComando::Verifica:
    case TComando::Stato:
      break;
  }
  const int stato = EseguiProgramma(richiesta.Comando);
  // A login at a frozen server may still wait in the client library, and the library's shutdown at
  // exit would wait for it.
  if (ChiamateInSospeso() > 0) EsciSubito(stato);
  return stato;
}
