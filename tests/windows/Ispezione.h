#pragma once

#include <windows.h>

#include <string>

// Waits up to `secondi` for a visible top-level window with exactly this caption; nullptr when
// none came.
HWND AttendiFinestra(const std::string& caption, int secondi);

// One line a fact, for a test script to compare:
//   caption=<text>
//   client=<width>x<height>
//   centrata=<1 when the window is centred on the screen within a pixel, else 0>
//   default=<id of the default button, 0 when none>
//   controllo <class> id=<id> x=<x> y=<y> w=<w> h=<h> tab=<0|1> icona=<0|1> testo=<text>
//   font <class>@<x>,<y>=<face> <points>   (after a control with a font, when the font can be
//                                          read: only from the same process)
//   fuoco=<class>@<x>,<y>          (the control that has the keyboard focus)
//   tab=<class>@<x>,<y> ...        (the tab stops from the focus on, one round)
// Controls in the order of the window's children, positions in its client area. Texts are
// written byte by byte, with CR, LF, backslash and every byte outside printable ASCII as \r, \n,
// \\ and \xHH.
std::string DescriviFinestra(HWND finestra);
