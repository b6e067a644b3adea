#pragma once

#include <array>
#include <cstdint>
#include <string>

// One start-up failure: the exit status it ends the process with and its message, a format with
// one or two "%s".
struct TInfoErrore {
  int32_t Codice;
  const char* Messaggio;
};

// The start-up failures, named by index. Rows 0 to 7 have Codice i + 1; the logins row has 10,
// since 9 is the status of a check that found a task failing; the last row, an archive that the
// account cannot reach, keeps the 2 of an archive not found, its status before it was told apart.
extern const std::array<TInfoErrore, 10> ErroriAvvio;

// Row `Indice` with its first "%s" replaced by Primo and its second by Secondo.
std::string FormattaErroreAvvio(uint8_t Indice, const std::string& Primo,
                                const std::string& Secondo);
// Shows the formatted row in the modal error box and returns its Codice once the box is closed.
int32_t MostraErroreAvvio(uint8_t Indice, const std::string& Primo, const std::string& Secondo);
