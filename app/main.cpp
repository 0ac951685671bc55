// The converter program: the data module, the hidden main window that runs the start-up,
// the splash window, then the message loop. The program lives in the notification area.

#include <QApplication>
#include <QTimer>

#include "VMRConverterForm.h"
#include "VMRSplashForm.h"
#include "dm.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // No display name here: Qt appends it to every title, and it comes from the language file.
    QApplication::setApplicationName(QStringLiteral("vemra"));
    // The window is hidden most of the time: closing or hiding windows never ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    vemra::dm = new vemra::Tdm();
    int code = 0;
    {
        vemra::TVMRConverter converter;
        if (vemra::InitResult == 0) {
            // The splash runs inside the message loop, so an end asked for while it shows
            // (SIGTERM, the tray's end item, a command) ends the loop instead of being lost.
            QTimer::singleShot(0, [] { vemra::ShowSplash(false); });
            code = QApplication::exec();
        } else {
            code = vemra::InitResult;
        }
    }
    delete vemra::dm;
    vemra::dm = nullptr;
    return code;
}
