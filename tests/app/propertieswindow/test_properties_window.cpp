// The rate source properties window offscreen: day marks and missing days, the day's files
// and values, apply, the percentage comparison, the history mark and its extraction, the
// remembered position, on day rate files written in a temporary folder.

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CurrencyConverter.h"
#include "DmTestSupport.h"
#include "DownloadOperation.h"
#include "MessageNumbers.h"
#include "PlugginMan.h"
#include "QtCalendar.h"
#include "RateFile.h"
#include "SmallWindowsTestSupport.h"
#include "StreamedIniFile.h"
#include "StreamKeys.h"
#include "VMROnDemandForm.h"
#include "VMRPropertiesForm.h"
#include "WindowSystem.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/FormatSettings.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

TDateTime Day(int y, int m, int d) { return EncodeDate(y, m, d); }

// Every call the window makes of the program, recorded; the on-demand download runs the real
// window with a stand-in download that writes the day's file.
class FakePropertiesHost : public IPropertiesHost, public IOnDemandRates {
public:
    QComboBox* OptionsSourceList() override { return nullptr; }
    void SourceChosen(QComboBox* sender) override {
        if (PlugginMan && sender) PlugginMan->SelectedIndex = sender->currentIndex();
    }
    bool UpdateHistoryFile() override {
        ++historyDownloads;
        if (historyDownloadWorks && onHistoryDownload) onHistoryDownload();
        return historyDownloadWorks;
    }
    void RatesApplied() override { ++ratesApplied; }
    void ShowRateIndicator() override { ++indicatorShown; }
    void RepaintSourceLists() override { ++listsRepainted; }
    bool InternetConnected() override { return connected; }
    bool UpdateRunning() override { return updateRunning; }
    bool RefuseDownload() override {
        if (downloadRunning) messages.push_back("m125");
        return downloadRunning;
    }
    void SetBusyState(bool busy) override { busyStates.push_back(busy); }
    std::uint8_t DownloadRates(TDateTime date) override {
        downloads.push_back(static_cast<int>(date));
        if (writeDay) writeDay(date);
        return 9;
    }
    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override {
        processed.push_back({code, isSelected, quiet});
        if (viaDataModule) dm->ProcessRateUpdate(code, isSelected, quiet);
    }
    void UpdateAll() override {
        ++updateRounds;
        if (viaDataModule) dm->UpdaterTimer(nullptr);
    }
    void RunOnDemandDownload(const TStringList& dates) override {
        for (int i = 0; i < dates.Count(); ++i) onDemandDates.push_back(dates[i]);
        WhenModal<TVMROnDemand>([](TVMRProgress& w) { return w.Tag == 1 && !w.Working; },
                                [](TVMROnDemand& w) { w.btOk->click(); });
        vemra::RunOnDemandDownload(dates, *this);
    }
    std::string DayRateFileName(TDateTime day) override {
        return PlugginMan->CurrentPlugin()->GetPluginDataFileName(day);
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool Ask(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void ShowNotification(const std::string& title, const std::string& text) override {
        notifications.push_back(title + "|" + text);
    }
    std::string MessageText(int number) override {
        const auto found = texts.find(number);
        return found != texts.end() ? found->second : "m" + std::to_string(number);
    }
    void OpenAddress(const std::string& address) override { opened.push_back(address); }
    void Translate(QWidget* window) override {
        if (dm) dm->TranslateForm(window);
    }
    std::string LanguageCode() override { return language; }
    TCurrencyConverter* Converter() override { return converter; }
    QPoint RememberedPosition() override { return position; }
    void RememberPosition(int left, int top) override { position = {left, top}; }

    struct Processed {
        int code;
        bool isSelected;
        bool quiet;
    };
    std::map<int, std::string> texts = {{msg::RateFile38, "%d day(s) old"},
                                        {msg::RateFile39, "Today"},
                                        {msg::RateFile40, "Tomorrow"},
                                        {msg::RateFile95, "Rates: %d"},
                                        {msg::CurrentRatesDate, "Current: %s"}};
    TCurrencyConverter* converter = nullptr;
    std::function<void(TDateTime)> writeDay;
    std::function<void()> onHistoryDownload;
    QPoint position;
    std::string language = "ENG";
    bool connected = true;
    bool updateRunning = false;
    bool downloadRunning = false;  // another download operation runs: downloads are refused
    bool answer = true;
    bool historyDownloadWorks = true;
    bool viaDataModule = false;  // the outcome and "Update all" go to the data module's real run
    int historyDownloads = 0, ratesApplied = 0, indicatorShown = 0, listsRepainted = 0, updateRounds = 0;
    std::vector<bool> busyStates;
    std::vector<int> downloads;
    std::vector<Processed> processed;
    std::vector<std::string> onDemandDates, messages, questions, notifications, opened;
};

// A source whose history extraction writes plain day rate files for the given days.
class HistorySource : public THTMLConverterPlugInn {
public:
    using THTMLConverterPlugInn::THTMLConverterPlugInn;
    bool GetHistoryRates(TDateTime date) override {
        asked.push_back(date);
        for (TDateTime day : historyDays) write(day);
        return extractWorks;
    }
    std::function<void(TDateTime)> write;
    std::vector<TDateTime> historyDays;
    std::vector<TDateTime> asked;
    bool extractWorks = true;
};

class PropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock([] { return Day(2024, 3, 14) + 15.0 / 24; });  // Thursday 14 March 2024, 15:00
        savedFormat_ = FormatSettings;
        FormatSettings.DecimalSeparator = '.';
        FormatSettings.ShortDateFormat = "dd/mm/yyyy";
        FormatSettings.DateSeparator = '/';
        StreamKeyProc = StreamKey;
        manager_ = std::make_unique<TPlugginMan>();
        PlugginMan = manager_.get();
        source = AddSource("TST", "Test Bank");
        for (const char* code : {"EUR", "USD", "GBP"}) {
            auto record = std::make_unique<TCurrencyRec>();
            record->Code = code;
            record->DisplayCode = code;
            converter.Currencies().AddCurrency(code, std::move(record));
        }
        host.converter = &converter;
        host.writeDay = [this](TDateTime day) { WriteDay(*source, day, "1.2000"); };
        WriteDay(*source, Day(2024, 3, 11), "1.1000");
        WriteDay(*source, Day(2024, 3, 12), "1.0900");
        WriteDay(*source, Day(2024, 3, 13), "1.0500");
        WriteRateFile(SourceFolder(*source) + "/2024.03.13-TSTb.vmr", "2024.03.13", "1.1000");
        ASSERT_TRUE(LoadRateFile(converter.Currencies(), SourceFolder(*source) + "/2024.03.12-TST.vmr"));
    }
    void TearDown() override {
        delete PropertiesWindow;
        PropertiesWindow = nullptr;
        PlugginMan = nullptr;
        FormatSettings = savedFormat_;
        StreamKeyProc = nullptr;
        ResetClock();
    }

    HistorySource* AddSource(const std::string& code, const std::string& publisher) {
        TStringList definition;
        definition.Add("Publisher=" + publisher);
        auto* added = static_cast<HistorySource*>(
            manager_->AdoptPlugin(std::make_unique<HistorySource>(definition, code), code + " - " + publisher));
        added->PublishMask = "1111100";
        added->SecondMask = "1111100";
        added->write = [this, added](TDateTime day) { WriteDay(*added, day, "1.3000"); };
        manager_->SelectedIndex = manager_->Plugins().Count() == 1 ? 0 : manager_->SelectedIndex;
        std::filesystem::create_directories(SourceFolder(*added));
        return added;
    }
    static std::string SourceFolder(const TConverterPlugInn& s) { return s.GetPluginValue(pvDataFolder); }
    static void WriteRateFile(const std::string& path, const std::string& date, const std::string& usd) {
        WriteText(path, "[VMR]\r\nTYPE=DATA\r\nPROVIDER=Test Bank\r\nCODE=TST\r\nDATE=" + date +
                            "\r\nBASE=EUR\r\nFACTOR=1\r\n[DATA]\r\nusd=" + usd + "\r\nEUR=1\r\nGBP=0.8500\r\n");
    }
    static void WriteDay(const TConverterPlugInn& s, TDateTime day, const std::string& usd) {
        WriteRateFile(s.GetPluginDataFileName(day), FormatDateStamp(day), usd);
    }

    // Opens the window as the options window does and lets it take its first activation.
    TVMRProperties& Open() {
        TVMRProperties* window = OpenPropertiesWindow(nullptr, host);
        EXPECT_TRUE(WaitFor([&] { return window->Cal->Date() != 0; }));
        return *window;
    }
    static std::vector<std::string> Lines(const QListWidget& list) {
        std::vector<std::string> lines;
        for (int i = 0; i < list.count(); ++i) lines.push_back(list.item(i)->text().toStdString());
        return lines;
    }
    static std::vector<int> Bits(std::uint32_t days) {
        std::vector<int> out;
        for (int d = 0; d < 32; ++d)
            if ((days >> d) & 1u) out.push_back(d);
        return out;
    }
    static std::vector<int> Bits(const std::bitset<32>& days) { return Bits(static_cast<std::uint32_t>(days.to_ulong())); }
    static void ClickValue(TVMRProperties& w, const std::string& code) {
        for (int i = 0; i < w.pnlValues->count(); ++i)
            if (w.pnlValues->item(i)->text().startsWith(QString::fromStdString(code + "="))) {
                w.pnlValues->setCurrentRow(i);
                w.pnlValuesClick();
                return;
            }
        ADD_FAILURE() << "no line for " << code;
    }

    DmFixture fixture;
    ScopedEnv dataHome_{"XDG_DATA_HOME", fixture.folder / "data"};
    ScopedEnv registry_{"VEMRA_REGISTRY_DIR", fixture.folder / "registry"};
    TFormatSettings savedFormat_;
    std::unique_ptr<TPlugginMan> manager_;
    HistorySource* source = nullptr;
    TCurrencyConverter converter;
    FakePropertiesHost host;
};

TEST_F(PropertiesTest, CurrentMonthMarksFilesUpToTodayAndTheMissingWorkingDays) {
    TVMRProperties& w = Open();
    EXPECT_EQ(w.Cal->Date(), Day(2024, 3, 12)) << "the first activation shows the current rates' day";
    EXPECT_EQ(w.Cal->ReferenceDate, Day(2024, 3, 12));
    EXPECT_EQ(Bits(w.Cal->DataDays), (std::vector<int>{11, 12, 13}));
    // Working days 1-14 without a file; the 15th onwards lies after today.
    EXPECT_EQ(Bits(w.MissingDays), (std::vector<int>{1, 4, 5, 6, 7, 8, 14}));
    EXPECT_EQ(w.pnBase->text(), "EUR");
    EXPECT_EQ(w.PnlDate->text(), "12/03/2024");
    EXPECT_EQ(w.lbOld->text(), "2 day(s) old");
    EXPECT_EQ(Lines(*w.pnlValues), (std::vector<std::string>{"EUR=1", "GBP=0.8500", "USD=1.0900"}))
        << "keys upper-cased and sorted";
    EXPECT_EQ(w.lbNumItems->text(), "Rates: 3");
    EXPECT_EQ(w.lbCurrentInfo->text(), "Current: 12/03/2024");
    EXPECT_FALSE(w.lbHistory->isVisible()) << "a source without HistoryType shows no history mark";
}

TEST_F(PropertiesTest, ALaterMonthExaminesNoDayAndPagingKeepsTheReferenceDay) {
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 2, 3));
    EXPECT_EQ(w.Cal->Date(), Day(2024, 2, 3)) << "a date set in code stays";
    w.Cal->setCurrentPage(2024, 4);
    EXPECT_EQ(w.Cal->Date(), Day(2024, 4, 12)) << "paging to a month lands on the reference date's day";
    EXPECT_EQ(w.MissingDays, 0u);
    EXPECT_TRUE(w.Cal->DataDays.none());
    EXPECT_FALSE(w.btApply->isEnabled());
    EXPECT_EQ(w.pnlValues->count(), 0);
    EXPECT_TRUE(w.pnBase->text().isEmpty());
}

TEST_F(PropertiesTest, DayLagOneExpectsTheSundayFileAndNotTheFridayOne) {
    source->DayLag = 1;
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 2, 12));
    EXPECT_TRUE(w.IsMissingDay(4)) << "Sunday 4 February: its shifted date is a Monday";
    EXPECT_TRUE(w.IsMissingDay(5)) << "Monday: shifted to Tuesday";
    EXPECT_FALSE(w.IsMissingDay(2)) << "Friday: shifted to Saturday";
    EXPECT_FALSE(w.IsMissingDay(3)) << "Saturday: shifted to Sunday";
    EXPECT_EQ(Bits(w.MissingDays).size(), 21u) << "29 days, 8 of them shifted onto a weekend";
}

TEST_F(PropertiesTest, TheCalendarDrawsWithTheSourcesWorkingDayMask) {
    source->SecondMask = "1111110";
    TVMRProperties& w = Open();
    w.cbPublisherChange();
    EXPECT_EQ(w.Cal->WorkingDays, "1111110");
    EXPECT_TRUE(w.Cal->IsWorkingDay(QDate(2024, 3, 16))) << "Saturday works by this mask";
    EXPECT_FALSE(w.Cal->IsWorkingDay(QDate(2024, 3, 17)));
    EXPECT_EQ(w.Cal->firstDayOfWeek(), Qt::Sunday) << "Sunday first outside Spanish";
    QPixmap picture(w.Cal->size());
    w.Cal->render(&picture);  // paints every cell through the marks without faults
}

TEST_F(PropertiesTest, TwoFilesOnOneDayListBothAndShowTheLast) {
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 3, 13));
    ASSERT_EQ(w.pnlFile->count(), 2);
    EXPECT_EQ(w.pnlFile->itemText(0), "2024.03.13-TST.vmr");
    EXPECT_EQ(w.pnlFile->currentText(), "2024.03.13-TSTb.vmr");
    EXPECT_EQ(w.LastShownFile, SourceFolder(*source) + "/2024.03.13-TSTb.vmr");
    EXPECT_EQ(Lines(*w.pnlValues).back(), "USD=1.1000");
    w.pnlFile->setCurrentIndex(0);
    emit w.pnlFile->activated(0);
    EXPECT_EQ(Lines(*w.pnlValues).back(), "USD=1.0500");
}

struct ApplyCase {
    const char* name;
    int day;
    bool enabled;
};

void PrintTo(const ApplyCase& c, std::ostream* os) { *os << c.name; }

class ApplyEnabledTest : public PropertiesTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(ApplyEnabledTest, ApplyFollowsTheDayAndItsFile) {
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 3, GetParam().day));
    EXPECT_EQ(w.btApply->isEnabled(), GetParam().enabled);
    EXPECT_EQ(w.pnlValues->count() > 0, GetParam().day != 14) << "a day without a file empties the panels";
}

INSTANTIATE_TEST_SUITE_P(Days, ApplyEnabledTest,
                         ::testing::Values(ApplyCase{"CurrentRatesDay", 12, false}, ApplyCase{"OtherDayWithFile", 11, true},
                                           ApplyCase{"DayWithoutFile", 14, false}),
                         [](const ::testing::TestParamInfo<ApplyCase>& info) { return std::string(info.param.name); });

TEST_F(PropertiesTest, ApplyLoadsTheShownFileAndTellsTheProgram) {
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 3, 11));
    {
        // Applied while a download runs: its new day does not replace the user's choice.
        const TDownloadOperation download(TDownloadKind::Update);
        ASSERT_TRUE(download.Started());
        w.btApply->click();
        EXPECT_FALSE(TDownloadOperation::MayReplaceRates());
    }
    EXPECT_TRUE(TDownloadOperation::MayReplaceRates()) << "the next operation starts afresh";
    EXPECT_EQ(DateOf(converter.Currencies().RateDate), Day(2024, 3, 11));
    EXPECT_EQ(w.Cal->ReferenceDate, Day(2024, 3, 11));
    EXPECT_FALSE(w.btApply->isEnabled());
    EXPECT_EQ(host.notifications, (std::vector<std::string>{"m115|Test Bank\r\n\r\n2024.03.11"}));
    EXPECT_EQ(host.ratesApplied, 1);
    EXPECT_EQ(w.lbCurrentInfo->text(), "Current: 11/03/2024");

    // A file that does not load as rates changes nothing and says so.
    WriteText(SourceFolder(*source) + "/2024.03.13-TSTb.vmr", "[VMR]\r\nTYPE=DATA\r\nDATE=2024.03.13\r\n[DATA]\r\nUSD=1\r\n");
    w.Cal->SetDate(Day(2024, 3, 13));
    w.btApply->click();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"m43"}));
    EXPECT_EQ(host.notifications.size(), 1u);
}

TEST_F(PropertiesTest, PercentageAgainstTheCurrentRatesInGreenAndMaroon) {
    TVMRProperties& w = Open();
    ClickValue(w, "USD");
    EXPECT_EQ(w.CompareCode, "USD");
    EXPECT_DOUBLE_EQ(w.CompareValue, 1.09);

    w.Cal->SetDate(Day(2024, 3, 13));  // later and higher: (1.10 - 1.09) / 1.10
    EXPECT_TRUE(w.lbPC->isVisibleTo(&w));
    EXPECT_EQ(w.lbPC->text(), "  0.91%");
    EXPECT_EQ(w.lbPC->palette().color(QPalette::WindowText), TColorToQColor(TVMRProperties::PercentUpColor));
    EXPECT_EQ(w.pnlValues->currentItem()->text(), "USD=1.1000") << "the compared line stays selected";

    w.Cal->SetDate(Day(2024, 3, 11));  // earlier and higher: (1.09 - 1.10) / 1.09
    EXPECT_EQ(w.lbPC->text(), " -0.92%");
    EXPECT_EQ(w.lbPC->palette().color(QPalette::WindowText), TColorToQColor(TVMRProperties::PercentDownColor));

    w.Cal->SetDate(Day(2024, 3, 12));
    ClickValue(w, "USD");  // the same currency again ends the comparison
    EXPECT_TRUE(w.CompareCode.empty());
    EXPECT_FALSE(w.lbPC->isVisibleTo(&w));
    w.Cal->SetDate(Day(2024, 3, 13));
    EXPECT_FALSE(w.lbPC->isVisibleTo(&w));
}

TEST_F(PropertiesTest, HistoryNotAvailableWithoutAnyUpdate) {
    HistorySource* empty = AddSource("NOH", "No History");
    empty->SetPluginValue("HistoryType", "H");
    TVMRProperties& w = Open();
    w.cbPublisher->setCurrentIndex(1);
    w.cbPublisherChange();
    ASSERT_EQ(PlugginMan->CurrentPlugin(), empty);
    EXPECT_EQ(w.Cal->Date(), Day(2024, 3, 12));
    EXPECT_TRUE(w.Cal->DataDays.none());
    ASSERT_TRUE(w.lbHistory->isVisibleTo(&w));
    w.lbHistoryClick();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"History not available"}));
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(PropertiesTest, HistoryMarkOnlyBeforeTodayWithMissingDaysAndAHistoryType) {
    source->SetPluginValue("HistoryType", "H");
    TVMRProperties& w = Open();
    EXPECT_TRUE(w.lbHistory->isVisibleTo(&w));
    w.Cal->SetDate(Day(2024, 3, 14));
    EXPECT_FALSE(w.lbHistory->isVisibleTo(&w)) << "today";
    source->PublishMask = "0000000";
    w.SelectDate(Day(2024, 2, 12));
    EXPECT_EQ(w.MissingDays, 0u);
    EXPECT_FALSE(w.lbHistory->isVisibleTo(&w)) << "a month without missing days";
}

TEST_F(PropertiesTest, HistoryBoundsColourTheMarkAndAMonthOutsideDownloadsTheHistoryFirst) {
    source->SetPluginValue("HistoryType", "H");
    source->SetPluginValue("HistoryBounds", Format("%d-%d", static_cast<int>(Day(2024, 2, 1)), static_cast<int>(Day(2024, 2, 29))));
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 2, 12));
    ASSERT_TRUE(w.lbHistory->isVisibleTo(&w));
    EXPECT_EQ(w.HistoryColor(), TVMRProperties::HistoryPresentColor) << "inside the bounds: yellow";
    w.Cal->SetDate(Day(2024, 1, 12));
    EXPECT_EQ(w.HistoryColor(), TVMRProperties::HistoryMissingColor) << "before the first day: red";
    EXPECT_EQ(w.lbHistory->palette().color(QPalette::Window), TColorToQColor(TVMRProperties::HistoryMissingColor));

    // Red: the history file is fetched first (message 110), then the month is extracted.
    source->historyDays = {Day(2024, 1, 10), Day(2024, 1, 11)};
    host.onHistoryDownload = [this] {  // the fetched history reaches back to January
        source->SetPluginValue("HistoryBounds", Format("%d-%d", static_cast<int>(Day(2024, 1, 1)), static_cast<int>(Day(2024, 2, 29))));
    };
    w.lbHistoryClick();
    EXPECT_EQ(host.questions, (std::vector<std::string>{"m110"}));
    EXPECT_EQ(host.historyDownloads, 1);
    EXPECT_EQ(w.HistoryColor(), TVMRProperties::HistoryPresentColor);
    ASSERT_EQ(source->asked, (std::vector<TDateTime>{Day(2024, 1, 12)}));
    EXPECT_TRUE(w.Cal->IsDataDay(10));
    EXPECT_TRUE(w.Cal->IsDataDay(11));
    EXPECT_FALSE(w.IsMissingDay(11));
    // The extracted files are stored enciphered with the rate files' key and still read.
    const std::string file = source->GetPluginDataFileName(Day(2024, 1, 11));
    EXPECT_NE(ReadText(file).rfind("[VMR]", 0), 0u) << "no longer plain";
    EXPECT_EQ(OpenStreamedIni(5, file)->ReadString("DATA", "USD", ""), "1.3000");
    EXPECT_GE(host.indicatorShown, 1);

    // Yellow asks message 61; a failing extraction says so.
    host.questions.clear();
    source->extractWorks = false;
    w.lbHistoryClick();
    EXPECT_EQ(host.questions, (std::vector<std::string>{"m61"}));
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Error extracting files"}));
}

TEST_F(PropertiesTest, AFailedHistoryDownloadGivesMessage71) {
    source->SetPluginValue("HistoryType", "Y");
    source->SetPluginValue("HistoryBounds", Format("%d-%d", static_cast<int>(Day(2024, 2, 1)), static_cast<int>(Day(2024, 2, 29))));
    host.historyDownloadWorks = false;
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 1, 12));
    w.lbHistoryClick();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"m71"}));
    EXPECT_TRUE(source->asked.empty());
}

TEST_F(PropertiesTest, DailyHistoryFetchesTheMissingDaysThroughTheOnDemandWindow) {
    source->SetPluginValue("HistoryType", "D");
    TVMRProperties& w = Open();
    w.Cal->SetDate(Day(2024, 2, 12));
    const std::vector<int> missing = Bits(w.MissingDays);
    ASSERT_EQ(missing.size(), 21u);
    w.lbHistoryClick();
    ASSERT_EQ(host.onDemandDates.size(), 21u);
    EXPECT_EQ(host.onDemandDates.front(), std::to_string(static_cast<int>(Day(2024, 2, 29)))) << "the last day first";
    EXPECT_EQ(host.onDemandDates.back(), std::to_string(static_cast<int>(Day(2024, 2, 1))));
    EXPECT_EQ(host.downloads.size(), 21u);
    EXPECT_EQ(Bits(w.Cal->DataDays), missing) << "the marks are made again";
    EXPECT_EQ(w.MissingDays, 0u);
    EXPECT_FALSE(w.lbHistory->isVisibleTo(&w));

    w.lbHistoryClick();  // nothing left to fetch
    EXPECT_EQ(host.messages, (std::vector<std::string>{"m97"}));
    EXPECT_EQ(host.onDemandDates.size(), 21u);
}

TEST_F(PropertiesTest, UpdateNowDownloadsTodayInTheBusyStateAndMovesToTheNewDay) {
    host.writeDay = [this](TDateTime day) {
        WriteDay(*source, day, "1.2000");
        source->SetLastUpdateText(FormatDateStamp(day));
    };
    TVMRProperties& w = Open();
    w.btUpdSel->trigger();
    EXPECT_EQ(host.busyStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.downloads, (std::vector<int>{static_cast<int>(Day(2024, 3, 14))}));
    ASSERT_EQ(host.processed.size(), 1u);
    EXPECT_EQ(host.processed[0].code, 9);
    EXPECT_TRUE(host.processed[0].isSelected);
    EXPECT_FALSE(host.processed[0].quiet);
    EXPECT_EQ(w.Cal->Date(), Day(2024, 3, 14));
    EXPECT_TRUE(w.Cal->IsDataDay(14));
    EXPECT_EQ(host.listsRepainted, 1);

    w.btUpdAll->trigger();
    EXPECT_EQ(host.updateRounds, 1);
    host.connected = false;
    w.btUpdSel->trigger();
    w.btUpdAll->trigger();
    EXPECT_EQ(host.downloads.size(), 1u) << "no connection: the menu does nothing";
    EXPECT_EQ(host.updateRounds, 1);
}

TEST_F(PropertiesTest, AnUpdateLogThatCannotBeOpenedIsShownAndTheWindowGoesOn) {
    host.viaDataModule = true;
    manager_->SetHost(&fixture.Dm());  // "Update all" downloads through the data module too
    fixture.Dm().ConnectionTest = [] { return true; };
    const std::string log = Tdm::UpdateLogPath();
    ASSERT_TRUE(std::filesystem::create_directories(log));  // a folder in its place
    TVMRProperties& w = Open();
    w.btUpdAll->trigger();  // today's file is missing: the run downloads, and its outcome is logged
    w.btUpdSel->trigger();
    ASSERT_EQ(host.messages.size(), 2u) << (host.messages.empty() ? "" : host.messages[0]);
    for (const std::string& message : host.messages) EXPECT_NE(message.find(log), std::string::npos) << message;
    EXPECT_EQ(host.busyStates, (std::vector<bool>{true, false}));
    EXPECT_FALSE(fixture.Dm().IsBusy());
    EXPECT_EQ(host.listsRepainted, 2);
}

// The window's events go on while its update downloads: closing it then hides it, and it is
// freed once the update is over; while another update runs, its update buttons do nothing.
TEST_F(PropertiesTest, AWindowClosedDuringItsUpdateLivesUntilTheUpdateIsOver) {
    TVMRProperties& w = Open();
    QPointer<TVMRProperties> window(&w);
    bool aliveAfterClose = false;
    host.writeDay = [&](TDateTime) {
        w.btClose->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        aliveAfterClose = !window.isNull();
    };
    w.btUpdSel->trigger();
    EXPECT_TRUE(aliveAfterClose);
    EXPECT_EQ(host.busyStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.listsRepainted, 1) << "the update ran to its end";
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); })) << "freed once the update is over";

    TVMRProperties& again = Open();
    host.updateRunning = true;
    again.btUpdSel->trigger();
    again.btUpdAll->trigger();
    EXPECT_EQ(host.downloads.size(), 1u);
    EXPECT_EQ(host.updateRounds, 0);
}

// The same for the downloads of the history mark: the month's days through the on-demand
// window, and the history file before a month is extracted from it.
TEST_F(PropertiesTest, AWindowClosedDuringItsHistoryDownloadsLivesUntilTheyAreOver) {
    for (const std::string type : {"D", "Y"}) {
        source->SetPluginValue("HistoryType", type);
        source->SetPluginValue("HistoryBounds", "1-2");  // outside: the history file comes first
        TVMRProperties& w = Open();
        w.Cal->SetDate(Day(2024, 2, 12));
        ASSERT_TRUE(w.lbHistory->isVisibleTo(&w));
        QPointer<TVMRProperties> window(&w);
        bool aliveAfterClose = false;
        bool closed = false;
        const auto closeNow = [&] {
            if (std::exchange(closed, true)) return;
            window->btClose->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            aliveAfterClose = !window.isNull();
        };
        host.writeDay = [&](TDateTime) { closeNow(); };
        host.onHistoryDownload = closeNow;
        w.lbHistoryClick();
        EXPECT_TRUE(aliveAfterClose) << type;
        EXPECT_FALSE(window.isNull()) << type << ": the click's work ends on a live window";
        EXPECT_TRUE(WaitFor([&] { return window.isNull(); })) << type << ": freed once the downloads are over";
        host.writeDay = nullptr;
        host.onHistoryDownload = nullptr;
    }
    EXPECT_EQ(host.historyDownloads, 1);
}

// While another download runs, the window's update and history downloads are refused, and
// the user is told so.
TEST_F(PropertiesTest, WhileADownloadRunsItsDownloadsAreRefusedWithAMessage) {
    host.downloadRunning = true;
    TVMRProperties& w = Open();
    w.btUpdSel->trigger();
    w.btUpdAll->trigger();
    EXPECT_TRUE(host.busyStates.empty());
    EXPECT_EQ(host.updateRounds, 0);
    w.Cal->SetDate(Day(2024, 2, 12));
    source->SetPluginValue("HistoryType", "D");
    w.lbHistoryClick();
    EXPECT_TRUE(host.onDemandDates.empty());
    source->SetPluginValue("HistoryType", "Y");
    source->SetPluginValue("HistoryBounds", "1-2");
    w.SelectDate(Day(2024, 2, 12));
    w.lbHistoryClick();
    EXPECT_EQ(host.historyDownloads, 0);
    EXPECT_EQ(host.messages, (std::vector<std::string>(4, "m125")));
    EXPECT_TRUE(host.downloads.empty());
}

TEST_F(PropertiesTest, TheWindowComesBackWhereItWasAndOnlyOneIsOpen) {
    host.position = {321, 123};
    TVMRProperties& first = Open();
    EXPECT_EQ(first.pos(), QPoint(321, 123));
    EXPECT_EQ(first.size(), QSize(543, 346));
    first.move(150, 90);
    QPointer<TVMRProperties> closed(&first);
    TVMRProperties& second = Open();
    EXPECT_EQ(host.position, QPoint(150, 90)) << "closing keeps the position";
    EXPECT_TRUE(WaitFor([&] { return closed.isNull(); })) << "the closed window is freed";
    EXPECT_EQ(PropertiesWindow, &second);
    EXPECT_EQ(FindVisibleFormByClass(QStringLiteral("TVMRProperties")), &second) << "how the data module finds it";
    EXPECT_EQ(second.pos(), QPoint(150, 90));
    second.btClose->click();
    EXPECT_TRUE(WaitFor([] { return PropertiesWindow == nullptr; }));
}

TEST_F(PropertiesTest, TextsComeFromTheLanguageAndSpanishStartsOnMonday) {
    fixture.WriteLanguageFile("T.lib", "[Messages]\nm000=ESP\n[TVMRPROPERTIES]\nbtApply:Caption=Aplicar\nbtUpdAll:Caption=Todas\n");
    fixture.Dm().LoadMessageTable(fixture.folder / "T.lib");
    host.language = "ESP";
    TVMRProperties& w = Open();
    EXPECT_EQ(w.btApply->text(), "Aplicar");
    EXPECT_EQ(w.btUpdAll->text(), "Todas");
    EXPECT_EQ(w.Cal->firstDayOfWeek(), Qt::Monday);
    EXPECT_EQ(w.lbToday->text().toStdString(), FormatDateTime(DmyFormat.ShortDateFormat, Day(2024, 3, 14), DmyFormat));
}

}  // namespace
}  // namespace vemra::test
