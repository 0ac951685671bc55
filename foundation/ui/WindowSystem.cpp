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

namespace {
constexpr char kSheetWhenShown[] = "styleSheetWhenShown";
constexpr char kSheetsHeldBack[] = "vemraStyleSheetsHeldBack";

void ApplyHeldSheet(QWidget* control) {
  const QVariant held = control->property(kSheetWhenShown);
  if (!held.isValid()) return;
  control->setProperty(kSheetWhenShown, QVariant());
  control->setStyleSheet(held.toString());
}

// The window's own controls: a dialog owned by the window is a window of its own.
void ApplyHeldSheets(QWidget* window) {
  ApplyHeldSheet(window);
  for (QWidget* control : window->findChildren<QWidget*>())
    if (control->window() == window) ApplyHeldSheet(control);
}

// Applies the held sheets as the window's polish begins: its controls are polished right after
// it, so each is polished once, with its sheet.
class TSheetsOnPolish final : public QObject {
 public:
  explicit TSheetsOnPolish(QWidget* window) : QObject(window) { window->installEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish && watched == parent()) {
      auto* window = static_cast<QWidget*>(watched);
      window->removeEventFilter(this);
      window->setProperty(kSheetsHeldBack, QVariant());
      ApplyHeldSheets(window);
      deleteLater();
    }
    return false;
  }
};
}  // namespace

void PolishWhenShown(QWidget* window) {
  if (window == nullptr) return;
  QCoreApplication::removePostedEvents(window, QEvent::PolishRequest);
  for (QWidget* control : window->findChildren<QWidget*>())
    QCoreApplication::removePostedEvents(control, QEvent::PolishRequest);
  if (window->testAttribute(Qt::WA_WState_Polished)) {
    ApplyHeldSheets(window);
  } else if (!window->property(kSheetsHeldBack).toBool()) {
    window->setProperty(kSheetsHeldBack, true);
    new TSheetsOnPolish(window);
  }
}

void SetStyleSheetWhenShown(QWidget* control, const QString& sheet) {
  if (control == nullptr) return;
  if (control->window()->property(kSheetsHeldBack).toBool()) {
    control->setProperty(kSheetWhenShown, sheet);
  } else {
    control->setProperty(kSheetWhenShown, QVariant());
    control->setStyleSheet(sheet);
  }
}

QString StyleSheetWhenShown(const QWidget* control) {
  const QVariant held = control->property(kSheetWhenShown);
  return held.isValid() ? held.toString() : control->styleSheet();
}

}  // namespace vemra
