#pragma once

// The watchdog of an attachment's requests. A frozen server never answers and a client call waits
// for it for ever; the only way out that needs nothing from the server is to close the client's
// side of the attachment from another thread (fb_cancel_operation with fb_cancel_abort), after
// which the blocked call returns with the client's network error. So each attachment through a
// server with a limit has a watchdog of its own, owned by its TSQLDatabase: a thread that looks,
// a few times a second, at the request in progress and cancels the attachment when that request
// has waited longer than the limit. The request path only publishes "request N began at T" and
// "ended"; the thread alone calls the client library.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

class TSorvegliante {
 public:
  // Starts watching `attachment`; raises ESQLError when the thread cannot start, so that no
  // attachment with a limit runs unwatched.
  TSorvegliante(unsigned int attachment, uint32_t limiteMs);
  // The same watchdog with `annulla` in place of the client's cancel of the attachment and `ora`
  // in place of the steady clock in milliseconds: how its decisions are shown without a server.
  TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)() = &OraMs);
  TSorvegliante(const TSorvegliante&) = delete;
  TSorvegliante& operator=(const TSorvegliante&) = delete;
  // Returns when the thread has stopped: the handle is no longer used after it.
  ~TSorvegliante();

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

  // The thread: it calls `giro` every `intervallo` until the object is
  // released (which stops and joins it); raises when the thread cannot start.
  class TFilo {
   public:
    TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo);
    TFilo(const TFilo&) = delete;
    TFilo& operator=(const TFilo&) = delete;
    ~TFilo();

   private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
  };

 private:
  // On the thread.
  void Giro();

  const std::function<void()> annulla_;
  const uint32_t limiteMs_;
  uint32_t (*const ora_)();
  std::mutex guardia_;
  uint32_t richieste_ = 0;  // under guardia_
  // The request in progress: its number in the high 32 bits, its start in milliseconds of the
  // steady clock in the low 32 (modulo 2^32, enough for limits of days); 0 when none. Under
  // guardia_.
  uint64_t inCorso_ = 0;
  uint64_t annullata_ = 0;       // thread only
  std::unique_ptr<TFilo> filo_;  // last: stopped first, before the state it reads
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
