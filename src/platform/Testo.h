#pragma once

#include <string>

// `testo` as it may safely reach a terminal or a log: every control character (C0, DEL, and C1
// written in UTF-8) becomes '?', so that a path or a note cannot move the cursor, clear the
// screen or retitle the window. Other bytes, accented letters included, stay as they are.
std::string TestoVisibile(const std::string& testo);
// TestoVisibile, except that line breaks (CR and LF) stay: a text of several lines.
std::string TestoVisibileARighe(const std::string& testo);

// A note on one line: its line breaks (CR, LF or CR LF, as a note separates its levels) become
// " / ", then TestoVisibile.
std::string NotaSuUnaRiga(const std::string& nota);

// How serious a line on standard error is, as the systemd journal's priorities number it.
enum class TGravita { Errore = 3, Avviso = 4 };

// One line on standard error: "vessentaria: " and TestoVisibile(riga). When standard error is
// the journal the line begins with the priority ("<3>"), so that journalctl -p err finds it.
void ScriviRigaErrore(const std::string& riga, TGravita gravita);
