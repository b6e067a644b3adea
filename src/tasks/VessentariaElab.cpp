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

bool TVessentariaElab::EseguiTasks(std::string& messaggio) {
  messaggio.clear();
  for (int i = 0; i < tasks_->Count(); ++i) {
    TVessentariaTask& task = tasks_->Items(i);
    if (task.Info().Status != ssAttivo) continue;
    const std::string id = std::to_string(task.Info().ID);
    messaggio.clear();
    if (!task.PreparaTask(messaggio)) {
      messaggio = "Anomalia sincro ID " + id + ":\r" + messaggio;
      return false;
    }
    messaggio.clear();
    if (!task.EseguiTask(messaggio)) {
      messaggio = "Fallita esecuzione sincro ID " + id + ":\r" + messaggio;
      return false;
    }
  }
  // After a full run the message holds the last task's success note.
  return true;
}

bool TVessentariaElab::EseguiTutto() {
  std::string messaggio;
  return EseguiTasks(messaggio);
}
