#include "transfer/TaskVornyUSA.h"

#include <stdexcept>

#include "db/SQLDatabase.h"
#include "db/SQLTransaction.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"
#include "transfer/TravasiVornyUSA.h"

namespace {

const char kTestoTravaso[] = "Impossibile eseguire il travaso %s:\r";

// concurrency, nowait, read
constexpr TOpzioniTransazione kIstantaneaSolaLettura = (1u << 2) | (1u << 7) | (1u << 8);

struct TPasso {
  TTravasoDatiVornyUSAClass classe;
  const char* titolo;
};

const TPasso kPassi[] = {
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_Intestatari>, "Intestatari PS Ordini"},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_Destinatari>, "Destinatari PS Ordini"},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_Ordini>, "PS Ordini"},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoInsCar>, "Righe PS Ordini"},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>, "Sessioni PS Ordini"},
};

}  // namespace

TTaskVornyUSA::TTaskVornyUSA() = default;
TTaskVornyUSA::~TTaskVornyUSA() = default;

bool TTaskVornyUSA::EseguiTravaso(TTravasoDatiVornyUSAClass classe, std::string& messaggio) {
  std::unique_ptr<TTravasoDatiVornyUSA> travaso = classe(*Origine(), *Destinazione());
  travaso->SetAvanzamento(Avanzamento());
  travaso->SetTransazioneOrigine(istantaneaOrigine_.get());
  messaggio.clear();
  bool risultato = travaso->Esegui(messaggio);
  if (!risultato) messaggio.insert(0, kTestoTravaso);
  return risultato;
}

bool TTaskVornyUSA::Esecuzione(std::string& messaggio) {
  messaggio.clear();
  if (!Origine() || !Destinazione())
    throw std::logic_error("Esecuzione before ApriConnessioni succeeded");
  TSQLTransaction& scrittura = Destinazione()->TransazioneScrittura();
  // A fresh destination transaction: the whole run is one unit of work there.
  scrittura.SetActive(false);
  scrittura.SetActive(true);
  // The five source queries read one moment of the source: orders written there during the
  // run reach the destination whole with their customers and rows, or not at all.
  istantaneaOrigine_ = CreaTransazione(Origine()->Database(), kIstantaneaSolaLettura);
  struct TFineIstantanea {
    std::unique_ptr<TSQLTransaction>& istantanea;
    // Read only: its release commits nothing and never fails.
    ~TFineIstantanea() { istantanea.reset(); }
  } fineIstantanea{istantaneaOrigine_};

  bool risultato = true;
  try {
    for (const TPasso& passo : kPassi) {
      if (Avanzamento()) Avanzamento()->InizioPasso(passo.titolo);
      if (!EseguiTravaso(passo.classe, messaggio)) {
        // Only the leading text's placeholder is replaced: the step's message may hold "%s" too.
        messaggio.replace(messaggio.find("%s"), 2, passo.titolo);
        risultato = false;
        break;
      }
    }
  } catch (...) {
    try {
      if (scrittura.InTransaction()) scrittura.RollbackRetaining();
    } catch (...) {
      // The error that stopped the run is the one to report.
    }
    throw;
  }
  if (scrittura.InTransaction()) {
    if (risultato)
      scrittura.CommitRetaining();
    else
      scrittura.RollbackRetaining();
  }
  return risultato;
}
