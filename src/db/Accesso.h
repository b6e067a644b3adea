#pragma once

// Private to the access layer: a login that the caller stops waiting for.

#include <chrono>
#include <functional>
#include <optional>

#include "db/SQLInternal.h"

// A client call that logs in and yields an attachment (isc_attach_database, CREATE DATABASE
// through isc_dsql_execute_immediate): it fills `status` and `handle` and returns its result.
using TChiamataAccesso = std::function<ISC_STATUS(ISC_STATUS* status, isc_db_handle* handle)>;

// A server that sent its first answer and then froze holds a login for ever, and nothing cuts it:
// the client's connection limit ends with that first answer, and a cancel needs the attachment
// handle that the login has not given yet. So `chiamata` runs on a thread of its own, and the
// caller waits for it `limite` at most. Within it: the attachment, or the call's failure raised as
// ErroreServer raises it. Past it: nothing; the thread, when the call ever returns, detaches the
// attachment that nobody takes any more. Raises ESQLError when the thread cannot start.
std::optional<isc_db_handle> AccessoEntro(TChiamataAccesso chiamata,
                                          std::chrono::milliseconds limite);

// Counts, for ChiamateInSospeso, from its creation to its release: a thread of the layer's own
// that may be left inside the client library with nobody waiting for it.
class TInSospeso {
 public:
  TInSospeso() noexcept;
  TInSospeso(const TInSospeso&) = delete;
  TInSospeso& operator=(const TInSospeso&) = delete;
  ~TInSospeso();
};
