// Calls the client library through the program's forwarders, for the tests under Wine:
//   prova-libreria transazione   starts a transaction on two databases through the variadic
//                                isc_start_transaction and prints the status and the handle
#include <cstdio>
#include <cstring>
#include <exception>

#include "db/SQLInternal.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "transazione") != 0) {
    std::fputs("usage: prova-libreria transazione\n", stderr);
    return 64;
  }
  try {
    ISC_STATUS_ARRAY status{};
    isc_db_handle primo = 11;
    isc_db_handle secondo = 22;
    isc_tr_handle transazione = 0;
    const char concorrenza[] = {isc_tpb_version3, isc_tpb_concurrency, isc_tpb_nowait};
    const char lettura[] = {isc_tpb_version3};
    ISC_STATUS esito = isc_start_transaction(
        status, &transazione, 2, &primo, static_cast<unsigned short>(sizeof concorrenza),
        concorrenza, &secondo, static_cast<unsigned short>(sizeof lettura), lettura);
    std::printf("esito=%d transazione=%u\n", static_cast<int>(esito), transazione);
    return 0;
  } catch (const std::exception& errore) {
    std::printf("Errore=%s\n", errore.what());
    return 3;
  }
}
