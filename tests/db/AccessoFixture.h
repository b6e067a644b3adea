#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "support/TestSupport.h"

// Runs `azione` and returns the text of the ESQLError it raised; fails the test when it raised
// nothing.
template <typename F>
std::string TestoErrore(F&& azione) {
  try {
    azione();
  } catch (const ESQLError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no ESQLError raised";
  return "<nessun errore>";
}

// A fresh embedded database per test, created with `Ddl()`, and a connected handle on it.
class AccessoTest : public ::testing::Test {
 protected:
  virtual std::string Ddl() const { return ""; }

  void SetUp() override {
    percorso_ = cartella_ / "prova.fdb";
    CreaDatabaseDiProva(percorso_, Ddl());
    db_ = ConnettiArchivio(percorso_);
  }

  // A statement on db_ with the given transaction and text.
  std::unique_ptr<TSQLStatement> Statement(TSQLTransaction& tr, const std::string& sql,
                                           bool paramCheck = true) {
    auto st = std::make_unique<TSQLStatement>();
    st->SetDatabase(db_.get());
    st->SetTransaction(&tr);
    st->SetParamCheck(paramCheck);
    st->SQL().Add(sql);
    return st;
  }

  // Runs one statement in its own committed transaction.
  void Esegui(const std::string& sql) {
    auto tr = CreaTransazioneSnapshot(*db_);
    Statement(*tr, sql, false)->Execute();
    tr->Commit();
  }

  // A query as isql prints it, independent of the layer. The embedded engine holds the file
  // exclusively, so the handle is disconnected first (committing what is active).
  std::string Isql(const std::string& select) {
    db_->SetConnected(false);
    return QueryIsql(percorso_, select);
  }

  TempFolder cartella_;
  std::string percorso_;
  std::unique_ptr<TSQLDatabase> db_;
};
