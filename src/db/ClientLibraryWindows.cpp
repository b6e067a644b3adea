#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "db/SQLInternal.h"

// On Windows the client library is not linked: it is loaded by its file name at the first
// creation of a database, transaction or statement object, and every entry point the layer calls
// is defined here as a forwarder through the address found in it. The rest of the layer calls the
// isc_ functions as declared in ibase.h and does not know the difference.

#define VESS_VOCI_CLIENT(X)      \
  X(fb_cancel_operation)         \
  X(fb_interpret)                \
  X(isc_attach_database)         \
  X(isc_blob_info)               \
  X(isc_cancel_blob)             \
  X(isc_close_blob)              \
  X(isc_commit_retaining)        \
  X(isc_commit_transaction)      \
  X(isc_create_blob2)            \
  X(isc_database_info)           \
  X(isc_detach_database)         \
  X(isc_dsql_allocate_statement) \
  X(isc_dsql_describe)           \
  X(isc_dsql_describe_bind)      \
  X(isc_dsql_exec_immed2)        \
  X(isc_dsql_execute)            \
  X(isc_dsql_execute2)           \
  X(isc_dsql_execute_immediate)  \
  X(isc_dsql_fetch)              \
  X(isc_dsql_free_statement)     \
  X(isc_dsql_prepare)            \
  X(isc_dsql_set_cursor_name)    \
  X(isc_dsql_sql_info)           \
  X(isc_get_segment)             \
  X(isc_open_blob2)              \
  X(isc_put_segment)             \
  X(isc_rollback_retaining)      \
  X(isc_rollback_transaction)    \
  X(isc_sqlcode)                 \
  X(isc_start_multiple)          \
  X(isc_vax_integer)

namespace {

const char* const NomeLibreria = "gds32.dll";

enum TVoce : int {
#define VESS_ENUM(nome) v_##nome,
  VESS_VOCI_CLIENT(VESS_ENUM)
#undef VESS_ENUM
      vNumeroVoci
};

const char* const NomiVoci[vNumeroVoci] = {
#define VESS_NOME(nome) #nome,
    VESS_VOCI_CLIENT(VESS_NOME)
#undef VESS_NOME
};

// Loaded once and kept for the life of the process.
HMODULE modulo = nullptr;
FARPROC voci[vNumeroVoci] = {};

template <typename F>
F Voce(TVoce voce) {
  // Every call comes after the creation of an object, which loaded the library; this covers a
  // call that did not.
  if (!modulo) CaricaLibreriaClient();
  // A plain function pointer type converts to any other without a cast warning.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(voci[voce]));
}

// One database of a transaction, as isc_start_multiple takes it.
struct TBloccoTransazione {
  isc_db_handle* database;
  int lunghezza;
  const char* parametri;
};

}  // namespace

void CaricaLibreriaClient() {
  if (modulo) return;
  // Only the program's folder and the system folder: a gds32.dll left in the current folder, or
  // in any folder of the search path, is never loaded.
  HMODULE caricato = LoadLibraryExA(
      NomeLibreria, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!caricato)
    ErroreSQL(ceLibreriaClient, std::string("Unable to load the client library ") + NomeLibreria +
                                    " (error " + std::to_string(GetLastError()) + ")");
  FARPROC trovate[vNumeroVoci] = {};
  for (int i = 0; i < vNumeroVoci; ++i) {
    trovate[i] = GetProcAddress(caricato, NomiVoci[i]);
    if (!trovate[i]) {
      // A library without every entry point is not used at all: the next creation tries again.
      FreeLibrary(caricato);
      ErroreSQL(ceLibreriaClient, std::string("Entry point ") + NomiVoci[i] +
                                      " not found in the client library " + NomeLibreria);
    }
  }
  for (int i = 0; i < vNumeroVoci; ++i) voci[i] = trovate[i];
  modulo = caricato;
}

extern "C" {

ISC_STATUS ISC_EXPORT fb_cancel_operation(ISC_STATUS* status, isc_db_handle* database,
                                          ISC_USHORT opzione) {
  return Voce<decltype(&fb_cancel_operation)>(v_fb_cancel_operation)(status, database, opzione);
}

ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buffer, unsigned int lunghezza,
                                 const ISC_STATUS** status) {
  return Voce<decltype(&fb_interpret)>(v_fb_interpret)(buffer, lunghezza, status);
}

ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* status, short lunghezzaNome,
                                          const ISC_SCHAR* nome, isc_db_handle* database,
                                          short lunghezzaDpb, const ISC_SCHAR* dpb) {
  return Voce<decltype(&isc_attach_database)>(v_isc_attach_database)(status, lunghezzaNome, nome,
                                                                     database, lunghezzaDpb, dpb);
}

ISC_STATUS ISC_EXPORT isc_blob_info(ISC_STATUS* status, isc_blob_handle* blob, short lunghezza,
                                    const ISC_SCHAR* elementi, short lunghezzaRisposta,
                                    ISC_SCHAR* risposta) {
  return Voce<decltype(&isc_blob_info)>(v_isc_blob_info)(status, blob, lunghezza, elementi,
                                                         lunghezzaRisposta, risposta);
}

ISC_STATUS ISC_EXPORT isc_cancel_blob(ISC_STATUS* status, isc_blob_handle* blob) {
  return Voce<decltype(&isc_cancel_blob)>(v_isc_cancel_blob)(status, blob);
}

ISC_STATUS ISC_EXPORT isc_close_blob(ISC_STATUS* status, isc_blob_handle* blob) {
  return Voce<decltype(&isc_close_blob)>(v_isc_close_blob)(status, blob);
}

ISC_STATUS ISC_EXPORT isc_commit_retaining(ISC_STATUS* status, isc_tr_handle* transazione) {
  return Voce<decltype(&isc_commit_retaining)>(v_isc_commit_retaining)(status, transazione);
}

ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* transazione) {
  return Voce<decltype(&isc_commit_transaction)>(v_isc_commit_transaction)(status, transazione);
}

ISC_STATUS ISC_EXPORT isc_create_blob2(ISC_STATUS* status, isc_db_handle* database,
                                       isc_tr_handle* transazione, isc_blob_handle* blob,
                                       ISC_QUAD* id, short lunghezzaBpb, const ISC_SCHAR* bpb) {
  return Voce<decltype(&isc_create_blob2)>(v_isc_create_blob2)(status, database, transazione, blob,
                                                               id, lunghezzaBpb, bpb);
}

ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* status, isc_db_handle* database,
                                        short lunghezza, const ISC_SCHAR* elementi,
                                        short lunghezzaRisposta, ISC_SCHAR* risposta) {
  return Voce<decltype(&isc_database_info)>(v_isc_database_info)(
      status, database, lunghezza, elementi, lunghezzaRisposta, risposta);
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* database) {
  return Voce<decltype(&isc_detach_database)>(v_isc_detach_database)(status, database);
}

ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS* status, isc_db_handle* database,
                                                  isc_stmt_handle* statement) {
  return Voce<decltype(&isc_dsql_allocate_statement)>(v_isc_dsql_allocate_statement)(
      status, database, statement);
}

ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle* statement,
                                        unsigned short versione, XSQLDA* area) {
  return Voce<decltype(&isc_dsql_describe)>(v_isc_dsql_describe)(status, statement, versione, area);
}

ISC_STATUS ISC_EXPORT isc_dsql_describe_bind(ISC_STATUS* status, isc_stmt_handle* statement,
                                             unsigned short versione, XSQLDA* area) {
  return Voce<decltype(&isc_dsql_describe_bind)>(v_isc_dsql_describe_bind)(status, statement,
                                                                           versione, area);
}

ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* status, isc_tr_handle* transazione,
                                       isc_stmt_handle* statement, unsigned short versione,
                                       const XSQLDA* area) {
  return Voce<decltype(&isc_dsql_execute)>(v_isc_dsql_execute)(status, transazione, statement,
                                                               versione, area);
}

ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* status, isc_tr_handle* transazione,
                                        isc_stmt_handle* statement, unsigned short versione,
                                        const XSQLDA* ingresso, const XSQLDA* uscita) {
  return Voce<decltype(&isc_dsql_execute2)>(v_isc_dsql_execute2)(status, transazione, statement,
                                                                 versione, ingresso, uscita);
}

ISC_STATUS ISC_EXPORT isc_dsql_exec_immed2(ISC_STATUS* status, isc_db_handle* database,
                                           isc_tr_handle* transazione, unsigned short lunghezza,
                                           const ISC_SCHAR* testo, unsigned short dialetto,
                                           const XSQLDA* ingresso, const XSQLDA* uscita) {
  return Voce<decltype(&isc_dsql_exec_immed2)>(v_isc_dsql_exec_immed2)(
      status, database, transazione, lunghezza, testo, dialetto, ingresso, uscita);
}

ISC_STATUS ISC_EXPORT isc_dsql_execute_immediate(ISC_STATUS* status, isc_db_handle* database,
                                                 isc_tr_handle* transazione,
                                                 unsigned short lunghezza, const ISC_SCHAR* testo,
                                                 unsigned short dialetto, const XSQLDA* area) {
  return Voce<decltype(&isc_dsql_execute_immediate)>(v_isc_dsql_execute_immediate)(
      status, database, transazione, lunghezza, testo, dialetto, area);
}

ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* statement,
                                     unsigned short versione, const XSQLDA* area) {
  return Voce<decltype(&isc_dsql_fetch)>(v_isc_dsql_fetch)(status, statement, versione, area);
}

ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle* statement,
                                              unsigned short opzione) {
  return Voce<decltype(&isc_dsql_free_statement)>(v_isc_dsql_free_statement)(status, statement,
                                                                             opzione);
}

ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transazione,
                                       isc_stmt_handle* statement, unsigned short lunghezza,
                                       const ISC_SCHAR* testo, unsigned short dialetto,
                                       XSQLDA* area) {
  return Voce<decltype(&isc_dsql_prepare)>(v_isc_dsql_prepare)(status, transazione, statement,
                                                               lunghezza, testo, dialetto, area);
}

ISC_STATUS ISC_EXPORT isc_dsql_set_cursor_name(ISC_STATUS* status, isc_stmt_handle* statement,
                                               const ISC_SCHAR* nome, unsigned short tipo) {
  return Voce<decltype(&isc_dsql_set_cursor_name)>(v_isc_dsql_set_cursor_name)(status, statement,
                                                                               nome, tipo);
}

ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* status, isc_stmt_handle* statement,
                                        short lunghezza, const ISC_SCHAR* elementi,
                                        short lunghezzaRisposta, ISC_SCHAR* risposta) {
  return Voce<decltype(&isc_dsql_sql_info)>(v_isc_dsql_sql_info)(
      status, statement, lunghezza, elementi, lunghezzaRisposta, risposta);
}

ISC_STATUS ISC_EXPORT isc_get_segment(ISC_STATUS* status, isc_blob_handle* blob,
                                      unsigned short* letti, unsigned short spazio,
                                      ISC_SCHAR* buffer) {
  return Voce<decltype(&isc_get_segment)>(v_isc_get_segment)(status, blob, letti, spazio, buffer);
}

ISC_STATUS ISC_EXPORT isc_open_blob2(ISC_STATUS* status, isc_db_handle* database,
                                     isc_tr_handle* transazione, isc_blob_handle* blob,
                                     ISC_QUAD* id, ISC_USHORT lunghezzaBpb, const ISC_UCHAR* bpb) {
  return Voce<decltype(&isc_open_blob2)>(v_isc_open_blob2)(status, database, transazione, blob, id,
                                                           lunghezzaBpb, bpb);
}

ISC_STATUS ISC_EXPORT isc_put_segment(ISC_STATUS* status, isc_blob_handle* blob,
                                      unsigned short lunghezza, const ISC_SCHAR* buffer) {
  return Voce<decltype(&isc_put_segment)>(v_isc_put_segment)(status, blob, lunghezza, buffer);
}

ISC_STATUS ISC_EXPORT isc_rollback_retaining(ISC_STATUS* status, isc_tr_handle* transazione) {
  return Voce<decltype(&isc_rollback_retaining)>(v_isc_rollback_retaining)(status, transazione);
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* transazione) {
  return Voce<decltype(&isc_rollback_transaction)>(v_isc_rollback_transaction)(status, transazione);
}

ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS* status) {
  return Voce<decltype(&isc_sqlcode)>(v_isc_sqlcode)(status);
}

ISC_STATUS ISC_EXPORT isc_start_multiple(ISC_STATUS* status, isc_tr_handle* transazione,
                                         short numero, void* blocchi) {
  return Voce<decltype(&isc_start_multiple)>(v_isc_start_multiple)(status, transazione, numero,
                                                                   blocchi);
}

// The variadic form cannot be forwarded as it is: its database triples (handle, parameter block
// length promoted to int, parameter block) become the blocks of isc_start_multiple.
ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* status, isc_tr_handle* transazione,
                                                   short numero, ...) {
  std::vector<TBloccoTransazione> blocchi(numero > 0 ? static_cast<size_t>(numero) : 0);
  va_list argomenti;
  va_start(argomenti, numero);
  for (TBloccoTransazione& blocco : blocchi) {
    blocco.database = va_arg(argomenti, isc_db_handle*);
    blocco.lunghezza = va_arg(argomenti, int);
    blocco.parametri = va_arg(argomenti, const char*);
  }
  va_end(argomenti);
  return isc_start_multiple(status, transazione, numero, blocchi.data());
}

ISC_LONG ISC_EXPORT isc_vax_integer(const ISC_SCHAR* buffer, short lunghezza) {
  return Voce<decltype(&isc_vax_integer)>(v_isc_vax_integer)(buffer, lunghezza);
}

}  // extern "C"
