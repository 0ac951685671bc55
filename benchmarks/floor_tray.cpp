// The floor of the whole-program benchmark (programs.sh): a bare Qt tray program that does the
// least a converter of copied text must do. A tray icon; on a clipboard change while Ctrl is
// held it reads the copied text, splits it into rows and cells, reads every cell as a number
// and shows a frameless window at the mouse with the first rows and the total; releasing Ctrl
// hides it. Nothing is converted, formatted or logged.
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
        painter.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignLeft | Qt::AlignTop, text);
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
        const QStringList rows = copied.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        double total = 0;
        qsizetype cells = 0;
        QStringList shown;
        for (const QString& row : rows) {
            const QStringList items = row.split(QLatin1Char('\t'));
            for (QString item : items) {
                total += item.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
                ++cells;
            }
            if (shown.size() < 30) shown << row;
        }
        shown << QStringLiteral("%1 cells, total %2").arg(cells).arg(total, 0, 'f', 2);
        balloon.text = shown.join(QLatin1Char('\n'));
        balloon.resize(balloon.fontMetrics().boundingRect(QRect(0, 0, 1000, 1000), 0, balloon.text).size() +
                       QSize(16, 8));
        balloon.move(QCursor::pos() + QPoint(12, 12));
        balloon.show();
        ctrlWatch.start();
    });
    return app.exec();
}
