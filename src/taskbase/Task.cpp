#include "taskbase/Task.h"

#include <exception>

#include "db/SQLDatabase.h"
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
  if (DescriviDatabase(tabelle, *databaseOrigine_, TransazioneDescrizione(TSlot::Origine),
                       tracciatiOrigine_) ==
      DescriviDatabase(tabelle, *databaseDestinazione_, TransazioneDescrizione(TSlot::Destinazione),
                       tracciatiDestinazione_)) {
    messaggio = "Origine e destinazione coincidono: " + riga.ArchivioDestinazione;
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
    if (!FileExists(percorso)) {
      messaggio = "File non trovato";
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
  } catch (const std::exception& e) {
    connessione.reset();
    messaggio = e.what();
  }
  database.reset();
  return false;
}
