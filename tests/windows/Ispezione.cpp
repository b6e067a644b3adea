#include "Ispezione.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string Visibile(const std::string& testo) {
  std::string risultato;
  for (unsigned char c : testo) {
    char esadecimale[8];
    if (c == '\r') {
      risultato += "\\r";
    } else if (c == '\n') {
      risultato += "\\n";
    } else if (c == '\\') {
      risultato += "\\\\";
    } else if (c < 0x20 || c > 0x7E) {
      std::snprintf(esadecimale, sizeof(esadecimale), "\\x%02X", c);
      risultato += esadecimale;
    } else {
      risultato += static_cast<char>(c);
    }
  }
  return risultato;
}

// WM_GETTEXT is carried across processes, so this reads an edit field of another program too.
std::string Testo(HWND finestra) {
  char buffer[4096] = {};
  LRESULT n = SendMessageA(finestra, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string Classe(HWND finestra) {
  char buffer[256] = {};
  int n = GetClassNameA(finestra, buffer, sizeof(buffer));
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

RECT Posizione(HWND finestra) {
  RECT area{};
  GetWindowRect(finestra, &area);
  MapWindowPoints(HWND_DESKTOP, GetParent(finestra), reinterpret_cast<POINT*>(&area), 2);
  return area;
}

std::string Nome(HWND finestra) {
  if (!finestra) return "nessuno";
  RECT area = Posizione(finestra);
  return Classe(finestra) + "@" + std::to_string(area.left) + "," + std::to_string(area.top);
}

std::string Font(HWND finestra) {
  auto font = reinterpret_cast<HFONT>(SendMessageA(finestra, WM_GETFONT, 0, 0));
  LOGFONTA descrizione{};
  if (!font || GetObjectA(font, sizeof(descrizione), &descrizione) == 0) return "";
  HDC dc = GetDC(finestra);
  int punti = MulDiv(std::abs(descrizione.lfHeight), 72, GetDeviceCaps(dc, LOGPIXELSY));
  ReleaseDC(finestra, dc);
  return std::string(descrizione.lfFaceName) + " " + std::to_string(punti) +
         (descrizione.lfWeight >= FW_BOLD ? " bold" : "") + (descrizione.lfItalic ? " italic" : "");
}

struct TRicerca {
  std::string caption;
  HWND trovata = nullptr;
};

BOOL CALLBACK Confronta(HWND finestra, LPARAM dati) {
  auto* ricerca = reinterpret_cast<TRicerca*>(dati);
  char buffer[1024] = {};
  GetWindowTextA(finestra, buffer, sizeof(buffer));
  if (IsWindowVisible(finestra) && ricerca->caption == buffer) {
    ricerca->trovata = finestra;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND AttendiFinestra(const std::string& caption, int secondi) {
  for (int i = 0; i < secondi * 10; ++i) {
    TRicerca ricerca{caption};
    EnumWindows(Confronta, reinterpret_cast<LPARAM>(&ricerca));
    if (ricerca.trovata) return ricerca.trovata;
    Sleep(100);
  }
  return nullptr;
}

std::string DescriviFinestra(HWND finestra) {
  std::string d;
  char caption[1024] = {};
  GetWindowTextA(finestra, caption, sizeof(caption));
  d += "caption=" + Visibile(caption) + "\n";
  RECT client{};
  GetClientRect(finestra, &client);
  d += "client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom) + "\n";
  RECT fuori{};
  GetWindowRect(finestra, &fuori);
  int dx = (GetSystemMetrics(SM_CXSCREEN) - (fuori.right - fuori.left)) / 2 - fuori.left;
  int dy = (GetSystemMetrics(SM_CYSCREEN) - (fuori.bottom - fuori.top)) / 2 - fuori.top;
  d += std::string("centrata=") + (std::abs(dx) <= 1 && std::abs(dy) <= 1 ? "1" : "0") + "\n";
  LRESULT predefinito = SendMessageA(finestra, DM_GETDEFID, 0, 0);
  d += "default=" + std::to_string(HIWORD(predefinito) == DC_HASDEFID ? LOWORD(predefinito) : 0) +
       "\n";

  for (HWND figlio = GetWindow(finestra, GW_CHILD); figlio;
       figlio = GetWindow(figlio, GW_HWNDNEXT)) {
    RECT area = Posizione(figlio);
    LONG_PTR stile = GetWindowLongPtrA(figlio, GWL_STYLE);
    // A message box without an icon may keep a hidden, empty icon control.
    bool icona = Classe(figlio) == "Static" && (stile & SS_TYPEMASK) == SS_ICON &&
                 IsWindowVisible(figlio) && SendMessageA(figlio, STM_GETICON, 0, 0) != 0;
    d += "controllo " + Classe(figlio) + " id=" + std::to_string(GetDlgCtrlID(figlio)) +
         " x=" + std::to_string(area.left) + " y=" + std::to_string(area.top) +
         " w=" + std::to_string(area.right - area.left) +
         " h=" + std::to_string(area.bottom - area.top) +
         " tab=" + ((stile & WS_TABSTOP) ? "1" : "0") + " icona=" + (icona ? "1" : "0") +
         " testo=" + Visibile(Testo(figlio)) + "\n";
    std::string fontFiglio = Font(figlio);
    if (!fontFiglio.empty()) d += "font " + Nome(figlio) + "=" + fontFiglio + "\n";
  }

  GUITHREADINFO stato{};
  stato.cbSize = sizeof(stato);
  GetGUIThreadInfo(GetWindowThreadProcessId(finestra, nullptr), &stato);
  d += "fuoco=" + Nome(stato.hwndFocus) + "\n";
  std::string giro;
  HWND fermata = stato.hwndFocus;
  std::vector<HWND> viste;
  for (int i = 0; i < 8 && fermata; ++i) {
    fermata = GetNextDlgTabItem(finestra, fermata, FALSE);
    if (!fermata || fermata == stato.hwndFocus) break;
    giro += " " + Nome(fermata);
  }
  d += "tab=" + Nome(stato.hwndFocus) + giro + "\n";
  return d;
}
