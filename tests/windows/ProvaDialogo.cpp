// Opens what the database opener shows, for the tests under Wine:
//   prova-dialogo chiedi <folder>        asks for the server as the opener does when nothing
//                                        connects; prints "Server=" and "Lettera=" lines
//   prova-dialogo condivisione <folder>  the named-share check without "Percorso Nel Server"
// A thread of its own writes the description of the two-field dialog (see Ispezione.h) to the
// file named by the environment variable DESCRIZIONE_DIALOGO once the dialog is on screen: the
// font can be read only from inside the process.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Ispezione.h"
#include "opener/Opener.h"

namespace {

DWORD WINAPI DescriviDialogo(LPVOID file) {
  HWND dialogo = AttendiFinestra("Non trovato dati.ini", 60);
  // The plain box with that text comes first and has another caption: wait for the dialog's
  // own controls.
  for (int i = 0; i < 600 && dialogo && !GetDlgItem(dialogo, IDOK); ++i) Sleep(100);
  if (!dialogo) return 1;
  Sleep(300);
  std::string descrizione = DescriviFinestra(dialogo);
  FILE* uscita = std::fopen(static_cast<const char*>(file), "wb");
  if (!uscita) return 1;
  std::fwrite(descrizione.data(), 1, descrizione.size(), uscita);
  std::fclose(uscita);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: prova-dialogo chiedi|condivisione <folder>\n", stderr);
    return 64;
  }
  const std::string modo = argv[1];
  const std::string cartella = argv[2];
  try {
    if (modo == "chiedi") {
      const char* file = std::getenv("DESCRIZIONE_DIALOGO");
      if (file) CreateThread(nullptr, 0, DescriviDialogo, const_cast<char*>(file), 0, nullptr);
      std::string server = "x";
      std::string lettera = "x";
      ChiediServerDatabase(server, lettera, cartella, nullptr);
      std::printf("Server=%s\nLettera=%s\n", server.c_str(), lettera.c_str());
      return 0;
    }
    if (modo == "condivisione") {
      std::string percorso;
      bool conNome = false;
      bool fermo = PercorsoDaCondivisione(cartella, "", percorso, conNome);
      std::printf("Fermo=%d\nConNome=%d\n", fermo ? 1 : 0, conNome ? 1 : 0);
      return 0;
    }
  } catch (const std::exception& errore) {
    std::printf("Errore=%s\n", errore.what());
    return 3;
  }
  return 64;
}
