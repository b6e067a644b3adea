#include <windows.h>

#include <memory>
#include <type_traits>

#include "platform/RegistroEventi.h"

namespace {

struct TChiudiSorgente {
  void operator()(HANDLE sorgente) const noexcept { DeregisterEventSource(sorgente); }
};
using PSorgenteEventi = std::unique_ptr<std::remove_pointer_t<HANDLE>, TChiudiSorgente>;

}  // namespace

void RegistraNelSistema(const std::string& testo, bool errore) {
  PSorgenteEventi sorgente(RegisterEventSourceA(nullptr, "vessentaria"));
  if (!sorgente) return;
  // The event viewer shows lines that end in CR LF.
  std::string evento;
  for (char c : testo) {
    if (c == '\n') evento += '\r';
    evento += c;
  }
  const char* stringhe[] = {evento.c_str()};
  ReportEventA(sorgente.get(), errore ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0, 1, nullptr,
               1, 0, stringhe, nullptr);
}
