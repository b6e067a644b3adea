#include "db/LetturaAnticipata.h"

#include <algorithm>
#include <cstring>

TLetturaAnticipata::TLetturaAnticipata(TSQLDatabase& database, isc_stmt_handle& handle,
                                       XSQLDA& campi, int righe, size_t byte)
    : database_(database), handle_(handle), campi_(campi), lettura_(NuovoXSQLDA(campi.sqld)) {
  lettura_->sqld = campi.sqld;
  // Each value aligned to 8 bytes, after its 8-byte slot for the NULL flag.
  for (int i = 0; i < campi.sqld; ++i) {
    const XSQLVAR& v = campi.sqlvar[i];
    lettura_->sqlvar[i] = v;
    propri_.emplace_back(v.sqldata, v.sqlind);
    size_t valore = static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
    posizioni_.push_back(byteRiga_ + 8);
    byteRiga_ += 8 + (valore + 7) / 8 * 8;
  }
  byteRiga_ = std::max<size_t>(byteRiga_, 8);
  capienza_ = static_cast<int>(
      std::clamp<size_t>(byte / byteRiga_, 2, static_cast<size_t>(std::max(righe, 2))));
  soglia_ = std::max(1, std::min(capienza_ / 2, 32));
  righe_.resize(static_cast<size_t>(capienza_) * byteRiga_ / 8);
  filo_ = std::thread([this] { Corpo(); });
}

TLetturaAnticipata::~TLetturaAnticipata() {
  {
    std::lock_guard<std::mutex> dentro(monitor_);
    ferma_ = true;
  }
  sveglia_.notify_all();
  filo_.join();
  for (int i = 0; i < campi_.sqld; ++i) {
    campi_.sqlvar[i].sqldata = propri_[static_cast<size_t>(i)].first;
    campi_.sqlvar[i].sqlind = propri_[static_cast<size_t>(i)].second;
  }
}

void TLetturaAnticipata::Punta(XSQLDA& area, char* riga) const {
  for (int i = 0; i < area.sqld; ++i) {
    char* valore = riga + posizioni_[static_cast<size_t>(i)];
    area.sqlvar[i].sqldata = valore;
    area.sqlvar[i].sqlind = reinterpret_cast<short*>(valore - 8);
  }
}

void TLetturaAnticipata::Corpo() noexcept {
  for (;;) {
    int libera = 0;
    {
      std::unique_lock<std::mutex> dentro(monitor_);
      while (!ferma_ && pronte_ + (inUso_ ? 1 : 0) >= capienza_) {
        lettoreAttende_ = true;
        sveglia_.wait(dentro);
      }
      lettoreAttende_ = false;
      if (ferma_) return;
      libera = (testa_ + pronte_) % capienza_;
    }

    Punta(*lettura_, Riga(libera));
    ISC_STATUS_ARRAY status{};
    std::exception_ptr errore;
    ISC_STATUS r = 0;
    try {
      r = Sorvegliata(&database_, [&] {
        return isc_dsql_fetch(status, &handle_, SQLDA_VERSION1, lettura_.get());
      });
      if (r != 0 && r != 100) ErroreServer(status);
    } catch (...) {
      errore = std::current_exception();
      r = -1;
    }

    bool sveglia = false;
    {
      std::lock_guard<std::mutex> dentro(monitor_);
      if (r == 0) {
        ++pronte_;
      } else {
        finite_ = true;
        errore_ = errore;
      }
      sveglia = scrittoreAttende_ && (r != 0 || pronte_ >= soglia_);
    }
    if (sveglia) sveglia_.notify_all();
    if (r != 0) return;
  }
}

bool TLetturaAnticipata::Prossima() {
  int riga = -1;
  {
    std::unique_lock<std::mutex> dentro(monitor_);
    inUso_ = false;
    // The thread, once the ring was full, goes on when half of it is free: one wake for many rows.
    if (lettoreAttende_ && pronte_ <= capienza_ / 2) sveglia_.notify_all();
    while (pronte_ == 0 && !finite_) {
      scrittoreAttende_ = true;
      sveglia_.wait(dentro);
    }
    scrittoreAttende_ = false;
    if (pronte_ > 0) {
      riga = testa_;
      testa_ = (testa_ + 1) % capienza_;
      --pronte_;
      inUso_ = true;
    }
  }
  if (riga >= 0) {
    Punta(campi_, Riga(riga));
    return true;
  }
  if (errore_) std::rethrow_exception(errore_);
  return false;
}
