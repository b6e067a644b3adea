#include "db/SQLInternal.h"

// The client library is linked into the program on this platform, so there is nothing to load.
void CaricaLibreriaClient() {}
