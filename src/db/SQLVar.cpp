#include "db/SQLVar.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/Blob.h"
#include "db/SQLDatabase.h"
#include "db/SQLInternal.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"

namespace {

constexpr int64_t kPotenze10[] = {1,
                                  10,
                                  100,
                                  1000,
                                  10000,
                                  100000,
                                  1000000,
                                  10000000,
                                  100000000,
                                  1000000000,
                                  10000000000,
                                  100000000000,
                                  1000000000000,
                                  10000000000000,
                                  100000000000000,
                                  1000000000000000,
                                  10000000000000000,
                                  100000000000000000,
                                  1000000000000000000};

template <typename T>
T Leggi(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Scrivi(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

bool TipoIntero(int tipo) {
  return tipo == SQL_SHORT || tipo == SQL_LONG || tipo == SQL_INT64;
}
bool TipoReale(int tipo) {
  return tipo == SQL_FLOAT || tipo == SQL_DOUBLE || tipo == SQL_D_FLOAT;
}
bool TipoTesto(int tipo) {
  return tipo == SQL_TEXT || tipo == SQL_VARYING;
}
bool TipoDataOra(int tipo) {
  return tipo == SQL_TIMESTAMP || tipo == SQL_TYPE_DATE || tipo == SQL_TYPE_TIME;
}

std::string TestoReale(double v) {
  char testo[64];
  std::snprintf(testo, sizeof testo, "%.15g", v);
  return testo;
}

// value = stored x 10^scale as exact fixed-point text.
std::string TestoFisso(int64_t valore, int scala) {
  bool negativo = valore < 0;
  uint64_t assoluto = negativo ? 0 - static_cast<uint64_t>(valore) : static_cast<uint64_t>(valore);
  std::string cifre = std::to_string(assoluto);
  size_t decimali = static_cast<size_t>(-scala);
  if (cifre.size() <= decimali) cifre.insert(0, decimali + 1 - cifre.size(), '0');
  cifre.insert(cifre.size() - decimali, 1, '.');
  return negativo ? "-" + cifre : cifre;
}

// Not a number in the whole text: std::nullopt-free form, false.
bool InteroDaTesto(const std::string& grezzo, int64_t& valore) {
  std::string s = Rifila(grezzo, " ");
  const char* inizio = s.data();
  const char* fine = s.data() + s.size();
  if (inizio != fine && *inizio == '+') ++inizio;
  auto [p, ec] = std::from_chars(inizio, fine, valore);
  return ec == std::errc() && p == fine && inizio != fine;
}

bool RealeDaTesto(const std::string& grezzo, double& valore) {
  std::string s = Rifila(grezzo, " ");
  const char* inizio = s.data();
  const char* fine = s.data() + s.size();
  if (inizio != fine && *inizio == '+') ++inizio;
  auto [p, ec] = std::from_chars(inizio, fine, valore);
  return ec == std::errc() && p == fine && inizio != fine;
}

int32_t InInt32(double v) {
  double t = std::trunc(v);
  if (!(t >= std::numeric_limits<int32_t>::min() && t <= std::numeric_limits<int32_t>::max()))
    ErroreConversione();
  return static_cast<int32_t>(t);
}

int32_t InInt32(int64_t v) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    ErroreConversione();
  return static_cast<int32_t>(v);
}

}  // namespace

size_t LunghezzaVarying(const XSQLVAR& var) {
  const uint16_t lunghezza = Leggi<uint16_t>(var.sqldata);
  if (var.sqllen < 0 || lunghezza > static_cast<uint16_t>(var.sqllen)) ErroreConversione();
  return lunghezza;
}

TSQLVar::TSQLVar(TSQLStatement& statement, Chiave)
    : statement_(statement), impl_(std::make_unique<Impl>()) {}

TSQLVar::~TSQLVar() = default;

int TSQLVar::SQLType() const {
  return impl_->var->sqltype & ~1;
}
int TSQLVar::SQLSubType() const {
  return impl_->var->sqlsubtype;
}
bool TSQLVar::Nullable() const {
  return (impl_->var->sqltype & 1) != 0;
}
int TSQLVar::Scale() const {
  return impl_->var->sqlscale;
}
int TSQLVar::Size() const {
  return impl_->var->sqllen;
}
int TSQLVar::MaxLength() const {
  return impl_->maxLength;
}
const std::string& TSQLVar::Name() const {
  return impl_->nome;
}

bool TSQLVar::IsNull() const {
  const XSQLVAR& v = *impl_->var;
  return (v.sqltype & 1) && v.sqlind && *v.sqlind == -1;
}

void TSQLVar::HandlesBlob(TSQLDatabase*& database, unsigned int*& transaction) const {
  TSQLDatabase* db = statement_.Database();
  TSQLTransaction* tr = statement_.Transaction();
  if (!db) ErroreSQL(ceDatabaseNonAssegnato, "Database not assigned");
  if (!db->Connected()) ErroreSQL(ceDBNonAperto, "Cannot perform operation -- DB is not open");
  if (!tr) ErroreSQL(ceTransazioneNonAssegnata, "Transaction not assigned");
  if (!tr->InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  database = db;
  transaction = tr->HandlePtr();
}

// ---- reading

int64_t TSQLVar::AsScaledInteger() const {
  if (IsNull()) return 0;
  const XSQLVAR& v = *impl_->var;
  switch (v.sqltype & ~1) {
    case SQL_SHORT:
      return Leggi<int16_t>(v.sqldata);
    case SQL_LONG:
      return Leggi<int32_t>(v.sqldata);
    case SQL_INT64:
      return Leggi<int64_t>(v.sqldata);
    default:
      ErroreConversione();
  }
}

TSQLTimeStamp TSQLVar::AsTimeStamp() const {
  if (IsNull()) return {};
  const XSQLVAR& v = *impl_->var;
  switch (v.sqltype & ~1) {
    case SQL_TIMESTAMP:
      return {Leggi<int32_t>(v.sqldata), Leggi<uint32_t>(v.sqldata + 4)};
    case SQL_TYPE_DATE:
      return {Leggi<int32_t>(v.sqldata), 0};
    default:
      ErroreConversione();
  }
}

uint32_t TSQLVar::AsSQLTime() const {
  if (IsNull()) return 0;
  if (SQLType() != SQL_TYPE_TIME) ErroreConversione();
  return Leggi<uint32_t>(impl_->var->sqldata);
}

int32_t TSQLVar::AsSQLDate() const {
  if (IsNull()) return 0;
  if (SQLType() != SQL_TYPE_DATE) ErroreConversione();
  return Leggi<int32_t>(impl_->var->sqldata);
}

std::string TSQLVar::AsString() const {
  if (IsNull()) return "";
  const XSQLVAR& v = *impl_->var;
  const int tipo = v.sqltype & ~1;
  switch (tipo) {
    case SQL_TEXT:
      return std::string(v.sqldata, static_cast<size_t>(v.sqllen));
    case SQL_VARYING:
      return std::string(v.sqldata + 2, LunghezzaVarying(v));
    case SQL_BLOB: {
      TSQLDatabase* db = nullptr;
      unsigned int* tr = nullptr;
      HandlesBlob(db, tr);
      std::string testo;
      LeggiBlob(db, tr, Leggi<ISC_QUAD>(v.sqldata), testo);
      return testo;
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
      int64_t valore = AsScaledInteger();
      if (v.sqlscale == 0) return std::to_string(valore);
      if (v.sqlscale >= -4) return TestoFisso(valore, v.sqlscale);
      return TestoReale(AsDouble());
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return TestoReale(AsDouble());
    case SQL_TIMESTAMP:
      return TestoData(Leggi<int32_t>(v.sqldata)) + " " + TestoOra(Leggi<uint32_t>(v.sqldata + 4));
    case SQL_TYPE_DATE: {
      std::string data = TestoData(Leggi<int32_t>(v.sqldata));
      return statement_.Dialetto() < 3 ? data + " 00:00:00" : data;
    }
    case SQL_TYPE_TIME:
      return TestoOra(Leggi<uint32_t>(v.sqldata));
    case SQL_ARRAY:
      return "(Array)";
    case SQL_BOOLEAN:
      return v.sqldata[0] ? "TRUE" : "FALSE";
    default:
      ErroreConversione();
  }
}

int32_t TSQLVar::AsInteger() const {
  if (IsNull()) return 0;
  const XSQLVAR& v = *impl_->var;
  const int tipo = v.sqltype & ~1;
  if (TipoIntero(tipo)) {
    int64_t valore = AsScaledInteger();
    if (v.sqlscale < 0) {
      if (-v.sqlscale > 18) return 0;
      valore /= kPotenze10[-v.sqlscale];  // truncates toward zero
    }
    return InInt32(valore);
  }
  if (TipoReale(tipo)) return InInt32(AsDouble());
  if (TipoTesto(tipo)) {
    int64_t valore = 0;
    if (!InteroDaTesto(AsString(), valore)) ErroreConversione();
    return InInt32(valore);
  }
  if (tipo == SQL_BOOLEAN) return v.sqldata[0] ? 1 : 0;
  ErroreConversione();
}

double TSQLVar::AsDouble() const {
  if (IsNull()) return 0;
  const XSQLVAR& v = *impl_->var;
  const int tipo = v.sqltype & ~1;
  switch (tipo) {
    case SQL_FLOAT:
      return Leggi<float>(v.sqldata);
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return Leggi<double>(v.sqldata);
    default:
      break;
  }
  if (TipoIntero(tipo)) {
    double valore = static_cast<double>(AsScaledInteger());
    // One division by an exact power of ten gives the double nearest to the decimal value,
    // which is the value rounded to the column's decimals.
    if (v.sqlscale < 0) valore /= std::pow(10.0, -v.sqlscale);
    return valore;
  }
  if (TipoTesto(tipo)) {
    double valore = 0;
    if (!RealeDaTesto(AsString(), valore)) ErroreConversione();
    return valore;
  }
  ErroreConversione();
}

TDateTime TSQLVar::AsDateTime() const {
  if (IsNull()) return 0;
  const XSQLVAR& v = *impl_->var;
  switch (v.sqltype & ~1) {
    case SQL_TIMESTAMP:
      return DataOraDaSQL(Leggi<int32_t>(v.sqldata), Leggi<uint32_t>(v.sqldata + 4));
    case SQL_TYPE_DATE:
      return DataOraDaSQL(Leggi<int32_t>(v.sqldata), 0);
    case SQL_TYPE_TIME:
      return DataOraDaSQL(kGiornoZeroDateTime, Leggi<uint32_t>(v.sqldata));
    case SQL_TEXT:
    case SQL_VARYING: {
      TDateTime valore = 0;
      if (!DataOraDaTesto(AsString(), valore)) ErroreConversione();
      return valore;
    }
    default:
      ErroreConversione();
  }
}

TVariant TSQLVar::AsVariant() const {
  if (IsNull()) return TVariant::MakeNull();
  const XSQLVAR& v = *impl_->var;
  const int tipo = v.sqltype & ~1;
  switch (tipo) {
    case SQL_TEXT:
    case SQL_VARYING:
      return TVariant::MakeTesto(AsString());
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return TVariant::MakeDouble(AsDouble());
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
      if (v.sqlscale == 0) {
        if (tipo == SQL_INT64) ErroreConversione();
        return TVariant::MakeIntero(static_cast<int32_t>(AsScaledInteger()));
      }
      if (v.sqlscale >= -4) {
        // Currency counts ten-thousandths: scale the stored integer up, exactly.
        int64_t valore = AsScaledInteger();
        int64_t fattore = kPotenze10[4 + v.sqlscale];
        if (valore > std::numeric_limits<int64_t>::max() / fattore ||
            valore < std::numeric_limits<int64_t>::min() / fattore)
          ErroreConversione();
        return TVariant::MakeCurrency(valore * fattore);
      }
      return TVariant::MakeDouble(AsDouble());
    }
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      return TVariant::MakeDateTime(AsDateTime());
    case SQL_BLOB:
      return TVariant::MakeTesto("(Blob)");
    case SQL_ARRAY:
      return TVariant::MakeTesto("(Array)");
    default:
      ErroreConversione();
  }
}

// ---- setting

void TSQLVar::SetAsInteger(int32_t value) {
  for (TSQLVar* g : impl_->gemelli) Scrivi(g->impl_->Imposta(SQL_LONG, 0, 4, 0, 4), value);
}

void TSQLVar::SetAsDouble(double value) {
  for (TSQLVar* g : impl_->gemelli) Scrivi(g->impl_->Imposta(SQL_DOUBLE, 0, 8, 0, 8), value);
}

void TSQLVar::SetAsCurrency(int64_t valueTimes10000) {
  if (statement_.Dialetto() < 3) {
    SetAsDouble(static_cast<double>(valueTimes10000) / 10000.0);
    return;
  }
  SetAsScaledInteger(valueTimes10000, -4);
}

void TSQLVar::SetAsScaledInteger(int64_t stored, int scale) {
  for (TSQLVar* g : impl_->gemelli) Scrivi(g->impl_->Imposta(SQL_INT64, scale, 8, 0, 8), stored);
}

void TSQLVar::SetAsDate(TDateTime value) {
  if (statement_.Dialetto() < 3) {
    SetAsDateTime(value);
    return;
  }
  int32_t giorno = 0;
  uint32_t tempo = 0;
  DataOraInSQL(std::trunc(value), giorno, tempo);
  SetAsSQLDate(giorno);
}

void TSQLVar::SetAsTime(TDateTime value) {
  if (statement_.Dialetto() < 3) {
    SetAsDateTime(value);
    return;
  }
  int32_t giorno = 0;
  uint32_t tempo = 0;
  DataOraInSQL(value, giorno, tempo);
  SetAsSQLTime(tempo);
}

void TSQLVar::SetAsDateTime(TDateTime value) {
  TSQLTimeStamp ts;
  DataOraInSQL(value, ts.Date, ts.Time);
  SetAsTimeStamp(ts);
}

void TSQLVar::SetAsTimeStamp(const TSQLTimeStamp& value) {
  for (TSQLVar* g : impl_->gemelli) {
    char* p = g->impl_->Imposta(SQL_TIMESTAMP, 0, 8, 0, 8);
    Scrivi(p, value.Date);
    Scrivi(p + 4, value.Time);
  }
}

void TSQLVar::SetAsSQLTime(uint32_t value) {
  for (TSQLVar* g : impl_->gemelli) Scrivi(g->impl_->Imposta(SQL_TYPE_TIME, 0, 4, 0, 4), value);
}

void TSQLVar::SetAsSQLDate(int32_t value) {
  for (TSQLVar* g : impl_->gemelli) Scrivi(g->impl_->Imposta(SQL_TYPE_DATE, 0, 4, 0, 4), value);
}

void TSQLVar::SetAsString(const std::string& value) {
  // The kind of a parameter is the one the server described: a parameter that once received a
  // text must still turn an empty text into NULL on the next row.
  for (TSQLVar* g : impl_->gemelli) {
    const Impl& d = *g->impl_;
    if (TipoTesto(d.tipoDescritto) && d.maxLength > 0 &&
        value.size() > static_cast<size_t>(d.maxLength))
      ErroreSQL(ceStringaTroppoLunga,
                "Trying to store a string of length " + std::to_string(value.size()) +
                    " into a field that can only contain " + std::to_string(d.maxLength));
  }
  for (TSQLVar* g : impl_->gemelli) {
    Impl& d = *g->impl_;
    if (d.tipoDescritto == SQL_BLOB) {
      TSQLDatabase* db = nullptr;
      unsigned int* tr = nullptr;
      HandlesBlob(db, tr);
      ISC_QUAD id = ScriviBlob(db, tr, value.data(), value.size());
      Scrivi(d.Imposta(SQL_BLOB, 0, 8, d.sottotipoDescritto, 8), id);
      continue;
    }
    if (!TipoTesto(d.tipoDescritto) && value.empty()) {
      g->Clear1();
      continue;
    }
    if (TipoDataOra(d.tipoDescritto)) {
      TDateTime valore = 0;
      if (!DataOraDaTesto(value, valore)) ErroreConversione();
      TSQLTimeStamp ts;
      DataOraInSQL(valore, ts.Date, ts.Time);
      char* p = d.Imposta(SQL_TIMESTAMP, 0, 8, 0, 8);
      Scrivi(p, ts.Date);
      Scrivi(p + 4, ts.Time);
      continue;
    }
    if (value.size() > static_cast<size_t>(std::numeric_limits<ISC_SHORT>::max()))
      ErroreConversione();
    // A text keeps the character set the server described for it; text for another type goes
    // without one and the server converts it.
    int sottotipo = TipoTesto(d.tipoDescritto) ? d.sottotipoDescritto : 0;
    char* p = d.Imposta(SQL_TEXT, 0, static_cast<int>(value.size()), sottotipo, value.size());
    if (!value.empty()) std::memcpy(p, value.data(), value.size());
  }
}

void TSQLVar::SetAsVariant(const TVariant& value) {
  switch (value.tipo) {
    case TVariant::Tipo::Vuoto:
    case TVariant::Tipo::Null:
      Clear();
      return;
    case TVariant::Tipo::Intero:
      SetAsInteger(value.intero);
      return;
    case TVariant::Tipo::Double:
      SetAsDouble(value.reale);
      return;
    case TVariant::Tipo::Currency:
      SetAsCurrency(value.currency);
      return;
    case TVariant::Tipo::DateTime:
      SetAsDateTime(value.reale);
      return;
    case TVariant::Tipo::Testo:
      SetAsString(value.testo);
      return;
    case TVariant::Tipo::Booleano:
      SetAsInteger(value.booleano ? 1 : 0);
      return;
    case TVariant::Tipo::Array:
      ErroreSQL(ceNonSupportato, "Unsupported feature");
    case TVariant::Tipo::Oggetto:
    case TVariant::Tipo::Errore:
      ErroreSQL(ceNonPermesso, "Not permitted");
  }
  ErroreSQL(ceNonPermesso, "Not permitted");
}

void TSQLVar::Clear1() {
  Impl& d = *impl_;
  d.var->sqltype = static_cast<ISC_SHORT>(d.var->sqltype | 1);
  d.var->sqlind = &d.indicatore;
  d.indicatore = -1;
}

void TSQLVar::Clear() {
  for (TSQLVar* g : impl_->gemelli) g->Clear1();
}

void TSQLVar::Assign(const TSQLVar& source) {
  const XSQLVAR& s = *source.impl_->var;
  const int tipo = s.sqltype & ~1;
  const bool nullo = source.IsNull();
  if (tipo == SQL_ARRAY && !nullo) ErroreConversione();
  if (tipo == SQL_BLOB && !nullo) {
    AssegnaBlob(source);
    return;
  }
  const size_t bytes =
      tipo == SQL_VARYING ? 2 + static_cast<size_t>(s.sqllen) : static_cast<size_t>(s.sqllen);
  // Checked before any parameter changes: each one's buffer is sized from the declared length.
  const size_t testo = tipo == SQL_VARYING && !nullo ? LunghezzaVarying(s) : 0;
  for (TSQLVar* g : impl_->gemelli) {
    Impl& d = *g->impl_;
    char* p = d.Imposta(tipo, s.sqlscale, s.sqllen, s.sqlsubtype, bytes);
    if (nullo) {
      d.indicatore = -1;
    } else if (tipo == SQL_VARYING) {
      std::memcpy(p, s.sqldata, 2 + testo);
    } else {
      std::memcpy(p, s.sqldata, bytes);
    }
  }
}

void TSQLVar::AssegnaBlob(const TSQLVar& source) {
  const XSQLVAR& s = *source.impl_->var;
  TSQLDatabase* dbDa = nullptr;
  unsigned int* trDa = nullptr;
  source.HandlesBlob(dbDa, trDa);
  TSQLDatabase* dbA = nullptr;
  unsigned int* trA = nullptr;
  HandlesBlob(dbA, trA);
  const ISC_QUAD id = Leggi<ISC_QUAD>(s.sqldata);

  // A blob of up to a VARCHAR's length goes to the server inside the parameter itself, as text
  // that the server stores into the blob column: the row then costs one request instead of three
  // (create, close, execute) when the destination is reached over the network. It goes in the
  // blob's own character set (OCTETS for a binary blob), so the server stores the bytes as they
  // are. Longer blobs, blobs of other subtypes and parameters that are not blobs take the
  // segment path.
  Impl& primo = *impl_;
  auto testoAmmesso = [](const Impl& d) {
    return d.tipoDescritto == SQL_BLOB &&
           BlobComeTestoAmmesso(d.sottotipoDescritto, d.scalaDescritta);
  };
  bool comeTesto = testoAmmesso(primo);
  size_t letti = 0;
  if (comeTesto) {
    char* p = primo.Spazio(2 + kBlobComeTestoMassimo + 1);
    comeTesto = LeggiBlobCorto(dbDa, trDa, id, kBlobComeTestoMassimo, p + 2, letti);
  }
  for (TSQLVar* g : impl_->gemelli) {
    Impl& d = *g->impl_;
    if (comeTesto && testoAmmesso(d)) {
      const short set = d.sottotipoDescritto == isc_blob_text ? d.scalaDescritta : 1;
      // A text that is empty still needs a declared length for the server to accept it.
      const int len = letti > 0 ? static_cast<int>(letti) : 1;
      char* p = d.Imposta(SQL_VARYING, 0, len, set, 2 + kBlobComeTestoMassimo + 1);
      if (&d != &primo) std::memcpy(p + 2, primo.dati.data() + 2, letti);
      Scrivi(p, static_cast<uint16_t>(letti));
      continue;
    }
    char* p = d.Imposta(SQL_BLOB, s.sqlscale, s.sqllen, s.sqlsubtype, 8);
    Scrivi(p, CopiaBlob(dbDa, trDa, id, dbA, trA, statement_.impl_->segmento));
  }
}

bool TSQLVar::BlobComeTesto() const {
  const Impl& d = *impl_;
  return d.parametro && d.tipoDescritto == SQL_BLOB &&
         BlobComeTestoAmmesso(d.sottotipoDescritto, d.scalaDescritta);
}

void TSQLVar::AssignBlobText(const TSQLVar& testo) {
  const XSQLVAR& s = *testo.impl_->var;
  if ((s.sqltype & ~1) != SQL_VARYING) ErroreConversione();
  const bool nullo = testo.IsNull();
  const size_t letti = nullo ? 0 : Leggi<uint16_t>(s.sqldata);
  if (letti > kBlobComeTestoMassimo) ErroreConversione();
  for (TSQLVar* g : impl_->gemelli) {
    if (!g->BlobComeTesto()) ErroreConversione();
    Impl& d = *g->impl_;
    // The same form as a short blob that Assign reads: text in the blob's own set (OCTETS for a
    // binary blob), with a declared length of at least 1.
    const short set = d.sottotipoDescritto == isc_blob_text ? d.scalaDescritta : 1;
    const int len = letti > 0 ? static_cast<int>(letti) : 1;
    char* p = d.Imposta(SQL_VARYING, 0, len, set, 2 + static_cast<size_t>(len));
    if (nullo) {
      d.indicatore = -1;
      continue;
    }
    std::memcpy(p + 2, s.sqldata + 2, letti);
    Scrivi(p, static_cast<uint16_t>(letti));
  }
}

size_t TSQLVar::ByteMessaggio() const {
  const XSQLVAR& v = *impl_->var;
  return static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0) + 2;
}

void TSQLVar::CopiaValore(const TSQLVar& source) {
  const XSQLVAR& s = *source.impl_->var;
  const int tipo = s.sqltype & ~1;
  size_t bytes = static_cast<size_t>(s.sqllen);
  if (tipo == SQL_VARYING) bytes += 2;
  Impl& d = *impl_;
  char* p = d.Imposta(tipo, s.sqlscale, s.sqllen, s.sqlsubtype, bytes);
  if (source.IsNull()) {
    d.indicatore = -1;
    return;
  }
  if (tipo == SQL_VARYING) bytes = 2 + Leggi<uint16_t>(s.sqldata);
  std::memcpy(p, s.sqldata, bytes);
}
