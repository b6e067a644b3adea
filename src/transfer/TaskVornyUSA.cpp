#include "transfer/TaskVornyUSA.h"

#include <stdexcept>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLTransaction.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"
#include "taskbase/Diritti.h"
#include "transfer/TravasiVornyUSA.h"

namespace {

// The line that names the failed step, in front of the step's own message.
std::string RigaPasso(const std::string& titolo) {
  return "Impossibile eseguire il travaso " + titolo + ":\r";
}

// The commit of the five steps, named as a step when it fails.
const char kTitoloConferma[] = "Conferma PS Ordini";

constexpr TOpzioniTransazione kIstantaneaSolaLettura = kTpbConcurrency | kTpbNowait | kTpbRead;

// A transfer and the captions of the steps that its source rows make, in order.
struct TPasso {
  TTravasoDatiVornyUSAClass classe;
  std::vector<std::string> titoli;
};

const TPasso kPassi[] = {
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_ClientiOrdini>,
     {"Intestatari PS Ordini", "Destinatari PS Ordini"}},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_Ordini>, {"PS Ordini"}},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoInsCar>, {"Righe PS Ordini"}},
    {TTravasoDatiVornyUSA::Crea<TTravasoDatiVornyUSA_PS_StoSession>, {"Sessioni PS Ordini"}},
};

}  // namespace

TTaskVornyUSA::TTaskVornyUSA() = default;
TTaskVornyUSA::~TTaskVornyUSA() = default;

bool TTaskVornyUSA::EseguiTravaso(TTravasoDatiVornyUSAClass classe,
                                  const std::vector<std::string>& titoli, std::string& messaggio) {
  std::unique_ptr<TTravasoDatiVornyUSA> travaso = classe(*Origine(), *Destinazione());
  travaso->SetAvanzamento(Avanzamento());
  travaso->SetTransazioneOrigine(istantaneaOrigine_.get());
  travaso->SetComune(comune_.get());
  size_t passo = 0;
  titoloCorrente_ = titoli.front();
  if (Avanzamento()) Avanzamento()->InizioPasso(titoloCorrente_);
  auto annuncia = [&](size_t fino) {
    for (; passo < fino && passo + 1 < titoli.size(); ++passo) {
      titoloCorrente_ = titoli[passo + 1];
      if (Avanzamento()) Avanzamento()->InizioPasso(titoloCorrente_);
    }
  };
  travaso->SetCambioPasso([&](int nuovo) { annuncia(static_cast<size_t>(nuovo - 1)); });
  messaggio.clear();
  bool risultato = nelServer_ ? travaso->EseguiNelServer(messaggio) : travaso->Esegui(messaggio);
  if (!risultato) {
    messaggio.insert(0, RigaPasso(titoloCorrente_));
    return false;
  }
  // A step without rows is shown all the same.
  annuncia(titoli.size() - 1);
  return true;
}

std::vector<std::string> TTaskVornyUSA::TabelleUsate() const {
  std::vector<std::string> tabelle;
  for (const TPasso& passo : kPassi)
    tabelle.push_back(passo.classe(*Origine(), *Destinazione())->Tabella());
  return tabelle;
}

void TTaskVornyUSA::PreparaComune() {
  // Across a slow link each request waits a round trip: the steps share the layouts that came
  // with the archives' identities, and the order tables are emptied in one request.
  comune_->azzerate.clear();
  std::vector<std::string> daAzzerare;
  for (const TPasso& passo : kPassi) {
    const std::unique_ptr<TTravasoDatiVornyUSA> travaso = passo.classe(*Origine(), *Destinazione());
    // A missing table is named by its own step.
    if (dynamic_cast<TTravasoDatiVornyUSA_PS*>(travaso.get()) &&
        TracciatiDestinazione().count(travaso->Tabella()))
      daAzzerare.push_back(travaso->Tabella());
  }
  // Refused, the block changes nothing: the steps then empty their tables one by one, as when
  // nothing is shared, and the table refused is named by its step.
  std::string errore;
  if (TTravasoDatiVornyUSA_PS::AzzeraTabelle(*Destinazione(), daAzzerare, errore))
    comune_->azzerate = daAzzerare;
}

bool TTaskVornyUSA::TuttiNelServer(const TComuneTravasi& comune, std::string& motivo) {
  for (const TPasso& passo : kPassi) {
    const std::unique_ptr<TTravasoDatiVornyUSA> travaso = passo.classe(*Origine(), *Destinazione());
    travaso->SetComune(&comune);
    if (!travaso->CopiabileNelServer(motivo)) return false;
  }
  return true;
}

bool TTaskVornyUSA::EseguiPassi(std::string& messaggio) {
  TSQLTransaction& scrittura = Destinazione()->TransazioneScrittura();
  // Undoes the destination's work; after a failure on the connection the rollback fails as
  // well, and the server undoes the work of the connection it lost.
  auto annulla = [&scrittura]() noexcept {
    try {
      if (scrittura.InTransaction()) scrittura.RollbackRetaining();
    } catch (...) {
    }
  };
  // What the steps share is asked before the first, and counts as the first step's work.
  titoloCorrente_ = kPassi[0].titoli.front();
  try {
    PreparaComune();
    for (const TPasso& passo : kPassi) {
      if (!EseguiTravaso(passo.classe, passo.titoli, messaggio)) {
        annulla();
        return false;
      }
    }
    titoloCorrente_ = kTitoloConferma;
    if (scrittura.InTransaction()) scrittura.Commit();
  } catch (...) {
    annulla();
    throw;
  }
  return true;
}

bool TTaskVornyUSA::Esecuzione(std::string& messaggio) {
  messaggio.clear();
  if (!Origine() || !Destinazione())
    throw std::logic_error("Esecuzione before ApriConnessioni succeeded");
  // The whole run is one unit of work in the destination's write transaction, where only the
  // destination's layouts were read before.
  Destinazione()->TransazioneScrittura();
  TransazioneDescrizione(TSlot::Origine);  // the snapshot of ApriConnessioni, or anew on a rerun
  struct TFineIstantanea {
    std::unique_ptr<TSQLTransaction>& istantanea;
    // Read only: its release commits nothing and never fails.
    ~TFineIstantanea() { istantanea.reset(); }
  } fineIstantanea{istantaneaOrigine_};
  struct TFineComune {
    std::unique_ptr<TComuneTravasi>& comune;
    ~TFineComune() { comune.reset(); }
  } fineComune{comune_};

  comune_ = std::make_unique<TComuneTravasi>();
  comune_->origine = &TracciatiOrigine();
  comune_->destinazione = &TracciatiDestinazione();
  try {
    return EseguiSullaVia(messaggio);
  } catch (const ESQLError& e) {
    // A connection cut under a request (its response limit passed, or the server went away), a
    // right the site's user lacks, or a destination whose own rules refuse the commit fails the
    // task, not the run.
    if (!e.ErroreDelSito() && titoloCorrente_ != kTitoloConferma) throw;
    messaggio = RigaPasso(titoloCorrente_) + e.what();
    return false;
  }
}

bool TTaskVornyUSA::EseguiSullaVia(std::string& messaggio) {
  std::string motivo;
  nelServer_ = copiaNelServer_ && TuttiNelServer(*comune_, motivo);
  if (!nelServer_) return EseguiPassi(messaggio);
  try {
    // A check that fails gives the note that the rows' way would give.
    return EseguiPassi(messaggio);
  } catch (const ESQLError& e) {
    // The server's copy names no refused row and tells its own refusals in its words. The rows'
    // way runs again only where it can end otherwise.
    const auto ripiego = [&] {
      // The program's own connection lost, or cut at the response limit: the rows' way meets it.
      if (e.ErroreDiRete()) return false;
      // The server's connection to the source not made or lost: the rows' way reads through the
      // program's own if that still answers; a source gone answers neither.
      if (e.ConnessioneEsternaPersa()) return OrigineRisponde();
      // The destination's own rules refused the commit: they would refuse it again.
      if (titoloCorrente_ == kTitoloConferma) return false;
      // A row refused or a right missing in a step: the rows' way names it exactly. Anything
      // else is the server's own copy failing (a block it cannot prepare, a data source it will
      // not open), which the rows' way does not use.
      return true;
    };
    if (!ripiego()) throw;
  }
  // Only a plain rollback clears a transaction whose connection to the source the server lost:
  // one that retains it keeps the server's rows and refuses the commit. The source's moment stays,
  // the snapshot in which its layouts were read.
  TSQLTransaction& scrittura = Destinazione()->TransazioneScrittura();
  if (scrittura.InTransaction()) scrittura.Rollback();
  Destinazione()->TransazioneScrittura();
  nelServer_ = false;
  return EseguiPassi(messaggio);
}

bool TTaskVornyUSA::OrigineRisponde() {
  try {
    istantaneaOrigine_->LeggiImmediato("SELECT 1 FROM RDB$DATABASE", 1,
                                       Origine()->Database().SQLDialect());
    return true;
  } catch (const ESQLError&) {
    return false;
  }
}

TSQLTransaction& TTaskVornyUSA::TransazioneDescrizione(TSlot slot) {
  if (slot == TSlot::Destinazione) return Destinazione()->TransazioneScrittura();
  // The source queries read one moment of the source, the one whose layouts were read:
  // orders written there during the run reach the destination whole with their customers and
  // rows, or not at all.
  if (!istantaneaOrigine_)
    istantaneaOrigine_ = CreaTransazione(Origine()->Database(), kIstantaneaSolaLettura);
  return *istantaneaOrigine_;
}

bool TTaskVornyUSA::Verifica(std::string& messaggio) {
  messaggio.clear();
  if (!Origine() || !Destinazione())
    throw std::logic_error("Verifica before ApriConnessioni succeeded");
  // Only the tables found: a missing one is named by its step. Every source query reads the
  // orders and the customers beside its own table: together, every table of the task.
  std::vector<TDirittoTabella> lettura, scrittura;
  for (const std::string& tabella : TabelleUsate())
    if (TracciatiOrigine().count(tabella)) lettura.push_back({tabella, TDiritto::Select});
  for (const TPasso& passo : kPassi) {
    const std::unique_ptr<TTravasoDatiVornyUSA> travaso = passo.classe(*Origine(), *Destinazione());
    const std::string& tabella = travaso->Tabella();
    if (!TracciatiDestinazione().count(tabella)) continue;
    // Measured on Firebird 3 and 4: UPDATE OR INSERT ... MATCHING asks all three whichever way it
    // goes, in a statement of its own or in a block of the server's copy.
    for (TDiritto diritto : {TDiritto::Select, TDiritto::Insert, TDiritto::Update})
      scrittura.push_back({tabella, diritto});
    if (dynamic_cast<TTravasoDatiVornyUSA_PS*>(travaso.get()))
      scrittura.push_back({tabella, TDiritto::Delete});
  }
  std::string mancanti[2];
  ControllaDiritti(TransazioneDescrizione(TSlot::Origine), lettura, "in origine", mancanti[0]);
  ControllaDiritti(TransazioneDescrizione(TSlot::Destinazione), scrittura, "in destinazione",
                   mancanti[1]);
  messaggio = mancanti[0] + (mancanti[0].empty() || mancanti[1].empty() ? "" : "\r") + mancanti[1];
  if (!messaggio.empty()) return false;
  for (const TPasso& passo : kPassi) {
    std::unique_ptr<TTravasoDatiVornyUSA> travaso = passo.classe(*Origine(), *Destinazione());
    if (!travaso->Prepara(messaggio)) {
      messaggio.insert(0, RigaPasso(passo.titoli.front()));
      return false;
    }
  }
  return true;
}

std::vector<std::string> TTaskVornyUSA::Avvisi() const {
  std::vector<std::string> avvisi;
  for (const TPasso& passo : kPassi) {
    const std::unique_ptr<TTravasoDatiVornyUSA> travaso = passo.classe(*Origine(), *Destinazione());
    const std::string& tabella = travaso->Tabella();
    const std::string chiave = travaso->Chiave();
    const auto tracciato = TracciatiDestinazione().find(tabella);
    if (tracciato == TracciatiDestinazione().end()) continue;
    const int indice = tracciato->second.IndiceCampo(chiave);
    if (indice < 0 || tracciato->second.Campo(indice).Indicizzato) continue;
    avvisi.push_back("la chiave " + chiave + " di " + tabella +
                     " in destinazione non ha un indice: ogni riga copiata legge tutta la "
                     "tabella; lo crea CREATE INDEX IX_" +
                     tabella + "_" + chiave + " ON " + tabella + " (" + chiave + ")");
  }
  return avvisi;
}

std::string TTaskVornyUSA::Via() {
  if (!copiaNelServer_) return "riga per riga: copia nel server esclusa";
  TComuneTravasi comune;
  comune.origine = &TracciatiOrigine();
  comune.destinazione = &TracciatiDestinazione();
  std::string motivo;
  return TuttiNelServer(comune, motivo) ? "copia nel server" : "riga per riga: " + motivo;
}
