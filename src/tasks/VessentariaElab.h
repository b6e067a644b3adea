#pragma once

#include <memory>
#include <string>

class TSQLDatabase;
class TConnessione;
class TVessentariaTasks;

// The run driver: reads the task table of the company archive and runs its active tasks in
// ascending ID, writing each task's last run and note back into its row. Keeps `database`
// without owning it; owns its connection pair and the task list. Errors that escape a task leave
// the run as exceptions, after the task's note was written.
class TVessentariaElab {
 public:
  explicit TVessentariaElab(TSQLDatabase& database);
  TVessentariaElab(const TVessentariaElab&) = delete;
  TVessentariaElab& operator=(const TVessentariaElab&) = delete;
  ~TVessentariaElab();

  // Loads the task rows; false with the message when there is nothing to run.
  bool CaricaTasks(std::string& messaggio);
  // Runs the active rows; true when every one of them ran without failure.
  bool EseguiTasks(std::string& messaggio);
  // EseguiTasks, its message dropped.
  bool EseguiTutto();

  TSQLDatabase& Database() const { return database_; }
  TVessentariaTasks& Tasks() const { return *tasks_; }

 private:
  std::unique_ptr<TConnessione> connessione_;
  TSQLDatabase& database_;
  std::unique_ptr<TVessentariaTasks> tasks_;
};
