#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "support/TestSupport.h"

// The DDL of the four order tables and of the task table, as the demo uses them.
std::string DdlOrdini();
std::string DdlDitta();

// The standard source archive: customers, orders (some selected, some not, two sharing a
// session), order rows with a value of every type, sessions.
std::string DatiOrigine();
// The standard destination archive: an old copy of a selected customer, unrelated customers and
// order-side rows that the task must replace.
std::string DatiDestinazione();

// Every row of the four tables in key order, text and blobs as bytes, for comparing two archives
// or an archive before and after a run. Only while no one else holds the archive open.
std::string DumpOrdini(const std::string& archivio);
// The four order tables, and the query that lists one of them (restricted by `where`, which may
// be empty) in key order, text and blobs as bytes: the rows as isql prints them are what two
// archives, or one archive before and after a run, are compared by.
std::vector<std::string> TabelleOrdini();
std::string SelezioneTabella(const std::string& tabella, const std::string& where = "");
// The rows of one table, restricted by `where` (may be empty).
std::string DumpTabella(const std::string& archivio, const std::string& tabella,
                        const std::string& where = "");

// A source and a destination archive in a private folder.
struct ArchiviOrdini {
  // Both archives get the order tables; `ddlOrigine`/`ddlDestinazione` replace them when
  // non-empty. Then the data scripts run. Both archives speak `dialetto`.
  explicit ArchiviOrdini(const std::string& datiOrigine = DatiOrigine(),
                         const std::string& datiDestinazione = DatiDestinazione(),
                         const std::string& ddlOrigine = "",
                         const std::string& ddlDestinazione = "", int dialetto = 3);

  TempFolder cartella;
  std::string origine;
  std::string destinazione;
};
