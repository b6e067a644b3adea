#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/DateTime.h"
#include "db/Strings.h"

class TSQLDatabase;
class TSQLTransaction;

enum TTipoCampoSQL : uint8_t {
  tcSconosciuto = 0,
  tcInteger = 1,
  tcBigInt = 2,
  tcSmallInt = 3,
  tcFloat = 4,
  tcDate = 5,
  tcTime = 6,
  tcDecimal = 7,
  tcTimeStamp = 8,
  tcVarChar = 9,
  tcChar = 10,
  tcDouble = 11,
  tcBlob = 12,
  // Types of Firebird 4 and later; a Firebird 3 client receives their values as text.
  tcDecFloat16 = 13,
  tcDecFloat34 = 14,
  tcInt128 = 15,  // INT128, and NUMERIC and DECIMAL of 19 to 38 digits
  tcTimeTZ = 16,
  tcTimeStampTZ = 17
};

// The layout of one column as the system tables describe it.
struct TCampoSQL {
  std::string Nome;  // whole, as the server gives it, trailing blanks removed
  TTipoCampoSQL Tipo = tcSconosciuto;
  int16_t Dimensione = 0;  // character length of CHAR and VARCHAR
  uint8_t Precisione = 0;
  uint8_t Scala = 0;    // number of decimals
  bool Chiave = false;  // part of the primary key
  // As declared, for telling two columns that hold their values alike: the sub-type (of a
  // number, a text or a blob), the length in bytes and the character set (-1: none).
  int16_t SottoTipo = 0;
  int16_t Lunghezza = 0;
  int16_t CharacterSet = -1;
  // The first column of an active index of the table: a search by it reads no other row.
  bool Indicizzato = false;
};

// The index error of TCampoSQLList: "List index out of bounds (%d)" with the index.
class EListError : public std::out_of_range {
 public:
  explicit EListError(int index);
};

// An ordered list of column layouts that owns its records.
class TCampoSQLList {
 public:
  int Count() const { return static_cast<int>(campi_.size()); }
  // Raises "List index out of bounds (%d)" outside 0..Count()-1.
  TCampoSQL& Campo(int index) const;
  // Index of the first record whose Nome equals `nome` exactly; -1 when none does.
  int IndiceCampo(const std::string& nome) const;
  TCampoSQL& NuovoCampo();
  void Clear() { campi_.clear(); }
  // Becomes a copy of `altra`.
  void Assign(const TCampoSQLList& altra);

 private:
  std::vector<std::unique_ptr<TCampoSQL>> campi_;
};

// Reads the column layout of `tabella` (exact, case-sensitive name) in position order.
// False, with the list empty, for an empty name or a table without columns.
bool CaricaCampiSQL(const std::string& tabella, TSQLDatabase& database, TCampoSQLList& campi);
// True when the table (or view) exists. Starts `transaction` when inactive and leaves it active.
bool EsisteTabella(const std::string& tabella, TSQLDatabase& database,
                   TSQLTransaction& transaction);
// The same in a private transaction, committed on return.
bool EsisteTabella(const std::string& tabella, TSQLDatabase& database);
// The layouts of tables by name, as CaricaCampiSQL reads them.
using TTracciati = std::map<std::string, TCampoSQLList>;
// Whether a column name can be written without double quotes: a plain upper-case identifier of at
// most 63 characters and no reserved word. Dialect 1, where double quotes make a string, needs it.
bool NomeNudo(const std::string& nome);
// Number of rows that the SELECT in `righe` returns, in an active transaction.
int32_t ContaRecordSQL(const TStrings& righe, TSQLTransaction& transaction);

// The database behind an attachment as its server names it: the expanded file name (links
// resolved) and the creation time. Two attachments with the same identity work on one file; a
// copy of the file has another name, a restored backup another creation time.
struct TIdentitaDatabase {
  std::string Nome;
  TSQLTimeStamp Creazione;
  bool operator==(const TIdentitaDatabase&) const = default;
};
// Asked in `transaction` (started when inactive and left active); server errors are raised.
TIdentitaDatabase IdentitaDatabase(TSQLDatabase& database, TSQLTransaction& transaction);

// The identity and the layouts of every table of `tabelle` (exact names) that exists, in one
// request: a table that does not exist has no entry. Asked in `transaction` (started when inactive
// and left active), a transaction of `database`; server errors are raised. Tells `database` its
// dialect and whether a server serves it, sparing it the request that would ask them.
TIdentitaDatabase DescriviDatabase(const std::vector<std::string>& tabelle, TSQLDatabase& database,
                                   TSQLTransaction& transaction, TTracciati& tracciati);

// The rights on a table that a statement asks of the login, as RDB$USER_PRIVILEGES names them.
enum class TDiritto : char { Select = 'S', Insert = 'I', Update = 'U', Delete = 'D' };
struct TDirittoTabella {
  std::string Tabella;
  TDiritto Diritto;
  bool operator==(const TDirittoTabella&) const = default;
};
// "SELECT", "INSERT", "UPDATE" or "DELETE".
const char* NomeDiritto(TDiritto diritto);
// Who the attachment's login is and which of the rights asked it lacks, in their order.
struct TDirittiLogin {
  std::string Utente;
  std::string Ruolo;  // empty: none in use
  std::vector<TDirittoTabella> Mancanti;
};
// Which of `richiesti` the login lacks, in one request in `transaction`, a transaction of the
// attachment (started when inactive and left active). A right counts as the server grants it on the
// whole table: to the user, to the role the attachment uses, or to PUBLIC; the database's owner,
// SYSDBA and the role RDB$ADMIN lack none. Nothing asked: no request, nothing known. Server errors
// are raised.
TDirittiLogin DirittiLogin(const std::vector<TDirittoTabella>& richiesti,
                           TSQLTransaction& transaction);

// A text column's declared length in characters and the size of its character set's widest
// character (1 for single-byte sets, NONE and OCTETS).
struct TColonnaTesto {
  int Caratteri = 0;
  int BytesPerCarattere = 1;
  std::string CharacterSet;
};
// False when `tabella` has no CHAR, VARCHAR or text BLOB column `colonna` (exact names); a text
// BLOB has no length (Caratteri 0). Asked in `transaction`, started when inactive and left
// active.
bool CaricaColonnaTesto(const std::string& tabella, const std::string& colonna,
                        TSQLDatabase& database, TSQLTransaction& transaction,
                        TColonnaTesto& risultato);
// `testo` cut to at most `colonna.Caratteri` characters of the column's set (0: not cut), never in
// the middle of a character: UTF8 and UNICODE_FSS by their code points, the Far Eastern sets by
// their lead bytes, single-byte sets byte by byte. In UTF8 and UNICODE_FSS each byte that begins no
// well-formed sequence counts as one character and becomes U+FFFD, so the server takes the text.
std::string TagliaAColonna(const std::string& testo, const TColonnaTesto& colonna);
