#pragma once

// Many rows in one request: an EXECUTE BLOCK whose parameters carry the values of several rows
// and whose body runs one statement once per row, in row order: written out once per row, or,
// where that many statements would run out of table contexts (256 per statement: about 85
// upserts), through a procedure declared in the block, compiled once and costing none per call.
// Over a network the block costs one round trip where the rows one by one cost one each.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class TSQLDatabase;
class TSQLStatement;
class TSQLTransaction;
class TSQLVar;

// One value of the statement run per row: the name by which the statement refers to it (:NAME)
// and its declaration (a type, or TYPE OF COLUMN ...). Both are written into the block as given.
struct TParametroBlocco {
  std::string Nome;
  std::string Tipo;
};

// The text of a block that takes `righe` rows of `parametri`, then the number of rows to run,
// and runs `corpo` for each of the first rows: written once per row, each :Nome of `corpo` made
// that row's value (`inLinea`), or called per row as a procedure declared in the block.
std::string TestoBlocco(const std::string& corpo, const std::vector<TParametroBlocco>& parametri,
                        int righe, bool inLinea);

// Collects rows of values and runs them as blocks. The rows are filled in the parameters of one
// block for RigheMassime() rows, prepared at the first row; a shorter batch goes through the same
// block, its unused rows NULL, so that the server holds one block per table whatever the lengths
// of the batches. The statement runs in `transaction`.
class TBloccoRighe {
 public:
  TBloccoRighe(TSQLDatabase& database, TSQLTransaction& transaction, std::string corpo,
               std::vector<TParametroBlocco> parametri, int righeMassime);
  TBloccoRighe(const TBloccoRighe&) = delete;
  TBloccoRighe& operator=(const TBloccoRighe&) = delete;
  ~TBloccoRighe();

  int RigheMassime() const { return righeMassime_; }
  int Colonne() const { return static_cast<int>(parametri_.size()); }
  // Whether the prepared block writes the statement once per row (else it calls it per row).
  bool InLinea() const { return inLinea_; }
  // Rows collected and not yet sent.
  int Righe() const { return righe_; }
  // The bytes that the collected rows take in the request's message.
  size_t Byte() const { return byte_; }

  // Value `colonna` of the row being filled (row Righe()); valid until the next AggiungiRiga,
  // Esegui or Svuota.
  TSQLVar& Valore(int colonna);
  // The row being filled joins the collected ones. Raises when RigheMassime() are collected.
  void AggiungiRiga();
  // Sends the collected rows as one request and empties the batch. A refusal raises the
  // server's error: the block is then undone as a whole and the rows stay collected.
  void Esegui();
  void Svuota();
  // Gives the parameters of `statement`, one per column, the values of collected row `riga`
  // exactly as they are (for running that row alone). A blob id serves one execution: a row
  // that holds one cannot run again after a refused block.
  void CopiaRiga(int riga, TSQLStatement& statement);

 private:
  TSQLStatement& Forma();
  size_t ByteRiga(int riga);

  TSQLDatabase& database_;
  TSQLTransaction& transaction_;
  std::string corpo_;
  std::vector<TParametroBlocco> parametri_;
  int righeMassime_;
  int righe_ = 0;
  size_t byte_ = 0;
  int usate_ = 0;  // rows that may hold values since the last batch: cleared before a short one
  bool inLinea_ = false;
  std::unique_ptr<TSQLStatement> forma_;
};
