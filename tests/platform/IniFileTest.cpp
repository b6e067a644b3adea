#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/IniFile.h"
#include "support/TestSupport.h"

namespace {}  // namespace

TEST(IniFile, ReadsLikeAProfile) {
  TempFolder temp;
  ScriviFile(temp / "dati.ini",
             "; archivi della ditta\r\n"
             "[config]\r\n"
             "nome server=SRV1\r\n"
             "Alias = ditta \r\n"
             "Vuota=\r\n"
             "Percorso Nel Server=\" D:\\Archivi\\ \"\r\n"
             "Lettera Disco Server=\"\r\n"
             "PercorsoDatabase=\"C:\\Dati\" e \"altro\r\n"
             "[ALTRO]\r\n"
             "Nome Server=ALTRO\r\n");
  TIniFile ini(temp / "dati.ini");
  EXPECT_EQ(ini.ReadString("CONFIG", "Nome Server", ""), "SRV1");
  EXPECT_EQ(ini.ReadString("Config", "ALIAS", ""), "ditta");
  EXPECT_EQ(ini.ReadString("CONFIG", "Vuota", "predefinito"), "");
  // Quotes around the whole value go, as a Windows profile reads it; any others stay.
  EXPECT_EQ(ini.ReadString("CONFIG", "Percorso Nel Server", ""), " D:\\Archivi\\ ");
  EXPECT_EQ(ini.ReadString("CONFIG", "Lettera Disco Server", ""), "\"");
  EXPECT_EQ(ini.ReadString("CONFIG", "PercorsoDatabase", ""), "\"C:\\Dati\" e \"altro");
  EXPECT_EQ(ini.ReadString("CONFIG", "Alias Mancante", ""), "");
  EXPECT_EQ(ini.ReadString("CONFIG", "Alias Mancante", "predefinito"), "predefinito");
  EXPECT_EQ(ini.ReadString("MANCANTE", "Nome Server", ""), "");
  EXPECT_EQ(ini.ReadString("altro", "nome server", ""), "ALTRO");

  TIniFile mancante(temp / "nessuno.ini");
  EXPECT_EQ(mancante.ReadString("CONFIG", "Nome Server", ""), "");
  EXPECT_FALSE(std::filesystem::exists(temp / "nessuno.ini"));
}

TEST(IniFile, CutsLongValues) {
  TempFolder temp;
  std::string lungo(2047, 'a');
  ScriviFile(temp / "dati.ini", "[CONFIG]\nEsatto=" + lungo + "\nLungo=" + lungo + "XYZ\n");
  TIniFile ini(temp / "dati.ini");
  EXPECT_EQ(ini.ReadString("CONFIG", "Esatto", ""), lungo);
  EXPECT_EQ(ini.ReadString("CONFIG", "Lungo", ""), lungo);
}

TEST(IniFile, WritesAndKeepsTheRest) {
  TempFolder temp;
  TIniFile nuovo(temp / "dati.ini");
  nuovo.WriteString("CONFIG", "Nome Server", "SRV");
  nuovo.WriteString("CONFIG", "Lettera Disco Server", "C");
  EXPECT_NE(LeggiFile(temp / "dati.ini").find("[CONFIG]\nNome Server=SRV\n"), std::string::npos)
      << LeggiFile(temp / "dati.ini");
  EXPECT_EQ(nuovo.ReadString("CONFIG", "Nome Server", ""), "SRV");
  EXPECT_EQ(nuovo.ReadString("CONFIG", "Lettera Disco Server", ""), "C");

  ScriviFile(temp / "altro.ini",
             "[Config]\n"
             "; il server di produzione\n"
             "nome server=VECCHIO\n"
             "Alias=ditta\n"
             "[ALTRO]\n"
             "Chiave=valore con spazi\n");
  TIniFile esistente(temp / "altro.ini");
  esistente.WriteString("CONFIG", "Nome Server", "");
  esistente.WriteString("CONFIG", "Lettera Disco Server", "D");
  std::string testo = LeggiFile(temp / "altro.ini");
  // One section, the existing key replaced in place, nothing else lost.
  EXPECT_EQ(testo.find("[CONFIG]"), std::string::npos) << testo;
  EXPECT_EQ(testo.find("VECCHIO"), std::string::npos) << testo;
  EXPECT_NE(testo.find("; il server di produzione"), std::string::npos) << testo;
  EXPECT_EQ(esistente.ReadString("CONFIG", "Nome Server", "x"), "");
  EXPECT_EQ(esistente.ReadString("CONFIG", "Alias", ""), "ditta");
  EXPECT_EQ(esistente.ReadString("CONFIG", "Lettera Disco Server", ""), "D");
  EXPECT_EQ(esistente.ReadString("ALTRO", "Chiave", ""), "valore con spazi");
  EXPECT_LT(testo.find("Alias=ditta"), testo.find("[ALTRO]")) << testo;
}

TEST(IniFile, FailedWriteRaisesAndLosesNothing) {
  TempFolder temp;
  const std::string senzaCartella = temp / "manca/dati.ini";
  TIniFile ini(senzaCartella);
  try {
    ini.WriteString("CONFIG", "Nome Server", "SRV");
    FAIL() << "no error raised";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + senzaCartella);
  }

  std::filesystem::create_directory(temp / "cartella.ini");
  TIniFile cartella(temp / "cartella.ini");
  EXPECT_EQ(cartella.ReadString("CONFIG", "Nome Server", "predefinito"), "predefinito");
  EXPECT_THROW(cartella.WriteString("CONFIG", "Nome Server", "SRV"), EIniFileError);
  EXPECT_TRUE(std::filesystem::is_directory(temp / "cartella.ini"));
}

// A run as root rewrites a dati.ini that belongs to the installation's users: it stays theirs.
TEST(IniFile, AWriteKeepsOwnerGroupAndMode) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another owner needs root";
  TempFolder temp;
  const std::string path = temp / "dati.ini";
  ScriviFile(path, "[CONFIG]\nAlias=ditta\n");
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 02640), 0);
  TIniFile(path).WriteString("CONFIG", "Nome Server", "SRV");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
  EXPECT_EQ(info.st_mode & 07777, 02640u);
  EXPECT_EQ(LeggiFile(path), "[CONFIG]\nAlias=ditta\nNome Server=SRV\n");
}

TEST(IniFile, DuplicatesReadTheFirst) {
  TempFolder temp;
  ScriviFile(temp / "dati.ini",
             "Nome Server=FUORI\n"
             "[CONFIG]\n"
             "Nome Server=PRIMO\n"
             "riga senza uguale\n"
             "NOME SERVER=SECONDO\n"
             "[config]\n"
             "Nome Server=TERZO\n"
             "Alias=SOLO_NELLA_SECONDA\n");
  TIniFile ini(temp / "dati.ini");
  EXPECT_EQ(ini.ReadString("CONFIG", "Nome Server", ""), "PRIMO");
  // Only the first section of a name counts.
  EXPECT_EQ(ini.ReadString("CONFIG", "Alias", "nessuno"), "nessuno");
}

TEST(IniFile, AWriteChangesOneLineAndKeepsEveryOtherByte) {
  TempFolder temp;
  struct Caso {
    std::string prima;
    std::string chiave;
    std::string valore;
    std::string dopo;
  };
  const std::string altri =
      "; impostazioni di un altro programma\r\n"
      "[ALTRO]\r\n"
      "Chiave =  valore con spazi  \r\n"
      "riga senza uguale\r\n"
      "\r\n";
  const std::vector<Caso> casi = {
      // The key replaced where it stands, with the key as written now and the line end kept.
      {altri + "[config]\r\nnome server = VECCHIO\r\nNome Server=DOPPIO\r\nAlias=x\r\n",
       "Nome Server", "SRV",
       altri + "[config]\r\nNome Server=SRV\r\nNome Server=DOPPIO\r\nAlias=x\r\n"},
      // A new key after the section's last line, before the blank lines and the next section.
      {"[CONFIG]\r\nAlias=x\r\n\r\n" + altri, "Lettera Disco Server", "C",
       "[CONFIG]\r\nAlias=x\r\nLettera Disco Server=C\r\n\r\n" + altri},
      // A last line without its line end gets one first.
      {"[CONFIG]\nAlias=x", "Nome Server", "", "[CONFIG]\nAlias=x\nNome Server=\n"},
      // A file that ends with a lone CR: the key line stays apart from the last line.
      {"[CONFIG]\r\nPercorso Nel Server=D:\\\r", "Nome Server", "S",
       "[CONFIG]\r\nPercorso Nel Server=D:\\\r\r\nNome Server=S\r\n"},
      // A new section at the end, in the file's own line ends.
      {altri + "[ALTRO]\r\nfine", "Nome Server", "SRV",
       altri + "[ALTRO]\r\nfine\r\n[CONFIG]\r\nNome Server=SRV\r\n"},
      {std::string("\x01\xFF garbage\0\n", 12) + "[CONFIG]\n", "Alias", "a",
       std::string("\x01\xFF garbage\0\n", 12) + "[CONFIG]\nAlias=a\n"},
  };
  for (const Caso& caso : casi) {
    ScriviFile(temp / "dati.ini", caso.prima);
    TIniFile ini(temp / "dati.ini");
    ini.WriteString("CONFIG", caso.chiave, caso.valore);
    EXPECT_EQ(LeggiFile(temp / "dati.ini"), caso.dopo);
    EXPECT_EQ(ini.ReadString("CONFIG", caso.chiave, "x"), caso.valore);
  }
}

TEST(IniFile, AWriteKeepsALinkAndLeavesNoScratchFile) {
  TempFolder temp;
  std::filesystem::create_directory(temp / "vero");
  ScriviFile(temp / "vero/dati.ini", "[CONFIG]\nAlias=x\n");
  std::filesystem::permissions(temp / "vero/dati.ini", std::filesystem::perms(0640));
  std::filesystem::create_symlink("vero/dati.ini", temp / "dati.ini");
  TIniFile ini(temp / "dati.ini");
  ini.WriteString("CONFIG", "Nome Server", "SRV");
  EXPECT_TRUE(std::filesystem::is_symlink(temp / "dati.ini"));
  EXPECT_EQ(LeggiFile(temp / "vero/dati.ini"), "[CONFIG]\nAlias=x\nNome Server=SRV\n");
  EXPECT_EQ(std::filesystem::status(temp / "vero/dati.ini").permissions(),
            std::filesystem::perms(0640));
  int file = 0;
  for (const auto& voce : std::filesystem::directory_iterator(temp / "vero")) {
    (void)voce;
    ++file;
  }
  EXPECT_EQ(file, 1);
}

// A tmpfs of two pages, unmounted whatever the test does.
struct TDuePagine {
  explicit TDuePagine(const std::string& c) : cartella(c) {
    std::filesystem::create_directory(cartella);
    montato = mount("tmpfs", cartella.c_str(), "tmpfs", 0, "size=8192") == 0;
  }
  ~TDuePagine() {
    if (montato) umount2(cartella.c_str(), MNT_DETACH);
  }
  std::string cartella;
  bool montato;
};

TEST(IniFile, AWriteOnAFullDiskKeepsTheOldFileWhole) {
  TempFolder temp;
  TDuePagine piccolo(temp / "piccolo");
  if (!piccolo.montato)
    GTEST_SKIP() << "this machine refuses to mount a tmpfs (not root, or no mount rights)";
  const std::string file = piccolo.cartella + "/dati.ini";
  const std::string prima = "[CONFIG]\nAlias=ditta\n; " + std::string(6000, 'x') + "\n";
  ScriviFile(file, prima);
  ASSERT_EQ(LeggiFile(file), prima);
  TIniFile ini(file);
  // The new text does not fit: a file cut short at the disk's end would lose the settings.
  EXPECT_THROW(ini.WriteString("CONFIG", "Nome Server", std::string(3000, 's')), EIniFileError);
  EXPECT_EQ(LeggiFile(file), prima);
  EXPECT_EQ(ini.ReadString("CONFIG", "Alias", ""), "ditta");
}

TEST(IniFile, APipeOrADeviceInPlaceOfTheFileReadsAsEmpty) {
  TempFolder temp;
  const std::string tubo = temp / "tubo.ini";
  ASSERT_EQ(mkfifo(tubo.c_str(), 0600), 0);
  const std::string zero = temp / "zero.ini";
  std::filesystem::create_symlink("/dev/zero", zero);
  for (const std::string& file : {tubo, zero}) {
    SCOPED_TRACE(file);
    // Read on a thread of its own: a read that waits for a writer, or never ends, must not take
    // the test with it.
    auto promessa = std::make_shared<std::promise<std::string>>();
    std::future<std::string> letto = promessa->get_future();
    std::thread([promessa, file] {
      promessa->set_value(TIniFile(file).ReadString("CONFIG", "Nome Server", "predefinito"));
    }).detach();
    if (letto.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the read did not end";
      // Give the pipe a writer that leaves at once, so that a waiting read ends.
      const int fd = open(tubo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
      continue;
    }
    EXPECT_EQ(letto.get(), "predefinito");
    EXPECT_THROW(TIniFile(file).WriteString("CONFIG", "Nome Server", "SRV"), EIniFileError);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(tubo));
  EXPECT_TRUE(std::filesystem::is_symlink(zero));
}
