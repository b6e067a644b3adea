// Archives that are not databases, archives that cannot be read or written, and a destination
// whose file system fills up during the copy: each run ends on its own within seconds, says why in
// the task's note (or as a start-up error), and leaves every file and every table as it was.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "support/Impianto.h"

namespace {

namespace fs = std::filesystem;

const char* const kOrdini = R"(
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('U1', 'USA', 'H1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('H1', 'USA', 'H1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (1, 11, 5, 'U1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (2, 12, 61, NULL);
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (101, 11);
INSERT INTO PS_STOSESSION (ID) VALUES (11);
)";

const char* const kVecchi = R"(
INSERT INTO CLIENTI (CODICE, NAZIONE) VALUES ('L1', 'ITA');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (9, 99, 61, 'L1');
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (909, 99);
INSERT INTO PS_STOSESSION (ID) VALUES (99);
)";

std::string ByteCasuali(size_t n) {
  std::mt19937 generatore(20261207);
  std::string byte(n, '\0');
  for (char& c : byte) c = static_cast<char>(generatore() & 0xFF);
  return byte;
}

std::string NotaConnessione(bool origine, const std::string& path, bool leggibile = true) {
  return std::string(origine ? "Impossibile stabilire la connessione all'origine"
                             : "Impossibile stabilire la connessione alla destinazione") +
         "\r\"" + path + "\":\rImpossibile stabilire la connessione" +
         (leggibile ? ""
                    : "\rIl file esiste ma l'utente che esegue il programma non può leggerlo: "
                      "Permission denied");
}

class ArchiviGuastiTest : public ::testing::Test {
 protected:
  TImpianto impianto_;
  std::string origine_ = impianto_.Archivi() + "origine.fdb";
  std::string destinazione_ = impianto_.Archivi() + "destinazione.fdb";
};

TEST_F(ArchiviGuastiTest, FileCheNonSonoArchiviLasciatiComeErano) {
  TImpianto::CreaOrdini(origine_, kOrdini);
  TImpianto::CreaOrdini(destinazione_, kVecchi);
  const std::string improntaOrigine = Impronta(origine_);
  const std::string improntaDestinazione = Impronta(destinazione_);
  // The first half of a real archive: its header is sound, its pages stop in the middle.
  const std::string archivio = LeggiFile(destinazione_);
  ASSERT_GT(archivio.size(), 8192u);
  struct Caso {
    const char* nome;
    std::string contenuto;
  };
  const std::vector<Caso> casi = {
      {"vuoto.fdb", ""},
      {"casuale.fdb", ByteCasuali(65536)},
      {"troncato.fdb", archivio.substr(0, archivio.size() / 2)},
      {"solo-intestazione.fdb", archivio.substr(0, 4096)},
  };
  for (const Caso& caso : casi) {
    for (bool origine : {true, false}) {
      SCOPED_TRACE(std::string(caso.nome) + (origine ? " as source" : " as destination"));
      const std::string guasto = impianto_.Archivi() + caso.nome;
      ScriviFile(guasto, caso.contenuto);
      fs::remove(impianto_.Ditta());
      impianto_.CreaDitta(
          RigaTask(1, origine ? guasto : origine_, origine ? destinazione_ : guasto) +
          RigaTask(2, origine_, destinazione_));

      const TEsito esito = impianto_.Esegui();
      EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
      EXPECT_LT(esito.secondi, 30.0);
      EXPECT_EQ(esito.out, "");
      auto righe = impianto_.LeggiTabella();
      EXPECT_EQ(righe[1].nota, NotaConnessione(origine, guasto));
      EXPECT_NE(righe[1].ultima.substr(0, 4), "2001");
      EXPECT_EQ(righe[2].nota, kNotaVecchia);
      // Byte for byte: no creation over it, no repair, no growth.
      EXPECT_TRUE(LeggiFile(guasto) == caso.contenuto);
      EXPECT_EQ(Impronta(origine_), improntaOrigine);
      EXPECT_EQ(Impronta(destinazione_), improntaDestinazione);
      fs::remove(guasto);
    }
  }
}

TEST_F(ArchiviGuastiTest, ConfigurazioneEDittaCheNonSonoArchivi) {
  TImpianto::CreaOrdini(origine_, kOrdini);
  const std::string guasto = impianto_.Archivi() + "ditta-guasta.fdb";
  const std::string casuale = ByteCasuali(20000);
  ScriviFile(guasto, casuale);
  // The company archive named by USER.FDB is not a database: start-up error 3.
  impianto_.CreaUtente(guasto);
  TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 3);
  EXPECT_NE(esito.err.find("Error: Impossibile stabilire la connessione all'archivio\n\"" + guasto +
                           "\"\n"),
            std::string::npos)
      << esito.err;
  EXPECT_LT(esito.secondi, 30.0);
  EXPECT_TRUE(LeggiFile(guasto) == casuale);

  // USER.FDB itself is an empty file.
  const std::string utente = impianto_.Installazione() + "User/USER.FDB";
  fs::remove(utente);
  ScriviFile(utente, "");
  esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 3);
  EXPECT_NE(esito.err.find("Error: Impossibile stabilire la connessione all'archivio\n\"" + utente +
                           "\""),
            std::string::npos)
      << esito.err;
  EXPECT_EQ(fs::file_size(utente), 0u);
}

TEST_F(ArchiviGuastiTest, ArchiviSenzaPermessi) {
  TImpianto::CreaOrdini(origine_, kOrdini);
  TImpianto::CreaOrdini(destinazione_, kVecchi);
  const std::string copia = impianto_.Archivi() + "copia.fdb";
  fs::copy_file(destinazione_, copia);
  impianto_.CreaDitta("");
  const std::string improntaOrigine = Impronta(origine_);
  const std::string improntaDestinazione = Impronta(destinazione_);
  // As root, permissions do not count: the program then runs as the engine's system user.
  const bool root = impianto_.EseguiComeUtenteDiSistema();

  struct Caso {
    bool origine;
    fs::perms permessi;
  };
  const fs::perms lettura = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const std::vector<Caso> casi = {
      {true, fs::perms::none},
      {false, fs::perms::none},
      {false, lettura},
      {true, fs::perms::owner_write},
  };
  for (const Caso& caso : casi) {
    const std::string& bloccato = caso.origine ? origine_ : destinazione_;
    SCOPED_TRACE((caso.origine ? "source " : "destination ") +
                 std::to_string(static_cast<int>(caso.permessi)));
    RunIsql(impianto_.Ditta(), "DELETE FROM VESSENTARIA;\n" + RigaTask(1, origine_, destinazione_) +
                                   RigaTask(2, origine_, copia) + "COMMIT;\n");
    // The program may not reach the archive but must still reach the company archive.
    if (root) {
      ASSERT_EQ(RunCommand("chown firebird '" + impianto_.Ditta() + "'"), 0);
      ASSERT_EQ(RunCommand("chown root '" + bloccato + "'"), 0);
    }
    fs::permissions(bloccato, caso.permessi);

    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    EXPECT_LT(esito.secondi, 30.0);
    auto righe = impianto_.LeggiTabella();
    const bool leggibile = (caso.permessi & fs::perms::owner_read) != fs::perms::none;
    EXPECT_EQ(righe[1].nota, NotaConnessione(caso.origine, bloccato, leggibile));
    EXPECT_EQ(righe[2].nota, kNotaVecchia);

    fs::permissions(bloccato, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Impronta(origine_), improntaOrigine);
    EXPECT_EQ(Impronta(destinazione_), improntaDestinazione);
    if (root) {
      ASSERT_EQ(RunCommand("chown firebird '" + bloccato + "'"), 0);
    }
  }
}

// A folder on the way that the account may not enter hides the file without removing it: "non
// trovato" would be false. Start-up and task say so with the system's reason.
TEST_F(ArchiviGuastiTest, ArchiviFuoriPortata) {
  TImpianto::CreaOrdini(origine_, kOrdini);
  TImpianto::CreaOrdini(destinazione_, kVecchi);
  const std::string chiusa = impianto_.Archivi() + "chiusa/";
  TImpianto::CreaOrdini(chiusa + "origine.fdb", kOrdini);
  impianto_.CreaDitta(RigaTask(1, chiusa + "origine.fdb", destinazione_) +
                      RigaTask(2, origine_, destinazione_));
  const std::string ditta = chiusa + "ditta.fdb";
  fs::copy_file(impianto_.Ditta(), ditta);
  impianto_.EseguiComeUtenteDiSistema();
  auto archivio = [this](const std::string& path) {
    RunIsql(impianto_.UserFdb(), "UPDATE TABSOFTDES SET VALORE = " + Apici(path) + ";\nCOMMIT;\n");
  };
  const fs::perms tutti = fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all;

  archivio(ditta);
  fs::permissions(chiusa, fs::perms::none);
  TEsito esito = impianto_.Esegui();
  EXPECT_EQ(esito.stato, 2) << esito.err;
  EXPECT_NE(esito.err.find("Error: Archivio \"" + ditta +
                           "\" non raggiungibile dall'utente che esegue il programma:\n"
                           "Permission denied\n"),
            std::string::npos)
      << esito.err;

  fs::permissions(chiusa, tutti);
  archivio(impianto_.Ditta());
  fs::permissions(chiusa, fs::perms::none);
  esito = impianto_.Esegui();
  fs::permissions(chiusa, tutti);
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  auto righe = impianto_.LeggiTabella();
  EXPECT_EQ(righe[1].nota,
            "Archivio origine \"" + chiusa + "origine.fdb\" non raggiungibile: Permission denied");
  EXPECT_EQ(righe[2].nota, kNotaVecchia);
}

TEST_F(ArchiviGuastiTest, ArchivioApertoDaUnAltroProgramma) {
  TImpianto::CreaOrdini(origine_, kOrdini);
  TImpianto::CreaOrdini(destinazione_, kVecchi);
  impianto_.CreaDitta(RigaTask(1, origine_, destinazione_) + RigaTask(2, origine_, destinazione_));
  const std::string prima = Impronta(destinazione_);
  {
    // The embedded engine gives a file to one process at a time: this one holds it, with an
    // open transaction, while the program runs.
    TSessione altroProgramma(destinazione_, "masterkey");
    altroProgramma.Esegui("UPDATE CLIENTI SET NAZIONE = NAZIONE");
    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    EXPECT_LT(esito.secondi, 30.0);
    auto righe = impianto_.LeggiTabella();
    EXPECT_EQ(righe[1].nota, NotaConnessione(false, destinazione_));
    EXPECT_EQ(righe[2].nota, kNotaVecchia);
    std::cout << "archive in use: the task failed after " << esito.secondi << " s\n";
  }
  EXPECT_EQ(Impronta(destinazione_), prima);
}

// A small tmpfs of its own, unmounted again whatever the test does.
class TFileSystemPiccolo {
 public:
  TFileSystemPiccolo(const std::string& cartella, size_t byte) : cartella_(cartella) {
    fs::create_directories(cartella_);
    const std::string opzioni = "size=" + std::to_string(byte) + ",mode=0777";
    montato_ = mount("tmpfs", cartella_.c_str(), "tmpfs", 0, opzioni.c_str()) == 0;
  }
  TFileSystemPiccolo(const TFileSystemPiccolo&) = delete;
  TFileSystemPiccolo& operator=(const TFileSystemPiccolo&) = delete;
  ~TFileSystemPiccolo() {
    if (montato_) umount2(cartella_.c_str(), MNT_DETACH);
  }
  bool Montato() const { return montato_; }

 private:
  std::string cartella_;
  bool montato_ = false;
};

TEST_F(ArchiviGuastiTest, DestinazioneSuFileSystemPieno) {
  const int ordini = 5000;
  TImpianto::CreaOrdini(origine_, DatiMassivi(ordini));
  // The destination archive, with rows of its own, is built elsewhere and copied onto a file
  // system that leaves it 256 KiB to grow: the copy needs several MiB.
  const std::string modello = impianto_.Archivi() + "modello.fdb";
  TImpianto::CreaOrdini(modello, kVecchi);
  const std::string improntaPrima = Impronta(modello);
  const size_t dimensione = fs::file_size(modello);
  const std::string cartella = impianto_.Archivi() + "piccolo/";
  TFileSystemPiccolo piccolo(cartella, dimensione + 256 * 1024);
  if (!piccolo.Montato())
    GTEST_SKIP() << "this machine refuses to mount a tmpfs (not root, or no mount rights)";
  const std::string destinazione = cartella + "destinazione.fdb";
  fs::copy_file(modello, destinazione);
  impianto_.CreaDitta(RigaTask(1, origine_, destinazione) + RigaTask(2, origine_, modello));

  const TEsito esito = impianto_.Esegui();
  EXPECT_LT(esito.secondi, 60.0);
  auto righe = impianto_.LeggiTabella();
  const std::string& nota = righe[1].nota;
  // The failure is told, in the note (exit status 0) or, when the commit itself was refused, as
  // the error that ended the run (exit status 1) after the same text went into the note.
  EXPECT_TRUE(esito.stato == 0 || esito.stato == 1) << esito.stato << esito.out << esito.err;
  EXPECT_NE(nota, kSuccesso);
  EXPECT_NE(nota, kNotaVecchia);
  EXPECT_NE(nota.find("No space left on device"), std::string::npos) << nota;
  if (esito.stato == 1) {
    EXPECT_NE(esito.out.find(nota), std::string::npos) << esito.out;
  }
  // The run stopped there: the second task did not run.
  EXPECT_EQ(righe[2].nota, kNotaVecchia);
  // All four tables of the destination as before the run, the archive still readable.
  EXPECT_EQ(Impronta(destinazione), improntaPrima);
  std::cout << "rows to copy: " << 4 * ordini + 3 * ordini / 10 << ", failed after "
            << esito.secondi << " s with: " << nota << "\n";
}

}  // namespace
