#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TSQLDatabase;
class TConnessione;
class TVessentariaTask;
class TVessentariaTasks;

// The run driver: reads the task table of the company archive and runs its active tasks in
// ascending ID, writing each task's last run and note back into its row. Keeps `database`
// without owning it; owns its connection pair and the task list. Errors that escape a task leave
// the run as exceptions, after the task's note was written.
class TVessentariaElab {
 public:
  // How the last EseguiTasks ended, for whoever tells a person or a scheduler.
  struct TEsito {
    int Riusciti = 0;
    bool Fallito = false;
    bool Interrotto = false;  // Fallito by an error that escaped the task and leaves the run
    int32_t IdFallito = 0;
    std::string Nota;                  // the note written into the failed task's row
    std::vector<int32_t> NonEseguiti;  // active tasks after the failed one, left unrun
    // The note of task IdNotaNonScritta, NotaPerduta, could not be written: the company
    // archive's connection was lost and not regained (MotivoNotaNonScritta, the last error's
    // text). The run stopped there, also after a task that succeeded; NonEseguiti lists the
    // active tasks after it.
    bool NotaNonScritta = false;
    int32_t IdNotaNonScritta = 0;
    std::string NotaPerduta;
    std::string MotivoNotaNonScritta;
  };

  explicit TVessentariaElab(TSQLDatabase& database);
  TVessentariaElab(const TVessentariaElab&) = delete;
  TVessentariaElab& operator=(const TVessentariaElab&) = delete;
  ~TVessentariaElab();

  // Loads the task rows; false with the message when there is nothing to run.
  bool CaricaTasks(std::string& messaggio);
  // Runs the active rows; true when every one of them ran without failure and had its note
  // written. An error that escapes a task is raised after Esito() has recorded that task, the
  // active ones left unrun and a note that could not be written.
  bool EseguiTasks(std::string& messaggio);
  // EseguiTasks, its message dropped.
  bool EseguiTutto();

  const TEsito& Esito() const { return esito_; }
  // Active rows loaded.
  int Attivi() const;

  TSQLDatabase& Database() const { return database_; }
  TVessentariaTasks& Tasks() const { return *tasks_; }
  // The pair on the company archive, through which the task table is read and written.
  TConnessione& Connessione() const { return *connessione_; }

 private:
  // Records the failed task and composes the run's message: `testa`, the ID, ":", CR, the note.
  void Fallimento(int32_t id, const char* testa, std::string& messaggio);
  // Records the note of task `id` that the row object could not write, if any.
  void NotaNonScritta(const TVessentariaTask& task, int32_t id, const std::string& nota);

  std::unique_ptr<TConnessione> connessione_;
  TSQLDatabase& database_;
  std::unique_ptr<TVessentariaTasks> tasks_;
  TEsito esito_;
};
