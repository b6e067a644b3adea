#include "app/Avvio.h"

#include <cxxabi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

#include "app/AvanzamentoTerminale.h"
#include "app/ErroriAvvio.h"
#include "app/FabbricaTask.h"
#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "db/SQLTransaction.h"
#include "db/Schema.h"
#include "opener/Opener.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Terminale.h"
#include "platform/UscitaStandard.h"
#include "taskbase/Task.h"
#include "tasks/VessentariaElab.h"
#include "tasks/VessentariaTask.h"
#include "tasks/VessentariaTasks.h"

namespace {

const char* const UtenteConfigurazione = "VESSENTARIA#";

enum RigaErrore : uint8_t {
  rePercorsoNonTrovato = 0,
  reArchivioNonTrovato = 1,
  reConnessione = 2,
  reUtenteNonTrovato = 3,
  reSenzaDitta = 4,
  reSenzaParametro = 5,
  reTabellaNonTrovata = 6,
  reNonAvviabile = 7,
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

// A limit of [Rete]: whole seconds, 0 for Firebird's own behaviour; anything else keeps the
// default.
int LeggiSecondi(const TIniFile& ini, const char* chiave, int predefinito) {
  const std::string testo = ini.ReadString("Rete", chiave, "");
  if (testo.empty() || testo.size() > 7 ||
      testo.find_first_not_of("0123456789") != std::string::npos)
    return predefinito;
  return std::stoi(testo);
}

// The optional [Rete] section of dati.ini beside USER.FDB, read once before any connection.
void LeggiLimitiRete(const std::string& cartellaUtente) {
  const TIniFile ini(cartellaUtente + "dati.ini");
  const TLimitiRete predefiniti;
  TLimitiRete limiti;
  limiti.TimeoutConnessione =
      LeggiSecondi(ini, "TimeoutConnessione", predefiniti.TimeoutConnessione);
  limiti.TimeoutRisposta = LeggiSecondi(ini, "TimeoutRisposta", predefiniti.TimeoutRisposta);
  ImpostaLimitiRete(limiti);
}

std::string NomeModulo() noexcept {
  try {
    return EstraiNomeFile(PercorsoEseguibile());
  } catch (...) {
    return "vessentaria";
  }
}

}  // namespace

std::string RaddoppiaApici(const std::string& testo) {
  std::string risultato;
  for (char c : testo) {
    risultato += c;
    if (c == '\'') risultato += '\'';
  }
  return risultato;
}

int32_t Avvio(const std::string& percorsoEseguibile) {
  TStatoAvvio stato;

  const std::string cartellaUtente =
      EstraiCartella(percorsoEseguibile) + "User" + SeparatoreCartelle();
  if (!DirectoryExists(cartellaUtente))
    return MostraErroreAvvio(rePercorsoNonTrovato, cartellaUtente, "");
  const std::string percorsoUtente = cartellaUtente + "USER.FDB";
  if (!FileExists(percorsoUtente))
    return MostraErroreAvvio(reArchivioNonTrovato, percorsoUtente, "");
  LeggiLimitiRete(cartellaUtente);

  stato.database = std::make_unique<TSQLDatabase>();
  if (!ApriCreaDatabase(*stato.database, EstraiCartella(percorsoUtente),
                        EstraiNomeFile(percorsoUtente), "", "", nullptr))
    return MostraErroreAvvio(reConnessione, percorsoUtente, "");

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
  statement.SQL().Add("  INTESTAZIONE='" + RaddoppiaApici(ditta) + "'");
  statement.SQL().Add("  AND");
  statement.SQL().Add("  PARAMETRO='Archivio'");
  if (!EseguiConRighe(statement) || statement.FieldByName("VALORE").AsString().empty())
    return MostraErroreAvvio(reSenzaParametro, UtenteConfigurazione, "Archivio");

  const std::string archivio = statement.FieldByName("VALORE").AsString();
  if (!FileExists(archivio)) return MostraErroreAvvio(reArchivioNonTrovato, archivio, "");
  // The opener disconnects the handle from USER.FDB first; the statement's transaction, still
  // active, ends with it by its default action.
  if (!ApriCreaDatabase(*stato.database, EstraiCartella(archivio), EstraiNomeFile(archivio), "", "",
                        nullptr))
    return MostraErroreAvvio(reConnessione, archivio, "");

  if (!EsisteTabella("VESSENTARIA", *stato.database))
    return MostraErroreAvvio(reTabellaNonTrovata, "VESSENTARIA", archivio);
  stato.elab = std::make_unique<TVessentariaElab>(*stato.database);
  stato.elab->Tasks().Task().SetFabbricaTask(CreaTask);
  // A person at a terminal sees the run go; a scheduled run stays silent.
  if (ErroreStandardSuTerminale()) {
    stato.avanzamento = std::make_unique<TAvanzamentoTerminale>(stderr);
    stato.elab->Tasks().Task().SetAvanzamento(stato.avanzamento.get());
  }
  std::string messaggio;
  if (!stato.elab->CaricaTasks(messaggio)) return MostraErroreAvvio(reNonAvviabile, messaggio, "");
  // Task outcomes are written into the task table; the exit status does not carry them.
  stato.elab->EseguiTutto();
  return 0;
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
  std::string testo =
      "Exception " + classe + " in module " + modulo + " at " + esadecimale + ".\r\n" + messaggio;
  if (messaggio.empty() || messaggio.back() != '.') testo += '.';
  return testo + "\r\n\r\n";
}

int EseguiProgramma() {
  std::string rapporto;
  try {
    return Avvio(PercorsoEseguibile());
  } catch (const std::exception& errore) {
    rapporto = RapportoEccezione(NomeClasseErrore(errore), NomeModulo(), &errore, errore.what());
  } catch (...) {
    rapporto = RapportoEccezione("Exception", NomeModulo(), nullptr, "Unknown error");
  }
  ScriviUscitaStandard(rapporto);
  return 1;
}
