#include "db/SQLStatement.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "db/LetturaAnticipata.h"
#include "db/SQLDatabase.h"
#include "db/SQLInternal.h"
#include "db/SQLTransaction.h"

namespace {

const char* const kStatementAperto = "Cannot perform operation -- statement is open";
const char* const kStatementChiuso = "Cannot perform operation -- statement is not open";

std::string Maiuscolo(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void ErroreParsing(const std::string& dettaglio) {
  ErroreSQL(ceErroreParsing, "SQL Parse Error:\r\n\r\n" + dettaglio);
}

bool CarattereNome(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

TTipoStatement TipoDaInfo(long tipo) {
  switch (tipo) {
    case isc_info_sql_stmt_select:
      return TTipoStatement::Select;
    case isc_info_sql_stmt_insert:
      return TTipoStatement::Insert;
    case isc_info_sql_stmt_update:
      return TTipoStatement::Update;
    case isc_info_sql_stmt_delete:
      return TTipoStatement::Delete;
    case isc_info_sql_stmt_ddl:
      return TTipoStatement::DDL;
    case isc_info_sql_stmt_get_segment:
      return TTipoStatement::GetSegment;
    case isc_info_sql_stmt_put_segment:
      return TTipoStatement::PutSegment;
    case isc_info_sql_stmt_exec_procedure:
      return TTipoStatement::ExecProcedure;
    case isc_info_sql_stmt_start_trans:
      return TTipoStatement::StartTransaction;
    case isc_info_sql_stmt_commit:
      return TTipoStatement::Commit;
    case isc_info_sql_stmt_rollback:
      return TTipoStatement::Rollback;
    case isc_info_sql_stmt_select_for_upd:
      return TTipoStatement::SelectForUpdate;
    case isc_info_sql_stmt_set_generator:
      return TTipoStatement::SetGenerator;
    default:
      return TTipoStatement::Sconosciuto;
  }
}

// Frees a statement handle that a failed prepare leaves behind.
struct HandleProvvisorio {
  isc_stmt_handle handle = 0;
  ~HandleProvvisorio() {
    if (handle) {
      ISC_STATUS_ARRAY status{};
      isc_dsql_free_statement(status, &handle, DSQL_drop);
    }
  }
};

// Room for the value the server describes: a VARCHAR carries its 2-byte length in front.
size_t BytesDati(const XSQLVAR& v) {
  size_t n = static_cast<size_t>(v.sqllen);
  if ((v.sqltype & ~1) == SQL_VARYING) n += 2;
  return n;
}

bool TipoTesto(int tipo) {
  return tipo == SQL_TEXT || tipo == SQL_VARYING;
}

// The descriptor holds 31 bytes of a column's name; of a longer one (Firebird 4 allows 63
// characters, up to 4 bytes each) the client keeps what fits and gives the whole length, or a
// negative one.
bool NomeTagliato(const XSQLVAR& v) {
  return v.aliasname_length < 0 || static_cast<size_t>(v.aliasname_length) >= sizeof v.aliasname;
}

[[noreturn]] void RispostaNomiNonValida() {
  ErroreSQL(ceNonSupportato, "Unexpected answer of the server to the request of column names");
}

// The whole names of the statement's columns from the first one cut on, as the server gives them.
// An answer holds the columns that fit in it: the next request starts at the first one left out.
void NomiDalServer(const TSQLDatabase* database, isc_stmt_handle& handle, const XSQLDA& da,
                   std::vector<std::string>& nomi) {
  size_t completi = 0;  // columns whose names are all in
  while (completi < nomi.size() && !NomeTagliato(da.sqlvar[completi])) ++completi;
  std::vector<char> risposta(32767);  // the length is a short
  while (completi < nomi.size()) {
    const size_t primo = completi + 1;  // the server counts from 1
    const char richiesta[] = {isc_info_sql_sqlda_start,
                              2,
                              static_cast<char>(primo & 0xFF),
                              static_cast<char>((primo >> 8) & 0xFF),
                              isc_info_sql_select,
                              isc_info_sql_describe_vars,
                              isc_info_sql_sqlda_seq,
                              isc_info_sql_alias,
                              isc_info_sql_describe_end};
    ISC_STATUS_ARRAY status{};
    if (Sorvegliata(database, [&] {
          return isc_dsql_sql_info(status, &handle, sizeof richiesta, richiesta,
                                   static_cast<short>(risposta.size()), risposta.data());
        }))
      ErroreServer(status);
    const char* p = risposta.data();
    const char* const fine = p + risposta.size();
    auto valore = [&]() -> std::string_view {
      if (fine - p < 2) RispostaNomiNonValida();
      const auto n = static_cast<size_t>(isc_vax_integer(p, 2));
      p += 2;
      if (static_cast<size_t>(fine - p) < n) RispostaNomiNonValida();
      std::string_view v(p, n);
      p += n;
      return v;
    };
    const size_t prima = completi;
    size_t colonna = 0;  // from 1, as the server counts
    bool finita = false;
    while (!finita) {
      if (p >= fine) RispostaNomiNonValida();
      switch (*p++) {
        case isc_info_sql_select:
          break;
        case isc_info_sql_describe_vars:
          valore();  // the number of columns
          break;
        case isc_info_sql_sqlda_seq: {
          const std::string_view v = valore();
          colonna = static_cast<size_t>(isc_vax_integer(v.data(), static_cast<short>(v.size())));
          if (colonna < primo || colonna > nomi.size()) RispostaNomiNonValida();
          break;
        }
        case isc_info_sql_alias:
          if (colonna == 0) RispostaNomiNonValida();
          nomi[colonna - 1] = valore();
          break;
        case isc_info_sql_describe_end:
          if (colonna == 0) RispostaNomiNonValida();
          completi = colonna;
          break;
        case isc_info_truncated:
          if (completi == prima) RispostaNomiNonValida();  // not even one column fits
          finita = true;
          break;
        case isc_info_end:
          if (completi < nomi.size()) RispostaNomiNonValida();
          finita = true;
          break;
        default:
          RispostaNomiNonValida();
      }
    }
  }
}

// The output names of the columns that `da` describes: whole, when the descriptor holds a part.
std::vector<std::string> NomiColonne(const TSQLDatabase* database, isc_stmt_handle& handle,
                                     const XSQLDA& da) {
  std::vector<std::string> nomi(static_cast<size_t>(da.sqld));
  bool tagliati = false;
  for (size_t i = 0; i < nomi.size(); ++i) {
    const XSQLVAR& v = da.sqlvar[i];
    if (NomeTagliato(v))
      tagliati = true;  // filled below
    else
      nomi[i].assign(v.aliasname, static_cast<size_t>(v.aliasname_length));
  }
  if (tagliati) NomiDalServer(database, handle, da, nomi);
  return nomi;
}

}  // namespace

std::string NormalizzaNome(const std::string& nome, int dialetto) {
  std::string s = Rifila(nome);
  if (dialetto >= 3 && s.size() >= 2 && s.front() == '"' && s.back() == '"') {
    std::string r;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
      r += s[i];
      if (s[i] == '"' && i + 2 < s.size() && s[i + 1] == '"') ++i;
    }
    return r;
  }
  return Maiuscolo(s);
}

std::string NomeUscita(const std::string& alias, const std::vector<std::string>& presi,
                       int& senzaNome) {
  auto preso = [&presi](const std::string& nome) {
    return std::find(presi.begin(), presi.end(), nome) != presi.end();
  };
  std::string nome = alias;
  if (nome.empty()) {
    do nome = "F_" + std::to_string(++senzaNome);
    while (preso(nome));
  } else if (preso(nome)) {
    for (int k = 1;; ++k) {
      nome = alias + std::to_string(k);
      if (!preso(nome)) break;
    }
  }
  return nome;
}

std::string SostituisciParametri(
    const std::string& testo,
    const std::function<std::string(const std::string& nome)>& sostituto) {
  std::string r;
  r.reserve(testo.size());
  size_t i = 0;
  const size_t n = testo.size();
  while (i < n) {
    char c = testo[i];
    if (c == '\'' || c == '"') {
      // A doubled quote inside is a closing and a reopening: copying both keeps it intact.
      size_t fine = testo.find(c, i + 1);
      if (fine == std::string::npos) ErroreParsing("EOF in string detected");
      r.append(testo, i, fine - i + 1);
      i = fine + 1;
    } else if (c == '/' && i + 1 < n && testo[i + 1] == '*') {
      size_t fine = testo.find("*/", i + 2);
      if (fine == std::string::npos) ErroreParsing("EOF in comment detected");
      r.append(testo, i, fine - i + 2);
      i = fine + 2;
    } else if (c == ':' || c == '?') {
      ++i;
      std::string nome;
      if (i < n && testo[i] == '"') {
        // Two double quotes in a row inside the name stand for one.
        size_t fine = testo.find('"', i + 1);
        while (fine != std::string::npos && fine + 1 < n && testo[fine + 1] == '"')
          fine = testo.find('"', fine + 2);
        if (fine == std::string::npos) ErroreParsing("EOF in string detected");
        nome = testo.substr(i, fine - i + 1);
        if (nome.size() == 2) ErroreParsing("Parameter name expected");
        i = fine + 1;
      } else {
        size_t inizio = i;
        while (i < n && CarattereNome(testo[i])) ++i;
        if (i == inizio) ErroreParsing("Parameter name expected");
        nome = testo.substr(inizio, i - inizio);
      }
      r += sostituto(nome);
    } else {
      r += c;
      ++i;
    }
  }
  return r;
}

std::string ScansionaParametri(const std::string& testo, std::vector<std::string>& nomi) {
  return SostituisciParametri(testo, [&nomi](const std::string& nome) {
    nomi.push_back(nome);
    return std::string(1, '?');
  });
}

TSQLStatement::TSQLStatement() : impl_(std::make_unique<Impl>()) {
  CaricaLibreriaClient();
  // An edit frees the prepared form but leaves an open cursor flagged, so that the next Execute
  // reports it instead of silently dropping the rows the caller was reading.
  sql_.SetGuards(nullptr, [this] { LiberaHandle(); });
}

TSQLStatement::~TSQLStatement() {
  Unprepare();
  if (transaction_) transaction_->UnregisterStatement(this);
  if (database_) database_->UnregisterStatement(this);
}

void TSQLStatement::SetDatabase(TSQLDatabase* database) {
  if (database == database_) return;
  Unprepare();
  if (database_) database_->UnregisterStatement(this);
  database_ = database;
  if (database_) database_->RegisterStatement(this);
}

void TSQLStatement::SetTransaction(TSQLTransaction* transaction) {
  if (transaction == transaction_) return;
  CloseCursor();
  if (transaction_) transaction_->UnregisterStatement(this);
  transaction_ = transaction;
  if (transaction_) transaction_->RegisterStatement(this);
}

void TSQLStatement::SetParamCheck(bool value) {
  if (value == paramCheck_) return;
  paramCheck_ = value;
  LiberaHandle();
}

bool TSQLStatement::Prepared() const {
  return impl_->handle != 0;
}

void TSQLStatement::VerificaTransazione() const {
  if (!transaction_) ErroreSQL(ceTransazioneNonAssegnata, "Transaction not assigned");
  if (!transaction_->InTransaction())
    ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
}

void TSQLStatement::Prepare() {
  if (open_) ErroreSQL(ceStatementAperto, kStatementAperto);
  if (!database_) ErroreSQL(ceDatabaseNonAssegnato, "Database not assigned");
  if (!database_->Connected())
    ErroreSQL(ceDBNonAperto, "Cannot perform operation -- DB is not open");
  VerificaTransazione();
  if (Prepared()) return;

  std::string testo = sql_.Text();
  if (Rifila(testo).empty()) ErroreSQL(ceQueryVuota, "Empty query");
  std::vector<std::string> nomi;
  std::string inviato = paramCheck_ ? ScansionaParametri(testo, nomi) : testo;
  const int dialetto = Dialetto();
  const auto dialettoClient = static_cast<unsigned short>(dialetto);

  ISC_STATUS_ARRAY status{};
  HandleProvvisorio h;
  if (Sorvegliata(database_, [&] {
        return isc_dsql_allocate_statement(status, database_->HandlePtr(), &h.handle);
      }))
    ErroreServer(status);
  PXSQLDA out = NuovoXSQLDA(1);
  if (Sorvegliata(database_, [&] {
        return isc_dsql_prepare(status, transaction_->HandlePtr(), &h.handle, 0, inviato.c_str(),
                                dialettoClient, out.get());
      }))
    ErroreServer(status);

  const char richiesta[] = {isc_info_sql_stmt_type};
  char risposta[16] = {};
  if (Sorvegliata(database_, [&] {
        return isc_dsql_sql_info(status, &h.handle, sizeof richiesta, richiesta, sizeof risposta,
                                 risposta);
      }))
    ErroreServer(status);
  TTipoStatement tipo = TTipoStatement::Sconosciuto;
  if (risposta[0] == isc_info_sql_stmt_type) {
    short len = static_cast<short>(isc_vax_integer(risposta + 1, 2));
    tipo = TipoDaInfo(isc_vax_integer(risposta + 3, len));
  }
  if (tipo == TTipoStatement::GetSegment || tipo == TTipoStatement::PutSegment ||
      tipo == TTipoStatement::StartTransaction)
    ErroreSQL(ceNonPermesso, "Not permitted");

  PXSQLDA in = NuovoXSQLDA(static_cast<int>(nomi.size()));
  if (Sorvegliata(database_, [&] {
        return isc_dsql_describe_bind(status, &h.handle, SQLDA_VERSION1, in.get());
      }))
    ErroreServer(status);
  if (in->sqld > in->sqln) {
    in = NuovoXSQLDA(in->sqld);
    if (Sorvegliata(database_, [&] {
          return isc_dsql_describe_bind(status, &h.handle, SQLDA_VERSION1, in.get());
        }))
      ErroreServer(status);
  }
  // Names found where the server sees none (a "--" comment) would shift every later name onto
  // another parameter, and values by name into the wrong columns.
  if (paramCheck_ && static_cast<size_t>(in->sqld) != nomi.size())
    ErroreSQL(ceParametriDiscordanti,
              "Parameter count mismatch: the text names " + std::to_string(nomi.size()) +
                  " parameters, the server expects " + std::to_string(in->sqld));
  const bool conRighe = tipo == TTipoStatement::Select || tipo == TTipoStatement::SelectForUpdate ||
                        tipo == TTipoStatement::ExecProcedure;
  if (conRighe && out->sqld > out->sqln) {
    out = NuovoXSQLDA(out->sqld);
    if (Sorvegliata(database_, [&] {
          return isc_dsql_describe(status, &h.handle, SQLDA_VERSION1, out.get());
        }))
      ErroreServer(status);
  }
  if (!conRighe) out->sqld = 0;
  std::vector<std::string> nomiCampi = NomiColonne(database_, h.handle, *out);

  // Everything the server said is in; from here nothing fails but allocation.
  impl_->campi.clear();
  impl_->parametri.clear();
  impl_->in = std::move(in);
  impl_->out = std::move(out);
  impl_->testoInviato = std::move(inviato);
  impl_->dialetto = dialetto;
  CostruisciParametri(nomi);
  CostruisciCampi(nomiCampi);
  tipo_ = tipo;
  impl_->handle = std::exchange(h.handle, 0);
}

void TSQLStatement::CostruisciParametri(const std::vector<std::string>& nomi) {
  XSQLDA& da = *impl_->in;
  for (int i = 0; i < da.sqld; ++i) {
    auto p = std::make_unique<TSQLVar>(*this, TSQLVar::Chiave{});
    TSQLVar::Impl& v = *p->impl_;
    v.var = &da.sqlvar[i];
    v.parametro = true;
    v.tipoDescritto = v.var->sqltype & ~1;
    v.sottotipoDescritto = v.var->sqlsubtype;
    v.scalaDescritta = v.var->sqlscale;
    v.maxLength = TipoTesto(v.tipoDescritto) ? v.var->sqllen : 0;
    if (static_cast<size_t>(i) < nomi.size()) v.nome = NormalizzaNome(nomi[i], impl_->dialetto);
    v.Spazio(BytesDati(*v.var));
    // A parameter that nobody set goes to the server as NULL.
    v.var->sqltype = static_cast<ISC_SHORT>(v.var->sqltype | 1);
    v.var->sqlind = &v.indicatore;
    v.indicatore = -1;
    impl_->parametri.push_back(std::move(p));
  }
  for (auto& p : impl_->parametri) {
    TSQLVar::Impl& v = *p->impl_;
    if (v.nome.empty()) {
      v.gemelli.push_back(p.get());
      continue;
    }
    for (auto& altro : impl_->parametri)
      if (altro->impl_->nome == v.nome) v.gemelli.push_back(altro.get());
  }
}

void TSQLStatement::CostruisciCampi(const std::vector<std::string>& nomi) {
  XSQLDA& da = *impl_->out;
  int senzaNome = 0;
  std::vector<std::string> presi;
  for (int i = 0; i < da.sqld; ++i) {
    auto c = std::make_unique<TSQLVar>(*this, TSQLVar::Chiave{});
    TSQLVar::Impl& v = *c->impl_;
    v.var = &da.sqlvar[i];
    v.tipoDescritto = v.var->sqltype & ~1;
    v.sottotipoDescritto = v.var->sqlsubtype;
    v.maxLength = TipoTesto(v.tipoDescritto) ? v.var->sqllen : 0;
    v.Spazio(BytesDati(*v.var));
    v.var->sqlind = &v.indicatore;
    v.gemelli.push_back(c.get());

    v.nome = NomeUscita(nomi[static_cast<size_t>(i)], presi, senzaNome);
    presi.push_back(v.nome);
    impl_->campi.push_back(std::move(c));
  }
}

void TSQLStatement::Execute() {
  Esegui(true);
}

void TSQLStatement::ExecuteOnce() {
  Esegui(false);
}

void TSQLStatement::Esegui(bool riprova) {
  if (open_) ErroreSQL(ceStatementAperto, kStatementAperto);
  if (!Prepared()) Prepare();
  VerificaTransazione();
  ISC_STATUS_ARRAY status{};
  isc_tr_handle* tr = transaction_->HandlePtr();
  XSQLDA* in = impl_->in.get();
  switch (tipo_) {
    case TTipoStatement::Select:
    case TTipoStatement::SelectForUpdate:
      if (Sorvegliata(database_, [&] {
            return isc_dsql_execute(status, tr, &impl_->handle, SQLDA_VERSION1, in);
          }))
        ErroreServer(status);
      // No cursor name: nothing here updates through a cursor, and naming it would cost a
      // round trip of its own before the first fetch.
      open_ = true;
      eof_ = false;
      rowCount_ = 0;
      if (goToFirst_) Fetch();
      break;
    case TTipoStatement::ExecProcedure:
      if (Sorvegliata(database_, [&] {
            return isc_dsql_execute2(status, tr, &impl_->handle, SQLDA_VERSION1, in,
                                     impl_->out.get());
          })) {
        if (!riprova || ConflittoDiLock(status)) ErroreServer(status);
        // The procedure may have been changed under a prepared call: prepare it again on the
        // same handle and try once more. The descriptors are kept as they are.
        if (Sorvegliata(database_, [&] {
              return isc_dsql_prepare(status, tr, &impl_->handle, 0, impl_->testoInviato.c_str(),
                                      static_cast<unsigned short>(impl_->dialetto), nullptr);
            }))
          ErroreServer(status);
        if (Sorvegliata(database_, [&] {
              return isc_dsql_execute2(status, tr, &impl_->handle, SQLDA_VERSION1, in,
                                       impl_->out.get());
            }))
          ErroreServer(status);
      }
      break;
    default:
      if (Sorvegliata(database_, [&] {
            return isc_dsql_execute(status, tr, &impl_->handle, SQLDA_VERSION1, in);
          }))
        ErroreServer(status);
      break;
  }
}

void TSQLStatement::LeggiInAnticipo(int righe, size_t byte) {
  if (!open_ || eof_ || impl_->anticipo || std::thread::hardware_concurrency() < 2) return;
  try {
    impl_->anticipo =
        std::make_unique<TLetturaAnticipata>(*database_, impl_->handle, *impl_->out, righe, byte);
  } catch (const std::system_error&) {
    // No thread to be had: the rows are fetched as they are taken.
  }
}

void TSQLStatement::Fetch() {
  if (impl_->anticipo) {
    bool riga = false;
    try {
      riga = impl_->anticipo->Prossima();
    } catch (...) {
      CloseCursor();
      throw;
    }
    if (riga) {
      ++rowCount_;
    } else {
      impl_->anticipo.reset();
      eof_ = true;
    }
    return;
  }
  ISC_STATUS_ARRAY status{};
  ISC_STATUS r = Sorvegliata(database_, [&] {
    return isc_dsql_fetch(status, &impl_->handle, SQLDA_VERSION1, impl_->out.get());
  });
  if (r == 0) {
    ++rowCount_;
    return;
  }
  if (r == 100) {
    eof_ = true;
    return;
  }
  try {
    ErroreServer(status);
  } catch (...) {
    CloseCursor();
    throw;
  }
}

void TSQLStatement::Next() {
  if (eof_) return;
  if (!open_) ErroreSQL(ceStatementChiuso, kStatementChiuso);
  Fetch();
}

void TSQLStatement::Close() {
  CloseCursor();
}

void TSQLStatement::CloseCursor() noexcept {
  impl_->anticipo.reset();
  if (open_ && impl_->handle) {
    ISC_STATUS_ARRAY status{};
    Sorvegliata(database_,
                [&] { return isc_dsql_free_statement(status, &impl_->handle, DSQL_close); });
  }
  open_ = false;
  eof_ = false;
  rowCount_ = 0;
}

void TSQLStatement::LiberaHandle() noexcept {
  impl_->anticipo.reset();
  if (impl_->handle) {
    ISC_STATUS_ARRAY status{};
    if (database_ && database_->Connected())
      Sorvegliata(database_,
                  [&] { return isc_dsql_free_statement(status, &impl_->handle, DSQL_drop); });
    impl_->handle = 0;
  }
}

void TSQLStatement::Unprepare() noexcept {
  CloseCursor();
  LiberaHandle();
}

void TSQLStatement::ForgetDatabase() noexcept {
  // The database unprepared this statement before detaching.
  impl_->anticipo.reset();
  impl_->handle = 0;
  open_ = false;
  eof_ = false;
  rowCount_ = 0;
  database_ = nullptr;
}

void TSQLStatement::ForgetTransaction() noexcept {
  // The transaction closed this statement's cursor when it ended.
  impl_->anticipo.reset();
  open_ = false;
  eof_ = false;
  rowCount_ = 0;
  transaction_ = nullptr;
}

int TSQLStatement::FieldCount() const {
  return static_cast<int>(impl_->campi.size());
}

TSQLVar& TSQLStatement::Fields(int index) {
  if (index < 0 || index >= FieldCount())
    ErroreSQL(ceCampoNonTrovato, "Field \"" + std::to_string(index) + "\" not found");
  return *impl_->campi[static_cast<size_t>(index)];
}

TSQLVar& TSQLStatement::FieldByName(const std::string& name) {
  std::string cercato = NormalizzaNome(name, Dialetto());
  for (auto& c : impl_->campi)
    if (c->impl_->nome == cercato) return *c;
  ErroreSQL(ceCampoNonTrovato, "Field \"" + name + "\" not found");
}

int TSQLStatement::ParamCount() {
  if (!Prepared()) Prepare();
  return static_cast<int>(impl_->parametri.size());
}

TSQLVar& TSQLStatement::Params(int index) {
  if (!Prepared()) Prepare();
  if (index < 0 || index >= static_cast<int>(impl_->parametri.size()))
    ErroreSQL(ceIndiceXSQLDA, "XSQLDA index out of range");
  return *impl_->parametri[static_cast<size_t>(index)];
}

TSQLVar& TSQLStatement::ParamByName(const std::string& name) {
  if (!Prepared()) Prepare();
  std::string cercato = NormalizzaNome(name, Dialetto());
  for (auto& p : impl_->parametri)
    if (p->impl_->nome == cercato) return *p;
  ErroreSQL(ceCampoNonTrovato, "Field \"" + name + "\" not found");
}

int TSQLStatement::Dialetto() const {
  if (prepareDialect_ > 0) return prepareDialect_;
  return database_ ? database_->SQLDialect() : impl_->dialetto;
}
