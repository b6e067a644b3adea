#include "db/Sorvegliante.h"

#include "db/SQLInternal.h"
#include "db/SQLTransaction.h"

namespace {

// Often enough that a limit of a few seconds is kept to within a fraction of a second.
constexpr std::chrono::milliseconds kIntervallo{100};

// Statement-level counters: those of the attachment would mix the long statement with everything
// else it ran. Checked on Firebird 3.0.11: they grow while a request runs (an EXECUTE BLOCK
// inserting rows showed 0.5 million more records every second), CONTAINING searches the text
// blob, comments included, and a user without SYSDBA rights sees the statements of its own
// attachments. The mark travels as a parameter, so this statement never finds itself.
constexpr const char* kLavoro =
    "SELECT SUM(R.MON$RECORD_SEQ_READS + R.MON$RECORD_IDX_READS + R.MON$RECORD_INSERTS"
    " + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES)"
    " FROM MON$STATEMENTS S JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$STAT_ID"
    " WHERE S.MON$STATE = 1 AND S.MON$SQL_TEXT CONTAINING :MARCA";

}  // namespace

// The watchdog's own attachment to the watched database: the same name, login and limits, so that
// a look at a frozen server is cut by the look's own watchdog. Opened at the first look and kept
// between looks; used on the look's thread alone.
class TSorvegliante::TSonda {
 public:
  explicit TSonda(const TSQLDatabase& osservato)
      : nome_(osservato.DatabaseName()),
        params_(osservato.Params().Lines()),
        connessione_(osservato.ConnectTimeout()),
        risposta_(osservato.ResponseTimeout()) {}

  int64_t Lavoro(const std::string& marca) {
    try {
      if (!database_) {
        auto database = std::make_unique<TSQLDatabase>();
        database->SetDatabaseName(nome_);
        for (const std::string& riga : params_) database->Params().Add(riga);
        database->SetLoginPrompt(false);
        database->SetConnectTimeout(connessione_);
        database->SetResponseTimeout(risposta_);
        database->SetConnected(true);
        database_ = std::move(database);
      }
      // The monitoring tables are a snapshot taken once per transaction: a new one per look.
      auto transazione = CreaTransazione(*database_, kTpbConcurrency | kTpbNowait | kTpbRead);
      TSQLStatement lettura;
      lettura.SetDatabase(database_.get());
      lettura.SetTransaction(transazione.get());
      lettura.SQL().Add(kLavoro);
      lettura.ParamByName("MARCA").SetAsString(marca);
      lettura.Execute();
      const int64_t lavoro = lettura.Fields(0).IsNull() ? 0 : lettura.Fields(0).AsScaledInteger();
      lettura.Close();
      transazione->Commit();
      return lavoro;
    } catch (...) {
      // The attachment may have been cut by its own watchdog: the next look starts afresh.
      database_.reset();
      throw;
    }
  }
  void Chiudi() noexcept { database_.reset(); }

 private:
  const std::string nome_;
  const std::vector<std::string> params_;
  const int connessione_;
  const int risposta_;
  std::unique_ptr<TSQLDatabase> database_;
};

TSorvegliante::TSorvegliante(const TSQLDatabase& database)
    : TSorvegliante(
          [attachment = database.Handle()] {
            ISC_STATUS_ARRAY status{};
            isc_db_handle handle = attachment;
            fb_cancel_operation(status, &handle, fb_cancel_abort);
          },
          static_cast<uint32_t>(database.ResponseTimeout()) * 1000u, &OraMs, nullptr,
          std::make_unique<TSonda>(database)) {}

TSorvegliante::TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)(),
                             TLavoro lavoro)
    : TSorvegliante(std::move(annulla), limiteMs, ora, std::move(lavoro), nullptr) {}

TSorvegliante::TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)(),
                             TLavoro lavoro, std::unique_ptr<TSonda> sonda)
    : annulla_(std::move(annulla)),
      limiteMs_(limiteMs),
      ora_(ora),
      lavoro_(std::move(lavoro)),
      sonda_(std::move(sonda)) {
  if (sonda_)
    lavoro_ = [sonda = sonda_.get()](const std::string& marca) { return sonda->Lavoro(marca); };
  try {
    filo_ = std::make_unique<TFilo>([this] { Giro(); }, kIntervallo);
  } catch (const std::exception& e) {
    ErroreSQL(ceNonSupportato, std::string("Cannot start the watchdog of requests: ") + e.what());
  }
}

TSorvegliante::~TSorvegliante() = default;

void TSorvegliante::SetMarca(const std::string& marca) {
  if (!marca.empty() && lavoro_ && !filoSguardi_) try {
      filoSguardi_ = std::make_unique<TFilo>([this] { Sguardo(); }, kIntervallo);
    } catch (const std::exception& e) {
      ErroreSQL(ceNonSupportato, std::string("Cannot start the look of the watchdog: ") + e.what());
    }
  std::lock_guard<std::mutex> guardia(guardia_);
  marca_ = marca;
}

void TSorvegliante::Giro() {
  // The cancel returns at once and needs nothing from the server, so the request path never waits
  // on a frozen server for this lock; the look, which does, is made on its own thread.
  std::lock_guard<std::mutex> guardia(guardia_);
  const bool marcata = !marca_.empty() && lavoro_;
  if (lavoro_) {
    std::lock_guard<std::mutex> sguardi(sguardi_);
    chiudi_ = !marcata;
  }
  if (inCorso_ == 0 || inCorso_ == annullata_) return;
  if (ora_() - static_cast<uint32_t>(inCorso_) < limiteMs_) return;
  if (marcata && Prorogata()) return;
  annulla_();
  annullata_ = inCorso_;
}

bool TSorvegliante::Prorogata() {
  const uint32_t numero = static_cast<uint32_t>(inCorso_ >> 32);
  std::lock_guard<std::mutex> sguardi(sguardi_);
  // A look for an earlier request is not waited for: this one asks its own, answered or not.
  if (sguardoPer_ != numero) {
    sguardoPer_ = numero;
    sguardoMarca_ = marca_;
    sguardoDal_ = ora_();
    risposto_ = false;
    return true;
  }
  if (!risposto_) return ora_() - sguardoDal_ < limiteMs_;
  sguardoPer_ = 0;
  // The counters start from zero with the request, so its first look compares with nothing done:
  // work in its first limit earns it one more. A statement run again may show its earlier runs'
  // work; that costs at most one limit more.
  const int64_t prima = numero == guardata_ ? lavoroVisto_ : 0;
  guardata_ = numero;
  lavoroVisto_ = risposta_;
  if (risposta_ <= prima) return false;
  inCorso_ = (inCorso_ & ~uint64_t{0xFFFFFFFF}) | ora_();
  return true;
}

void TSorvegliante::Sguardo() {
  uint32_t numero;
  std::string marca;
  bool chiudi;
  {
    std::lock_guard<std::mutex> sguardi(sguardi_);
    chiudi = chiudi_;
    numero = risposto_ ? 0 : sguardoPer_;
    if (numero != 0) marca = sguardoMarca_;
  }
  // Detaching talks to the server: never under the lock that the watchdog's thread takes.
  if (chiudi && sonda_) sonda_->Chiudi();
  if (numero == 0) return;
  int64_t lavoro = -1;
  try {
    lavoro = lavoro_(marca);
  } catch (...) {
  }
  std::lock_guard<std::mutex> sguardi(sguardi_);
  if (sguardoPer_ != numero) return;
  risposto_ = true;
  risposta_ = lavoro;
}
