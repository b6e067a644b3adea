#include "tasks/VessentariaElab.h"

#include "taskbase/Connessione.h"
#include "tasks/VessentariaTask.h"
#include "tasks/VessentariaTasks.h"

TVessentariaElab::TVessentariaElab(TSQLDatabase& database)
    : connessione_(std::make_unique<TConnessione>(database)),
      database_(database),
      tasks_(std::make_unique<TVessentariaTasks>(*connessione_)) {}

TVessentariaElab::~TVessentariaElab() = default;

bool TVessentariaElab::CaricaTasks(std::string& messaggio) {
  messaggio.clear();
  tasks_->Carica();
  if (tasks_->Count() == 0) {
    messaggio = "Nessuna elaborazione di sincro trovata";
    return false;
  }
  for (int i = 0; i < tasks_->Count(); ++i)
    if (tasks_->Items(i).Info().Status == ssAttivo) return true;
  messaggio = "Nessuna elaborazione di sincro attiva trovata";
  return false;
}

int TVessentariaElab::Attivi() const {
  int attivi = 0;
  for (int i = 0; i < tasks_->Count(); ++i)
    if (tasks_->Items(i).Info().Status == ssAttivo) ++attivi;
  return attivi;
}

bool TVessentariaElab::EseguiTasks(std::string& messaggio) {
  messaggio.clear();
  esito_ = TEsito();
  for (int i = 0; i < tasks_->Count(); ++i) {
    TVessentariaTask& task = tasks_->Items(i);
    if (task.Info().Status != ssAttivo) continue;
    const int32_t id = task.Info().ID;
    if (esito_.Fallito || esito_.NotaNonScritta) {
      esito_.NonEseguiti.push_back(id);
      continue;
    }
    try {
      messaggio.clear();
      if (!task.PreparaTask(messaggio)) {
        NotaNonScritta(task, id, messaggio);
        Fallimento(id, "Anomalia sincro ID ", messaggio);
        continue;
      }
      messaggio.clear();
      const bool riuscito = task.EseguiTask(messaggio);
      // Without the company archive no later outcome could be recorded either: the run stops.
      NotaNonScritta(task, id, messaggio);
      if (!riuscito) {
        Fallimento(id, "Fallita esecuzione sincro ID ", messaggio);
        continue;
      }
    } catch (...) {
      // Whoever reports the error can still say which tasks it kept from running.
      NotaNonScritta(task, id, messaggio);
      esito_.Fallito = true;
      esito_.Interrotto = true;
      esito_.IdFallito = id;
      for (int j = i + 1; j < tasks_->Count(); ++j)
        if (tasks_->Items(j).Info().Status == ssAttivo)
          esito_.NonEseguiti.push_back(tasks_->Items(j).Info().ID);
      throw;
    }
    ++esito_.Riusciti;
  }
  // The first failure ends the run; the rows after it were only counted.
  if (esito_.Fallito || esito_.NotaNonScritta) return false;
  // After a full run the message holds the last task's success note.
  return true;
}

void TVessentariaElab::Fallimento(int32_t id, const char* testa, std::string& messaggio) {
  esito_.Fallito = true;
  esito_.IdFallito = id;
  esito_.Nota = messaggio;
  messaggio = testa + std::to_string(id) + ":\r" + messaggio;
}

void TVessentariaElab::NotaNonScritta(const TVessentariaTask& task, int32_t id,
                                      const std::string& nota) {
  if (task.NotaNonScritta().empty()) return;
  esito_.NotaNonScritta = true;
  esito_.IdNotaNonScritta = id;
  esito_.NotaPerduta = nota;
  esito_.MotivoNotaNonScritta = task.NotaNonScritta();
}

bool TVessentariaElab::EseguiTutto() {
  std::string messaggio;
  return EseguiTasks(messaggio);
}
