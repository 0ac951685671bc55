#include "WindowSystem.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>

namespace vemra {

namespace {
class TNoWindowSystem final : public IWindowSystem {
 public:
  bool Available() const override { return false; }
  bool IsCtrlDown() override { return false; }
  bool IsLeftButtonDown() override { return false; }
  void SendKey(int, bool) override {}
  bool ForceForegroundWindow(QWidget*) override { return false; }
};
IWindowSystem* installed = nullptr;
}  // namespace

IWindowSystem& WindowSystem() {
  static TNoWindowSystem none;
  if (installed) return *installed;
  // The desktop's own implementation, opened on first use once the application says which
  // platform it runs on; offscreen runs get none.
  static std::unique_ptr<IWindowSystem> x11;
  static bool decided = false;
  if (!decided && qGuiApp) {
    decided = true;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) x11 = CreateX11WindowSystem();
  }
  return x11 ? *x11 : none;
}
void SetWindowSystem(IWindowSystem* implementation) { installed = implementation; }

void TRecordingWindowSystem::SendKey(int virtualKey, bool down) { keys.push_back({virtualKey, down}); }
bool TRecordingWindowSystem::ForceForegroundWindow(QWidget* window) {
  foregroundCalls.push_back(window);
  return foregroundResult;
}

bool IsCtrlDown() { return WindowSystem().IsCtrlDown(); }
bool IsLeftButtonDown() { return WindowSystem().IsLeftButtonDown(); }
void PressKey(int virtualKey) {
  WindowSystem().SendKey(virtualKey, true);
  WindowSystem().SendKey(virtualKey, false);
}
void KeyDown(int virtualKey) { WindowSystem().SendKey(virtualKey, true); }
void KeyUp(int virtualKey) { WindowSystem().SendKey(virtualKey, false); }
bool ForceForegroundWindow(QWidget* window) { return WindowSystem().ForceForegroundWindow(window); }
QWidget* FindVisibleFormByClass(const QString& className) {
  const QList<QWidget*> windows = QApplication::topLevelWidgets();
  for (QWidget* window : windows) {
    QString name = QString::fromLatin1(window->metaObject()->className());
    name = name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);  // without the namespace
    if (window->isVisible() && name.compare(className, Qt::CaseInsensitive) == 0) return window;
  }
  return nullptr;
}

void PolishWhenShown(QWidget* window) {
  if (window == nullptr) return;
  QCoreApplication::removePostedEvents(window, QEvent::PolishRequest);
  for (QWidget* control : window->findChildren<QWidget*>())
    QCoreApplication::removePostedEvents(control, QEvent::PolishRequest);
}

}  // namespace vemra
