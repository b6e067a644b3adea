#include "taskbase/Connessione.h"

#include "db/SQLDatabase.h"
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
