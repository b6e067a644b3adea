#include "db/Schema.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"

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
    case 24:
      return tcDecFloat16;
    case 25:
      return tcDecFloat34;
    case 26:
      return tcInt128;
    case 27:
      return tcDouble;
    case 28:
      return tcTimeTZ;
    case 29:
      return tcTimeStampTZ;
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

// Bytes of the character that starts at `p` (of `resto` bytes left) in a multi-byte set.
bool Unicode(const std::string& set) {
  return set == "UTF8" || set == "UNICODE_FSS";
}

// Length of the well-formed UTF-8 sequence at p (no overlong forms, no surrogates, nothing past
// U+10FFFF); 0 when none starts there.
size_t SequenzaUTF8(const unsigned char* p, size_t resto) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char minimo = 0x80, massimo = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) minimo = 0xA0;
    if (c == 0xED) massimo = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) minimo = 0x90;
    if (c == 0xF4) massimo = 0x8F;
  } else {
    return 0;
  }
  if (resto < n || p[1] < minimo || p[1] > massimo) return 0;
  for (size_t i = 2; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return n;
}

// Bytes of the character at p. In UTF8 a byte that begins no well-formed sequence is a character
// of its own, as the replacement it gets.
size_t LunghezzaCarattere(const std::string& set, const unsigned char* p, size_t resto) {
  const unsigned char c = p[0];
  size_t n = 1;
  if (Unicode(set)) {
    n = SequenzaUTF8(p, resto);
    if (n == 0) n = 1;
  } else if (set == "SJIS_0208" || set == "CP943C") {
    n = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) ? 2 : 1;
  } else if (set == "EUCJ_0208") {
    n = c == 0x8F ? 3 : c == 0x8E || c >= 0xA1 ? 2 : 1;
  } else if (set == "GB18030") {
    n = c >= 0x81 && c <= 0xFE ? (resto > 1 && p[1] >= 0x30 && p[1] <= 0x39 ? 4 : 2) : 1;
  } else if (c >= 0x81) {
    n = 2;  // KSC_5601, BIG_5, GB_2312, GBK: a lead byte and one more
  }
  return n < resto ? n : resto;
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

namespace {

// The layout query over the tables that `condizione` selects from RDB$RELATION_FIELDS A: one
// row per column, unordered (TABELLA and POSIZIONE give the order).
void ComponiSQLCampi(TStrings& sql, const std::string& condizione) {
  sql.Add("SELECT");
  sql.Add("  TRIM(TRAILING FROM A.RDB$RELATION_NAME) AS TABELLA,");
  sql.Add("  A.RDB$FIELD_POSITION AS POSIZIONE,");
  sql.Add("  TRIM(TRAILING FROM A.RDB$FIELD_NAME) AS NOME,");
  sql.Add("  COALESCE(B.RDB$FIELD_TYPE,0) AS TIPO,");
  sql.Add("  COALESCE(B.RDB$FIELD_SUB_TYPE,0) AS SUBTIPO,");
  sql.Add("  COALESCE(B.RDB$CHARACTER_LENGTH,0) AS DIMENSIONE,");
  sql.Add("  COALESCE(B.RDB$FIELD_PRECISION,0) AS PRECISIONE,");
  sql.Add("  COALESCE(ABS(B.RDB$FIELD_SCALE),0) AS SCALA,");
  sql.Add("  COALESCE(C.CHIAVE,0) AS CHIAVE,");
  sql.Add("  COALESCE(B.RDB$FIELD_LENGTH,0) AS LUNGHEZZA,");
  sql.Add("  COALESCE(B.RDB$CHARACTER_SET_ID,-1) AS CHARSET,");
  sql.Add("  IIF(EXISTS(");
  sql.Add("    SELECT");
  sql.Add("      1");
  sql.Add("    FROM");
  sql.Add("      RDB$INDICES I");
  sql.Add("      INNER JOIN RDB$INDEX_SEGMENTS S ON");
  sql.Add("      S.RDB$INDEX_NAME=I.RDB$INDEX_NAME");
  sql.Add("    WHERE");
  sql.Add("      I.RDB$RELATION_NAME=A.RDB$RELATION_NAME");
  sql.Add("      AND");
  sql.Add("      S.RDB$FIELD_NAME=A.RDB$FIELD_NAME");
  sql.Add("      AND");
  sql.Add("      S.RDB$FIELD_POSITION=0");
  sql.Add("      AND");
  sql.Add("      COALESCE(I.RDB$INDEX_INACTIVE,0)=0");
  sql.Add("  ),1,0) AS INDICE");
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
  sql.Add("  " + condizione);
}

// The column of the statement's current row.
void LeggiCampo(TSQLStatement& statement, TCampoSQL& campo) {
  campo.Nome = statement.FieldByName("NOME").AsString();
  campo.Tipo = TipoDaSistema(statement.FieldByName("TIPO").AsInteger(),
                             statement.FieldByName("SUBTIPO").AsInteger());
  campo.Dimensione = static_cast<int16_t>(statement.FieldByName("DIMENSIONE").AsInteger());
  campo.Precisione = static_cast<uint8_t>(statement.FieldByName("PRECISIONE").AsInteger());
  campo.Scala = static_cast<uint8_t>(statement.FieldByName("SCALA").AsInteger());
  campo.Chiave = statement.FieldByName("CHIAVE").AsInteger() == 1;
  campo.SottoTipo = static_cast<int16_t>(statement.FieldByName("SUBTIPO").AsInteger());
  campo.Lunghezza = static_cast<int16_t>(statement.FieldByName("LUNGHEZZA").AsInteger());
  campo.CharacterSet = static_cast<int16_t>(statement.FieldByName("CHARSET").AsInteger());
  campo.Indicizzato = statement.FieldByName("INDICE").AsInteger() == 1;
}

// The statement's rows from the current one on, as layouts by table; a row without a table is
// skipped.
void LeggiTracciati(TSQLStatement& statement, TTracciati& tracciati) {
  while (!statement.Eof()) {
    TSQLVar& tabella = statement.FieldByName("TABELLA");
    if (!tabella.IsNull()) LeggiCampo(statement, tracciati[tabella.AsString()].NuovoCampo());
    statement.Next();
  }
}

// "'A','B'": the names as a list of literals.
std::string ElencoNomi(const std::vector<std::string>& nomi) {
  std::string elenco;
  for (const std::string& nome : nomi) elenco += (elenco.empty() ? "'" : ",'") + nome + "'";
  return elenco;
}

}  // namespace

void TCampoSQLList::Assign(const TCampoSQLList& altra) {
  if (&altra == this) return;
  Clear();
  for (const auto& campo : altra.campi_) NuovoCampo() = *campo;
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
  ComponiSQLCampi(statement->SQL(), "A.RDB$RELATION_NAME='" + tabella + "'");
  statement->SQL().Add("ORDER BY 2");
  statement->Execute();
  if (statement->Eof()) return false;

  while (!statement->Eof()) {
    LeggiCampo(*statement, campi.NuovoCampo());
    statement->Next();
  }
  return true;
}

namespace {

// A statement on the system tables in `transaction`, which is started when it is not active.
void InterrogazioneDiSistema(TSQLStatement& statement, TSQLDatabase& database,
                             TSQLTransaction& transaction) {
  statement.SetDatabase(&database);
  statement.SetTransaction(&transaction);
  if (!transaction.Active()) transaction.SetActive(true);
  statement.SetParamCheck(false);
}

}  // namespace

bool EsisteTabella(const std::string& tabella, TSQLDatabase& database,
                   TSQLTransaction& transaction) {
  TSQLStatement statement;
  InterrogazioneDiSistema(statement, database, transaction);
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

namespace {

// The longest answer of the describing query in one request: a VARCHAR's limit.
constexpr int kTestoDescrizione = 32765;

// Reads the answer of DescriviInUnaRichiesta: names as <bytes>:<name>, numbers ended by ';'.
class TLettoreDescrizione {
 public:
  explicit TLettoreDescrizione(const std::string& testo) : testo_(testo) {}
  bool Fine() const { return p_ >= testo_.size(); }
  std::string Nome() {
    const size_t n = static_cast<size_t>(Numero(':'));
    if (n > testo_.size() - p_) throw std::runtime_error("Describing answer cut short");
    std::string nome = testo_.substr(p_, n);
    p_ += n;
    return nome;
  }
  long long Numero(char fine = ';') {
    const size_t f = testo_.find(fine, p_);
    if (f == std::string::npos) throw std::runtime_error("Describing answer cut short");
    const long long valore = std::stoll(testo_.substr(p_, f - p_));
    p_ = f + 1;
    return valore;
  }

 private:
  const std::string& testo_;
  size_t p_ = 0;
};

// A value of the describing query as text for DescriviInUnaRichiesta: a name with its length
// in bytes in front, a number ended by ';'. Never NULL: a NULL would drop the whole column.
std::string TestoNome(const std::string& espressione) {
  return "OCTET_LENGTH(COALESCE(" + espressione + ",''))||':'||COALESCE(" + espressione + ",'')";
}
std::string TestoNumero(const std::string& espressione) {
  return "COALESCE(" + espressione + ",0)||';'";
}

// DescriviDatabase in one request, as one text; false when the text would not fit. The names come
// as the system tables hold them, UNICODE_FSS bytes, as the rows of the other form bring them to
// an attachment of character set NONE: the two forms give one identity for one database.
bool DescriviInUnaRichiesta(const std::vector<std::string>& tabelle, TSQLDatabase& database,
                            TSQLTransaction& transaction, TIdentitaDatabase& identita,
                            TTracciati& tracciati) {
  const std::string data = "CAST(M.MON$CREATION_DATE AS TIMESTAMP)";
  TStrings campi;
  ComponiSQLCampi(campi, "A.RDB$RELATION_NAME IN (" + ElencoNomi(tabelle) + ")");
  std::string sql =
      "SELECT CAST(" + TestoNome("M.MON$DATABASE_NAME") + "||" + TestoNumero("M.MON$SQL_DIALECT") +
      "||" + TestoNome("RDB$GET_CONTEXT('SYSTEM','NETWORK_PROTOCOL')") + "||" +
      TestoNumero("DATEDIFF(DAY FROM CAST('1858-11-17' AS DATE) TO CAST(" + data + " AS DATE))") +
      "||" +
      TestoNumero("CAST((EXTRACT(HOUR FROM " + data + ")*3600+EXTRACT(MINUTE FROM " + data +
                  ")*60+EXTRACT(SECOND FROM " + data + "))*10000 AS INTEGER)") +
      "||COALESCE((SELECT LIST(" + TestoNome("L.TABELLA") + "||" + TestoNome("L.NOME") + "||" +
      TestoNumero("L.POSIZIONE") + "||" + TestoNumero("L.TIPO") + "||" + TestoNumero("L.SUBTIPO") +
      "||" + TestoNumero("L.DIMENSIONE") + "||" + TestoNumero("L.PRECISIONE") + "||" +
      TestoNumero("L.SCALA") + "||" + TestoNumero("L.CHIAVE") + "||" + TestoNumero("L.LUNGHEZZA") +
      "||" + TestoNumero("L.CHARSET") + "||" + TestoNumero("L.INDICE") + ",'') FROM (" +
      campi.Text() + ") L),'') AS VARCHAR(" + std::to_string(kTestoDescrizione) +
      ") CHARACTER SET OCTETS) FROM MON$DATABASE M";
  if (!transaction.Active()) transaction.SetActive(true);
  std::string testo;
  try {
    // Both dialects read the system tables alike.
    testo = transaction.LeggiImmediato(sql, kTestoDescrizione, 3);
  } catch (const ESQLError& e) {
    if (e.ErroreDiRete()) throw;
    return false;
  }
  TLettoreDescrizione lettore(testo);
  identita.Nome = lettore.Nome();
  const auto dialetto = static_cast<int>(lettore.Numero());
  database.SetInformazioni(dialetto, lettore.Nome());
  identita.Creazione.Date = static_cast<int32_t>(lettore.Numero());
  identita.Creazione.Time = static_cast<uint32_t>(lettore.Numero());
  std::map<std::string, std::vector<std::pair<long long, TCampoSQL>>> letti;
  while (!lettore.Fine()) {
    const std::string tabella = lettore.Nome();
    TCampoSQL campo;
    campo.Nome = lettore.Nome();
    const long long posizione = lettore.Numero();
    const auto tipo = static_cast<int>(lettore.Numero());
    campo.SottoTipo = static_cast<int16_t>(lettore.Numero());
    campo.Tipo = TipoDaSistema(tipo, campo.SottoTipo);
    campo.Dimensione = static_cast<int16_t>(lettore.Numero());
    campo.Precisione = static_cast<uint8_t>(lettore.Numero());
    campo.Scala = static_cast<uint8_t>(lettore.Numero());
    campo.Chiave = lettore.Numero() == 1;
    campo.Lunghezza = static_cast<int16_t>(lettore.Numero());
    campo.CharacterSet = static_cast<int16_t>(lettore.Numero());
    campo.Indicizzato = lettore.Numero() == 1;
    letti[tabella].push_back({posizione, campo});
  }
  for (auto& [tabella, colonne] : letti) {
    std::stable_sort(colonne.begin(), colonne.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& colonna : colonne) tracciati[tabella].NuovoCampo() = colonna.second;
  }
  return true;
}

}  // namespace

TIdentitaDatabase DescriviDatabase(const std::vector<std::string>& tabelle, TSQLDatabase& database,
                                   TSQLTransaction& transaction, TTracciati& tracciati) {
  tracciati.clear();
  if (tabelle.empty()) return IdentitaDatabase(database, transaction);
  // Across a slow link each request waits a round trip: the answer comes as one text, or, when
  // the layouts would not fit in it, as rows.
  TIdentitaDatabase identita;
  if (DescriviInUnaRichiesta(tabelle, database, transaction, identita, tracciati)) return identita;
  TSQLStatement statement;
  InterrogazioneDiSistema(statement, database, transaction);
  TStrings& sql = statement.SQL();
  sql.Add("SELECT");
  sql.Add("  M.MON$DATABASE_NAME AS NOME_DATABASE,");
  sql.Add("  CAST(M.MON$CREATION_DATE AS TIMESTAMP) AS CREAZIONE,");
  sql.Add("  M.MON$SQL_DIALECT AS DIALETTO,");
  sql.Add("  RDB$GET_CONTEXT('SYSTEM', 'NETWORK_PROTOCOL') AS PROTOCOLLO,");
  sql.Add("  L.*");
  sql.Add("FROM");
  sql.Add("  MON$DATABASE M");
  sql.Add("  LEFT JOIN (");
  ComponiSQLCampi(sql, "A.RDB$RELATION_NAME IN (" + ElencoNomi(tabelle) + ")");
  sql.Add("  ) L ON 1=1");
  sql.Add("ORDER BY");
  sql.Add("  L.TABELLA,");
  sql.Add("  L.POSIZIONE");
  statement.SetPrepareDialect(3);
  statement.Execute();
  database.SetInformazioni(statement.FieldByName("DIALETTO").AsInteger(),
                           statement.FieldByName("PROTOCOLLO").AsString());
  identita.Nome = statement.FieldByName("NOME_DATABASE").AsString();
  identita.Creazione = statement.FieldByName("CREAZIONE").AsTimeStamp();
  LeggiTracciati(statement, tracciati);
  return identita;
}

TIdentitaDatabase IdentitaDatabase(TSQLDatabase& database, TSQLTransaction& transaction) {
  TSQLStatement statement;
  InterrogazioneDiSistema(statement, database, transaction);
  TStrings& sql = statement.SQL();
  sql.Add("SELECT");
  sql.Add("  MON$DATABASE_NAME AS NOME,");
  // Firebird 4 keeps it WITH TIME ZONE, a type that a Firebird 3 client cannot describe.
  sql.Add("  CAST(MON$CREATION_DATE AS TIMESTAMP) AS CREAZIONE");
  sql.Add("FROM");
  sql.Add("  MON$DATABASE");
  statement.Execute();
  TIdentitaDatabase identita;
  identita.Nome = statement.FieldByName("NOME").AsString();
  identita.Creazione = statement.FieldByName("CREAZIONE").AsTimeStamp();
  return identita;
}

const char* NomeDiritto(TDiritto diritto) {
  switch (diritto) {
    case TDiritto::Select:
      return "SELECT";
    case TDiritto::Insert:
      return "INSERT";
    case TDiritto::Update:
      return "UPDATE";
    case TDiritto::Delete:
      break;
  }
  return "DELETE";
}

TDirittiLogin DirittiLogin(const std::vector<TDirittoTabella>& richiesti,
                           TSQLTransaction& transaction) {
  if (richiesti.empty()) return {};
  std::vector<std::string> tabelle;
  for (const TDirittoTabella& r : richiesti)
    if (std::find(tabelle.begin(), tabelle.end(), r.Tabella) == tabelle.end())
      tabelle.push_back(r.Tabella);
  // Across a slow link each request waits a round trip: who the login is, whether it may do
  // anything, and its rights on the tables come as one text. A right given column by column
  // does not count: the statements write every column.
  const std::string tutto =
      "CURRENT_USER='SYSDBA' OR CURRENT_ROLE='RDB$ADMIN' OR CURRENT_USER=TRIM(M.MON$OWNER)";
  const std::string sql =
      "SELECT CAST(" + TestoNome("CURRENT_USER") + "||" + TestoNome("CURRENT_ROLE") + "||" +
      TestoNumero("IIF(" + tutto + ",1,0)") + "||COALESCE((SELECT LIST(" +
      TestoNome("TRIM(P.RDB$RELATION_NAME)") + "||" + TestoNome("TRIM(P.RDB$PRIVILEGE)") +
      ",'') FROM RDB$USER_PRIVILEGES P WHERE P.RDB$RELATION_NAME IN (" + ElencoNomi(tabelle) +
      ") AND P.RDB$OBJECT_TYPE=0 AND P.RDB$FIELD_NAME IS NULL AND (P.RDB$USER_TYPE=8 AND "
      "P.RDB$USER IN (CURRENT_USER,'PUBLIC') OR P.RDB$USER_TYPE=13 AND "
      "P.RDB$USER=CURRENT_ROLE)),'') AS VARCHAR(" +
      std::to_string(kTestoDescrizione) + ") CHARACTER SET OCTETS) FROM MON$DATABASE M";
  if (!transaction.Active()) transaction.SetActive(true);
  const std::string testo = transaction.LeggiImmediato(sql, kTestoDescrizione, 3);
  TLettoreDescrizione lettore(testo);
  TDirittiLogin login;
  login.Utente = lettore.Nome();
  login.Ruolo = lettore.Nome();
  if (login.Ruolo == "NONE") login.Ruolo.clear();
  if (lettore.Numero() == 1) return login;
  std::vector<TDirittoTabella> concessi;
  while (!lettore.Fine()) {
    const std::string tabella = lettore.Nome();
    const std::string diritto = lettore.Nome();
    if (diritto.size() == 1) concessi.push_back({tabella, static_cast<TDiritto>(diritto[0])});
  }
  for (const TDirittoTabella& r : richiesti)
    if (std::find(concessi.begin(), concessi.end(), r) == concessi.end())
      login.Mancanti.push_back(r);
  return login;
}

bool CaricaColonnaTesto(const std::string& tabella, const std::string& colonna,
                        TSQLDatabase& database, TSQLTransaction& transaction,
                        TColonnaTesto& risultato) {
  risultato = TColonnaTesto();
  TSQLStatement statement;
  InterrogazioneDiSistema(statement, database, transaction);
  TStrings& sql = statement.SQL();
  sql.Add("SELECT");
  sql.Add("  COALESCE(B.RDB$CHARACTER_LENGTH,0) AS DIMENSIONE,");
  sql.Add("  COALESCE(C.RDB$BYTES_PER_CHARACTER,1) AS BYTES,");
  sql.Add("  TRIM(COALESCE(C.RDB$CHARACTER_SET_NAME,'NONE')) AS CHARSET");
  sql.Add("FROM");
  sql.Add("  RDB$RELATION_FIELDS A");
  sql.Add("  INNER JOIN RDB$FIELDS B ON");
  sql.Add("  A.RDB$FIELD_SOURCE=B.RDB$FIELD_NAME");
  sql.Add("  LEFT JOIN RDB$CHARACTER_SETS C ON");
  sql.Add("  C.RDB$CHARACTER_SET_ID=B.RDB$CHARACTER_SET_ID");
  sql.Add("WHERE");
  sql.Add("  A.RDB$RELATION_NAME='" + tabella + "'");
  sql.Add("  AND");
  sql.Add("  A.RDB$FIELD_NAME='" + colonna + "'");
  sql.Add("  AND");
  sql.Add("  (B.RDB$FIELD_TYPE IN (14,37) OR B.RDB$FIELD_TYPE=261 AND B.RDB$FIELD_SUB_TYPE=1)");
  statement.Execute();
  if (statement.Eof()) return false;
  risultato.Caratteri = statement.FieldByName("DIMENSIONE").AsInteger();
  risultato.BytesPerCarattere = statement.FieldByName("BYTES").AsInteger();
  risultato.CharacterSet = statement.FieldByName("CHARSET").AsString();
  return true;
}

std::string TagliaAColonna(const std::string& testo, const TColonnaTesto& colonna) {
  const size_t massimo =
      colonna.Caratteri > 0 ? static_cast<size_t>(colonna.Caratteri) : std::string::npos;
  if (colonna.BytesPerCarattere <= 1) return testo.substr(0, massimo);
  const auto* p = reinterpret_cast<const unsigned char*>(testo.data());
  // A server refuses malformed UTF-8 for a Unicode column, and the whole note with it; a text
  // from elsewhere (a server's message in its own code page, a path) may well hold some.
  const bool unicode = Unicode(colonna.CharacterSet);
  std::string risultato;
  size_t fine = 0;
  for (size_t caratteri = 0; caratteri < massimo && fine < testo.size(); ++caratteri) {
    const size_t n = LunghezzaCarattere(colonna.CharacterSet, p + fine, testo.size() - fine);
    if (unicode && SequenzaUTF8(p + fine, testo.size() - fine) == 0)
      risultato += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
    else
      risultato.append(testo, fine, n);
    fine += n;
  }
  return risultato;
}

namespace {

// The words that the server reserves, in order: bare, none of them can name a column.
// clang-format off
constexpr std::string_view kRiservate[] = {
    "ADD", "ADMIN", "ALL", "ALTER", "AND", "ANY", "AS", "AT", "AVG", "BEGIN", "BETWEEN", "BIGINT",
    "BIT_LENGTH", "BLOB", "BOOLEAN", "BOTH", "BY", "CASE", "CAST", "CHAR", "CHARACTER",
    "CHARACTER_LENGTH", "CHAR_LENGTH", "CHECK", "CLOSE", "COLLATE", "COLUMN", "COMMIT", "CONNECT",
    "CONSTRAINT", "CORR", "COUNT", "COVAR_POP", "COVAR_SAMP", "CREATE", "CROSS", "CURRENT",
    "CURRENT_CONNECTION", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_TRANSACTION", "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEC", "DECIMAL", "DECLARE",
    "DEFAULT", "DELETE", "DELETING", "DETERMINISTIC", "DISCONNECT", "DISTINCT", "DOUBLE", "DROP",
    "ELSE", "END", "ESCAPE", "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT", "FALSE", "FETCH", "FILTER",
    "FLOAT", "FOR", "FOREIGN", "FROM", "FULL", "FUNCTION", "GDSCODE", "GLOBAL", "GRANT", "GROUP",
    "HAVING", "HOUR", "IN", "INDEX", "INNER", "INSENSITIVE", "INSERT", "INSERTING", "INT",
    "INTEGER", "INTO", "IS", "JOIN", "LEADING", "LEFT", "LIKE", "LONG", "LOWER", "MAX",
    "MAXIMUM_SEGMENT", "MERGE", "MIN", "MINUTE", "MONTH", "NATIONAL", "NATURAL", "NCHAR", "NO",
    "NOT", "NULL", "NUMERIC", "OCTET_LENGTH", "OF", "OFFSET", "ON", "ONLY", "OPEN", "OR", "ORDER",
    "OUTER", "OVER", "PARAMETER", "PLAN", "POSITION", "POST_EVENT", "PRECISION", "PRIMARY",
    "PROCEDURE", "RDB$DB_KEY", "RDB$RECORD_VERSION", "REAL", "RECORD_VERSION", "RECREATE",
    "RECURSIVE", "REFERENCES", "REGR_AVGX", "REGR_AVGY", "REGR_COUNT", "REGR_INTERCEPT", "REGR_R2",
    "REGR_SLOPE", "REGR_SXX", "REGR_SXY", "REGR_SYY", "RELEASE", "RETURN", "RETURNING_VALUES",
    "RETURNS", "REVOKE", "RIGHT", "ROLLBACK", "ROW", "ROWS", "ROW_COUNT", "SAVEPOINT", "SCROLL",
    "SECOND", "SELECT", "SENSITIVE", "SET", "SIMILAR", "SMALLINT", "SOME", "SQLCODE", "SQLSTATE",
    "START", "STDDEV_POP", "STDDEV_SAMP", "SUM", "TABLE", "THEN", "TIME", "TIMESTAMP", "TO",
    "TRAILING", "TRIGGER", "TRIM", "TRUE", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPDATING",
    "UPPER", "USER", "USING", "VALUE", "VALUES", "VARCHAR", "VARIABLE", "VARYING", "VAR_POP",
    "VAR_SAMP", "VIEW", "WHEN", "WHERE", "WHILE", "WITH", "YEAR",
};
// clang-format on
static_assert(std::is_sorted(std::begin(kRiservate), std::end(kRiservate)));

// The longest name that Firebird 4 and later take (Firebird 3: 31); a bare name is ASCII, a byte
// a character.
constexpr size_t kNomeMassimo = 63;

}  // namespace

bool NomeNudo(const std::string& nome) {
  if (nome.empty() || nome.size() > kNomeMassimo || nome[0] < 'A' || nome[0] > 'Z') return false;
  for (char c : nome)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$')) return false;
  return !std::binary_search(std::begin(kRiservate), std::end(kRiservate), nome);
}
