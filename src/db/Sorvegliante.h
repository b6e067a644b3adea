#pragma once

// The watchdog of an attachment's requests. A frozen server never answers and a client call waits
// for it for ever; the only way out that needs nothing from the server is to close the client's
// side of the attachment from another thread (fb_cancel_operation with fb_cancel_abort), after
// which the blocked call returns with the client's network error. So each attachment through a
// server with a limit has a watchdog of its own, owned by its TSQLDatabase: a thread that looks,
// a few times a second, at the request in progress and cancels the attachment when that request
// has waited longer than the limit. The request path only publishes "request N began at T" and
// "ended"; the thread alone calls the client library.
//
// Some requests are long by design (a whole table copied inside the server). The owner marks such
// work with a text that its statement carries; past the limit the watchdog then asks the server,
// through an attachment of its own, whether the statements holding that text have read or written
// more records since its previous look, and gives the request another limit while they have. The
// look runs on a second thread: a frozen server holds it for up to a limit (its login and its
// requests have the watched attachment's limits), so a look that has not answered within one
// limit counts as none and the request is cut; and the watchdog's release does not wait for it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

class TSQLDatabase;

class TSorvegliante {
 public:
  // Records read and written so far by the running statements whose text holds `marca`; raises
  // when it cannot tell. Called on the look's thread alone, never under a lock.
  using TLavoro = std::function<int64_t(const std::string& marca)>;

  // Starts watching the attachment of `database`, which must be connected, with its response
  // limit; its marked work is looked at through an attachment of the watchdog's own to the same
  // database with the same login and limits, opened at the first look. Raises ESQLError when the
  // thread cannot start, so that no attachment with a limit runs unwatched.
  explicit TSorvegliante(const TSQLDatabase& database);
  // The same watchdog with `annulla` in place of the client's cancel of the attachment, `ora` in
  // place of the steady clock in milliseconds and `lavoro` in place of the look at the server:
  // how its decisions are shown without a server.
  TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)() = &OraMs,
                TLavoro lavoro = nullptr);
  TSorvegliante(const TSorvegliante&) = delete;
  TSorvegliante& operator=(const TSorvegliante&) = delete;
  // Returns when the thread that cancels has stopped: the handle is no longer used after it. A
  // look in progress at the server is not waited for: its thread ends by itself, then closes the
  // watchdog's own attachment; an injected look is waited for.
  ~TSorvegliante();

  // A request past the limit is given another limit while the statements whose text holds `marca`
  // have read or written records since the previous look; empty: cut at the limit. The
  // watchdog's own attachment is closed by the look's thread once the mark is cleared. Never
  // waits for a look; raises ESQLError when the look's thread, started at the first mark, cannot
  // start.
  void SetMarca(const std::string& marca);

  // The cancel cuts whatever the attachment is doing when it lands, not a given request: the lock
  // that the thread holds from its look at request N to the cancel keeps N from ending and the next
  // request from beginning in between. Uncontended but for that moment, a few times a second.
  void Inizio() noexcept {
    const uint32_t inizio = ora_();
    std::lock_guard<std::mutex> guardia(guardia_);
    // The counter tells this request from the one before, even begun in the same millisecond.
    if (++richieste_ == 0) ++richieste_;
    inCorso_ = (static_cast<uint64_t>(richieste_) << 32) | inizio;
  }
  void Fine() noexcept {
    std::lock_guard<std::mutex> guardia(guardia_);
    inCorso_ = 0;
  }

  static uint32_t OraMs() noexcept {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }

  // The thread: it calls `giro` every `intervallo` until the object is released, which stops it
  // and joins it, or with `lascia` leaves it to end after the `giro` in progress (what `giro`
  // uses must then be its own); raises when the thread cannot start.
  class TFilo {
   public:
    TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo, bool lascia = false);
    TFilo(const TFilo&) = delete;
    TFilo& operator=(const TFilo&) = delete;
    ~TFilo();

   private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
    const bool lascia_;
  };

 private:
  class TSonda;
  struct TSguardi;

  TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)(), TLavoro lavoro,
                std::unique_ptr<TSonda> sonda);
  // On the thread.
  void Giro();
  // Under guardia_, for the request in progress past its limit: false when it must be cut now; true
  // while its look is awaited (one limit at most) or when the look saw its work grow, which gives
  // it another limit.
  bool Prorogata();

  const std::function<void()> annulla_;
  const uint32_t limiteMs_;
  uint32_t (*const ora_)();
  const bool guarda_;  // there is a look
  std::mutex guardia_;
  uint32_t richieste_ = 0;  // under guardia_
  // The request in progress: its number in the high 32 bits, its start in milliseconds of the
  // steady clock in the low 32 (modulo 2^32, enough for limits of days), moved on when the request
  // is given another limit; 0 when none. Under guardia_.
  uint64_t inCorso_ = 0;
  std::string marca_;       // under guardia_
  uint64_t annullata_ = 0;  // thread only
  // The request that the last answered look was for and the work it saw; thread only.
  uint32_t guardata_ = 0;
  int64_t lavoroVisto_ = 0;
  // Shared with the look's thread, which may outlive the watchdog.
  const std::shared_ptr<TSguardi> sguardi_;
  std::unique_ptr<TFilo> filoSguardi_;  // from the first mark on; owner's thread
  std::unique_ptr<TFilo> filo_;         // last: stopped first, before the state it reads
};

// One client call, published to the attachment's watchdog for as long as the object lives; no
// watchdog (a local attachment, or no limit) publishes nothing. Requests never nest.
class TRichiesta {
 public:
  explicit TRichiesta(TSorvegliante* sorvegliante) noexcept : sorvegliante_(sorvegliante) {
    if (sorvegliante_) sorvegliante_->Inizio();
  }
  TRichiesta(const TRichiesta&) = delete;
  TRichiesta& operator=(const TRichiesta&) = delete;
  ~TRichiesta() {
    if (sorvegliante_) sorvegliante_->Fine();
  }

 private:
  TSorvegliante* sorvegliante_;
};
