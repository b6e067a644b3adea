// The copy inside the destination's server: where both archives sit behind one server, the rows
// need not cross the network twice. The destination's server reads the source through a
// connection of its own (EXECUTE STATEMENT ... ON EXTERNAL) in a transaction that it starts with
// the parameters of the destination's, at the first such request of that transaction and shared
// by every later one: a concurrency transaction on the destination gives all the steps one
// moment of the source.

#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLVar.h"
#include "opener/Credenziali.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"
#include "transfer/TravasoDatiVornyUSA.h"

namespace {

// Blobs up to this length come from the source as text in their row.
constexpr int kTestoBlobNelServer = 8000;

// A value that the server moves from the source's column to the destination's as it is, with the
// conversions of the rows' way. A time with its zone is left to the rows' way, which checks that
// each one survives its trip as text; a type the layouts do not know is left alone.
bool TipoCopiabile(TTipoCampoSQL tipo) {
  return tipo != tcSconosciuto && tipo != tcTimeTZ && tipo != tcTimeStampTZ;
}

// Sixteen hexadecimal digits that no other request of this or another run is likely to carry.
std::string Gettone() {
  std::random_device caso;
  const uint64_t valore = (static_cast<uint64_t>(caso()) << 32) ^ caso();
  char testo[17];
  std::snprintf(testo, sizeof testo, "%016llx", static_cast<unsigned long long>(valore));
  return testo;
}

bool DichiaratiUguali(const TCampoSQL& a, const TCampoSQL& b) {
  return a.Tipo == b.Tipo && a.SottoTipo == b.SottoTipo && a.Lunghezza == b.Lunghezza &&
         a.Dimensione == b.Dimensione && a.Precisione == b.Precisione && a.Scala == b.Scala &&
         a.CharacterSet == b.CharacterSet;
}

}  // namespace

std::string TTravasoDatiVornyUSA::OrigineNelServer(TConnessione& origine,
                                                   TConnessione& destinazione) {
  const std::string& nomeOrigine = origine.Database().DatabaseName();
  const std::string& nomeDestinazione = destinazione.Database().DatabaseName();
  const std::string server = ServerDelNome(nomeOrigine);
  // Only names of the form server:file, which the opener builds; a name in another form may
  // reach one server by two ways that the program cannot compare.
  if (server.empty() || server != ServerDelNome(nomeDestinazione) ||
      nomeOrigine.find("://") != std::string::npos || nomeOrigine.rfind("\\\\", 0) == 0)
    return "";
  if (!origine.Database().Remota() || !destinazione.Database().Remota()) return "";
  return nomeOrigine.substr(server.size() + 1);
}

bool TTravasoDatiVornyUSA::CopiabileNelServer() {
  std::string motivo;
  return CopiabileNelServer(motivo);
}

bool TTravasoDatiVornyUSA::CopiabileNelServer(std::string& motivo) {
  motivo.clear();
  if (!comune_) {
    motivo = "strutture degli archivi non lette";
    return false;
  }
  if (OrigineNelServer(origine_, destinazione_).empty()) {
    const std::string server[2] = {ServerDelNome(origine_.Database().DatabaseName()),
                                   ServerDelNome(destinazione_.Database().DatabaseName())};
    if (server[0].empty() || server[1].empty() || !origine_.Database().Remota() ||
        !destinazione_.Database().Remota())
      motivo = "gli archivi non sono aperti attraverso un server";
    else if (server[0] != server[1])
      motivo = "origine sul server " + server[0] + ", destinazione sul server " + server[1];
    else
      motivo = "il nome dell'origine non è nella forma server:file";
    return false;
  }
  const int dialetto[2] = {origine_.Database().SQLDialect(), destinazione_.Database().SQLDialect()};
  if (dialetto[0] != dialetto[1]) {
    motivo = "dialetto SQL " + std::to_string(dialetto[0]) + " in origine, " +
             std::to_string(dialetto[1]) + " in destinazione";
    return false;
  }
  // The server's connection to the source talks in the destination attachment's character set.
  std::string insieme[2];
  if (ValoreParametro(origine_.Database().Params(), "lc_ctype", insieme[0]) !=
          ValoreParametro(destinazione_.Database().Params(), "lc_ctype", insieme[1]) ||
      insieme[0] != insieme[1]) {
    motivo = "set di caratteri della connessione " + (insieme[0].empty() ? "NONE" : insieme[0]) +
             " in origine, " + (insieme[1].empty() ? "NONE" : insieme[1]) + " in destinazione";
    return false;
  }
  const TCampoSQLList* origine = TracciatoComune(origine_);
  const TCampoSQLList* destinazione = TracciatoComune(destinazione_);
  if (!origine || !destinazione || origine->Count() == 0) {
    motivo = "tabella " + Tabella() + " assente";
    return false;
  }
  for (int i = 0; i < origine->Count(); ++i) {
    const TCampoSQL& campo = origine->Campo(i);
    const int indice = destinazione->IndiceCampo(campo.Nome);
    const std::string nome = "il campo \"" + campo.Nome + "\" di " + Tabella();
    if (indice < 0)
      motivo = nome + " manca in destinazione";
    else if (campo.Tipo == tcTimeTZ || campo.Tipo == tcTimeStampTZ)
      motivo = nome + " ha un fuso orario";
    else if (!TipoCopiabile(campo.Tipo))
      motivo = nome + " è di un tipo che il programma non conosce";
    else if (!DichiaratiUguali(campo, destinazione->Campo(indice)))
      motivo = nome + " è dichiarato diversamente in origine e in destinazione";
    if (!motivo.empty()) return false;
  }
  return true;
}

bool TTravasoDatiVornyUSA::EseguiNelServer(std::string& messaggio) {
  if (!Controlla(messaggio)) return false;
  const std::string sorgente = OrigineNelServer(origine_, destinazione_);
  if (sorgente.empty()) throw std::logic_error("EseguiNelServer without one server");
  const bool quotati = destinazione_.Database().SQLDialect() >= 3;
  auto nome = [&](int i) {
    const std::string& n = campi_->Campo(i).Nome;
    return quotati ? TraApici(n, '"') : n;
  };
  const int n = campi_->Count();
  const int passi = PassiOrigine();

  // The source query gives the layout's columns by name, then the step of the row, then for each
  // blob column its content as text where it is short: the server's connection hands over a text
  // in the row, a blob through requests of its own (a copy of the benchmark's orders took a
  // quarter less time). A blob column then carries only the long ones.
  TStrings originale;
  ComponiSQLOrigine(originale);
  const std::string corto = "OCTET_LENGTH(Q.%) <= " + std::to_string(kTestoBlobNelServer);
  auto perColonna = [](std::string modello, const std::string& colonna) {
    for (size_t p = modello.find('%'); p != std::string::npos; p = modello.find('%', p))
      modello.replace(p, 1, colonna), p += colonna.size();
    return modello;
  };
  std::vector<int> blob;
  std::string query = "SELECT ";
  for (int i = 0; i < n; ++i) {
    query += i ? ", " : "";
    if (campi_->Campo(i).Tipo != tcBlob) {
      query += "Q." + nome(i);
      continue;
    }
    blob.push_back(i);
    query += perColonna("CASE WHEN " + corto + " THEN NULL ELSE Q.% END", nome(i));
  }
  if (passi > 1) query += ", Q.VSQL_PASSO";
  for (const int i : blob)
    query += perColonna(", CASE WHEN " + corto + " THEN CAST(Q.% AS VARCHAR(" +
                            std::to_string(kTestoBlobNelServer) + ") CHARACTER SET OCTETS) END",
                        nome(i));
  query += " FROM (\r\n" + originale.Text() + ") Q";

  TStrings scrittura;
  ComponiSQLDestinazione(scrittura);

  // The mark by which the watchdog finds this request's work in the server's monitoring tables:
  // a copy that lasts longer than the response limit is not cut while its rows keep moving. The
  // login travels as parameters, as the text is shown there too. The rows' variables are named as
  // the columns, so that the destination statement runs here as its text stands.
  const std::string marca = "vessentaria " + Gettone();
  std::string blocco =
      "EXECUTE BLOCK (VSQL_UTENTE VARCHAR(255) CHARACTER SET UTF8 = ?, VSQL_PAROLA VARCHAR(255) "
      "CHARACTER SET UTF8 = ?, VSQL_RUOLO VARCHAR(255) CHARACTER SET UTF8 = ?)\r\n"
      "RETURNS (VSQL_PASSO INTEGER, VSQL_RIGHE DOUBLE PRECISION)\r\nAS\r\n/* " +
      marca + " */\r\n";
  for (int i = 0; i < n; ++i)
    blocco += "DECLARE " + nome(i) + " TYPE OF COLUMN " + Tabella() + "." + nome(i) + ";\r\n";
  blocco += "DECLARE VSQL_PASSO_RIGA INTEGER = 1;\r\n";
  for (size_t b = 0; b < blob.size(); ++b)
    blocco += "DECLARE VSQL_TESTO_" + std::to_string(b) + " VARCHAR(" +
              std::to_string(kTestoBlobNelServer) + ") CHARACTER SET OCTETS;\r\n";
  for (int p = 1; p <= passi; ++p)
    blocco += "DECLARE VSQL_RIGHE_" + std::to_string(p) + " DOUBLE PRECISION = 0;\r\n";
  blocco += "BEGIN\r\nFOR EXECUTE STATEMENT " + TraApici(query) + "\r\nON EXTERNAL " +
            TraApici(sorgente) +
            " AS USER :VSQL_UTENTE PASSWORD :VSQL_PAROLA ROLE :VSQL_RUOLO WITH COMMON "
            "TRANSACTION\r\nINTO ";
  for (int i = 0; i < n; ++i) blocco += (i ? ", :" : ":") + nome(i);
  if (passi > 1) blocco += ", :VSQL_PASSO_RIGA";
  for (size_t b = 0; b < blob.size(); ++b) blocco += ", :VSQL_TESTO_" + std::to_string(b);
  blocco += "\r\nDO BEGIN\r\n";
  for (size_t b = 0; b < blob.size(); ++b)
    blocco += "IF (VSQL_TESTO_" + std::to_string(b) + " IS NOT NULL) THEN " + nome(blob[b]) +
              " = VSQL_TESTO_" + std::to_string(b) + ";\r\n";
  blocco += scrittura.Text() + ";\r\n";
  for (int p = 1; p <= passi; ++p) {
    const std::string contatore = "VSQL_RIGHE_" + std::to_string(p);
    blocco += (passi > 1 ? "IF (VSQL_PASSO_RIGA = " + std::to_string(p) + ") THEN " : "") +
              contatore + " = " + contatore + " + 1;\r\n";
  }
  blocco += "END\r\n";
  for (int p = 1; p <= passi; ++p)
    blocco += "VSQL_PASSO = " + std::to_string(p) + "; VSQL_RIGHE = VSQL_RIGHE_" +
              std::to_string(p) + "; SUSPEND;\r\n";
  blocco += "END";

  if (!PreparaDestinazione(messaggio)) return false;

  TSQLStatement statement;
  statement.SetDatabase(&destinazione_.Database());
  statement.SetTransaction(&destinazione_.TransazioneScrittura());
  statement.SetParamCheck(false);
  statement.SQL().Add(blocco);
  statement.Prepare();
  const TStrings& login = origine_.Database().Params();
  const char* const chiavi[] = {"user_name", "password", "sql_role_name"};
  for (int i = 0; i < 3; ++i) {
    std::string valore;
    if (ValoreParametro(login, chiavi[i], valore))
      statement.Params(i).SetAsString(valore);
    else
      statement.Params(i).Clear();
  }
  {
    struct TFineLavoro {
      TSQLDatabase& database;
      ~TFineLavoro() { database.SetLavoroSorvegliato(""); }
    } fineLavoro{destinazione_.Database()};
    destinazione_.Database().SetLavoroSorvegliato(marca);
    // The whole copy runs before the first row of counts comes back.
    statement.Execute();
  }
  for (; !statement.Eof(); statement.Next()) {
    const int passo = statement.Fields(0).AsInteger();
    if (passo > 1 && cambioPasso_) cambioPasso_(passo);
    if (avanzamento_) avanzamento_->Righe(static_cast<int64_t>(statement.Fields(1).AsDouble()));
  }
  return true;
}
