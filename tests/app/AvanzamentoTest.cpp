#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/AvanzamentoTerminale.h"

namespace {

// What the display wrote so far into its temporary file.
std::string Scritto(std::FILE* file) {
  std::fflush(file);
  std::string testo;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) testo += static_cast<char>(c);
  return testo;
}

}  // namespace

// One task with a step: the line is rewritten in place, no more often than a few times a second,
// a shorter line blanks what the longer one left, and the task ends on a line of its own with its
// note, whose CR separators do not overwrite it.
TEST(Avanzamento, RigaRiscrittaEFineDelTask) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  double adesso = 100;
  {
    TAvanzamentoTerminale avanzamento(file, [&adesso] { return adesso; });
    avanzamento.InizioTask(10);
    EXPECT_EQ(Scritto(file), "\rTask 10: apertura degli archivi");
    adesso = 102;
    avanzamento.InizioPasso("Righe PS Ordini");
    const std::string passo = "\rTask 10 - Righe PS Ordini - 0:00:02";
    EXPECT_EQ(Scritto(file), "\rTask 10: apertura degli archivi" + passo);

    adesso = 102.1;
    avanzamento.Righe(256);  // too soon after the last line
    EXPECT_EQ(Scritto(file).size(), 32 + passo.size());
    adesso = 104;
    avanzamento.Righe(1234567);
    const std::string righe =
        "\rTask 10 - Righe PS Ordini: 1.234.567 righe (617.283 righe/s) - 0:00:04";
    EXPECT_EQ(Scritto(file), "\rTask 10: apertura degli archivi" + passo + righe);

    // A shorter line blanks what the longer one left behind.
    adesso = 3700;
    avanzamento.InizioPasso("Sessioni");
    const std::string breve = "\rTask 10 - Sessioni - 1:00:00";
    EXPECT_EQ(Scritto(file), "\rTask 10: apertura degli archivi" + passo + righe + breve +
                                 std::string(righe.size() - breve.size(), ' '));

    adesso = 3761;
    avanzamento.FineTask(false, "Impossibile eseguire il travaso PS Ordini:\rTabella mancante");
    const std::string fine =
        "\rTask 10 fallito in 1:01:01: Impossibile eseguire il travaso PS Ordini: / Tabella "
        "mancante\n";
    EXPECT_EQ(Scritto(file), "\rTask 10: apertura degli archivi" + passo + righe + breve +
                                 std::string(righe.size() - breve.size(), ' ') + fine);
    avanzamento.InizioTask(30);
  }
  // The display goes away with a line still open: it ends that line.
  const std::string tutto = Scritto(file);
  EXPECT_EQ(tutto.substr(tutto.rfind('\r')), "\rTask 30: apertura degli archivi\n");
  std::fclose(file);
}
