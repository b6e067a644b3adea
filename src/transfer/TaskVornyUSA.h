#pragma once

#include <memory>
#include <string>

#include "taskbase/Task.h"
#include "transfer/TravasoDatiVornyUSA.h"

class TSQLTransaction;

// The task of type VORNYUSA: copies the selected customers, orders, order rows and order
// sessions from Origine to Destinazione in five transfers inside one destination transaction,
// committed only when all five succeed.
class TTaskVornyUSA : public TTask {
 public:
  TTaskVornyUSA();
  ~TTaskVornyUSA() override;

  // False: "Impossibile eseguire il travaso <step>:" CR and the failing step's message. An
  // error escaping a step rolls the destination back and goes on up. The five source queries
  // read one read-only snapshot of the source, started here and ended on return.
  bool Esecuzione(std::string& messaggio) override;

 protected:
  // Runs one transfer of the class given. False: the leading text, with its "%s" still in
  // place of the step's caption, in front of the transfer's message.
  virtual bool EseguiTravaso(TTravasoDatiVornyUSAClass classe, std::string& messaggio);

 private:
  std::unique_ptr<TSQLTransaction> istantaneaOrigine_;  // only while Esecuzione runs
};
