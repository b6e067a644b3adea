#include "db/SQLTransaction.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLInternal.h"
#include "db/SQLStatement.h"

namespace {

// Option n of the transaction parameter block is kNomiTPB[n - 1].
constexpr const char* kNomiTPB[] = {
    "consistency", "concurrency",    "shared",           "protected",
    "exclusive",   "wait",           "nowait",           "read",
    "write",       "lock_read",      "lock_write",       "verb_time",
    "commit_time", "ignore_limbo",   "read_committed",   "autocommit",
    "rec_version", "no_rec_version", "restart_requests", "no_auto_undo"};
constexpr int kNumeroOpzioni = 20;

}  // namespace

std::string CostruisciTPB(const TStrings& params) {
  std::string tpb;
  if (params.Count() == 0) return tpb;
  tpb += static_cast<char>(isc_tpb_version3);
  for (const std::string& riga : params.Lines()) {
    if (Rifila(riga).empty()) continue;
    size_t uguale = riga.find('=');
    std::string scritto = Rifila(riga.substr(0, uguale));
    for (char& c : scritto) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string nome = scritto;
    if (nome.rfind("isc_tpb_", 0) == 0) nome.erase(0, 8);
    int numero = 0;
    for (int i = 0; i < kNumeroOpzioni; ++i)
      if (nome == kNomiTPB[i]) numero = i + 1;
    if (numero == 0) ErroreSQL(ceTPBSconosciuto, "TPB Constant (" + scritto + ") is unknown");
    if (numero == isc_tpb_lock_read || numero == isc_tpb_lock_write) {
      std::string tabella = uguale == std::string::npos ? "" : riga.substr(uguale + 1);
      if (tabella.size() > 255)
        ErroreSQL(ceTPBNonSupportato, "TPB Constant (isc_tpb_" + nome + ") is unsupported");
      tpb += static_cast<char>(numero);
      tpb += static_cast<char>(tabella.size());
      tpb += tabella;
    } else if (numero <= 9 || numero == 14 || numero == 15 || numero == 17 || numero == 18) {
      tpb += static_cast<char>(numero);
    } else {
      ErroreSQL(ceTPBNonSupportato, "TPB Constant (isc_tpb_" + nome + ") is unsupported");
    }
  }
  return tpb;
}

TSQLTransaction::TSQLTransaction() {
  CaricaLibreriaClient();
  params_.SetGuards(
      [this] {
        if (InTransaction()) ErroreSQL(ceTransazioneAttiva, "Transaction is active");
      },
      [this] { paramsChanged_ = true; });
}

TSQLTransaction::~TSQLTransaction() {
  EndForced();
  for (TSQLStatement* s : std::vector<TSQLStatement*>(statements_)) s->ForgetTransaction();
  if (database_) database_->UnregisterTransaction(this);
}

void TSQLTransaction::SetDefaultDatabase(TSQLDatabase* database) {
  if (database == database_) return;
  if (database_) database_->UnregisterTransaction(this);
  database_ = database;
  if (database_) database_->RegisterTransaction(this);
}

void TSQLTransaction::StartTransaction() {
  if (InTransaction()) ErroreSQL(ceTransazioneAttiva, "Transaction is active");
  if (!database_) ErroreSQL(ceNessunDatabase, "No databases are listed in transaction component");
  if (!database_->Connected())
    ErroreSQL(ceDBNonAperto, "Cannot perform operation -- DB is not open");
  if (paramsChanged_) {
    tpb_ = CostruisciTPB(params_);
    paramsChanged_ = false;
  }
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = 0;
  if (Sorvegliata(database_, [&] {
        return isc_start_transaction(status, &handle, 1, database_->HandlePtr(),
                                     static_cast<unsigned short>(tpb_.size()),
                                     tpb_.empty() ? nullptr : tpb_.data());
      }))
    ErroreServer(status);
  handle_ = handle;
}

void TSQLTransaction::Commit() {
  End(TAzioneTransazione::Commit, false);
}

void TSQLTransaction::Rollback() {
  End(TAzioneTransazione::Rollback, false);
}

void TSQLTransaction::CommitRetaining() {
  if (!InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  ISC_STATUS_ARRAY status{};
  if (Sorvegliata(database_, [&] { return isc_commit_retaining(status, &handle_); }))
    ErroreServer(status);
}

void TSQLTransaction::RollbackRetaining() {
  if (!InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  ISC_STATUS_ARRAY status{};
  if (Sorvegliata(database_, [&] { return isc_rollback_retaining(status, &handle_); }))
    ErroreServer(status);
}

void TSQLTransaction::SetActive(bool value) {
  if (value == InTransaction()) return;
  if (value)
    StartTransaction();
  else
    Rollback();
}

void TSQLTransaction::EndForced() noexcept {
  if (!InTransaction()) return;
  try {
    End(defaultAction_, true);
  } catch (...) {
  }
  handle_ = 0;
}

void TSQLTransaction::ForgetDatabase() noexcept {
  // The database ends its transactions before it goes; a handle left here would be dangling.
  handle_ = 0;
  database_ = nullptr;
}

void TSQLTransaction::End(TAzioneTransazione action, bool forced) {
  if (!InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  for (TSQLStatement* s : std::vector<TSQLStatement*>(statements_)) s->CloseCursor();
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = handle_;
  if (action == TAzioneTransazione::Commit) {
    if (Sorvegliata(database_, [&] { return isc_commit_transaction(status, &handle); }) == 0) {
      handle_ = 0;
      return;
    }
    if (!forced) ErroreServer(status);
    // A commit that failed in a forced end leaves the work undone rather than the transaction
    // open: roll back, and give up the handle whatever the server says.
    ISC_STATUS_ARRAY status2{};
    handle = handle_;
    Sorvegliata(database_, [&] { return isc_rollback_transaction(status2, &handle); });
    handle_ = 0;
    return;
  }
  if (Sorvegliata(database_, [&] { return isc_rollback_transaction(status, &handle); })) {
    if (!forced) ErroreServer(status);
  }
  handle_ = 0;
}

void TSQLTransaction::EseguiImmediato(const std::string& sql) {
  if (!InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  // Asked before the request: a first use asks the server itself.
  const auto dialetto = static_cast<unsigned short>(database_->SQLDialect());
  ISC_STATUS_ARRAY status{};
  if (Sorvegliata(database_, [&] {
        return isc_dsql_execute_immediate(status, database_->HandlePtr(), &handle_, 0, sql.c_str(),
                                          dialetto, nullptr);
      }))
    ErroreServer(status);
}

std::string TSQLTransaction::LeggiImmediato(const std::string& sql, int massimo, int dialetto) {
  if (!InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  if (massimo < 1 || massimo > 32765) throw std::logic_error("LeggiImmediato: bad length");
  PXSQLDA out = NuovoXSQLDA(1);
  out->sqld = 1;
  XSQLVAR& v = out->sqlvar[0];
  std::vector<char> dati(static_cast<size_t>(massimo) + 2);
  short indicatore = 0;
  v.sqltype = SQL_VARYING | 1;
  v.sqlsubtype = 1;  // OCTETS: the bytes as the server has them
  v.sqllen = static_cast<ISC_SHORT>(massimo);
  v.sqldata = dati.data();
  v.sqlind = &indicatore;
  ISC_STATUS_ARRAY status{};
  if (Sorvegliata(database_, [&] {
        return isc_dsql_exec_immed2(status, database_->HandlePtr(), &handle_, 0, sql.c_str(),
                                    static_cast<unsigned short>(dialetto), nullptr, out.get());
      }))
    ErroreServer(status);
  if (indicatore < 0) return {};
  return std::string(dati.data() + 2, LunghezzaVarying(v));
}

void TSQLTransaction::RegisterStatement(TSQLStatement* statement) {
  if (std::find(statements_.begin(), statements_.end(), statement) == statements_.end())
    statements_.push_back(statement);
}

void TSQLTransaction::UnregisterStatement(TSQLStatement* statement) {
  std::erase(statements_, statement);
}

void ImpostaParametriTransazione(TSQLTransaction& transaction, TOpzioniTransazione opzioni) {
  transaction.SetActive(false);
  transaction.Params().Clear();
  for (int n = 1; n <= kNumeroOpzioni; ++n)
    if (opzioni & (TOpzioniTransazione{1} << n))
      transaction.Params().Add(std::string("isc_tpb_") + kNomiTPB[n - 1]);
}

std::unique_ptr<TSQLTransaction> NuovaTransazione(TSQLDatabase& database,
                                                  TOpzioniTransazione opzioni) {
  auto transazione = std::make_unique<TSQLTransaction>();
  transazione->SetDefaultDatabase(&database);
  ImpostaParametriTransazione(*transazione, opzioni);
  return transazione;
}

std::unique_ptr<TSQLTransaction> CreaTransazione(TSQLDatabase& database,
                                                 TOpzioniTransazione opzioni) {
  auto transazione = NuovaTransazione(database, opzioni);
  transazione->SetActive(true);
  return transazione;
}

std::unique_ptr<TSQLTransaction> CreaTransazioneSnapshot(TSQLDatabase& database) {
  return CreaTransazione(database, kTpbConcurrency | kTpbNowait);
}

std::unique_ptr<TSQLTransaction> CreaTransazioneReadCommitted(TSQLDatabase& database) {
  return CreaTransazione(database, kTpbReadCommitted | kTpbRecVersion);
}
