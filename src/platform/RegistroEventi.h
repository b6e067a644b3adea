#pragma once

#include <string>

// Puts `testo` (lines separated by LF) into the system's own log where that is not standard
// error: the Windows event log under the source "vessentaria", as an error or as a warning.
// Elsewhere nothing: the journal and cron already keep standard error.
void RegistraNelSistema(const std::string& testo, bool errore);
