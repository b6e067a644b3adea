#include "taskbase/Diritti.h"

#include <algorithm>

#include "db/Strings.h"

namespace {

// A name as a statement must write it.
std::string NomeSQL(const std::string& nome) {
  return NomeNudo(nome) ? nome : TraApici(nome, '"');
}

}  // namespace

bool ControllaDiritti(TSQLTransaction& transaction, const std::vector<TDirittoTabella>& richiesti,
                      const std::string& dove, std::string& messaggio) {
  messaggio.clear();
  const TDirittiLogin login = DirittiLogin(richiesti, transaction);
  // Appended, never "literal" + temporary: g++ 12 sees a false overlap there in Release builds.
  std::string a;
  if (!login.Ruolo.empty()) a = "ROLE ";
  a += NomeSQL(login.Ruolo.empty() ? login.Utente : login.Ruolo);
  std::vector<std::string> tabelle;
  for (const TDirittoTabella& m : login.Mancanti)
    if (std::find(tabelle.begin(), tabelle.end(), m.Tabella) == tabelle.end())
      tabelle.push_back(m.Tabella);
  for (const std::string& tabella : tabelle) {
    std::string diritti;
    int quanti = 0;
    for (const TDirittoTabella& m : login.Mancanti)
      if (m.Tabella == tabella) {
        if (quanti++) diritti += ", ";
        diritti += NomeDiritto(m.Diritto);
      }
    if (!messaggio.empty()) messaggio += '\r';
    messaggio += quanti > 1 ? "mancano i diritti " : "manca il diritto ";
    messaggio += diritti + " su " + tabella + " " + dove + ": GRANT " + diritti + " ON " +
                 NomeSQL(tabella) + " TO " + a;
  }
  return messaggio.empty();
}
