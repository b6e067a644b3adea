#include "app/FabbricaTask.h"

#include "transfer/TaskVornyUSA.h"

std::unique_ptr<TTask> CreaTask(TTipoSincro tipo) {
  switch (tipo) {
    case tsVornyUSA:
      return std::make_unique<TTaskVornyUSA>();
    case tsNessuno:
      break;
  }
  return nullptr;
}
