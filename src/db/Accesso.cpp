#include "db/Accesso.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

std::atomic<int> contati{0};

// Shared by the caller and the login's thread, which may outlive the caller's wait by far.
struct TAccesso {
  std::mutex m;
  std::condition_variable finito;
  bool tornato = false;      // under m
  bool abbandonato = false;  // under m
  std::exception_ptr errore;
  isc_db_handle handle = 0;
};

}  // namespace

TInSospeso::TInSospeso() noexcept {
  ++contati;
}

TInSospeso::~TInSospeso() {
  --contati;
}

std::optional<isc_db_handle> AccessoEntro(TChiamataAccesso chiamata,
                                          std::chrono::milliseconds limite) {
  auto accesso = std::make_shared<TAccesso>();
  try {
    std::thread([accesso, chiamata = std::move(chiamata)] {
      const TInSospeso inSospeso;
      ISC_STATUS_ARRAY status{};
      isc_db_handle ottenuto = 0;
      std::exception_ptr errore;
      // Read here: the texts that the status vector points to belong to this thread.
      if (chiamata(status, &ottenuto)) try {
          ErroreServer(status);
        } catch (...) {
          errore = std::current_exception();
        }
      std::unique_lock<std::mutex> guardia(accesso->m);
      if (accesso->abbandonato) {
        guardia.unlock();
        if (ottenuto) {
          ISC_STATUS_ARRAY scarto{};
          isc_detach_database(scarto, &ottenuto);
        }
        return;
      }
      accesso->errore = errore;
      accesso->handle = ottenuto;
      accesso->tornato = true;
      accesso->finito.notify_one();
    }).detach();
  } catch (const std::exception& e) {
    ErroreSQL(ceNonSupportato, std::string("Cannot start the login's thread: ") + e.what());
  }
  std::unique_lock<std::mutex> guardia(accesso->m);
  if (!accesso->finito.wait_for(guardia, limite, [&] { return accesso->tornato; })) {
    accesso->abbandonato = true;
    return std::nullopt;
  }
  if (accesso->errore) std::rethrow_exception(accesso->errore);
  return accesso->handle;
}

int ChiamateInSospeso() noexcept {
  return contati.load();
}
