#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Testo.h"
#include "support/TestSupport.h"

// Control characters, C0, DEL and C1 as a UTF-8 terminal reads them, cannot reach the screen;
// accented letters and other bytes pass.
TEST(Testo, ControlCharactersBecomeQuestionMarks) {
  EXPECT_EQ(TestoVisibile("a\x1b]0;t\x07z\x7f"), "a?]0;t?z?");
  EXPECT_EQ(TestoVisibile("\xc2\x9b"
                          "2J \xc3\xa8 \xc2\xa0"),
            "?2J \xc3\xa8 \xc2\xa0");
  EXPECT_EQ(TestoVisibile("fine\xc2"), "fine\xc2");
  EXPECT_EQ(NotaSuUnaRiga("Uno:\rDue\r\nTre\n\tQuattro"), "Uno: / Due / Tre / ?Quattro");
}

// journalctl -p err shows a failed task and -p warning a fallback only with their prefixes; a
// log file, or a stream that JOURNAL_STREAM does not name (a child's standard error sent
// elsewhere), gets the plain line.
TEST(Testo, PrioritaDelGiornaleSoloSulGiornale) {
  TempFolder cartella;
  const std::string file = cartella / "stderr";
  std::fflush(stderr);
  const int salvato = dup(STDERR_FILENO);
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, STDERR_FILENO);
  close(fd);
  struct stat info {};
  fstat(STDERR_FILENO, &info);
  const std::string identita = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  auto scrivi = [](const char* giornale, const std::string& riga, TGravita gravita) {
    if (giornale)
      setenv("JOURNAL_STREAM", giornale, 1);
    else
      unsetenv("JOURNAL_STREAM");
    ScriviRigaErrore(riga, gravita);
  };
  scrivi(identita.c_str(), "Task 2 fallito: \x1b[31m", TGravita::Errore);
  scrivi(identita.c_str(), "a.fdb: server s non raggiungibile", TGravita::Avviso);
  scrivi((identita + "1").c_str(), "altro flusso", TGravita::Errore);
  scrivi("x", "valore guasto", TGravita::Errore);
  scrivi(nullptr, "senza giornale", TGravita::Errore);
  // An error box that stops the start-up, each of its lines; a plain message stays plain.
  setenv("JOURNAL_STREAM", identita.c_str(), 1);
  TInterfacciaConsole console(stdin, stderr, false);
  console.MostraMessaggio("Error", "Vessentaria non avviabile:\rmotivo", TIconaMessaggio::Errore);
  console.MostraMessaggio("vessentaria", "creato", TIconaMessaggio::Nessuna);
  unsetenv("JOURNAL_STREAM");
  std::fflush(stderr);
  dup2(salvato, STDERR_FILENO);
  close(salvato);
  EXPECT_EQ(LeggiFile(file),
            "<3>vessentaria: Task 2 fallito: ?[31m\n"
            "<4>vessentaria: a.fdb: server s non raggiungibile\n"
            "vessentaria: altro flusso\nvessentaria: valore guasto\nvessentaria: senza giornale\n"
            "<3>Error: Vessentaria non avviabile:\n<3>motivo\nvessentaria: creato\n");
}
