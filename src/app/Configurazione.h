#pragma once

#include <set>
#include <string>
#include <vector>

#include "opener/Opener.h"

// Collects what is wrong in the dati.ini files that a start-up reads: keys of [CONFIG] and
// [Rete] that the program does not know (a mistyped key is silently not applied) and [Rete]
// values that are not whole seconds within range. Other sections belong to other programs of
// the installation and are left alone. Then what is wrong in the logins file: a mistyped
// section or key silently falls back to another login.
class TControlloConfigurazione {
 public:
  // The dati.ini beside the database file `archivio`, once per folder, and the server that
  // `archivio` itself names, if any.
  void Controlla(const std::string& archivio);
  // A dati.ini by its own path, once per file; `conRete`: its [Rete] section is read.
  void ControllaFile(const std::string& datiIni, bool conRete);
  // Every archive that the installation uses has been seen: a section of the logins file can
  // now be told to match none of their servers.
  void TuttiGliArchiviVisti() { tuttiVisti_ = true; }
  // A server refused the login that start-up tried: a mistyped section is then the likely cause,
  // and the sections named after none of the servers seen so far are worth naming.
  void LoginRifiutato() { loginRifiutato_ = true; }
  bool LoginFuRifiutato() const { return loginRifiutato_; }
  // The logins file (empty: none): keys other than Utente, Password and Ruolo, and, once every
  // archive was seen or a login was refused, the sections named after no server the archives
  // seen use (Predefinite aside).
  // Values are never shown.
  void ControllaCredenziali(const std::string& file);
  void Aggiungi(const std::string& difetto) { difetti_.push_back(difetto); }
  // One text per fault, naming the file, in the order found.
  const std::vector<std::string>& Difetti() const { return difetti_; }
  // A server that the installation uses (named by an archive or its dati.ini, or the host's
  // server of plain paths), once whatever its letter case.
  void AggiungiServer(const std::string& server);

 private:
  std::set<std::string> controllati_;
  std::vector<std::string> difetti_;
  std::vector<std::string> server_;
  bool tuttiVisti_ = false;
  bool loginRifiutato_ = false;
};

// The [Rete] limits of `datiIni` (beside USER.FDB): whole seconds from 0 to a day; a value that
// is missing, not a number or out of range keeps the default. `controllo`, when given, is told
// the faults of the whole file.
TLimitiRete LeggiLimitiRete(const std::string& datiIni, TControlloConfigurazione* controllo);
