#pragma once

// Blob transport of the access layer: reading, writing and copying blob contents segment by
// segment, and the short-blob-as-text path, by which a blob of up to a VARCHAR's length travels
// inside a statement's parameter instead of costing requests of its own. Used by the typed
// accessors (a blob read or set as text) and by the exact copy of a value between statements.

#include <cstddef>
#include <string>
#include <vector>

#include "db/SQLInternal.h"

// Reading appends the whole content to `out`.
void LeggiBlob(TSQLDatabase* db, isc_tr_handle* tr, const ISC_QUAD& id, std::string& out);
ISC_QUAD ScriviBlob(TSQLDatabase* db, isc_tr_handle* tr, const char* data, size_t size);
// Copies a blob from one database/transaction to a new blob in another, segment by segment.
ISC_QUAD CopiaBlob(TSQLDatabase* dbDa, isc_tr_handle* trDa, const ISC_QUAD& id, TSQLDatabase* dbA,
                   isc_tr_handle* trA, std::vector<char>& segmento);
// The longest blob that travels to the server as a text parameter (the longest VARCHAR).
constexpr size_t kBlobComeTestoMassimo = 32765;
// Reads the blob into `out` (at most `massimo` + 1 bytes, the buffer is not shrunk) and says
// whether it was whole: false when it is longer than `massimo`.
bool LeggiBlobCorto(TSQLDatabase* db, isc_tr_handle* tr, const ISC_QUAD& id, size_t massimo,
                    char* out, size_t& letti);
// Whether a blob parameter of this subtype and character set (for a text blob) can be sent as a
// text parameter without the server changing or refusing a byte.
bool BlobComeTestoAmmesso(short sottotipo, short set);
