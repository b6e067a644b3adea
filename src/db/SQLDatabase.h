#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/Strings.h"

class TSQLTransaction;
class TSQLStatement;
class TSorvegliante;

// The connection parameter block built from Params lines name=value (user_name, password,
// lc_ctype, sql_role_name): version byte, then item, length byte, value per line. Raises
// "DPB Constant (isc_dpb_%s) is unsupported" / "DPB Constant (%s) is unknown".
std::string CostruisciDPB(const TStrings& params);
// The value of the line `nome`=value of connection lines `params` as they were written; false
// when there is none.
bool ValoreParametro(const TStrings& params, const std::string& nome, std::string& valore);

// Threads of the access layer's own that may be inside the client library with nobody waiting for
// them: a login given up on after its limit, or one still running under a watchdog's look, and a
// look at the server that outlives its watchdog. The client library's shutdown at the process's
// exit waits for their calls, for ever where the server froze: a process that has any must end
// without it.
int ChiamateInSospeso() noexcept;

// One attachment to one Firebird database. Not copyable. Releasing a connected database
// disconnects it, forced: its active transactions end by their default action, its statements
// are closed and unprepared, errors are ignored. Transactions and statements that outlive it are
// left without a database.
class TSQLDatabase {
 public:
  TSQLDatabase();
  TSQLDatabase(const TSQLDatabase&) = delete;
  TSQLDatabase& operator=(const TSQLDatabase&) = delete;
  ~TSQLDatabase();

  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& name);
  // Lines name=value for connecting (user_name, password), free clauses for CreateDatabase.
  // Editable only while not connected.
  TStrings& Params() { return params_; }
  const TStrings& Params() const { return params_; }
  bool LoginPrompt() const { return loginPrompt_; }
  void SetLoginPrompt(bool value) { loginPrompt_ = value; }
  int SQLDialect() {
    Informa();
    return sqlDialect_;
  }
  void SetSQLDialect(int value);
  // Seconds that a connection attempt waits for the server's first answer (the DPB item
  // connect_timeout), and, one second more, for the whole login (a creation's included): past
  // that the attempt fails with "The server did not complete the login within N s", a network
  // error. 0 leaves the client library's own waits. Editable only while not connected.
  int ConnectTimeout() const { return connectTimeout_; }
  void SetConnectTimeout(int seconds);
  // Seconds that one request on an attachment through a server may wait for an answer before
  // the attachment's watchdog closes it, failing the request with the client's network error;
  // 0 (or more than 4000000, some 46 days): no limit. Attachments of the embedded engine are
  // not watched. Editable only while not connected.
  int ResponseTimeout() const { return responseTimeout_; }
  void SetResponseTimeout(int seconds);

  bool Connected() const;
  void SetConnected(bool value);
  // Disconnects as a release does, forced: for an attachment whose connection is lost, where
  // every request, the detach included, fails. Name, parameters and limits stay for a new
  // SetConnected(true).
  void DisconnectForced() noexcept;
  // CREATE DATABASE 'name' followed by the Params lines; connected to the new database after.
  void CreateDatabase();

  // Registration, kept by the transactions and statements themselves.
  void RegisterTransaction(TSQLTransaction* transaction);
  void UnregisterTransaction(TSQLTransaction* transaction);
  void RegisterStatement(TSQLStatement* statement);
  void UnregisterStatement(TSQLStatement* statement);

  // The attachment handle for the rest of the access layer (isc_db_handle); 0 when not attached.
  unsigned int Handle() const { return handle_; }
  unsigned int* HandlePtr() { return &handle_; }
  // The database's own SQL dialect (1 when the server does not say).
  int DatabaseDialect() {
    Informa();
    return dbDialect_;
  }
  // True when a server serves the attachment (a request crosses a network or another process),
  // false on the embedded engine.
  bool Remota() {
    Informa();
    return remota_;
  }
  // The dialect and the way to the database are asked at their first use, unless a query that
  // runs anyway told them first (`protocollo`: the attachment's network protocol, empty on the
  // embedded engine): across a slow link that spares a round trip.
  void SetInformazioni(int dialetto, const std::string& protocollo);
  // While `marca` is not empty, a request that passes the response limit is given another limit
  // for as long as the server shows that the statements of this database whose text holds `marca`
  // read or write records (looked at once per limit through an attachment of the watchdog's own);
  // empty: cut at the limit. Nothing on an attachment that is not watched. The caller makes the
  // mark unique to its statement.
  void SetLavoroSorvegliato(const std::string& marca);
  // The watchdog of the attachment's requests, or none.
  TSorvegliante* Sorvegliante() const { return sorvegliante_.get(); }
  // Taken around every call on the attachment: the client library serves one attachment to one
  // thread at a time, and a cursor may be read ahead on a thread of its own.
  std::mutex& Turno() const { return turno_; }

 private:
  void Disconnect(bool forced);
  // Takes a new attachment: watched when a response limit is set, until it turns out embedded;
  // detached again on a failure.
  void Attaccato(unsigned int handle);
  void Informa() {
    if (!informato_ && Connected()) ChiediInformazioni();
  }
  void ChiediInformazioni();
  // Records what the attachment is: its dialect caps the statements', and an attachment of the
  // embedded engine is not watched.
  void Informato(int dialetto, bool remota);

  std::string databaseName_;
  TStrings params_;
  bool paramsChanged_ = true;
  std::string dpb_;
  bool loginPrompt_ = true;
  int sqlDialect_ = 3;
  int dbDialect_ = 3;
  int connectTimeout_ = 0;
  int responseTimeout_ = 0;
  std::string lavoroSorvegliato_;
  unsigned int handle_ = 0;
  bool informato_ = false;
  bool remota_ = false;
  mutable std::mutex turno_;
  std::unique_ptr<TSorvegliante> sorvegliante_;
  std::vector<TSQLTransaction*> transactions_;
  std::vector<TSQLStatement*> statements_;
};
