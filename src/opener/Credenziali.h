#pragma once

#include <string>

// The login of one attachment. An empty Ruolo attaches without an SQL role. Sezione: the section
// of the logins file it came from, empty for the built-in login.
struct TLogin {
  std::string Utente;
  std::string Password;
  std::string Ruolo;
  std::string Sezione;
};

// The section of the logins file used when none is named after the server.
extern const char* const SezionePredefinita;

// The built-in login, used where a site names none.
TLogin LoginPredefinito();

// The site's logins file (credenziali.ini beside USER.FDB), set once at start-up, before any
// connection; empty: none, every attachment uses the built-in login. The file is read at each
// lookup and never copied or shown.
void ImpostaFileCredenziali(const std::string& file);
const std::string& FileCredenziali();

// The login for a database reached through `server` (as dati.ini's "Nome Server" writes it:
// "host" or "host/port"; empty for the embedded engine): the file's section named after the
// server, else its section [Predefinite], else the built-in login. A section counts when it
// names a user (Utente) or a password (Password); without a user it logs in as the built-in one.
TLogin LoginPerServer(const std::string& server);

// Who tried to log in, for a refused login's note: the user, and the section of the logins file
// or the built-in login. Never the password.
std::string DescriviLogin(const TLogin& login);

// The server part of a database name as the client library reads it: "srv" in "srv:path" and
// "srv/3050:path", "SRV" in "\\SRV\path"; empty for a local name, a Windows drive letter
// ("C:\path") included.
std::string ServerDelNome(const std::string& NomeDatabase);
