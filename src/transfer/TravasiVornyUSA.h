#pragma once

#include <string>
#include <vector>

#include "transfer/TravasoDatiVornyUSA.h"

// The transfers of the order task. They select through the selected orders: the orders of user
// 61 and those whose ship-to customer is in the country USA.

// Customers, matched on CODICE; customers that no selected order refers to are left as they are.
class TTravasoDatiVornyUSA_Clienti : public TTravasoDatiVornyUSA {
 public:
  using TTravasoDatiVornyUSA::TTravasoDatiVornyUSA;
  std::string Chiave() const override { return "CODICE"; }

 protected:
  void ImpostaTabella() override;
  void ComponiSQLDestinazione(TStrings& righe) override;
};

// The customers of the selected orders in two steps of one source query (one request fewer
// across a slow link): the invoice holders of their ship-to customers, then the ship-to
// customers.
class TTravasoDatiVornyUSA_ClientiOrdini : public TTravasoDatiVornyUSA_Clienti {
 public:
  using TTravasoDatiVornyUSA_Clienti::TTravasoDatiVornyUSA_Clienti;

 protected:
  void ComponiSQLOrigine(TStrings& righe) override;
  int PassiOrigine() const override { return 2; }
};

// An order-side table: emptied in the destination transaction, then refilled.
class TTravasoDatiVornyUSA_PS : public TTravasoDatiVornyUSA {
 public:
  using TTravasoDatiVornyUSA::TTravasoDatiVornyUSA;

  // DELETE FROM Tabella in the write transaction of Destinazione, not committed. False with the
  // database's error text when the server refuses it.
  bool AzzeraDestinazione(std::string& messaggio);
  // Empties every table of `tabelle` in the write transaction of `destinazione` in one request,
  // not committed. False with the database's error text when the server refuses it: then none
  // of them has changed.
  static bool AzzeraTabelle(TConnessione& destinazione, const std::vector<std::string>& tabelle,
                            std::string& messaggio);

 protected:
  // Empties the destination table, unless the run has already done it.
  bool PreparaDestinazione(std::string& messaggio) override;
};

// The selected orders, matched on IDSESSIONE.
class TTravasoDatiVornyUSA_PS_Ordini : public TTravasoDatiVornyUSA_PS {
 public:
  using TTravasoDatiVornyUSA_PS::TTravasoDatiVornyUSA_PS;
  std::string Chiave() const override { return "IDSESSIONE"; }

 protected:
  void ImpostaTabella() override;
  void ComponiSQLOrigine(TStrings& righe) override;
  void ComponiSQLDestinazione(TStrings& righe) override;
};

// The order rows of the selected orders, matched on IDINSERIMENTO.
class TTravasoDatiVornyUSA_PS_StoInsCar : public TTravasoDatiVornyUSA_PS {
 public:
  using TTravasoDatiVornyUSA_PS::TTravasoDatiVornyUSA_PS;
  std::string Chiave() const override { return "IDINSERIMENTO"; }

 protected:
  void ImpostaTabella() override;
  void ComponiSQLOrigine(TStrings& righe) override;
  void ComponiSQLDestinazione(TStrings& righe) override;
};

// The sessions of the selected orders, matched on ID.
class TTravasoDatiVornyUSA_PS_StoSession : public TTravasoDatiVornyUSA_PS {
 public:
  using TTravasoDatiVornyUSA_PS::TTravasoDatiVornyUSA_PS;
  std::string Chiave() const override { return "ID"; }

 protected:
  void ImpostaTabella() override;
  void ComponiSQLOrigine(TStrings& righe) override;
  void ComponiSQLDestinazione(TStrings& righe) override;
};
