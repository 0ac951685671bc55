#pragma once
// Keyboard state, simulated keys and window activation of the desktop behind one small
// interface: an X11 implementation for the real desktop, a recording fake for offscreen tests.
// The free functions use the installed implementation; without an X display they answer
// false and do nothing. Beside them, the deferred polish of windows that start hidden.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vemra {

// The virtual key codes the program sends or asks for.
inline constexpr int VK_LBUTTON = 0x01;
inline constexpr int VK_BACK = 0x08;
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_SHIFT = 0x10;
inline constexpr int VK_CONTROL = 0x11;
inline constexpr int VK_MENU = 0x12;  // Alt
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_INSERT = 0x2D;
inline constexpr int VK_DELETE = 0x2E;
inline constexpr int VK_F1 = 0x70;  // VK_F1 + i for F1..F24
// Letters and digits are their upper-case ASCII codes ('V' = 0x56, '0' = 0x30).

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  // Whether the desktop has a display this implementation can reach.
  virtual bool Available() const = 0;
  // The Ctrl key (either one) is down now.
  virtual bool IsCtrlDown() = 0;
  // The left mouse button is down now.
  virtual bool IsLeftButtonDown() = 0;
  // One key event for a virtual key: down or up. Unknown keys do nothing.
  virtual void SendKey(int virtualKey, bool down) = 0;
  // Brings the window to the front with the keyboard focus (restoring it when minimised);
  // true when it is then the active window.
  virtual bool ForceForegroundWindow(QWidget* window) = 0;
};

// The installed implementation: the X11 one when the application runs on the xcb platform,
// else a harmless one (Available() false).
IWindowSystem& WindowSystem();
// Installs an implementation (not owned; nullptr restores the default). For tests.
void SetWindowSystem(IWindowSystem* implementation);
// A connection of its own to the X display named by DISPLAY; nullptr when none can be opened.
std::unique_ptr<IWindowSystem> CreateX11WindowSystem();

// Records every call and answers from its fields; for tests without a display.
class TRecordingWindowSystem : public IWindowSystem {
 public:
  struct KeyEvent {
    int virtualKey;
    bool down;
    bool operator==(const KeyEvent&) const = default;
  };
  bool Available() const override { return true; }
  bool IsCtrlDown() override { return ctrlDown; }
  bool IsLeftButtonDown() override { return leftButtonDown; }
  void SendKey(int virtualKey, bool down) override;
  bool ForceForegroundWindow(QWidget* window) override;

  bool ctrlDown = false;
  bool leftButtonDown = false;
  bool foregroundResult = true;
  std::vector<KeyEvent> keys;            // every SendKey, in order
  std::vector<QWidget*> foregroundCalls;  // every ForceForegroundWindow, in order
};

// The program's helpers, on the installed implementation.
bool IsCtrlDown();
bool IsLeftButtonDown();
// One key-down and one key-up event for the virtual key.
void PressKey(int virtualKey);
void KeyDown(int virtualKey);
void KeyUp(int virtualKey);
bool ForceForegroundWindow(QWidget* window);
// The first visible top-level window (in the application's window order) whose class name
// (its meta-object class name without namespace) equals className, letter case ignored;
// nullptr when none.
QWidget* FindVisibleFormByClass(const QString& className);

// Every new widget asks to be polished (its style and style sheet applied) at the next turn of
// the event loop, shown or not. For a window that starts hidden this drops those requests of
// the window and the controls made so far: showing it polishes it with all its controls first,
// so it is polished when it first shows instead of at every start.
// It also holds back the controls' style sheets, which cost far more: each makes a style
// object for its control and its children at once, and a drop-down list builds its popup for
// it. A control's sheet waits in its property "styleSheetWhenShown" (forms set it there, code
// through SetStyleSheetWhenShown) and is applied when the window is first polished.
void PolishWhenShown(QWidget* window);
// Sets a control's style sheet now, or, while its window waits to be polished (see above),
// when the window is first polished.
void SetStyleSheetWhenShown(QWidget* control, const QString& sheet);
// The style sheet a control has or will have once its window is polished.
QString StyleSheetWhenShown(const QWidget* control);
// Runs action now, or, while the control's window waits to be polished (see PolishWhenShown),
// once it is first polished, after the sheets; a later action of the same name for the
// control replaces one still waiting.
void WhenPolished(QWidget* control, const char* name, std::function<void()> action);

}  // namespace vemra
