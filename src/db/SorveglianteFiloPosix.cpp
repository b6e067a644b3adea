#include <condition_variable>
#include <mutex>
#include <thread>

#include "db/Sorvegliante.h"

namespace sorvegliante {

struct TFilo::Impl {
  std::mutex blocco;
  std::mutex attesa;
  std::condition_variable sveglia;
  bool fine = false;
  std::thread filo;
};

TFilo::TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo)
    : impl_(std::make_unique<Impl>()) {
  Impl& impl = *impl_;
  impl.filo = std::thread([&impl, giro = std::move(giro), intervallo] {
    std::unique_lock<std::mutex> attesa(impl.attesa);
    while (!impl.sveglia.wait_for(attesa, intervallo, [&impl] { return impl.fine; })) {
      std::lock_guard<std::mutex> blocco(impl.blocco);
      giro();
    }
  });
}

TFilo::~TFilo() {
  {
    std::lock_guard<std::mutex> attesa(impl_->attesa);
    impl_->fine = true;
  }
  impl_->sveglia.notify_one();
  impl_->filo.join();
}

void TFilo::Blocca() noexcept {
  impl_->blocco.lock();
}

void TFilo::Sblocca() noexcept {
  impl_->blocco.unlock();
}

}  // namespace sorvegliante
