#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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

namespace {

// Standard error sent to a file of its own for one test, with JOURNAL_STREAM as the test sets
// it; both are put back at the end.
class ErroreSuFile {
 public:
  ErroreSuFile() : file_(cartella_ / "stderr") {
    std::fflush(stderr);
    salvato_ = dup(STDERR_FILENO);
    const int fd = open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
    if (const char* valore = std::getenv("JOURNAL_STREAM")) giornale_ = valore;
  }
  ~ErroreSuFile() {
    std::fflush(stderr);
    dup2(salvato_, STDERR_FILENO);
    close(salvato_);
    if (giornale_)
      setenv("JOURNAL_STREAM", giornale_->c_str(), 1);
    else
      unsetenv("JOURNAL_STREAM");
  }
  // "<device>:<inode>" of the file, as systemd names its stream.
  std::string Identita() const {
    struct stat info {};
    fstat(STDERR_FILENO, &info);
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  }
  // The lines written since the last call.
  std::string Scritto() {
    const std::string tutto = LeggiFile(file_);
    const std::string nuovo = tutto.substr(letti_);
    letti_ = tutto.size();
    return nuovo;
  }

 private:
  TempFolder cartella_;
  std::string file_;
  int salvato_ = -1;
  std::optional<std::string> giornale_;
  size_t letti_ = 0;
};

}  // namespace

// journalctl -p err shows a failed task and -p warning a fallback only with their prefixes; a
// log file, or a stream that JOURNAL_STREAM does not name (a child's standard error sent
// elsewhere), gets the plain line.
TEST(Testo, PrioritaDelGiornaleSoloSulGiornale) {
  ErroreSuFile errore;
  const std::string identita = errore.Identita();
  setenv("JOURNAL_STREAM", identita.c_str(), 1);
  ScriviRigaErrore("Task 2 fallito: \x1b[31m", TGravita::Errore);
  ScriviRigaErrore("a.fdb: server s non raggiungibile", TGravita::Avviso);
  EXPECT_EQ(errore.Scritto(),
            "<3>vessentaria: Task 2 fallito: ?[31m\n"
            "<4>vessentaria: a.fdb: server s non raggiungibile\n");

  for (const std::string& altro : std::vector<std::string>{
           identita + "1", "1" + identita, identita.substr(0, identita.find(':')) + ":", "x"}) {
    setenv("JOURNAL_STREAM", altro.c_str(), 1);
    ScriviRigaErrore("fallito", TGravita::Errore);
    EXPECT_EQ(errore.Scritto(), "vessentaria: fallito\n") << altro;
  }
  unsetenv("JOURNAL_STREAM");
  ScriviRigaErrore("fallito", TGravita::Errore);
  EXPECT_EQ(errore.Scritto(), "vessentaria: fallito\n");
}
