// A pugl backend for Win32 windows drawn with GDI by the frame itself: pugl's window without the
// pixel format its OpenGL-minded backends set on it (under wine a window with a pixel format
// shows nothing drawn with GDI). Built with pugl's own sources (gui/CMakeLists.txt).
#include "PuglGdiBackend.h"

#include "stub.h"
#include "types.h"
#include "win.h"

static PuglStatus configure(PuglView* view) {
    PuglInternals* const impl = view->impl;
    return puglWinCreateWindow(view, "Pugl", &impl->hwnd, &impl->hdc);
}

const PuglBackend* qrxPuglGdiBackend(void) {
    static const PuglBackend backend = {configure,    puglStubCreate, puglStubDestroy,
                                        puglWinEnter, puglWinLeave,   puglStubGetContext};
    return &backend;
}
