#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A window that can own a modal dialog. The program never has one: every caller passes none.
class TFinestra;

// The icon of a message box.
enum class TIconaMessaggio { Nessuna, Errore };

struct TFont {
  std::string Name = "MS Sans Serif";
  int Size = 8;  // points
  bool Bold = false;
  bool Italic = false;
};

// The controls of a dialog are plain records of their layout (pixels in the client area) and
// their text; the user interface that shows the dialog reads and fills them.
struct TControllo {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int TabOrder = -1;  // -1: not a tab stop
};

struct TPulsante : TControllo {
  std::string Caption;
  bool Default = false;  // pressed by Enter
  bool Cancel = false;   // pressed by Esc
};

struct TBevel : TControllo {};

struct TEtichetta : TControllo {
  std::string Caption;
};

struct TCampoTesto : TControllo {
  std::string Text;
};

// The modal two-field dialog: a label over two edit fields, OK and Cancel. Esito is 0 when the
// dialog is created, 1 after OK, 2 after Cancel; closing it any other way leaves 0.
class TDueCampiForm {
 public:
  explicit TDueCampiForm(TFinestra* Proprietario);
  TDueCampiForm(const TDueCampiForm&) = delete;
  TDueCampiForm& operator=(const TDueCampiForm&) = delete;

  TPulsante OKBtn;
  TPulsante CancelBtn;
  TBevel Bevel1;
  TEtichetta Label1;
  TCampoTesto Edit2;  // drive letter
  TCampoTesto Edit1;  // server name
  uint16_t Esito = 0;

  TFinestra* Proprietario() const { return proprietario_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value) { caption_ = value; }
  // The font of the dialog, which all its controls use.
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& value) { font_ = value; }
  int ClientWidth() const { return 329; }
  int ClientHeight() const { return 148; }
  // The control that has the focus; Edit1 once the dialog is active.
  const TControllo* ActiveControl() const { return activeControl_; }

  // Shows the dialog through the current user interface and returns when it is closed.
  void ShowModal();

  // What the user interface calls for the user's actions.
  void FormActivate() { activeControl_ = &Edit1; }
  void OKBtnClick();
  void CancelBtnClick();

 private:
  TFinestra* proprietario_;
  std::string caption_;
  TFont font_;
  const TControllo* activeControl_ = nullptr;
};

// Where modal boxes and dialogs are shown. The program uses the system's own: the console on Linux,
// real modal message boxes and a modal dialog window on Windows (on a window station without a
// visible desktop, the console's unattended behaviour and the event log); tests install their own
// to read what is shown and to answer.
class TInterfacciaUtente {
 public:
  virtual ~TInterfacciaUtente() = default;
  // A modal box with one "OK" button; returns once it is closed.
  virtual void MostraMessaggio(const std::string& caption, const std::string& testo,
                               TIconaMessaggio icona) = 0;
  // Runs the dialog modally: fills its fields and presses OK or Cancel, or leaves it closed.
  virtual void MostraDialogo(TDueCampiForm& dialogo) = 0;
};

// The interface in use: the system's own unless another has been installed.
TInterfacciaUtente& InterfacciaUtente();
// Installs `ui` (not owned; nullptr restores the system's own) and returns the one it replaces.
TInterfacciaUtente* ImpostaInterfacciaUtente(TInterfacciaUtente* ui);

// The error box: caption "Error", the error icon, one "OK" button.
void MostraErrore(const std::string& testo);
// The plain box: caption "vessentaria", no icon, one "OK" button.
void MostraMessaggio(const std::string& testo);

// The console: each box is written to standard error as one block, caption, ": ", the text with
// every CR LF or lone CR as a line feed, a line feed. When standard input is a terminal a box then
// waits for Enter and the dialog asks for its fields on it; otherwise nothing waits and the dialog
// counts as closed.
class TInterfacciaConsole : public TInterfacciaUtente {
 public:
  // Reads answers from `ingresso`, writes to `uscita`; interactive when `ingresso` is a terminal.
  explicit TInterfacciaConsole(std::FILE* ingresso = stdin, std::FILE* uscita = stderr);
  TInterfacciaConsole(std::FILE* ingresso, std::FILE* uscita, bool interattiva);

  bool Interattiva() const { return interattiva_; }
  void MostraMessaggio(const std::string& caption, const std::string& testo,
                       TIconaMessaggio icona) override;
  void MostraDialogo(TDueCampiForm& dialogo) override;

 private:
  void Scrivi(const std::string& testo);
  // False at the end of the input.
  bool LeggiRiga(std::string& riga);

  std::FILE* ingresso_;
  std::FILE* uscita_;
  bool interattiva_;
};

// A text as the console shows it: CR LF and lone CR become LF, other control characters "?".
std::string TestoPerConsole(const std::string& testo);
