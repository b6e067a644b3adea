#include "db/Schema.h"

#include <string>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"

namespace {

// Field type numbers of RDB$FIELDS.RDB$FIELD_TYPE.
TTipoCampoSQL TipoDaSistema(int tipo, int sottotipo) {
  switch (tipo) {
    case 7:
      return tcSmallInt;
    case 8:
      return tcInteger;
    case 10:
      return tcFloat;
    case 12:
      return tcDate;
    case 13:
      return tcTime;
    case 14:
      return tcChar;
    case 16:
      return sottotipo == 2 ? tcDecimal : tcBigInt;
    case 27:
      return tcDouble;
    case 35:
      return tcTimeStamp;
    case 37:
      return tcVarChar;
    case 261:
      return tcBlob;
    default:
      return tcSconosciuto;
  }
}

}  // namespace

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

TCampoSQL& TCampoSQLList::Campo(int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return *campi_[static_cast<size_t>(index)];
}

int TCampoSQLList::IndiceCampo(const std::string& nome) const {
  for (int i = 0; i < Count(); ++i)
    if (campi_[static_cast<size_t>(i)]->Nome == nome) return i;
  return -1;
}

TCampoSQL& TCampoSQLList::NuovoCampo() {
  campi_.push_back(std::make_unique<TCampoSQL>());
  return *campi_.back();
}

bool CaricaCampiSQL(const std::string& tabella, TSQLDatabase& database, TCampoSQLList& campi) {
  campi.Clear();
  if (tabella.empty()) return false;

  // The transaction is declared first, so the statement is closed before the commit.
  auto transazione = std::make_unique<TSQLTransaction>();
  transazione->SetDefaultDatabase(&database);
  auto statement = std::make_unique<TSQLStatement>();
  statement->SetDatabase(&database);
  statement->SetTransaction(transazione.get());
  transazione->SetActive(true);
  statement->SetParamCheck(false);

  TStrings& sql = statement->SQL();
  sql.Add("SELECT");
  sql.Add("  TRIM(A.RDB$FIELD_NAME) AS NOME,");
  sql.Add("  COALESCE(B.RDB$FIELD_TYPE,0) AS TIPO,");
  sql.Add("  COALESCE(B.RDB$FIELD_SUB_TYPE,0) AS SUBTIPO,");
  sql.Add("  COALESCE(B.RDB$CHARACTER_LENGTH,0) AS DIMENSIONE,");
  sql.Add("  COALESCE(B.RDB$FIELD_PRECISION,0) AS PRECISIONE,");
  sql.Add("  COALESCE(ABS(B.RDB$FIELD_SCALE),0) AS SCALA,");
  sql.Add("  COALESCE(C.CHIAVE,0) AS CHIAVE");
  sql.Add("FROM");
  sql.Add("  RDB$RELATION_FIELDS A");
  sql.Add("  INNER JOIN RDB$FIELDS B ON");
  sql.Add("  A.RDB$FIELD_SOURCE=B.RDB$FIELD_NAME");
  sql.Add("  LEFT JOIN(");
  sql.Add("    --Individuazione campi chiave");
  sql.Add("    SELECT");
  sql.Add("      A1.RDB$RELATION_NAME,");
  sql.Add("      B1.RDB$FIELD_NAME,");
  sql.Add("      1 AS CHIAVE");
  sql.Add("    FROM");
  sql.Add("      RDB$RELATION_CONSTRAINTS A1");
  sql.Add("      LEFT JOIN RDB$INDEX_SEGMENTS B1 ON");
  sql.Add("      A1.RDB$INDEX_NAME=B1.RDB$INDEX_NAME");
  sql.Add("    WHERE");
  sql.Add("      A1.RDB$CONSTRAINT_TYPE='PRIMARY KEY'");
  sql.Add("  ) C ON");
  sql.Add("  A.RDB$RELATION_NAME=C.RDB$RELATION_NAME");
  sql.Add("  AND");
  sql.Add("  A.RDB$FIELD_NAME=C.RDB$FIELD_NAME");
  sql.Add("WHERE");
  sql.Add("  A.RDB$RELATION_NAME='" + tabella + "'");
  sql.Add("ORDER BY");
  sql.Add("  A.RDB$FIELD_POSITION");
  statement->Execute();
  if (statement->Eof()) return false;

  while (!statement->Eof()) {
    TCampoSQL& campo = campi.NuovoCampo();
    campo.Nome = statement->FieldByName("NOME").AsString().substr(0, 31);
    campo.Tipo = TipoDaSistema(statement->FieldByName("TIPO").AsInteger(),
                               statement->FieldByName("SUBTIPO").AsInteger());
    campo.Dimensione = static_cast<int16_t>(statement->FieldByName("DIMENSIONE").AsInteger());
    campo.Precisione = static_cast<uint8_t>(statement->FieldByName("PRECISIONE").AsInteger());
    campo.Scala = static_cast<uint8_t>(statement->FieldByName("SCALA").AsInteger());
    campo.Chiave = statement->FieldByName("CHIAVE").AsInteger() == 1;
    statement->Next();
  }
  return true;
}

bool EsisteTabella(const std::string& tabella, TSQLDatabase& database,
                   TSQLTransaction& transaction) {
  TSQLStatement statement;
  statement.SetDatabase(&database);
  statement.SetTransaction(&transaction);
  if (!transaction.Active()) transaction.SetActive(true);
  statement.SetParamCheck(false);
  TStrings& sql = statement.SQL();
  sql.Add("SELECT");
  sql.Add("  COUNT(*) AS TOT");
  sql.Add("FROM");
  sql.Add("  RDB$RELATIONS");
  sql.Add("WHERE");
  sql.Add("  RDB$RELATION_NAME='" + tabella + "'");
  statement.Execute();
  return statement.FieldByName("TOT").AsInteger() > 0;
}

bool EsisteTabella(const std::string& tabella, TSQLDatabase& database) {
  TSQLTransaction transazione;
  transazione.SetDefaultDatabase(&database);
  return EsisteTabella(tabella, database, transazione);
}

int32_t ContaRecordSQL(const TStrings& righe, TSQLTransaction& transaction) {
  TSQLStatement statement;
  statement.SetDatabase(transaction.DefaultDatabase());
  statement.SetTransaction(&transaction);
  statement.SetParamCheck(false);
  TStrings& sql = statement.SQL();
  sql.Add("SELECT");
  sql.Add("  COUNT(*) AS TOT");
  sql.Add("FROM");
  sql.Add("  (");
  sql.AddStrings(righe);
  sql.Add("  )");
  statement.Execute();
  return statement.FieldByName("TOT").AsInteger();
}
