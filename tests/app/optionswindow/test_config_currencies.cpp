// The options window's currencies page on a started converter (an installation laid out in a
// temporary home, offscreen): the list's filters, drawing and first-letter jump, favourites,
// the edit checks, a linked save, deletion, and the import and export of definition files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ConverterTestSupport.h"
#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "DmTestSupport.h"
#include "HotKey.h"
#include "InstallationLayout.h"
#include "MessageNumbers.h"
#include "ZEPHStrUtils.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRInfoForm.h"
#include "VMRMessageForm.h"
#include "dm.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

const std::string kShippedDir = VEMRA_SHIPPED_DIR;

class CurrencyPageTest : public ::testing::Test, protected ConverterHome {
protected:
    CurrencyPageTest() : ConverterHome("", "vemra-currencies") {
        App();
        StartupDialogs.Show = [this](const std::string& text) { boxes.push_back(text); };
        savedChoose_ = TVMRConfig::ChooseDefinitionFile;
        TVMRConfig::ChooseDefinitionFile = [this](bool save) {
            chosenForSave.push_back(save);
            return chosenFile;
        };
        SetHotKeys(&hotKeys);
        // Every message box is read and answered as soon as it shows.
        boxWatch.Start(boxes, &answerYes);
    }
    ~CurrencyPageTest() override {
        boxWatch.Stop();
        Stop();
        SetHotKeys(nullptr);
        TVMRConfig::ChooseDefinitionFile = savedChoose_;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TVMRInfo*>(w) != nullptr) delete w;
    }

    void SetUp() override {
        ASSERT_TRUE(LayOut(kShippedDir)) << layoutError;
        ASSERT_EQ(Start(), 0) << (boxes.empty() ? "" : boxes[0]);
        ASSERT_NE(VMRConfig, nullptr);
        c = VMRConfig->ui.get();
        VMRConfig->show();
        VMRConfig->ShowPage(1);
        boxes.clear();
        ASSERT_FALSE(List().RateFileName.empty());
        configFile = List().ConfigFileName;
        ASSERT_TRUE(FileExists(configFile));
    }

    static TCurrencyChangeList& List() { return CurrencyConverter->Currencies(); }
    static TCurrencyRec* Rec(const std::string& code) { return List().GetCurrency(List().IndexOfCode(code)); }
    static std::string Message(int number) { return dm->GetMessageText(number); }
    // The value of the code's line in the configuration file; "<none>" without one.
    static std::string Config(const std::string& code) {
        for (const std::string& line : SplitLines(ReadText(CurrencyConverter->Currencies().ConfigFileName)))
            if (line.rfind(code + "=", 0) == 0) return line.substr(code.size() + 1);
        return "<none>";
    }

    void Filter(int entry) {
        c->cbWhatShow->setCurrentIndex(entry);
        emit c->cbWhatShow->activated(entry);
    }
    // Shows the currency of that code in the list of all currencies.
    void Select(const std::string& code) {
        Filter(4);
        for (int i = 0; i < c->ChList->count(); ++i)
            if (Rec(code) == List().GetCurrency(c->ChList->item(i)->data(Qt::UserRole).toInt())) {
                c->ChList->setCurrentRow(i);
                return;
            }
        ADD_FAILURE() << code << " is not listed";
    }
    std::string ShownCode() const {
        const QListWidgetItem* item = c->ChList->currentItem();
        const TCurrencyRec* rec = item ? List().GetCurrency(item->data(Qt::UserRole).toInt()) : nullptr;
        return rec ? rec->Code : std::string();
    }
    // Fills the detail fields of a new currency.
    void Enter(const std::string& code, const std::string& iso, const std::string& name, const std::string& symbol,
               const std::string& reference = "", const std::string& factor = "") {
        c->btDivAdd->click();
        c->EDivCode->setText(QString::fromStdString(code));
        c->EDivIso->setText(QString::fromStdString(iso));
        c->EDivName->setText(QString::fromStdString(name));
        c->EDivSymbol->setText(QString::fromStdString(symbol));
        const int index = reference.empty() ? 0 : c->EDivTriCode->findText(QString::fromStdString(reference));
        ASSERT_GE(index, 0);
        c->EDivTriCode->setCurrentIndex(index);
        emit c->EDivTriCode->activated(index);
        c->EDivTriRatio->setText(QString::fromStdString(factor));
    }
    void WaitForBoxes(std::size_t count) {
        WaitFor([&] { return boxes.size() >= count; }, 2000);
    }

    TRecordingHotKeys hotKeys;
    MessageBoxWatch boxWatch;
    std::vector<std::string> boxes;
    bool answerYes = false;
    std::string chosenFile;
    std::vector<bool> chosenForSave;
    std::string configFile;
    Ui::TVMRConfig* c = nullptr;

private:
    std::function<std::string(bool)> savedChoose_;
};

// ---- the list ----

struct FilterCase {
    const char* name;
    int entry;
    bool (*taken)(const TCurrencyRec&, bool favourite);
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class CurrencyFilterTest : public CurrencyPageTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(CurrencyFilterTest, ListsExactlyTheCurrenciesOfTheEntrySortedByLabel) {
    CurrencyConverter->SetFavorites("USD,JPY,DEM");
    Filter(GetParam().entry);
    int expected = 0;
    for (int i = 0; i < List().Count(); ++i) {
        const TCurrencyRec& rec = *List().GetCurrency(i);
        if (GetParam().taken(rec, CurrencyConverter->Favorites().IndexOf(rec.Code) >= 0)) ++expected;
    }
    ASSERT_GT(expected, 0);
    ASSERT_EQ(c->ChList->count(), expected);
    for (int i = 0; i < c->ChList->count(); ++i) {
        const QListWidgetItem* item = c->ChList->item(i);
        const TCurrencyRec& rec = *List().GetCurrency(item->data(Qt::UserRole).toInt());
        const bool favourite = CurrencyConverter->Favorites().IndexOf(rec.Code) >= 0;
        EXPECT_TRUE(GetParam().taken(rec, favourite)) << rec.Code;
        EXPECT_EQ(item->checkState() == Qt::Checked, favourite) << rec.Code;
        EXPECT_EQ(item->text().toStdString(), rec.DisplayCode + " - " + rec.Name);
        if (i > 0) EXPECT_LE(QString::compare(c->ChList->item(i - 1)->text(), item->text(), Qt::CaseInsensitive), 0);
    }
    EXPECT_EQ(c->lbNumDiv->text().toStdString(),
              Format(Message(msg::CurrencyCount), expected, List().ProviderCode, std::string()));
    // The first entry is shown.
    EXPECT_EQ(c->ChList->currentRow(), 0);
    EXPECT_EQ(c->EDivCode->text().toStdString(), ShownCode());
    EXPECT_TRUE(VMRConfig->ConfigChanged);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CurrencyFilterTest,
    ::testing::Values(
        FilterCase{"WithRates", 0, [](const TCurrencyRec& r, bool) { return r.Rate > 0 && r.Factor == 0; }},
        FilterCase{"Linked", 1, [](const TCurrencyRec& r, bool) { return r.Factor > 0; }},
        FilterCase{"Favourites", 2, [](const TCurrencyRec&, bool favourite) { return favourite; }},
        FilterCase{"WithoutRates", 3, [](const TCurrencyRec& r, bool) { return r.Rate == 0; }},
        FilterCase{"All", 4, [](const TCurrencyRec&, bool) { return true; }}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST_F(CurrencyPageTest, LabelsFollowTheLabelingChoice) {
    Select("USD");
    const TCurrencyRec& usd = *Rec("USD");
    const std::string labels[] = {usd.DisplayCode + " - " + usd.Name, usd.Name + " - " + usd.DisplayCode, usd.Name,
                                  usd.DisplayCode};
    for (int style = 0; style < 4; ++style) {
        c->cbLabeling->setCurrentIndex(style);
        emit c->cbLabeling->activated(style);
        Select("USD");
        EXPECT_EQ(c->ChList->currentItem()->text().toStdString(), labels[style]) << style;
    }
}

TEST_F(CurrencyPageTest, ShowingACurrencyFillsTheDetailFields) {
    Select("DEM");
    EXPECT_EQ(c->EDivCode->text(), "DEM");
    EXPECT_EQ(c->EDivSymbol->text(), "DM");
    EXPECT_EQ(c->ESymPos->currentIndex(), 1);
    EXPECT_EQ(c->ESymPos->itemText(0), "DM (x)");
    EXPECT_EQ(c->ESymPos->itemText(1), "(x) DM");
    EXPECT_EQ(c->EDivTriCode->currentText(), "EUR");
    EXPECT_EQ(c->EDivTriRatio->text().toStdString(), FloatToStrF(1.95583, TFloatFormat::ffGeneral, 15, 0, LocaleFormat));
    EXPECT_FALSE(c->EDivCode->isEnabled());
    EXPECT_FALSE(c->EDivTriRatio->isEnabled());

    Select("USD");
    const TCurrencyRec& usd = *Rec("USD");
    ASSERT_GT(usd.Rate, 0);
    EXPECT_EQ(c->EDivTriCode->currentIndex(), 0);
    EXPECT_TRUE(c->EDivTriRatio->text().isEmpty());
    EXPECT_EQ(c->EDivValue->text().toStdString(),
              TCurrencyConverter::FormatAmount(usd.Rate, 6, "1 " + List().BaseCode + " = %s $"));
}

TEST_F(CurrencyPageTest, AFirstLetterSelectsTheFirstLabelNotBelowItAndALetterAfterTheLastNothing) {
    Filter(4);
    ASSERT_GT(c->ChList->count(), 2);
    QTest::keyClick(c->ChList, Qt::Key_D, Qt::NoModifier);
    ASSERT_GE(c->ChList->currentRow(), 0);
    const QString label = c->ChList->currentItem()->text();
    EXPECT_GE(label.at(0).toUpper(), QChar('D'));
    const int row = c->ChList->currentRow();
    if (row > 0) EXPECT_LT(c->ChList->item(row - 1)->text().at(0).toUpper(), QChar('D'));
    EXPECT_EQ(ShownCode(), c->EDivCode->text().toStdString());

    // Space ticks the current entry instead of jumping.
    CurrencyConverter->SetFavorites("");
    QTest::keyClick(c->ChList, Qt::Key_Space);
    EXPECT_EQ(c->ChList->currentRow(), row);
    EXPECT_EQ(c->ChList->currentItem()->checkState(), Qt::Checked);
    EXPECT_EQ(CurrencyConverter->Favorites().CommaText(), ShownCode());

    const QChar last = c->ChList->item(c->ChList->count() - 1)->text().at(0).toUpper();
    if (last < QChar('~')) {
        QTest::keyClick(c->ChList, '~');
        EXPECT_EQ(c->ChList->currentRow(), row);
    }
}

TEST_F(CurrencyPageTest, ACurrencyWithoutRateIsDrawnSilverEvenAsAFavouriteAndATickedOneYellow) {
    Filter(4);
    int noRate = -1, withRate = -1;
    for (int i = 0; i < c->ChList->count(); ++i) {
        const TCurrencyRec& rec = *List().GetCurrency(c->ChList->item(i)->data(Qt::UserRole).toInt());
        if (rec.Rate == 0 && noRate < 0) noRate = i;
        if (rec.Rate > 0 && withRate < 0) withRate = i;
    }
    ASSERT_GE(noRate, 0);
    ASSERT_GE(withRate, 0);
    auto pixel = [&](int row, bool ticked) {
        {
            const QSignalBlocker block(c->ChList);
            c->ChList->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        }
        // Wide enough that the label leaves the right end to the background.
        QImage image(2000, 13, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QPainter painter(&image);
        VMRConfig->ChListDrawItem(&painter, row, QRect(0, 0, 2000, 13), false);
        painter.end();
        return QColor(image.pixel(1990, 6));
    };
    EXPECT_EQ(pixel(noRate, true), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(pixel(noRate, false), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(pixel(withRate, true), QColor(0xFF, 0xFF, 0xA8));
    EXPECT_EQ(pixel(withRate, false), c->ChList->palette().color(QPalette::Base));
}

// ---- favourites ----

TEST_F(CurrencyPageTest, ATickAddsAFavouriteWithTheBalloonAndASecondOfTheSameSymbolIsRefused) {
    CurrencyConverter->SetFavorites("");
    Rec("CAD")->Symbol = Rec("USD")->Symbol;
    Filter(0);
    auto row = [&](const std::string& code) {
        for (int i = 0; i < c->ChList->count(); ++i)
            if (List().GetCurrency(c->ChList->item(i)->data(Qt::UserRole).toInt())->Code == code) return i;
        return -1;
    };
    ASSERT_GE(row("USD"), 0);
    ASSERT_GE(row("CAD"), 0);
    // A click on the entry's tick box.
    QListWidgetItem* usd = c->ChList->item(row("USD"));
    c->ChList->scrollToItem(usd);
    const QRect entry = c->ChList->visualItemRect(usd);
    QTest::mouseClick(c->ChList->viewport(), Qt::LeftButton, {}, QPoint(entry.left() + 8, entry.center().y()));
    EXPECT_EQ(usd->checkState(), Qt::Checked);
    EXPECT_EQ(CurrencyConverter->Favorites().CommaText(), "USD");
    ASSERT_NE(VMRConfig->HintBalloon, nullptr);
    EXPECT_TRUE(VMRConfig->HintBalloon->isVisible());
    const auto* text = VMRConfig->HintBalloon->findChild<QLabel*>("HintBalloonText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->text().contains("Favorites"));
    EXPECT_TRUE(text->text().contains("Currency USD added to favorites"));
    EXPECT_EQ(VMRConfig->HintBalloon->pos(), c->ChList->mapToGlobal(QPoint(54, 80)));
    EXPECT_TRUE(WaitFor([&] { return !VMRConfig->HintBalloon->isVisible(); }, 3000));

    c->ChList->item(row("CAD"))->setCheckState(Qt::Checked);
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], Message(msg::FavoriteSameSymbol));
    EXPECT_EQ(c->ChList->item(row("CAD"))->checkState(), Qt::Unchecked);
    EXPECT_EQ(CurrencyConverter->Favorites().CommaText(), "USD");

    // Unticked under the favourites filter: no favourite, but listed until the next refill.
    Filter(2);
    ASSERT_EQ(c->ChList->count(), 1);
    c->ChList->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(CurrencyConverter->Favorites().Count(), 0);
    EXPECT_EQ(c->ChList->count(), 1);
}

// ---- editing ----

struct CheckCase {
    const char* name;
    const char* code;
    const char* iso;
    const char* currencyName;
    const char* symbol;
    const char* reference;
    const char* factor;
    int message;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CurrencyCheckTest : public CurrencyPageTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CurrencyCheckTest, AFailedCheckShowsItsMessageAndSavesNothing) {
    const CheckCase& p = GetParam();
    const std::string before = ReadFileBytes(configFile);
    const int count = List().Count();
    Enter(p.code, p.iso, p.currencyName, p.symbol, p.reference, p.factor);
    c->btDivEdit->click();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    const std::string expected = p.message == msg::CurrencyCodeCheck ? Format(Message(p.message), std::string(p.code))
                                                                      : Message(p.message);
    EXPECT_EQ(boxes[0], expected);
    EXPECT_EQ(List().Count(), count);
    EXPECT_EQ(ReadFileBytes(configFile), before);
    // Still editing: the entry can be corrected.
    EXPECT_TRUE(VMRConfig->CurrencyEditing);
    EXPECT_TRUE(c->EDivCode->isEnabled());
    EXPECT_EQ(c->btDivEdit->text().toStdString(), Message(msg::SaveCaption));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, CurrencyCheckTest,
    ::testing::Values(CheckCase{"CodeOfTwoCharacters", "XA", "XAA", "Test money", "T", "", "", msg::CodeLength},
                      CheckCase{"EmptyIsoCode", "XAA", "", "Test money", "T", "", "", msg::CodeLength},
                      CheckCase{"NameOfThreeCharacters", "XAA", "XAA", " Tes ", "T", "", "", msg::NameTooShort},
                      CheckCase{"BlankSymbol", "XAA", "XAA", "Test money", "  ", "", "", msg::SymbolMissing},
                      CheckCase{"FactorNotANumber", "XAA", "XAA", "Test money", "T", "USD", "two", msg::InvalidFactor},
                      CheckCase{"EmptyFactor", "XAA", "XAA", "Test money", "T", "USD", "", msg::InvalidFactor},
                      CheckCase{"ZeroFactor", "XAA", "XAA", "Test money", "T", "USD", "0", msg::InvalidFactor},
                      CheckCase{"CodeOfAnotherCurrency", "USD", "XAA", "Test money", "T", "", "",
                                msg::CurrencyCodeCheck}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST_F(CurrencyPageTest, LeavingTheCodeFieldWithATakenCodeShowsMessage37InRed) {
    c->btDivAdd->click();
    c->EDivCode->setText("usd ");
    EXPECT_EQ(c->EDivCode->text(), "USD");  // upper-cased and trimmed while editing
    VMRConfig->EDivCodeExit();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], Format(Message(msg::CurrencyCodeCheck), std::string("USD")));
    EXPECT_EQ(c->EDivCode->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_TRUE(c->EDivIso->text().isEmpty());

    c->EDivCode->setText("XA");
    VMRConfig->EDivCodeExit();
    EXPECT_EQ(c->EDivCode->palette().color(QPalette::Text), QColor(Qt::red));
    c->EDivCode->setText("XAA");
    VMRConfig->EDivCodeExit();
    EXPECT_EQ(c->EDivCode->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(c->EDivIso->text(), "XAA");  // the empty display code takes the code
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(CurrencyPageTest, SavingALinkedCurrencySwitchesTheFilterToLinkedAndGivesItItsRate) {
    Filter(0);
    Enter("XAA", "XAA", "Test money", "T", "USD", "2");
    EXPECT_TRUE(c->EDivTriRatio->isEnabled());
    EXPECT_FALSE(c->btDivAdd->isEnabled());
    c->btDivEdit->click();
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_EQ(c->cbWhatShow->currentIndex(), 1);
    EXPECT_EQ(ShownCode(), "XAA");
    ASSERT_NE(Rec("XAA"), nullptr);
    EXPECT_DOUBLE_EQ(Rec("XAA")->Rate, Rec("USD")->Rate * 2);
    EXPECT_EQ(Config("XAA"), "XAA;T;L;2;USD;2");
    EXPECT_FALSE(VMRConfig->CurrencyEditing);
    EXPECT_FALSE(c->EDivCode->isEnabled());
    EXPECT_TRUE(c->btDivAdd->isEnabled());
    EXPECT_EQ(c->btDivEdit->text().toStdString(), Message(msg::EditCaption));
    EXPECT_EQ(c->btDivDel->text().toStdString(), Message(msg::DeleteCaption));
    // The main window's lists and the reference list know it.
    EXPECT_GE(c->EDivTriCode->findText("XAA"), 0);

    // Without a reference and without a rate it is listed under "without rates".
    Enter("XAB", "XAB", "Other money", "O");
    c->ESymPos->setCurrentIndex(1);
    c->EDivNumDec->setValue(0);
    c->btDivEdit->click();
    EXPECT_EQ(c->cbWhatShow->currentIndex(), 3);
    EXPECT_EQ(ShownCode(), "XAB");
    EXPECT_EQ(Config("XAB"), "XAB;O;R;0");
}

TEST_F(CurrencyPageTest, EditingAnExistingCurrencyKeepsItsTieWhenSavedUnchanged) {
    Select("DEM");
    c->btDivEdit->click();
    EXPECT_EQ(c->btDivEdit->text().toStdString(), Message(msg::SaveCaption));
    EXPECT_EQ(c->btDivDel->text().toStdString(), Message(msg::CancelCaption));
    c->EDivName->setText("Deutsche Mark (old)");
    c->btDivEdit->click();
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_EQ(Rec("DEM")->Name, "Deutsche Mark (old)");
    EXPECT_DOUBLE_EQ(Rec("DEM")->Factor, 1.95583);
    EXPECT_EQ(Config("DEM"), "DEM;DM;R;2;EUR;1.95583");
    EXPECT_EQ(c->cbWhatShow->currentIndex(), 1);
    EXPECT_EQ(ShownCode(), "DEM");
}

struct RefillCase {
    const char* name;
    void (*refill)(TVMRConverter& window);
    bool whileEditing;  // between Edit and Save, else before Edit
};

void PrintTo(const RefillCase& c, std::ostream* os) {
    *os << c.name << " (refill " << (c.whileEditing ? "between Edit and Save" : "before Edit") << ")";
}

class CurrencyRefillTest : public CurrencyPageTest, public ::testing::WithParamInterface<RefillCase> {};

// Refilling the currency lists (the update run's reload, the favourites button) must not
// untie the currency the page shows: its next save would write it unlinked.
TEST_P(CurrencyRefillTest, ALinkedCurrencyKeepsItsTieThroughARefill) {
    Select("DEM");
    if (!GetParam().whileEditing) GetParam().refill(*window);
    c->btDivEdit->click();
    if (GetParam().whileEditing) GetParam().refill(*window);
    EXPECT_EQ(c->EDivTriCode->currentText(), "EUR");
    c->btDivEdit->click();
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_EQ(Config("DEM"), "DEM;DM;R;2;EUR;1.95583");
    EXPECT_DOUBLE_EQ(Rec("DEM")->Factor, 1.95583);
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, CurrencyRefillTest,
    ::testing::Values(RefillCase{"UpdateReloadBeforeEdit", [](TVMRConverter& w) { w.RefillCurrencyLists(); }, false},
                      RefillCase{"UpdateReloadWhileEditing", [](TVMRConverter& w) { w.RefillCurrencyLists(); }, true},
                      RefillCase{"FavouritesButtonBeforeEdit", [](TVMRConverter& w) { w.btFavorites->click(); }, false},
                      RefillCase{"FavouritesButtonWhileEditing", [](TVMRConverter& w) { w.btFavorites->click(); },
                                 true}),
    [](const ::testing::TestParamInfo<RefillCase>& info) { return std::string(info.param.name); });

// The symbol comes from a currency file the user may edit: a "%" in it is shown as it is.
TEST_F(CurrencyPageTest, ACurrencyWhoseSymbolHoldsAPercentSignShowsItsRate) {
    Rec("USD")->Symbol = "%";
    Select("USD");
    EXPECT_TRUE(c->EDivValue->text().endsWith(QStringLiteral(" %"))) << c->EDivValue->text().toStdString();
}

TEST_F(CurrencyPageTest, ChangingTheCodeMovesTheCurrencyWithItsTiesAndFavourite) {
    Enter("XAA", "XAA", "Test money", "T", "GBP", "2");
    c->btDivEdit->click();
    CurrencyConverter->SetFavorites("GBP");
    Select("GBP");
    c->btDivEdit->click();
    c->EDivCode->setText("GBX");
    c->btDivEdit->click();
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_EQ(List().IndexOfCode("GBP"), -1);
    ASSERT_NE(Rec("GBX"), nullptr);
    EXPECT_EQ(Config("GBP"), "<none>");
    EXPECT_EQ(Config("GBX"), "GBP;£;L;2");
    EXPECT_EQ(Rec("XAA")->RefCode, "GBX");
    EXPECT_EQ(Config("XAA"), "XAA;T;L;2;GBX;2");
    EXPECT_EQ(CurrencyConverter->Favorites().CommaText(), "GBX");
    EXPECT_EQ(ShownCode(), "GBX");
}

TEST_F(CurrencyPageTest, CancelLeavesTheEditAndShowsTheSelectedCurrencyAgain) {
    Select("USD");
    c->btDivAdd->click();
    EXPECT_TRUE(c->EDivCode->text().isEmpty());
    EXPECT_EQ(c->EDivSymbol->text(), "?");
    EXPECT_EQ(c->EDivNumDec->value(), 2);
    c->btDivDel->click();
    EXPECT_FALSE(VMRConfig->CurrencyEditing);
    EXPECT_EQ(c->EDivCode->text(), "USD");
    EXPECT_FALSE(c->EDivCode->isEnabled());
    EXPECT_TRUE(boxes.empty());
}

// ---- deletion ----

TEST_F(CurrencyPageTest, DeletingACurrencyOthersAreLinkedToIsRefused) {
    int linked = 0;
    for (int i = 0; i < List().Count(); ++i)
        if (List().GetCurrency(i)->RefCode == "EUR") ++linked;
    ASSERT_GT(linked, 0);
    answerYes = true;
    Select("EUR");
    c->btDivDel->click();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], Format(Message(msg::DeleteCurrency), std::string("EUR"), linked));
    EXPECT_NE(List().IndexOfCode("EUR"), -1);
    EXPECT_NE(Config("EUR"), "<none>");
}

TEST_F(CurrencyPageTest, DeletingAfterYesRemovesTheCurrencyFromListAndFileWithADatedCopy) {
    const std::string before = ReadFileBytes(configFile);
    CurrencyConverter->SetFavorites("DEM");
    Select("DEM");
    // "No" keeps it.
    c->btDivDel->click();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], Message(msg::DeleteCurrencyLinked));
    EXPECT_NE(List().IndexOfCode("DEM"), -1);

    answerYes = true;
    c->btDivDel->click();
    WaitForBoxes(2);
    EXPECT_EQ(List().IndexOfCode("DEM"), -1);
    EXPECT_EQ(Config("DEM"), "<none>");
    EXPECT_EQ(ReadFileBytes(DefinitionCopyName(configFile)), before);
    EXPECT_EQ(CurrencyConverter->Favorites().Count(), 0);
    // The list is refilled and the next code up is shown.
    EXPECT_GE(ShownCode(), std::string("DEM"));
    EXPECT_FALSE(c->EDivCode->isEnabled());
}

TEST_F(CurrencyPageTest, DeletingTheGreatestShownCodeLeavesNoEntrySelected) {
    answerYes = true;
    Filter(1);
    std::string greatest;
    for (int i = 0; i < c->ChList->count(); ++i)
        greatest = std::max(greatest, List().GetCurrency(c->ChList->item(i)->data(Qt::UserRole).toInt())->Code);
    ASSERT_FALSE(greatest.empty());
    for (int i = 0; i < c->ChList->count(); ++i)
        if (List().GetCurrency(c->ChList->item(i)->data(Qt::UserRole).toInt())->Code == greatest)
            c->ChList->setCurrentRow(i);
    c->btDivDel->click();
    WaitForBoxes(1);
    EXPECT_EQ(List().IndexOfCode(greatest), -1);
    EXPECT_EQ(c->ChList->currentRow(), -1);
}

// ---- definition files ----

TEST_F(CurrencyPageTest, ImportMergesShowsMessage48KeepsADatedCopyAndTheRates) {
    const std::string before = ReadFileBytes(configFile);
    chosenFile = home / "other.vcd";
    WriteText(chosenFile, "[VMG]\r\nTYPE=CONFIG\r\n[CONFIG]\r\nUSD=USD;US$;L;2\r\nXAA=XAA;X;L;2\r\n");
    Filter(0);
    c->btImportVmg->click();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], DecodeLineMarks(Format(Message(msg::ImportResult), std::string("other.vcd"), 1, 1)));
    ASSERT_EQ(chosenForSave, std::vector<bool>{false});
    EXPECT_EQ(ReadFileBytes(DefinitionCopyName(configFile)), before);
    EXPECT_EQ(Config("XAA"), "XAA;X;L;2");
    ASSERT_NE(Rec("USD"), nullptr);
    EXPECT_EQ(Rec("USD")->Symbol, "US$");
    EXPECT_GT(Rec("USD")->Rate, 0);  // the day rate file loaded again
    Select("USD");
    EXPECT_EQ(c->EDivSymbol->text(), "US$");
}

TEST_F(CurrencyPageTest, ImportOfAnotherFileTypeShowsTheReasonAndChangesNothing) {
    const std::string before = ReadFileBytes(configFile);
    chosenFile = home / "names.vcd";
    WriteText(chosenFile, "[CONFIG]\r\nUSD=USD;US$;L;2\r\n");
    c->btImportVmg->click();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Invalid file");
    EXPECT_EQ(ReadFileBytes(configFile), before);
    EXPECT_EQ(Rec("USD")->Symbol, "$");

    // A cancelled dialog does nothing at all.
    chosenFile.clear();
    c->btImportVmg->click();
    QApplication::processEvents();
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(CurrencyPageTest, ExportCopiesTheConfigurationWithMessage3OrGivesMessage16) {
    chosenFile = home / "copy.vcd";
    WriteText(chosenFile, "old");
    c->btExportVmg->click();
    WaitForBoxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], Message(msg::ExportDone));
    EXPECT_EQ(ReadFileBytes(chosenFile), ReadFileBytes(configFile));
    EXPECT_EQ(chosenForSave, std::vector<bool>{true});

    chosenFile = home / "missing/copy.vcd";
    c->btExportVmg->click();
    WaitForBoxes(2);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], Message(msg::ExportFailed));
}

}  // namespace
}  // namespace vemra::test
