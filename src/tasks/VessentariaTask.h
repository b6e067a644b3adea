#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "taskbase/TaskInfo.h"

class TAvanzamento;
class TConnessione;
class TSQLStatement;
struct TColonnaTesto;
class TTask;

// The note of a task that ran without failure.
extern const char* const kNotaSuccesso;
// The note of a task that a run began and has not ended: the task's own note replaces it, so a
// row that keeps it belongs to a run that died or could not reach the company archive any more.
extern const char* const kNotaAvviata;
// `nota` as read back from a note column, without the blanks that a CHAR column pads it with (as
// many as its character set's bytes allow: four a character in UTF8).
std::string NotaSenzaRiempimento(const std::string& nota);
// Whether `nota`, read back from a note column described by `colonna` (none: a column without a
// length), is kNotaSuccesso as ScriviNote leaves it there: cut to the column's length, and
// padded with blanks by a CHAR column.
bool NotaDiSuccesso(const std::string& nota, const TColonnaTesto* colonna);

// The row object of the task list: one instance serves every row, standing on the row that the
// list's Items() points it at. Owns the task object of the current row and the prepared
// write-back statement; the connection pair is the driver's.
class TVessentariaTask {
 public:
  // Makes the task object for a row type; none when the type has no task.
  using TFabbricaTask = std::function<std::unique_ptr<TTask>(TTipoSincro)>;

  explicit TVessentariaTask(TConnessione& connessione);
  TVessentariaTask(const TVessentariaTask&) = delete;
  TVessentariaTask& operator=(const TVessentariaTask&) = delete;
  ~TVessentariaTask();

  // Writes kNotaAvviata into the current row, releases the previous row's task, checks the
  // current row, creates its task and opens the task's source and destination archives, then
  // tells the task's warnings on standard error. False: the message is the note, already written.
  // An exception that escapes still has the note written before it goes on. A kNotaAvviata that
  // the server refuses (the row locked elsewhere) does not stop the task; one that cannot be
  // written because the company archive is lost for good does (NotaNonScritta), and nothing of
  // the task is begun.
  bool PreparaTask(std::string& messaggio);
  // What VerificaTask tells besides its verdict once the task's archives are open: the way of
  // the rows (TTask::Via) and the warnings a run would give (TTask::Avvisi).
  struct TPrevisione {
    std::string Via;
    std::vector<std::string> Avvisi;
  };
  // What PreparaTask checks and opens, then the task's own checks before its first row would
  // move; writes nothing, neither note nor data. False: the message is the note a run would
  // write. An error that a run would let escape becomes the message.
  bool VerificaTask(std::string& messaggio, TPrevisione& previsione);
  // Runs the current row's task and writes the note: the success text or the failure text.
  // An exception that escapes the task has the note written before it goes on.
  bool EseguiTask(std::string& messaggio);
  // Writes ULTIMAESECUZIONE and NOTEULTIMAESECUZIONE of the current row in a write transaction
  // started anew and commits them at once. A note longer than a CHAR or VARCHAR note column is cut
  // to the column's length in characters, never inside a character. When the company archive's
  // connection is lost, the pair connects once more (TConnessione::Riconnetti) and the note is
  // written there. False when the server refuses the update (for example a row locked elsewhere:
  // no waiting), or when the connection is lost and not regained: then NotaNonScritta says why.
  // Other errors while restarting the write transaction or preparing the statement are raised.
  bool ScriviNote(const std::string& nota);
  // Why the current row's last note could not be written: the company archive's connection lost
  // and not regained, with the last error's text; empty when it was written or refused.
  const std::string& NotaNonScritta() const { return notaNonScritta_; }

  // The row the object stands on; raises std::logic_error when it stands on none.
  const TVessentariaTaskInfo& Info() const;
  void SetInfo(const TVessentariaTaskInfo* info) { info_ = info; }
  TTask* TaskCorrente() const { return taskCorrente_.get(); }
  // The maker of task objects; without one no row has a task ("Status non riconosciuto").
  void SetFabbricaTask(TFabbricaTask fabbrica) { fabbrica_ = std::move(fabbrica); }
  // Told when each task starts and ends, and handed to each task; not owned, may be none.
  void SetAvanzamento(TAvanzamento* avanzamento) { avanzamento_ = avanzamento; }

 private:
  // The checks of the current row, the creation of its task and the opening of its archives.
  bool ControllaEApri(const TVessentariaTaskInfo& riga, std::string& messaggio);
  // Writes the note on the way out of an exception; a failure to write must not replace the
  // exception that ended the task.
  void ScriviNotaDopoEccezione(std::string& messaggio, const char* testoEccezione) noexcept;
  // ScriviNote; `riavvia`: the write transaction starts anew first, which a new note needs only
  // after a refused one.
  bool Scrivi(const std::string& nota, bool riavvia);
  // One attempt of Scrivi on the connection as it is; a lost connection is raised.
  bool ScriviUnaVolta(const std::string& nota, bool riavvia);

  TConnessione& connessione_;
  const TVessentariaTaskInfo* info_ = nullptr;
  std::unique_ptr<TSQLStatement> comandoNote_;
  std::unique_ptr<TColonnaTesto> colonnaNote_;  // a CHAR or VARCHAR note column; none: no limit
  bool notaRifiutata_ = false;                  // the last note was refused: its update may linger
  std::string notaNonScritta_;
  std::unique_ptr<TTask> taskCorrente_;
  TFabbricaTask fabbrica_;
  TAvanzamento* avanzamento_ = nullptr;
};
