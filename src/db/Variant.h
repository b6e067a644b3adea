#pragma once

#include <cstdint>
#include <string>

#include "db/DateTime.h"

// The tagged value of AsVariant. Currency is a fixed-point number with four decimals, held as
// the value times 10000. Array, object references and error values exist only so that a caller
// can hand them to a setter, which refuses them.
struct TVariant {
  enum class Tipo : uint8_t {
    Vuoto,
    Null,
    Intero,
    Double,
    Currency,
    DateTime,
    Testo,
    Booleano,
    Array,
    Oggetto,
    Errore
  };

  Tipo tipo = Tipo::Vuoto;
  int32_t intero = 0;
  double reale = 0;  // Double and DateTime
  int64_t currency = 0;
  bool booleano = false;
  std::string testo;

  static TVariant Make(Tipo t) {
    TVariant r;
    r.tipo = t;
    return r;
  }
  static TVariant MakeNull() { return Make(Tipo::Null); }
  static TVariant MakeIntero(int32_t v) {
    TVariant r = Make(Tipo::Intero);
    r.intero = v;
    return r;
  }
  static TVariant MakeDouble(double v) {
    TVariant r = Make(Tipo::Double);
    r.reale = v;
    return r;
  }
  static TVariant MakeCurrency(int64_t valoreXDiecimila) {
    TVariant r = Make(Tipo::Currency);
    r.currency = valoreXDiecimila;
    return r;
  }
  static TVariant MakeDateTime(TDateTime v) {
    TVariant r = Make(Tipo::DateTime);
    r.reale = v;
    return r;
  }
  static TVariant MakeTesto(std::string v) {
    TVariant r = Make(Tipo::Testo);
    r.testo = std::move(v);
    return r;
  }
  static TVariant MakeBooleano(bool v) {
    TVariant r = Make(Tipo::Booleano);
    r.booleano = v;
    return r;
  }
};
