#pragma once

#include <stdexcept>
#include <string>

// The one exception kind of the access layer. what() is exactly the text that the system stores
// as a task note or shows, so it must never be decorated. The layer's own errors carry a layer
// code (server errors carry 0); server errors carry the SQL code and the first engine code.
class ESQLError : public std::runtime_error {
 public:
  explicit ESQLError(const std::string& message, int codice = 0, long sqlCode = 0, long iscCode = 0)
      : std::runtime_error(message), codice_(codice), sqlCode_(sqlCode), iscCode_(iscCode) {}

  int Codice() const noexcept { return codice_; }
  long SQLCode() const noexcept { return sqlCode_; }
  long ISCCode() const noexcept { return iscCode_; }
  // The client could not talk to the server: refused, unreachable, no answer or no completed login
  // within the connection limit, a connection lost, or an attachment closed by the watchdog of
  // requests.
  bool ErroreDiRete() const noexcept;
  // The server refused the login: an unknown user or a wrong password.
  bool LoginRifiutato() const noexcept;
  // A refusal that the site's servers or grants make, not a fault of the program: the network
  // (ErroreDiRete) or a missing right on an object. A task meeting one fails with its note; the
  // run goes on as after any failed task.
  bool ErroreDelSito() const noexcept { return ErroreDiRete() || sqlCode_ == -551; }
  // Name used in the report of an error that nothing caught.
  virtual const char* ClassName() const noexcept { return "ESQLError"; }

 private:
  int codice_;
  long sqlCode_;
  long iscCode_;
};

// SQL code -551 (no permission on an object) is raised as its own kind so that a caller can tell
// a refused grant apart from other server errors; the text is the server's as for any error.
class ESQLNoPermission : public ESQLError {
 public:
  using ESQLError::ESQLError;
  const char* ClassName() const noexcept override { return "ESQLNoPermission"; }
};
