#include "platform/Dialogs.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/Sistema.h"
#include "platform/Terminale.h"
#include "platform/Testo.h"

namespace {

TInterfacciaUtente* interfacciaImpostata = nullptr;

std::string Minuscolo(std::string testo) {
  std::transform(testo.begin(), testo.end(), testo.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return testo;
}

}  // namespace

TDueCampiForm::TDueCampiForm(TFinestra* Proprietario) : proprietario_(Proprietario) {
  Bevel1.Left = 8;
  Bevel1.Top = 8;
  Bevel1.Width = 313;
  Bevel1.Height = 89;
  Label1.Left = 13;
  Label1.Top = 32;
  Edit1.Left = 24;
  Edit1.Top = 56;
  Edit1.Width = 129;
  Edit1.Height = 24;
  Edit1.TabOrder = 3;
  Edit2.Left = 168;
  Edit2.Top = 56;
  Edit2.Width = 127;
  Edit2.Height = 24;
  Edit2.TabOrder = 0;
  OKBtn.Caption = "OK";
  OKBtn.Left = 93;
  OKBtn.Top = 108;
  OKBtn.Width = 77;
  OKBtn.Height = 27;
  OKBtn.TabOrder = 1;
  OKBtn.Default = true;
  CancelBtn.Caption = "Cancel";
  CancelBtn.Left = 177;
  CancelBtn.Top = 108;
  CancelBtn.Width = 77;
  CancelBtn.Height = 27;
  CancelBtn.TabOrder = 2;
  CancelBtn.Cancel = true;
}

void TDueCampiForm::ShowModal() {
  FormActivate();
  InterfacciaUtente().MostraDialogo(*this);
}

// Each button sets Esito; the user interface then closes the dialog.
void TDueCampiForm::OKBtnClick() {
  Esito = 1;
}

void TDueCampiForm::CancelBtnClick() {
  Esito = 2;
}

TInterfacciaUtente& InterfacciaUtente() {
  return interfacciaImpostata ? *interfacciaImpostata : InterfacciaDiSistema();
}

TInterfacciaUtente* ImpostaInterfacciaUtente(TInterfacciaUtente* ui) {
  return std::exchange(interfacciaImpostata, ui);
}

void MostraErrore(const std::string& testo) {
  InterfacciaUtente().MostraMessaggio("Error", testo, TIconaMessaggio::Errore);
}

void MostraMessaggio(const std::string& testo) {
  InterfacciaUtente().MostraMessaggio("vessentaria", testo, TIconaMessaggio::Nessuna);
}

std::string TestoPerConsole(const std::string& testo) {
  std::string risultato;
  risultato.reserve(testo.size());
  size_t inizio = 0;
  for (size_t i = 0; i <= testo.size(); ++i) {
    if (i < testo.size() && testo[i] != '\r' && testo[i] != '\n') continue;
    // Between the line breaks, paths and server texts: nothing in them may steer the terminal.
    risultato += TestoVisibile(testo.substr(inizio, i - inizio));
    if (i == testo.size()) break;
    risultato += '\n';
    if (testo[i] == '\r' && i + 1 < testo.size() && testo[i + 1] == '\n') ++i;
    inizio = i + 1;
  }
  return risultato;
}

TInterfacciaConsole::TInterfacciaConsole(std::FILE* ingresso, std::FILE* uscita)
    : TInterfacciaConsole(ingresso, uscita, IngressoDaTerminale(ingresso)) {}

TInterfacciaConsole::TInterfacciaConsole(std::FILE* ingresso, std::FILE* uscita, bool interattiva)
    : ingresso_(ingresso), uscita_(uscita), interattiva_(interattiva) {}

void TInterfacciaConsole::Scrivi(const std::string& testo) {
  std::fwrite(testo.data(), 1, testo.size(), uscita_);
  std::fflush(uscita_);
}

bool TInterfacciaConsole::LeggiRiga(std::string& riga) {
  riga.clear();
  for (;;) {
    int c = std::fgetc(ingresso_);
    if (c == EOF) return !riga.empty();
    if (c == '\n') break;
    riga += static_cast<char>(c);
  }
  if (!riga.empty() && riga.back() == '\r') riga.pop_back();
  return true;
}

void TInterfacciaConsole::MostraMessaggio(const std::string& caption, const std::string& testo,
                                          TIconaMessaggio icona) {
  std::string righe = caption + ": " + TestoPerConsole(testo) + "\n";
  // The journal takes each line as an entry of its own: every line of an error box carries the
  // error's priority, so that journalctl -p err shows why a run could not start.
  if (icona == TIconaMessaggio::Errore && uscita_ == stderr && ErroreStandardSulGiornale()) {
    for (size_t inizio = 0; inizio < righe.size(); inizio = righe.find('\n', inizio) + 1)
      righe.insert(inizio, "<3>");
  }
  Scrivi(righe);
  if (!interattiva_) return;
  // Modal: the program goes on once the user has pressed Enter (or the input has ended).
  std::string riga;
  LeggiRiga(riga);
}

void TInterfacciaConsole::MostraDialogo(TDueCampiForm& dialogo) {
  // A scheduled run has nobody to answer: the dialog counts as closed without a choice.
  if (!interattiva_) return;
  Scrivi(dialogo.Caption() + ": " + TestoPerConsole(dialogo.Label1.Caption) + "\n");
  std::string riga;
  Scrivi("Computer: ");
  if (!LeggiRiga(riga)) return;
  dialogo.Edit1.Text = riga;
  Scrivi("Lettera disco: ");
  if (!LeggiRiga(riga)) return;
  dialogo.Edit2.Text = riga;
  for (;;) {
    Scrivi("OK / Cancel [OK]: ");
    if (!LeggiRiga(riga)) return;
    std::string scelta = Minuscolo(riga);
    // An empty answer presses the default button.
    if (scelta.empty() || scelta == "ok" || scelta == "o") {
      dialogo.OKBtnClick();
      return;
    }
    if (scelta == "cancel" || scelta == "c") {
      dialogo.CancelBtnClick();
      return;
    }
  }
}
