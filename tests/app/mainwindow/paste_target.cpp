// The other program of the paste-back tests: one focused text field whose text is written to
// the file named by the first argument at every change.
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString file = QString::fromLocal8Bit(argv[1]);
    QPlainTextEdit edit;
    edit.setWindowTitle(QStringLiteral("paste target"));
    edit.setGeometry(700, 600, 300, 150);
    QObject::connect(&edit, &QPlainTextEdit::textChanged, [&] {
        QFile out(file + ".part");
        if (!out.open(QIODevice::WriteOnly)) return;
        out.write(edit.toPlainText().toUtf8());
        out.close();
        QFile::remove(file);
        QFile::rename(file + ".part", file);
    });
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    // Ready once the window has the focus.
    QFile ready(file + ".ready");
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, [&](QWindow* w) {
        if (w != nullptr && ready.open(QIODevice::WriteOnly)) ready.close();
    });
    return app.exec();
}
