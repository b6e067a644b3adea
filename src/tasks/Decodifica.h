#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tasks/TaskInfo.h"

class TTask;

// The type of a task row from its TIPOSINCRO code: "VORNYUSA" in any letter case (ASCII letters
// only, no blanks trimmed) is tsVornyUSA; anything else, the empty text included, is tsNessuno.
TTipoSincro DecodificaTipoSincro(const std::string& codice);
// The status of a task row from its STATUS value: only 1 is ssAttivo.
TStatusSincro DecodificaStatus(int32_t valore);
// A new task object of the given type, owned by the caller; none for tsNessuno.
std::unique_ptr<TTask> CreaTask(TTipoSincro tipo);
