#pragma once

#include <string>

#include "tasks/Task.h"

// The task of type VORNYUSA: copies the selected customers, orders, order rows and order
// sessions from Origine to Destinazione in five transfers inside one destination transaction,
// committed only when all five succeed.
class TTaskVornyUSA : public TTask {
 public:
  bool Esecuzione(std::string& messaggio) override;
};
