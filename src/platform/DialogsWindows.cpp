#include <io.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/RegistroEventi.h"
#include "platform/Sistema.h"

namespace {

struct TEliminaOggetto {
  void operator()(HFONT font) const noexcept { DeleteObject(font); }
};
using PFont = std::unique_ptr<std::remove_pointer_t<HFONT>, TEliminaOggetto>;

// What the dialog procedure needs while the dialog is open: the form it shows and the window of
// each of the form's controls.
struct TDialogoAperto {
  TDueCampiForm* form;
  PFont font;
  HWND edit1 = nullptr;
  HWND edit2 = nullptr;
  std::vector<std::pair<const TControllo*, HWND>> finestre;
};

std::string Testo(HWND finestra) {
  int lunghezza = GetWindowTextLengthA(finestra);
  std::string testo(static_cast<size_t>(std::max(lunghezza, 0)) + 1, '\0');
  int letti = GetWindowTextA(finestra, testo.data(), static_cast<int>(testo.size()));
  testo.resize(static_cast<size_t>(std::max(letti, 0)));
  return testo;
}

PFont CreaFont(HWND dialogo, const TFont& font) {
  HDC dc = GetDC(dialogo);
  int altezza = -MulDiv(font.Size, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(dialogo, dc);
  return PFont(CreateFontA(altezza, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, font.Italic, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str()));
}

HWND CreaControllo(TDialogoAperto& aperto, HWND dialogo, const TControllo& controllo,
                   const char* classe, const std::string& testo, DWORD stile, DWORD stileEsteso,
                   int id, int larghezza, int altezza) {
  if (controllo.TabOrder >= 0) stile |= WS_TABSTOP;
  HWND finestra = CreateWindowExA(
      stileEsteso, classe, testo.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | stile,
      controllo.Left, controllo.Top, larghezza, altezza, dialogo,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  if (finestra && aperto.font)
    SendMessageA(finestra, WM_SETFONT, reinterpret_cast<WPARAM>(aperto.font.get()), FALSE);
  aperto.finestre.emplace_back(&controllo, finestra);
  return finestra;
}

HWND CreaPulsante(TDialogoAperto& aperto, HWND dialogo, const TPulsante& pulsante) {
  int id = pulsante.Default ? IDOK : pulsante.Cancel ? IDCANCEL : 0;
  DWORD stile = pulsante.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  return CreaControllo(aperto, dialogo, pulsante, "BUTTON", pulsante.Caption, stile, 0, id,
                       pulsante.Width, pulsante.Height);
}

HWND CreaCampo(TDialogoAperto& aperto, HWND dialogo, const TCampoTesto& campo) {
  return CreaControllo(aperto, dialogo, campo, "EDIT", campo.Text, ES_AUTOHSCROLL | ES_LEFT,
                       WS_EX_CLIENTEDGE, 0, campo.Width, campo.Height);
}

// A label without a width takes the size of its text, as the label of the form does.
HWND CreaEtichetta(TDialogoAperto& aperto, HWND dialogo, const TEtichetta& etichetta) {
  int larghezza = etichetta.Width;
  int altezza = etichetta.Height;
  if (larghezza <= 0 || altezza <= 0) {
    HDC dc = GetDC(dialogo);
    HGDIOBJ prima = aperto.font ? SelectObject(dc, aperto.font.get()) : nullptr;
    RECT area{0, 0, 0, 0};
    DrawTextA(dc, etichetta.Caption.c_str(), static_cast<int>(etichetta.Caption.size()), &area,
              DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    if (prima) SelectObject(dc, prima);
    ReleaseDC(dialogo, dc);
    larghezza = area.right - area.left;
    altezza = area.bottom - area.top;
  }
  return CreaControllo(aperto, dialogo, etichetta, "STATIC", etichetta.Caption,
                       SS_LEFT | SS_NOPREFIX, 0, 0, larghezza, altezza);
}

void CreaControlli(TDialogoAperto& aperto, HWND dialogo) {
  TDueCampiForm& form = *aperto.form;
  // Windows are created in tab order: the dialog moves the focus among its children in the
  // order of their creation. The label and the bevel come last, below the others.
  std::vector<const TControllo*> fermate{&form.OKBtn, &form.CancelBtn, &form.Edit2, &form.Edit1};
  std::stable_sort(fermate.begin(), fermate.end(), [](const TControllo* a, const TControllo* b) {
    return a->TabOrder < b->TabOrder;
  });
  for (const TControllo* controllo : fermate) {
    if (controllo == &form.OKBtn || controllo == &form.CancelBtn) {
      CreaPulsante(aperto, dialogo, static_cast<const TPulsante&>(*controllo));
    } else {
      HWND campo = CreaCampo(aperto, dialogo, static_cast<const TCampoTesto&>(*controllo));
      (controllo == &form.Edit1 ? aperto.edit1 : aperto.edit2) = campo;
    }
  }
  CreaEtichetta(aperto, dialogo, form.Label1);
  CreaControllo(aperto, dialogo, form.Bevel1, "STATIC", "", SS_ETCHEDFRAME, 0, 0, form.Bevel1.Width,
                form.Bevel1.Height);
}

// The client area gets the form's size and the window is centred on the screen.
void Dimensiona(HWND dialogo, const TDueCampiForm& form) {
  RECT area{0, 0, form.ClientWidth(), form.ClientHeight()};
  AdjustWindowRectEx(&area, static_cast<DWORD>(GetWindowLongPtrA(dialogo, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialogo, GWL_EXSTYLE)));
  int larghezza = area.right - area.left;
  int altezza = area.bottom - area.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - larghezza) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - altezza) / 2;
  SetWindowPos(dialogo, nullptr, x, y, larghezza, altezza, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Chiudi(HWND dialogo, TDialogoAperto& aperto) {
  aperto.form->Edit1.Text = Testo(aperto.edit1);
  aperto.form->Edit2.Text = Testo(aperto.edit2);
  EndDialog(dialogo, 0);
}

INT_PTR CALLBACK ProceduraDialogo(HWND dialogo, UINT messaggio, WPARAM wParam, LPARAM lParam) {
  auto* aperto = reinterpret_cast<TDialogoAperto*>(GetWindowLongPtrA(dialogo, DWLP_USER));
  switch (messaggio) {
    case WM_INITDIALOG: {
      aperto = reinterpret_cast<TDialogoAperto*>(lParam);
      SetWindowLongPtrA(dialogo, DWLP_USER, lParam);
      SetWindowTextA(dialogo, aperto->form->Caption().c_str());
      aperto->font = CreaFont(dialogo, aperto->form->Font());
      if (aperto->font)
        SendMessageA(dialogo, WM_SETFONT, reinterpret_cast<WPARAM>(aperto->font.get()), FALSE);
      CreaControlli(*aperto, dialogo);
      SendMessageA(dialogo, DM_SETDEFID, IDOK, 0);
      Dimensiona(dialogo, *aperto->form);
      for (const auto& [controllo, finestra] : aperto->finestre)
        if (controllo == aperto->form->ActiveControl()) SetFocus(finestra);
      // FALSE: the focus set above stays.
      return FALSE;
    }
    case WM_COMMAND:
      if (!aperto || HIWORD(wParam) != BN_CLICKED) return FALSE;
      // Enter presses the default button (IDOK), Esc the cancel button (IDCANCEL).
      if (LOWORD(wParam) == IDOK) {
        aperto->form->OKBtnClick();
        Chiudi(dialogo, *aperto);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        aperto->form->CancelBtnClick();
        Chiudi(dialogo, *aperto);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      // Closed by its window button or Alt+F4: no choice, Esito stays as it is.
      if (aperto) Chiudi(dialogo, *aperto);
      return TRUE;
    default:
      return FALSE;
  }
}

class TInterfacciaWindows : public TInterfacciaUtente {
 public:
  void MostraMessaggio(const std::string& caption, const std::string& testo,
                       TIconaMessaggio icona) override {
    UINT tipo = MB_OK | (icona == TIconaMessaggio::Errore ? MB_ICONERROR : 0);
    MessageBoxA(nullptr, testo.c_str(), caption.c_str(), tipo);
  }

  void MostraDialogo(TDueCampiForm& dialogo) override {
    // An empty template: the controls are made by the dialog procedure, in pixels, from the
    // form's layout. Style, extended style, no controls, position and size, then no menu, the
    // standard class and an empty title, each one WORD.
    const DWORD stile = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
    std::vector<WORD> modello{LOWORD(stile), HIWORD(stile), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    TDialogoAperto aperto{&dialogo, nullptr, nullptr, nullptr, {}};
    // When the dialog cannot be made (no desktop to show it on) it counts as closed.
    DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                            reinterpret_cast<LPCDLGTEMPLATEA>(modello.data()), nullptr,
                            ProceduraDialogo, reinterpret_cast<LPARAM>(&aperto));
  }
};

// The box as the event log keeps it: an error for the error box, a warning for the plain one,
// which on a desktop that nobody sees reports something unusual all the same.
void RegistraEvento(const std::string& caption, const std::string& testo, TIconaMessaggio icona) {
  RegistraNelSistema(caption + ": " + TestoPerConsole(testo), icona == TIconaMessaggio::Errore);
}

// A desktop that nobody sees (a scheduled task run whether the user is logged on or not, a
// service): a box there would wait for ever. Each box goes to standard error as on the console
// and to the event log, nothing waits, and the dialog counts as closed without a choice.
class TInterfacciaIncustodita : public TInterfacciaUtente {
 public:
  TInterfacciaIncustodita() : console_(stdin, stderr, false) {}

  void MostraMessaggio(const std::string& caption, const std::string& testo,
                       TIconaMessaggio icona) override {
    console_.MostraMessaggio(caption, testo, icona);
    RegistraEvento(caption, testo, icona);
  }

  void MostraDialogo(TDueCampiForm& dialogo) override { console_.MostraDialogo(dialogo); }

 private:
  TInterfacciaConsole console_;
};

// True unless the window station is known to have no visible desktop (WSF_VISIBLE not set).
bool StazioneVisibile(HWINSTA stazione) {
  USEROBJECTFLAGS flags{};
  if (!stazione || !GetUserObjectInformationA(stazione, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

// Decided once, on the window station the process was started on.
TInterfacciaUtente& InterfacciaDiSistema() {
  static TInterfacciaWindows windows;
  static TInterfacciaIncustodita incustodita;
  static const bool visibile = StazioneVisibile(GetProcessWindowStation());
  if (visibile) return windows;
  return incustodita;
}

bool IngressoDaTerminale(std::FILE* ingresso) {
  return _isatty(_fileno(ingresso)) != 0;
}
