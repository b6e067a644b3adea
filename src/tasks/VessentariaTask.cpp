#include "tasks/VessentariaTask.h"

#include <exception>
#include <stdexcept>

#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "platform/FileSystem.h"
#include "platform/Testo.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"
#include "taskbase/Task.h"

TVessentariaTask::TVessentariaTask(TConnessione& connessione) : connessione_(connessione) {}

TVessentariaTask::~TVessentariaTask() = default;

const TVessentariaTaskInfo& TVessentariaTask::Info() const {
  if (info_ == nullptr) throw std::logic_error("The task row object stands on no row");
  return *info_;
}

const char* const kNotaSuccesso = "Elaborazione effettuata senza anomalie da segnalare";
const char* const kNotaAvviata = "Elaborazione avviata e non conclusa";

std::string NotaSenzaRiempimento(const std::string& nota) {
  return nota.substr(0, nota.find_last_not_of(' ') + 1);
}

bool NotaDiSuccesso(const std::string& nota, const TColonnaTesto* colonna) {
  // A CHAR column pads with blanks, and the cut can end on one: compare without trailing blanks.
  const std::string scritta =
      NotaSenzaRiempimento(colonna ? TagliaAColonna(kNotaSuccesso, *colonna) : kNotaSuccesso);
  return !scritta.empty() && NotaSenzaRiempimento(nota) == scritta;
}

namespace {

// False with the note when nothing is at `percorso`, or when the account cannot reach it: then
// with the system's reason, since "non trovato" would send one looking for a file that is there.
bool ArchivioPresente(const char* lato, const std::string& percorso, std::string& messaggio) {
  std::string motivo;
  const TAccessoFile accesso = AccessoFile(percorso, motivo);
  const std::string archivio = std::string("Archivio ") + lato + " \"" + percorso + "\" ";
  if (accesso == TAccessoFile::Assente)
    messaggio = archivio + "non trovato";
  else if (accesso == TAccessoFile::Irraggiungibile)
    messaggio = archivio + "non raggiungibile: " + motivo;
  else
    return true;
  return false;
}

}  // namespace

bool TVessentariaTask::ControllaEApri(const TVessentariaTaskInfo& riga, std::string& messaggio) {
  messaggio.clear();
  if (riga.ArchivioOrigine.empty()) {
    messaggio = "Manca Archivio Origine";
  } else if (riga.ArchivioDestinazione.empty()) {
    messaggio = "Manca Archivio Destinazione";
  } else if (riga.TipoSincro == tsNessuno) {
    messaggio = "Status non riconosciuto";
  } else if (ArchivioPresente("origine", riga.ArchivioOrigine, messaggio) &&
             ArchivioPresente("destinazione", riga.ArchivioDestinazione, messaggio)) {
    if (fabbrica_) taskCorrente_ = fabbrica_(riga.TipoSincro);
    if (!taskCorrente_) {
      messaggio = "Status non riconosciuto";
    } else {
      taskCorrente_->SetAvanzamento(avanzamento_);
      return taskCorrente_->ApriConnessioni(riga, messaggio);
    }
  }
  return false;
}

bool TVessentariaTask::PreparaTask(std::string& messaggio) {
  messaggio.clear();
  notaNonScritta_.clear();
  bool risultato = false;
  // Only one task, with its two archives open, is alive at a time.
  taskCorrente_.reset();
  try {
    const TVessentariaTaskInfo& riga = Info();
    if (avanzamento_) avanzamento_->InizioTask(riga.ID);
    // Until the task's own note replaces it, the row says that this run began the task: a run
    // that dies from here on leaves no older note to pass for its outcome. Two requests, since
    // the transaction is left clean by the last note unless that one was refused.
    if (!Scrivi(kNotaAvviata, notaRifiutata_) && !notaNonScritta_.empty()) {
      messaggio = "Impossibile scrivere nell'archivio della ditta:\r" + notaNonScritta_;
      if (avanzamento_) avanzamento_->FineTask(false, messaggio);
      return false;
    }
    risultato = ControllaEApri(riga, messaggio);
    if (risultato)
      for (const std::string& avviso : taskCorrente_->Avvisi())
        ScriviRigaErrore("Task " + std::to_string(riga.ID) + " avviso: " + avviso,
                         TGravita::Avviso);
  } catch (const std::exception& e) {
    ScriviNotaDopoEccezione(messaggio, e.what());
    throw;
  } catch (...) {
    ScriviNotaDopoEccezione(messaggio, nullptr);
    throw;
  }
  if (!risultato) {
    ScriviNote(messaggio);
    if (avanzamento_) avanzamento_->FineTask(false, messaggio);
  }
  return risultato;
}

bool TVessentariaTask::VerificaTask(std::string& messaggio, TPrevisione& previsione) {
  messaggio.clear();
  previsione = TPrevisione();
  taskCorrente_.reset();
  bool risultato = false;
  try {
    if (ControllaEApri(Info(), messaggio)) {
      previsione.Via = taskCorrente_->Via();
      previsione.Avvisi = taskCorrente_->Avvisi();
      risultato = taskCorrente_->Verifica(messaggio);
    }
  } catch (const std::exception& e) {
    // A run would end here with this text as the note.
    if (messaggio.empty()) messaggio = e.what();
  }
  // The archives of one task are closed before the next one's open, as in a run.
  taskCorrente_.reset();
  return risultato;
}

bool TVessentariaTask::EseguiTask(std::string& messaggio) {
  messaggio.clear();
  bool risultato = false;
  if (!taskCorrente_) {
    messaggio = "Errore nella gestione interna dell'elaborazione di sincro";
  } else {
    messaggio.clear();
    try {
      risultato = taskCorrente_->Esecuzione(messaggio);
    } catch (const std::exception& e) {
      ScriviNotaDopoEccezione(messaggio, e.what());
      throw;
    } catch (...) {
      ScriviNotaDopoEccezione(messaggio, nullptr);
      throw;
    }
    if (risultato) messaggio = kNotaSuccesso;
  }
  ScriviNote(messaggio);
  if (avanzamento_) avanzamento_->FineTask(risultato, messaggio);
  return risultato;
}

void TVessentariaTask::ScriviNotaDopoEccezione(std::string& messaggio,
                                               const char* testoEccezione) noexcept {
  try {
    // The task left no text of its own: the row should still say what ended the run.
    if (messaggio.empty() && testoEccezione != nullptr) messaggio = testoEccezione;
    ScriviNote(messaggio);
  } catch (...) {
  }
}

bool TVessentariaTask::ScriviNote(const std::string& nota) {
  return Scrivi(nota, true);
}

bool TVessentariaTask::Scrivi(const std::string& nota, bool riavvia) {
  notaNonScritta_.clear();
  std::string motivo;
  try {
    return ScriviUnaVolta(nota, riavvia);
  } catch (const ESQLError& e) {
    // A login without UPDATE on the task table can write no note at all: the run must say so
    // and stop, as when the archive is lost, not copy on with nothing recorded.
    if (e.PermessoNegato()) {
      notaNonScritta_ = e.what();
      return false;
    }
    if (!e.ErroreDiRete()) throw;
    motivo = e.what();
  }
  // The company archive's server stopped, restarted or went away under the run: the row's note
  // is worth one new connection, under the name and login that the opener found.
  if (connessione_.Riconnetti(motivo)) {
    try {
      return ScriviUnaVolta(nota, false);
    } catch (const ESQLError& e) {
      if (!e.ErroreDiRete()) throw;
      motivo = e.what();
    }
  }
  notaNonScritta_ = motivo.empty() ? "connessione persa" : motivo;
  return false;
}

bool TVessentariaTask::ScriviUnaVolta(const std::string& nota, bool riavvia) {
  TSQLTransaction& scrittura = connessione_.TransazioneScrittura();
  // A note that the server refused last time is still pending in the transaction: drop it.
  if (riavvia) {
    scrittura.SetActive(false);
    scrittura.SetActive(true);
  }
  if (!comandoNote_) {
    auto comando = std::make_unique<TSQLStatement>();
    comando->SetDatabase(&connessione_.Database());
    comando->SetTransaction(&scrittura);
    comando->SetParamCheck(true);
    comando->SQL().Add("UPDATE VESSENTARIA SET");
    comando->SQL().Add("ULTIMAESECUZIONE=CURRENT_TIMESTAMP,");
    comando->SQL().Add("NOTEULTIMAESECUZIONE=:NOTEULTIMAESECUZIONE");
    comando->SQL().Add("WHERE");
    comando->SQL().Add("  ID=:ID");
    comando->Prepare();
    // The parameter's length is in bytes, a text column's in characters of its set: in a
    // multi-byte set only the column itself tells how many characters fit.
    auto colonna = std::make_unique<TColonnaTesto>();
    if (!CaricaColonnaTesto("VESSENTARIA", "NOTEULTIMAESECUZIONE", connessione_.Database(),
                            scrittura, *colonna))
      colonna.reset();
    colonnaNote_ = std::move(colonna);
    comandoNote_ = std::move(comando);
  }
  comandoNote_->ParamByName("ID").SetAsInteger(Info().ID);
  // Server error texts are long; a cut note is better than a row that never tells why.
  comandoNote_->ParamByName("NOTEULTIMAESECUZIONE")
      .SetAsString(colonnaNote_ ? TagliaAColonna(nota, *colonnaNote_) : nota);
  try {
    comandoNote_->Execute();
    scrittura.CommitRetaining();
  } catch (const ESQLError& e) {
    if (e.ErroreDiRete()) throw;
    notaRifiutata_ = true;
    return false;
  } catch (const std::exception&) {
    notaRifiutata_ = true;
    return false;
  }
  notaRifiutata_ = false;
  return true;
}
