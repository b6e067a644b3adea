#pragma once

#include <memory>

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
  TSQLTransaction& TransazioneLettura() const { return Avviata(*transazioneLettura_); }
  TSQLTransaction& TransazioneScrittura() const { return Avviata(*transazioneScrittura_); }

 private:
  static TSQLTransaction& Avviata(TSQLTransaction& transazione);

  TSQLDatabase& database_;
  std::unique_ptr<TSQLTransaction> transazioneLettura_;
  std::unique_ptr<TSQLTransaction> transazioneScrittura_;
};
