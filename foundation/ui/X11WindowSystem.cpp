// The window helpers on an X11 display: key state from XQueryKeymap, simulated keys through
// XTest, activation through the window manager (_NET_ACTIVE_WINDOW) or, without one, by
// raising the window and giving it the input focus. The helpers use their own connection, so
// an X error here never reaches Qt's.

// Qt first: Xlib's macros (Bool, Status, None) would break Qt's headers.
#include <QGuiApplication>
#include <QWidget>
#include <chrono>
#include <memory>
#include <thread>

#include "WindowSystem.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace vemra {

namespace {

// Catches the X errors of the calls inside its scope (made on our own connection).
class TScopedXErrorTrap {
 public:
  explicit TScopedXErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    errorSeen_ = false;
    previous_ = XSetErrorHandler(&TScopedXErrorTrap::Handler);
  }
  ~TScopedXErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  TScopedXErrorTrap(const TScopedXErrorTrap&) = delete;
  TScopedXErrorTrap& operator=(const TScopedXErrorTrap&) = delete;
  // Whether an error arrived so far (syncs first).
  bool Failed() {
    XSync(display_, False);
    return errorSeen_;
  }

 private:
  static int Handler(Display*, XErrorEvent*) {
    errorSeen_ = true;
    return 0;
  }
  static inline bool errorSeen_ = false;
  Display* display_;
  XErrorHandler previous_ = nullptr;
};

KeySym KeySymOfVirtualKey(int vk) {
  if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
  if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
  if (vk >= VK_F1 && vk < VK_F1 + 24) return XK_F1 + (vk - VK_F1);
  switch (vk) {
    case VK_BACK: return XK_BackSpace;
    case VK_TAB: return XK_Tab;
    case VK_RETURN: return XK_Return;
    case VK_SHIFT: return XK_Shift_L;
    case VK_CONTROL: return XK_Control_L;
    case VK_MENU: return XK_Alt_L;
    case VK_ESCAPE: return XK_Escape;
    case VK_SPACE: return XK_space;
    case VK_LEFT: return XK_Left;
    case VK_UP: return XK_Up;
    case VK_RIGHT: return XK_Right;
    case VK_DOWN: return XK_Down;
    case VK_INSERT: return XK_Insert;
    case VK_DELETE: return XK_Delete;
    default: return NoSymbol;
  }
}

class TX11WindowSystem final : public IWindowSystem {
 public:
  explicit TX11WindowSystem(Display* display) : display_(display) {
    int event = 0, error = 0, major = 0, minor = 0;
    xtest_ = XTestQueryExtension(display_, &event, &error, &major, &minor);
  }
  ~TX11WindowSystem() override { XCloseDisplay(display_); }

  bool Available() const override { return true; }

  bool IsCtrlDown() override {
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    for (KeySym sym : {XK_Control_L, XK_Control_R}) {
      const KeyCode code = XKeysymToKeycode(display_, sym);
      if (code != 0 && (keys[code / 8] & (1 << (code % 8)))) return true;
    }
    return false;
  }

  bool IsLeftButtonDown() override {
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY, &x, &y, &mask))
      return false;
    return (mask & Button1Mask) != 0;
  }

  void SendKey(int virtualKey, bool down) override {
    if (!xtest_) return;
    const KeySym sym = KeySymOfVirtualKey(virtualKey);
    if (sym == NoSymbol) return;
    const KeyCode code = XKeysymToKeycode(display_, sym);
    if (code == 0) return;
    TScopedXErrorTrap trap(display_);
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
  }

  bool ForceForegroundWindow(QWidget* widget) override {
    if (!widget || QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    QWidget* top = widget->window();
    if (top->isMinimized()) top->setWindowState((top->windowState() & ~Qt::WindowMinimized) | Qt::WindowNoState);
    if (!top->isVisible()) return false;
    const Window window = static_cast<Window>(top->winId());
    if (IsActive(window)) return true;

    top->raise();
    top->activateWindow();
    {
      TScopedXErrorTrap trap(display_);
      if (HasWindowManager()) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // from a pager: not subject to focus-stealing rules
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, DefaultRootWindow(display_), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
      } else {
        XRaiseWindow(display_, window);
        XSetInputFocus(display_, window, RevertToParent, CurrentTime);
      }
    }
    // The window manager acts asynchronously; wait a bounded moment for the result.
    for (int i = 0; i < 50; ++i) {
      if (IsActive(window)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  bool HasWindowManager() {
    const Window check = WindowProperty(DefaultRootWindow(display_), "_NET_SUPPORTING_WM_CHECK");
    return check != 0 && WindowProperty(check, "_NET_SUPPORTING_WM_CHECK") == check;
  }

  // A WINDOW-typed property's value; 0 when absent or on any error.
  Window WindowProperty(Window window, const char* name) {
    TScopedXErrorTrap trap(display_);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window value = 0;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) == Success &&
        data && type == XA_WINDOW && format == 32 && count == 1)
      value = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return trap.Failed() ? 0 : value;
  }

  // Whether the window (or one of its descendants) has the input focus, or the window
  // manager names it as the active window.
  bool IsActive(Window window) {
    if (HasWindowManager() && WindowProperty(DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW") == window)
      return true;
    TScopedXErrorTrap trap(display_);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    for (int depth = 0; focus > PointerRoot && depth < 64; ++depth) {
      if (focus == window) return true;
      Window root = 0, parent = 0, *children = nullptr;
      unsigned int count = 0;
      if (!XQueryTree(display_, focus, &root, &parent, &children, &count)) break;
      if (children) XFree(children);
      if (parent == root) break;
      focus = parent;
    }
    return false;
  }

  Display* display_;
  bool xtest_ = false;
};

}  // namespace

std::unique_ptr<IWindowSystem> CreateX11WindowSystem() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return std::make_unique<TX11WindowSystem>(display);
}

}  // namespace vemra
