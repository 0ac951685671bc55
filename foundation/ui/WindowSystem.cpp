#include "WindowSystem.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

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
// The window's TOnFirstPolish while the window waits for its first polish.
constexpr char kHeldBack[] = "vemraHeldBackUntilPolished";

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

// Applies the held sheets as the window's polish begins (its controls are polished right after
// it, so each is polished once, with its sheet), then runs the waiting actions.
class TOnFirstPolish final : public QObject {
 public:
  explicit TOnFirstPolish(QWidget* window) : QObject(window) {
    window->installEventFilter(this);
    window->setProperty(kHeldBack, QVariant::fromValue<QObject*>(this));
  }

  static TOnFirstPolish* Of(const QWidget* window) {
    return static_cast<TOnFirstPolish*>(window->property(kHeldBack).value<QObject*>());
  }

  void Add(QWidget* control, const char* name, std::function<void()> action) {
    for (TAction& waiting : actions_) {
      if (waiting.control == control && waiting.name == name) {
        waiting.action = std::move(action);
        return;
      }
    }
    actions_.push_back({control, name, std::move(action)});
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish && watched == parent()) {
      auto* window = static_cast<QWidget*>(watched);
      window->removeEventFilter(this);
      window->setProperty(kHeldBack, QVariant());
      ApplyHeldSheets(window);
      const std::vector<TAction> actions = std::move(actions_);
      for (const TAction& waiting : actions)
        if (!waiting.control.isNull()) waiting.action();
      deleteLater();
    }
    return false;
  }

 private:
  struct TAction {
    QPointer<QWidget> control;
    QByteArray name;
    std::function<void()> action;
  };
  std::vector<TAction> actions_;
};
}  // namespace

void PolishWhenShown(QWidget* window) {
  if (window == nullptr) return;
  QCoreApplication::removePostedEvents(window, QEvent::PolishRequest);
  for (QWidget* control : window->findChildren<QWidget*>())
    QCoreApplication::removePostedEvents(control, QEvent::PolishRequest);
  if (window->testAttribute(Qt::WA_WState_Polished))
    ApplyHeldSheets(window);
  else if (TOnFirstPolish::Of(window) == nullptr)
    new TOnFirstPolish(window);
}

void SetStyleSheetWhenShown(QWidget* control, const QString& sheet) {
  if (control == nullptr) return;
  if (TOnFirstPolish::Of(control->window()) != nullptr) {
    control->setProperty(kSheetWhenShown, sheet);
  } else {
    control->setProperty(kSheetWhenShown, QVariant());
    control->setStyleSheet(sheet);
  }
}

void WhenPolished(QWidget* control, const char* name, std::function<void()> action) {
  if (control == nullptr) return;
  if (TOnFirstPolish* held = TOnFirstPolish::Of(control->window()))
    held->Add(control, name, std::move(action));
  else
    action();
}

QString StyleSheetWhenShown(const QWidget* control) {
  const QVariant held = control->property(kSheetWhenShown);
  return held.isValid() ? held.toString() : control->styleSheet();
}

}  // namespace vemra
