#pragma once

#include <functional>
#include <string>

#include "platform/Dialogs.h"

class TSQLDatabase;

// Told the database name of every connection attempt just before it is made, so that the order
// of the names the rules produce can be followed.
using TOsservatoreConnessioni = std::function<void(const std::string& NomeDatabase)>;

// How long an attempt of the opener waits for a server to answer, and how long any later request
// on an attachment it made may wait, in seconds; 0 leaves Firebird's own behaviour (a connection
// attempt then waits as long as the client library's configuration says, a request for ever).
// Set once at start-up; every later attempt uses them.
struct TLimitiRete {
  int TimeoutConnessione = 30;
  int TimeoutRisposta = 600;
  // The host's own server ("localhost", or "localhost/port"), asked first for an archive named
  // by a plain local path, so that the program shares the archive with the server's clients
  // instead of locking them out with the embedded engine; empty: the embedded engine alone.
  std::string ServerLocale;
};
// Also forgets what this process learnt of the host's server (see ApriCreaDatabase).
void ImpostaLimitiRete(const TLimitiRete& limiti);
const TLimitiRete& LimitiRete();

// For a start that must change nothing (a check, a status view): no database is created and no
// server name is asked for, so dati.ini is never written. Set once at start-up.
void ImpostaSoloApertura(bool soloApertura);

// Told each archive that ApriCreaDatabase opened: its path as asked (Cartella and NomeFile) and
// the way it went (DescriviApertura). Set once at start-up; none by default.
using TOsservatoreAperture =
    std::function<void(const std::string& Percorso, const std::string& Via)>;
void ImpostaOsservatoreAperture(TOsservatoreAperture osservatore);
// How `Database` reached its archive, for an administrator: "server <name>" or "motore
// incorporato" (DescriviVia), then ", utente " and the user name (never the password).
std::string DescriviVia(const TSQLDatabase& Database);
std::string DescriviApertura(const TSQLDatabase& Database);

// Connects `Database` to the archive NomeFile (empty: "archivio.fdb") in Cartella (ending with a
// folder separator), following the rules of Cartella's dati.ini, creating the database when no
// connection succeeds. Empty Utente and Password use the site's login for the server of each
// attempt (LoginPerServer). Never raises on a failed connection: returns false after showing
// whatever message applies; when a server refused the login, no later rule is tried and
// Messaggio holds the server's text and, on a line of its own, who tried to log in
// (DescriviLogin); when the host's server's name (TLimitiRete::ServerLocale) does not resolve,
// likewise, and Messaggio names that name; otherwise it is left empty. Raises only when dati.ini
// cannot be written after the dialog ("Unable to write to %s"). `Osservatore`, when given, is
// told each attempt. When the alias rule's server fails and the local path then opens the
// archive, one warning line on standard error names the database, the server, the way it was
// opened instead and the server's reason. A plain local path goes first through the host's
// server, then through the embedded engine: silently when that server refused the connection
// (none runs), with a warning line naming the reason when the server did not open the file, did
// not answer in time or is not a Firebird server; after either of the last two the process goes
// straight to the embedded engine for every later plain path, each one still with a line.
bool ApriCreaDatabase(TSQLDatabase& Database, const std::string& Cartella,
                      const std::string& NomeFile, const std::string& Utente,
                      const std::string& Password, TFinestra* Proprietario, std::string& Messaggio,
                      const TOsservatoreConnessioni& Osservatore = nullptr);

// The failed attempts of the latest ApriCreaDatabase, one line each: the database name as tried,
// ": " and the text of the server or the engine (the failed host lookup of a misspelt server, the
// file the engine could not open); empty when none failed.
const std::string& TentativiFalliti();

// One connection attempt, then a creation attempt under the same name when it fails (never in
// the mode of ImpostaSoloApertura), unless it failed for want of a server (a network error): a
// creation under that name would go to the same server, and one that does not answer would keep
// it waiting with no limit of ours, since the creation statement carries no connection
// parameters. Nor when the server refused the login: it would refuse the creation too. Messaggio
// is the server's text of a refused login, else empty.
bool ConnettiCreaDatabase(TSQLDatabase& Database, const std::string& NomeDatabase,
                          const std::string& Server, const std::string& LetteraDisco,
                          const std::string& Utente, const std::string& Password,
                          std::string& Messaggio,
                          const TOsservatoreConnessioni& Osservatore = nullptr);

// Turns a network-share folder into a server path. True: the user was told to correct the
// configuration and no connection is to be attempted.
bool PercorsoDaCondivisione(const std::string& Cartella, const std::string& PercorsoNelServer,
                            std::string& Percorso, bool& CondivisioneConNome);

// Reads the server name and drive letter from Cartella's dati.ini, asking the user when no
// server name is stored (and storing the answer).
void ChiediServerDatabase(std::string& Server, std::string& LetteraDisco,
                          const std::string& Cartella, TFinestra* Proprietario);
