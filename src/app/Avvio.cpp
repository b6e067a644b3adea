#include "app/Avvio.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <set>
#include <typeinfo>
#include <vector>

#include "app/AvanzamentoTerminale.h"
#include "app/Configurazione.h"
#include "app/ErroriAvvio.h"
#include "app/FabbricaTask.h"
#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/SQLVar.h"
#include "db/Schema.h"
#include "opener/Credenziali.h"
#include "opener/Opener.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/RegistroEventi.h"
#include "platform/Terminale.h"
#include "platform/Testo.h"
#include "platform/UscitaStandard.h"
#include "taskbase/Connessione.h"
#include "taskbase/Diritti.h"
#include "taskbase/Task.h"
#include "tasks/Decodifica.h"
#include "tasks/VessentariaElab.h"
#include "tasks/VessentariaTask.h"
#include "tasks/VessentariaTasks.h"

namespace {

const char* const UtenteConfigurazione = "VESSENTARIA#";
// --check and --status: an active task would not start, or its last run did not succeed.
constexpr int32_t kStatoTaskFalliti = 9;
// A run that could not write a task's note (the company archive lost for good) did not complete;
// EX_TEMPFAIL of the BSD convention: a later run may.
constexpr int32_t kStatoNoteNonScritte = 75;

enum RigaErrore : uint8_t {
  rePercorsoNonTrovato = 0,
  reArchivioNonTrovato = 1,
  reConnessione = 2,
  reUtenteNonTrovato = 3,
  reSenzaDitta = 4,
  reSenzaParametro = 5,
  reTabellaNonTrovata = 6,
  reNonAvviabile = 7,
  reCredenziali = 8,
  reArchivioIrraggiungibile = 9,
};

// What the entry creates, released on every path in this order: the statement's transaction,
// the statement, the database handle, the run driver, which works on the handle without owning
// it, and last the progress display that the driver tells.
struct TStatoAvvio {
  std::unique_ptr<TAvanzamento> avanzamento;
  std::unique_ptr<TVessentariaElab> elab;
  std::unique_ptr<TSQLDatabase> database;
  std::unique_ptr<TSQLStatement> statement;
  std::unique_ptr<TSQLTransaction> transazione;

  TStatoAvvio() = default;
  TStatoAvvio(const TStatoAvvio&) = delete;
  TStatoAvvio& operator=(const TStatoAvvio&) = delete;
  ~TStatoAvvio() {
    transazione.reset();
    statement.reset();
    database.reset();
    elab.reset();
    avanzamento.reset();
  }
};

// Runs the statement; false when it raises or returns no row, whatever the error says.
bool EseguiConRighe(TSQLStatement& statement) {
  try {
    statement.Execute();
    return statement.RowCount() > 0;
  } catch (const std::exception&) {
    return false;
  }
}

// "3, 4" or "nessuno".
std::string ElencoId(const std::vector<int32_t>& id) {
  if (id.empty()) return "nessuno";
  std::string elenco;
  for (size_t i = 0; i < id.size(); ++i) elenco += (i > 0 ? ", " : "") + std::to_string(id[i]);
  return elenco;
}

// The run's failure, told where a scheduler's log and an administrator look.
void SegnalaFallimento(const TVessentariaElab::TEsito& esito) {
  if (!esito.Fallito) return;
  const std::string fallito =
      "Task " + std::to_string(esito.IdFallito) + " fallito: " + NotaSuUnaRiga(esito.Nota);
  const std::string nonEseguiti = "Task attivi non eseguiti dopo il fallimento del task " +
                                  std::to_string(esito.IdFallito) + ": " +
                                  ElencoId(esito.NonEseguiti);
  ScriviRigaErrore(fallito, TGravita::Errore);
  ScriviRigaErrore(nonEseguiti, TGravita::Errore);
  RegistraNelSistema(fallito + "\n" + nonEseguiti, true);
}

// A run ended by an error that escaped a task: the report on standard output gives the error,
// this line gives the tasks, so that a journal of standard error shows what was left undone.
void SegnalaInterruzione(const TVessentariaElab::TEsito& esito) noexcept {
  if (!esito.Interrotto) return;
  try {
    const std::string riga = "Esecuzione interrotta da un errore imprevisto nel task " +
                             std::to_string(esito.IdFallito) +
                             "; task attivi non eseguiti: " + ElencoId(esito.NonEseguiti);
    ScriviRigaErrore(riga, TGravita::Errore);
    RegistraNelSistema(riga, true);
  } catch (...) {
  }
}

// A note that the company archive could not take, told where a scheduler's log looks, since the
// row does not tell it: it keeps kNotaAvviata, or an older note when even that was not written.
void SegnalaNotaNonScritta(const TVessentariaElab::TEsito& esito) noexcept {
  if (!esito.NotaNonScritta) return;
  try {
    const std::string id = std::to_string(esito.IdNotaNonScritta);
    std::string righe = "Nota del task " + id + " non scritta nell'archivio della ditta: " +
                        NotaSuUnaRiga(esito.MotivoNotaNonScritta) +
                        "; nota: " + NotaSuUnaRiga(esito.NotaPerduta);
    ScriviRigaErrore(righe, TGravita::Errore);
    // After a failed task the line of its failure already names them.
    if (!esito.Fallito) {
      const std::string nonEseguiti =
          "Task attivi non eseguiti dopo la nota non scritta del task " + id + ": " +
          ElencoId(esito.NonEseguiti);
      ScriviRigaErrore(nonEseguiti, TGravita::Errore);
      righe += "\n" + nonEseguiti;
    }
    RegistraNelSistema(righe, true);
  } catch (...) {
  }
}

// Each archive opened, once, with the way it went: "Archivio <path>: <DescriviApertura>".
struct TAperture {
  std::vector<std::string> righe;
  std::set<std::string> percorsi;
  void Aggiungi(const std::string& percorso, const std::string& via) {
    if (percorsi.insert(percorso).second) righe.push_back("Archivio " + percorso + ": " + via);
  }
};

// One line per active task: would it start its copy? 9 when any active task would not start.
// Then, for a task whose archives opened, the way of its rows and its warnings.
int32_t Verifica(TVessentariaElab& elab, TControlloConfigurazione& configurazione) {
  TVessentariaTasks& tasks = elab.Tasks();
  // Every note goes into the task table: without these rights the run cannot write one.
  std::string ditta;
  ControllaDiritti(elab.Connessione().TransazioneLettura(),
                   {{"VESSENTARIA", TDiritto::Select}, {"VESSENTARIA", TDiritto::Update}},
                   "nell'archivio della ditta", ditta);
  std::string righe;
  bool tutti = true;
  for (int i = 0; i < tasks.Count(); ++i) {
    TVessentariaTask& task = tasks.Items(i);
    const TVessentariaTaskInfo riga = task.Info();
    if (riga.Status != ssAttivo) continue;
    configurazione.Controlla(riga.ArchivioOrigine);
    configurazione.Controlla(riga.ArchivioDestinazione);
    std::string nota;
    TVessentariaTask::TPrevisione previsione;
    bool ok = task.VerificaTask(nota, previsione);
    // The note is written after the task's own checks: theirs come first, as in a run.
    if (ok && !ditta.empty()) {
      ok = false;
      nota = ditta;
    }
    tutti = tutti && ok;
    const std::string id = "Task " + std::to_string(riga.ID);
    righe += id + ": " + (ok ? "ok" : NotaSuUnaRiga(nota)) + "\n";
    if (!previsione.Via.empty()) righe += id + " via: " + TestoVisibile(previsione.Via) + "\n";
    for (const std::string& avviso : previsione.Avvisi)
      righe += id + " avviso: " + TestoVisibile(avviso) + "\n";
  }
  configurazione.TuttiGliArchiviVisti();
  ScriviUscitaStandard(righe);
  return tutti ? 0 : kStatoTaskFalliti;
}

// The task table as a person reads it: 9 when an active task failed or never ran, when the last
// run did not reach it, or when no task is active (a run would do nothing).
int32_t MostraStato(TSQLDatabase& database) {
  auto transazione = CreaTransazioneReadCommitted(database);
  // The success note as the program writes it into this table's column.
  TColonnaTesto colonnaNote;
  const bool colonnaLimitata = CaricaColonnaTesto("VESSENTARIA", "NOTEULTIMAESECUZIONE", database,
                                                  *transazione, colonnaNote);
  TSQLStatement statement;
  statement.SetDatabase(&database);
  statement.SetTransaction(transazione.get());
  statement.SetParamCheck(false);
  // The time as the server writes it, year first, whatever the reader's habits: such texts also
  // compare as the times do.
  for (const char* riga : {"SELECT", "  ID,", "  STATUS,", "  TIPOSINCRO,",
                           "  CAST(ULTIMAESECUZIONE AS VARCHAR(30)) AS ULTIMAESECUZIONE,",
                           "  NOTEULTIMAESECUZIONE", "FROM", "  VESSENTARIA", "ORDER BY", "  ID"})
    statement.SQL().Add(riga);
  struct TRiga {
    std::string id, status, tipo, ultima, nota;
    int32_t numero = 0;
    bool attivo = false, mai = false, riuscito = false;
  };
  std::vector<TRiga> righe;
  for (statement.Execute(); !statement.Eof(); statement.Next()) {
    TRiga riga;
    riga.numero = statement.FieldByName("ID").AsInteger();
    riga.id = statement.FieldByName("ID").AsString();
    riga.status = statement.FieldByName("STATUS").AsString();
    riga.tipo = TestoVisibile(statement.FieldByName("TIPOSINCRO").AsString());
    riga.attivo = DecodificaStatus(statement.FieldByName("STATUS").AsInteger()) == ssAttivo;
    riga.mai = statement.FieldByName("ULTIMAESECUZIONE").IsNull();
    riga.ultima = statement.FieldByName("ULTIMAESECUZIONE").AsString();
    riga.nota = NotaSenzaRiempimento(statement.FieldByName("NOTEULTIMAESECUZIONE").AsString());
    riga.riuscito =
        !riga.mai && NotaDiSuccesso(riga.nota, colonnaLimitata ? &colonnaNote : nullptr);
    righe.push_back(std::move(riga));
  }
  statement.Close();

  // A run stops at its first failed task: the active tasks after the latest failure that have
  // not run since it were not reached, whatever their older notes say.
  const TRiga* fermata = nullptr;
  for (const TRiga& riga : righe)
    if (riga.attivo && !riga.mai && !riga.riuscito &&
        (fermata == nullptr || riga.ultima > fermata->ultima))
      fermata = &riga;
  bool tuttiRiusciti = true;
  int attivi = 0;
  std::vector<std::vector<std::string>> tabella = {
      {"ID", "STATUS", "TIPO", "ULTIMA ESECUZIONE", "NOTA"}};
  for (const TRiga& riga : righe) {
    std::string nota = NotaSuUnaRiga(riga.nota);
    if (riga.attivo) {
      ++attivi;
      if (!riga.riuscito) tuttiRiusciti = false;
      if (fermata != nullptr && riga.numero > fermata->numero &&
          (riga.mai || riga.ultima < fermata->ultima)) {
        tuttiRiusciti = false;
        nota = "NON ESEGUITO nell'ultima esecuzione, fermata dal task " + fermata->id +
               (riga.mai ? "" : "; nota precedente: " + nota);
      }
    }
    tabella.push_back(
        {riga.id, riga.status, riga.tipo, riga.mai ? "mai" : riga.ultima.substr(0, 19), nota});
  }
  std::vector<size_t> larghezze(tabella[0].size(), 0);
  for (const auto& riga : tabella)
    for (size_t c = 0; c < riga.size(); ++c) larghezze[c] = std::max(larghezze[c], riga[c].size());
  std::string testo;
  for (const auto& riga : tabella) {
    std::string linea;
    for (size_t c = 0; c < riga.size(); ++c) {
      linea += riga[c];
      if (c + 1 < riga.size()) linea.append(larghezze[c] - riga[c].size() + 2, ' ');
    }
    testo += linea + "\n";
  }
  // The texts of a run that finds nothing to do (exit status 8).
  if (righe.empty())
    testo += "Nessuna elaborazione di sincro trovata\n";
  else if (attivi == 0)
    testo += "Nessuna elaborazione di sincro attiva trovata\n";
  ScriviUscitaStandard(testo);
  return tuttiRiusciti && attivi > 0 ? 0 : kStatoTaskFalliti;
}

// What keeps the logins file from being used, with the fix; empty when it is private.
std::string DifettoCredenziali(const std::string& file) {
  switch (RiservatezzaFile(file)) {
    case TRiservatezza::Privato:
      return "";
    case TRiservatezza::AltroProprietario:
      return "appartiene a un altro utente: darlo all'utente che esegue il programma (chown) e "
             "toglierne l'accesso agli altri con chmod 600";
    case TRiservatezza::ApertoAdAltri:
      return "è accessibile al gruppo o ad altri utenti: toglierne l'accesso con chmod 600";
    case TRiservatezza::Illeggibile:
      break;
  }
  return "non è leggibile dall'utente che esegue il programma: darglielo (chown) e toglierne "
         "l'accesso agli altri con chmod 600";
}

// Row 2 when nothing is at `percorso`; when the account cannot reach it, another text with the
// system's reason, since "non trovato" would send the administrator after a file that is there.
// 0 when the file is there.
int32_t ArchivioMancante(const std::string& percorso) {
  std::string motivo;
  switch (AccessoFile(percorso, motivo)) {
    case TAccessoFile::Assente:
      return MostraErroreAvvio(reArchivioNonTrovato, percorso, "");
    case TAccessoFile::Irraggiungibile:
      return MostraErroreAvvio(reArchivioIrraggiungibile, percorso, motivo);
    case TAccessoFile::Leggibile:
    case TAccessoFile::Illeggibile:
      break;
  }
  return 0;
}

// Row 3 for `percorso`, then why: the server's own text when a server refused the login, else
// what the account may not do with the file and the text of each failed attempt.
int32_t ConnessioneFallita(const std::string& percorso, const std::string& rifiuto) {
  std::string testo = FormattaErroreAvvio(reConnessione, percorso, "");
  if (!rifiuto.empty()) {
    testo += "\r" + rifiuto;
  } else {
    std::string motivo;
    if (AccessoFile(percorso, motivo) == TAccessoFile::Illeggibile)
      testo += "\rIl file esiste ma l'utente che esegue il programma non può leggerlo: " + motivo;
    if (!TentativiFalliti().empty()) testo += "\r" + TentativiFalliti();
  }
  MostraErrore(testo);
  return ErroriAvvio.at(reConnessione).Codice;
}

std::string NomeModulo() noexcept {
  try {
    return EstraiNomeFile(PercorsoEseguibile());
  } catch (...) {
    return "vessentaria";
  }
}

int32_t Avvia(const std::string& percorsoEseguibile, TComando comando,
              TControlloConfigurazione& configurazione) {
  TStatoAvvio stato;
  const bool soloLettura = comando != TComando::Esecuzione;
  // A check or a status view changes nothing and waits for nobody: no database is created, no
  // server asked for, and every box goes to standard error without waiting.
  TInterfacciaConsole senzaAttese(stdin, stderr, false);
  struct TRipristino {
    bool attivo;
    TInterfacciaUtente* precedente;
    ~TRipristino() {
      if (!attivo) return;
      ImpostaInterfacciaUtente(precedente);
      ImpostaSoloApertura(false);
    }
  } ripristino{soloLettura, soloLettura ? ImpostaInterfacciaUtente(&senzaAttese) : nullptr};
  ImpostaSoloApertura(soloLettura);

  const std::string cartellaUtente =
      EstraiCartella(percorsoEseguibile) + "User" + SeparatoreCartelle();
  if (!DirectoryExists(cartellaUtente))
    return MostraErroreAvvio(rePercorsoNonTrovato, cartellaUtente, "");
  ImpostaLimitiRete(LeggiLimitiRete(cartellaUtente + "dati.ini", &configurazione));
  const std::string percorsoUtente = cartellaUtente + "USER.FDB";
  if (const int32_t mancante = ArchivioMancante(percorsoUtente)) return mancante;
  // Passwords must stay the site's: a file that others can read is not used at all.
  const std::string credenziali = cartellaUtente + "credenziali.ini";
  ImpostaFileCredenziali("");
  if (FileExists(credenziali)) {
    const std::string difetto = DifettoCredenziali(credenziali);
    if (!difetto.empty()) return MostraErroreAvvio(reCredenziali, credenziali, difetto);
    ImpostaFileCredenziali(credenziali);
  }

  stato.database = std::make_unique<TSQLDatabase>();
  std::string rifiuto;
  auto fallita = [&configurazione, &rifiuto](const std::string& percorso) {
    if (!rifiuto.empty()) configurazione.LoginRifiutato();
    return ConnessioneFallita(percorso, rifiuto);
  };
  if (!ApriCreaDatabase(*stato.database, EstraiCartella(percorsoUtente),
                        EstraiNomeFile(percorsoUtente), "", "", nullptr, rifiuto))
    return fallita(percorsoUtente);

  stato.statement = std::make_unique<TSQLStatement>();
  TSQLStatement& statement = *stato.statement;
  statement.SetDatabase(stato.database.get());
  stato.transazione = CreaTransazioneReadCommitted(*stato.database);
  statement.SetTransaction(stato.transazione.get());
  statement.SetParamCheck(false);
  for (const char* riga : {"SELECT", "  CODICE,", "  DITTA", "FROM", "  UTENTI", "WHERE",
                           "  NOMEUTENTE='VESSENTARIA#'"})
    statement.SQL().Add(riga);
  if (!EseguiConRighe(statement))
    return MostraErroreAvvio(reUtenteNonTrovato, UtenteConfigurazione, "");

  const int32_t codice = statement.FieldByName("CODICE").AsInteger();
  const std::string ditta = statement.FieldByName("DITTA").AsString();
  if (ditta.empty()) return MostraErroreAvvio(reSenzaDitta, UtenteConfigurazione, "");

  statement.Close();
  statement.SQL().Clear();
  statement.SQL().Add("SELECT");
  statement.SQL().Add("  VALORE");
  statement.SQL().Add("FROM");
  statement.SQL().Add("  TABSOFTDES");
  statement.SQL().Add("WHERE");
  statement.SQL().Add("  UTENTE=" + std::to_string(codice));
  statement.SQL().Add("  AND");
  // The company code comes from the database: doubled quotes keep it a value of the statement.
  statement.SQL().Add("  INTESTAZIONE=" + TraApici(ditta));
  statement.SQL().Add("  AND");
  statement.SQL().Add("  PARAMETRO='Archivio'");
  if (!EseguiConRighe(statement) || statement.FieldByName("VALORE").AsString().empty())
    return MostraErroreAvvio(reSenzaParametro, UtenteConfigurazione, "Archivio");

  const std::string archivio = statement.FieldByName("VALORE").AsString();
  configurazione.Controlla(archivio);
  if (const int32_t mancante = ArchivioMancante(archivio)) return mancante;
  // The opener disconnects the handle from USER.FDB first; the statement's transaction, still
  // active, ends with it by its default action.
  if (!ApriCreaDatabase(*stato.database, EstraiCartella(archivio), EstraiNomeFile(archivio), "", "",
                        nullptr, rifiuto))
    return fallita(archivio);

  if (!EsisteTabella("VESSENTARIA", *stato.database))
    return MostraErroreAvvio(reTabellaNonTrovata, "VESSENTARIA", archivio);
  if (comando == TComando::Stato) return MostraStato(*stato.database);
  stato.elab = std::make_unique<TVessentariaElab>(*stato.database);
  stato.elab->Tasks().Task().SetFabbricaTask(CreaTask);
  // A person at a terminal sees the run go; a scheduled run stays silent.
  TAvanzamentoTerminale* avanzamento = nullptr;
  if (comando == TComando::Esecuzione && ErroreStandardSuTerminale()) {
    stato.avanzamento = std::make_unique<TAvanzamentoTerminale>(stderr);
    avanzamento = static_cast<TAvanzamentoTerminale*>(stato.avanzamento.get());
    stato.elab->Tasks().Task().SetAvanzamento(avanzamento);
  }
  std::string messaggio;
  if (!stato.elab->CaricaTasks(messaggio)) return MostraErroreAvvio(reNonAvviabile, messaggio, "");
  if (comando == TComando::Verifica) return Verifica(*stato.elab, configurazione);
  if (avanzamento) avanzamento->SetTotale(stato.elab->Attivi());
  // Task outcomes are written into the task table; the exit status does not carry them, but
  // standard error (and on Windows the event log) says what went wrong.
  try {
    stato.elab->EseguiTutto();
  } catch (...) {
    SegnalaInterruzione(stato.elab->Esito());
    SegnalaNotaNonScritta(stato.elab->Esito());
    throw;
  }
  if (avanzamento) avanzamento->Riepilogo();
  SegnalaFallimento(stato.elab->Esito());
  SegnalaNotaNonScritta(stato.elab->Esito());
  return stato.elab->Esito().NotaNonScritta ? kStatoNoteNonScritte : 0;
}

}  // namespace

int32_t Avvio(const std::string& percorsoEseguibile, TComando comando) {
  TControlloConfigurazione configurazione;
  TAperture aperture;
  struct TFineAperture {
    ~TFineAperture() { ImpostaOsservatoreAperture(nullptr); }
  } fineAperture;
  if (comando == TComando::Verifica)
    ImpostaOsservatoreAperture([&aperture](const std::string& percorso, const std::string& via) {
      aperture.Aggiungi(percorso, via);
    });
  const int32_t stato = Avvia(percorsoEseguibile, comando, configurazione);
  // A check says how each archive was opened and names what is wrong in the configuration files
  // also when start-up failed, when it is needed most.
  if (comando == TComando::Verifica) {
    const size_t primoDelleCredenziali = configurazione.Difetti().size();
    configurazione.ControllaCredenziali(FileCredenziali());
    const std::vector<std::string>& difetti = configurazione.Difetti();
    // A refused login stopped the start-up: the logins file comes first, as its likely cause.
    const auto credenziali = difetti.begin() + static_cast<ptrdiff_t>(primoDelleCredenziali);
    std::vector<std::string> righe(configurazione.LoginFuRifiutato() ? credenziali : difetti.end(),
                                   difetti.end());
    righe.insert(righe.end(), aperture.righe.begin(), aperture.righe.end());
    righe.insert(righe.end(), difetti.begin(),
                 configurazione.LoginFuRifiutato() ? credenziali : difetti.end());
    std::string testo;
    for (const std::string& riga : righe) testo += TestoVisibile(riga) + "\n";
    ScriviUscitaStandard(testo);
  }
  return stato;
}

std::string NomeClasseErrore(const std::exception& errore) {
  const char* nome = typeid(errore).name();
  int stato = 0;
  std::unique_ptr<char, decltype(&std::free)> leggibile(
      abi::__cxa_demangle(nome, nullptr, nullptr, &stato), &std::free);
  return stato == 0 && leggibile ? leggibile.get() : nome;
}

std::string RapportoEccezione(const std::string& classe, const std::string& modulo,
                              const void* indirizzo, const std::string& messaggio) {
  char esadecimale[16];
  std::snprintf(esadecimale, sizeof(esadecimale), "%08X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(indirizzo) & 0xFFFFFFFFu));
  // A server's text or a renamed executable must not steer the terminal or the log that shows
  // the report; the lines of a server's text stay lines.
  std::string testo = "Exception " + TestoVisibile(classe) + " in module " + TestoVisibile(modulo) +
                      " at " + esadecimale + ".\r\n" + TestoVisibileARighe(messaggio);
  if (messaggio.empty() || messaggio.back() != '.') testo += '.';
  return testo + "\r\n\r\n";
}

int EseguiProgramma(TComando comando) {
  std::string rapporto;
  try {
    return Avvio(PercorsoEseguibile(), comando);
  } catch (const std::exception& errore) {
    rapporto = RapportoEccezione(NomeClasseErrore(errore), NomeModulo(), &errore, errore.what());
  } catch (...) {
    rapporto = RapportoEccezione("Exception", NomeModulo(), nullptr, "Unknown error");
  }
  ScriviUscitaStandard(rapporto);
  return 1;
}
