#include "db/SQLInternal.h"

// The client library is linked into the program on this platform, so there is nothing to load.
// A Windows build loads "gds32.dll" here once, at the first creation of a database, transaction
// or statement object, and raises ESQLError (ceLibreriaClient) when it cannot.
void CaricaLibreriaClient() {}
