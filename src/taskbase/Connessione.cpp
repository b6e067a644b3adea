#include "taskbase/Connessione.h"

#include <chrono>
#include <exception>
#include <thread>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLTransaction.h"

TConnessione::TConnessione(TSQLDatabase& database)
    : database_(database),
      transazioneLettura_(NuovaTransazione(database, kTpbReadCommitted | kTpbRecVersion)),
      transazioneScrittura_(NuovaTransazione(database, kTpbConcurrency | kTpbNowait)) {}

TSQLTransaction& TConnessione::Avviata(TSQLTransaction& transazione) {
  // After the handle went, the transaction forgot it: there is nothing to start on.
  if (!transazione.InTransaction() && transazione.DefaultDatabase() &&
      transazione.DefaultDatabase()->Connected())
    transazione.StartTransaction();
  return transazione;
}

TConnessione::~TConnessione() {
  // When the handle was released first, its transactions have already been ended and detached,
  // so nothing is left to roll back here.
  try {
    if (transazioneScrittura_->InTransaction()) transazioneScrittura_->Rollback();
  } catch (...) {
    // A release never raises; the transaction's own release ends it by force.
  }
}

bool TConnessione::Riconnetti(std::string& motivo) {
  using namespace std::chrono;
  motivo.clear();
  database_.DisconnectForced();
  // A restarting server refuses connections until it listens again, and while it shuts down it
  // may still accept one and fail its login ("Error occurred during login"): a matter of seconds.
  // Only a refused login is the server's last word.
  const auto fine = steady_clock::now() + seconds(database_.ConnectTimeout());
  const auto pausa = milliseconds(500);
  for (;;) {
    try {
      database_.SetConnected(true);
      return true;
    } catch (const ESQLError& e) {
      motivo = e.what();
      if (e.LoginRifiutato() || steady_clock::now() + pausa >= fine) return false;
    } catch (const std::exception& e) {
      motivo = e.what();
      return false;
    }
    std::this_thread::sleep_for(pausa);
  }
}
