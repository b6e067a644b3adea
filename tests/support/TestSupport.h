#pragma once

#include <map>
#include <memory>
#include <string>

#include "db/SQLDatabase.h"

// A private folder under the system temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  // The folder path with a trailing '/'.
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Runs an isql-fb script against `database` on the embedded engine (as SYSDBA) and returns what
// isql printed. Fails the calling test (throws std::runtime_error) when isql reports an error.
// The script's statements end with ';'. `database` may be empty when the script connects or
// creates itself.
std::string RunIsql(const std::string& database, const std::string& script);

// Creates a database at `path` (page size 4096, dialect 3 unless told) and runs `ddl` in it.
void CreaDatabaseDiProva(const std::string& path, const std::string& ddl = "", int dialetto = 3);

// The result of a query as isql prints it (list mode, one "NAME value" a line), for comparing
// both sides of a copy independently of the access layer.
std::string QueryIsql(const std::string& database, const std::string& select);

// A SELECT of `colonne` over the numbers I = 1 to n, one row each: a table is filled with
// "INSERT INTO T " + RigheNumerate(n, "I, ...").
std::string RigheNumerate(int n, const std::string& colonne);

// Runs a command line through the shell; returns its exit status, fills stdout and stderr.
int RunCommand(const std::string& commandLine, std::string* out = nullptr,
               std::string* err = nullptr, const std::string& stdinText = "");

// A handle connected to `nome` (a path on the embedded engine, or server:path) as SYSDBA.
std::unique_ptr<TSQLDatabase> ConnettiArchivio(const std::string& nome,
                                               const std::string& password = "masterkey");

// The whole content of a file (empty when it cannot be read), and of a script of the project's
// sql/ folder (raises when it cannot be read).
std::string LeggiFile(const std::string& path);
// Replaces the file's content with `testo`, byte for byte.
void ScriviFile(const std::string& path, const std::string& testo);
std::string FileSql(const std::string& nome);

// While it lives, this process acts as the engine's system user (its effective user id) when the
// test runs as root, for whom file permissions do not count; otherwise it changes nothing.
class TComeUtenteDiSistema {
 public:
  TComeUtenteDiSistema();
  TComeUtenteDiSistema(const TComeUtenteDiSistema&) = delete;
  TComeUtenteDiSistema& operator=(const TComeUtenteDiSistema&) = delete;
  ~TComeUtenteDiSistema();

 private:
  bool cambiato_ = false;
};

// Path of the built program.
std::string ProgramPath();

// One row of the task table as the tests read it back: the note with its CR characters and the
// last run as isql prints it (empty when never run).
struct TRigaTask {
  std::string nota;
  std::string ultima;
  bool operator==(const TRigaTask&) const = default;
};

// The isql script that lists the task table, and the reading of what isql printed for it.
std::string QueryRigheTask();
std::map<int, TRigaTask> LeggiRigheTask(const std::string& uscitaIsql);
