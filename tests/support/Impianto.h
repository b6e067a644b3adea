#pragma once

// An installation of the built program in a temporary folder, with USER.FDB, a company archive
// and order archives, and the means to run the program, kill it, and read what it left.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ArchiviOrdini.h"
#include "support/TestSupport.h"

// Runs an isql script against a database and returns what isql printed.
using TIsql = std::function<std::string(const std::string& database, const std::string& script)>;
// The embedded engine (RunIsql).
TIsql IsqlLocale();

struct TEsito {
  int stato = -1;  // exit status; 128 + signal when killed
  std::string out;
  std::string err;
  double secondi = 0;
};

// The program running in the background, its standard input empty (as under a scheduler).
class TProcesso {
 public:
  // With `utente` non-empty (and the test run as root) the program runs as that user.
  TProcesso(const std::string& cartella, const std::string& eseguibile,
            const std::string& utente = "", const std::vector<std::string>& argomenti = {});
  TProcesso(const TProcesso&) = delete;
  TProcesso& operator=(const TProcesso&) = delete;
  // Kills the program if it still runs.
  ~TProcesso();

  // True while it has not ended.
  bool InCorso();
  // True when the running program holds `file` open.
  bool HaAperto(const std::string& file);
  void Uccidi();
  // Waits at most `limite` for the end; the result's stato is -1 when it has not ended.
  TEsito Attendi(std::chrono::seconds limite);

 private:
  TempFolder uscite_;
  pid_t pid_ = -1;
  int stato_ = -1;
  std::chrono::steady_clock::time_point inizio_;
};

class TImpianto {
 public:
  TImpianto();

  const std::string& Installazione() const { return installazione_; }
  const std::string& Archivi() const { return archivi_; }
  const std::string& Ditta() const { return ditta_; }
  std::string Programma() const { return installazione_ + "vessentaria"; }
  std::string CartellaUtente() const { return installazione_ + "User/"; }
  std::string UserFdb() const { return CartellaUtente() + "USER.FDB"; }
  // Puts the company archive elsewhere (before CreaUtente).
  void SetDitta(const std::string& path) { ditta_ = path; }

  // The installation starts with the program alone: no User folder, no archive.
  // USER.FDB (its folder created) with the configuration user (code 7, company '01') and its
  // archive path; `extra` runs after (more rows, other values).
  void CreaUtente(const std::string& archivio, const std::string& extra = "");
  // USER.FDB (its folder created) made of `ddl` alone.
  void CreaUserFdb(const std::string& ddl);
  // The company archive with the task table of the installation (or `ddl`) and `righe`.
  void CreaDitta(const std::string& righe, const std::string& ddl = DdlDitta());
  // An order archive at `path` (folders created) with `righe` inserted.
  static void CreaOrdini(const std::string& path, const std::string& righe = "");

  // User/credenziali.ini holding `testo`, private to the user the program runs as (mode 0600);
  // the logins of the site, see LoginPerServer.
  void ScriviCredenziali(const std::string& testo) const;

  // Runs the program to its end (at most `limite`: a guard against a hang, not a figure; the
  // 42,000-row copies of the kill tests took close to two minutes on a loaded machine).
  TEsito Esegui(std::chrono::seconds limite = std::chrono::seconds(300)) const;
  TEsito Esegui(const std::vector<std::string>& argomenti,
                std::chrono::seconds limite = std::chrono::seconds(300)) const;
  TProcesso Avvia(const std::vector<std::string>& argomenti = {}) const;
  // From now on the program runs as the engine's own system user, for whom file permissions
  // count (they do not for root); the whole installation is handed over to that user.
  // False when the test does not run as root: the program then runs as the test's own user.
  bool EseguiComeUtenteDiSistema();

  // The task rows by ID.
  std::map<int, TRigaTask> LeggiTabella(const TIsql& isql = IsqlLocale()) const;

 private:
  TempFolder cartella_;
  std::string utente_;
  std::string installazione_;
  std::string archivi_;
  std::string ditta_;
};

// `testo` as an SQL string literal, its quotes doubled.
std::string Apici(const std::string& testo);

// A task row as an INSERT with an old run time and note; "NULL" stands for itself.
std::string RigaTask(int id, const std::string& origine, const std::string& destinazione,
                     const std::string& status = "1", const std::string& tipo = "VORNYUSA");
extern const char* const kNotaVecchia;
extern const char* const kSuccesso;
// The note of a task that a run began and has not ended.
extern const char* const kAvviata;

// Per table of the four order tables, its row count and a checksum of every column of every row
// in key order: "CLIENTI 12 9f3a...\nPS_ORDINI ...". Equal texts mean equal contents.
std::string Impronta(const std::string& archivio, const TIsql& isql = IsqlLocale());
// Row count of one table.
int ContaRighe(const std::string& archivio, const std::string& tabella,
               const TIsql& isql = IsqlLocale());

// Orders for a large copy, generated in the archive itself: `ordini` orders, all selected (half
// of user 61, half shipped to customers in the USA), two order rows and a session each, and
// `ordini` / 10 customers with their invoice holders.
std::string DatiMassivi(int ordini);

// dati.ini in `cartella` sending every archive of that folder to `server` under `alias`.
void ScriviDatiIni(const std::string& cartella, const std::string& server,
                   const std::string& alias);

class TSQLDatabase;
class TSQLTransaction;
class TSQLStatement;

// A connection of the test's own (embedded or through a server, as SYSDBA) with one snapshot
// transaction, no wait: what another user of the archive does while the program runs.
class TSessione {
 public:
  TSessione(const std::string& nomeDatabase, const std::string& password);
  TSessione(const TSessione&) = delete;
  TSessione& operator=(const TSessione&) = delete;
  ~TSessione();

  void Esegui(const std::string& sql);
  // The first column of the first row, as an integer; a new statement each call.
  int Valore(const std::string& select);
  void Rollback();

 private:
  void Esegui(TSQLStatement& statement, const std::string& sql);

  std::unique_ptr<TSQLDatabase> database_;
  std::unique_ptr<TSQLTransaction> transazione_;
};
