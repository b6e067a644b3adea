#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// What a failed connection met on its way to a server, as the client library's codes tell it.
enum class TGuastoRete {
  Nessuno,          // not a network error
  HostSconosciuto,  // the host's name does not resolve
  // No connection: refused (at once), or given up by the system after its retries; the client
  // names no system error, so only the time it took tells the two apart.
  NonStabilita,
  // Connected, but no server's answer: something other than Firebird answered or closed, or
  // nothing answered within the connection limit; again only the time tells them apart.
  Respinta,
  Altro,  // any other network error: a connection lost, a read or a write that failed
};

// The one exception kind of the access layer. what() is exactly the text that the system stores
// as a task note or shows, so it must never be decorated. The layer's own errors carry a layer
// code (server errors carry 0); server errors carry the SQL code and the first engine code.
class ESQLError : public std::runtime_error {
 public:
  explicit ESQLError(const std::string& message, int codice = 0, long sqlCode = 0, long iscCode = 0,
                     std::vector<long> codici = {})
      : std::runtime_error(message),
        codice_(codice),
        sqlCode_(sqlCode),
        iscCode_(iscCode),
        codici_(std::move(codici)) {}

  int Codice() const noexcept { return codice_; }
  long SQLCode() const noexcept { return sqlCode_; }
  long ISCCode() const noexcept { return iscCode_; }
  // The client could not talk to the server: refused, unreachable, no answer or no completed login
  // within the connection limit, a connection lost, or an attachment closed by the watchdog of
  // requests.
  bool ErroreDiRete() const noexcept;
  // The server's own connection to another database that it asked for the statement (EXECUTE
  // STATEMENT ... ON EXTERNAL) was not made or was lost: attaching, starting, committing or
  // rolling back there failed, or the connection went under a statement. This client's own
  // connection may be fine.
  bool ConnessioneEsternaPersa() const noexcept;
  // No right on an object, here or in the database that the server asked for the statement.
  bool PermessoNegato() const noexcept;
  // What a network error met on the way to the server; Nessuno for any other error.
  TGuastoRete GuastoRete() const noexcept;
  // The server refused the login: an unknown user or a wrong password.
  bool LoginRifiutato() const noexcept;
  // A refusal that the site's servers or grants make, not a fault of the program: the network
  // (ErroreDiRete, ConnessioneEsternaPersa) or a missing right on an object. A task meeting one
  // fails with its note; the run goes on as after any failed task.
  bool ErroreDelSito() const noexcept {
    return ErroreDiRete() || ConnessioneEsternaPersa() || PermessoNegato();
  }
  // Name used in the report of an error that nothing caught.
  virtual const char* ClassName() const noexcept { return "ESQLError"; }

 private:
  int codice_;
  long sqlCode_;
  long iscCode_;
  // Every engine code of a server's error in the order of its text (the first is iscCode_); where
  // the server wraps the error of another database that it asked for the statement (EXECUTE
  // STATEMENT ... ON EXTERNAL), that error's codes follow the wrapping one.
  std::vector<long> codici_;

  bool Contiene(std::initializer_list<long> cercati) const noexcept;
  // The engine code that follows the first one, 0 when none does: a network error's cause.
  long Dettaglio() const noexcept { return codici_.size() > 1 ? codici_[1] : 0; }
};

// SQL code -551 (no permission on an object) is raised as its own kind so that a caller can tell
// a refused grant apart from other server errors; the text is the server's as for any error.
class ESQLNoPermission : public ESQLError {
 public:
  using ESQLError::ESQLError;
  const char* ClassName() const noexcept override { return "ESQLNoPermission"; }
};
