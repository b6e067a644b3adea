#pragma once

#include <memory>
#include <string>

class TSQLDatabase;
class TSQLTransaction;

// One database handle with its read transaction (read committed, record version) and its write
// transaction (concurrency, no wait). Each starts when first asked for while its handle is
// connected: across a slow link a start is a round trip, and a task uses few of the four. The
// handle is not owned and may be released before the pair. Releasing the pair rolls back a write
// transaction still active.
class TConnessione {
 public:
  explicit TConnessione(TSQLDatabase& database);
  TConnessione(const TConnessione&) = delete;
  TConnessione& operator=(const TConnessione&) = delete;
  ~TConnessione();

  TSQLDatabase& Database() const { return database_; }
  // After the connection was lost (a server stopped, restarted or gone): gives up the attachment,
  // with the two transactions' work and prepared statements, and connects the handle again under
  // the same database name, login and limits. A failed attempt is repeated until the handle's
  // connection limit has passed, so that a server that restarts is found again, unless the server
  // refused the login; without a limit one attempt is made. False with the last attempt's text
  // when no attempt connected. The transactions start again when next asked for.
  bool Riconnetti(std::string& motivo);
  TSQLTransaction& TransazioneLettura() const { return Avviata(*transazioneLettura_); }
  TSQLTransaction& TransazioneScrittura() const { return Avviata(*transazioneScrittura_); }

 private:
  static TSQLTransaction& Avviata(TSQLTransaction& transazione);

  TSQLDatabase& database_;
  std::unique_ptr<TSQLTransaction> transazioneLettura_;
  std::unique_ptr<TSQLTransaction> transazioneScrittura_;
};
