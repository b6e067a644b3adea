#include "db/SQLError.h"

#include <cstdlib>
#include <cstring>

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

namespace {

bool ErroreEsterno(long codice) {
  return codice == isc_eds_connection || codice == isc_eds_statement;
}

// The codes of another database's error as the server wraps it for EXECUTE STATEMENT ... ON
// EXTERNAL: one line "<code> : <text>" for each.
void CodiciEsterni(const char* testo, std::vector<long>& codici) {
  for (const char* riga = testo; *riga;) {
    char* fine = nullptr;
    const unsigned long codice = std::strtoul(riga, &fine, 10);
    if (fine != riga && std::strncmp(fine, " : ", 3) == 0)
      codici.push_back(static_cast<long>(codice));
    riga = std::strchr(riga, '\n');
    if (!riga) break;
    ++riga;
  }
}

}  // namespace

void ErroreServer(const ISC_STATUS* status) {
  std::string testo = TestoStatus(status);
  long sqlCode = isc_sqlcode(status);
  long iscCode = status[1];
  // The wrapping code's arguments are where it happened, then the other database's error.
  std::vector<long> codici;
  int argomentoEsterno = 0;
  for (const ISC_STATUS* p = status; *p != isc_arg_end; p += (*p == isc_arg_cstring) ? 3 : 2) {
    if (*p == isc_arg_gds) {
      codici.push_back(static_cast<long>(p[1]));
      argomentoEsterno = ErroreEsterno(static_cast<long>(p[1])) ? 1 : 0;
    } else if (*p == isc_arg_string && argomentoEsterno > 0 && ++argomentoEsterno == 3) {
      CodiciEsterni(reinterpret_cast<const char*>(p[1]), codici);
    }
  }
  if (sqlCode == -551) throw ESQLNoPermission(testo, 0, sqlCode, iscCode, std::move(codici));
  throw ESQLError(testo, 0, sqlCode, iscCode, std::move(codici));
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

bool ESQLError::Contiene(std::initializer_list<long> cercati) const noexcept {
  for (const long codice : codici_)
    for (const long cercato : cercati)
      if (codice == cercato) return true;
  return false;
}

bool ESQLError::ConnessioneEsternaPersa() const noexcept {
  // Attaching, starting, committing and rolling back are the connection's; a statement's error
  // counts when the connection went under it.
  return Contiene({isc_eds_connection}) ||
         (Contiene({isc_eds_statement}) &&
          Contiene({isc_network_error, isc_net_read_err, isc_net_write_err, isc_connect_reject,
                    isc_conn_lost, isc_lost_db_connection, isc_att_shutdown, isc_shutdown}));
}

bool ESQLError::PermessoNegato() const noexcept {
  return sqlCode_ == -551 || Contiene({isc_no_priv});

}

TGuastoRete ESQLError::GuastoRete() const noexcept {
  if (!ErroreDiRete()) return TGuastoRete::Nessuno;
  if (iscCode_ == isc_connect_reject) return TGuastoRete::Respinta;
  if (iscCode_ == isc_network_error && Dettaglio() == isc_net_lookup_err)
    return TGuastoRete::HostSconosciuto;
  if (iscCode_ == isc_network_error && Dettaglio() == isc_net_connect_err)
    return TGuastoRete::NonStabilita;
  return TGuastoRete::Altro;
}

bool ESQLError::LoginRifiutato() const noexcept {
  return iscCode_ == isc_login;
}
