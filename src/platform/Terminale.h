#pragma once

// True when standard error is a terminal (a console on Windows): a person is watching the run.
bool ErroreStandardSuTerminale();
// True when standard error is the systemd journal's stream (never on Windows): its lines may
// then carry the journal's priority prefix.
bool ErroreStandardSulGiornale();
