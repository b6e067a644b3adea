#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/DateTime.h"
#include "db/Variant.h"

class TSQLDatabase;
class TSQLStatement;

// One column of the current row, or one input parameter, of a TSQLStatement. Owned by the
// statement; valid until the statement is prepared again or released.
//
// Two families of accessors:
// - the classic ones (AsInteger, AsDouble, AsDateTime, AsString, AsVariant and their setters),
//   which keep their documented conversions, losses included (AsDateTime drops fractions of a
//   second, AsVariant of a BIGINT raises "Invalid data conversion");
// - the whole-value ones (AsScaledInteger, AsTimeStamp, AsSQLTime, AsSQLDate, Assign), which
//   move a value without loss: exact scaled integers, fractions of a second, blobs byte for byte.
class TSQLVar {
 public:
  // Only a statement can make the key, so only a statement creates its columns and parameters.
  class Chiave {
    friend class TSQLStatement;
    Chiave() = default;
  };
  TSQLVar(TSQLStatement& statement, Chiave);
  TSQLVar(const TSQLVar&) = delete;
  TSQLVar& operator=(const TSQLVar&) = delete;
  ~TSQLVar();

  // Description. SQLType() is the client interface code with the nullable bit cleared.
  int SQLType() const;
  int SQLSubType() const;
  bool Nullable() const;
  int Scale() const;                // 0 or negative
  int Size() const;                 // declared length in bytes
  int MaxLength() const;            // declared length of a text column or parameter, 0 otherwise
  const std::string& Name() const;  // output name of a column, normalised name of a parameter

  // Reading.
  bool IsNull() const;
  std::string AsString() const;
  int32_t AsInteger() const;
  double AsDouble() const;
  TDateTime AsDateTime() const;
  TVariant AsVariant() const;

  // Setting. Each setter writes every parameter of the statement that has the same name.
  void SetAsInteger(int32_t value);
  void SetAsDouble(double value);
  void SetAsCurrency(int64_t valueTimes10000);
  void SetAsDate(TDateTime value);
  void SetAsTime(TDateTime value);
  void SetAsDateTime(TDateTime value);
  void SetAsString(const std::string& value);
  void SetAsVariant(const TVariant& value);
  void Clear();

  // Whole values.
  // The stored integer of SQL_SHORT, SQL_LONG or SQL_INT64 (value = stored x 10^Scale()); NULL
  // reads as 0; other types raise "Invalid data conversion".
  int64_t AsScaledInteger() const;
  // SQL_INT64 with the given scale.
  void SetAsScaledInteger(int64_t stored, int scale);
  // SQL_TIMESTAMP with its fraction; a DATE reads at midnight; other types raise.
  TSQLTimeStamp AsTimeStamp() const;
  void SetAsTimeStamp(const TSQLTimeStamp& value);
  // SQL_TYPE_TIME in 1/10000 s since midnight, SQL_TYPE_DATE in days since 1858-11-17.
  uint32_t AsSQLTime() const;
  void SetAsSQLTime(uint32_t value);
  int32_t AsSQLDate() const;
  void SetAsSQLDate(int32_t value);
  // Makes this parameter hold exactly the value of `source` (a column of another statement,
  // possibly on another database): type, scale, length and bytes; NULL stays NULL; a blob is
  // read from the source and written as a new blob in this statement's transaction. After the
  // first rows it allocates nothing per call.
  void Assign(const TSQLVar& source);
  // Whether this parameter is a blob that takes a short blob as text (see Assign).
  bool BlobComeTesto() const;
  // For a parameter for which BlobComeTesto() holds: makes it hold, byte for byte, the blob
  // whose whole content the text column `testo` carries (a query can select a short blob as
  // text of set OCTETS), as Assign does with a short blob. NULL stays NULL.
  void AssignBlobText(const TSQLVar& testo);
  // The value of another parameter as it is: type, length, bytes, NULL; a blob id stays the id,
  // and serves one execution.
  void CopiaValore(const TSQLVar& source);
  // The bytes that the value takes in the request's message, its NULL flag included.
  size_t ByteMessaggio() const;

 private:
  friend class TSQLStatement;
  struct Impl;
  // Checks the statement's transaction for blob work and returns the handles.
  void HandlesBlob(TSQLDatabase*& database, unsigned int*& transaction) const;
  // NULL on this parameter alone.
  void Clear1();
  // Assign of a blob that is not NULL.
  void AssegnaBlob(const TSQLVar& source);
  TSQLStatement& statement_;
  std::unique_ptr<Impl> impl_;  // layout private to the access layer
};
