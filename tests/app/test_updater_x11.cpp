// The update timer in the running converter on a real X server with a tray host: a converter
// started in this process on a laid-out installation, its rate source pointed at a page on
// 127.0.0.1, fetches the due day's rates on the timer's first run and converts with them; and
// the installed program started alone does the same.

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>

#include <sys/stat.h>
#include <csignal>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "CommandChannel.h"
#include "ConverterTestSupport.h"
#include "CurrencyConverter.h"
#include "InstallationLayout.h"
#include "PlugginMan.h"
#include "TimeUtils.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class UpdaterX11Test : public ::testing::Test, protected ConverterHome {
protected:
    UpdaterX11Test() : ConverterHome("", "vemra-x11updater") {}
    void SetUp() override {
        // The first run a second after start instead of five.
        env.Set("VEMRA_FIRST_UPDATE_MS", "1000");
        ASSERT_NO_FATAL_FAILURE(LayOut());
        const int result = Start([this](Tdm& fresh) {
            Tdm::SetServiceBaseForTests(server.Url(""));  // the version check stays local too
            fresh.ConnectionTest = [] { return true; };
        });
        ASSERT_EQ(result, 0);
    }
    void TearDown() override {
        Stop();
        Tdm::SetServiceBaseForTests("");
    }

    // Points the store at the test server: the selected source ECB gets a page for the newest
    // day it has published by now (that day's file removed) and its last update the day
    // before; every other source asks a port where nothing listens, so no request leaves the
    // machine.
    void PointTheStoreAtTheServer(TDateTime& due, std::string& dayFile) {
        ASSERT_NE(PlugginMan, nullptr);
        ASSERT_EQ(CurrencyConverter->Currencies().ProviderCode, "ECB");
        const int ecb = PlugginMan->IndexOfPlugin("ECB");
        ASSERT_GE(ecb, 0);
        ASSERT_EQ(PlugginMan->SelectedIndex, ecb);
        for (int d = 0; d < 10 && due == 0; ++d) {
            const TDateTime day = LocalToGMT(Now() - d);
            bool exists = false;
            if (PlugginMan->IsUpdateDue(day, dayFile, exists)) due = DateOf(day);
        }
        ASSERT_GT(due, 0);
        ASSERT_LT(ParseDateTimeStamp(CurrencyConverter->Currencies().DateText), due) << "the shipped day is not older";
        if (FileExists(dayFile)) {
            ::chmod(dayFile.c_str(), 0644);
            std::filesystem::remove(dayFile);
        }
        const std::string dueStamp = FormatDateStamp(due);
        std::string page = ReadText(std::string(VEMRA_FIXTURES_DIR) + "/plugins/eurofxref-daily.xml");
        const std::string isoDay = dueStamp.substr(0, 4) + "-" + dueStamp.substr(5, 2) + "-" + dueStamp.substr(8, 2);
        page.replace(page.find("2024-01-17"), 10, isoDay);
        server.Route("/daily.xml", HttpResponse{.body = page});
        THTMLConverterPlugInn& source = *PlugginMan->GetPlugin(ecb);
        source.SetPluginValue("DataUrl", server.Url("/daily.xml"));
        source.SetPluginValue("LastUpdate", FormatDateTimeStamp(due - 1));
        PlugginMan->SaveCurrentPluginDefinition();
        for (int i = 0; i < PlugginMan->Plugins().Count(); ++i) {
            if (i == ecb) continue;
            THTMLConverterPlugInn& other = *PlugginMan->GetPlugin(i);
            other.SetPluginValue("DataUrl", "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/rates");
            PlugginMan->WritePluginDefinition(other.Code, *other.CopyPluginDefinition());
        }
        if (PlugginMan->Store != nullptr) PlugginMan->Store->UpdateFile();
    }

    // Lays out the installation; the in-process converter reads the same one.
    virtual void LayOut() { ASSERT_TRUE(ConverterHome::LayOut(VEMRA_SHIPPED_DIR)) << layoutError; }

    HttpTestServer server;
};

TEST_F(UpdaterX11Test, TheTimerFetchesTheDaysRatesWithinAMinuteAndTheConverterUsesThem) {
    // The start-up armed the timer; the run comes a second after the store points at the server.
    ASSERT_TRUE(module->Updater->isActive());
    TDateTime due = 0;
    std::string dayFile;
    ASSERT_NO_FATAL_FAILURE(PointTheStoreAtTheServer(due, dayFile));
    const std::string dueStamp = FormatDateStamp(due);
    module->StartUpdater();
    ASSERT_TRUE(WaitUntil([&] { return CurrencyConverter->Currencies().DateText == dueStamp; }, 60000))
        << "no new rates within a minute; loaded: " << CurrencyConverter->Currencies().DateText;
    EXPECT_EQ(PlugginMan->LastRateFile(*PlugginMan->CurrentPlugin()), dayFile);
    EXPECT_TRUE(FileExists(dayFile));
    EXPECT_FALSE(module->IsBusy());
    EXPECT_TRUE(module->Updater->isActive());
    EXPECT_GE(module->Updater->interval(), 300000);
    EXPECT_NE(ReadText(Tdm::UpdateLogPath()).find("ECB : UPDATED : " + dayFile), std::string::npos);

    // It converts with the page's rates, and the tray tip names the new day.
    CurrencyConverter->SetFromCurrency("EUR");
    CurrencyConverter->SetToCurrency("USD");
    CurrencyConverter->UpdatePair();
    double result = 0;
    ASSERT_TRUE(CurrencyConverter->ConvertAmount(100, result));
    EXPECT_NEAR(result, 108.77, 0.001);
    ASSERT_NE(window->TrayIcon, nullptr);
    EXPECT_TRUE(window->TrayIcon->toolTip().contains(QString::fromStdString(dueStamp)))
        << window->TrayIcon->toolTip().toStdString();
}

// ---- the installed program ----

// The program laid out as the run command does; this process only prepares the store and the
// pair, then the program runs alone with every address off the machine sent to a closed port.
class InstalledUpdaterX11Test : public UpdaterX11Test {
protected:
    void LayOut() override {
        ASSERT_NO_FATAL_FAILURE(LayOutWithTool(QStringLiteral(VEMRA_LAY_OUT), QStringLiteral(VEMRA_SHIPPED_DIR),
                                               QStringLiteral(VEMRA_PROGRAM), program));
    }
    void TearDown() override {
        if (vemra.state() != QProcess::NotRunning) {
            vemra.kill();
            vemra.waitForFinished(5000);
        }
        UpdaterX11Test::TearDown();
    }
    static std::string Clipboard() {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
        xclip.waitForFinished(5000);
        return xclip.readAllStandardOutput().toStdString();
    }

    // The libraries mapped into the running program that are named so.
    int MappedLibraries(const std::string& name) const {
        const std::string maps = ReadText("/proc/" + std::to_string(vemra.processId()) + "/maps");
        int count = 0;
        for (std::size_t at = maps.find(name); at != std::string::npos; at = maps.find(name, at + 1)) ++count;
        return count;
    }

    // Starts the installed program with every proxy sent to a port where nothing listens,
    // the test server reached directly.
    void StartInstalled() {
        const std::string closed = "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort());
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
            env.Set(name, closed);
        env.Set("no_proxy", "127.0.0.1,localhost");
        vemra.setProcessChannelMode(QProcess::ForwardedChannels);
        vemra.start(program, {});
        ASSERT_TRUE(vemra.waitForStarted(5000));
    }

    QString program;
    QProcess vemra;
};

TEST_F(InstalledUpdaterX11Test, TheInstalledProgramFetchesTheDaysRatesWithinAMinuteAndConvertsWithThem) {
    module->ConnectionTest = [] { return false; };
    TDateTime due = 0;
    std::string dayFile;
    ASSERT_NO_FATAL_FAILURE(PointTheStoreAtTheServer(due, dayFile));
    CurrencyConverter->SetFromCurrency("EUR");
    CurrencyConverter->SetToCurrency("USD");
    CurrencyConverter->UpdatePair();
    const std::string log = Tdm::UpdateLogPath();
    window.reset();  // saves the pair and lets the marker go
    module.reset();
    dm = nullptr;

    ASSERT_NO_FATAL_FAILURE(StartInstalled());
    ASSERT_TRUE(WaitUntil([&] { return ReadText(log).find("ECB : UPDATED : " + dayFile) != std::string::npos; }, 60000))
        << "no new rates within a minute; log: " << ReadText(log);
    EXPECT_TRUE(FileExists(dayFile));
    // The download ran in the helper: the converter never loaded libcurl.
    EXPECT_EQ(MappedLibraries("libcurl"), 0);

    // The copied amount converts at the page's rate (1 EUR = 1.0877 USD); the paste-back
    // command leaves the result on the clipboard.
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-i"});
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write("100\n");
    xclip.closeWriteChannel();
    ASSERT_TRUE(xclip.waitForFinished(5000));
    WaitUntil([] { return false; }, 500);
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 10, 0));
    WaitUntil([] { return false; }, 500);
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 4, 0));
    EXPECT_TRUE(WaitUntil([] { return Clipboard().find("108.77") != std::string::npos; }, 5000))
        << "clipboard: " << Clipboard();
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 99, 0));
    EXPECT_TRUE(WaitUntil([&] { return vemra.state() == QProcess::NotRunning; }, 10000));
}

// A rate server that sends its headers and then nothing, or one byte a second: the installed
// program keeps answering on its window thread (a socket command shows the window) and ends
// within a second when told to, leaving no half-written page and no day rate file.
struct SlowServerCase {
    const char* name;
    HttpResponse page;
    bool bySignal;  // SIGTERM, else command 99 (the tray's end item takes the same way)
};
void PrintTo(const SlowServerCase& c, std::ostream* out) { *out << c.name; }

class SlowServerX11Test : public InstalledUpdaterX11Test, public ::testing::WithParamInterface<SlowServerCase> {
protected:
    int PageRequests() const {
        int count = 0;
        for (const auto& request : server.Requests()) count += request.path == "/daily.xml" ? 1 : 0;
        return count;
    }
    static QStringList Xdotool(const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(5000);
        return QString::fromLatin1(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    static bool WindowShown() { return !Xdotool({"search", "--onlyvisible", "--name", "Vmr-Vemra"}).isEmpty(); }
    static qsizetype VisibleWindows() { return Xdotool({"search", "--onlyvisible", "--class", "vemra"}).size(); }
};

// A sanitized build scans the whole heap for leaks at exit, which a loaded machine can stretch
// past a second; what the bound guards against is waiting out the download's deadline.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kQuitBoundMs = 3000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kQuitBoundMs = 3000;
#else
constexpr long kQuitBoundMs = 1000;
#endif
#else
constexpr long kQuitBoundMs = 1000;
#endif

TEST_P(SlowServerX11Test, TheProgramAnswersDuringTheDownloadAndEndsWithinASecond) {
    module->ConnectionTest = [] { return false; };
    TDateTime due = 0;
    std::string dayFile;
    ASSERT_NO_FATAL_FAILURE(PointTheStoreAtTheServer(due, dayFile));
    server.Route("/daily.xml", GetParam().page);
    const std::string log = Tdm::UpdateLogPath();
    window.reset();
    module.reset();
    dm = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartInstalled());
    ASSERT_TRUE(WaitUntil([&] { return PageRequests() > 0; }, 30000)) << "the update never asked for the page";
    WaitUntil([] { return false; }, 2500);  // well inside the download, the splash window gone
    EXPECT_EQ(MappedLibraries("libcurl"), 0) << "the download runs in the helper";

    // A right click on the tray icon opens its menu; Escape closes it.
    const QStringList icon = Xdotool({"search", "--pid", QString::number(vemra.processId())});
    ASSERT_FALSE(icon.isEmpty()) << "no tray icon";
    const qsizetype before = VisibleWindows();
    Xdotool({"mousemove", "--window", icon.front(), "11", "11", "click", "3"});
    EXPECT_TRUE(WaitUntil([&] { return VisibleWindows() > before; }, 3000)) << "the tray menu did not open";
    Xdotool({"key", "Escape"});
    EXPECT_TRUE(WaitUntil([&] { return VisibleWindows() == before; }, 3000));

    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 2, 0, 1000)) << "the command was not taken";
    EXPECT_TRUE(WaitUntil([] { return WindowShown(); }, 3000)) << "the window thread did not act on the command";
    ASSERT_EQ(vemra.state(), QProcess::Running);

    const auto asked = std::chrono::steady_clock::now();
    if (GetParam().bySignal)
        ::kill(static_cast<pid_t>(vemra.processId()), SIGTERM);
    else
        ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 99, 0, 1000));
    ASSERT_TRUE(WaitUntil([&] { return vemra.state() == QProcess::NotRunning; }, 5000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
    EXPECT_LE(took.count(), kQuitBoundMs) << "ended " << took.count() << " ms after it was asked";
    EXPECT_EQ(vemra.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(vemra.exitCode(), 0);
    EXPECT_FALSE(FileExists(dayFile));
    // The abandoned download is no sign of a missing network.
    EXPECT_EQ(ReadText(log).find("ECB : NO INTERNET"), std::string::npos) << ReadText(log);
    for (const auto& entry : std::filesystem::directory_iterator(ExtractFileDir(dayFile)))
        EXPECT_NE(entry.path().filename().string().rfind(".Data.txt", 0), 0u) << "left behind: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SlowServerX11Test,
    ::testing::Values(
        SlowServerCase{"HeadThenSilence_Sigterm",
                       HttpResponse{.body = "<xml/>", .silenceAfterHead = std::chrono::seconds(120)}, true},
        SlowServerCase{"OneByteASecond_Command99",
                       HttpResponse{.body = std::string(4000, ' '), .byteInterval = std::chrono::seconds(1)}, false}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vemra::test
