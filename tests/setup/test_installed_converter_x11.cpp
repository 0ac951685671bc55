// The converter as the installer leaves it: started from the installation on a real X server
// with a tray host, it converts a table copied with Ctrl held in another program and pastes
// the result back into it from its balloon.
#include <gtest/gtest.h>

#include <QProcess>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "CommandChannel.h"
#include "SetupTestSupport.h"
#include "platform/GlobalAtoms.h"
#include "rtl/SysUtils.h"

namespace vemra::test {
namespace {

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        ::pclose(pipe);
    }
    return out;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

int DistanceToRect(const Geometry& g, int x, int y) {
    const int dx = x < g.x ? g.x - x : x > g.x + g.width ? x - g.x - g.width : 0;
    const int dy = y < g.y ? g.y - y : y > g.y + g.height ? y - g.y - g.height : 0;
    return dx + dy;
}

// The visible window of the process nearest to the mouse at (x, y): the balloon shows there
// (the tray icon is too small to count).
bool BalloonNear(qint64 pid, int x, int y, Geometry& found) {
    std::istringstream ids(Capture("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"));
    bool any = false;
    for (std::string id; ids >> id;) {
        Geometry g;
        std::istringstream shell(Capture("xdotool getwindowgeometry --shell " + id));
        for (std::string line; std::getline(shell, line);) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq);
            const int value = std::atoi(line.c_str() + eq + 1);
            if (key == "X") g.x = value;
            if (key == "Y") g.y = value;
            if (key == "WIDTH") g.width = value;
            if (key == "HEIGHT") g.height = value;
        }
        if (g.width > 60 && (!any || DistanceToRect(g, x, y) < DistanceToRect(found, x, y))) {
            found = g;
            any = true;
        }
    }
    return any;
}

TEST(InstalledConverterX11, StartsFromTheInstallationAndConvertsACopyMadeWithCtrl) {
    SetupHome home;
    ASSERT_TRUE(home.InstallUnattended(home.home / "Plug"));
    home.window.reset();

    QProcess converter;
    converter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    converter.start(QString::fromStdString(home.home / ".local/opt/Vemra/vemra"), {});
    ASSERT_TRUE(converter.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([] { return platform::GlobalFindAtom("JustOneVemraApp") != 0; }, 20000));
    WaitUntil([] { return false; }, 2000);
    ASSERT_EQ(converter.state(), QProcess::Running);

    const std::string out = home.home / "pasted.txt";
    QProcess target;
    target.start(QString::fromUtf8(VEMRA_PASTE_TARGET), {QString::fromStdString(out)});
    ASSERT_TRUE(target.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(out + ".ready"); }));

    Shell("xdotool keyup ctrl; xdotool mousemove 400 300");
    Shell("xdotool keydown ctrl");
    const std::string copied = "10\t20\n30\t40\n";
    WriteText(home.home / "copy.txt", copied);
    ASSERT_EQ(Shell("xclip -selection clipboard -t text/plain -i " + home.home / "copy.txt"), 0);
    Geometry balloon;
    WaitUntil([] { return false; }, 1000);
    ASSERT_TRUE(WaitUntil([&] { return BalloonNear(converter.processId(), 400, 300, balloon); }, 10000))
        << "no balloon";
    Shell("xdotool mousemove " + std::to_string(balloon.x + balloon.width - 7) + " " + std::to_string(balloon.y + 8) +
          " click 1");
    ASSERT_TRUE(WaitUntil([&] { return !ReadText(out).empty(); }, 10000)) << "nothing was pasted";
    Shell("xdotool keyup ctrl");
    const std::string pasted = ReadText(out);
    EXPECT_NE(pasted, "10\t20\n30\t40");
    EXPECT_NE(pasted.find('\t'), std::string::npos) << pasted;
    EXPECT_NE(pasted.find('\n'), std::string::npos) << pasted;

    target.kill();
    target.waitForFinished(2000);
    ui::PostCommand(QStringLiteral("TVMRConverter"), 99, 0);
    EXPECT_TRUE(converter.waitForFinished(10000));
}

}  // namespace
}  // namespace vemra::test
