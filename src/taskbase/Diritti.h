#pragma once

#include <string>
#include <vector>

#include "db/Schema.h"

class TSQLTransaction;

// Whether the login of the attachment of `transaction` holds every right of `richiesti`, asked in
// one request in `transaction` (DirittiLogin). False with one part per table, in the order of
// `richiesti`, separated by CR: "manca il diritto DELETE su PS_STOINSCAR <dove>: GRANT DELETE ON
// PS_STOINSCAR TO VESSENTARIA", or "mancano i diritti SELECT, UPDATE su ..." with one GRANT for all
// of them; the grant goes to the role when the login uses one. Server errors are raised.
bool ControllaDiritti(TSQLTransaction& transaction, const std::vector<TDirittoTabella>& richiesti,
                      const std::string& dove, std::string& messaggio);
