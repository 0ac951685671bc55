#pragma once
// The update run's tests: the real data module over a whole temporary installation, the
// plug-in manager, a converter, the fake windows, an HTTP server on 127.0.0.1 standing in for
// the rate sources and the program's service, numbered messages, and a hand that closes every
// message box (recording its text) so the run goes on.

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "DmTestSupport.h"
#include "NetUtils.h"
#include "PlugginMan.h"
#include "PluginTestSupport.h"
#include "RateFile.h"
#include "StreamedIniFile.h"
#include "VMRInfoForm.h"
#include "VMRMessageForm.h"
#include "dm.h"
#include "rtl/Format.h"
#include "support/HttpTestServer.h"

namespace vemra::test {

// The real data module, recording which days it was asked to fetch and what each attempt gave.
class RecordingDm : public Tdm {
public:
    std::uint8_t DownloadRates(TDateTime date) override {
        Downloads.push_back(date);
        const std::uint8_t code = Tdm::DownloadRates(date);
        Codes.push_back(code);
        return code;
    }
    std::vector<TDateTime> Downloads;
    std::vector<std::uint8_t> Codes;
};

// Made first, so that the application exists before any window.
struct AppFirst {
    AppFirst() { App(); }
};

class UpdaterFixture : private AppFirst {
public:
    UpdaterFixture() {
        vemra::dm = &dm;
        StreamKeyProc = TestStreamKeys;  // the data module installs the program's keys
        dm.SetAppWindows(&windows);
        dm.ConnectionTest = [this] { return connected; };
        std::string base = server.Url("");
        Tdm::SetServiceBaseForTests(base);
        PlugginMan = &man;
        man.SetHost(&dm);
        conv.SetHost(&dm);
        conv.SetRateSources(&man.RateSourceHost());
        windows.converter = &conv;
        savedLanguageName_ = LanguageName;
        LanguageName = "ENG";  // the currency names of ENG.vcn
        std::filesystem::copy_file(FixturePath("currencies.vmg"), env.Pub("currencies.vmg"));
        std::filesystem::copy_file(FixturePath("ENG.vcn"), env.Pub("ENG.vcn"));
        EXPECT_TRUE(LoadCurrencyNames(conv.Currencies(), env.Pub("currencies.vmg")));
        LoadMessages();
        boxCloser.setInterval(5);
        QObject::connect(&boxCloser, &QTimer::timeout, [this] {
            if (MsgBox == nullptr || !MsgBox->isVisible()) return;
            Boxes.push_back(MsgBox->lbMsg->text().toStdString());
            MsgBox->btKo->click();
        });
        boxCloser.start();
        savedVersion_ = ProgramVersion;
    }
    ~UpdaterFixture() {
        boxCloser.stop();
        ProgramVersion = savedVersion_;
        LanguageName = savedLanguageName_;
        for (TVMRInfo* popup : std::vector<TVMRInfo*>(TVMRInfo::OpenPopups())) delete popup;
        PlugginMan = nullptr;
        Tdm::SetServiceBaseForTests("");
        InetCloseSession();
    }

    // Message 0 "ENG", the ones the update run shows, every other number empty.
    void LoadMessages() {
        std::string text = "[Messages]\r\n";
        for (int number = 0; number <= 149; ++number) {
            std::string value;
            switch (number) {
                case 0: value = "ENG"; break;
                case 20: value = "%s%s %s on"; break;
                case 21: value = "%s%s %s off"; break;
                case 42: value = "Updating rates"; break;
                case 43: value = "Rates not loaded"; break;
                case 73: value = "Vemra"; break;
                case 94: value = "Missing: %s"; break;
                case 114: value = "Version %s available"; break;
                case 125: value = "A download runs"; break;
                case 140: value = "Refused: %s"; break;
                default: break;
            }
            text += "M" + std::to_string(number) + "=" + value + "\r\n";
        }
        TStreamedIniFile ini(1, env.File("ENG.lib"));
        ini.SetText(text);
        ini.UpdateFile();
        dm.LoadMessageTable(env.File("ENG.lib"));
    }

    // The source installed from its library, as a package brings it, with its page on the
    // test server and its last update on the given day.
    void Install(const std::string& code, const std::string& library, const std::string& dataUrl,
                 const std::string& lastUpdate) {
        ReplaceText(env.Pub(PluginStoreName()), "[" + code + "]\nPublisher=placeholder\n");
        std::filesystem::create_directories(PubData + "/" + code);
        std::filesystem::copy_file(library, AppData + "/" + code + ".so",
                                   std::filesystem::copy_options::overwrite_existing);
        man.LoadPlugins();
        ASSERT_TRUE(man.InstallPlugin(code, AppData + "/" + code + ".so"));
        man.LoadPlugins();
        THTMLConverterPlugInn& source = *man.CurrentPlugin();
        ASSERT_EQ(source.Code, code);
        source.SetPluginValue("DataUrl", dataUrl);
        source.SetPluginValue("LastUpdate", lastUpdate);
        man.SaveCurrentPluginDefinition();
    }
    void Serve(const std::string& fixture) {
        server.Route("/stats/eurofxref/eurofxref-daily.xml", HttpResponse{.body = ReadText(FixturePath(fixture))});
    }
    std::string EcbUrl() const { return server.Url("/stats/eurofxref/eurofxref-daily.xml"); }
    std::string EcbFolder() const { return PubData + "/ECB"; }
    double RateOf(const std::string& code) {
        int i = 0;
        return conv.Currencies().Find(code, i) ? conv.Currencies().GetCurrency(i)->Rate : -1;
    }
    // An earlier day of the source loaded into the converter, as a running program has it.
    void LoadEarlierDay(const std::string& code, TDateTime day) {
        const std::string file = WriteDayFile(PubData + "/" + code, code, day, "USD=1.5\r\nJPY=150\r\n");
        ASSERT_TRUE(LoadRateFile(conv.Currencies(), file));
    }
    // The update log's texts, after the time stamp and the separator.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        if (!FileExists(Tdm::UpdateLogPath())) return texts;
        for (const std::string& line : SplitLines(ReadText(Tdm::UpdateLogPath())))
            if (line.size() > 22) texts.push_back(line.substr(22));
        return texts;
    }
    // The texts of the notification popups open now.
    std::vector<std::string> Popups() const {
        std::vector<std::string> texts;
        for (TVMRInfo* popup : TVMRInfo::OpenPopups()) texts.push_back(popup->lbMsg->text().toStdString());
        return texts;
    }

    PluginTestEnv env;
    HttpTestServer server;
    FakeAppWindows windows;
    TCurrencyConverter conv;
    TPlugginMan man;
    RecordingDm dm;
    bool connected = true;
    QTimer boxCloser;
    std::vector<std::string> Boxes;  // the texts of the message boxes shown, oldest first

private:
    std::string savedVersion_;
    std::string savedLanguageName_;
};

}  // namespace vemra::test
