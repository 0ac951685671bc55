// The floor of the whole-program benchmark (programs.sh): a bare Qt tray program that does the
// least a converter of copied text must do. A tray icon; on a clipboard change while Ctrl is
// held it reads the copied text and shows a frameless window at the mouse with the number of
// cells; releasing Ctrl hides it. Nothing is converted.
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {

class Balloon : public QWidget {
public:
    Balloon() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {}
    QString text;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(255, 255, 225));
        gradient.setColorAt(1, QColor(255, 236, 160));
        painter.fillRect(rect(), gradient);
        painter.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("floortray"));
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(QColor(40, 120, 200));
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setToolTip(QStringLiteral("floor"));
    tray.show();

    Balloon balloon;
    QTimer ctrlWatch;
    ctrlWatch.setInterval(100);
    QObject::connect(&ctrlWatch, &QTimer::timeout, [&] {
        if (!(QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier)) {
            balloon.hide();
            ctrlWatch.stop();
        }
    });
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [&] {
        if (balloon.isVisible() || !(QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier)) return;
        const QString copied = QGuiApplication::clipboard()->text();
        if (copied.isEmpty()) return;
        const qsizetype cells = copied.count(QLatin1Char('\t')) + copied.count(QLatin1Char('\n'));
        balloon.text = QStringLiteral("%1 cells").arg(cells);
        balloon.resize(240, 60);
        balloon.move(QCursor::pos() + QPoint(12, 12));
        balloon.show();
        ctrlWatch.start();
    });
    return app.exec();
}
