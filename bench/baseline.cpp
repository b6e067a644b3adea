// The yardstick of the benchmark: the five copies of the order task written with bare client
// calls and nothing else. Each copy prepares its source query and its destination upsert once,
// points the upsert's parameters at the fetched row, copies blobs segment by segment and executes;
// everything goes into one destination transaction and one commit.
//
//   bench_baseline [--blob-as-text] SOURCE DESTINATION [USER PASSWORD]
//
// With --blob-as-text a text blob of up to 32,765 bytes is read whole from the source and sent
// inside the upsert's parameter as a VARCHAR of the blob's character set, so that a row costs the
// destination one request; longer blobs are copied segment by segment as without the option.
//
// DESTINATION may name a server ("localhost/3051:/path/x.fdb"). Prints the rows copied per table;
// on a failure prints the server's text and exits with 1.
#include <ibase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

ISC_STATUS_ARRAY status;
bool blobComeTesto = false;
const int kTestoMassimo = 32765;

void Controlla(ISC_STATUS esito, const char* dove) {
  if (!esito) return;
  std::fprintf(stderr, "%s:\n", dove);
  const ISC_STATUS* p = status;
  char riga[1024];
  while (fb_interpret(riga, sizeof riga, &p)) std::fprintf(stderr, "%s\n", riga);
  std::exit(1);
}

XSQLDA* NuovoXSQLDA(int n) {
  auto* da = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(n)));
  da->version = SQLDA_VERSION1;
  da->sqln = static_cast<ISC_SHORT>(n);
  return da;
}

std::vector<char> Dpb(const std::string& utente, const std::string& password) {
  std::vector<char> dpb = {isc_dpb_version1, isc_dpb_user_name, static_cast<char>(utente.size())};
  dpb.insert(dpb.end(), utente.begin(), utente.end());
  dpb.push_back(isc_dpb_password);
  dpb.push_back(static_cast<char>(password.size()));
  dpb.insert(dpb.end(), password.begin(), password.end());
  return dpb;
}

struct Copia {
  const char* tabella;
  const char* chiave;
  bool azzera;
  const char* origine;
};

const char* const kSelezione = " WHERE A.IDUTENTE=61 OR B.NAZIONE='USA'";

const Copia kCopie[] = {
    {"CLIENTI", "CODICE", false,
     "SELECT DISTINCT C.* FROM PS_ORDINI A INNER JOIN CLIENTI B ON B.CODICE=A.CODDEST"
     " INNER JOIN CLIENTI C ON C.CODICE=B.INTESTATARIOFATTURA"},
    {"CLIENTI", "CODICE", false,
     "SELECT DISTINCT B.* FROM PS_ORDINI A INNER JOIN CLIENTI B ON B.CODICE=A.CODDEST"},
    {"PS_ORDINI", "IDSESSIONE", true,
     "SELECT A.* FROM PS_ORDINI A LEFT JOIN CLIENTI B ON B.CODICE=A.CODDEST"},
    {"PS_STOINSCAR", "IDINSERIMENTO", true,
     "SELECT C.* FROM PS_ORDINI A LEFT JOIN CLIENTI B ON B.CODICE=A.CODDEST"
     " INNER JOIN PS_STOINSCAR C ON C.IDSESSIONE=A.IDSESSIONE"},
    {"PS_STOSESSION", "ID", true,
     "SELECT C.* FROM PS_ORDINI A LEFT JOIN CLIENTI B ON B.CODICE=A.CODDEST"
     " INNER JOIN PS_STOSESSION C ON C.ID=A.IDSESSIONE"},
};

long CopiaTabella(isc_db_handle* dbO, isc_tr_handle* trO, isc_db_handle* dbD, isc_tr_handle* trD,
                  const Copia& copia) {
  if (copia.azzera) {
    std::string cancella = std::string("DELETE FROM ") + copia.tabella;
    Controlla(isc_dsql_execute_immediate(status, dbD, trD, 0, cancella.c_str(), 3, nullptr),
              "delete");
  }
  isc_stmt_handle sel = 0;
  Controlla(isc_dsql_allocate_statement(status, dbO, &sel), "allocate");
  XSQLDA* out = NuovoXSQLDA(1);
  std::string testo = std::string(copia.origine) + kSelezione;
  Controlla(isc_dsql_prepare(status, trO, &sel, 0, testo.c_str(), 3, out), "prepare source");
  const int n = out->sqld;
  std::free(out);
  out = NuovoXSQLDA(n);
  Controlla(isc_dsql_describe(status, &sel, SQLDA_VERSION1, out), "describe");

  std::vector<std::vector<char>> dati(static_cast<size_t>(n));
  std::vector<short> nulli(static_cast<size_t>(n));
  std::string upsert = std::string("UPDATE OR INSERT INTO ") + copia.tabella + "(";
  std::string valori;
  for (int i = 0; i < n; ++i) {
    XSQLVAR& v = out->sqlvar[i];
    size_t bytes = static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
    dati[static_cast<size_t>(i)].resize(bytes);
    v.sqldata = dati[static_cast<size_t>(i)].data();
    v.sqlind = &nulli[static_cast<size_t>(i)];
    upsert += (i ? "," : "") + std::string(v.sqlname, static_cast<size_t>(v.sqlname_length));
    valori += i ? ",?" : "?";
  }
  upsert += ") VALUES(" + valori + ") MATCHING(" + copia.chiave + ")";

  isc_stmt_handle ins = 0;
  Controlla(isc_dsql_allocate_statement(status, dbD, &ins), "allocate");
  Controlla(isc_dsql_prepare(status, trD, &ins, 0, upsert.c_str(), 3, nullptr), "prepare upsert");
  XSQLDA* in = NuovoXSQLDA(n);
  Controlla(isc_dsql_describe_bind(status, &ins, SQLDA_VERSION1, in), "describe bind");
  // The parameters point at the fetched row; a blob parameter gets the id of its copy.
  std::vector<ISC_QUAD> copie(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    XSQLVAR& p = in->sqlvar[i];
    const XSQLVAR& v = out->sqlvar[i];
    p.sqltype = static_cast<ISC_SHORT>(v.sqltype | 1);
    p.sqlscale = v.sqlscale;
    p.sqlsubtype = v.sqlsubtype;
    p.sqllen = v.sqllen;
    p.sqlind = v.sqlind;
    p.sqldata = (v.sqltype & ~1) == SQL_BLOB
                    ? reinterpret_cast<char*>(&copie[static_cast<size_t>(i)])
                    : v.sqldata;
  }

  std::vector<char> segmento(65535);
  // The text of each blob column, when it travels as one: length prefix, text, one byte more to
  // tell a blob that is too long.
  std::vector<std::vector<char>> testi(static_cast<size_t>(n));
  // Only character sets in which every byte is a valid character (NONE, OCTETS, ISO8859_1,
  // WIN1252) can carry a blob's bytes unchanged as text.
  for (int i = 0; i < n; ++i) {
    const XSQLVAR& v = out->sqlvar[i];
    const short set = v.sqlscale;
    if ((v.sqltype & ~1) == SQL_BLOB && v.sqlsubtype == isc_blob_text &&
        (set == 0 || set == 1 || set == 21 || set == 53))
      testi[static_cast<size_t>(i)].resize(2 + kTestoMassimo + 1);
  }
  Controlla(isc_dsql_execute(status, trO, &sel, SQLDA_VERSION1, nullptr), "open");
  long righe = 0;
  for (;;) {
    ISC_STATUS r = isc_dsql_fetch(status, &sel, SQLDA_VERSION1, out);
    if (r == 100) break;
    Controlla(r, "fetch");
    for (int i = 0; i < n; ++i) {
      const XSQLVAR& v = out->sqlvar[i];
      if ((v.sqltype & ~1) != SQL_BLOB || ((v.sqltype & 1) && *v.sqlind == -1)) continue;
      isc_blob_handle da = 0;
      isc_blob_handle a = 0;
      Controlla(
          isc_open_blob2(status, dbO, trO, &da, reinterpret_cast<ISC_QUAD*>(v.sqldata), 0, nullptr),
          "open blob");
      XSQLVAR& p = in->sqlvar[i];
      std::vector<char>& valore = testi[static_cast<size_t>(i)];
      if (blobComeTesto && !valore.empty()) {
        size_t letti = 0;
        while (letti <= kTestoMassimo) {
          unsigned short pezzo = 0;
          const auto chiesti = static_cast<unsigned short>(kTestoMassimo + 1 - letti);
          ISC_STATUS s = isc_get_segment(status, &da, &pezzo, chiesti, valore.data() + 2 + letti);
          if (s == isc_segstr_eof) break;
          if (s != isc_segment) Controlla(s, "get segment");
          letti += pezzo;
        }
        if (letti <= kTestoMassimo) {
          Controlla(isc_close_blob(status, &da), "close blob");
          const auto lunghezza = static_cast<unsigned short>(letti);
          std::memcpy(valore.data(), &lunghezza, 2);
          p.sqltype = SQL_VARYING | 1;
          p.sqlsubtype = v.sqlscale;  // a text blob's character set
          p.sqlscale = 0;
          p.sqllen = static_cast<ISC_SHORT>(letti > 0 ? letti : 1);
          p.sqldata = valore.data();
          continue;
        }
        // Too long for a text parameter: start again, segment by segment.
        Controlla(isc_close_blob(status, &da), "close blob");
        Controlla(isc_open_blob2(status, dbO, trO, &da, reinterpret_cast<ISC_QUAD*>(v.sqldata), 0,
                                 nullptr),
                  "open blob");
      }
      p.sqltype = static_cast<ISC_SHORT>(v.sqltype | 1);
      p.sqlsubtype = v.sqlsubtype;
      p.sqlscale = v.sqlscale;
      p.sqllen = v.sqllen;
      p.sqldata = reinterpret_cast<char*>(&copie[static_cast<size_t>(i)]);
      Controlla(isc_create_blob2(status, dbD, trD, &a, &copie[static_cast<size_t>(i)], 0, nullptr),
                "create blob");
      for (;;) {
        unsigned short letti = 0;
        ISC_STATUS s = isc_get_segment(status, &da, &letti, 65535, segmento.data());
        if (s == isc_segstr_eof) break;
        if (s != isc_segment) Controlla(s, "get segment");
        Controlla(isc_put_segment(status, &a, letti, segmento.data()), "put segment");
      }
      Controlla(isc_close_blob(status, &da), "close blob");
      Controlla(isc_close_blob(status, &a), "close blob");
    }
    Controlla(isc_dsql_execute(status, trD, &ins, SQLDA_VERSION1, in), "upsert");
    ++righe;
  }
  Controlla(isc_dsql_free_statement(status, &sel, DSQL_drop), "free");
  Controlla(isc_dsql_free_statement(status, &ins, DSQL_drop), "free");
  std::free(in);
  std::free(out);
  return righe;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--blob-as-text") == 0) {
    blobComeTesto = true;
    --argc;
    ++argv;
  }
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: %s [--blob-as-text] SOURCE DESTINATION [USER PASSWORD]\n",
                 argv[0]);
    return 2;
  }
  std::vector<char> dpb = Dpb(argc == 5 ? argv[3] : "SYSDBA", argc == 5 ? argv[4] : "tawnyquip");
  const auto lunghezza = static_cast<short>(dpb.size());
  isc_db_handle dbO = 0;
  isc_db_handle dbD = 0;
  Controlla(isc_attach_database(status, 0, argv[1], &dbO, lunghezza, dpb.data()), "attach source");
  Controlla(isc_attach_database(status, 0, argv[2], &dbD, lunghezza, dpb.data()),
            "attach destination");
  // The program's transactions: read committed on the source, snapshot without waiting on the
  // destination.
  static char tpbO[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version};
  static char tpbD[] = {isc_tpb_version3, isc_tpb_concurrency, isc_tpb_nowait};
  isc_tr_handle trO = 0;
  isc_tr_handle trD = 0;
  Controlla(isc_start_transaction(status, &trO, 1, &dbO, sizeof tpbO, tpbO), "start");
  Controlla(isc_start_transaction(status, &trD, 1, &dbD, sizeof tpbD, tpbD), "start");
  for (const Copia& copia : kCopie)
    std::printf("%s %ld\n", copia.tabella, CopiaTabella(&dbO, &trO, &dbD, &trD, copia));
  Controlla(isc_commit_transaction(status, &trD), "commit");
  Controlla(isc_commit_transaction(status, &trO), "commit");
  Controlla(isc_detach_database(status, &dbD), "detach");
  Controlla(isc_detach_database(status, &dbO), "detach");
  return 0;
}
