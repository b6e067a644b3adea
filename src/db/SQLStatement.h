#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "db/SQLVar.h"
#include "db/Strings.h"

class TSQLDatabase;
class TSQLTransaction;

enum class TTipoStatement : uint8_t {
  Sconosciuto,
  Select,
  Insert,
  Update,
  Delete,
  DDL,
  GetSegment,
  PutSegment,
  ExecProcedure,
  StartTransaction,
  Commit,
  Rollback,
  SelectForUpdate,
  SetGenerator
};

// One SQL statement with its input parameters and, for a SELECT, its forward cursor. The text is
// the SQL lines each followed by CR LF. Executing a SELECT fetches its first row at once.
// Releasing it closes the cursor, frees the server handle and unregisters it.
class TSQLStatement {
 public:
  TSQLStatement();
  TSQLStatement(const TSQLStatement&) = delete;
  TSQLStatement& operator=(const TSQLStatement&) = delete;
  ~TSQLStatement();

  TSQLDatabase* Database() const { return database_; }
  void SetDatabase(TSQLDatabase* database);
  TSQLTransaction* Transaction() const { return transaction_; }
  void SetTransaction(TSQLTransaction* transaction);
  TStrings& SQL() { return sql_; }
  const TStrings& SQL() const { return sql_; }
  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool value);
  // The dialect the statement is prepared in; 0 (the default): the database's. A query that
  // reads the database's dialect need not wait for it.
  void SetPrepareDialect(int dialect) { prepareDialect_ = dialect; }
  bool GoToFirstRecordOnExecute() const { return goToFirst_; }
  void SetGoToFirstRecordOnExecute(bool value) { goToFirst_ = value; }

  void Prepare();
  void Execute();
  // Execute without the second attempt that a failed procedure call gets: the failure reaches the
  // caller as the server gave it (a block of rows refused as a whole must not run twice).
  void ExecuteOnce();
  void Next();
  // From here on the open cursor's rows are fetched ahead on a thread of their own, at most
  // `righe` rows and about `byte` bytes of values ahead of Next, which takes them in order: rows,
  // Eof and a failed fetch (raised by the Next that reaches its row) read as without it. Nothing
  // changes where the system gives the program one processor. Closing the cursor, the end of its
  // transaction and the release of the statement stop the thread first.
  void LeggiInAnticipo(int righe, size_t byte);
  void Close();
  bool Prepared() const;
  bool Open() const { return open_; }
  bool Eof() const { return eof_ || !open_; }
  int RowCount() const { return rowCount_; }
  TTipoStatement StatementType() const { return tipo_; }

  int FieldCount() const;
  TSQLVar& Fields(int index);
  TSQLVar& FieldByName(const std::string& name);
  int ParamCount();
  TSQLVar& Params(int index);
  TSQLVar& ParamByName(const std::string& name);

  // The end of a transaction or a disconnect reach the statement through these.
  void CloseCursor() noexcept;
  void Unprepare() noexcept;
  void ForgetDatabase() noexcept;
  void ForgetTransaction() noexcept;

 private:
  friend class TSQLVar;
  struct Impl;

  void VerificaTransazione() const;
  void Esegui(bool riprova);
  void CostruisciParametri(const std::vector<std::string>& nomi);
  void CostruisciCampi(const std::vector<std::string>& nomi);
  void Fetch();
  void LiberaHandle() noexcept;
  // The dialect names and values follow: the database's while assigned, else the prepared one.
  int Dialetto() const;

  TSQLDatabase* database_ = nullptr;
  TSQLTransaction* transaction_ = nullptr;
  TStrings sql_;
  bool paramCheck_ = true;
  bool goToFirst_ = true;
  int prepareDialect_ = 0;
  bool open_ = false;
  bool eof_ = false;
  int rowCount_ = 0;
  TTipoStatement tipo_ = TTipoStatement::Sconosciuto;
  std::unique_ptr<Impl> impl_;  // handle, descriptor areas, buffers: private to the access layer
};
