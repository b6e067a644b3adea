#pragma once

#include <cstdint>

// Days since 1899-12-30, the time of day as the fraction; 0 is the zero date-time.
using TDateTime = double;

// A Firebird TIMESTAMP as the engine stores it: days since 1858-11-17 and the time of day in
// units of 1/10000 s. The whole-value path moves this so that fractions of a second survive.
struct TSQLTimeStamp {
  int32_t Date = 0;
  uint32_t Time = 0;
  bool operator==(const TSQLTimeStamp&) const = default;
};
