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
      // Restored once the state change has been handled, not from inside it.
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
