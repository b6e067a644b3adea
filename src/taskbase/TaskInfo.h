#pragma once

#include <cstdint>
#include <string>

enum TTipoSincro : uint8_t { tsNessuno = 0, tsVornyUSA = 1 };
enum TStatusSincro : uint8_t { ssInattivo = 0, ssAttivo = 1 };

// One row of the task table, held by value. A record that no row was read into is all zero.
struct TVessentariaTaskInfo {
  int32_t ID = 0;
  std::string ArchivioOrigine;       // at most 255 characters
  std::string ArchivioDestinazione;  // at most 255 characters
  TTipoSincro TipoSincro = tsNessuno;
  TStatusSincro Status = ssInattivo;
};
