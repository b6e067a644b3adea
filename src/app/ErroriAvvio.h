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

// The eight start-up failures, named by index; row i has Codice i + 1.
extern const std::array<TInfoErrore, 8> ErroriAvvio;

// Row `Indice` with its first "%s" replaced by Primo and its second by Secondo.
std::string FormattaErroreAvvio(uint8_t Indice, const std::string& Primo,
                                const std::string& Secondo);
// Shows the formatted row in the modal error box and returns its Codice once the box is closed.
int32_t MostraErroreAvvio(uint8_t Indice, const std::string& Primo, const std::string& Secondo);
