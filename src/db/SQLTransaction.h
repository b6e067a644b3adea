#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/Strings.h"

class TSQLDatabase;
class TSQLStatement;

enum class TAzioneTransazione { Commit, Rollback };

// The transaction parameter block built from Params lines "isc_tpb_" + option name: empty for no
// lines, else version byte 3 and one item per non-blank line. Raises
// "TPB Constant (isc_tpb_%s) is unsupported" / "TPB Constant (%s) is unknown".
std::string CostruisciTPB(const TStrings& params);

// One transaction on one database. Nothing starts it implicitly. Releasing it while active ends
// it by DefaultAction (commit), forced: a failed commit is followed by a rollback, nothing raised.
class TSQLTransaction {
 public:
  TSQLTransaction();
  TSQLTransaction(const TSQLTransaction&) = delete;
  TSQLTransaction& operator=(const TSQLTransaction&) = delete;
  ~TSQLTransaction();

  TSQLDatabase* DefaultDatabase() const { return database_; }
  void SetDefaultDatabase(TSQLDatabase* database);
  // Lines "isc_tpb_" + option name; editable only while inactive.
  TStrings& Params() { return params_; }
  const TStrings& Params() const { return params_; }
  TAzioneTransazione DefaultAction() const { return defaultAction_; }
  void SetDefaultAction(TAzioneTransazione value) { defaultAction_ = value; }

  void StartTransaction();
  void Commit();
  void Rollback();
  void CommitRetaining();
  void RollbackRetaining();
  bool Active() const { return InTransaction(); }
  void SetActive(bool value);
  bool InTransaction() const { return handle_ != 0; }
  // Runs `sql`, a statement without parameters or results, in this active transaction in one
  // request: nothing is prepared ahead or kept.
  void EseguiImmediato(const std::string& sql);
  // The value of `sql`, a SELECT of one row and one column, as text of at most `massimo` bytes
  // (empty when NULL), prepared in `dialetto`: the server prepares, runs and fetches it in one
  // request. A longer value raises the server's truncation error.
  std::string LeggiImmediato(const std::string& sql, int massimo, int dialetto);

  // Ends an active transaction by DefaultAction, forced (release, disconnect of its database).
  void EndForced() noexcept;
  // The database is going away: forget it without talking to the server.
  void ForgetDatabase() noexcept;

  // Registration of the statements that run on this transaction.
  void RegisterStatement(TSQLStatement* statement);
  void UnregisterStatement(TSQLStatement* statement);

  // The transaction handle for the rest of the access layer (isc_tr_handle); 0 when inactive.
  unsigned int Handle() const { return handle_; }
  unsigned int* HandlePtr() { return &handle_; }

 private:
  void End(TAzioneTransazione action, bool forced);

  TSQLDatabase* database_ = nullptr;
  TStrings params_;
  bool paramsChanged_ = true;
  std::string tpb_;
  TAzioneTransazione defaultAction_ = TAzioneTransazione::Commit;
  unsigned int handle_ = 0;
  std::vector<TSQLStatement*> statements_;
};

// Transaction options, bit n for option n (1 consistency ... 20 no_auto_undo); the ones the
// program uses by name.
using TOpzioniTransazione = uint32_t;
constexpr TOpzioniTransazione kTpbConcurrency = 1u << 2;
constexpr TOpzioniTransazione kTpbNowait = 1u << 7;
constexpr TOpzioniTransazione kTpbRead = 1u << 8;
constexpr TOpzioniTransazione kTpbReadCommitted = 1u << 15;
constexpr TOpzioniTransazione kTpbRecVersion = 1u << 17;

// Stops the transaction (an active one is rolled back) and rewrites its Params from the options.
void ImpostaParametriTransazione(TSQLTransaction& transaction, TOpzioniTransazione opzioni);
// A new transaction on `database` with the options, not yet started; the caller owns it.
std::unique_ptr<TSQLTransaction> NuovaTransazione(TSQLDatabase& database,
                                                  TOpzioniTransazione opzioni);
// The same, started: the database must be connected.
std::unique_ptr<TSQLTransaction> CreaTransazione(TSQLDatabase& database,
                                                 TOpzioniTransazione opzioni);
// concurrency + nowait
std::unique_ptr<TSQLTransaction> CreaTransazioneSnapshot(TSQLDatabase& database);
// read_committed + rec_version
std::unique_ptr<TSQLTransaction> CreaTransazioneReadCommitted(TSQLDatabase& database);
