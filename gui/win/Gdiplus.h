// GDI+ for the Windows build's drawing files (*_win.cpp in gui/ and tools/); never included by a
// shared header. GDI+ starts on first use and stays up while the process lives: its shutdown may
// not run while a library is being unloaded. User-interface thread.
#pragma once

#include <windows.h>
// The COM stream interfaces GDI+ reads and writes images through.
#include <objidl.h>
// GDI+ needs them declared first.
#include <gdiplus.h>

#include <string>

namespace qgui::win {

// Starts GDI+ once; false when it cannot be started.
bool startGdiplus();

// The class id of the installed PNG encoder; false when there is none.
bool pngEncoder(CLSID& clsid);

// UTF-8 text as the wide string GDI+ takes.
std::wstring wide(const char* utf8);

}  // namespace qgui::win
