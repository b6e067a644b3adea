#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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
  tcBlob = 12
};

// The layout of one column as the system tables describe it.
struct TCampoSQL {
  std::string Nome;  // at most 31 characters, trailing blanks removed
  TTipoCampoSQL Tipo = tcSconosciuto;
  int16_t Dimensione = 0;  // character length of CHAR and VARCHAR
  uint8_t Precisione = 0;
  uint8_t Scala = 0;    // number of decimals
  bool Chiave = false;  // part of the primary key
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
// Number of rows that the SELECT in `righe` returns, in an active transaction.
int32_t ContaRecordSQL(const TStrings& righe, TSQLTransaction& transaction);
