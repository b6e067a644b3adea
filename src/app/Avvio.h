#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "app/Argomenti.h"

// The start-up sequence for the program whose executable is `percorsoEseguibile`: finds
// USER.FDB in the "User" folder beside it, looks up the company archive, opens it on the same
// database handle and hands it to the run driver. Returns the exit status: 0 after the run,
// the start-up error row's code after its error box. An error that no step catches leaves it,
// after the teardown. After a run with a failed task, standard error names it with its note and
// the active tasks it left unrun. With TComando::Verifica or TComando::Stato the same start-up
// opens without creating or asking anything, and instead of the run prints one line per active
// task (would it start?) or the task table; 9 when a task would not start or did not succeed.
int32_t Avvio(const std::string& percorsoEseguibile, TComando comando = TComando::Esecuzione);

// The whole program: Avvio for the running executable; an error that leaves it is reported on
// standard output and gives exit status 1.
int EseguiProgramma(TComando comando = TComando::Esecuzione);

// The report of an error that nothing caught: "Exception <classe> in module <modulo> at
// <indirizzo>." CR LF, the message with a final full stop, CR LF, CR LF.
std::string RapportoEccezione(const std::string& classe, const std::string& modulo,
                              const void* indirizzo, const std::string& messaggio);
// The class name of an error as the report shows it.
std::string NomeClasseErrore(const std::exception& errore);
