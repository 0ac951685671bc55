// vmrupdater: removes the installation when started with "/UNINSTALL" (the uninstall shortcut
// and the uninstall entry start it so); any other start does nothing and says so.
#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "CommandChannel.h"
#include "SetupCore.h"
#include "SysWinCore.h"
#include "Uninstall.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2 || vemra::UpperCase(argv[1]) != vemra::setup::kUninstallArgument) {
        std::fprintf(stderr, "vmrupdater: nothing to do; the only task is /UNINSTALL (removes Vemra).\n");
        return 0;
    }
    // The installation this updater belongs to, never another one the user can see.
    vemra::SelectInstallRecord(vemra::RunningProgramFolder());
    const auto result = vemra::updater::Uninstall(
        [] { vemra::ui::PostCommand(QStringLiteral("TVMRConverter"), 99, 0, 500); },
        [] { QThread::msleep(vemra::setup::kQuitPassMs); });
    if (!result.Ok) {
        std::fprintf(stderr, "vmrupdater: %s\n", result.Error.c_str());
        return 1;
    }
    std::printf("Vemra has been removed; your rates, currencies, logs and settings were kept.\n");
    return 0;
}
