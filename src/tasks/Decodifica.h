#pragma once

#include <cstdint>
#include <string>

#include "taskbase/TaskInfo.h"

// The type of a task row from its TIPOSINCRO code: "VORNYUSA" in any letter case (ASCII letters
// only, no blanks trimmed) is tsVornyUSA; anything else, the empty text included, is tsNessuno.
TTipoSincro DecodificaTipoSincro(const std::string& codice);
// The status of a task row from its STATUS value: only 1 is ssAttivo.
TStatusSincro DecodificaStatus(int32_t valore);
