#include <windows.h>

#include <stdexcept>
#include <string>

#include "db/Sorvegliante.h"

// The toolchain's threads model has no std::thread: the system's own primitives.
struct TSorvegliante::TFilo::Impl {
  HANDLE fine = nullptr;  // an event, set when the thread is to stop
  HANDLE filo = nullptr;
  std::function<void()> giro;
  DWORD intervallo = 0;

  static DWORD WINAPI Corpo(LPVOID parametro) {
    Impl& impl = *static_cast<Impl*>(parametro);
    while (WaitForSingleObject(impl.fine, impl.intervallo) == WAIT_TIMEOUT) impl.giro();
    return 0;
  }
};

TSorvegliante::TFilo::TFilo(std::function<void()> giro, std::chrono::milliseconds intervallo)
    : impl_(std::make_unique<Impl>()) {
  impl_->giro = std::move(giro);
  impl_->intervallo = static_cast<DWORD>(intervallo.count());
  impl_->fine = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (impl_->fine) impl_->filo = CreateThread(nullptr, 0, &Impl::Corpo, impl_.get(), 0, nullptr);
  if (!impl_->filo) {
    const DWORD errore = GetLastError();
    if (impl_->fine) CloseHandle(impl_->fine);
    throw std::runtime_error("system error " + std::to_string(errore));
  }
}

TSorvegliante::TFilo::~TFilo() {
  SetEvent(impl_->fine);
  WaitForSingleObject(impl_->filo, INFINITE);
  CloseHandle(impl_->filo);
  CloseHandle(impl_->fine);
}
