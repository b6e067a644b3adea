#pragma once

#include <string>

// Writes `testo` to standard output byte for byte and flushes it: the CR LF pairs of a report
// stay CR LF (on Windows standard output would otherwise turn each LF into CR LF).
void ScriviUscitaStandard(const std::string& testo);

// Ends the process with `stato` now, after flushing standard output and error, without the
// exit-time cleanup of the libraries loaded (which may wait for threads that never return).
[[noreturn]] void EsciSubito(int stato);
