#include "db/Blocco.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "db/SQLDatabase.h"
#include "db/SQLInternal.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"

namespace {

// The block's parameter that says how many of its rows run.
const char* const kRighe = "VSQL_RIGHE";

std::string NomeValore(int riga, int colonna) {
  // Appended piece by piece: g++ 12 at -O3 warns falsely of overlapping copies in
  // "P" + std::to_string(...).
  std::string nome(1, 'P');
  nome += std::to_string(riga);
  nome += '_';
  nome += std::to_string(colonna);
  return nome;
}

// `corpo` with each :Nome of a value replaced by row `riga`'s parameter of the block; other
// names stay as written.
std::string CorpoRiga(const std::string& corpo, const std::vector<TParametroBlocco>& parametri,
                      int riga) {
  return SostituisciParametri(corpo, [&](const std::string& nome) {
    for (size_t c = 0; c < parametri.size(); ++c)
      if (parametri[c].Nome == nome) return ':' + NomeValore(riga, static_cast<int>(c));
    return ':' + nome;
  });
}

}  // namespace

std::string TestoBlocco(const std::string& corpo, const std::vector<TParametroBlocco>& parametri,
                        int righe, bool inLinea) {
  const int colonne = static_cast<int>(parametri.size());
  std::string testo = "EXECUTE BLOCK (\r\n";
  for (int r = 0; r < righe; ++r)
    for (int c = 0; c < colonne; ++c) {
      testo += NomeValore(r, c) + " " + parametri[static_cast<size_t>(c)].Tipo + " = ?,\r\n";
    }
  testo += kRighe;
  testo += " INTEGER = ?\r\n";
  testo += ")\r\nAS\r\n";
  if (!inLinea) {
    testo += "DECLARE PROCEDURE VSQL_RIGA (\r\n";
    for (int c = 0; c < colonne; ++c) {
      const TParametroBlocco& p = parametri[static_cast<size_t>(c)];
      testo += p.Nome + " " + p.Tipo + (c + 1 < colonne ? ",\r\n" : "\r\n");
    }
    testo += ")\r\nAS\r\nBEGIN\r\n" + corpo + ";\r\nEND\r\n";
  }
  testo += "BEGIN\r\n";
  for (int r = 0; r < righe; ++r) {
    testo += "IF (";
    testo += kRighe;
    testo += " > " + std::to_string(r) + ") THEN ";
    if (inLinea) {
      testo += CorpoRiga(corpo, parametri, r) + ";\r\n";
      continue;
    }
    testo += "EXECUTE PROCEDURE VSQL_RIGA(";
    for (int c = 0; c < colonne; ++c) testo += (c > 0 ? ", :" : ":") + NomeValore(r, c);
    testo += ");\r\n";
  }
  testo += "END";
  return testo;
}

TBloccoRighe::TBloccoRighe(TSQLDatabase& database, TSQLTransaction& transaction, std::string corpo,
                           std::vector<TParametroBlocco> parametri, int righeMassime)
    : database_(database),
      transaction_(transaction),
      corpo_(std::move(corpo)),
      parametri_(std::move(parametri)),
      righeMassime_(righeMassime) {
  if (righeMassime_ < 1 || parametri_.empty()) throw std::logic_error("TBloccoRighe: no rows");
}

TBloccoRighe::~TBloccoRighe() = default;

TSQLStatement& TBloccoRighe::Forma() {
  if (forma_) return *forma_;
  auto prepara = [&](bool inLinea) {
    auto nuova = std::make_unique<TSQLStatement>();
    nuova->SetDatabase(&database_);
    nuova->SetTransaction(&transaction_);
    // The block's own :names are variables of the block, not parameters of the client.
    nuova->SetParamCheck(false);
    nuova->SQL().Add(TestoBlocco(corpo_, parametri_, righeMassime_, inLinea));
    nuova->Prepare();
    forma_ = std::move(nuova);
    inLinea_ = inLinea;
  };
  // The statement written once per row runs faster than a call per row, while the rows' table
  // contexts fit in one statement; beyond that the procedure's form takes any number of rows.
  try {
    prepara(true);
  } catch (const ESQLError&) {
    prepara(false);
  }
  return *forma_;
}

TSQLVar& TBloccoRighe::Valore(int colonna) {
  if (righe_ >= righeMassime_) throw std::logic_error("TBloccoRighe: batch full");
  usate_ = std::max(usate_, righe_ + 1);
  return Forma().Params(righe_ * Colonne() + colonna);
}

size_t TBloccoRighe::ByteRiga(int riga) {
  TSQLStatement& piena = Forma();
  size_t byte = 0;
  for (int c = 0; c < Colonne(); ++c) byte += piena.Params(riga * Colonne() + c).ByteMessaggio();
  return byte;
}

void TBloccoRighe::AggiungiRiga() {
  if (righe_ >= righeMassime_) throw std::logic_error("TBloccoRighe: batch full");
  byte_ += ByteRiga(righe_);
  ++righe_;
}

void TBloccoRighe::CopiaRiga(int riga, TSQLStatement& statement) {
  if (riga < 0 || riga >= righe_) throw std::logic_error("TBloccoRighe: no such row");
  TSQLStatement& piena = Forma();
  if (statement.ParamCount() != Colonne())
    throw std::logic_error("TBloccoRighe: the statement's parameters differ");
  for (int c = 0; c < Colonne(); ++c)
    statement.Params(c).CopiaValore(piena.Params(riga * Colonne() + c));
}

void TBloccoRighe::Esegui() {
  if (righe_ == 0) return;
  TSQLStatement& forma = Forma();
  if (!forma.Prepared())
    ErroreSQL(ceStatementChiuso, "Cannot perform operation -- statement is not open");
  // Rows left from a longer batch are not run; as NULLs they add next to nothing to the message.
  for (int i = righe_ * Colonne(); i < usate_ * Colonne(); ++i) forma.Params(i).Clear();
  usate_ = righe_;
  forma.Params(righeMassime_ * Colonne()).SetAsInteger(righe_);
  forma.ExecuteOnce();
  Svuota();
}

void TBloccoRighe::Svuota() {
  righe_ = 0;
  byte_ = 0;
}
