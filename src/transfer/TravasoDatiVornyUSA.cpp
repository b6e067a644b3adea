#include "transfer/TravasoDatiVornyUSA.h"

#include <algorithm>
#include <stdexcept>

#include "db/Blocco.h"
#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"

namespace {

// Rows per request. Over a network the round trips saved level off after a few dozen rows;
// embedded, preparing the block and its memory grow with its rows (the client's CPU time on the
// benchmark was lowest between 32 and 64 rows, and grew again from 100; 500 rows took 30 MiB).
constexpr int kRighePerBlocco = 64;
// What one request carries at most, about: the message of the block's values.
constexpr size_t kBytePerBlocco = 512 * 1024;
// Blobs up to this length travel with their row as text; the fetch of the source rows
// brings fewer rows at a time as this grows.
constexpr int kTestoBlob = 8000;
// The parameters that one statement takes at most.
constexpr int kParametriMassimi = 32767;
// How far the source rows are read ahead of the writing, on a thread of their own: enough rows
// that neither side waits for the other at each row, few enough bytes that memory stays flat
// whatever the rows look like.
constexpr int kRigheAnticipo = 512;
constexpr size_t kByteAnticipo = 1024 * 1024;
// A watcher is told the rows in steps, so that it costs the copy nothing it would notice.
constexpr int64_t kRighePerAvviso = 256;

const std::string kDiscrepanza =
    "Rilevata discrepanza tra il tracciato di origine e quello di destinazione (";

// A name as a quoted identifier of dialect 3.
std::string Quotato(const std::string& nome) {
  return TraApici(nome, '"');
}

}  // namespace

TTravasoDatiVornyUSA::TTravasoDatiVornyUSA(TConnessione& origine, TConnessione& destinazione)
    : origine_(origine), destinazione_(destinazione) {}

TTravasoDatiVornyUSA::~TTravasoDatiVornyUSA() = default;

const TCampoSQLList* TTravasoDatiVornyUSA::TracciatoComune(const TConnessione& connessione) const {
  if (!comune_) return nullptr;
  const TTracciati& tracciati =
      &connessione == &origine_ ? *comune_->origine : *comune_->destinazione;
  auto trovato = tracciati.find(tabella_);
  return trovato == tracciati.end() ? nullptr : &trovato->second;
}

bool TTravasoDatiVornyUSA::TabellaEsistente(TConnessione& connessione) {
  if (comune_) return TracciatoComune(connessione) != nullptr;
  return EsisteTabella(tabella_, connessione.Database(), connessione.TransazioneLettura());
}

bool TTravasoDatiVornyUSA::ConfrontaTracciati(std::string& messaggio) {
  messaggio.clear();
  TCampoSQLList caricato;
  const TCampoSQLList* comune = TracciatoComune(destinazione_);
  if (!comune) CaricaCampiSQL(tabella_, destinazione_.Database(), caricato);
  const TCampoSQLList& destinazione = comune ? *comune : caricato;
  for (int i = 0; i < campi_->Count(); ++i) {
    const TCampoSQL& campo = campi_->Campo(i);
    int indice = destinazione.IndiceCampo(campo.Nome);
    if (indice < 0) {
      messaggio = "Campo \"" + campo.Nome + "\" mancante in destinazione";
      return false;
    }
    const TCampoSQL& corrispondente = destinazione.Campo(indice);
    if (campo.Tipo != corrispondente.Tipo) {
      messaggio = "Campo \"" + campo.Nome + "\" di tipo differente in destinazione";
      return false;
    }
    if (campo.Dimensione > corrispondente.Dimensione) {
      messaggio = "Dimensione campo \"" + campo.Nome + "\" non compatibile con la destinazione";
      return false;
    }
    // Fewer decimals in the destination would have the server round every value.
    if (campo.Scala > corrispondente.Scala) {
      messaggio = "Decimali campo \"" + campo.Nome + "\" non compatibili con la destinazione";
      return false;
    }
  }
  return true;
}

void TTravasoDatiVornyUSA::ComponiSQLDestinazione(TStrings& righe) {
  // Quoted in dialect 3, a name is taken exactly as the system tables hold it: lower case, blanks
  // and reserved words included. For an upper-case name the statement means the same as bare.
  const bool quotati = destinazione_.Database().SQLDialect() >= 3;
  auto nome = [&](int i) {
    return quotati ? Quotato(campi_->Campo(i).Nome) : campi_->Campo(i).Nome;
  };
  righe.Add("UPDATE OR INSERT INTO " + tabella_ + "(");
  for (int i = 0; i < campi_->Count(); ++i) {
    if (i > 0) righe.Add(",");
    righe.Add(nome(i));
  }
  righe.Add(")");
  righe.Add("VALUES(");
  for (int i = 0; i < campi_->Count(); ++i) {
    if (i > 0) righe.Add(",");
    righe.Add(std::string(1, ':').append(nome(i)));
  }
  righe.Add(")");
}

bool TTravasoDatiVornyUSA::ColonneAllineate(int colonneAttese, std::string& campo) const {
  campo.clear();
  const int colonne = sqlOrigine_->FieldCount();
  for (int i = 0; i < campi_->Count(); ++i) {
    if (i >= colonne) {
      campo = campi_->Campo(i).Nome;
      return false;
    }
    if (sqlOrigine_->Fields(i).Name() != campi_->Campo(i).Nome) {
      campo = sqlOrigine_->Fields(i).Name();
      return false;
    }
  }
  if (colonne > colonneAttese) {
    campo = sqlOrigine_->Fields(colonneAttese).Name();
    return false;
  }
  return true;
}

bool TTravasoDatiVornyUSA::Controlla(std::string& messaggio) {
  messaggio.clear();
  if (!TabellaEsistente(origine_)) {
    messaggio = "Tabella \"" + tabella_ + "\" non trovata in origine";
    return false;
  }
  if (!TabellaEsistente(destinazione_)) {
    messaggio = "Tabella \"" + tabella_ + "\" non trovata in destinazione";
    return false;
  }

  if (!campi_) campi_ = std::make_unique<TCampoSQLList>();
  if (const TCampoSQLList* comune = TracciatoComune(origine_))
    campi_->Assign(*comune);
  else
    CaricaCampiSQL(tabella_, origine_.Database(), *campi_);
  std::string confronto;
  if (!ConfrontaTracciati(confronto)) {
    messaggio = kDiscrepanza + confronto + ")";
    return false;
  }
  for (TConnessione* archivio : {&origine_, &destinazione_}) {
    if (archivio->Database().SQLDialect() >= 3) continue;
    for (int i = 0; i < campi_->Count(); ++i)
      if (!NomeNudo(campi_->Campo(i).Nome)) {
        messaggio = kDiscrepanza + "Campo \"" + campi_->Campo(i).Nome +
                    "\" non utilizzabile in un archivio di dialetto 1)";
        return false;
      }
  }
  return true;
}

bool TTravasoDatiVornyUSA::Prepara(std::string& messaggio) {
  if (!Controlla(messaggio)) return false;
  colonne_.clear();
  parametri_.clear();
  if (sqlOrigine_) {
    sqlOrigine_->Close();
    sqlOrigine_->SQL().Clear();
  } else {
    sqlOrigine_ = std::make_unique<TSQLStatement>();
    sqlOrigine_->SetDatabase(&origine_.Database());
    sqlOrigine_->SetParamCheck(false);
  }
  sqlOrigine_->SetTransaction(transazioneOrigine_ ? transazioneOrigine_
                                                  : &origine_.TransazioneLettura());
  std::string campo;
  const TMisureBlocco misure = MisureBlocco();
  // The blocks and the wrapped source query name columns in double quotes: dialect 3 only.
  const bool dialetto3 =
      origine_.Database().SQLDialect() >= 3 && destinazione_.Database().SQLDialect() >= 3;
  const bool conBlocchi = misure.Righe > 1 && dialetto3;
  const bool conTesti = misure.TestoBlob > 0 && dialetto3;
  TStrings originale;
  ComponiSQLOrigine(originale);
  if (!FusiOrariEsatti(originale, campo)) {
    messaggio = "Tabella \"" + tabella_ + "\", campo \"" + campo +
                "\": un orario con fuso non ritorna identico dal suo testo (ora ripetuta al "
                "cambio dell'ora legale)";
    return false;
  }
  const int testiBlob = conTesti ? AvvolgiSQLOrigine(originale, misure.TestoBlob) : 0;
  sqlOrigine_->SQL().AddStrings(originale);
  sqlOrigine_->Execute();

  if (sqlDestinazione_) {
    sqlDestinazione_->Close();
    sqlDestinazione_->SQL().Clear();
  } else {
    sqlDestinazione_ = std::make_unique<TSQLStatement>();
    sqlDestinazione_->SetDatabase(&destinazione_.Database());
    sqlDestinazione_->SetTransaction(&destinazione_.TransazioneScrittura());
    sqlDestinazione_->SetParamCheck(true);
  }
  ComponiSQLDestinazione(sqlDestinazione_->SQL());
  const int n = campi_->Count();
  blocco_.reset();
  if (conBlocchi) {
    std::vector<TParametroBlocco> valori;
    for (int i = 0; i < n; ++i) {
      const std::string nome = Quotato(campi_->Campo(i).Nome);
      valori.push_back({nome, "TYPE OF COLUMN " + Quotato(tabella_) + "." + nome});
    }
    blocco_ = std::make_unique<TBloccoRighe>(
        destinazione_.Database(), destinazione_.TransazioneScrittura(),
        sqlDestinazione_->SQL().Text(), std::move(valori),
        std::min(misure.Righe, kParametriMassimi / std::max(n, 1)));
    byteBlocco_ = misure.Byte;
    try {
      blocco_->Valore(0);  // prepares the block
    } catch (const ESQLError&) {
      // A destination that does not take the block still takes the rows one by one.
      blocco_.reset();
    }
  }
  // Each preparation waits a round trip across a network: where rows go in blocks, the statement
  // for a single row is prepared only when a row goes alone.
  if (!blocco_) PreparaInserimento();

  // Values move by position: column i of the source row must be column i of the layout, and
  // after them come only the step of the row, where there are several, and the blob texts of the
  // wrapped query.
  const int passi = PassiOrigine() > 1 ? 1 : 0;
  if (!ColonneAllineate(n + passi + testiBlob, campo)) {
    messaggio = kDiscrepanza + "Campo \"" + campo + "\" fuori posizione nella query di origine)";
    return false;
  }

  colonne_.reserve(static_cast<size_t>(n));
  testi_.assign(static_cast<size_t>(n), nullptr);
  colonnaPasso_ = passi ? &sqlOrigine_->Fields(n) : nullptr;
  int testo = n + passi;
  for (int i = 0; i < n; ++i) {
    colonne_.push_back(&sqlOrigine_->Fields(i));
    if (conTesti && campi_->Campo(i).Tipo == tcBlob) {
      TSQLVar& colonna = sqlOrigine_->Fields(testo++);
      const TSQLVar& valore = blocco_ ? blocco_->Valore(i) : *parametri_[static_cast<size_t>(i)];
      if (valore.BlobComeTesto()) testi_[static_cast<size_t>(i)] = &colonna;
    }
  }
  return true;
}

void TTravasoDatiVornyUSA::PreparaInserimento() {
  if (!parametri_.empty()) return;
  sqlDestinazione_->Prepare();
  for (int i = 0; i < campi_->Count(); ++i) parametri_.push_back(&sqlDestinazione_->Params(i));
}

TTravasoDatiVornyUSA::TMisureBlocco TTravasoDatiVornyUSA::MisureBlocco() const {
  // On the embedded engine a request costs no round trip: a block would only add its own work.
  const int righe = destinazione_.Database().Remota() ? kRighePerBlocco : 1;
  return {righe, kBytePerBlocco, kTestoBlob};
}

int TTravasoDatiVornyUSA::AvvolgiSQLOrigine(TStrings& righe, int testoBlob) {
  // The selection stays as it is, inside; after its columns come, for each blob column, its
  // content as text when it is short, so that a short blob costs no request of its own.
  std::vector<std::string> blob;
  for (int i = 0; i < campi_->Count(); ++i)
    if (campi_->Campo(i).Tipo == tcBlob) blob.push_back(Quotato(campi_->Campo(i).Nome));
  if (blob.empty()) return 0;
  const std::string lunghezza = std::to_string(testoBlob);
  TStrings avvolta;
  avvolta.Add("SELECT Q.*");
  for (const std::string& nome : blob)
    avvolta.Add(",  CASE WHEN OCTET_LENGTH(Q." + nome + ")<=" + lunghezza + " THEN CAST(Q." + nome +
                " AS VARCHAR(" + lunghezza + ") CHARACTER SET OCTETS) END");
  avvolta.Add("FROM (");
  avvolta.AddStrings(righe);
  avvolta.Add(") Q");
  righe.Clear();
  righe.AddStrings(avvolta);
  return static_cast<int>(blob.size());
}

bool TTravasoDatiVornyUSA::FusiOrariEsatti(const TStrings& origine, std::string& campo) {
  // Such a value travels as text: local time and zone. The server compares two of them by their
  // instant, so a value that its text does not give back is found by the server itself.
  campo.clear();
  std::vector<std::pair<std::string, std::string>> condizioni;
  for (int i = 0; i < campi_->Count(); ++i) {
    const TCampoSQL& c = campi_->Campo(i);
    if (c.Tipo != tcTimeTZ && c.Tipo != tcTimeStampTZ) continue;
    const std::string colonna = "Q." + Quotato(c.Nome);
    const std::string tipo = c.Tipo == tcTimeTZ ? "TIME" : "TIMESTAMP";
    condizioni.push_back({c.Nome, "CAST(CAST(" + colonna + " AS VARCHAR(64)) AS " + tipo +
                                      " WITH TIME ZONE) IS DISTINCT FROM " + colonna});
  }
  if (condizioni.empty()) return true;
  TSQLStatement prova;
  prova.SetDatabase(&origine_.Database());
  prova.SetTransaction(sqlOrigine_->Transaction());
  prova.SetParamCheck(false);
  TStrings& sql = prova.SQL();
  sql.Add("SELECT FIRST 1");
  sql.Add("  CASE");
  for (size_t i = 0; i < condizioni.size(); ++i)
    sql.Add("    WHEN " + condizioni[i].second + " THEN " + std::to_string(i));
  sql.Add("  END AS COLONNA");
  sql.Add("FROM (");
  sql.AddStrings(origine);
  sql.Add(") Q");
  sql.Add("WHERE");
  for (size_t i = 0; i < condizioni.size(); ++i)
    sql.Add(std::string(i == 0 ? "  " : "  OR ") + condizioni[i].second);
  prova.Execute();
  if (prova.Eof()) return true;
  campo = condizioni[static_cast<size_t>(prova.Fields(0).AsInteger())].first;
  return false;
}

bool TTravasoDatiVornyUSA::Travasa(std::string& messaggio) {
  messaggio.clear();
  if (!sqlOrigine_ || !sqlDestinazione_) throw std::logic_error("Travasa before Prepara");
  if (!PreparaDestinazione(messaggio)) return false;
  // Reading the source and writing the destination are two attachments that the engine serves on
  // two processors at once. A copy that stops early, by a refusal or an exception, stops the
  // reading before anything else is closed.
  sqlOrigine_->LeggiInAnticipo(kRigheAnticipo, kByteAnticipo);
  struct FineLettura {
    TSQLStatement& origine;
    ~FineLettura() {
      if (!origine.Eof()) origine.Close();
    }
  } fineLettura{*sqlOrigine_};
  int64_t lette = 0;
  auto copia = [&](std::string& errore) {
    int passo = 1;
    while (!sqlOrigine_->Eof()) {
      if (colonnaPasso_ && colonnaPasso_->AsInteger() != passo) {
        // A step's rows go in blocks of their own: a refused row is named under its own step.
        if (!InviaBlocco(errore)) return false;
        if (avanzamento_) avanzamento_->Righe(lette);
        passo = colonnaPasso_->AsInteger();
        lette = 0;
        if (cambioPasso_) cambioPasso_(passo);
      }
      if (!AccodaRecord(errore)) return false;
      // Rows still waiting in a block are counted as copied: the block goes within a moment.
      if (avanzamento_ && (++lette % kRighePerAvviso) == 0) avanzamento_->Righe(lette);
      sqlOrigine_->Next();
    }
    return InviaBlocco(errore);
  };
  std::string errore;
  if (!copia(errore)) {
    messaggio = "Errore interno durante l'inserimento record\r" + errore;
    return false;
  }
  if (avanzamento_) avanzamento_->Righe(lette);
  return true;
}

bool TTravasoDatiVornyUSA::AccodaRecord(std::string& messaggio) {
  messaggio.clear();
  bool solo = !blocco_;
  for (size_t i = 0; i < colonne_.size() && !solo; ++i)
    if (campi_->Campo(static_cast<int>(i)).Tipo == tcBlob && !colonne_[i]->IsNull())
      solo = !testi_[i] || testi_[i]->IsNull();
  if (solo) {
    // A blob that did not come as text is copied on its own requests; the row keeps its place.
    if (!InviaBlocco(messaggio)) return false;
    return InserisciRecord(messaggio);
  }
  if (blocco_->Righe() == 0) {
    try {
      blocco_->Valore(0);
    } catch (const ESQLError&) {
      // A destination that does not take the block (it is prepared here, at the first row) still
      // takes the rows one by one.
      blocco_.reset();
      return InserisciRecord(messaggio);
    }
  }
  for (size_t i = 0; i < colonne_.size(); ++i) {
    TSQLVar& valore = blocco_->Valore(static_cast<int>(i));
    if (testi_[i])
      valore.AssignBlobText(*testi_[i]);
    else
      valore.Assign(*colonne_[i]);
  }
  blocco_->AggiungiRiga();
  if (blocco_->Righe() < blocco_->RigheMassime() && blocco_->Byte() < byteBlocco_) return true;
  return InviaBlocco(messaggio);
}

bool TTravasoDatiVornyUSA::InviaBlocco(std::string& messaggio) {
  messaggio.clear();
  if (!blocco_ || blocco_->Righe() == 0) return true;
  try {
    blocco_->Esegui();
    return true;
  } catch (const ESQLError&) {
    // Nothing of the block is left: its rows run again one by one in the same transaction, and
    // the first one refused is named by its own error.
  }
  PreparaInserimento();
  for (int r = 0; r < blocco_->Righe(); ++r) {
    blocco_->CopiaRiga(r, *sqlDestinazione_);
    try {
      sqlDestinazione_->Execute();
    } catch (const ESQLError& e) {
      messaggio = e.what();
      blocco_->Svuota();
      return false;
    }
  }
  blocco_->Svuota();
  return true;
}

bool TTravasoDatiVornyUSA::InserisciRecord(std::string& messaggio) {
  messaggio.clear();
  PreparaInserimento();
  // Each value moves whole, in the source column's own type and scale, blobs byte for byte; the
  // server converts only where the destination column is declared differently. NULL stays NULL.
  // A short blob that came as text goes as text.
  for (size_t i = 0; i < parametri_.size(); ++i)
    if (testi_[i] && !testi_[i]->IsNull())
      parametri_[i]->AssignBlobText(*testi_[i]);
    else
      parametri_[i]->Assign(*colonne_[i]);
  try {
    sqlDestinazione_->Execute();
  } catch (const ESQLError& e) {
    messaggio = e.what();
    return false;
  }
  return true;
}

bool TTravasoDatiVornyUSA::PreparaDestinazione(std::string& messaggio) {
  messaggio.clear();
  return true;
}

bool TTravasoDatiVornyUSA::Esegui(std::string& messaggio) {
  messaggio.clear();
  if (!Prepara(messaggio)) return false;
  return Travasa(messaggio);
}
