#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/IniFile.h"
#include "support/TestSupport.h"

namespace {

std::string Leggi(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Scrivi(const std::string& path, const std::string& testo) {
  std::ofstream(path, std::ios::binary) << testo;
}

}  // namespace

TEST(IniFile, ReadsLikeAProfile) {
  TempFolder temp;
  Scrivi(temp / "dati.ini",
         "; archivi della ditta\r\n"
         "[config]\r\n"
         "nome server=SRV1\r\n"
         "Alias = ditta \r\n"
         "Vuota=\r\n"
         "[ALTRO]\r\n"
         "Nome Server=ALTRO\r\n");
  TIniFile ini(temp / "dati.ini");
  EXPECT_EQ(ini.ReadString("CONFIG", "Nome Server", ""), "SRV1");
  EXPECT_EQ(ini.ReadString("Config", "ALIAS", ""), "ditta");
  EXPECT_EQ(ini.ReadString("CONFIG", "Vuota", "predefinito"), "");
  EXPECT_EQ(ini.ReadString("CONFIG", "PercorsoDatabase", ""), "");
  EXPECT_EQ(ini.ReadString("CONFIG", "PercorsoDatabase", "predefinito"), "predefinito");
  EXPECT_EQ(ini.ReadString("MANCANTE", "Nome Server", ""), "");
  EXPECT_EQ(ini.ReadString("altro", "nome server", ""), "ALTRO");

  TIniFile mancante(temp / "nessuno.ini");
  EXPECT_EQ(mancante.ReadString("CONFIG", "Nome Server", ""), "");
  EXPECT_FALSE(std::filesystem::exists(temp / "nessuno.ini"));
}

TEST(IniFile, CutsLongValues) {
  TempFolder temp;
  std::string lungo(2047, 'a');
  Scrivi(temp / "dati.ini", "[CONFIG]\nEsatto=" + lungo + "\nLungo=" + lungo + "XYZ\n");
  TIniFile ini(temp / "dati.ini");
  EXPECT_EQ(ini.ReadString("CONFIG", "Esatto", ""), lungo);
  EXPECT_EQ(ini.ReadString("CONFIG", "Lungo", ""), lungo);
}

TEST(IniFile, WritesAndKeepsTheRest) {
  TempFolder temp;
  TIniFile nuovo(temp / "dati.ini");
  nuovo.WriteString("CONFIG", "Nome Server", "SRV");
  nuovo.WriteString("CONFIG", "Lettera Disco Server", "C");
  EXPECT_NE(Leggi(temp / "dati.ini").find("[CONFIG]\nNome Server=SRV\n"), std::string::npos)
      << Leggi(temp / "dati.ini");
  EXPECT_EQ(nuovo.ReadString("CONFIG", "Nome Server", ""), "SRV");
  EXPECT_EQ(nuovo.ReadString("CONFIG", "Lettera Disco Server", ""), "C");

  Scrivi(temp / "altro.ini",
         "[Config]\n"
         "; il server di produzione\n"
         "nome server=VECCHIO\n"
         "Alias=ditta\n"
         "[ALTRO]\n"
         "Chiave=valore con spazi\n");
  TIniFile esistente(temp / "altro.ini");
  esistente.WriteString("CONFIG", "Nome Server", "");
  esistente.WriteString("CONFIG", "Lettera Disco Server", "D");
  std::string testo = Leggi(temp / "altro.ini");
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
