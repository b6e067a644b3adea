#pragma once

// The watchdog of requests. A frozen server never answers and a client call waits for it for
// ever; the only way out that needs nothing from the server is to close the client's side of the
// attachment from another thread (fb_cancel_operation with fb_cancel_abort), after which the
// blocked call returns with the client's network error. So one thread of the layer's own looks,
// a few times a second, at the request in progress and cancels its attachment when it has waited
// longer than that attachment's limit. Nothing else of the layer runs on that thread: the
// request path only publishes "attachment H began a request at T" and "ended", one relaxed
// atomic store each, and the thread alone calls the client library.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace sorvegliante {

// The request in progress: the attachment handle in the high 32 bits, the start in milliseconds
// of the steady clock in the low 32 (modulo 2^32, enough for limits of days); 0 when none. The
// layer is used from one thread, so one slot is the whole state.
extern std::atomic<uint64_t> richiestaInCorso;

inline uint32_t OraMs() noexcept {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Attachments with a limit are watched from Registra to Cancella; Registra starts the thread
// the first time. Cancella returns only when the thread no longer uses the handle.
void Registra(unsigned int attachment, int secondi);
void Cancella(unsigned int attachment) noexcept;

// The platform's part: a lock, and a thread that calls `giro` every `intervallo` until the object
// is released (which stops and joins it).
class TFilo {
 public:
  TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo);
  TFilo(const TFilo&) = delete;
  TFilo& operator=(const TFilo&) = delete;
  ~TFilo();
  void Blocca() noexcept;
  void Sblocca() noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sorvegliante

// One client call on an attachment, published for the watchdog for as long as the object lives;
// attachment 0 (none) publishes nothing. Wraps exactly one call: requests never nest.
class TRichiesta {
 public:
  explicit TRichiesta(unsigned int attachment) noexcept {
    if (attachment)
      sorvegliante::richiestaInCorso.store(
          (static_cast<uint64_t>(attachment) << 32) | sorvegliante::OraMs(),
          std::memory_order_relaxed);
  }
  TRichiesta(const TRichiesta&) = delete;
  TRichiesta& operator=(const TRichiesta&) = delete;
  ~TRichiesta() { sorvegliante::richiestaInCorso.store(0, std::memory_order_relaxed); }
};

// Makes one client call under a TRichiesta: Sorvegliata(handle, [&] { return isc_...(...); }).
template <typename Chiamata>
auto Sorvegliata(unsigned int attachment, Chiamata&& chiamata) {
  TRichiesta richiesta(attachment);
  return chiamata();
}
