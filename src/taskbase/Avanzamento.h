#pragma once

#include <cstdint>
#include <string>

// Told how a run goes while it goes, for a person watching: which task starts, which step of it
// runs, how many rows the step has copied so far, and how each task ended. Calls come from the
// run's one thread; none of them may raise or change what the run does.
class TAvanzamento {
 public:
  virtual ~TAvanzamento() = default;
  virtual void InizioTask(int32_t id) = 0;
  virtual void InizioPasso(const std::string& titolo) = 0;
  // Rows written so far by the current step; called every few hundred rows and at its end.
  virtual void Righe(int64_t copiate) = 0;
  // The task's outcome and the note written into its row.
  virtual void FineTask(bool riuscito, const std::string& nota) = 0;
};
