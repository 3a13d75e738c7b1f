// The adaptor's window class: the child window the effect's editor lives in, inside the host's
// view window. Window ids are X11 window ids or HWNDs carried in std::uintptr_t.
// X11: the class owns one display connection while it is registered; its "window procedure" runs
// for the pending events of that connection whenever the adaptor gets idle time.
// Windows (EditorWindow_win.cpp): a registered Win32 window class whose procedure the host's
// message loop runs; the owner is the window's user data.
// Main thread only.
#pragma once

#include <cstdint>

class CPluginWrapper;

namespace wrapper {

constexpr const char* kWindowClassName = "CPluginWrapperWindowClass2";
constexpr const char* kWindowTitle = "PluginWindow";

void registerWindowClass();
void unregisterWindowClass();
bool windowClassRegistered();

// Child window at (0, 30), 5 x 5, mapped, of `parent` (0: the desktop, i.e. the root window),
// storing `owner` as its user data. 0 when there is no display or the parent does not exist.
std::uintptr_t createChildWindow(std::uintptr_t parent, CPluginWrapper* owner);
// Size of a window's client area; false for an unknown window.
bool clientSize(std::uintptr_t window, int* width, int* height);
// Moves and sizes without changing the stacking order. Sizes below 1 become 1.
void placeWindow(std::uintptr_t window, int x, int y, int width, int height);
void showWindow(std::uintptr_t window);
// Invalidates the whole window so it is painted again.
void redrawWindow(std::uintptr_t window);
void destroyWindow(std::uintptr_t window);
CPluginWrapper* windowOwner(std::uintptr_t window);
void clearWindowOwner(std::uintptr_t window);
// The window procedure for every pending event of the class's connection: a close request or
// the destruction of a child window (with the host's window) closes that window's editor.
void dispatchWindowEvents();
// Geometry as the server sees it (tests): position in the parent and size.
bool windowGeometry(std::uintptr_t window, int* x, int* y, int* width, int* height);

}  // namespace wrapper
