#include "tasks/VessentariaTasks.h"

#include "db/SQLStatement.h"
#include "db/Schema.h"
#include "taskbase/Connessione.h"
#include "tasks/Decodifica.h"
#include "tasks/VessentariaTask.h"

namespace {

constexpr size_t kLunghezzaPercorso = 255;

}  // namespace

TVessentariaTasks::TVessentariaTasks(TConnessione& connessione)
    : connessione_(connessione), task_(std::make_unique<TVessentariaTask>(connessione)) {}

TVessentariaTasks::~TVessentariaTasks() {
  task_->SetInfo(nullptr);
  righe_.clear();
}

bool TVessentariaTasks::Carica() {
  // The rows may move: the row object must not keep pointing into the old array.
  task_->SetInfo(nullptr);
  comandoLettura_.reset();
  comandoLettura_ = std::make_unique<TSQLStatement>();
  TSQLStatement& comando = *comandoLettura_;
  comando.SetDatabase(&connessione_.Database());
  comando.SetTransaction(&connessione_.TransazioneLettura());
  comando.SetParamCheck(false);
  for (const char* riga : {"SELECT", "  *", "FROM", "  VESSENTARIA", "ORDER BY", "  ID"})
    comando.SQL().Add(riga);
  comando.Execute();
  righe_.clear();
  LeggiRighe(comando, ContaRecordSQL(comando.SQL(), connessione_.TransazioneLettura()), righe_);
  return true;
}

TVessentariaTask& TVessentariaTasks::Items(int i) {
  task_->SetInfo(&righe_.at(static_cast<size_t>(i)));
  return *task_;
}

void LeggiRighe(TSQLStatement& comando, int32_t conteggio,
                std::vector<TVessentariaTaskInfo>& righe) {
  righe.assign(conteggio > 0 ? static_cast<size_t>(conteggio) : 0, TVessentariaTaskInfo{});
  size_t n = 0;
  while (!comando.Eof()) {
    // Rows committed after the count still belong to the run.
    if (n == righe.size()) righe.emplace_back();
    LeggiRiga(comando, righe[n]);
    ++n;
    comando.Next();
  }
}

void LeggiRiga(TSQLStatement& comando, TVessentariaTaskInfo& riga) {
  riga.ID = comando.FieldByName("ID").AsInteger();
  riga.ArchivioOrigine =
      comando.FieldByName("ARCHIVIOORIGINE").AsString().substr(0, kLunghezzaPercorso);
  riga.ArchivioDestinazione =
      comando.FieldByName("ARCHIVIODESTINAZIONE").AsString().substr(0, kLunghezzaPercorso);
  riga.TipoSincro = DecodificaTipoSincro(comando.FieldByName("TIPOSINCRO").AsString());
  riga.Status = DecodificaStatus(comando.FieldByName("STATUS").AsInteger());
}
