#include <windows.h>

#include "db/Sorvegliante.h"

// The toolchain's threads model has no std::thread or std::mutex: the system's own primitives.
namespace sorvegliante {

struct TFilo::Impl {
  SRWLOCK blocco = SRWLOCK_INIT;
  HANDLE fine = nullptr;  // an event, set when the thread is to stop
  HANDLE filo = nullptr;
  std::function<void()> giro;
  DWORD intervallo = 0;

  static DWORD WINAPI Corpo(LPVOID parametro) {
    Impl& impl = *static_cast<Impl*>(parametro);
    while (WaitForSingleObject(impl.fine, impl.intervallo) == WAIT_TIMEOUT) {
      AcquireSRWLockExclusive(&impl.blocco);
      impl.giro();
      ReleaseSRWLockExclusive(&impl.blocco);
    }
    return 0;
  }
};

TFilo::TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo)
    : impl_(std::make_unique<Impl>()) {
  impl_->giro = std::move(giro);
  impl_->intervallo = static_cast<DWORD>(intervallo.count());
  impl_->fine = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (impl_->fine) impl_->filo = CreateThread(nullptr, 0, &Impl::Corpo, impl_.get(), 0, nullptr);
}

TFilo::~TFilo() {
  if (impl_->filo) {
    SetEvent(impl_->fine);
    WaitForSingleObject(impl_->filo, INFINITE);
    CloseHandle(impl_->filo);
  }
  if (impl_->fine) CloseHandle(impl_->fine);
}

void TFilo::Blocca() noexcept {
  AcquireSRWLockExclusive(&impl_->blocco);
}

void TFilo::Sblocca() noexcept {
  ReleaseSRWLockExclusive(&impl_->blocco);
}

}  // namespace sorvegliante
