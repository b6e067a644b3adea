#include "db/SQLError.h"

#include "db/SQLInternal.h"

void ErroreSQL(CodiceErroreSQL codice, const std::string& testo) {
  throw ESQLError(testo, codice);
}

void ErroreConversione() {
  ErroreSQL(ceConversioneNonValida, "Invalid data conversion");
}

std::string TestoStatus(const ISC_STATUS* status) {
  std::string testo;
  char riga[1024];
  const ISC_STATUS* p = status;
  bool primaRiga = true;
  while (fb_interpret(riga, sizeof riga, &p) > 0) {
    if (!primaRiga && (testo.empty() || testo.back() != '\n')) testo += "\r\n";
    testo += riga;
    primaRiga = false;
  }
  if (!testo.empty() && testo.back() == '.') testo.pop_back();
  return testo;
}

void ErroreServer(const ISC_STATUS* status) {
  std::string testo = TestoStatus(status);
  long sqlCode = isc_sqlcode(status);
  long iscCode = status[1];
  if (sqlCode == -551) throw ESQLNoPermission(testo, 0, sqlCode, iscCode);
  throw ESQLError(testo, 0, sqlCode, iscCode);
}

bool ConflittoDiLock(const ISC_STATUS* status) {
  // The vector is a list of (code, argument) clusters ended by isc_arg_end; error codes follow
  // isc_arg_gds.
  for (const ISC_STATUS* p = status; *p != isc_arg_end;) {
    ISC_STATUS tipo = p[0];
    if (tipo == isc_arg_gds &&
        (p[1] == isc_lock_conflict || p[1] == isc_deadlock || p[1] == isc_update_conflict))
      return true;
    p += (tipo == isc_arg_cstring) ? 3 : 2;
  }
  return false;
}

PXSQLDA NuovoXSQLDA(int n) {
  if (n < 1) n = 1;
  size_t bytes = XSQLDA_LENGTH(n);
  PXSQLDA da(static_cast<XSQLDA*>(std::calloc(1, bytes)));
  if (!da) throw std::bad_alloc();
  da->version = SQLDA_VERSION1;
  da->sqln = static_cast<ISC_SHORT>(n);
  return da;
}

bool ESQLError::ErroreDiRete() const noexcept {
  if (codice_ == ceAccessoNonCompletato) return true;
  switch (iscCode_) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_connect_reject:
    case isc_conn_lost:
    case isc_lost_db_connection:
    // A server that stops ends its attachments with this before it closes their sockets.
    case isc_att_shutdown:
      return true;
    default:
      return false;
  }
}

bool ESQLError::LoginRifiutato() const noexcept {
  return iscCode_ == isc_login;
}
