#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/Dialogs.h"

namespace {

// A console over in-memory input and output.
class ConsoleDiProva {
 public:
  ConsoleDiProva(const std::string& ingresso, bool interattiva) : testo_(ingresso) {
    // fmemopen refuses an empty buffer: keep one byte and read none of it.
    if (testo_.empty()) testo_.push_back(' ');
    in_ = fmemopen(testo_.data(), ingresso.empty() ? 0 : testo_.size(), "r");
    if (ingresso.empty()) std::fseek(in_, 0, SEEK_END);
    out_ = open_memstream(&buffer_, &size_);
    console_ = std::make_unique<TInterfacciaConsole>(in_, out_, interattiva);
  }
  ~ConsoleDiProva() {
    std::fclose(in_);
    std::fclose(out_);
    std::free(buffer_);
  }
  TInterfacciaConsole& Console() { return *console_; }
  std::string Uscita() {
    std::fflush(out_);
    return std::string(buffer_, size_);
  }
  std::string Rimasto() {
    std::string r;
    for (int c; (c = std::fgetc(in_)) != EOF;) r += static_cast<char>(c);
    return r;
  }

 private:
  std::string testo_;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::unique_ptr<TInterfacciaConsole> console_;
};

class Registratore : public TInterfacciaUtente {
 public:
  struct Box {
    std::string caption, testo;
    TIconaMessaggio icona;
  };
  void MostraMessaggio(const std::string& caption, const std::string& testo,
                       TIconaMessaggio icona) override {
    boxes.push_back({caption, testo, icona});
  }
  void MostraDialogo(TDueCampiForm& dialogo) override {
    attivo = dialogo.ActiveControl();
    dialogo.Edit1.Text = "SRV";
    dialogo.OKBtnClick();
  }
  std::vector<Box> boxes;
  const TControllo* attivo = nullptr;
};

}  // namespace

TEST(Dialogs, ConsoleTurnsCarriageReturnsIntoLineFeeds) {
  const std::pair<std::string, std::string> casi[] = {
      {"uno", "uno"},
      {"uno\rdue", "uno\ndue"},
      {"uno\r\ndue", "uno\ndue"},
      {"uno\ndue", "uno\ndue"},
      {"\r\r\n\r", "\n\n\n"},
      {"fine\r", "fine\n"},
      {"", ""},
  };
  for (const auto& [testo, atteso] : casi) EXPECT_EQ(TestoPerConsole(testo), atteso);
}

TEST(Dialogs, BoxWithoutTerminalGoesOnAtOnce) {
  ConsoleDiProva prova("risposta\n", false);
  prova.Console().MostraMessaggio("Error", "Impossibile\r\"x\"", TIconaMessaggio::Errore);
  prova.Console().MostraMessaggio("vessentaria", "riga1\r\nriga2", TIconaMessaggio::Nessuna);
  EXPECT_EQ(prova.Uscita(), "Error: Impossibile\n\"x\"\nvessentaria: riga1\nriga2\n");
  EXPECT_EQ(prova.Rimasto(), "risposta\n");
}

TEST(Dialogs, BoxOnTerminalWaitsForOneLine) {
  ConsoleDiProva prova("\nseconda\n", true);
  prova.Console().MostraMessaggio("Error", "testo", TIconaMessaggio::Errore);
  EXPECT_EQ(prova.Uscita(), "Error: testo\n");
  EXPECT_EQ(prova.Rimasto(), "seconda\n");

  ConsoleDiProva finita("", true);
  finita.Console().MostraMessaggio("Error", "testo", TIconaMessaggio::Errore);
  EXPECT_EQ(finita.Uscita(), "Error: testo\n");
}

TEST(Dialogs, DialogOnConsole) {
  struct Caso {
    std::string ingresso;
    bool interattiva;
    uint16_t esito;
    std::string edit1, edit2;
    std::string finale;  // the last prompt shown
  };
  const Caso casi[] = {
      {"SRV\nC\n\n", true, 1, "SRV", "C", "OK / Cancel [OK]: "},
      {"SRV\r\nC\r\nok\r\n", true, 1, "SRV", "C", "OK / Cancel [OK]: "},
      {"SRV\n\nO\n", true, 1, "SRV", "", "OK / Cancel [OK]: "},
      {"SRV\nC\nforse\nCancel\n", true, 2, "SRV", "C", "OK / Cancel [OK]: OK / Cancel [OK]: "},
      {"SRV\nC\nc\n", true, 2, "SRV", "C", "OK / Cancel [OK]: "},
      {"SRV\nC\n", true, 0, "SRV", "C", "OK / Cancel [OK]: "},
      {"SRV\n", true, 0, "SRV", "", "Lettera disco: "},
      {"", true, 0, "", "", "Computer: "},
      {"SRV\nC\n\n", false, 0, "", "", ""},
  };
  for (const auto& caso : casi) {
    ConsoleDiProva prova(caso.ingresso, caso.interattiva);
    TDueCampiForm dialogo(nullptr);
    dialogo.SetCaption("Non trovato dati.ini");
    dialogo.Label1.Caption = "Inserire\r\nil nome";
    dialogo.Edit2.Text = "";
    TInterfacciaUtente* prima = ImpostaInterfacciaUtente(&prova.Console());
    dialogo.ShowModal();
    ImpostaInterfacciaUtente(prima);
    EXPECT_EQ(dialogo.Esito, caso.esito) << caso.ingresso;
    EXPECT_EQ(dialogo.Edit1.Text, caso.edit1) << caso.ingresso;
    EXPECT_EQ(dialogo.Edit2.Text, caso.edit2) << caso.ingresso;
    std::string uscita = prova.Uscita();
    if (caso.interattiva) {
      EXPECT_EQ(uscita.rfind("Non trovato dati.ini: Inserire\nil nome\nComputer: ", 0), 0u)
          << uscita;
      EXPECT_EQ(uscita.substr(uscita.size() - caso.finale.size()), caso.finale) << uscita;
    } else {
      EXPECT_EQ(uscita, "");
      EXPECT_EQ(prova.Rimasto(), caso.ingresso);
    }
  }
}

TEST(Dialogs, BoxesAndDialogGoThroughTheInstalledInterface) {
  Registratore registratore;
  TInterfacciaUtente* prima = ImpostaInterfacciaUtente(&registratore);
  MostraErrore("errore\rdue");
  MostraMessaggio("messaggio");
  TDueCampiForm dialogo(nullptr);
  EXPECT_EQ(dialogo.Esito, 0);
  EXPECT_EQ(dialogo.ActiveControl(), nullptr);
  dialogo.ShowModal();
  EXPECT_EQ(ImpostaInterfacciaUtente(prima), &registratore);

  ASSERT_EQ(registratore.boxes.size(), 2u);
  EXPECT_EQ(registratore.boxes[0].caption, "Error");
  EXPECT_EQ(registratore.boxes[0].testo, "errore\rdue");
  EXPECT_EQ(registratore.boxes[0].icona, TIconaMessaggio::Errore);
  EXPECT_EQ(registratore.boxes[1].caption, "vessentaria");
  EXPECT_EQ(registratore.boxes[1].testo, "messaggio");
  EXPECT_EQ(registratore.boxes[1].icona, TIconaMessaggio::Nessuna);
  EXPECT_EQ(registratore.attivo, &dialogo.Edit1);
  EXPECT_EQ(dialogo.Esito, 1);
  EXPECT_EQ(dialogo.Edit1.Text, "SRV");
}
