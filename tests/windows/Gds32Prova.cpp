// A stand-in for the client library under Wine, where no Windows Firebird client can be had: it
// exports the entry points that the program looks for under their names, records each call with
// its arguments in the file named by the environment variable REGISTRO_CLIENT, and refuses every
// connection and creation with an I/O error, as a client with no server to reach does. It checks
// how the program loads the library and what it passes through it, not the database.
// Built without isc_dsql_sql_info (SENZA_SQL_INFO) it is a library that lacks an entry point.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define ESPORTA extern "C" __declspec(dllexport)

namespace {

using Stato = intptr_t;
const Stato ErroreIO = 335544344;

void Registra(const std::string& riga) {
  const char* file = std::getenv("REGISTRO_CLIENT");
  if (!file) return;
  FILE* uscita = std::fopen(file, "ab");
  if (!uscita) return;
  std::fprintf(uscita, "%s\n", riga.c_str());
  std::fclose(uscita);
}

std::string Testo(const char* testo, unsigned lunghezza) {
  std::string t = lunghezza ? std::string(testo, lunghezza) : std::string(testo);
  std::string visibile;
  for (char c : t)
    visibile += c == '\r' ? std::string("\\r") : c == '\n' ? "\\n" : std::string(1, c);
  return visibile;
}

std::string Esadecimale(const char* dati, int lunghezza) {
  std::string t;
  char byte[4];
  for (int i = 0; i < lunghezza; ++i) {
    std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(dati[i]));
    t += (i ? " " : "") + std::string(byte);
  }
  return t;
}

Stato Rifiuta(Stato* status) {
  status[0] = 1;
  status[1] = ErroreIO;
  status[2] = 0;
  return ErroreIO;
}

Stato Nessuno(Stato* status, const char* nome) {
  Registra(nome);
  return Rifiuta(status);
}

}  // namespace

ESPORTA int fb_interpret(char* buffer, unsigned spazio, const Stato** vettore) {
  const Stato* p = *vettore;
  if (p[0] != 1 || p[1] == 0) return 0;
  std::snprintf(buffer, spazio, "I/O error during the test client's open");
  *vettore = p + 2;
  return static_cast<int>(std::strlen(buffer));
}

ESPORTA Stato isc_attach_database(Stato* status, short lunghezza, const char* nome,
                                  unsigned* database, short lunghezzaDpb, const char* dpb) {
  Registra("isc_attach_database " + Testo(nome, static_cast<unsigned>(lunghezza)) +
           " dpb=" + Esadecimale(dpb, lunghezzaDpb) + " handle=" + std::to_string(*database));
  return Rifiuta(status);
}

ESPORTA Stato isc_dsql_execute_immediate(Stato* status, unsigned* database, unsigned* transazione,
                                         unsigned short lunghezza, const char* testo,
                                         unsigned short dialetto, const void*) {
  Registra("isc_dsql_execute_immediate dialect=" + std::to_string(dialetto) + " " +
           Testo(testo, lunghezza) + " handles=" + std::to_string(*database) + "," +
           std::to_string(transazione ? *transazione : 0));
  return Rifiuta(status);
}

ESPORTA Stato isc_detach_database(Stato* status, unsigned* database) {
  Registra("isc_detach_database");
  *database = 0;
  status[0] = 1;
  status[1] = 0;
  return 0;
}

// One database of a transaction, as isc_start_multiple receives it.
struct Blocco {
  unsigned* database;
  int lunghezza;
  const char* parametri;
};

ESPORTA Stato isc_start_multiple(Stato* status, unsigned* transazione, short numero,
                                 void* blocchi) {
  std::string riga = "isc_start_multiple n=" + std::to_string(numero);
  auto* blocco = static_cast<Blocco*>(blocchi);
  for (int i = 0; i < numero; ++i)
    riga += " [db=" + std::to_string(*blocco[i].database) +
            " tpb=" + Esadecimale(blocco[i].parametri, blocco[i].lunghezza) + "]";
  Registra(riga);
  *transazione = 77;
  status[0] = 1;
  status[1] = 0;
  return 0;
}

ESPORTA int isc_sqlcode(const Stato*) {
  return -902;
}

ESPORTA int isc_vax_integer(const char* dati, short lunghezza) {
  int valore = 0;
  for (int i = 0; i < lunghezza; ++i)
    valore |= static_cast<int>(static_cast<unsigned char>(dati[i])) << (8 * i);
  return valore;
}

#define NESSUNO(nome)                 \
  ESPORTA Stato nome(Stato* status) { \
    return Nessuno(status, #nome);    \
  }
NESSUNO(fb_cancel_operation)
NESSUNO(isc_blob_info)
NESSUNO(isc_cancel_blob)
NESSUNO(isc_close_blob)
NESSUNO(isc_commit_retaining)
NESSUNO(isc_commit_transaction)
NESSUNO(isc_create_blob2)
NESSUNO(isc_database_info)
NESSUNO(isc_dsql_allocate_statement)
NESSUNO(isc_dsql_describe)
NESSUNO(isc_dsql_describe_bind)
NESSUNO(isc_dsql_exec_immed2)
NESSUNO(isc_dsql_execute)
NESSUNO(isc_dsql_execute2)
NESSUNO(isc_dsql_fetch)
NESSUNO(isc_dsql_free_statement)
NESSUNO(isc_dsql_prepare)
NESSUNO(isc_dsql_set_cursor_name)
NESSUNO(isc_get_segment)
NESSUNO(isc_open_blob2)
NESSUNO(isc_put_segment)
NESSUNO(isc_rollback_retaining)
NESSUNO(isc_rollback_transaction)
#ifndef SENZA_SQL_INFO
NESSUNO(isc_dsql_sql_info)
#endif
