#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/Schema.h"
#include "db/Strings.h"

class TAvanzamento;
class TBloccoRighe;
class TConnessione;
class TSQLStatement;
class TSQLTransaction;
class TSQLVar;
class TTravasoDatiVornyUSA;

// What the transfers of one run share, asked once per archive rather than once per transfer:
// the layouts of every table of the run in both archives, and the destination tables that the
// run has already emptied in its transaction.
struct TComuneTravasi {
  const TTracciati* origine = nullptr;
  const TTracciati* destinazione = nullptr;
  std::vector<std::string> azzerate;
};

// How the order task creates a transfer of a given class: owner is the caller, then the source
// pair and the destination pair. Every class offers one through TTravasoDatiVornyUSA::Crea<T>.
using TTravasoDatiVornyUSAClass =
    std::unique_ptr<TTravasoDatiVornyUSA> (*)(TConnessione& origine, TConnessione& destinazione);

// Copies the rows that a source query selects in Origine into the table Tabella of
// Destinazione: checks the table on both sides, compares the layouts, then writes every row with
// one prepared UPDATE OR INSERT in the write transaction of Destinazione. Where the destination
// is behind a network the rows travel many to a request: blocks that run the same UPDATE OR
// INSERT once per row in source order; a row
// with a blob too long to travel as text goes alone, and a block that the destination refuses
// is undone and its rows run again one by one, so that the refused row is named as it would be
// alone. It never commits or rolls back: the task that runs it ends the destination
// transaction. Neither pair is owned.
class TTravasoDatiVornyUSA {
 public:
  TTravasoDatiVornyUSA(TConnessione& origine, TConnessione& destinazione);
  TTravasoDatiVornyUSA(const TTravasoDatiVornyUSA&) = delete;
  TTravasoDatiVornyUSA& operator=(const TTravasoDatiVornyUSA&) = delete;
  virtual ~TTravasoDatiVornyUSA();

  // Creates a transfer of class T with its table set: the class reference of T.
  template <class T>
  static std::unique_ptr<TTravasoDatiVornyUSA> Crea(TConnessione& origine,
                                                    TConnessione& destinazione) {
    std::unique_ptr<TTravasoDatiVornyUSA> travaso = std::make_unique<T>(origine, destinazione);
    travaso->ImpostaTabella();
    return travaso;
  }

  // Prepara, then Travasa. True when every source row was written. Errors outside the per-row
  // execution (existence checks, layouts, source query, preparation, fetching, values) leave it
  // as exceptions.
  bool Esegui(std::string& messaggio);

  // The source as the destination's server names it, where both archives are reached through
  // that one server (the same server part of their names); empty otherwise.
  static std::string OrigineNelServer(TConnessione& origine, TConnessione& destinazione);
  // Whether the rows can be copied inside the destination's server and arrive exactly as one by
  // one: the source is on that server, both archives have one dialect and one character set of
  // the attachment, and every column of the source's layout is declared alike in the
  // destination (type, sub-type, length, scale, precision, character set) and is a type whose
  // value the server moves as it is. Needs the shared layouts.
  bool CopiabileNelServer();
  // The same; false says why in `motivo`, in the words of --check: the first condition unmet.
  bool CopiabileNelServer(std::string& motivo);
  // The same checks as Prepara, then the whole copy inside the destination's server: one request
  // that reads the source query through the server's own connection to the source, in the
  // destination's transaction, and writes each row with the UPDATE OR INSERT of the rows' way.
  // False with the message of a failed check, as Prepara gives it; a row refused, and anything
  // the server cannot do, are raised as the server's error, whose text names no row: the caller
  // then copies on the rows' way, which names it.
  bool EseguiNelServer(std::string& messaggio);

  // The table exists in the pair's database, asked inside the pair's read transaction.
  bool TabellaEsistente(TConnessione& connessione);
  // Every column of Campi, in source order, must exist in the destination with the same type
  // code, a character length at least as large and at least as many decimals. False names the
  // first column that fails.
  bool ConfrontaTracciati(std::string& messaggio);

  // Checks both tables, loads and compares the layouts, opens the source query, prepares the
  // destination statement and checks that the query returns the layout's columns in its order.
  // Can run again on the same object, reusing Campi and the statements.
  virtual bool Prepara(std::string& messaggio);
  // The checks of Prepara that need no statement: both tables, the layouts and the names.
  bool Controlla(std::string& messaggio);
  // The copy loop over the open source cursor, after PreparaDestinazione.
  virtual bool Travasa(std::string& messaggio);
  // Moves the current source row into the destination statement and executes it.
  virtual bool InserisciRecord(std::string& messaggio);

  // How rows are grouped: at most Righe rows and about Byte bytes of values per request; a
  // source blob of up to TestoBlob bytes is read with its row as text. Righe 1 writes every row
  // alone, as the program does on an embedded destination.
  struct TMisureBlocco {
    int Righe;
    size_t Byte;
    int TestoBlob;
  };

  // Told the rows copied so far; not owned, may be none.
  void SetAvanzamento(TAvanzamento* avanzamento) { avanzamento_ = avanzamento; }
  // Told the step (from 1) whose rows come next, where the source query serves more than one
  // (PassiOrigine), before the first row of each step after the first.
  void SetCambioPasso(std::function<void(int)> cambio) { cambioPasso_ = std::move(cambio); }
  // The transaction in which the source query runs; none: the read transaction of Origine. The
  // order task gives every transfer of a run the same snapshot of the source.
  void SetTransazioneOrigine(TSQLTransaction* transazione) { transazioneOrigine_ = transazione; }
  // Layouts and emptied tables shared with the other transfers of the run; not owned. None: the
  // transfer asks the system tables itself.
  void SetComune(const TComuneTravasi* comune) { comune_ = comune; }
  const TComuneTravasi* Comune() const { return comune_; }

  TConnessione& Origine() const { return origine_; }
  TConnessione& Destinazione() const { return destinazione_; }
  const std::string& Tabella() const { return tabella_; }
  // The column by which the destination statement finds an existing row (its MATCHING).
  virtual std::string Chiave() const = 0;
  // Absent until the first Prepara.
  TCampoSQLList* Campi() const { return campi_.get(); }
  TSQLStatement* SQLOrigine() const { return sqlOrigine_.get(); }
  TSQLStatement* SQLDestinazione() const { return sqlDestinazione_.get(); }

 protected:
  virtual void ImpostaTabella() = 0;
  void SetTabella(const std::string& tabella) { tabella_ = tabella; }
  // Appends the lines of the source query, which selects exactly the columns of Tabella in
  // their position order; where it serves more than one step, then the step of the row, from 1,
  // with the rows of each step after those of the one before.
  virtual void ComponiSQLOrigine(TStrings& righe) = 0;
  virtual int PassiOrigine() const { return 1; }
  // Appends the UPDATE OR INSERT over the columns of Campi, one named parameter per column;
  // a concrete transfer adds its MATCHING line.
  virtual void ComponiSQLDestinazione(TStrings& righe);
  // The grouping of rows; tests give small measures to reach the edges of a batch.
  virtual TMisureBlocco MisureBlocco() const;
  // What the destination table needs before its first row, on either way; false with the
  // message of the step.
  virtual bool PreparaDestinazione(std::string& messaggio);

 private:
  TConnessione& origine_;
  TConnessione& destinazione_;
  std::string tabella_;
  TAvanzamento* avanzamento_ = nullptr;
  std::function<void(int)> cambioPasso_;
  TSQLTransaction* transazioneOrigine_ = nullptr;
  const TComuneTravasi* comune_ = nullptr;
  std::unique_ptr<TCampoSQLList> campi_;
  std::unique_ptr<TSQLStatement> sqlOrigine_;
  std::unique_ptr<TSQLStatement> sqlDestinazione_;
  std::unique_ptr<TBloccoRighe> blocco_;  // absent when every row goes alone
  // Column i of the source row and parameter i of the destination statement, resolved once per
  // Prepara so that the copy loop does no lookup per row.
  std::vector<TSQLVar*> colonne_;
  std::vector<TSQLVar*> parametri_;
  // For column i: the source column that carries a short blob of column i as text, or null.
  std::vector<TSQLVar*> testi_;
  TSQLVar* colonnaPasso_ = nullptr;  // the step of the source row, where there are several
  size_t byteBlocco_ = 0;

  // Prepares the statement for single rows and resolves its parameters, once per Prepara.
  void PreparaInserimento();
  // Adds the current source row to the batch, or writes it alone.
  bool AccodaRecord(std::string& messaggio);
  // Writes the rows of the batch.
  bool InviaBlocco(std::string& messaggio);
  // Wraps the source query so that each blob column also comes as text when it is short; returns
  // the number of text columns added after the table's.
  int AvvolgiSQLOrigine(TStrings& righe, int testoBlob);
  // False, with the name of the first column out of place, when the source query's columns are
  // not those of Campi in the same order, followed by at most `colonneAttese` in all.
  bool ColonneAllineate(int colonneAttese, std::string& campo) const;
  // False, with the column's name, when a time zone value that `origine` selects would not come
  // back the same from its text, as at the hour repeated when daylight saving time ends.
  bool FusiOrariEsatti(const TStrings& origine, std::string& campo);
  // The layout of Tabella in the pair's archive from the shared layouts; null when it does not
  // exist there or when nothing is shared.
  const TCampoSQLList* TracciatoComune(const TConnessione& connessione) const;
};
