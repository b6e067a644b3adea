#include "db/Blocco.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "db/SQLDatabase.h"
#include "db/SQLInternal.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Sorvegliante.h"

namespace {

std::string NomeValore(int riga, int colonna) {
  // Appended piece by piece: g++ 12 at -O3 warns falsely of overlapping copies in
  // "P" + std::to_string(...).
  std::string nome(1, 'P');
  nome += std::to_string(riga);
  nome += '_';
  nome += std::to_string(colonna);
  return nome;
}

}  // namespace

std::string TestoBlocco(const std::string& corpo, const std::vector<TParametroBlocco>& parametri,
                        int righe) {
  const int colonne = static_cast<int>(parametri.size());
  std::string testo = "EXECUTE BLOCK (\r\n";
  for (int r = 0; r < righe; ++r)
    for (int c = 0; c < colonne; ++c) {
      testo += NomeValore(r, c) + " " + parametri[static_cast<size_t>(c)].Tipo + " = ?";
      testo += r + 1 < righe || c + 1 < colonne ? ",\r\n" : "\r\n";
    }
  testo += ")\r\nAS\r\nDECLARE PROCEDURE VSQL_RIGA (\r\n";
  for (int c = 0; c < colonne; ++c) {
    const TParametroBlocco& p = parametri[static_cast<size_t>(c)];
    testo += p.Nome + " " + p.Tipo + (c + 1 < colonne ? ",\r\n" : "\r\n");
  }
  testo += ")\r\nAS\r\nBEGIN\r\n" + corpo + ";\r\nEND\r\nBEGIN\r\n";
  for (int r = 0; r < righe; ++r) {
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

TSQLStatement& TBloccoRighe::Forma(int righe) {
  std::unique_ptr<TSQLStatement>& forma = forme_[righe];
  if (!forma) {
    auto nuova = std::make_unique<TSQLStatement>();
    nuova->SetDatabase(&database_);
    nuova->SetTransaction(&transaction_);
    // The block's own :names are variables of the block, not parameters of the client.
    nuova->SetParamCheck(false);
    nuova->SQL().Add(TestoBlocco(corpo_, parametri_, righe));
    nuova->Prepare();
    forma = std::move(nuova);
  }
  return *forma;
}

TSQLVar& TBloccoRighe::Valore(int colonna) {
  if (righe_ >= righeMassime_) throw std::logic_error("TBloccoRighe: batch full");
  return Forma(righeMassime_).Params(righe_ * Colonne() + colonna);
}

size_t TBloccoRighe::ByteRiga(int riga) {
  TSQLStatement& piena = Forma(righeMassime_);
  size_t byte = 0;
  for (int c = 0; c < Colonne(); ++c) {
    const XSQLVAR& v =
        *piena.impl_->parametri[static_cast<size_t>(riga * Colonne() + c)]->impl_->var;
    byte += static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0) + 2;
  }
  return byte;
}

void TBloccoRighe::AggiungiRiga() {
  if (righe_ >= righeMassime_) throw std::logic_error("TBloccoRighe: batch full");
  byte_ += ByteRiga(righe_);
  ++righe_;
}

void TBloccoRighe::CopiaRiga(int riga, TSQLStatement& statement) {
  if (riga < 0 || riga >= righe_) throw std::logic_error("TBloccoRighe: no such row");
  TSQLStatement& piena = Forma(righeMassime_);
  if (!statement.Prepared()) statement.Prepare();
  if (static_cast<int>(statement.impl_->parametri.size()) != Colonne())
    throw std::logic_error("TBloccoRighe: the statement's parameters differ");
  for (int c = 0; c < Colonne(); ++c) {
    const TSQLVar& da = *piena.impl_->parametri[static_cast<size_t>(riga * Colonne() + c)];
    statement.impl_->parametri[static_cast<size_t>(c)]->CopiaValore(da);
  }
}

void TBloccoRighe::Esegui() {
  if (righe_ == 0) return;
  TSQLStatement& piena = Forma(righeMassime_);
  if (!piena.Prepared())
    ErroreSQL(ceStatementChiuso, "Cannot perform operation -- statement is not open");
  TSQLStatement& forma = Forma(righe_);
  if (&forma != &piena) {
    const size_t valori = static_cast<size_t>(righe_ * Colonne());
    for (size_t i = 0; i < valori; ++i)
      forma.impl_->parametri[i]->CopiaValore(*piena.impl_->parametri[i]);
  }
  if (!transaction_.InTransaction()) ErroreSQL(ceTransazioneNonAttiva, "Transaction is not active");
  // Executed directly: a failing block must not be prepared and run again, as a procedure call
  // of the statement class would be.
  ISC_STATUS_ARRAY status{};
  if (Sorvegliata(Attachment(&database_), [&] {
        return isc_dsql_execute(status, transaction_.HandlePtr(), &forma.impl_->handle,
                                SQLDA_VERSION1, forma.impl_->in.get());
      }))
    ErroreServer(status);
  Svuota();
}

void TBloccoRighe::Svuota() {
  righe_ = 0;
  byte_ = 0;
}
