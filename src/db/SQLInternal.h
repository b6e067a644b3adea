#pragma once

// Private to the access layer: the client interface, the Impl structs behind the public classes
// and the helpers that turn a failing client call into an exception. Nothing outside src/db
// includes this header.

#include <ibase.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/DateTime.h"
#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLVar.h"
#include "db/Sorvegliante.h"

// Numeric codes of the layer's own errors (ESQLError::Codice); server errors carry 0.
enum CodiceErroreSQL : int {
  ceDBAperto = 1,
  ceNomeDatabaseMancante,
  ceDBNonAperto,
  ceDialettoNonValido,
  ceTransazioneAttiva,
  ceNessunDatabase,
  ceTransazioneNonAttiva,
  ceDatabaseNonAssegnato,
  ceTransazioneNonAssegnata,
  ceQueryVuota,
  ceStatementAperto,
  ceStatementChiuso,
  ceCampoNonTrovato,
  ceIndiceXSQLDA,
  ceNonPermesso,
  ceNonSupportato,
  ceConversioneNonValida,
  ceStringaTroppoLunga,
  ceTPBNonSupportato,
  ceTPBSconosciuto,
  ceDPBNonSupportato,
  ceDPBSconosciuto,
  ceErroreParsing,
  ceLibreriaClient,
  ceParametriDiscordanti,
  ceAccessoNonCompletato
};

// Makes one client call in the database's turn and under a TRichiesta on its watchdog:
// Sorvegliata(database, [&] { return isc_...(...); }); a null database is watched by none.
template <typename Chiamata>
auto Sorvegliata(const TSQLDatabase* database, Chiamata&& chiamata) {
  std::unique_lock<std::mutex> turno;
  if (database) turno = std::unique_lock<std::mutex>(database->Turno());
  TRichiesta richiesta(database ? database->Sorvegliante() : nullptr);
  return chiamata();
}

// `testo` without the characters of `spazi` at either end: blanks, tabs and line ends, or only
// blanks where a value's text is read.
inline std::string Rifila(const std::string& testo, const char* spazi = " \t\r\n") {
  const size_t inizio = testo.find_first_not_of(spazi);
  if (inizio == std::string::npos) return "";
  return testo.substr(inizio, testo.find_last_not_of(spazi) - inizio + 1);
}

// Raises the layer's own error with its exact text.
[[noreturn]] void ErroreSQL(CodiceErroreSQL codice, const std::string& testo);
[[noreturn]] void ErroreConversione();

// The message of a failed client call: the interpreted lines joined with CR LF, one final '.'
// removed.
std::string TestoStatus(const ISC_STATUS* status);
// Raises the server's text; SQL code -551 as ESQLNoPermission.
[[noreturn]] void ErroreServer(const ISC_STATUS* status);
// True when the status vector names a lock conflict (the retry of a procedure must not mask it).
bool ConflittoDiLock(const ISC_STATUS* status);

// Loads the client library at the first creation of a database, transaction or statement object.
// Linked at build time here; on Windows this is where "gds32.dll" is loaded.
void CaricaLibreriaClient();

// Name normalisation for lookups: trimmed; in dialect 3 a double-quoted name loses its quotes and
// keeps its case, any other name is upper-cased.
std::string NormalizzaNome(const std::string& nome, int dialetto);

// The output name of a result column: its alias; "F_" + n for the n-th column without one; a
// name already in `presi` gets the first free number appended.
std::string NomeUscita(const std::string& alias, const std::vector<std::string>& presi,
                       int& senzaNome);

// Parameter scanning: `testo` with each :name (or :"name", or ?name) outside strings and comments
// replaced by what `sostituto` gives for its raw name, in order. Raises "SQL Parse Error:..." on a
// malformed text.
std::string SostituisciParametri(
    const std::string& testo, const std::function<std::string(const std::string& nome)>& sostituto);
// Replaces each parameter by '?' and collects the raw names in order.
std::string ScansionaParametri(const std::string& testo, std::vector<std::string>& nomi);

// Bytes of text in a VARYING buffer: its length prefix, which must not go beyond the declared
// length (sqllen) that the buffer was sized for; a longer prefix raises "Invalid data conversion".
size_t LunghezzaVarying(const XSQLVAR& var);

struct LiberaConFree {
  void operator()(void* p) const noexcept { std::free(p); }
};
using PXSQLDA = std::unique_ptr<XSQLDA, LiberaConFree>;
// A descriptor area with room for n variables (at least 1), zeroed.
PXSQLDA NuovoXSQLDA(int n);

class TLetturaAnticipata;

struct TSQLVar::Impl {
  XSQLVAR* var = nullptr;  // in the statement's descriptor area, which outlives this object
  bool parametro = false;
  short indicatore = 0;
  std::vector<char> dati;  // never shrinks, so a parameter that changed type reuses it
  std::string nome;
  int maxLength = 0;
  int tipoDescritto = 0;  // as the server described it, nullable bit cleared
  short sottotipoDescritto = 0;
  short scalaDescritta = 0;  // for a blob: the character set of a text blob
  // Parameters of the statement that share this one's name, this one included; a setter writes
  // them all. Empty for columns and for unnamed parameters (the setter writes only this one).
  std::vector<TSQLVar*> gemelli;

  // Points the descriptor at a buffer of at least `bytes` bytes, growing it only when needed.
  char* Spazio(size_t bytes) {
    if (dati.size() < bytes) dati.resize(bytes < 8 ? 8 : bytes);
    var->sqldata = dati.data();
    return dati.data();
  }
  // Gives the parameter a new type and room for `bytes` bytes of value; clears NULL.
  char* Imposta(int tipo, int scala, int len, int sottotipo, size_t bytes) {
    var->sqltype = static_cast<ISC_SHORT>(tipo | 1);
    var->sqlscale = static_cast<ISC_SHORT>(scala);
    var->sqllen = static_cast<ISC_SHORT>(len);
    var->sqlsubtype = static_cast<ISC_SHORT>(sottotipo);
    var->sqlind = &indicatore;
    indicatore = 0;
    return Spazio(bytes);
  }
};

struct TSQLStatement::Impl {
  isc_stmt_handle handle = 0;
  PXSQLDA in;
  PXSQLDA out;
  std::vector<std::unique_ptr<TSQLVar>> parametri;
  std::vector<std::unique_ptr<TSQLVar>> campi;
  std::string testoInviato;  // after parameter scanning, kept for the retry of a procedure
  int dialetto = 3;
  std::vector<char> segmento;  // scratch buffer for blob copies, kept between rows
  std::unique_ptr<TLetturaAnticipata> anticipo;  // last: stopped before the rest goes
};

// Dates: the engine counts days from 1858-11-17 and the time of day in 1/10000 s; TDateTime
// counts days from 1899-12-30, which is engine day 15018.
constexpr int32_t kGiornoZeroDateTime = 15018;
constexpr uint32_t kUnitaPerSecondo = 10000;
// Whole seconds: a fraction of a second is dropped.
TDateTime DataOraDaSQL(int32_t giorno, uint32_t tempo);
// Rounded to the nearest whole second; outside the years 1 to 9999: "Invalid data conversion".
void DataOraInSQL(TDateTime valore, int32_t& giorno, uint32_t& tempo);
// False for an impossible date.
bool GiornoDaData(int anno, int mese, int giornoDelMese, int32_t& giorno);
void DataDaGiorno(int32_t giorno, int& anno, int& mese, int& giornoDelMese);
std::string TestoData(int32_t giorno);  // dd/mm/yyyy
std::string TestoOra(uint32_t tempo);   // hh:nn:ss
// Accepts dd/mm/yyyy or yyyy-mm-dd, optionally followed by hh:nn[:ss[.ffff]], or a time alone.
// False when the text is no possible date or time.
bool DataOraDaTesto(const std::string& testo, TDateTime& valore);
