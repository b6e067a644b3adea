#include "db/Blob.h"

#include <algorithm>

namespace {

constexpr unsigned short kSegmentoMassimo = 65535;

struct BlobAperto {
  explicit BlobAperto(TSQLDatabase* db) : database(db) {}
  BlobAperto(const BlobAperto&) = delete;
  BlobAperto& operator=(const BlobAperto&) = delete;
  TSQLDatabase* database;
  isc_blob_handle handle = 0;
  bool scritto = false;  // a blob being written is cancelled, not closed, when abandoned
  ~BlobAperto() {
    if (!handle) return;
    ISC_STATUS_ARRAY status{};
    Sorvegliata(database, [&] {
      return scritto ? isc_cancel_blob(status, &handle) : isc_close_blob(status, &handle);
    });
  }
  void Chiudi() {
    ISC_STATUS_ARRAY status{};
    if (Sorvegliata(database, [&] { return isc_close_blob(status, &handle); })) {
      ErroreServer(status);
    }
    handle = 0;
  }
};

// Opens blob `id` for reading into `blob`; a server error is raised.
void ApriBlob(TSQLDatabase* db, isc_tr_handle* tr, const ISC_QUAD& id, BlobAperto& blob) {
  ISC_STATUS_ARRAY status{};
  ISC_QUAD quad = id;
  if (Sorvegliata(db, [&] {
        return isc_open_blob2(status, db->HandlePtr(), tr, &blob.handle, &quad, 0, nullptr);
      }))
    ErroreServer(status);
}

}  // namespace

bool BlobComeTestoAmmesso(short sottotipo, short set) {
  if (sottotipo == isc_blob_untyped) return true;
  // Other subtypes would need a filter from text, which the server does not have. A text
  // parameter is checked against its character set, which a blob's segments never were: only
  // the sets in which every byte value is a valid character can take this path (NONE, OCTETS,
  // ISO8859_1, WIN1252).
  if (sottotipo != isc_blob_text) return false;
  return set == 0 || set == 1 || set == 21 || set == 53;
}

void LeggiBlob(TSQLDatabase* db, isc_tr_handle* tr, const ISC_QUAD& id, std::string& out) {
  ISC_STATUS_ARRAY status{};
  BlobAperto blob(db);
  ApriBlob(db, tr, id, blob);
  const char richiesta[] = {isc_info_blob_total_length};
  char risposta[32] = {};
  if (Sorvegliata(db,
                  [&] {
                    return isc_blob_info(status, &blob.handle, sizeof richiesta, richiesta,
                                         sizeof risposta, risposta);
                  }) == 0 &&
      risposta[0] == isc_info_blob_total_length) {
    short len = static_cast<short>(isc_vax_integer(risposta + 1, 2));
    out.reserve(out.size() + static_cast<size_t>(isc_vax_integer(risposta + 3, len)));
  }
  char segmento[kSegmentoMassimo];
  for (;;) {
    unsigned short letti = 0;
    ISC_STATUS r = Sorvegliata(db, [&] {
      return isc_get_segment(status, &blob.handle, &letti, kSegmentoMassimo, segmento);
    });
    if (r == isc_segstr_eof) break;
    if (r != 0 && r != isc_segment) ErroreServer(status);
    out.append(segmento, letti);
  }
  blob.Chiudi();
}

bool LeggiBlobCorto(TSQLDatabase* db, isc_tr_handle* tr, const ISC_QUAD& id, size_t massimo,
                    char* out, size_t& letti) {
  ISC_STATUS_ARRAY status{};
  BlobAperto blob(db);
  ApriBlob(db, tr, id, blob);
  letti = 0;
  // One byte more than `massimo` tells a blob that is too long from one that fits exactly.
  while (letti <= massimo) {
    unsigned short pezzo = 0;
    const auto richiesti =
        static_cast<unsigned short>(std::min<size_t>(massimo + 1 - letti, 65535));
    ISC_STATUS r = Sorvegliata(
        db, [&] { return isc_get_segment(status, &blob.handle, &pezzo, richiesti, out + letti); });
    if (r == isc_segstr_eof) break;
    if (r != 0 && r != isc_segment) ErroreServer(status);
    letti += pezzo;
  }
  blob.Chiudi();
  return letti <= massimo;
}

ISC_QUAD ScriviBlob(TSQLDatabase* db, isc_tr_handle* tr, const char* data, size_t size) {
  ISC_STATUS_ARRAY status{};
  BlobAperto blob(db);
  blob.scritto = true;
  ISC_QUAD id{};
  if (Sorvegliata(db, [&] {
        return isc_create_blob2(status, db->HandlePtr(), tr, &blob.handle, &id, 0, nullptr);
      }))
    ErroreServer(status);
  for (size_t scritti = 0; scritti < size;) {
    auto pezzo = static_cast<unsigned short>(std::min<size_t>(size - scritti, kSegmentoMassimo));
    if (Sorvegliata(db,
                    [&] { return isc_put_segment(status, &blob.handle, pezzo, data + scritti); }))
      ErroreServer(status);
    scritti += pezzo;
  }
  blob.Chiudi();
  return id;
}

ISC_QUAD CopiaBlob(TSQLDatabase* dbDa, isc_tr_handle* trDa, const ISC_QUAD& id, TSQLDatabase* dbA,
                   isc_tr_handle* trA, std::vector<char>& segmento) {
  if (segmento.size() < kSegmentoMassimo) segmento.resize(kSegmentoMassimo);
  ISC_STATUS_ARRAY status{};
  BlobAperto da(dbDa);
  ApriBlob(dbDa, trDa, id, da);
  BlobAperto a(dbA);
  a.scritto = true;
  ISC_QUAD nuovo{};
  if (Sorvegliata(dbA, [&] {
        return isc_create_blob2(status, dbA->HandlePtr(), trA, &a.handle, &nuovo, 0, nullptr);
      }))
    ErroreServer(status);
  for (;;) {
    unsigned short letti = 0;
    ISC_STATUS r = Sorvegliata(dbDa, [&] {
      return isc_get_segment(status, &da.handle, &letti, kSegmentoMassimo, segmento.data());
    });
    if (r == isc_segstr_eof) break;
    if (r != 0 && r != isc_segment) ErroreServer(status);
    if (letti > 0 && Sorvegliata(dbA, [&] {
          return isc_put_segment(status, &a.handle, letti, segmento.data());
        }))
      ErroreServer(status);
  }
  da.Chiudi();
  a.Chiudi();
  return nuovo;
}
