// vemrasetup: the installer. Exit status 0 after an installation, 1 otherwise.
#include <QApplication>

#include "FrmInstall.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vemrasetup"));
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    vemra::TFrmInstall window(arguments);
    if (window.Ended()) return 1;
    window.show();
    QApplication::exec();
    return window.Installed() ? 0 : 1;
}
