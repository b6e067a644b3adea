#include "app/Avvio.h"

int main() {
  return EseguiProgramma();
}
