#include "support/ServerSito.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/ArchiviOrdini.h"
#include "support/TestSupport.h"

namespace {

std::string Ambiente(const std::string& nome) {
  const char* valore = std::getenv(nome.c_str());
  return valore ? valore : "";
}

// ISC_PASSWORD=... of a Debian server package's SYSDBA.password, without its quotes.
std::string PasswordDaFile(const std::string& file) {
  const std::string testo = LeggiFile(file);
  const std::string chiave = "\nISC_PASSWORD=";
  const size_t inizio = ("\n" + testo).find(chiave);
  if (inizio == std::string::npos) throw std::runtime_error("no ISC_PASSWORD in " + file);
  std::string password = testo.substr(inizio + chiave.size() - 1);
  password = password.substr(0, password.find('\n'));
  if (password.size() >= 2 && password.front() == '"' && password.back() == '"')
    password = password.substr(1, password.size() - 2);
  return password;
}

}  // namespace

std::optional<TServerSito> TServerSito::DaAmbiente(const std::string& id) {
  const std::string prefisso = "VESSENTARIA_" + id + "_";
  TServerSito sito;
  sito.server = Ambiente(prefisso + "SERVER");
  if (sito.server.empty()) return std::nullopt;
  sito.dati = Ambiente(prefisso + "DATI");
  sito.radice = Ambiente(prefisso + "RADICE");
  sito.passwordSysdba = PasswordDaFile(Ambiente(prefisso + "SYSDBA"));
  return sito;
}

std::string TServerSito::Isql(const std::string& nome, const std::string& script) const {
  std::string testo = script;
  if (!nome.empty())
    testo = "CONNECT '" + nome + "' USER 'SYSDBA' PASSWORD '" + passwordSysdba + "';\n" + script;
  std::string out, err;
  const int rc = RunCommand("isql-fb -q -bail", &out, &err, testo);
  if (rc != 0 || !err.empty())
    throw std::runtime_error("isql failed (" + std::to_string(rc) + "): " + err + out);
  return out;
}

void TServerSito::CreaDatabase(const std::string& file, const std::string& ddl) const {
  Isql("", "CREATE DATABASE '" + Nome(file) + "' USER 'SYSDBA' PASSWORD '" + passwordSysdba +
               "' PAGE_SIZE 4096;\n" + ddl + "\nCOMMIT;\n");
}

std::string TServerSito::CreaArchivio(const std::string& cartella,
                                      const std::string& righe) const {
  // The server's folder belongs to the server's own user, as the data folder does.
  const std::string locale = Locale(cartella + "/");
  struct stat proprietario {};
  if (mkdir(locale.c_str(), 0755) != 0 || stat(Locale("").c_str(), &proprietario) != 0 ||
      chown(locale.c_str(), proprietario.st_uid, proprietario.st_gid) != 0 ||
      mkdir((locale + "sito").c_str(), 0755) != 0)
    throw std::runtime_error("cannot make " + locale);
  const std::string file = cartella + "/archivio.fdb";
  CreaDatabase(file, DdlOrdini());
  Isql(Nome(file), righe + "\nCOMMIT;\n");
  ScriviFile(locale + "sito/dati.ini",
             "[CONFIG]\r\nNome Server=" + server + "\r\nAlias=" + dati + file + "\r\n");
  ScriviFile(locale + "sito/archivio.fdb", "not a database");
  return locale + "sito/archivio.fdb";
}

void TServerSito::CreaUtente(const std::string& nome, const std::string& utente,
                             const std::string& password) const {
  Isql(nome, "CREATE OR ALTER USER " + utente + " PASSWORD '" + password + "';\nCOMMIT;\n");
}

void TServerSito::EliminaUtente(const std::string& nome, const std::string& utente) const {
  Isql(nome, "DROP USER " + utente + ";\nCOMMIT;\n");
}
