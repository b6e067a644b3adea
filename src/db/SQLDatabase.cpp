#include "db/SQLDatabase.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "db/Accesso.h"
#include "db/SQLInternal.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Sorvegliante.h"

namespace {

// The watchdog's 32 bits of milliseconds hold about 49 days; a longer limit is no limit.
constexpr int kRispostaMassima = 4000000;

// The standard connection parameter names of the client interface, by item number.
struct NomeDPB {
  const char* nome;
  int numero;
};
constexpr NomeDPB kNomiDPB[] = {
    {"cdd_pathname", 1},
    {"allocation", 2},
    {"journal", 3},
    {"page_size", 4},
    {"num_buffers", 5},
    {"buffer_length", 6},
    {"debug", 7},
    {"garbage_collect", 8},
    {"verify", 9},
    {"sweep", 10},
    {"enable_journal", 11},
    {"disable_journal", 12},
    {"dbkey_scope", 13},
    {"number_of_users", 14},
    {"trace", 15},
    {"no_garbage_collect", 16},
    {"damaged", 17},
    {"license", 18},
    {"sys_user_name", 19},
    {"encrypt_key", 20},
    {"activate_shadow", 21},
    {"sweep_interval", 22},
    {"delete_shadow", 23},
    {"force_write", 24},
    {"begin_log", 25},
    {"quit_log", 26},
    {"no_reserve", 27},
    {"user_name", 28},
    {"password", 29},
    {"password_enc", 30},
    {"sys_user_name_enc", 31},
    {"interp", 32},
    {"online_dump", 33},
    {"old_file_size", 34},
    {"old_num_files", 35},
    {"old_file", 36},
    {"old_start_page", 37},
    {"old_start_seqno", 38},
    {"old_start_file", 39},
    {"drop_walfile", 40},
    {"old_dump_id", 41},
    {"wal_backup_dir", 42},
    {"wal_chkptlen", 43},
    {"wal_numbufs", 44},
    {"wal_bufsize", 45},
    {"wal_grp_cmt_wait", 46},
    {"lc_messages", 47},
    {"lc_ctype", 48},
    {"cache_manager", 49},
    {"shutdown", 50},
    {"online", 51},
    {"shutdown_delay", 52},
    {"reserved", 53},
    {"overwrite", 54},
    {"sec_attach", 55},
    {"disable_wal", 56},
    {"connect_timeout", 57},
    {"dummy_packet_interval", 58},
    {"gbak_attach", 59},
    {"sql_role_name", 60},
    {"set_page_buffers", 61},
    {"working_directory", 62},
    {"sql_dialect", 63},
    {"set_db_readonly", 64},
    {"set_db_sql_dialect", 65},
    {"gfix_attach", 66},
    {"gstat_attach", 67},
    {"set_db_charset", 68},
    {"gsec_attach", 69},
    {"address_path", 70},
    {"process_id", 71},
    {"no_db_triggers", 72},
    {"process_name", 74},
    {"map_attach", 90},
    {"clear_map", 96},
};

std::string Minuscolo(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The items that carry a text argument; the layer supports only these.
bool DPBTestuale(int numero) {
  return numero == isc_dpb_user_name || numero == isc_dpb_password || numero == isc_dpb_lc_ctype ||
         numero == isc_dpb_sql_role_name;
}

// Asks a Firebird 4 or later server to send the types that this client cannot describe (INT128
// with the NUMERIC and DECIMAL above 18 digits built on it, DECFLOAT, the time zone types) as
// their text, and to read them back from text: exact both ways. Firebird 3 ignores the item.
std::string TipiComeTesto() {
  constexpr int kSetBind = 93;
  const std::string regole = "int128 to varchar;decfloat to varchar;time zone to varchar";
  std::string item(1, static_cast<char>(kSetBind));
  item += static_cast<char>(regole.size());
  return item + regole;
}

// The attachment that `chiamata` logs in to. Without a connection limit the call is made here and
// waits as the client library does. With one, the login is given up after the limit and one second
// more: the client's own limit on the server's first answer ends first and keeps its own text,
// while a server that froze after that answer, which nothing else bounds, fails the attempt as a
// network error (a server that does not answer, not a database to create).
isc_db_handle Accedi(int limiteSecondi, const TChiamataAccesso& chiamata) {
  if (limiteSecondi > 0) {
    const auto handle =
        AccessoEntro(chiamata, std::chrono::seconds(limiteSecondi) + std::chrono::seconds(1));
    if (!handle)
      ErroreSQL(ceAccessoNonCompletato, "The server did not complete the login within " +
                                            std::to_string(limiteSecondi) + " s");
    return *handle;
  }
  ISC_STATUS_ARRAY status{};
  isc_db_handle handle = 0;
  if (chiamata(status, &handle)) ErroreServer(status);
  return handle;
}

}  // namespace

bool ValoreParametro(const TStrings& params, const std::string& nome, std::string& valore) {
  for (const std::string& riga : params.Lines())
    if (riga.size() > nome.size() && riga.compare(0, nome.size(), nome) == 0 &&
        riga[nome.size()] == '=') {
      valore = riga.substr(nome.size() + 1);
      return true;
    }
  return false;
}

std::string CostruisciDPB(const TStrings& params) {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  for (const std::string& riga : params.Lines()) {
    size_t uguale = riga.find('=');
    if (uguale == std::string::npos) continue;
    std::string scritto = Minuscolo(Rifila(riga.substr(0, uguale)));
    if (scritto.empty()) continue;
    std::string nome = scritto;
    if (nome.rfind("isc_dpb_", 0) == 0) nome.erase(0, 8);
    const NomeDPB* trovato = nullptr;
    for (const NomeDPB& n : kNomiDPB)
      if (nome == n.nome) trovato = &n;
    if (!trovato) ErroreSQL(ceDPBSconosciuto, "DPB Constant (" + scritto + ") is unknown");
    if (!DPBTestuale(trovato->numero))
      ErroreSQL(ceDPBNonSupportato, "DPB Constant (isc_dpb_" + nome + ") is unsupported");
    std::string valore = riga.substr(uguale + 1);
    // An item's length is one byte; a longer value would corrupt the block.
    if (valore.size() > 255)
      ErroreSQL(ceDPBNonSupportato, "DPB Constant (isc_dpb_" + nome + ") is unsupported");
    dpb += static_cast<char>(trovato->numero);
    dpb += static_cast<char>(valore.size());
    dpb += valore;
  }
  return dpb;
}

TSQLDatabase::TSQLDatabase() {
  CaricaLibreriaClient();
  params_.SetGuards(
      [this] {
        if (Connected()) ErroreSQL(ceDBAperto, "Cannot perform operation -- DB is currently open");
      },
      [this] { paramsChanged_ = true; });
}

TSQLDatabase::~TSQLDatabase() {
  try {
    Disconnect(true);
  } catch (...) {
  }
  for (TSQLTransaction* t : std::vector<TSQLTransaction*>(transactions_)) t->ForgetDatabase();
  for (TSQLStatement* s : std::vector<TSQLStatement*>(statements_)) s->ForgetDatabase();
}

void TSQLDatabase::SetDatabaseName(const std::string& name) {
  if (name == databaseName_) return;
  if (Connected()) ErroreSQL(ceDBAperto, "Cannot perform operation -- DB is currently open");
  databaseName_ = name;
}

void TSQLDatabase::SetSQLDialect(int value) {
  if (value < 1 || (Connected() && value > DatabaseDialect()))
    ErroreSQL(ceDialettoNonValido, "SQL Dialect Invalid");
  sqlDialect_ = value;
}

void TSQLDatabase::SetConnectTimeout(int seconds) {
  if (Connected()) ErroreSQL(ceDBAperto, "Cannot perform operation -- DB is currently open");
  connectTimeout_ = seconds < 0 ? 0 : seconds;
}

void TSQLDatabase::SetResponseTimeout(int seconds) {
  if (Connected()) ErroreSQL(ceDBAperto, "Cannot perform operation -- DB is currently open");
  responseTimeout_ = seconds < 0 ? 0 : seconds;
}

bool TSQLDatabase::Connected() const {
  return handle_ != 0;
}

void TSQLDatabase::SetConnected(bool value) {
  if (value == Connected()) return;
  if (!value) {
    Disconnect(false);
    return;
  }
  if (databaseName_.empty()) ErroreSQL(ceNomeDatabaseMancante, "Database name is missing");
  if (paramsChanged_) {
    dpb_ = CostruisciDPB(params_);
    paramsChanged_ = false;
  }
  std::string dpb = dpb_;
  if (connectTimeout_ > 0) {
    dpb += static_cast<char>(isc_dpb_connect_timeout);
    dpb += static_cast<char>(4);
    for (int i = 0; i < 4; ++i)
      dpb += static_cast<char>((static_cast<unsigned>(connectTimeout_) >> (8 * i)) & 0xFF);
  }
  dpb += TipiComeTesto();
  Attaccato(Accedi(connectTimeout_,
                   [nome = databaseName_, dpb](ISC_STATUS* status, isc_db_handle* handle) {
                     return isc_attach_database(status, 0, nome.c_str(), handle,
                                                static_cast<short>(dpb.size()), dpb.data());
                   }));
}

void TSQLDatabase::DisconnectForced() noexcept {
  try {
    Disconnect(true);
  } catch (...) {
  }
  // Detached or not, the handle is given up: the next attach starts afresh.
  handle_ = 0;
}

void TSQLDatabase::Attaccato(unsigned int handle) {
  handle_ = handle;
  informato_ = false;
  // Watched from the first request on: a server may stop answering at any one.
  if (responseTimeout_ > 0 && responseTimeout_ <= kRispostaMassima) try {
      sorvegliante_ = std::make_unique<TSorvegliante>(*this);
      sorvegliante_->SetMarca(lavoroSorvegliato_);
    } catch (...) {
      // Half a connection is no connection: detach so that the object reports what it is.
      ISC_STATUS_ARRAY status{};
      isc_db_handle staccato = handle_;
      isc_detach_database(status, &staccato);
      handle_ = 0;
      throw;
    }
}

void TSQLDatabase::SetLavoroSorvegliato(const std::string& marca) {
  lavoroSorvegliato_ = marca;
  if (sorvegliante_) sorvegliante_->SetMarca(marca);
}

void TSQLDatabase::ChiediInformazioni() {
  ISC_STATUS_ARRAY status{};
  const char richiesta[] = {isc_info_db_sql_dialect, isc_info_implementation, isc_info_end};
  char risposta[64] = {};
  if (Sorvegliata(this, [&] {
        return isc_database_info(status, &handle_, sizeof richiesta, richiesta, sizeof risposta,
                                 risposta);
      }))
    ErroreServer(status);
  int dialetto = 1;
  bool remota = false;
  const char* const fine = risposta + sizeof risposta;
  for (const char* p = risposta; p < fine && *p != isc_info_end;) {
    char item = *p++;
    if (p + 2 > fine) break;
    short len = static_cast<short>(isc_vax_integer(p, 2));
    p += 2;
    if (len < 0 || p + len > fine) break;
    if (item == isc_info_db_sql_dialect && len > 0)
      dialetto = static_cast<int>(isc_vax_integer(p, len));
    // A count, then one (implementation, class) pair per layer that the attachment crosses: the
    // client's remote interface is among them when a server serves it.
    if (item == isc_info_implementation)
      for (short i = 2; i < len; i += 2) remota = remota || p[i] == isc_info_db_class_rem_int;
    p += len;
  }
  Informato(dialetto, remota);
}

void TSQLDatabase::SetInformazioni(int dialetto, const std::string& protocollo) {
  if (!Connected() || informato_) return;
  Informato(dialetto < 1 ? 1 : dialetto, !protocollo.empty());
}

void TSQLDatabase::Informato(int dialetto, bool remota) {
  dbDialect_ = dialetto;
  remota_ = remota;
  informato_ = true;
  if (dbDialect_ < sqlDialect_) sqlDialect_ = dbDialect_;
  // On the embedded engine a long request is this process's own work, not a server that
  // stopped answering: cutting it would fail a task that was going to succeed.
  if (!remota_) {
    // A read ahead may be inside a request on this attachment: not while it is.
    std::lock_guard<std::mutex> turno(turno_);
    sorvegliante_.reset();
  }
}

void TSQLDatabase::CreateDatabase() {
  if (Connected()) ErroreSQL(ceDBAperto, "Cannot perform operation -- DB is currently open");
  // A path holding a quote cannot end the literal early and change the statement.
  std::string testo = "CREATE DATABASE " + TraApici(databaseName_) + " " + params_.Text();
  Attaccato(Accedi(connectTimeout_, [testo, dialetto = static_cast<unsigned short>(sqlDialect_)](
                                        ISC_STATUS* status, isc_db_handle* handle) {
    isc_tr_handle tr = 0;
    return isc_dsql_execute_immediate(status, handle, &tr, 0, testo.c_str(), dialetto, nullptr);
  }));
}

void TSQLDatabase::Disconnect(bool forced) {
  if (!Connected()) return;
  for (TSQLTransaction* t : std::vector<TSQLTransaction*>(transactions_))
    if (t->InTransaction()) t->EndForced();
  for (TSQLStatement* s : std::vector<TSQLStatement*>(statements_)) s->Unprepare();
  ISC_STATUS_ARRAY status{};
  isc_db_handle handle = handle_;
  ISC_STATUS esito;
  {
    TRichiesta richiesta(sorvegliante_.get());
    esito = isc_detach_database(status, &handle);
  }
  if (esito && !forced) ErroreServer(status);
  sorvegliante_.reset();
  handle_ = 0;
}

void TSQLDatabase::RegisterTransaction(TSQLTransaction* transaction) {
  if (std::find(transactions_.begin(), transactions_.end(), transaction) == transactions_.end())
    transactions_.push_back(transaction);
}

void TSQLDatabase::UnregisterTransaction(TSQLTransaction* transaction) {
  std::erase(transactions_, transaction);
}

void TSQLDatabase::RegisterStatement(TSQLStatement* statement) {
  if (std::find(statements_.begin(), statements_.end(), statement) == statements_.end())
    statements_.push_back(statement);
}

void TSQLDatabase::UnregisterStatement(TSQLStatement* statement) {
  std::erase(statements_, statement);
}
