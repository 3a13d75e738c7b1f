#include "wrapper/EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>

#include "platform/XErrorTrap.h"
#include "wrapper/CPluginWrapper.h"

namespace wrapper {
namespace {

struct WindowClass {
    bool registered = false;
    Display* display = nullptr;  // opened on first use, closed when unregistered
    XContext userData = 0;
    Atom deleteWindow = 0;
};

WindowClass windowClass;

Display* display() {
    if (!windowClass.registered) return nullptr;
    if (windowClass.display == nullptr) {
        windowClass.display = XOpenDisplay(nullptr);
        if (windowClass.display != nullptr)
            windowClass.deleteWindow = XInternAtom(windowClass.display, "WM_DELETE_WINDOW", False);
    }
    return windowClass.display;
}

Window asWindow(std::uintptr_t w) {
    return static_cast<Window>(w);
}

}  // namespace

void registerWindowClass() {
    if (windowClass.registered) return;
    windowClass.registered = true;
    windowClass.userData = XUniqueContext();
}

void unregisterWindowClass() {
    if (!windowClass.registered) return;
    if (windowClass.display != nullptr) XCloseDisplay(windowClass.display);
    windowClass = WindowClass{};
}

bool windowClassRegistered() {
    return windowClass.registered;
}

std::uintptr_t createChildWindow(std::uintptr_t parent, CPluginWrapper* owner) {
    Display* d = display();
    if (d == nullptr) return 0;
    const Window parentWindow = parent != 0 ? asWindow(parent) : DefaultRootWindow(d);
    platform::XErrorTrap trap(d);
    XSetWindowAttributes attributes{};
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    const Window child = XCreateWindow(d, parentWindow, 0, 30, 5, 5, 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWEventMask, &attributes);
    if (trap.failed() || child == 0) return 0;
    XStoreName(d, child, kWindowTitle);
    XClassHint hint{const_cast<char*>(kWindowClassName), const_cast<char*>(kWindowClassName)};
    XSetClassHint(d, child, &hint);
    XSetWMProtocols(d, child, &windowClass.deleteWindow, 1);
    XSaveContext(d, child, windowClass.userData, reinterpret_cast<XPointer>(owner));
    XMapWindow(d, child);  // created visible
    XFlush(d);
    return static_cast<std::uintptr_t>(child);
}

bool clientSize(std::uintptr_t window, int* width, int* height) {
    Display* d = display();
    if (d == nullptr || window == 0) return false;
    platform::XErrorTrap trap(d);
    XWindowAttributes a{};
    const Status ok = XGetWindowAttributes(d, asWindow(window), &a);
    if (trap.failed() || !ok) return false;
    *width = a.width;
    *height = a.height;
    return true;
}

void placeWindow(std::uintptr_t window, int x, int y, int width, int height) {
    Display* d = display();
    if (d == nullptr || window == 0) return;
    platform::XErrorTrap trap(d);
    XMoveResizeWindow(d, asWindow(window), x, y, static_cast<unsigned>(width < 1 ? 1 : width),
                      static_cast<unsigned>(height < 1 ? 1 : height));
}

void showWindow(std::uintptr_t window) {
    Display* d = display();
    if (d == nullptr || window == 0) return;
    platform::XErrorTrap trap(d);
    XMapRaised(d, asWindow(window));
}

void redrawWindow(std::uintptr_t window) {
    Display* d = display();
    if (d == nullptr || window == 0) return;
    platform::XErrorTrap trap(d);
    XClearArea(d, asWindow(window), 0, 0, 0, 0, True);  // whole window, with Expose events
}

void destroyWindow(std::uintptr_t window) {
    Display* d = display();
    if (d == nullptr || window == 0) return;
    platform::XErrorTrap trap(d);
    XDeleteContext(d, asWindow(window), windowClass.userData);
    XDestroyWindow(d, asWindow(window));
}

CPluginWrapper* windowOwner(std::uintptr_t window) {
    Display* d = display();
    if (d == nullptr || window == 0) return nullptr;
    XPointer owner = nullptr;
    if (XFindContext(d, asWindow(window), windowClass.userData, &owner) != 0) return nullptr;
    return reinterpret_cast<CPluginWrapper*>(owner);
}

void clearWindowOwner(std::uintptr_t window) {
    Display* d = display();
    if (d != nullptr && window != 0) XDeleteContext(d, asWindow(window), windowClass.userData);
}

void dispatchWindowEvents() {
    Display* d = windowClass.display;
    if (d == nullptr) return;
    // The trap's synchronisation also brings in every notice the server has for us, so a window
    // the host destroyed before this call is known to be gone when the call ends.
    platform::XErrorTrap trap(d);
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        const std::uintptr_t window = event.xany.window;
        CPluginWrapper* owner = windowOwner(window);
        if (event.type == ClientMessage &&
            static_cast<Atom>(event.xclient.data.l[0]) == windowClass.deleteWindow) {
            clearWindowOwner(window);
            if (owner) owner->CloseEditor();
        } else if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
            // Destroyed with the host's window: the editor closes without touching it again.
            clearWindowOwner(window);
            if (owner) owner->EditorWindowDestroyed(window);
        }
        // Expose: the effect's editor paints its own window; nothing to draw here.
    }
}

bool windowGeometry(std::uintptr_t window, int* x, int* y, int* width, int* height) {
    Display* d = display();
    if (d == nullptr || window == 0) return false;
    platform::XErrorTrap trap(d);
    XWindowAttributes a{};
    const Status ok = XGetWindowAttributes(d, asWindow(window), &a);
    if (trap.failed() || !ok) return false;
    *x = a.x;
    *y = a.y;
    *width = a.width;
    *height = a.height;
    return true;
}

}  // namespace wrapper
