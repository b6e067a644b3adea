#include "opener/Credenziali.h"

#include "platform/IniFile.h"

const char* const SezionePredefinita = "Predefinite";

namespace {

const char* const UtentePredefinito = "SYSDBA";
const char* const PasswordPredefinita = "tawnyquip";

std::string fileCredenziali;

bool LeggiSezione(const TIniFile& ini, const std::string& sezione, TLogin& login) {
  login.Utente = ini.ReadString(sezione, "Utente", "");
  login.Password = ini.ReadString(sezione, "Password", "");
  if (login.Utente.empty() && login.Password.empty()) return false;
  if (login.Utente.empty()) login.Utente = UtentePredefinito;
  login.Ruolo = ini.ReadString(sezione, "Ruolo", "");
  login.Sezione = sezione;
  return true;
}

}  // namespace

TLogin LoginPredefinito() {
  return {UtentePredefinito, PasswordPredefinita, "", ""};
}

void ImpostaFileCredenziali(const std::string& file) {
  fileCredenziali = file;
}

const std::string& FileCredenziali() {
  return fileCredenziali;
}

TLogin LoginPerServer(const std::string& server) {
  if (fileCredenziali.empty()) return LoginPredefinito();
  const TIniFile ini(fileCredenziali);
  TLogin login;
  if (!server.empty() && LeggiSezione(ini, server, login)) return login;
  if (LeggiSezione(ini, SezionePredefinita, login)) return login;
  return LoginPredefinito();
}

std::string DescriviLogin(const TLogin& login) {
  return "Utente \"" + login.Utente + "\" (" +
         (login.Sezione.empty() ? std::string("accesso predefinito")
                                : "sezione [" + login.Sezione + "] di credenziali.ini") +
         ")";
}

std::string ServerDelNome(const std::string& NomeDatabase) {
  if (NomeDatabase.rfind("\\\\", 0) == 0) {
    const size_t fine = NomeDatabase.find('\\', 2);
    return NomeDatabase.substr(2, fine == std::string::npos ? std::string::npos : fine - 2);
  }
  const size_t duepunti = NomeDatabase.find(':');
  // One letter before the colon is a drive; none is no name at all.
  if (duepunti == std::string::npos || duepunti < 2) return "";
  return NomeDatabase.substr(0, duepunti);
}
