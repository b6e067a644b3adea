#pragma once

#include <memory>
#include <string>
#include <vector>

#include "taskbase/Task.h"
#include "transfer/TravasoDatiVornyUSA.h"

class TSQLTransaction;

// The task of type VORNYUSA: copies the selected customers, orders, order rows and order
// sessions from Origine to Destinazione in five steps inside one destination transaction,
// committed only when all five succeed. The two customer steps share one transfer.
class TTaskVornyUSA : public TTask {
 public:
  TTaskVornyUSA();
  ~TTaskVornyUSA() override;

  // False: "Impossibile eseguire il travaso <step>:" CR and the failing step's message; a
  // connection lost (the server's to the source included) or a right refused during a step, and
  // any refusal of the commit, fail the task the same way, with the server's text. Any other error
  // escaping a step rolls the destination back and goes on up. The source queries read one
  // read-only snapshot of the source, the one in which ApriConnessioni read its layouts, ended on
  // return.
  bool Esecuzione(std::string& messaggio) override;
  // The rights of each archive's login on the tables of the steps (SELECT in the source; SELECT,
  // INSERT and UPDATE of the upsert and DELETE of the emptied tables in the destination, which the
  // server's copy needs as well), then prepares the transfers in turn (tables, layouts, source
  // queries, destination statements) without emptying or writing anything. False: the missing
  // rights with their grants, or the note of the first step that would fail.
  bool Verifica(std::string& messaggio) override;
  // A matching key of the destination without an index that begins with it: every row written
  // reads the whole table. One line per table, with the statement that makes the index.
  std::vector<std::string> Avvisi() const override;
  // "copia nel server", or "riga per riga: " and the first reason why the server cannot copy.
  std::string Via() override;

  // Whether a run whose archives sit behind one server lets that server copy the rows (the
  // default); off, every row passes through the program.
  bool CopiaNelServer() const { return copiaNelServer_; }
  void SetCopiaNelServer(bool value) { copiaNelServer_ = value; }
  // Whether the last Esecuzione ended on the server's way: the rows copied inside the server, or a
  // failure there that the rows' way could not change.
  bool CopiatoNelServer() const { return nelServer_; }

 protected:
  // Runs one transfer of the class given, whose source rows make the steps of `titoli` in turn.
  // False: the line naming the failed step by its caption in front of the transfer's message.
  virtual bool EseguiTravaso(TTravasoDatiVornyUSAClass classe,
                             const std::vector<std::string>& titoli, std::string& messaggio);

 protected:
  std::vector<std::string> TabelleUsate() const override;
  // The source is read in the task's snapshot, the destination in its write transaction.
  TSQLTransaction& TransazioneDescrizione(TSlot slot) override;

 private:
  // Gives the steps the layouts read with the archives' identities and empties the order tables.
  void PreparaComune();
  // PreparaComune, the steps and the commit, on the way that nelServer_ says; false with the
  // note of a failed step, its work undone. Errors go on up, the work undone.
  bool EseguiPassi(std::string& messaggio);
  // The steps inside the destination's server where every one can be copied there, else every row
  // through the program; the server's copy failing, again through the program where that can end
  // otherwise, in a destination transaction started anew. As EseguiPassi.
  bool EseguiSullaVia(std::string& messaggio);
  // The program's own connection to the source answers a question, in the task's snapshot.
  bool OrigineRisponde();
  // Every step can be copied inside the destination's server, with the layouts of `comune`;
  // false with the first step's reason why not.
  bool TuttiNelServer(const TComuneTravasi& comune, std::string& motivo);

  std::unique_ptr<TSQLTransaction> istantaneaOrigine_;  // from ApriConnessioni to Esecuzione's end
  std::unique_ptr<TComuneTravasi> comune_;              // the same
  std::string titoloCorrente_;  // the caption of the step under way, for a failure's note
  bool copiaNelServer_ = true;
  bool nelServer_ = false;  // the way of the steps under way
};
