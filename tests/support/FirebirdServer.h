#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

// Prepares `radice` to be FIREBIRD for the client library or a private server: links to the
// installed engine, a copy of its character-set module (loaded through a link it knows none but
// the built-in sets) and its plugin and trace settings; firebird.conf is the caller's. Raises
// nothing: a root that could not be made fails at its first use.
void PreparaRadiceFirebird(const std::string& radice);

// A private Firebird server for one test: its own root folder, security database, lock folder
// and a free port on 127.0.0.1. Started by the constructor (which throws std::runtime_error when
// the server does not come up) and always stopped by the destructor: SIGTERM, then SIGKILL when
// it has not ended within a few seconds. The server also dies with the test process.
class FirebirdServer {
 public:
  // SYSDBA gets `password`; each alias (name, database path) goes into the server's
  // databases.conf. With `comeUtenteDiSistema`, when the test runs as root, the server runs as
  // the engine's system user, as an installed one does, for whom file permissions count.
  explicit FirebirdServer(const std::string& password = "tawnyquip",
                          const std::vector<std::pair<std::string, std::string>>& aliases = {},
                          bool comeUtenteDiSistema = false);
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;
  ~FirebirdServer();

  int Port() const { return port_; }
  // The server part of a database name: "localhost/<port>".
  std::string Nome() const { return "localhost/" + std::to_string(port_); }
  // A folder of the server's own for its databases, with a trailing '/'.
  std::string DataFolder() const { return root_ / "data/"; }
  // Runs an isql-fb script through the server as SYSDBA (the database may be empty when the
  // script connects itself); throws std::runtime_error when isql reports an error.
  std::string Isql(const std::string& database, const std::string& script) const;
  // Shuts `database` down at once (full shutdown, every attachment forced off) through the server
  // as SYSDBA; throws std::runtime_error when gfix reports an error.
  void Spegni(const std::string& database) const;
  bool Running() const { return pid_ > 0; }
  // Stops the server now (also done by the destructor), resuming it first if it was suspended.
  void Stop() noexcept;
  // Freezes the server (SIGSTOP): its port still accepts connections, nothing answers.
  void Sospendi();
  void Riprendi() noexcept;
  // Kills the server (SIGKILL) as a crash would.
  void Uccidi() noexcept;
  // Ends the server at once, every connection cut (a SIGTERM lets it finish work in progress for
  // seconds, which would race the test), then starts it again on the same port and files (throws
  // as the constructor).
  void Riavvia();

 private:
  // Starts the server process and waits until its port accepts connections.
  void AvviaProcesso();

  TempFolder root_;
  std::string password_;
  int port_ = 0;
  pid_t pid_ = -1;
  uid_t uid_ = 0;  // the account the server runs as; 0: the test's own
  gid_t gid_ = 0;
};
