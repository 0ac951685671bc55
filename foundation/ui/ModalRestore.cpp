#include "ModalRestore.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace vemra {

namespace {

class TModalRestorer : public QObject {
 public:
  explicit TModalRestorer(QWidget* window) : QObject(window) { window->installEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QWidget*>(watched);
    if (window != nullptr && event->type() == QEvent::WindowStateChange && window->isModal() &&
        window->isMinimized()) {
      // After the state change has run its course: restoring inside it is not seen by every
      // window manager.
      QTimer::singleShot(0, window, [guarded = QPointer<QWidget>(window)] {
        if (guarded == nullptr || !guarded->isMinimized()) return;
        guarded->setWindowState(guarded->windowState() & ~Qt::WindowMinimized);
        guarded->show();
        guarded->raise();
        guarded->activateWindow();
      });
    }
    return false;
  }
};

}  // namespace

void KeepRestoredWhileModal(QWidget* window) { new TModalRestorer(window); }

}  // namespace vemra
