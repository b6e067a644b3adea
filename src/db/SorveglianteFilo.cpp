#include <condition_variable>
#include <mutex>
#include <thread>

#include "db/Sorvegliante.h"

struct TSorvegliante::TFilo::Impl {
  std::mutex attesa;
  std::condition_variable sveglia;
  bool fine = false;
  std::thread filo;
};

TSorvegliante::TFilo::TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo)
    : impl_(std::make_unique<Impl>()) {
  Impl& impl = *impl_;
  // std::system_error when the system gives no thread.
  impl.filo = std::thread([&impl, giro = std::move(giro), intervallo] {
    std::unique_lock<std::mutex> attesa(impl.attesa);
    while (!impl.sveglia.wait_for(attesa, intervallo, [&impl] { return impl.fine; })) giro();
  });
}

TSorvegliante::TFilo::~TFilo() {
  {
    std::lock_guard<std::mutex> attesa(impl_->attesa);
    impl_->fine = true;
  }
  impl_->sveglia.notify_one();
  impl_->filo.join();
}
