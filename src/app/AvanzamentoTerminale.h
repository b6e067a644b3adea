#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "taskbase/Avanzamento.h"

// Shows a run to a person at a terminal: one line, rewritten in place at most a few times a
// second, with the task (which of how many), its step, the rows the step has copied, their rate
// and the task's time; then a line per task with its outcome and note, and at the end a summary.
// Nothing it prints carries control characters. Writes to `uscita`, which it does not own.
class TAvanzamentoTerminale : public TAvanzamento {
 public:
  // Seconds from any fixed moment, never going back.
  using TOrologio = std::function<double()>;

  explicit TAvanzamentoTerminale(std::FILE* uscita, TOrologio orologio = OrologioDiSistema());
  TAvanzamentoTerminale(const TAvanzamentoTerminale&) = delete;
  TAvanzamentoTerminale& operator=(const TAvanzamentoTerminale&) = delete;
  // Ends a line still being rewritten, so that whatever is written next starts on its own line.
  ~TAvanzamentoTerminale() override;

  void InizioTask(int32_t id) override;
  void InizioPasso(const std::string& titolo) override;
  void Righe(int64_t copiate) override;
  void FineTask(bool riuscito, const std::string& nota) override;

  // The active tasks the run is to go through, before the first starts.
  void SetTotale(int totale) { totale_ = totale; }
  // The closing line: tasks succeeded, failed and not run.
  void Riepilogo();

  static TOrologio OrologioDiSistema();

 private:
  void MostraRiga(const std::string& testo, bool finale);
  // "Task 3 (2 di 3)".
  std::string NomeTask() const;

  std::FILE* uscita_;
  TOrologio orologio_;
  int32_t id_ = 0;
  int totale_ = 0;
  int numero_ = 0;  // of the current task, from 1
  int riusciti_ = 0;
  int falliti_ = 0;
  std::string passo_;
  double inizioTask_ = 0;
  double inizioPasso_ = 0;
  double ultimaRiga_ = 0;
  size_t lunghezzaRiga_ = 0;  // of the line being rewritten; 0: none
};
