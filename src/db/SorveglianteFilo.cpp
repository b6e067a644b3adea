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

TSorvegliante::TFilo::TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo,
                            bool lascia)
    : impl_(std::make_shared<Impl>()), lascia_(lascia) {
  // std::system_error when the system gives no thread.
  impl_->filo = std::thread([impl = impl_, giro = std::move(giro), intervallo] {
    std::unique_lock<std::mutex> attesa(impl->attesa);
    while (!impl->sveglia.wait_for(attesa, intervallo, [&impl] { return impl->fine; })) {
      // Released during the call, so that the owner can stop the thread without waiting for it.
      attesa.unlock();
      giro();
      attesa.lock();
    }
  });
}

TSorvegliante::TFilo::~TFilo() {
  {
    std::lock_guard<std::mutex> attesa(impl_->attesa);
    impl_->fine = true;
  }
  impl_->sveglia.notify_one();
  if (lascia_)
    impl_->filo.detach();
  else
    impl_->filo.join();
}
