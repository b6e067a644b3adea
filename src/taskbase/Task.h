#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/Schema.h"
#include "taskbase/TaskInfo.h"

class TAvanzamento;
class TSQLDatabase;
class TSQLTransaction;
class TConnessione;

// Base of every task type: owns the connection pair on the source archive (Origine) and the one
// on the destination archive (Destinazione), each with its database handle. Release order, last
// created first: what Esecuzione created, Destinazione and its handle, Origine and its handle.
class TTask {
 public:
  TTask();
  TTask(const TTask&) = delete;
  TTask& operator=(const TTask&) = delete;
  virtual ~TTask();

  // Opens Origine, then Destinazione, reads the identity of each (with the layouts of
  // TabelleUsate, in the same request) and refuses two archives that are one database. False: the
  // message holds the composed failure text, a connection lost or a right refused while reading
  // an identity included; the pairs opened stay open and go with the task. Other errors of the
  // server are raised.
  virtual bool ApriConnessioni(const TVessentariaTaskInfo& riga, std::string& messaggio);
  // Runs the task; called once, after ApriConnessioni returned true.
  virtual bool Esecuzione(std::string& messaggio) = 0;
  // Instead of Esecuzione: every check that Esecuzione makes before its first row moves, with
  // the message it would give; writes nothing. A task type without such checks has none.
  virtual bool Verifica(std::string& messaggio) {
    messaggio.clear();
    return true;
  }
  // After ApriConnessioni: what a run would meet that slows it without stopping it, one line each
  // (a run tells them on standard error as warnings). None by default.
  virtual std::vector<std::string> Avvisi() const { return {}; }
  // After ApriConnessioni: the way the rows would travel and why; empty for a task type without
  // a choice.
  virtual std::string Via() { return ""; }

  // Told the steps and rows of Esecuzione; not owned, may be none.
  TAvanzamento* Avanzamento() const { return avanzamento_; }
  void SetAvanzamento(TAvanzamento* avanzamento) { avanzamento_ = avanzamento; }

  TConnessione* Origine() const { return origine_.get(); }
  TConnessione* Destinazione() const { return destinazione_.get(); }

 protected:
  enum class TSlot { Origine, Destinazione };
  // The tables whose layouts the task reads in both archives; none by default.
  virtual std::vector<std::string> TabelleUsate() const { return {}; }
  // The layouts of TabelleUsate found in each archive when ApriConnessioni checked it.
  const TTracciati& TracciatiOrigine() const { return tracciatiOrigine_; }
  const TTracciati& TracciatiDestinazione() const { return tracciatiDestinazione_; }
  bool ApriConnessione(const std::string& percorso, TSlot slot, std::string& messaggio);
  // Reads the identity and layouts of the archive in `slot`. False: the server's text of a
  // failure that the site causes (ESQLError::ErroreDelSito); other errors are raised.
  bool Descrivi(TSlot slot, const std::vector<std::string>& tabelle, TIdentitaDatabase& identita,
                std::string& messaggio);
  // The transaction in which ApriConnessioni reads an open archive's identity and layouts: the
  // pair's read transaction by default. A task that reads or writes the archive in a transaction
  // of its own can give that one, and save a start and an end on the archive.
  virtual TSQLTransaction& TransazioneDescrizione(TSlot slot);

 private:
  TAvanzamento* avanzamento_ = nullptr;
  // Each handle is declared before its pair, so the pair goes first.
  std::unique_ptr<TSQLDatabase> databaseOrigine_;
  std::unique_ptr<TConnessione> origine_;
  std::unique_ptr<TSQLDatabase> databaseDestinazione_;
  std::unique_ptr<TConnessione> destinazione_;
  TTracciati tracciatiOrigine_;
  TTracciati tracciatiDestinazione_;
};
