#include "db/Sorvegliante.h"

#include "db/SQLInternal.h"

namespace {

// Often enough that a limit of a few seconds is kept to within a fraction of a second.
constexpr std::chrono::milliseconds kIntervallo{100};

}  // namespace

TSorvegliante::TSorvegliante(unsigned int attachment, uint32_t limiteMs)
    : TSorvegliante(
          [attachment] {
            ISC_STATUS_ARRAY status{};
            isc_db_handle handle = attachment;
            fb_cancel_operation(status, &handle, fb_cancel_abort);
          },
          limiteMs) {}

TSorvegliante::TSorvegliante(std::function<void()> annulla, uint32_t limiteMs, uint32_t (*ora)())
    : annulla_(std::move(annulla)), limiteMs_(limiteMs), ora_(ora) {
  try {
    filo_ = std::make_unique<TFilo>([this] { Giro(); }, kIntervallo);
  } catch (const std::exception& e) {
    ErroreSQL(ceNonSupportato, std::string("Cannot start the watchdog of requests: ") + e.what());
  }
}

TSorvegliante::~TSorvegliante() = default;

void TSorvegliante::Giro() {
  // The cancel returns at once and needs nothing from the server, so the request path never waits
  // on a frozen server for this lock.
  std::lock_guard<std::mutex> guardia(guardia_);
  if (inCorso_ == 0 || inCorso_ == annullata_) return;
  if (ora_() - static_cast<uint32_t>(inCorso_) < limiteMs_) return;
  annulla_();
  annullata_ = inCorso_;
}
