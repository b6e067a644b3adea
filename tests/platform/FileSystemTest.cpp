#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

TEST(FileSystem, SplitsAfterTheLastSeparatorOrDriveColon) {
  struct Caso {
    std::string path, cartella, nomeFile;
  };
  const Caso casi[] = {
      {"D:\\Dati\\ditta.fdb", "D:\\Dati\\", "ditta.fdb"},
      {"/srv/archivi/ditta.fdb", "/srv/archivi/", "ditta.fdb"},
      {"C:ditta.fdb", "C:", "ditta.fdb"},
      {"ditta.fdb", "", "ditta.fdb"},
      {"/srv/archivi/", "/srv/archivi/", ""},
      {"localhost/3050:/srv/a.fdb", "localhost/3050:/srv/", "a.fdb"},
      {"\\\\SRV\\C\\Dati/a.fdb", "\\\\SRV\\C\\Dati/", "a.fdb"},
      {"/srv/a\\b.fdb", "/srv/a\\", "b.fdb"},
      {"SRV:ditta", "SRV:", "ditta"},
      {"", "", ""},
  };
  for (const auto& caso : casi) {
    EXPECT_EQ(EstraiCartella(caso.path), caso.cartella) << caso.path;
    EXPECT_EQ(EstraiNomeFile(caso.path), caso.nomeFile) << caso.path;
    EXPECT_EQ(EstraiCartella(caso.path) + EstraiNomeFile(caso.path), caso.path);
  }
}

TEST(FileSystem, TellsFilesFromFolders) {
  TempFolder temp;
  std::ofstream(temp / "file.fdb") << "x";
  std::filesystem::create_directory(temp / "USER.FDB");
  std::filesystem::create_symlink(temp / "file.fdb", temp / "link.fdb");
  std::filesystem::create_symlink(temp / "missing.fdb", temp / "dangling.fdb");

  EXPECT_TRUE(FileExists(temp / "file.fdb"));
  EXPECT_TRUE(FileExists(temp / "link.fdb"));
  EXPECT_FALSE(FileExists(temp / "USER.FDB"));
  EXPECT_FALSE(FileExists(temp / "missing.fdb"));
  EXPECT_FALSE(FileExists(temp / "dangling.fdb"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(temp.Path()));

  EXPECT_TRUE(DirectoryExists(temp.Path()));
  EXPECT_TRUE(DirectoryExists(temp / "USER.FDB"));
  EXPECT_TRUE(DirectoryExists(temp / "USER.FDB/"));
  EXPECT_FALSE(DirectoryExists(temp / "file.fdb"));
  EXPECT_FALSE(DirectoryExists(temp / "missing"));
  EXPECT_FALSE(DirectoryExists(""));
}

TEST(FileSystem, FindsTheRunningExecutable) {
  std::string percorso = PercorsoEseguibile();
  EXPECT_EQ(percorso.front(), '/');
  EXPECT_EQ(EstraiNomeFile(percorso), "test_platform");
  EXPECT_TRUE(FileExists(percorso));
  EXPECT_EQ(access(percorso.c_str(), X_OK), 0);
  EXPECT_EQ(SeparatoreCartelle(), '/');
}

TEST(FileSystem, SecretsFileMustBePrivate) {
  namespace fs = std::filesystem;
  TempFolder temp;
  const std::string file = temp / "credenziali.ini";
  std::ofstream(file) << "[Predefinite]\n";
  struct Caso {
    fs::perms permessi;
    TRiservatezza atteso;
  };
  const fs::perms utente = fs::perms::owner_read | fs::perms::owner_write;
  const Caso casi[] = {
      {utente, TRiservatezza::Privato},
      {fs::perms::owner_read, TRiservatezza::Privato},
      {utente | fs::perms::group_read, TRiservatezza::ApertoAdAltri},
      {utente | fs::perms::others_read, TRiservatezza::ApertoAdAltri},
      {utente | fs::perms::group_write, TRiservatezza::ApertoAdAltri},
      {utente | fs::perms::others_exec, TRiservatezza::ApertoAdAltri},
  };
  for (const auto& caso : casi) {
    fs::permissions(file, caso.permessi);
    EXPECT_EQ(RiservatezzaFile(file), caso.atteso) << static_cast<int>(caso.permessi);
  }
  EXPECT_EQ(RiservatezzaFile(temp / "manca.ini"), TRiservatezza::Illeggibile);
  // Another owner counts only when the test can give the file away; root itself may own it, and
  // root may read one of the service's account that is kept to its owner.
  fs::permissions(file, utente);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    EXPECT_EQ(RiservatezzaFile(file), TRiservatezza::Privato);
    fs::permissions(file, utente | fs::perms::group_read);
    EXPECT_EQ(RiservatezzaFile(file), TRiservatezza::ApertoAdAltri);
    // Any other account must own the file itself: a child that becomes nobody reads another's.
    const std::string altrui = temp / "altrui.ini";
    std::ofstream(altrui) << "[Predefinite]\n";
    ASSERT_EQ(chown(altrui.c_str(), 65533, 65533), 0);
    fs::permissions(altrui, utente | fs::perms::others_read);
    fs::permissions(temp.Path(), fs::perms::all);
    const pid_t figlio = fork();
    if (figlio == 0)
      _exit(setuid(65534) == 0 && RiservatezzaFile(altrui) == TRiservatezza::AltroProprietario ? 0
                                                                                               : 1);
    int stato = -1;
    ASSERT_EQ(waitpid(figlio, &stato, 0), figlio);
    EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
  } else {
    EXPECT_EQ(RiservatezzaFile("/etc/shadow"), TRiservatezza::Illeggibile);
  }
}

// Only a file that is not there is missing; one the account may not reach says why.
TEST(FileSystem, TellsAMissingFileFromOneOutOfReach) {
  namespace fs = std::filesystem;
  TempFolder temp;
  fs::permissions(temp.Path(), fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
  std::ofstream(temp / "aperto.fdb") << "x";
  std::ofstream(temp / "chiuso.fdb") << "x";
  fs::permissions(temp / "chiuso.fdb", fs::perms::none);
  fs::create_directory(temp / "sbarrata");
  std::ofstream(temp / "sbarrata/a.fdb") << "x";
  fs::permissions(temp / "sbarrata", fs::perms::owner_read);

  {
    const TComeUtenteDiSistema utente;
    const std::pair<std::string, TAccessoFile> casi[] = {
        {temp / "aperto.fdb", TAccessoFile::Leggibile},
        {temp / "manca.fdb", TAccessoFile::Assente},
        {temp / "aperto.fdb/a.fdb", TAccessoFile::Assente},
        {temp.Path(), TAccessoFile::Assente},
        {temp / "sbarrata/a.fdb", TAccessoFile::Irraggiungibile},
        {temp / "chiuso.fdb", TAccessoFile::Illeggibile},
    };
    for (const auto& [path, atteso] : casi) {
      std::string motivo;
      EXPECT_EQ(AccessoFile(path, motivo), atteso) << path;
      const bool raggiunto = atteso == TAccessoFile::Leggibile || atteso == TAccessoFile::Assente;
      EXPECT_EQ(motivo, raggiunto ? "" : "Permission denied") << path;
    }
  }
  fs::permissions(temp / "sbarrata", fs::perms::owner_all);
}
