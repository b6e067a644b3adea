#pragma once

#include <optional>
#include <string>

// A Firebird server that a site runs, as the server tests find it through the environment
// (scripts/ci-servers.sh sets it): VESSENTARIA_<ID>_SERVER (the server part of a database name),
// _DATI (a folder of the server's, with a trailing '/'), _SYSDBA (the server package's file with
// SYSDBA's password) and, for a server in a chroot, _RADICE (the chroot's folder).
struct TServerSito {
  // Empty when the environment names no such server.
  static std::optional<TServerSito> DaAmbiente(const std::string& id);

  std::string server;
  std::string dati;
  std::string radice;
  std::string passwordSysdba;

  // The database name of `file` in the data folder, through the server.
  std::string Nome(const std::string& file) const { return server + ":" + dati + file; }
  // The same file as this machine sees it.
  std::string Locale(const std::string& file) const { return radice + dati + file; }
  // Runs an isql script as SYSDBA on the database `nome` (connected first; empty: the script
  // connects or creates itself). The password travels in the script, never on a command line.
  std::string Isql(const std::string& nome, const std::string& script) const;
  // An archive in a folder of its own in the data folder: archivio.fdb with the order tables and
  // then `righe`. Returns the path that a task row names: a stand-in file (the program only checks
  // that it exists) beside a dati.ini that sends the program to the archive through the server,
  // so that the program cannot reach the archive by any other way.
  std::string CreaArchivio(const std::string& cartella, const std::string& righe) const;
  // Creates `file` (dialect 3) and runs `ddl` in it.
  void CreaDatabase(const std::string& file, const std::string& ddl) const;
  // A user of the server's security database with `password` (replaced when it exists), made
  // through the database `nome`; and its removal.
  void CreaUtente(const std::string& nome, const std::string& utente,
                  const std::string& password) const;
  void EliminaUtente(const std::string& nome, const std::string& utente) const;
};
