// The options window's frame, conversions, preferences and rate sources pages on a started
// converter (an installation laid out in a temporary home, offscreen): the saves at close,
// the start-up entry, the hot key over the recording fake, the language switch, the weekday
// panels, the history kinds and bounds, and a source chosen program-wide.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
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
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "QtCalendar.h"
#include "RegistryEx.h"
#include "SmallWindows.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRInfoForm.h"
#include "VMRMessageForm.h"
#include "VMROnDemandForm.h"
#include "VMRPropertiesForm.h"
#include "VMRSplashForm.h"
#include "VMRWarningsForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

const std::string kShippedDir = VEMRA_SHIPPED_DIR;

// ---- every window laid out so that its texts fit ----

std::string NameOf(const QWidget* w) {
    return w->objectName().isEmpty() ? std::string(w->metaObject()->className()) : w->objectName().toStdString();
}

// A control drawn under others on purpose: a picture or gradient without text, or one that
// covers its whole parent.
bool IsBackdrop(const QWidget* w) {
    if (w->parentWidget() != nullptr && w->geometry().contains(w->parentWidget()->rect())) return true;
    // A picture (a logo) is a control like any other: a text must not run into it.
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text().isEmpty() && label->pixmap().isNull();
    return false;
}

// Two texts on one row closer than this read as one, a text closer to a control than the
// other gap seems to run into it; a text on a label's own background or frame needs this much
// room on each side.
constexpr int kTextGap = 10;
constexpr int kBesideGap = 6;
constexpr int kTextInset = 4;

bool PaintsBackground(const QLabel* label) {
    return label->autoFillBackground() || label->frameShape() != QFrame::NoFrame ||
           label->styleSheet().contains(QStringLiteral("background"));
}

// Where a control shows in its parent: a label's text as drawn, any other control whole.
QRect InkBox(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    if (label == nullptr || label->text().isEmpty() || label->wordWrap() || PaintsBackground(label))
        return w->geometry();
    const QRect drawn =
        QFontMetrics(label->font())
            .boundingRect(label->contentsRect(),
                          static_cast<int>(QStyle::visualAlignment(label->layoutDirection(), label->alignment())) |
                              Qt::TextShowMnemonic,
                          label->text());
    return drawn.translated(label->pos());
}

bool IsPlainText(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    return label != nullptr && !label->text().isEmpty() && !PaintsBackground(label);
}

// Two sibling controls that touch, or whose texts on one row run into each other.
std::string Crowding(const QWidget* a, const QWidget* b) {
    const QRect x = InkBox(a);
    const QRect y = InkBox(b);
    const bool sameRow = x.top() <= y.bottom() && y.top() <= x.bottom();
    const bool sameColumn = x.left() <= y.right() && y.left() <= x.right();
    // Panels and buttons may abut by design (a band beside a band); a label may not.
    if (qobject_cast<const QLabel*>(a) == nullptr && qobject_cast<const QLabel*>(b) == nullptr) return {};
    if (sameRow) {
        const int gap = std::max(y.left() - x.right(), x.left() - y.right()) - 1;
        if (gap < (IsPlainText(a) && IsPlainText(b) ? kTextGap : kBesideGap))
            return "is " + std::to_string(gap) + " px beside " + NameOf(b);
    } else if (sameColumn) {
        const int gap = std::max(y.top() - x.bottom(), x.top() - y.bottom()) - 1;
        if (gap < 1) return "touches " + NameOf(b);
    }
    return {};
}

// The texts that do not fit their control, the controls that reach out of their parent, and
// the siblings that overlap or crowd each other, in the window as it shows now.
std::vector<std::string> LayoutFaults(QWidget* window) {
    std::vector<std::string> faults;
    const auto fault = [&](const QWidget* w, const std::string& what) { faults.push_back(NameOf(w) + ": " + what); };
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (w != window && !w->isVisibleTo(window)) continue;
        // Text against room.
        const QFontMetrics fm(w->font());
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && !label->text().isEmpty()) {
            const QRect room = label->contentsRect().marginsRemoved(label->contentsMargins() * 0);
            if (label->wordWrap()) {
                if (label->heightForWidth(label->width()) > label->height())
                    fault(w, "wrapped text needs " + std::to_string(label->heightForWidth(label->width())) +
                                 " px of height, has " + std::to_string(label->height()));
            } else {
                QSize need = fm.size(Qt::TextShowMnemonic, label->text());
                if (PaintsBackground(label)) need.rwidth() += 2 * kTextInset;
                if (need.width() > room.width() || need.height() > room.height() + 2)
                    fault(w, "\"" + label->text().toStdString() + "\" needs " + std::to_string(need.width()) + "x" +
                                 std::to_string(need.height()) + ", has " + std::to_string(room.width()) + "x" +
                                 std::to_string(room.height()));
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(w); button != nullptr && !button->text().isEmpty()) {
            int need = fm.size(Qt::TextShowMnemonic, button->text()).width();
            if (!button->icon().isNull()) need += button->iconSize().width() + 4;
            if (qobject_cast<QPushButton*>(w) != nullptr) {
                need += 2 * (w->style()->pixelMetric(QStyle::PM_ButtonMargin) / 2 + 2);
                if (static_cast<QPushButton*>(w)->menu() != nullptr)
                    need += w->style()->pixelMetric(QStyle::PM_MenuButtonIndicator);
            } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
                need = tool->sizeHint().width() - 2;
            } else {
                need = button->sizeHint().width();
            }
            if (need > button->width())
                fault(w, "\"" + button->text().toStdString() + "\" needs " + std::to_string(need) + " px, has " +
                             std::to_string(button->width()));
        } else if (auto* combo = qobject_cast<QComboBox*>(w); combo != nullptr && !combo->currentText().isEmpty()) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            const int need = fm.horizontalAdvance(combo->currentText()) +
                             (combo->iconSize().width() + 4) * !combo->itemIcon(combo->currentIndex()).isNull();
            if (need > field.width())
                fault(w, "\"" + combo->currentText().toStdString() + "\" needs " + std::to_string(need) + " px, has " +
                             std::to_string(field.width()));
        }
        if (auto* list = qobject_cast<QListWidget*>(w); list != nullptr && !list->wordWrap()) {
            // A line wider than the list needs the scroll bar that reaches its end.
            const bool scrolls = list->horizontalScrollBar()->maximum() > 0;
            for (int i = 0; i < list->count() && !scrolls; ++i) {
                const int need = fm.horizontalAdvance(list->item(i)->text()) + 8;
                if (need > list->viewport()->width())
                    fault(w, "line \"" + list->item(i)->text().toStdString() + "\" needs " + std::to_string(need) +
                                 " px, has " + std::to_string(list->viewport()->width()));
            }
        }
        // Place among the siblings.
        if (w == window || IsBackdrop(w)) continue;
        QWidget* parent = w->parentWidget();
        if (qobject_cast<QLabel*>(w) == nullptr && qobject_cast<QAbstractButton*>(w) == nullptr &&
            qobject_cast<QComboBox*>(w) == nullptr && qobject_cast<QFrame*>(w) == nullptr &&
            qobject_cast<QLineEdit*>(w) == nullptr && qobject_cast<TOnOffSwitch*>(w) == nullptr)
            continue;  // the inner parts of composite controls
        if (!parent->rect().contains(w->geometry())) fault(w, "reaches out of " + NameOf(parent));
        for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == w || !other->isVisibleTo(window) || IsBackdrop(other) || other < w) continue;
            if (qobject_cast<QLabel*>(other) == nullptr && qobject_cast<QAbstractButton*>(other) == nullptr &&
                qobject_cast<QComboBox*>(other) == nullptr && qobject_cast<QFrame*>(other) == nullptr &&
                qobject_cast<QLineEdit*>(other) == nullptr && qobject_cast<TOnOffSwitch*>(other) == nullptr)
                continue;
            if (w->geometry().intersects(other->geometry()))
                fault(w, "overlaps " + NameOf(other));
            else if (const std::string crowded = Crowding(w, other); !crowded.empty())
                fault(w, crowded);
        }
    }
    return faults;
}

#define ExpectLaidOut(window)                                                  \
    do {                                                                       \
        std::string faults;                                                    \
        for (const auto& line : LayoutFaults(window)) faults += "\n  " + line; \
        EXPECT_TRUE(faults.empty()) << NameOf(window) << ":" << faults;        \
    } while (false)

// What the definition file dialog shows (title, file types, accept button), cancelled at once.
struct DefinitionDialogLook {
    QString title;
    QStringList filters;
    QString accept;
};
DefinitionDialogLook LookAtDefinitionDialog(bool save) {
    DefinitionDialogLook look;
    QTimer::singleShot(0, [&look] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog != nullptr && dialog->isVisible()) {
                look = {dialog->windowTitle(), dialog->nameFilters(), dialog->labelText(QFileDialog::Accept)};
                dialog->reject();
            }
    });
    EXPECT_EQ(TVMRConfig::ChooseDefinitionFile(save), "");
    return look;
}

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

TEST_F(ConfigWindowTest, TheSwitchesAreSmallNoTabStopsAndASpaceToggleRunsTheirHandler) {
    for (TOnOffSwitch* sw :
         {c->btLoadOnInit, c->btInitiallyOn, c->btAudio, c->btRunTour, c->btHotKeyOn, c->ofDetailLog}) {
        SCOPED_TRACE(sw->objectName().toStdString());
        EXPECT_EQ(sw->size(), QSize(28, 17));
        EXPECT_EQ(sw->focusPolicy(), Qt::NoFocus);
    }
    VMRConfig->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(VMRConfig));
    // Space on the hot-key switch registers the key, as a click does.
    c->btHotKeyOn->setFocus();
    QTest::keyClick(c->btHotKeyOn, Qt::Key_Space);
    ASSERT_TRUE(c->btHotKeyOn->Checked());
    ASSERT_EQ(hotKeys.registered.size(), 1u);
    EXPECT_EQ(hotKeys.registered.begin()->second, std::make_pair(0u, VK_F1 + 11));
    EXPECT_TRUE(VMRConfig->ConversionOptionsChanged);

    // Space on the start-up switch marks it: the close saves the state and follows it on disk.
    ASSERT_TRUE(c->btLoadOnInit->Checked());
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on);
        c->btLoadOnInit->setFocus();
        QTest::keyClick(c->btLoadOnInit, Qt::Key_Space);
        ASSERT_EQ(c->btLoadOnInit->Checked(), on);
        VMRConfig->close();
        EXPECT_EQ(ReadInteger("LoadOnInit"), on ? 1 : 0);
        EXPECT_EQ(FileExists(StartupEntry()), on);
        VMRConfig->show();
    }
    EXPECT_EQ(boxes, std::vector<std::string>{});
}

TEST_F(ConfigWindowTest, TheStartupEntryStartsTheProgramsOwnFileAndAnEntryThatCannotBeWrittenIsTold) {
    ASSERT_TRUE(FileExists(StartupEntry()));
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    EXPECT_NE(ReadText(StartupEntry()).find("\nExec=\"" + self + "\"\n"), std::string::npos)
        << ReadText(StartupEntry());

    // A folder in the entry's place can be neither replaced nor removed.
    ASSERT_EQ(std::remove(StartupEntry().c_str()), 0);
    ASSERT_EQ(::mkdir(StartupEntry().c_str(), 0755), 0);
    WriteText(StartupEntry() + "/inside", "x");
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        boxes.clear();
        TVMRConfig::SetLoadOnStartup(on);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find(StartupEntry()), std::string::npos) << boxes[0];
        EXPECT_NE(boxes[0].find("could not be written"), std::string::npos) << boxes[0];
    }
    // A missing entry is no failure when the switch goes off.
    std::filesystem::remove_all(StartupEntry());
    boxes.clear();
    TVMRConfig::SetLoadOnStartup(false);
    EXPECT_EQ(boxes, std::vector<std::string>{});
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

TEST_F(ConfigWindowTest, TheDefinitionFileDialogNamesItsPatternOnce) {
    const DefinitionDialogLook look = LookAtDefinitionDialog(false);
    EXPECT_EQ(look.filters, QStringList{"Vemra currency definition files (*.vcd)"});
    EXPECT_EQ(look.title, "Import currency definitions");
    EXPECT_EQ(LookAtDefinitionDialog(true).title, "Export currency definitions");
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
        EXPECT_TRUE(StyleSheetWhenShown(VMRConfig->DayPanels[p]).contains(published[p] ? "#008000" : "#ff0000"));
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
    // No English left where the language file speaks for the window.
    EXPECT_EQ(c->lbBtHotKeyOn->text(), "Activar la tecla rápida");
    EXPECT_EQ(c->lbpnATCColorPlugin->text(), "Complementos:");
    EXPECT_EQ(c->cbClipTech->itemText(2), "Escucha estándar");
    EXPECT_EQ(qApp->property("Title").toString(), "conversor de divisas vemra");
    EXPECT_EQ(VMRConfig->DefinitionFilesText, "Archivos de definición de divisas de Vemra");
    EXPECT_TRUE(VMRConfig->StartupEntryFailedText.startsWith("No se pudo"));
    const std::string tip = window->TrayTipText(true);
    const std::string day = LanguageDayName(CurrencyConverter->Currencies().RateDate);
    EXPECT_NE(std::string("Lun,Mar,Mié,Jue,Vie,Sáb,Dom").find(day), std::string::npos) << day;
    EXPECT_NE(tip.find(" " + day + " "), std::string::npos) << tip;
    // The definition file dialog names its files once, in Spanish, and speaks Spanish.
    const DefinitionDialogLook import = LookAtDefinitionDialog(false);
    EXPECT_EQ(import.filters, QStringList{"Archivos de definición de divisas de Vemra (*.vcd)"});
    EXPECT_EQ(import.title, "Importar definiciones de divisas");
    EXPECT_EQ(import.accept, "Abrir");
    EXPECT_EQ(LookAtDefinitionDialog(true).accept, "Guardar");
    TVMRSplash splash;
    ASSERT_NE(splash.findChild<QLabel*>("lbSubtitle"), nullptr);
    EXPECT_EQ(splash.findChild<QLabel*>("lbSubtitle")->text(), "conversor de divisas");
    // The shell's fixed English error reaches the user in Spanish.
    boxes.clear();
    dm->ShowMessageText("There is no application associated with the given filename extension.");
    EXPECT_EQ(boxes, std::vector<std::string>{"No hay ningún programa asociado a este tipo de archivo."});
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

struct HistoryMarkCase {
    const char* name;
    bool served;                     // else the history address is a closed local port (no network)
    int month;                       // of 2024; the served history holds 2 and 3 January
    std::vector<std::string> boxes;  // after message 110; "m71": that message's text
};
void PrintTo(const HistoryMarkCase& c, std::ostream* os) {
    *os << c.name << " (" << (c.served ? "served" : "offline") << ", month " << c.month << " of 2024)";
}

class HistoryMarkTest : public ConfigWindowTest, public ::testing::WithParamInterface<HistoryMarkCase> {
protected:
    void SetUp() override {
        ConfigWindowTest::SetUp();
        boxWatch.Stop();
        yesWatch.Start(boxes, &yes);
    }
    void TearDown() override { yesWatch.Stop(); }
    const bool yes = true;
    MessageBoxWatch yesWatch;
};

// Before any history file was read the mark offers to fetch it: the month's missing days come
// from the downloaded history, and a download or an extraction that fails says which it was.
TEST_P(HistoryMarkTest, WithoutALocalHistoryTheMarkFetchesItFirst) {
    const HistoryMarkCase& p = GetParam();
    HttpTestServer server;
    TempFolder work{"vemra-history-mark"};
    if (p.served) server.Route("/hist.zip", HttpResponse{.body = HistoryZip(work, "eurofxref-hist.zip")});
    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    ASSERT_EQ(source->GetPluginValue(pvHistoryType), "H");
    ASSERT_EQ(source->GetPluginValue(pvHistoryBounds), "") << "as installed";
    source->SetPluginValueUnmarked("HistoryFile", "eurofxref-hist.zip");
    source->SetPluginValueUnmarked("HistoryUrlExt", "zip");
    source->SetPluginValueUnmarked("HistoryUrl", p.served ? server.Url("/hist.zip") : "http://127.0.0.1:9/hist.zip");

    c->btCalendar->click();
    auto* properties = qobject_cast<TVMRProperties*>(CurrentPropertiesWindow());
    ASSERT_NE(properties, nullptr);
    properties->SelectDate(EncodeDate(2024, p.month, 15));
    ASSERT_TRUE(properties->lbHistory->isVisibleTo(properties));
    EXPECT_EQ(properties->HistoryColor(), TVMRProperties::HistoryMissingColor);
    properties->lbHistoryClick();

    std::vector<std::string> expected{dm->GetMessageText(msg::HistoryFile110)};
    for (const std::string& box : p.boxes)
        expected.push_back(box == "m71" ? dm->GetMessageText(msg::HistoryFailed) : box);
    EXPECT_EQ(boxes, expected);
    const bool extracted = p.served && p.month == 1;
    EXPECT_EQ(FileExists(source->GetPluginDataFileName(EncodeDate(2024, 1, 3))), extracted);
    EXPECT_EQ(properties->Cal->IsDataDay(3), extracted);
    properties->close();
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, HistoryMarkTest,
    ::testing::Values(HistoryMarkCase{"OfflineDownloadGivesMessage71", false, 1, {"m71"}},
                      HistoryMarkCase{"DownloadedAndExtracted", true, 1, {}},
                      HistoryMarkCase{"DownloadedWithoutTheMonthFailsToExtract", true, 2, {"Error extracting files"}}),
    [](const ::testing::TestParamInfo<HistoryMarkCase>& p) { return std::string(p.param.name); });

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

class WindowLayoutTest : public ConfigWindowTest, public ::testing::WithParamInterface<const char*> {};

// Each window of the options and rate-source side, in each language: no text cut, nothing on
// top of anything else.
TEST_P(WindowLayoutTest, NoTextIsCutAndNoControlOverlapsAnother) {
    const int language = c->cbLang->findText(QString::fromLatin1(GetParam()), Qt::MatchStartsWith);
    ASSERT_GE(language, 0);
    Choose(c->cbLang, language);
    ASSERT_EQ(LanguageName, GetParam());
    boxes.clear();

    // First shown centred, with a margin round the page frame.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((VMRConfig->geometry().center() - screen.center()).manhattanLength(), 4);
    EXPECT_GE(c->PC->geometry().left() - c->pnLeft->geometry().right(), 4);
    EXPECT_GE(c->PC->geometry().top() - c->pnTop->geometry().bottom(), 4);
    EXPECT_GE(VMRConfig->width() - 1 - c->PC->geometry().right(), 4);
    EXPECT_GE(VMRConfig->height() - 1 - c->PC->geometry().bottom(), 4);
    VMRConfig->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(VMRConfig));
    for (int page = 0; page < c->PC->count(); ++page) {
        SCOPED_TRACE(page);
        VMRConfig->btPag0Click(std::array<QObject*, 4>{c->btPag1, c->btPag2, c->btPag3, c->btPag0}[page]);
        QApplication::processEvents();
        ExpectLaidOut(VMRConfig);
    }
    // The longest texts the pages compute: every labelling of the currencies, every clipboard method.
    for (int labeling = 0; labeling < c->cbLabeling->count(); ++labeling) {
        SCOPED_TRACE(labeling);
        Choose(c->cbLabeling, labeling);
        for (QAbstractButton* page :
             {static_cast<QAbstractButton*>(c->btPag2), static_cast<QAbstractButton*>(c->btPag0)}) {
            VMRConfig->btPag0Click(page);
            QApplication::processEvents();
            ExpectLaidOut(VMRConfig);
        }
    }
    Choose(c->cbLabeling, 0);
    for (int method = 0; method < c->cbClipTech->count(); ++method) {
        Choose(c->cbClipTech, method);
        SCOPED_TRACE(method);
        ExpectLaidOut(c->TSOptions);
    }

    c->btCalendar->click();
    auto* properties = qobject_cast<TVMRProperties*>(CurrentPropertiesWindow());
    ASSERT_NE(properties, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(properties));
    properties->lbHistory->show();
    properties->lbPC->setText(QStringLiteral("-100.00%"));
    properties->lbPC->show();
    // The oldest ages it shows: the source's history reaches back more than 27 years.
    properties->lbOld->setAutoFillBackground(true);
    properties->lbOld->setText(FormatMessage(msg::RateFile38, {12345}));
    QApplication::processEvents();
    ExpectLaidOut(properties);
    properties->close();

    std::unique_ptr<TVMROnDemand> onDemand(TVMRMsg::Create<TVMROnDemand>(TStringList(), DataModuleOnDemandRates()));
    onDemand->show();
    ExpectLaidOut(onDemand.get());
    EXPECT_EQ(onDemand->ColumnCaption(), LanguageName == "ESP" ? "Archivos descargados" : "Downloaded files");

    TVMRSplash splash;
    splash.lbInfoVer->setText(FormatMessage(msg::VersionLabel, {ProgramVersion}));
    splash.show();
    ExpectLaidOut(&splash);

    // The longest message of a box, and a notification.
    std::unique_ptr<TVMRMsg> box(TVMRMsg::Create<TVMRMsg>());
    box->SetMessageText(QString::fromStdString(dm->GetMessageText(msg::StartupFailed9)));
    box->show();
    QApplication::processEvents();
    ExpectLaidOut(box.get());
    TVMRInfo notification;
    notification.SetTitle(QString::fromStdString(dm->GetMessageText(msg::RatesApplied)));
    notification.SetText(QStringLiteral("European Central Bank\n\n2024.01.17-ECB.vmr"));
    notification.show();
    ExpectLaidOut(&notification);

    std::unique_ptr<TVMRConvertWarning> warnings(TVMRMsg::Create<TVMRConvertWarning>());
    warnings->SetMessageText(QString::fromStdString(Format(dm->GetMessageText(msg::WarnProviderCode), "BCE")));
    warnings->show();
    QApplication::processEvents();
    ExpectLaidOut(warnings.get());
}

// A language chosen while the properties window shows moves its texts too, and the shorter
// language gets the design back.
TEST_F(ConfigWindowTest, ThePropertiesWindowMakesRoomForALanguageChosenWhileItShows) {
    VMRConfig->show();
    c->btCalendar->click();
    auto* properties = qobject_cast<TVMRProperties*>(CurrentPropertiesWindow());
    ASSERT_NE(properties, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(properties));
    properties->lbHistory->show();
    QApplication::processEvents();
    const QRect designed = properties->lbHistory->geometry();
    for (const char* language : {"ESP", "ENG"}) {
        SCOPED_TRACE(language);
        Choose(c->cbLang, c->cbLang->findText(QString::fromLatin1(language), Qt::MatchStartsWith));
        ASSERT_EQ(LanguageName, language);
        QApplication::processEvents();
        ASSERT_TRUE(properties->lbHistory->isVisible());
        ExpectLaidOut(properties);
    }
    EXPECT_EQ(properties->lbHistory->geometry(), designed);
    properties->close();
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowLayoutTest, ::testing::Values("ENG", "ESP"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

}  // namespace
}  // namespace vemra::test
