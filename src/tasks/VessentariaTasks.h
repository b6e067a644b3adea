#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "taskbase/TaskInfo.h"

class TConnessione;
class TSQLStatement;
class TVessentariaTask;

// The rows of the task table VESSENTARIA in ascending ID, held by value, and the one row object
// that walks them. Owns the rows, the row object and the statement that read the table.
class TVessentariaTasks {
 public:
  explicit TVessentariaTasks(TConnessione& connessione);
  TVessentariaTasks(const TVessentariaTasks&) = delete;
  TVessentariaTasks& operator=(const TVessentariaTasks&) = delete;
  ~TVessentariaTasks();

  // Reads every row of VESSENTARIA, ordered by ID, in the pair's read transaction. Database
  // errors are raised. The statement stays open until the list is released.
  bool Carica();
  int Count() const { return static_cast<int>(righe_.size()); }
  // Points the row object at row i (0 to Count()-1; std::out_of_range otherwise) and returns it:
  // the same object on every call.
  TVessentariaTask& Items(int i);
  TVessentariaTask& Task() const { return *task_; }

 private:
  TConnessione& connessione_;
  std::vector<TVessentariaTaskInfo> righe_;
  std::unique_ptr<TVessentariaTask> task_;
  std::unique_ptr<TSQLStatement> comandoLettura_;
};

// Reads the rows of an executed task-table statement into `righe`, which starts with `conteggio`
// zeroed entries. Rows beyond the count are appended; entries that no row reached stay zeroed.
void LeggiRighe(TSQLStatement& comando, int32_t conteggio,
                std::vector<TVessentariaTaskInfo>& righe);
// One row of the task table: paths cut to 255 characters, type and status decoded.
void LeggiRiga(TSQLStatement& comando, TVessentariaTaskInfo& riga);
