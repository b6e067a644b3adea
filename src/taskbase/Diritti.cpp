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
  const std::string a =
      login.Ruolo.empty() ? NomeSQL(login.Utente) : "ROLE " + NomeSQL(login.Ruolo);
  std::vector<std::string> tabelle;
  for (const TDirittoTabella& m : login.Mancanti)
    if (std::find(tabelle.begin(), tabelle.end(), m.Tabella) == tabelle.end())
      tabelle.push_back(m.Tabella);
  for (const std::string& tabella : tabelle) {
    std::string diritti;
    int quanti = 0;
    for (const TDirittoTabella& m : login.Mancanti)
      if (m.Tabella == tabella)
        diritti += (quanti++ ? ", " : "") + std::string(NomeDiritto(m.Diritto));
    messaggio += (messaggio.empty() ? "" : "\r") +
                 std::string(quanti > 1 ? "mancano i diritti " : "manca il diritto ") + diritti +
                 " su " + tabella + " " + dove + ": GRANT " + diritti + " ON " + NomeSQL(tabella) +
                 " TO " + a;
  }
  return messaggio.empty();
}
