#include "transfer/TravasoDatiVornyUSA.h"

#include <stdexcept>

#include "db/SQLDatabase.h"
#include "db/SQLError.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"
#include "taskbase/Avanzamento.h"
#include "taskbase/Connessione.h"

namespace {

constexpr int64_t kRighePerAvviso = 256;

}  // namespace

namespace {

const std::string kDiscrepanza =
    "Rilevata discrepanza tra il tracciato di origine e quello di destinazione (";

// A name as a quoted identifier of dialect 3.
std::string NomeTraVirgolette(const std::string& nome) {
  std::string r = "\"";
  for (char c : nome) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

}  // namespace

TTravasoDatiVornyUSA::TTravasoDatiVornyUSA(TConnessione& origine, TConnessione& destinazione)
    : origine_(origine), destinazione_(destinazione) {}

TTravasoDatiVornyUSA::~TTravasoDatiVornyUSA() = default;

bool TTravasoDatiVornyUSA::TabellaEsistente(TConnessione& connessione) {
  return EsisteTabella(tabella_, connessione.Database(), connessione.TransazioneLettura());
}

bool TTravasoDatiVornyUSA::ConfrontaTracciati(std::string& messaggio) {
  messaggio.clear();
  TCampoSQLList destinazione;
  CaricaCampiSQL(tabella_, destinazione_.Database(), destinazione);
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
  // Quoted, a name is taken exactly as the system tables hold it: lower case, blanks and
  // reserved words included. For an upper-case name the statement means the same as bare.
  righe.Add("UPDATE OR INSERT INTO " + tabella_ + "(");
  for (int i = 0; i < campi_->Count(); ++i) {
    if (i > 0) righe.Add(",");
    righe.Add(NomeTraVirgolette(campi_->Campo(i).Nome));
  }
  righe.Add(")");
  righe.Add("VALUES(");
  for (int i = 0; i < campi_->Count(); ++i) {
    if (i > 0) righe.Add(",");
    righe.Add(":" + NomeTraVirgolette(campi_->Campo(i).Nome));
  }
  righe.Add(")");
}

bool TTravasoDatiVornyUSA::ColonneAllineate(std::string& campo) const {
  campo.clear();
  const int colonne = sqlOrigine_->FieldCount();
  for (int i = 0; i < campi_->Count() || i < colonne; ++i) {
    if (i >= colonne) {
      campo = campi_->Campo(i).Nome;
      return false;
    }
    const std::string& nome = sqlOrigine_->Fields(i).Name();
    if (i >= campi_->Count() || nome != campi_->Campo(i).Nome) {
      campo = nome;
      return false;
    }
  }
  return true;
}

bool TTravasoDatiVornyUSA::Prepara(std::string& messaggio) {
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
  CaricaCampiSQL(tabella_, origine_.Database(), *campi_);
  std::string confronto;
  if (!ConfrontaTracciati(confronto)) {
    messaggio = kDiscrepanza + confronto + ")";
    return false;
  }

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
  ComponiSQLOrigine(sqlOrigine_->SQL());
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
  sqlDestinazione_->Prepare();

  // Values move by position: column i of the source row must be column i of the layout.
  std::string campo;
  if (!ColonneAllineate(campo)) {
    messaggio = kDiscrepanza + "Campo \"" + campo + "\" fuori posizione nella query di origine)";
    return false;
  }

  colonne_.reserve(static_cast<size_t>(campi_->Count()));
  parametri_.reserve(static_cast<size_t>(campi_->Count()));
  for (int i = 0; i < campi_->Count(); ++i) {
    colonne_.push_back(&sqlOrigine_->Fields(i));
    parametri_.push_back(&sqlDestinazione_->Params(i));
  }
  return true;
}

bool TTravasoDatiVornyUSA::Travasa(std::string& messaggio) {
  messaggio.clear();
  if (!sqlOrigine_ || !sqlDestinazione_) throw std::logic_error("Travasa before Prepara");
  std::string errore;
  int64_t copiate = 0;
  while (!sqlOrigine_->Eof()) {
    if (!InserisciRecord(errore)) {
      messaggio = "Errore interno durante l'inserimento record\r" + errore;
      return false;
    }
    // Told in steps, so that a watcher costs the copy nothing it would notice.
    if (avanzamento_ && (++copiate % kRighePerAvviso) == 0) avanzamento_->Righe(copiate);
    sqlOrigine_->Next();
  }
  if (avanzamento_) avanzamento_->Righe(copiate);
  return true;
}

bool TTravasoDatiVornyUSA::InserisciRecord(std::string& messaggio) {
  messaggio.clear();
  // Each value moves whole, in the source column's own type and scale, blobs byte for byte; the
  // server converts only where the destination column is declared differently. NULL stays NULL.
  for (size_t i = 0; i < parametri_.size(); ++i) parametri_[i]->Assign(*colonne_[i]);
  try {
    sqlDestinazione_->Execute();
  } catch (const ESQLError& e) {
    messaggio = e.what();
    return false;
  }
  return true;
}

bool TTravasoDatiVornyUSA::Esegui(std::string& messaggio) {
  messaggio.clear();
  if (!Prepara(messaggio)) return false;
  return Travasa(messaggio);
}
