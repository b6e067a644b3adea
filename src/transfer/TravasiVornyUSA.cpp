#include "transfer/TravasiVornyUSA.h"

#include <algorithm>
#include <memory>

#include "db/SQLError.h"
#include "db/SQLTransaction.h"
#include "taskbase/Connessione.h"

namespace {

// The selection shared by every query: user 61, or a ship-to customer in the USA.
void AggiungiSelezione(TStrings& righe) {
  righe.Add("WHERE");
  righe.Add("  A.IDUTENTE=61");
  righe.Add("  OR");
  righe.Add("  B.NAZIONE='USA'");
}

// The selected orders with their ship-to customer, when there is one, joined to `tabella` C.
void ComponiSQLOrdini(TStrings& righe, const std::string& tabella, const std::string& join) {
  righe.Add("SELECT");
  righe.Add("  C.*");
  righe.Add("FROM");
  righe.Add("  PS_ORDINI A");
  righe.Add("  LEFT JOIN CLIENTI B ON");
  righe.Add("  B.CODICE=A.CODDEST");
  righe.Add("  INNER JOIN " + tabella + " C ON");
  righe.Add("  " + join);
  AggiungiSelezione(righe);
}

// The invoice holders of the ship-to customers of the selected orders.
void ComponiSQLIntestatari(TStrings& righe) {
  righe.Add("SELECT DISTINCT");
  righe.Add("  C.*");
  righe.Add("FROM");
  righe.Add("  PS_ORDINI A");
  righe.Add("  INNER JOIN CLIENTI B ON");
  righe.Add("  B.CODICE=A.CODDEST");
  righe.Add("  INNER JOIN CLIENTI C ON");
  righe.Add("  C.CODICE=B.INTESTATARIOFATTURA");
  AggiungiSelezione(righe);
}

// The ship-to customers of the selected orders.
void ComponiSQLDestinatari(TStrings& righe) {
  righe.Add("SELECT DISTINCT");
  righe.Add("  B.*");
  righe.Add("FROM");
  righe.Add("  PS_ORDINI A");
  righe.Add("  INNER JOIN CLIENTI B ON");
  righe.Add("  B.CODICE=A.CODDEST");
  AggiungiSelezione(righe);
}

}  // namespace

void TTravasoDatiVornyUSA_Clienti::ImpostaTabella() {
  SetTabella("CLIENTI");
}

void TTravasoDatiVornyUSA_Clienti::ComponiSQLDestinazione(TStrings& righe) {
  TTravasoDatiVornyUSA::ComponiSQLDestinazione(righe);
  righe.Add("MATCHING(" + Chiave() + ")");
}

void TTravasoDatiVornyUSA_ClientiOrdini::ComponiSQLOrigine(TStrings& righe) {
  // The branches of a UNION ALL are read one after the other, each in its own order.
  righe.Add("SELECT Q.*, 1 AS VSQL_PASSO FROM (");
  ComponiSQLIntestatari(righe);
  righe.Add(") Q");
  righe.Add("UNION ALL");
  righe.Add("SELECT Q.*, 2 FROM (");
  ComponiSQLDestinatari(righe);
  righe.Add(") Q");
}

bool TTravasoDatiVornyUSA_PS::PreparaDestinazione(std::string& messaggio) {
  messaggio.clear();
  std::string errore;
  const bool azzerata = Comune() && std::find(Comune()->azzerate.begin(), Comune()->azzerate.end(),
                                              Tabella()) != Comune()->azzerate.end();
  if (!azzerata && !AzzeraDestinazione(errore)) {
    messaggio = "Fallito azzeramento tabella destinazione \"" + Tabella() + "\"\r" + errore;
    return false;
  }
  return true;
}

bool TTravasoDatiVornyUSA_PS::AzzeraDestinazione(std::string& messaggio) {
  return AzzeraTabelle(Destinazione(), {Tabella()}, messaggio);
}

bool TTravasoDatiVornyUSA_PS::AzzeraTabelle(TConnessione& destinazione,
                                            const std::vector<std::string>& tabelle,
                                            std::string& messaggio) {
  messaggio.clear();
  if (tabelle.empty()) return true;
  // A block runs under one savepoint: refused, it leaves every table as it was.
  std::string sql = tabelle.size() > 1 ? "EXECUTE BLOCK AS BEGIN" : "";
  for (const std::string& tabella : tabelle)
    sql += (tabelle.size() > 1 ? " DELETE FROM " + tabella + ";" : "DELETE FROM " + tabella);
  if (tabelle.size() > 1) sql += " END";
  try {
    destinazione.TransazioneScrittura().EseguiImmediato(sql);
  } catch (const ESQLError& e) {
    messaggio = e.what();
    return false;
  }
  return true;
}

void TTravasoDatiVornyUSA_PS_Ordini::ImpostaTabella() {
  SetTabella("PS_ORDINI");
}

void TTravasoDatiVornyUSA_PS_Ordini::ComponiSQLOrigine(TStrings& righe) {
  righe.Add("SELECT");
  righe.Add("  A.*");
  righe.Add("FROM");
  righe.Add("  PS_ORDINI A");
  righe.Add("  LEFT JOIN CLIENTI B ON");
  righe.Add("  B.CODICE=A.CODDEST");
  AggiungiSelezione(righe);
}

void TTravasoDatiVornyUSA_PS_Ordini::ComponiSQLDestinazione(TStrings& righe) {
  TTravasoDatiVornyUSA_PS::ComponiSQLDestinazione(righe);
  righe.Add("MATCHING(" + Chiave() + ")");
}

void TTravasoDatiVornyUSA_PS_StoInsCar::ImpostaTabella() {
  SetTabella("PS_STOINSCAR");
}

void TTravasoDatiVornyUSA_PS_StoInsCar::ComponiSQLOrigine(TStrings& righe) {
  ComponiSQLOrdini(righe, "PS_STOINSCAR", "C.IDSESSIONE=A.IDSESSIONE");
}

void TTravasoDatiVornyUSA_PS_StoInsCar::ComponiSQLDestinazione(TStrings& righe) {
  TTravasoDatiVornyUSA_PS::ComponiSQLDestinazione(righe);
  righe.Add("MATCHING(" + Chiave() + ")");
}

void TTravasoDatiVornyUSA_PS_StoSession::ImpostaTabella() {
  SetTabella("PS_STOSESSION");
}

void TTravasoDatiVornyUSA_PS_StoSession::ComponiSQLOrigine(TStrings& righe) {
  ComponiSQLOrdini(righe, "PS_STOSESSION", "C.ID=A.IDSESSIONE");
}

void TTravasoDatiVornyUSA_PS_StoSession::ComponiSQLDestinazione(TStrings& righe) {
  TTravasoDatiVornyUSA_PS::ComponiSQLDestinazione(righe);
  righe.Add("MATCHING(" + Chiave() + ")");
}
