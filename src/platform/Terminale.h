#pragma once

// True when standard error is a terminal (a console on Windows): a person is watching the run.
bool ErroreStandardSuTerminale();
