// The options window's frame, conversions, preferences and rate sources pages on a started
// converter (an installation laid out in a temporary home, offscreen): the saves at close,
// the start-up entry, the hot key over the recording fake, the language switch, the weekday
// panels, the history kinds and bounds, and a source chosen program-wide.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ArchiveWriter.h"
#include "ConverterTestSupport.h"
#include "CurrencyConverter.h"
#include "DmTestSupport.h"
#include "HotKey.h"
#include "InstallationLayout.h"
#include "MessageNumbers.h"
#include "VMRMessageForm.h"
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "RegistryEx.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRInfoForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

const std::string kShippedDir = VEMRA_SHIPPED_DIR;

class ConfigWindowTest : public ::testing::Test, protected ConverterHome {
protected:
    ConfigWindowTest() : ConverterHome("", "vemra-config") {
        App();
        StartupDialogs.Show = [this](const std::string& text) { boxes.push_back(text); };
        savedChoose_ = TVMRConfig::ChooseColor;
        savedOpen_ = TVMRConfig::OpenWithShell;
        TVMRConfig::ChooseColor = [this](TColor, TColor& chosen) {
            chosen = pickedColor;
            return pickedColor >= 0;
        };
        TVMRConfig::OpenWithShell = [this](const std::string& target) { opened.push_back(target); };
        SetHotKeys(&hotKeys);
        // Every message box is read and answered as soon as it shows.
        boxWatch.Start(boxes);
    }
    ~ConfigWindowTest() override {
        boxWatch.Stop();
        Stop();
        SetHotKeys(nullptr);
        TVMRConfig::ChooseColor = savedChoose_;
        TVMRConfig::OpenWithShell = savedOpen_;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TVMRInfo*>(w) != nullptr) delete w;
    }

    void SetUp() override {
        ASSERT_TRUE(LayOut(kShippedDir)) << layoutError;
        ASSERT_EQ(Start(), 0) << (boxes.empty() ? "" : boxes[0]);
        ASSERT_NE(VMRConfig, nullptr);
        c = VMRConfig->ui.get();
        boxes.clear();
    }

    static void Click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center()); }
    static void Choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    static int ReadInteger(const std::string& name) {
        TRegistryEx registry(false);
        if (!registry.OpenKey("Software\\Vemra", false)) return -1;
        return registry.ReadIntegerDef(name, -1);
    }
    static std::string ReadString(const std::string& name) {
        TRegistryEx registry(false);
        if (!registry.OpenKey("Software\\Vemra", false)) return {};
        return registry.ReadStringDef(name, "");
    }
    static void WriteInteger(const std::string& name, int value) {
        TRegistryEx registry(true);
        ASSERT_TRUE(registry.OpenKey("Software\\Vemra", false));
        registry.WriteInteger(name, value);
    }
    static int VisibleNotifications() {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TVMRInfo*>(w) != nullptr && w->isVisible()) ++count;
        return count;
    }
    static std::string StartupEntry() { return StartupIcon + ".desktop"; }
    static std::string ShortDate(TDateTime day) { return FormatDateTime(LocaleFormat.ShortDateFormat, day, LocaleFormat); }

    TRecordingHotKeys hotKeys;
    MessageBoxWatch boxWatch;
    std::vector<std::string> boxes;
    std::vector<std::string> opened;
    TColor pickedColor = -1;  // the colour dialog's answer; negative: cancelled
    Ui::TVMRConfig* c = nullptr;

private:
    std::function<bool(TColor, TColor&)> savedChoose_;
    std::function<void(const std::string&)> savedOpen_;
};

TEST_F(ConfigWindowTest, ClosingSavesOnlyTheGroupsOfThePagesThatChanged) {
    WriteInteger("AudioEvents", 7);
    WriteInteger("HintColor1", 7);
    WriteInteger("ClipMethod", 7);

    // The sound switch takes effect at once but marks nothing.
    VMRConfig->show();
    const bool audio = c->btAudio->Checked();
    Click(c->btAudio);
    ASSERT_NE(c->btAudio->Checked(), audio);
    VMRConfig->close();
    EXPECT_TRUE(VMRConfig->isHidden());
    EXPECT_EQ(ReadInteger("AudioEvents"), 7);
    EXPECT_EQ(ReadInteger("HintColor1"), 7);

    // A cancelled colour dialog changes nothing either.
    VMRConfig->show();
    Click(c->pnHintColor1);
    VMRConfig->close();
    EXPECT_EQ(TVMRConfig::PanelColor(c->pnHintColor1), 0xAFEBFE);
    EXPECT_EQ(ReadInteger("HintColor1"), 7);

    // A chosen colour saves the conversions group only.
    pickedColor = 0x123456;
    VMRConfig->show();
    Click(c->pnHintColor1);
    VMRConfig->close();
    EXPECT_EQ(TVMRConfig::PanelColor(c->pnHintColor1), 0x123456);
    EXPECT_EQ(ReadInteger("HintColor1"), 0x123456);
    EXPECT_EQ(ReadInteger("ClipMethod"), 2);
    EXPECT_EQ(ReadInteger("AudioEvents"), 7);
    EXPECT_FALSE(VMRConfig->ConversionOptionsChanged);

    // The start-up switch marks the preferences group, which takes the sound switch along.
    VMRConfig->show();
    Click(c->btLoadOnInit);
    VMRConfig->close();
    EXPECT_EQ(ReadInteger("AudioEvents"), audio ? 0 : 1);
    EXPECT_FALSE(VMRConfig->ConfigChanged);
}

TEST_F(ConfigWindowTest, TheStartupEntryFollowsTheSwitchOnlyAtCloseWhateverTheClicks) {
    ASSERT_TRUE(c->btLoadOnInit->Checked());
    ASSERT_TRUE(FileExists(StartupEntry()));  // made at start, the switch being on
    VMRConfig->show();
    for (const int clicks : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(clicks);
        const bool before = FileExists(StartupEntry());
        for (int i = 0; i < clicks; ++i) Click(c->btLoadOnInit);
        EXPECT_EQ(FileExists(StartupEntry()), before);  // nothing happens before the close
        VMRConfig->close();
        EXPECT_EQ(FileExists(StartupEntry()), c->btLoadOnInit->Checked());
        EXPECT_EQ(ReadInteger("LoadOnInit"), c->btLoadOnInit->Checked() ? 1 : 0);
        VMRConfig->show();
    }
}

TEST_F(ConfigWindowTest, RestoringTheDefaultsKeepsARegisteredHotKeyUntilTheNextRegistration) {
    const int f12 = VK_F1 + 11;
    c->chHKCtrl->setChecked(true);
    Click(c->btHotKeyOn);
    ASSERT_TRUE(c->btHotKeyOn->Checked());
    ASSERT_EQ(hotKeys.registered.size(), 1u);
    EXPECT_EQ(hotKeys.registered.begin()->second, std::make_pair(MOD_CONTROL, f12));
    EXPECT_TRUE(VMRConfig->ConversionOptionsChanged);

    pickedColor = 0x123456;
    Click(c->pnATCColorDate);
    c->cbCrossTabSel->setCurrentIndex(3);
    VMRConfig->ConversionOptionsChanged = false;
    c->btHintDefaults->click();
    EXPECT_FALSE(c->btHotKeyOn->Checked());
    EXPECT_FALSE(c->chHKCtrl->isChecked());
    EXPECT_FALSE(c->chHKAlt->isChecked());
    EXPECT_EQ(c->cbHKF->currentIndex(), 11);
    EXPECT_EQ(c->cbCrossTabSel->currentIndex(), 0);
    EXPECT_EQ(TVMRConfig::PanelColor(c->pnATCColorDate), 0x800080);
    EXPECT_TRUE(VMRConfig->ConversionOptionsChanged);

    // The key still works while the switch shows off ...
    ASSERT_EQ(hotKeys.registered.size(), 1u);
    const bool on = CurrencyConverter->SwitchedOn();
    EXPECT_TRUE(hotKeys.Press(MOD_CONTROL, f12));
    EXPECT_NE(CurrencyConverter->SwitchedOn(), on);
    // ... also after a change of its modifiers with the switch off ...
    Click(c->chHKAlt);
    EXPECT_EQ(hotKeys.registered.begin()->second, std::make_pair(MOD_CONTROL, f12));
    // ... until the switch registers the new combination in its place.
    Click(c->btHotKeyOn);
    ASSERT_EQ(hotKeys.registered.size(), 1u);
    EXPECT_EQ(hotKeys.registered.begin()->second, std::make_pair(MOD_ALT, f12));
    EXPECT_EQ(boxes, std::vector<std::string>{});
}

TEST_F(ConfigWindowTest, AHotKeyTakenByAnotherProgramGivesMessage109AndTheSwitchStaysOn) {
    hotKeys.taken.insert({0u, VK_F1 + 11});
    Click(c->btHotKeyOn);
    EXPECT_EQ(boxes, std::vector<std::string>{dm->GetMessageText(msg::HotKeyFailed)});
    EXPECT_FALSE(boxes.empty() || boxes[0].empty());
    EXPECT_TRUE(c->btHotKeyOn->Checked());
    EXPECT_TRUE(hotKeys.registered.empty());
    EXPECT_GT(window->HotKeyAtom, 0);
    // Another key registers in its place.
    boxes.clear();
    Choose(c->cbHKF, 9);
    EXPECT_EQ(boxes, std::vector<std::string>{});
    ASSERT_EQ(hotKeys.registered.size(), 1u);
    EXPECT_EQ(hotKeys.registered.begin()->second, std::make_pair(0u, VK_F1 + 9));
}

TEST_F(ConfigWindowTest, EnglishShowsSundayFirstAndTheLeftmostPanelTakesMaskCharacterSeven) {
    ASSERT_EQ(LanguageName, "ENG");
    ASSERT_EQ(PlugginMan->CurrentPlugin()->Code, "ECB");
    ASSERT_EQ(PlugginMan->CurrentPlugin()->SecondMask, "1111100");
    const char* const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const bool published[] = {false, true, true, true, true, true, false};
    for (int p = 0; p < 7; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(VMRConfig->DayPanels[p]->text().toStdString(), names[p]);
        EXPECT_EQ(VMRConfig->DayPanels[p]->property("Published").toBool(), published[p]);
        EXPECT_TRUE(VMRConfig->DayPanels[p]->styleSheet().contains(published[p] ? "#008000" : "#ff0000"));
    }
    // A source published on Sunday lights the leftmost panel.
    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    source->SecondMask = "0000001";
    VMRConfig->ShowSourceDetails();
    EXPECT_TRUE(VMRConfig->DayPanels[0]->property("Published").toBool());
    EXPECT_FALSE(VMRConfig->DayPanels[6]->property("Published").toBool());
}

TEST_F(ConfigWindowTest, ChoosingSpanishRetranslatesEveryWindowAndKeepsTheRates) {
    const std::string rateFile = CurrencyConverter->Currencies().RateFileName;
    ASSERT_FALSE(rateFile.empty());
    const int spanish = c->cbLang->findText("ESP", Qt::MatchContains);
    ASSERT_GE(spanish, 0);
    Choose(c->cbLang, spanish);
    EXPECT_EQ(LanguageName, "ESP");
    EXPECT_EQ(c->btPag1->text(), "Suscripciones");
    EXPECT_EQ(window->btConvert->text(), "Convertir");
    EXPECT_EQ(c->lbInfoVer->text().toStdString(), "Versión " + ProgramVersion);
    EXPECT_EQ(c->cbBadDateMethod->itemText(0), "Usar valores en memoria");
    EXPECT_EQ(c->cbUpdProperties->item(0)->text(), "Último archivo");
    // Spanish keeps Monday first: the leftmost panel takes mask character 1.
    EXPECT_EQ(VMRConfig->DayPanels[0]->text(), "Lun");
    EXPECT_TRUE(VMRConfig->DayPanels[0]->property("Published").toBool());
    EXPECT_EQ(c->lbClipDesc->text().toStdString(), dm->GetMessageText(msg::ClipMethodBase + 2));
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, rateFile);
    EXPECT_GT(CurrencyConverter->Currencies().Count(), 0);
    EXPECT_TRUE(VMRConfig->ConfigChanged);
    EXPECT_EQ(LanguageFileName, c->cbLang->itemText(spanish).toStdString());
}

TEST_F(ConfigWindowTest, ASourceChoiceInAnyListSelectsItProgramWide) {
    EXPECT_EQ(VisibleNotifications(), 0);  // the start-up's fill loads nothing and tells nothing
    ASSERT_EQ(PlugginMan->Plugins().Count(), 2);
    const int cbr = PlugginMan->IndexOfPlugin("CBR");
    const int ecb = PlugginMan->IndexOfPlugin("ECB");
    ASSERT_GE(cbr, 0);

    // CBR has no day rate file yet: the choice holds, the rates stay and nobody is told.
    c->cbSubscriptions->setCurrentIndex(cbr);
    EXPECT_EQ(PlugginMan->SelectedIndex, cbr);
    EXPECT_EQ(PlugginMan->SelectedCode, "CBR");
    EXPECT_EQ(ReadString("SelectedPlugin"), "CBR");
    EXPECT_EQ(window->cbSubs->currentIndex(), cbr);
    EXPECT_EQ(CurrencyConverter->Currencies().ProviderCode, "ECB");
    EXPECT_EQ(VisibleNotifications(), 0);
    EXPECT_FALSE(c->btHisUpdate->isEnabled());  // CBR's history is daily

    // The main window's list brings ECB back with its rates and a notification.
    CurrencyConverter->Currencies().RateFileName.clear();
    Choose(window->cbSubs, ecb);
    EXPECT_EQ(PlugginMan->SelectedIndex, ecb);
    EXPECT_EQ(c->cbSubscriptions->currentIndex(), ecb);
    EXPECT_EQ(ReadString("SelectedPlugin"), "ECB");
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, PlugginMan->LastRateFile(*PlugginMan->CurrentPlugin()));
    EXPECT_EQ(VisibleNotifications(), 1);
    EXPECT_TRUE(c->cbUpdProperties->isEnabled());
}

TEST_F(ConfigWindowTest, TheCalendarKeepsOnePropertiesWindowThatFollowsEveryChoiceOnce) {
    const auto openWindows = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && qstrcmp(w->metaObject()->className(), "vemra::TVMRProperties") == 0) ++count;
        return count;
    };
    c->btCalendar->click();
    QPointer<QWidget> first = CurrentPropertiesWindow();
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());
    c->btCalendar->click();
    EXPECT_TRUE(WaitFor([&] { return first.isNull(); }));  // the open one was closed and freed
    QWidget* properties = CurrentPropertiesWindow();
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(openWindows(), 1);

    auto* publisher = properties->findChild<QComboBox*>(QStringLiteral("cbPublisher"));
    ASSERT_NE(publisher, nullptr);
    const int cbr = PlugginMan->IndexOfPlugin("CBR");
    const int ecb = PlugginMan->IndexOfPlugin("ECB");
    c->cbSubscriptions->setCurrentIndex(cbr);
    EXPECT_EQ(publisher->currentIndex(), cbr);
    EXPECT_EQ(PlugginMan->SelectedIndex, cbr);

    // A choice in the properties window runs once: one load, one notification.
    Choose(publisher, ecb);
    EXPECT_EQ(PlugginMan->SelectedIndex, ecb);
    EXPECT_EQ(c->cbSubscriptions->currentIndex(), ecb);
    EXPECT_EQ(window->cbSubs->currentIndex(), ecb);
    EXPECT_EQ(VisibleNotifications(), 1);
    // So does a choice here that the properties window follows and answers.
    Choose(publisher, cbr);
    c->cbSubscriptions->setCurrentIndex(ecb);
    EXPECT_EQ(publisher->currentIndex(), ecb);
    EXPECT_EQ(VisibleNotifications(), 2);
    properties->close();
}

struct HistoryKindCase {
    const char* name;
    const char* type;
    bool updatable;
    int message;  // 0: the local history file's path
};
void PrintTo(const HistoryKindCase& c, std::ostream* os) { *os << c.name; }


class HistoryKindTest : public ConfigWindowTest, public ::testing::WithParamInterface<HistoryKindCase> {};

TEST_P(HistoryKindTest, ShowsTheLocalHistoryEntryAndTheUpdateButton) {
    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    source->SetPluginValueUnmarked("HistoryType", GetParam().type);
    source->SetPluginValueUnmarked("HistoryFile", "hist.csv");
    VMRConfig->ShowSourceDetails();
    c->cbUpdProperties->setCurrentRow(5);
    EXPECT_EQ(c->btHisUpdate->isEnabled(), GetParam().updatable);
    const std::string expected =
        GetParam().message != 0 ? dm->GetMessageText(GetParam().message) : source->GetHistoryFilePath();
    EXPECT_EQ(c->EUpdValue->text().toStdString(), expected);
    EXPECT_TRUE(c->btOpenVal->isEnabled());
    EXPECT_FALSE(c->btEditVal->isEnabled());
    // Only a history file is opened; the texts of the other kinds are not.
    c->btOpenVal->click();
    EXPECT_EQ(opened, GetParam().message != 0 ? std::vector<std::string>{} : std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(Kinds, HistoryKindTest,
                         ::testing::Values(HistoryKindCase{"Daily", "D", false, msg::HistoryDaily},
                                           HistoryKindCase{"HistoryFile", "H", true, 0},
                                           HistoryKindCase{"YearFile", "Y", true, 0},
                                           HistoryKindCase{"None", "", false, msg::HistoryNone}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BoundsCase {
    const char* name;
    const char* bounds;
    double start;  // -1: empty
    double end;    // -1: empty, 0: today
};
void PrintTo(const BoundsCase& c, std::ostream* os) { *os << c.name; }


class BoundsTest : public ConfigWindowTest, public ::testing::WithParamInterface<BoundsCase> {};

TEST_P(BoundsTest, ShowsTheHistoryBoundsOfTheChosenSource) {
    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    source->SetPluginValueUnmarked("HistoryBounds", GetParam().bounds);
    c->cbSubscriptions->setCurrentIndex(-1);
    c->cbSubscriptions->setCurrentIndex(PlugginMan->IndexOfPlugin(source->Code));
    const BoundsCase& b = GetParam();
    EXPECT_EQ(c->EHisStart->text().toStdString(), b.start < 0 ? "" : ShortDate(b.start));
    EXPECT_EQ(c->EHisEnd->text().toStdString(), b.end < 0 ? "" : ShortDate(b.end == 0 ? Date() : b.end));
}

INSTANTIATE_TEST_SUITE_P(Bounds, BoundsTest,
                         ::testing::Values(BoundsCase{"Both", "40000-45000", 40000, 45000},
                                           BoundsCase{"StartZeroShowsDayZero", "0-45000", 0, 45000},
                                           BoundsCase{"EndZeroShowsToday", "40000-0", 40000, 0},
                                           BoundsCase{"NoneShowsNothing", "0-0", -1, -1},
                                           BoundsCase{"MissingShowsNothing", "", -1, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The ECB history: a zip holding the CSV of every day, read by the source's own library.
std::string HistoryZip(const TempFolder& folder, const std::string& name) {
    const std::string path = folder / name;
    WriteArchive(path, ArchiveFormat::Zip,
                 {FileMember("eurofxref-hist.csv", "Date,USD,JPY,\n2024-01-03,1.0919,155.1,\n2024-01-02,1.0956,155.8,\n")});
    return ReadText(path);
}

struct HistoryDownloadCase {
    const char* name;
    const char* ext;  // "zip" is the file itself, "ZIP" an archive holding it
    bool served;
    bool holdsHistory = true;  // the archive holds the history file (else another file)
};
void PrintTo(const HistoryDownloadCase& c, std::ostream* os) { *os << c.name; }


class HistoryDownloadTest : public ConfigWindowTest, public ::testing::WithParamInterface<HistoryDownloadCase> {};

TEST_P(HistoryDownloadTest, UpdateNowFetchesTheHistoryAndShowsItsBounds) {
    const HistoryDownloadCase& p = GetParam();
    HttpTestServer server;
    TempFolder work{"vemra-history"};
    std::string body = HistoryZip(work, "eurofxref-hist.zip");
    if (std::string(p.ext) == "ZIP") {
        WriteArchive(work / "outer.zip", ArchiveFormat::Zip,
                     {FileMember(p.holdsHistory ? "eurofxref-hist.zip" : "readme.txt", body)});
        body = ReadText(work / "outer.zip");
    }
    if (p.served) server.Route("/hist.zip", HttpResponse{.body = body});

    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    source->SetPluginValueUnmarked("HistoryType", "H");
    source->SetPluginValueUnmarked("HistoryFile", "eurofxref-hist.zip");
    source->SetPluginValueUnmarked("HistoryUrlExt", p.ext);
    source->SetPluginValueUnmarked("HistoryUrl", server.Url("/hist.zip"));
    source->SetPluginValueUnmarked("HistoryBounds", "40000-45000");
    VMRConfig->ShowSourceDetails();
    ASSERT_TRUE(c->btHisUpdate->isEnabled());
    c->btHisUpdate->click();

    const std::string folder = source->GetPluginValue(pvDataFolder);
    if (!p.served || !p.holdsHistory) {
        EXPECT_EQ(boxes, std::vector<std::string>{dm->GetMessageText(msg::HistoryFailed)});
        EXPECT_EQ(c->EHisStart->text().toStdString(), ShortDate(40000));  // the fields keep their texts
        EXPECT_EQ(c->EHisEnd->text().toStdString(), ShortDate(45000));
        if (p.served)
            EXPECT_EQ(source->GetPluginValue(pvHistoryBounds), "40000-45000") << "the source keeps its bounds";
        return;
    }
    EXPECT_EQ(boxes, std::vector<std::string>{dm->GetMessageText(msg::HistoryUpdated)});
    EXPECT_EQ(c->EHisStart->text().toStdString(), ShortDate(EncodeDate(2024, 1, 2)));
    EXPECT_EQ(c->EHisEnd->text().toStdString(), ShortDate(EncodeDate(2024, 1, 3)));
    EXPECT_TRUE(FileExists(folder + "/eurofxref-hist.zip"));
    EXPECT_FALSE(FileExists(folder + "/eurofxref-hist.zip.ZIP"));  // the archive is gone after unpacking
    // The bounds went to the store at once.
    auto stored = PlugginMan->ReadPluginDefinition(source->Code);
    EXPECT_EQ(stored->Values("HistoryBounds"), source->GetPluginValue(pvHistoryBounds));
    EXPECT_EQ(stored->Values("HistoryFile"), "eurofxref-hist.zip");
}

INSTANTIATE_TEST_SUITE_P(Downloads, HistoryDownloadTest,
                         ::testing::Values(HistoryDownloadCase{"PlainFile", "zip", true},
                                           HistoryDownloadCase{"Archive", "ZIP", true},
                                           HistoryDownloadCase{"NotServedGivesMessage71", "zip", false},
                                           HistoryDownloadCase{"ArchiveWithoutTheHistoryFile", "ZIP", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigWindowTest, TheLastUpdateDateIsEditedAndOnlyAStampIsKept) {
    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    c->cbUpdProperties->setCurrentRow(1);
    ASSERT_TRUE(c->btEditVal->isEnabled());
    EXPECT_FALSE(c->btOpenVal->isEnabled());
    for (const auto& [typed, kept] : std::vector<std::pair<std::string, bool>>{{"no date", false}, {"2031.01.02", true}}) {
        SCOPED_TRACE(typed);
        const std::string before = source->GetPluginValue(pvLastUpdate);
        c->btEditVal->click();
        EXPECT_FALSE(c->EUpdValue->isReadOnly());
        EXPECT_EQ(c->btEditVal->text().toStdString(), dm->GetMessageText(msg::SaveCaption));
        c->EUpdValue->setText(QString::fromStdString(typed));
        c->btEditVal->click();
        EXPECT_TRUE(c->EUpdValue->isReadOnly());
        EXPECT_FALSE(c->EUpdValue->isEnabled());
        EXPECT_EQ(source->GetPluginValue(pvLastUpdate), kept ? typed : before);
        EXPECT_FALSE(source->Modified);  // a kept date went to the store at once
    }
    auto stored = PlugginMan->ReadPluginDefinition(source->Code);
    EXPECT_EQ(stored->Values("LastUpdate"), "2031.01.02");
}

}  // namespace
}  // namespace vemra::test
