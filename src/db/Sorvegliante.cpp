#include "db/Sorvegliante.h"

#include <algorithm>
#include <vector>

#include "db/SQLInternal.h"

namespace sorvegliante {

std::atomic<uint64_t> richiestaInCorso{0};

namespace {

struct TSorvegliato {
  unsigned int attachment;
  uint32_t limiteMs;
};

// Often enough that a limit of a few seconds is kept to within a fraction of a second.
constexpr std::chrono::milliseconds kIntervallo{100};

class TSorvegliante {
 public:
  void Registra(unsigned int attachment, uint32_t limiteMs) {
    if (!filo_) filo_ = std::make_unique<TFilo>([this] { Giro(); }, kIntervallo);
    filo_->Blocca();
    std::erase_if(sorvegliati_, [&](const TSorvegliato& s) { return s.attachment == attachment; });
    sorvegliati_.push_back({attachment, limiteMs});
    filo_->Sblocca();
  }

  void Cancella(unsigned int attachment) noexcept {
    if (!filo_) return;
    filo_->Blocca();
    std::erase_if(sorvegliati_, [&](const TSorvegliato& s) { return s.attachment == attachment; });
    filo_->Sblocca();
  }

 private:
  // On the watchdog's thread, with the lock held: the handle it cancels is still registered,
  // so still attached (or being detached, which the client library allows).
  void Giro() {
    const uint64_t richiesta = richiestaInCorso.load(std::memory_order_relaxed);
    if (richiesta == 0 || richiesta == annullata_) return;
    const unsigned int attachment = static_cast<unsigned int>(richiesta >> 32);
    const uint32_t attesa = OraMs() - static_cast<uint32_t>(richiesta);
    auto s = std::find_if(sorvegliati_.begin(), sorvegliati_.end(),
                          [&](const TSorvegliato& v) { return v.attachment == attachment; });
    if (s == sorvegliati_.end() || attesa < s->limiteMs) return;
    // The request may have ended since it was read; a request that began after it is spared.
    if (richiestaInCorso.load(std::memory_order_relaxed) != richiesta) return;
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = attachment;
    fb_cancel_operation(status, &handle, fb_cancel_abort);
    annullata_ = richiesta;
  }

  std::vector<TSorvegliato> sorvegliati_;
  uint64_t annullata_ = 0;
  std::unique_ptr<TFilo> filo_;  // released first: the thread stops before the list goes
};

TSorvegliante& Sorvegliante() {
  static TSorvegliante sorvegliante;
  return sorvegliante;
}

}  // namespace

void Registra(unsigned int attachment, int secondi) {
  if (attachment == 0 || secondi <= 0) return;
  // The clock's 32 bits of milliseconds hold about 49 days; a longer limit is no limit.
  if (secondi > 4000000) return;
  Sorvegliante().Registra(attachment, static_cast<uint32_t>(secondi) * 1000u);
}

void Cancella(unsigned int attachment) noexcept {
  Sorvegliante().Cancella(attachment);
}

}  // namespace sorvegliante
