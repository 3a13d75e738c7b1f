// X11 reports errors asynchronously, and Xlib's default handler ends the process: a host window
// that is gone, or an id that never was a window, would take the whole host down. While a trap
// lives, errors on its display are counted instead; errors on other connections (the host's
// own) still go to the handler that was installed before. Traps nest. The trap synchronises with
// the server when it starts and ends, so the errors it sees are those of the requests made while
// it lives.
//
// Header only, so that both plug-in libraries and the adaptor carry their own copy without
// linking X11 into this folder's library. User-interface thread only.
#pragma once

#include <X11/Xlib.h>

namespace platform {

class XErrorTrap {
  public:
    explicit XErrorTrap(Display* display) : display_(display) {
        if (display_ == nullptr) return;
        XSync(display_, False);
        State& s = state();
        outerDisplay_ = s.display;
        outerErrors_ = s.errors;
        if (s.depth++ == 0) s.previous = XSetErrorHandler(handle);
        s.display = display_;
        s.errors = 0;
    }
    ~XErrorTrap() {
        if (display_ == nullptr) return;
        XSync(display_, False);
        State& s = state();
        s.display = outerDisplay_;
        s.errors = outerErrors_;
        if (--s.depth == 0) XSetErrorHandler(s.previous);
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // True when a request made since the trap was set failed.
    bool failed() {
        if (display_ == nullptr) return false;
        XSync(display_, False);
        return state().errors != 0;
    }

  private:
    struct State {
        Display* display = nullptr;  // of the innermost trap
        int errors = 0;
        int depth = 0;
        XErrorHandler previous = nullptr;
    };
    static State& state() {
        static State s;
        return s;
    }
    static int handle(Display* display, XErrorEvent* event) {
        State& s = state();
        if (display == s.display) {
            ++s.errors;
            return 0;
        }
        return s.previous ? s.previous(display, event) : 0;
    }

    Display* display_;
    Display* outerDisplay_ = nullptr;
    int outerErrors_ = 0;
};

}  // namespace platform
