#include "db/Sorvegliante.h"

#include <algorithm>

#include "db/Accesso.h"
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
// a look at a frozen server is cut by the look's own watchdog, and its login is given up within one
// response limit at most. Opened at the first look and kept between looks; used on the look's
// thread alone.
class TSorvegliante::TSonda {
 public:
  explicit TSonda(const TSQLDatabase& osservato)
      : nome_(osservato.DatabaseName()),
        params_(osservato.Params().Lines()),
        connessione_(osservato.ConnectTimeout() > 0
                         ? std::min(osservato.ConnectTimeout(), osservato.ResponseTimeout())
                         : osservato.ResponseTimeout()),
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
  // The look's thread may outlive the watchdog, and the process's end must not wait for it.
  const TInSospeso inSospeso_;
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

// The look asked for, under `m` (taken after guardia_, never before it): the request's number (0:
// none), the mark, when it was asked, and the answer once there (-1: it failed).
struct TSorvegliante::TSguardi {
  // On the look's thread.
  void Sguardo();

  std::mutex m;
  uint32_t per = 0;
  std::string marca;
  uint32_t dal = 0;
  bool risposto = false;
  int64_t risposta = 0;
  bool chiudi = false;  // the mark was cleared: the own attachment goes
  TLavoro lavoro;       // set before the look's thread starts; used by it alone
  // The look at the server; released with the last of the watchdog and the look's thread.
  std::unique_ptr<TSonda> sonda;
};

TSorvegliante::TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)(),
                             TLavoro lavoro, std::unique_ptr<TSonda> sonda)
    : annulla_(std::move(annulla)),
      limiteMs_(limiteMs),
      ora_(ora),
      guarda_(lavoro || sonda),
      sguardi_(std::make_shared<TSguardi>()) {
  sguardi_->lavoro = std::move(lavoro);
  sguardi_->sonda = std::move(sonda);
  if (TSonda* s = sguardi_->sonda.get())
    sguardi_->lavoro = [s](const std::string& marca) { return s->Lavoro(marca); };
  try {
    filo_ = std::make_unique<TFilo>([this] { Giro(); }, kIntervallo);
  } catch (const std::exception& e) {
    ErroreSQL(ceNonSupportato, std::string("Cannot start the watchdog of requests: ") + e.what());
  }
}

TSorvegliante::~TSorvegliante() = default;

void TSorvegliante::SetMarca(const std::string& marca) {
  // A look at the server may wait in the client library for up to a limit: its thread is left to
  // end by itself, holding the state it uses.
  if (!marca.empty() && guarda_ && !filoSguardi_) try {
      filoSguardi_ = std::make_unique<TFilo>([sguardi = sguardi_] { sguardi->Sguardo(); },
                                             kIntervallo, sguardi_->sonda != nullptr);
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
  const bool marcata = !marca_.empty() && guarda_;
  if (guarda_) {
    std::lock_guard<std::mutex> sguardi(sguardi_->m);
    sguardi_->chiudi = !marcata;
  }
  if (inCorso_ == 0 || inCorso_ == annullata_) return;
  if (ora_() - static_cast<uint32_t>(inCorso_) < limiteMs_) return;
  if (marcata && Prorogata()) return;
  annulla_();
  annullata_ = inCorso_;
}

bool TSorvegliante::Prorogata() {
  const uint32_t numero = static_cast<uint32_t>(inCorso_ >> 32);
  TSguardi& g = *sguardi_;
  std::lock_guard<std::mutex> sguardi(g.m);
  // A look for an earlier request is not waited for: this one asks its own, answered or not.
  if (g.per != numero) {
    g.per = numero;
    g.marca = marca_;
    g.dal = ora_();
    g.risposto = false;
    return true;
  }
  if (!g.risposto) return ora_() - g.dal < limiteMs_;
  g.per = 0;
  // The counters start from zero with the request, so its first look compares with nothing done:
  // work in its first limit earns it one more. A statement run again may show its earlier runs'
  // work; that costs at most one limit more.
  const int64_t prima = numero == guardata_ ? lavoroVisto_ : 0;
  guardata_ = numero;
  lavoroVisto_ = g.risposta;
  if (g.risposta <= prima) return false;
  inCorso_ = (inCorso_ & ~uint64_t{0xFFFFFFFF}) | ora_();
  return true;
}

void TSorvegliante::TSguardi::Sguardo() {
  uint32_t numero;
  std::string marcaChiesta;
  bool chiudere;
  {
    std::lock_guard<std::mutex> guardia(m);
    chiudere = chiudi;
    numero = risposto ? 0 : per;
    if (numero != 0) marcaChiesta = marca;
  }
  // Detaching talks to the server: never under the lock that the watchdog's thread takes.
  if (chiudere && sonda) sonda->Chiudi();
  if (numero == 0) return;
  int64_t lavoroVisto = -1;
  try {
    lavoroVisto = lavoro(marcaChiesta);
  } catch (...) {
  }
  std::lock_guard<std::mutex> guardia(m);
  if (per != numero) return;
  risposto = true;
  risposta = lavoroVisto;
}
