#include "taskbase/Task.h"

#include <exception>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "opener/Opener.h"
#include "platform/FileSystem.h"
#include "taskbase/Connessione.h"

TTask::TTask() = default;
TTask::~TTask() = default;

bool TTask::ApriConnessioni(const TVessentariaTaskInfo& riga, std::string& messaggio) {
  messaggio.clear();
  std::string interno;
  if (!ApriConnessione(riga.ArchivioOrigine, TSlot::Origine, interno)) {
    messaggio = "Impossibile stabilire la connessione all'origine\r\"" + riga.ArchivioOrigine +
                "\":\r" + interno;
    return false;
  }
  if (!ApriConnessione(riga.ArchivioDestinazione, TSlot::Destinazione, interno)) {
    messaggio = "Impossibile stabilire la connessione alla destinazione\r\"" +
                riga.ArchivioDestinazione + "\":\r" + interno;
    return false;
  }
  // Two paths, links or one dati.ini alias can lead to one database: a task would then empty
  // the tables it is reading and leave the source with only what it copied.
  const std::vector<std::string> tabelle = TabelleUsate();
  TIdentitaDatabase origine;
  TIdentitaDatabase destinazione;
  if (!Descrivi(TSlot::Origine, tabelle, origine, interno)) {
    messaggio = "Impossibile leggere la struttura dell'origine\r\"" + riga.ArchivioOrigine +
                "\":\r" + interno;
    return false;
  }
  if (!Descrivi(TSlot::Destinazione, tabelle, destinazione, interno)) {
    messaggio = "Impossibile leggere la struttura della destinazione\r\"" +
                riga.ArchivioDestinazione + "\":\r" + interno;
    return false;
  }
  if (origine == destinazione) {
    messaggio = "Origine e destinazione coincidono: " + riga.ArchivioDestinazione;
    return false;
  }
  return true;
}

bool TTask::Descrivi(TSlot slot, const std::vector<std::string>& tabelle,
                     TIdentitaDatabase& identita, std::string& messaggio) {
  messaggio.clear();
  const bool origine = slot == TSlot::Origine;
  try {
    // The transaction may start here (the task's snapshot of the source): its start is asked of
    // the server like the description itself.
    TSQLTransaction& transazione = TransazioneDescrizione(slot);
    identita = DescriviDatabase(tabelle, origine ? *databaseOrigine_ : *databaseDestinazione_,
                                transazione, origine ? tracciatiOrigine_ : tracciatiDestinazione_);
  } catch (const ESQLError& e) {
    // A server that froze or went away, or a right the site's user lacks, fails this task as it
    // would during the copy; anything else is the program's fault and ends the run.
    if (!e.ErroreDelSito()) throw;
    messaggio = e.what();
    return false;
  }
  return true;
}

TSQLTransaction& TTask::TransazioneDescrizione(TSlot slot) {
  return (slot == TSlot::Origine ? origine_ : destinazione_)->TransazioneLettura();
}

bool TTask::ApriConnessione(const std::string& percorso, TSlot slot, std::string& messaggio) {
  messaggio.clear();
  std::unique_ptr<TSQLDatabase>& database =
      slot == TSlot::Origine ? databaseOrigine_ : databaseDestinazione_;
  std::unique_ptr<TConnessione>& connessione = slot == TSlot::Origine ? origine_ : destinazione_;
  // The pair works on the handle, so it goes first.
  connessione.reset();
  database.reset();
  try {
    std::string motivo;
    const TAccessoFile accesso = AccessoFile(percorso, motivo);
    if (accesso == TAccessoFile::Assente || accesso == TAccessoFile::Irraggiungibile) {
      messaggio = accesso == TAccessoFile::Assente ? "File non trovato"
                                                   : "File non raggiungibile: " + motivo;
      return false;
    }
    database = std::make_unique<TSQLDatabase>();
    std::string rifiuto;
    if (ApriCreaDatabase(*database, EstraiCartella(percorso), EstraiNomeFile(percorso), "", "",
                         nullptr, rifiuto)) {
      connessione = std::make_unique<TConnessione>(*database);
      return true;
    }
    messaggio = "Impossibile stabilire la connessione";
    if (!rifiuto.empty()) messaggio += "\r" + rifiuto;
    // A server may read what the account cannot, so this is told only once the opening failed.
    if (accesso == TAccessoFile::Illeggibile)
      messaggio +=
          "\rIl file esiste ma l'utente che esegue il programma non può leggerlo: " + motivo;
  } catch (const std::exception& e) {
    connessione.reset();
    messaggio = e.what();
  }
  database.reset();
  return false;
}
