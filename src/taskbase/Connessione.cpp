#include "taskbase/Connessione.h"

#include "db/SQLDatabase.h"
#include "db/SQLTransaction.h"

TConnessione::TConnessione(TSQLDatabase& database)
    : database_(database),
      transazioneLettura_(CreaTransazioneReadCommitted(database)),
      transazioneScrittura_(CreaTransazioneSnapshot(database)) {}

TConnessione::~TConnessione() {
  // When the handle was released first, its transactions have already been ended and detached,
  // so nothing is left to roll back here.
  try {
    if (transazioneScrittura_ && transazioneScrittura_->InTransaction())
      transazioneScrittura_->Rollback();
  } catch (...) {
    // A release never raises; the transaction's own release ends it by force.
  }
}
