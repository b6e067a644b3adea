// Runs a program on a window station of its choice, as the Task Scheduler and the service manager
// run a task that nobody watches, for the tests under Wine:
//   stazione <station> <file> <program> [arguments...]
// The station "WinSta0" is the visible one of the user; any other name is created without
// WSF_VISIBLE, with a desktop "Default" of its own, so that the program starts where no window can
// be seen. The program inherits standard input, output and error. While it runs, every dialog
// window (message box or dialog) that it makes on its desktop is written to <file> once, as
// "finestra=<caption>", after a first line "visibile=<0|1>" with the station's WSF_VISIBLE.
// Exit status: the program's own, or 70 when the station or the program could not be started.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

struct TOsservazione {
  DWORD processo;
  std::set<HWND> viste;
  FILE* file;
};

BOOL CALLBACK Osserva(HWND finestra, LPARAM parametro) {
  auto& osservazione = *reinterpret_cast<TOsservazione*>(parametro);
  DWORD processo = 0;
  GetWindowThreadProcessId(finestra, &processo);
  char classe[64] = "";
  GetClassNameA(finestra, classe, sizeof classe);
  // Message boxes and dialogs are of the dialog class; the desktop's own windows are not.
  if (processo != osservazione.processo || std::string(classe) != "#32770") return TRUE;
  // A box is made first and given its caption before it is shown: seen earlier, it would be
  // listed without one.
  if (!IsWindowVisible(finestra)) return TRUE;
  if (!osservazione.viste.insert(finestra).second) return TRUE;
  char caption[256] = "";
  GetWindowTextA(finestra, caption, sizeof caption);
  std::fprintf(osservazione.file, "finestra=%s\n", caption);
  std::fflush(osservazione.file);
  return TRUE;
}

std::string Argomento(const std::string& testo) {
  return "\"" + testo + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: stazione <station> <file> <program> [arguments...]\n", stderr);
    return 64;
  }
  const std::string nome = argv[1];
  FILE* file = std::fopen(argv[2], "w");
  if (!file) return 70;

  HWINSTA stazione = nullptr;
  HDESK desktop = nullptr;
  if (nome == "WinSta0") {
    stazione = GetProcessWindowStation();
    desktop = GetThreadDesktop(GetCurrentThreadId());
  } else {
    stazione = CreateWindowStationA(nome.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    // A desktop is created in the window station of the process that creates it.
    HWINSTA propria = GetProcessWindowStation();
    if (stazione && SetProcessWindowStation(stazione)) {
      desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      SetProcessWindowStation(propria);
    }
  }
  USEROBJECTFLAGS flags{};
  if (!stazione || !desktop ||
      !GetUserObjectInformationA(stazione, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
    std::fprintf(stderr, "stazione: window station %s not made (error %lu)\n", nome.c_str(),
                 GetLastError());
    return 70;
  }
  std::fprintf(file, "visibile=%d\n", (flags.dwFlags & WSF_VISIBLE) ? 1 : 0);
  std::fflush(file);

  std::string riga = Argomento(argv[3]);
  for (int i = 4; i < argc; ++i) riga += " " + Argomento(argv[i]);
  std::string nomeDesktop = nome + "\\Default";
  STARTUPINFOA avvio{};
  avvio.cb = sizeof avvio;
  avvio.lpDesktop = nomeDesktop.data();
  avvio.dwFlags = STARTF_USESTDHANDLES;
  avvio.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  avvio.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  avvio.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION processo{};
  if (!CreateProcessA(nullptr, riga.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &avvio,
                      &processo)) {
    std::fprintf(stderr, "stazione: %s not started (error %lu)\n", argv[3], GetLastError());
    return 70;
  }
  TOsservazione osservazione{processo.dwProcessId, {}, file};
  do {
    EnumDesktopWindows(desktop, Osserva, reinterpret_cast<LPARAM>(&osservazione));
  } while (WaitForSingleObject(processo.hProcess, 100) == WAIT_TIMEOUT);
  DWORD stato = 70;
  GetExitCodeProcess(processo.hProcess, &stato);
  std::fclose(file);
  return static_cast<int>(stato);
}
