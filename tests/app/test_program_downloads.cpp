// The converter as a whole while a download waits for a slow page on 127.0.0.1: the real
// handlers of the options and properties windows, the socket's commands and the update timer
// run in the middle of it. The download goes on for the source it started with, the user's
// choices made meanwhile stay, conflicting downloads are refused with message 125, and no
// window that a handler closes is freed under the code that still works in it.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ConverterTestSupport.h"
#include "DmTestSupport.h"
#include "MessageNumbers.h"
#include "NetUtils.h"
#include "PlugginMan.h"
#include "QtCalendar.h"
#include "TimeUtils.h"
#include "VMRConfigForm.h"
#include "VMROnDemandForm.h"
#include "VMRPropertiesForm.h"
#include "app/windows/SmallWindowsTestSupport.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

std::string Fixture(const std::string& name) { return std::string(VEMRA_FIXTURES_DIR) + "/plugins/" + name; }

class ProgramDownloadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        home.env.Set("VEMRA_FIRST_UPDATE_MS", std::nullopt);
        ASSERT_TRUE(home.laidOut) << home.layoutError;
        ASSERT_EQ(home.Start([this](Tdm&) { Tdm::SetServiceBaseForTests(server.Url("")); }), 0) << home.shown;
        w = home.window.get();
        dm->ConnectionTest = [] { return true; };
        dm->Updater->stop();
        savedOpen_ = TVMRConfig::OpenWithShell;
        TVMRConfig::OpenWithShell = [this](const std::string& address) { opened.push_back(address); };
        savedChoose_ = TVMRConfig::ChooseDefinitionFile;
        TVMRConfig::ChooseDefinitionFile = [this](bool) { return home.home / "definitions.vcd"; };
        watch.Start(boxes);
    }
    void TearDown() override {
        watch.Stop();
        TVMRConfig::OpenWithShell = savedOpen_;
        TVMRConfig::ChooseDefinitionFile = savedChoose_;
        home.Stop();
        Tdm::SetServiceBaseForTests("");
    }

    THTMLConverterPlugInn& Source(const std::string& code) { return *PlugginMan->GetPlugin(PlugginMan->IndexOfPlugin(code)); }
    // Every source asks a port where nothing listens, so no request leaves the machine.
    void PointEverySourceNowhere() {
        for (int i = 0; i < PlugginMan->Plugins().Count(); ++i) {
            THTMLConverterPlugInn& source = *PlugginMan->GetPlugin(i);
            source.SetPluginValue("DataUrl", "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/rates");
            source.SetPluginValue("DataUrlHuman", "");  // the calendar's page button opens nothing
            PlugginMan->SavePluginDefinition(source);
        }
    }
    // ECB, selected, gets a page of its newest due day (that day's file removed).
    void PointEcbAtTheServer(std::string& dayFile) {
        ASSERT_EQ(PlugginMan->CurrentPlugin()->Code, "ECB");
        TDateTime due = 0;
        for (int d = 0; d < 10 && due == 0; ++d) {
            bool exists = false;
            if (const TDateTime day = LocalToGMT(Now() - d); PlugginMan->IsUpdateDue(day, dayFile, exists)) due = DateOf(day);
        }
        ASSERT_GT(due, 0);
        if (FileExists(dayFile)) {
            ::chmod(dayFile.c_str(), 0644);
            std::filesystem::remove(dayFile);
        }
        const std::string stamp = FormatDateStamp(due);
        page = ReadText(Fixture("eurofxref-daily.xml"));
        page.replace(page.find("2024-01-17"), 10, stamp.substr(0, 4) + "-" + stamp.substr(5, 2) + "-" + stamp.substr(8, 2));
        THTMLConverterPlugInn& ecb = Source("ECB");
        ecb.SetPluginValue("DataUrl", server.Url("/daily.xml"));
        ecb.SetPluginValue("LastUpdate", FormatDateTimeStamp(due - 1));
        PlugginMan->SavePluginDefinition(ecb);
    }
    int Refusals() const {
        return static_cast<int>(std::count(boxes.begin(), boxes.end(), dm->GetMessageText(msg::DownloadRunning)));
    }
    std::string Log() const { return FileExists(Tdm::UpdateLogPath()) ? ReadText(Tdm::UpdateLogPath()) : ""; }

    ConverterHome home{VEMRA_SHIPPED_DIR, "vemra-downloads"};
    HttpTestServer server;
    TVMRConverter* w = nullptr;
    MessageBoxWatch watch;
    std::vector<std::string> boxes;
    std::vector<std::string> opened;
    std::string page;

private:
    std::function<void(const std::string&)> savedOpen_;
    std::function<std::string(bool)> savedChoose_;
};

TEST_F(ProgramDownloadsTest, WhatTheWindowsDoWhileAnUpdatePageWaitsLeavesTheUpdateToItsSource) {
    ASSERT_FALSE(dm->GetMessageText(msg::DownloadRunning).empty());
    PointEverySourceNowhere();
    std::string dayFile;
    ASSERT_NO_FATAL_FAILURE(PointEcbAtTheServer(dayFile));
    THTMLConverterPlugInn& ecb = Source("ECB");
    const int cbr = PlugginMan->IndexOfPlugin("CBR");
    ASSERT_GE(cbr, 0);
    Ui::TVMRConfig& c = *VMRConfig->ui;
    const std::string rates = CurrencyConverter->Currencies().RateFileName;
    QPointer<TVMRProperties> first;
    bool libraryKept = false;
    const auto ran = AnswerAfter(server, "/daily.xml", HttpResponse{.body = page}, [&] {
        // The options window's address entries load and unload the library being fetched with.
        for (int entry : {4, 3}) {
            c.cbUpdProperties->setCurrentRow(entry);
            VMRConfig->btOpenValClick();
        }
        libraryKept = ecb.LibraryHandle() != nullptr;
        // The last update edited, the currency definitions exported and imported again.
        c.cbUpdProperties->setCurrentRow(1);
        VMRConfig->btEditValClick();
        c.EUpdValue->setText(QStringLiteral("2020.01.01"));
        VMRConfig->btEditValClick();
        VMRConfig->btExportVmgClick();
        VMRConfig->btImportVmgClick();
        // The calendar through the socket, its page button and its update actions.
        w->WMVmrCommand(5, 0);
        first = PropertiesWindow;
        ASSERT_FALSE(first.isNull());
        first->btViewSrcClick();
        first->btUpdSel->trigger();
        first->btUpdAll->trigger();
        VMRConfig->btHisUpdateClick();
        // CBR chosen in the calendar's list, the language chosen again, the other commands.
        first->cbPublisher->setCurrentIndex(cbr);
        first->cbPublisherChange();
        VMRConfig->cbLangChange();
        for (int command : {1, 2, 3, 6, 9, 10, 12, 14}) w->WMVmrCommand(command, 0);
        // The calendar opened again over the first, then both windows closed.
        w->WMVmrCommand(5, 0);
        if (PropertiesWindow != nullptr) PropertiesWindow->close();
        VMRConfig->show();
        VMRConfig->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    dm->UpdaterTimer(nullptr);

    EXPECT_EQ(ran(), 1);
    EXPECT_TRUE(libraryKept);
    EXPECT_EQ(ecb.LibraryHandle(), nullptr) << "unloaded once the download was over";
    EXPECT_EQ(std::count_if(opened.begin(), opened.end(), [](const std::string& a) { return a.starts_with("http"); }), 1)
        << "the history address; the page address is empty";
    EXPECT_EQ(Refusals(), 3) << "Update now, Update all and the history download";
    EXPECT_NE(Log().find("ECB : NOTIFIED : " + dayFile), std::string::npos) << Log();
    EXPECT_TRUE(FileExists(dayFile));
    EXPECT_EQ(PlugginMan->LastRateFile(ecb), dayFile);
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate).substr(0, 10), ExtractFileName(dayFile).substr(0, 10))
        << "the edit moved it back; the new day moved it on";
    EXPECT_FALSE(ecb.Modified);
    EXPECT_EQ(PlugginMan->CurrentPlugin()->Code, "CBR");
    EXPECT_EQ(PlugginMan->SelectedCode, "CBR");
    // CBR has no day rate file yet, so the rates stay; ECB's new day, no longer the chosen
    // source's, is not loaded over them.
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, rates);
    EXPECT_FALSE(dm->IsBusy());
    EXPECT_EQ(InetSession(), nullptr);
    EXPECT_TRUE(dm->Updater->isActive());
    EXPECT_TRUE(WaitFor([&] { return first.isNull(); })) << "the closed calendar is freed";
}

// The socket's commands that end the program, while the page waits inside the program's own
// loop: every wait ends, the page is not filed, the run ends in order without a failure
// logged, the session closes and the program's loop ends.
TEST_F(ProgramDownloadsTest, AnEndAskedForWhileThePageWaitsEndsTheRunInOrder) {
    PointEverySourceNowhere();
    std::string dayFile;
    ASSERT_NO_FATAL_FAILURE(PointEcbAtTheServer(dayFile));
    // 303 first: the orderly end (99) keeps asking the loop to end until the window is gone.
    for (const int command : {303, 99}) {
        std::filesystem::remove(Tdm::UpdateLogPath());
        const auto ran = AnswerAfter(server, "/daily.xml", HttpResponse{.body = page}, [&] { w->WMVmrCommand(command, 0); });
        bool runEnded = false;
        QTimer::singleShot(0, [&] {
            dm->UpdaterTimer(nullptr);
            runEnded = true;
        });
        QTimer bound;  // a loop the command failed to end fails the test instead of hanging it
        bound.setSingleShot(true);
        QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        bound.start(60000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << command;
        EXPECT_TRUE(runEnded) << command;
        EXPECT_EQ(ran(), 1) << command;
        EXPECT_FALSE(FileExists(dayFile)) << command;
        EXPECT_EQ(Log().find("NO INTERNET"), std::string::npos) << command << ": " << Log();
        EXPECT_FALSE(dm->IsBusy()) << command;
        EXPECT_EQ(InetSession(), nullptr) << command;
    }
    EXPECT_EQ(Refusals(), 0);
}

// CBR keeps a daily history: the calendar's history mark fetches a past month's days one by
// one. The update timer fires and the socket reopens the calendar while the first day waits.
TEST_F(ProgramDownloadsTest, TheUpdateTimerWaitsForTheCalendarsMonthDownload) {
    PointEverySourceNowhere();
    THTMLConverterPlugInn& cbr = Source("CBR");
    cbr.SetPluginValue("DataUrl", server.Url("/cbr.xml?date_req=%s"));
    cbr.SetPluginValue("LastUpdate", FormatDateTimeStamp(Date() - 1));  // a history is there
    PlugginMan->SavePluginDefinition(cbr);
    VMRConfig->ui->cbSubscriptions->setCurrentIndex(PlugginMan->IndexOfPlugin("CBR"));
    ASSERT_EQ(PlugginMan->CurrentPlugin(), &cbr);
    TVMRProperties* properties = OpenPropertiesWindow(VMRConfig);
    QPointer<TVMRProperties> window(properties);
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    const TDateTime lastMonth = IncMonth(EncodeDate(year, month, 1), -1);
    properties->SelectDate(lastMonth);
    ASSERT_NE(properties->MissingDays, 0u);
    const auto ran = AnswerAfter(server, "/cbr.xml", HttpResponse{.body = ReadText(Fixture("cbr-daily.xml"))}, [&] {
        dm->UpdaterTimer(dm->Updater);
        w->WMVmrCommand(5, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(window.isNull());
    });
    WhenModal<TVMROnDemand>([](TVMRProgress& progress) { return progress.Tag == 1 && !progress.Working; },
                            [](TVMROnDemand& onDemand) { onDemand.btOk->click(); });
    properties->lbHistoryClick();

    ASSERT_EQ(ran(), 1) << (boxes.empty() ? "" : boxes[0]);
    EXPECT_FALSE(server.Requests().empty());
    EXPECT_NE(Log().find("UPDATE WAITS FOR THE RUNNING DOWNLOAD"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("NO INTERNET"), std::string::npos) << Log();
    EXPECT_FALSE(dm->UpdateWaiting());
    EXPECT_TRUE(dm->Updater->isActive());
    EXPECT_EQ(dm->Updater->interval(), Tdm::kUpdaterDesignInterval) << "the waiting run follows";
    EXPECT_EQ(InetSession(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); })) << "the closed calendar is freed";
    EXPECT_EQ(Refusals(), 0);
}

}  // namespace
}  // namespace vemra::test
