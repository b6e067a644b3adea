// Hostile configuration: dati.ini files full of garbage, values in USER.FDB that carry quotes,
// 8-bit characters or great length, task paths with quotes, blanks and missing folders. The run
// never crashes or waits, never writes a dati.ini, never touches a file it was not asked to, and
// a quote never changes what a statement means.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/Impianto.h"

namespace {

namespace fs = std::filesystem;

const char* const kOrdini = R"(
INSERT INTO CLIENTI (CODICE, RAGIONESOCIALE, NAZIONE, INTESTATARIOFATTURA)
  VALUES ('U1', x'4D6FE8', 'USA', 'H1');
INSERT INTO CLIENTI (CODICE, NAZIONE, INTESTATARIOFATTURA) VALUES ('H1', 'USA', 'H1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (1, 11, 5, 'U1');
INSERT INTO PS_ORDINI (ID, IDSESSIONE, IDUTENTE, CODDEST) VALUES (2, 12, 61, NULL);
INSERT INTO PS_STOINSCAR (IDINSERIMENTO, IDSESSIONE) VALUES (101, 11);
INSERT INTO PS_STOSESSION (ID) VALUES (11);
)";

std::string ByteCasuali(size_t n, unsigned seme) {
  std::mt19937 generatore(seme);
  std::string byte(n, '\0');
  for (char& c : byte) c = static_cast<char>(generatore() & 0xFF);
  return byte;
}

// isql's CREATE DATABASE takes no quote in its path: the archive is made under a plain name and
// then moved.
void CreaInPercorso(const std::string& path, const std::string& ddl) {
  const std::string semplice = fs::path(path).parent_path().parent_path() / "semplice.fdb";
  CreaDatabaseDiProva(semplice, ddl);
  fs::rename(semplice, path);
}

// Every file under `cartella` with its size, to see that nothing was created or changed.
std::set<std::string> Elenco(const std::string& cartella) {
  std::set<std::string> elenco;
  for (const auto& voce : fs::recursive_directory_iterator(cartella))
    if (voce.is_regular_file())
      elenco.insert(voce.path().string() + " " + std::to_string(voce.file_size()));
  return elenco;
}

class ConfigurazioneOstileTest : public ::testing::Test {
 protected:
  TImpianto impianto_;
};

TEST_F(ConfigurazioneOstileTest, DatiIniIllegibiliNonFermanoLaCopia) {
  const std::string origine = impianto_.Archivi() + "origine/origine.fdb";
  const std::string destinazione = impianto_.Archivi() + "destinazione/destinazione.fdb";
  TImpianto::CreaOrdini(origine, kOrdini);
  impianto_.CreaDitta(RigaTask(1, origine, destinazione));
  const std::string copiato = "PS_ORDINI 2";

  const std::string riga(100000, 'k');
  const std::vector<std::pair<const char*, std::string>> casi = {
      {"binary garbage", ByteCasuali(8192, 1)},
      {"garbage with NUL bytes after a section", "[CONFIG]\n" + ByteCasuali(4096, 2)},
      {"a line of 100000 characters", "[CONFIG]\n" + riga + "\nNome Server" + riga},
      {"a server name of 5000 characters with an alias",
       "[CONFIG]\r\nNome Server=" + std::string(5000, 's') + "\r\nAlias=ditta\r\n"},
      {"duplicate sections and keys naming a port where nobody listens",
       "[CONFIG]\nAlias=a\nNome Server=\n[config]\nNome Server=127.0.0.1/1\nAlias=b\n"
       "[CONFIG]\nAlias=c\nAlias=d"},
      {"no newline at the end", "[CONFIG]\nNome Server=127.0.0.1/1\nAlias=ditta"},
      {"a section that never closes", "[CONFIG\nNome Server=127.0.0.1/1\nAlias=x\n"},
  };
  for (const auto& [nome, contenuto] : casi) {
    SCOPED_TRACE(nome);
    fs::remove(destinazione);
    TImpianto::CreaOrdini(destinazione);
    // The same file beside every database the program opens.
    for (const std::string& cartella :
         {impianto_.Installazione() + "User/", impianto_.Archivi(),
          impianto_.Archivi() + "origine/", impianto_.Archivi() + "destinazione/"})
      ScriviFile(cartella + "dati.ini", contenuto);
    RunIsql(impianto_.Ditta(), "UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = 'x';\nCOMMIT;\n");

    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    EXPECT_LT(esito.secondi, 30.0);
    EXPECT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
    EXPECT_EQ(ContaRighe(destinazione, "PS_ORDINI"), 2);
    EXPECT_EQ(ContaRighe(destinazione, "CLIENTI"), 2);
    // Read only: no answer was asked for, so nothing is written back.
    EXPECT_TRUE(LeggiFile(impianto_.Archivi() + "dati.ini") == contenuto);
  }
}

TEST_F(ConfigurazioneOstileTest, DatiIniCheNonEUnFile) {
  const std::string origine = impianto_.Archivi() + "origine.fdb";
  const std::string destinazione = impianto_.Archivi() + "destinazione.fdb";
  TImpianto::CreaOrdini(origine, kOrdini);
  TImpianto::CreaOrdini(destinazione);
  impianto_.CreaDitta(RigaTask(1, origine, destinazione));
  // A pipe nobody writes to beside USER.FDB, an endless device beside the archives.
  const std::string tubo = impianto_.Installazione() + "User/dati.ini";
  ASSERT_EQ(mkfifo(tubo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", impianto_.Archivi() + "dati.ini");

  const TEsito esito = impianto_.Esegui(std::chrono::seconds(60));
  EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
  EXPECT_LT(esito.secondi, 30.0);
  EXPECT_EQ(impianto_.LeggiTabella()[1].nota, kSuccesso);
  EXPECT_EQ(ContaRighe(destinazione, "PS_ORDINI"), 2);
  EXPECT_TRUE(fs::is_fifo(tubo));
}

TEST_F(ConfigurazioneOstileTest, ValoriDiUserFdbConApiciTestiLunghiECaratteriAOttoBit) {
  const std::string origine = impianto_.Archivi() + "origine.fdb";
  const std::string destinazione = impianto_.Archivi() + "destinazione.fdb";
  TImpianto::CreaOrdini(origine, kOrdini);
  TImpianto::CreaOrdini(destinazione);
  // The company archive in a folder whose name carries a quote and blanks.
  const std::string cartella = impianto_.Archivi() + "l'archivio della ditta/";
  fs::create_directories(cartella);
  const std::string ditta = cartella + "ditta \"01\".fdb";
  CreaInPercorso(ditta, DdlDitta() + "\nCOMMIT;\n" + RigaTask(1, origine, destinazione));
  // Another company's archive, which no value of the configuration user may reach.
  const std::string altra = impianto_.Archivi() + "altra.fdb";
  CreaDatabaseDiProva(altra, DdlDitta());
  const std::string lunga(3000, 'D');
  const std::string utenti =
      "CREATE TABLE UTENTI (NOMEUTENTE VARCHAR(31) NOT NULL, CODICE INTEGER NOT NULL,"
      " DITTA VARCHAR(4000));\n"
      "CREATE TABLE TABSOFTDES (UTENTE INTEGER NOT NULL, INTESTAZIONE VARCHAR(4000) NOT NULL,"
      " PARAMETRO VARCHAR(40) NOT NULL, VALORE VARCHAR(1000));\nCOMMIT;\n"
      "INSERT INTO TABSOFTDES VALUES (1, 'X', 'Archivio', '" +
      altra + "');\n";
  struct Caso {
    std::string nome;
    std::string ditta;
    int stato;
  };
  const std::vector<Caso> casi = {
      {"a quote", "O'Brien & C.", 0},
      {"8-bit characters", "Societ\xE0 \xABprima\xBB", 0},
      {"3000 characters", lunga, 0},
      // Would select every setting row if the quote ended the value: the other company's
      // archive must not be reached.
      {"a quote that tries to end the value", "' OR ''='", 6},
  };
  const std::string utente = impianto_.Installazione() + "User/USER.FDB";
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.nome);
    fs::remove(utente);
    std::string righe =
        "INSERT INTO UTENTI VALUES ('VESSENTARIA#', 7, " + Apici(caso.ditta) + ");\n";
    if (caso.stato == 0)
      righe += "INSERT INTO TABSOFTDES VALUES (7, " + Apici(caso.ditta) + ", 'Archivio', " +
               Apici(ditta) + ");\n";
    impianto_.CreaUserFdb(utenti + righe);
    RunIsql(ditta, "UPDATE VESSENTARIA SET NOTEULTIMAESECUZIONE = 'x';\nCOMMIT;\n");
    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, caso.stato) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    const std::string nota =
        QueryIsql(ditta, "SELECT CAST(NOTEULTIMAESECUZIONE AS VARCHAR(200)) AS N FROM VESSENTARIA");
    if (caso.stato == 0) {
      EXPECT_NE(nota.find(kSuccesso), std::string::npos) << nota;
    } else {
      EXPECT_EQ(esito.err,
                "Error: Utente \"VESSENTARIA#\" senza parametro \"Archivio\" configurato\n");
      EXPECT_EQ(nota.find(kSuccesso), std::string::npos) << nota;
    }
  }
}

TEST_F(ConfigurazioneOstileTest, PercorsiDelTaskConApiciSpaziECartelleMancanti) {
  const std::string strana = impianto_.Archivi() + "dir con spazi e 'apici'/";
  fs::create_directories(strana);
  const std::string origine = strana + "ordini \"2024\".fdb";
  const std::string destinazione = strana + "l'altra destinazione.fdb";
  CreaInPercorso(origine, DdlOrdini() + "\nCOMMIT;\n" + kOrdini);
  CreaInPercorso(destinazione, DdlOrdini());
  // A file that is not an archive, named so that an unquoted CREATE DATABASE would read a
  // different statement; and a path of exactly 255 characters.
  const std::string trappola = strana + "x' PAGE_SIZE 16384 '.fdb";
  ScriviFile(trappola, "non un archivio");
  std::string lunga = impianto_.Archivi();
  while (lunga.size() < 200) lunga += std::string(30, 'c') + "/";
  fs::create_directories(lunga);
  lunga += std::string(255 - lunga.size() - 4, 'f') + ".fdb";
  ASSERT_EQ(lunga.size(), 255u);
  TImpianto::CreaOrdini(lunga);
  const std::string mancante = impianto_.Archivi() + "non esiste/ancora meno/d.fdb";

  struct Caso {
    std::string origine;
    std::string destinazione;
    std::string nota;
  };
  const std::vector<Caso> casi = {
      {origine, destinazione, kSuccesso},
      {origine, lunga, kSuccesso},
      {origine, trappola,
       "Impossibile stabilire la connessione alla destinazione\r\"" + trappola +
           "\":\rImpossibile stabilire la connessione"},
      {origine, mancante, "Archivio destinazione \"" + mancante + "\" non trovato"},
      {mancante, destinazione, "Archivio origine \"" + mancante + "\" non trovato"},
      {" " + origine, destinazione, "Archivio origine \" " + origine + "\" non trovato"},
  };
  impianto_.CreaDitta("");
  for (const Caso& caso : casi) {
    SCOPED_TRACE(caso.destinazione);
    RunIsql(impianto_.Ditta(), "DELETE FROM VESSENTARIA;\n" +
                                   RigaTask(1, caso.origine, caso.destinazione) + "COMMIT;\n");
    const auto prima = Elenco(strana);
    const TEsito esito = impianto_.Esegui();
    EXPECT_EQ(esito.stato, 0) << esito.out << esito.err;
    EXPECT_EQ(esito.out, "");
    EXPECT_LT(esito.secondi, 30.0);
    EXPECT_EQ(impianto_.LeggiTabella()[1].nota, caso.nota);
    if (caso.nota == kSuccesso) {
      EXPECT_EQ(ContaRighe(caso.destinazione, "PS_ORDINI"), 2);
    } else {
      // Nothing created beside the archives, nothing changed in them.
      EXPECT_EQ(Elenco(strana), prima);
    }
    EXPECT_FALSE(fs::exists(impianto_.Installazione() + "x"));
  }
  EXPECT_EQ(LeggiFile(trappola), "non un archivio");
}

}  // namespace
