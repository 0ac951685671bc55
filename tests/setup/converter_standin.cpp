// A stand-in converter for the installer's tests while the real program is not built: it holds
// the single-instance mark and quits on command 99, as the converter does.
#include <QCoreApplication>

#include "CommandChannel.h"
#include "platform/GlobalAtoms.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const auto atom = vemra::platform::GlobalAddAtom("JustOneVemraApp");
    vemra::ui::TCommandServer server(QStringLiteral("TVMRConverter"));
    QObject::connect(&server, &vemra::ui::TCommandServer::Command, [](quint32 wParam, qint64) {
        if (wParam == 99) QCoreApplication::quit();
    });
    if (!server.Listen()) return 1;
    const int code = QCoreApplication::exec();
    vemra::platform::GlobalDeleteAtom(atom);
    return code;
}
