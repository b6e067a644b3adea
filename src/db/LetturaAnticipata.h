#pragma once

// Private to the access layer: the rows of an open cursor fetched ahead on a thread of their own.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "db/SQLInternal.h"

// While it lives, a thread fetches the cursor's next rows into a ring of row buffers (at most
// `righe` rows and about `byte` bytes of values, at least two rows); Prossima takes them in order
// by pointing the statement's columns at the row's buffer, so that reading a column costs what it
// cost before. The thread's fetches go through the attachment's turn like every other call, so
// other statements on the same attachment (a long blob read while the rows run ahead) wait for
// the fetch in progress instead of sharing the attachment with it.
class TLetturaAnticipata {
 public:
  // `campi` is the statement's column area: it outlives this object, which gives the columns
  // their own buffers back when it ends.
  TLetturaAnticipata(TSQLDatabase& database, isc_stmt_handle& handle, XSQLDA& campi, int righe,
                     size_t byte);
  TLetturaAnticipata(const TLetturaAnticipata&) = delete;
  TLetturaAnticipata& operator=(const TLetturaAnticipata&) = delete;
  // Stops the thread and waits for its fetch in progress.
  ~TLetturaAnticipata();

  // Points the columns at the next row; false after the last one; raises the fetch's error at
  // the row where it happened.
  bool Prossima();

 private:
  void Corpo() noexcept;
  char* Riga(int indice) {
    return reinterpret_cast<char*>(righe_.data()) + static_cast<size_t>(indice) * byteRiga_;
  }
  // Points the variables of `area` at the buffers of row `riga`.
  void Punta(XSQLDA& area, char* riga) const;

  TSQLDatabase& database_;
  isc_stmt_handle& handle_;
  XSQLDA& campi_;
  PXSQLDA lettura_;                // the thread's own copy of the column area
  std::vector<size_t> posizioni_;  // where column i's value begins in a row; its NULL flag before
  size_t byteRiga_ = 0;
  int capienza_ = 0;
  int soglia_ = 0;  // rows ready that wake a waiting Prossima
  std::vector<uint64_t> righe_;
  std::vector<std::pair<char*, short*>> propri_;  // the columns' own buffers

  std::mutex monitor_;
  std::condition_variable sveglia_;
  // Under monitor_.
  int testa_ = 0;       // the next row for Prossima
  int pronte_ = 0;      // rows fetched and not yet taken
  bool inUso_ = false;  // the row before testa_ is the current one
  bool finite_ = false;
  bool ferma_ = false;
  bool lettoreAttende_ = false;
  bool scrittoreAttende_ = false;
  std::exception_ptr errore_;

  std::thread filo_;
};
