#include <gtest/gtest.h>

#include "opener/Credenziali.h"
#include "support/TestSupport.h"

TEST(Credenziali, ServerOfADatabaseName) {
  const std::pair<std::string, std::string> casi[] = {
      {"dbserver:ditta", "dbserver"},
      {"localhost/3050:/srv/a.fdb", "localhost/3050"},
      {"SRV:C:\\Dati\\a.fdb", "SRV"},
      {"\\\\SRV\\D:\\Archivi\\a.fdb", "SRV"},
      {"C:\\Dati\\a.fdb", ""},
      {"/srv/archivi/a.fdb", ""},
      {"a.fdb", ""},
  };
  for (const auto& [nome, server] : casi) EXPECT_EQ(ServerDelNome(nome), server) << nome;
}

TEST(Credenziali, SectionOfTheServerElseDefaultElseBuiltIn) {
  TempFolder temp;
  const std::string file = temp / "credenziali.ini";
  auto login = [](const std::string& server) {
    const TLogin l = LoginPerServer(server);
    return l.Utente + "|" + l.Password + "|" + l.Ruolo + "|" + l.Sezione;
  };
  ImpostaFileCredenziali("");
  EXPECT_EQ(login("dbserver"), "SYSDBA|tawnyquip||");

  ImpostaFileCredenziali(file);
  ScriviFile(file,
             "[Predefinite]\r\nUtente=VESSENTARIA\r\nPassword=pre;def\r\n"
             "[DBSERVER]\r\nUtente=SITO\r\nPassword=\"a b\"\r\nRuolo=COPIA\r\n"
             "[localhost/3050]\r\nPassword=solo\r\n"
             "[vuoto]\r\nRuolo=NESSUNO\r\n");
  EXPECT_EQ(login("dbserver"), "SITO|a b|COPIA|dbserver");  // section names ignore letter case
  EXPECT_EQ(login("localhost/3050"), "SYSDBA|solo||localhost/3050");
  EXPECT_EQ(login("localhost/3051"), "VESSENTARIA|pre;def||Predefinite");
  EXPECT_EQ(login("vuoto"), "VESSENTARIA|pre;def||Predefinite");
  EXPECT_EQ(login(""), "VESSENTARIA|pre;def||Predefinite");

  ScriviFile(file, "[altro]\nUtente=X\n");
  EXPECT_EQ(login(""), "SYSDBA|tawnyquip||");
  ImpostaFileCredenziali("");
}
