#pragma once

#include <cstdio>

// Private to the platform layer: what each platform's files provide to the shared code.

class TInterfacciaUtente;

// The interface used when none has been installed: the console on Linux, the system's modal
// boxes and dialog on Windows, or standard error and the event log where no desktop is visible.
TInterfacciaUtente& InterfacciaDiSistema();
// True when the stream reads from a terminal (a console on Windows).
bool IngressoDaTerminale(std::FILE* ingresso);
