// The property applier and the list fillers: SELF and APP, components found without regard
// to case, the aliases, values that do not convert, lines that name nothing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <ostream>

#include "Properties.h"

using namespace vemra;

namespace {

struct TestWindow {
  TestWindow() {
    window.setObjectName("FrmTest");
    btOk = new QPushButton("Ok", &window);
    btOk->setObjectName("btOk");
    lbMsg = new QLabel(&window);
    lbMsg->setObjectName("lbMsg");
    group = new QGroupBox(&window);
    group->setObjectName("gbNames");
    auto* inner = new QCheckBox(group);  // nested: still the window's component
    inner->setObjectName("chAudio");
    chAudio = inner;
    spin = new QSpinBox(&window);
    spin->setObjectName("seDays");
    dspin = new QDoubleSpinBox(&window);
    dspin->setObjectName("seFactor");
    combo = new QComboBox(&window);
    combo->setObjectName("cbHKF");
    memo = new QPlainTextEdit(&window);
    memo->setObjectName("meInfo");
    tabs = new QTabWidget(&window);
    tabs->setObjectName("pcPages");
    page = new QWidget;
    page->setObjectName("tsGeneral");
    tabs->addTab(page, "General");
  }
  QDialog window;
  QPushButton* btOk;
  QLabel* lbMsg;
  QGroupBox* group;
  QCheckBox* chAudio;
  QSpinBox* spin;
  QDoubleSpinBox* dspin;
  QComboBox* combo;
  QPlainTextEdit* memo;
  QTabWidget* tabs;
  QWidget* page;
};

}  // namespace

TEST(PropertyLines, SelfAndAppCaptionsWithLineMarks) {
  TestWindow t;
  const QString oldName = QGuiApplication::applicationDisplayName();
  ApplyPropertyLines(&t.window, {"SELF:Caption=Options||page", "APP:Title=x", "self:toolTip=Fixed_rates"});
  EXPECT_EQ(t.window.windowTitle(), "Options\npage");
  EXPECT_EQ(qApp->property("Title").toString(), "x");
  // Qt would append a display name to every title: the language's title does not become one.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), oldName);
  EXPECT_EQ(t.window.toolTip(), "Fixed rates");
}

TEST(PropertyLines, CaptionSetsTextTitleOrWindowTitleAndLabelsATabPage) {
  TestWindow t;
  ApplyPropertyLines(&t.window, {"btOk:Caption=&Accept", "gbNames:Caption=Names", "lbMsg:Caption=Hello",
                                 "tsGeneral:Caption=Common"});
  EXPECT_EQ(t.btOk->text(), "&Accept");
  EXPECT_EQ(t.group->title(), "Names");
  EXPECT_EQ(t.lbMsg->text(), "Hello");
  EXPECT_EQ(t.tabs->tabText(0), "Common");
}

TEST(PropertyLines, HintGivesTooltipAndStatusTheShortPart) {
  TestWindow t;
  ApplyPropertyLines(&t.window, {"btOk:Hint=Close|Closes the window", "lbMsg:Hint=Plain"});
  EXPECT_EQ(t.btOk->toolTip(), "Close");
  EXPECT_EQ(t.btOk->statusTip(), "Close");
  EXPECT_EQ(t.lbMsg->toolTip(), "Plain");
}

TEST(PropertyLines, ValuesAreSetByTheirKind) {
  TestWindow t;
  t.chAudio->setChecked(false);
  ApplyPropertyLines(&t.window, {"CHAUDIO:checked=true", "seDays:maximum=40", "seDays:Value=$1F",
                                 "seFactor:value=2.5", "lbMsg:textFormat=PlainText", "btOk:text=Next"});
  EXPECT_TRUE(t.chAudio->isChecked());
  EXPECT_EQ(t.spin->value(), 31);
  EXPECT_DOUBLE_EQ(t.dspin->value(), 2.5);
  EXPECT_EQ(t.lbMsg->textFormat(), Qt::PlainText);
  EXPECT_EQ(t.btOk->text(), "Next");
}

TEST(PropertyLines, BadLinesAreSkippedAndTheFollowingLinesStillApply) {
  TestWindow t;
  t.spin->setValue(5);
  t.lbMsg->setTextFormat(Qt::RichText);
  auto* unnamed = new QLabel(&t.window);
  ApplyPropertyLines(&t.window, {
      "btOk:Visible=maybe",          // a Boolean that is neither True nor False
      "seDays:value=12abc",          // not an integer
      "lbMsg:textFormat=taCenter",   // not a key of the enumeration
      "btNothing:text=Lost",         // no such component
      "btOk:NotAProperty=1",         // no such property
      "btOk:font=Arial",             // a kind that text does not set
      "no name here",                // no "="
      "btOk=Nameless",               // no ":"
      ":text=Nobody",                // no component name
      "lbMsg:text=Still applied",
  });
  EXPECT_FALSE(t.btOk->isHidden());
  EXPECT_EQ(t.spin->value(), 5);
  EXPECT_EQ(t.lbMsg->textFormat(), Qt::RichText);
  EXPECT_EQ(t.btOk->text(), "Ok");
  EXPECT_EQ(t.lbMsg->text(), "Still applied");
  EXPECT_EQ(unnamed->text(), "");
}

TEST(PropertyLines, ARepeatedNameTakesTheFirstValue) {
  TestWindow t;
  ApplyPropertyLines(&t.window, {"btOk:text=First", "BTOK:TEXT=Second"});
  EXPECT_EQ(t.btOk->text(), "First");
}

TEST(PropertyLines, TakesUtf8LinesOfTheFoundation) {
  TestWindow t;
  TStringList lines;
  lines.Add("btOk:Caption=Sí");
  lines.Add("cbHKF:Items=F1||F2");
  ApplyPropertyLines(&t.window, lines);
  EXPECT_EQ(t.btOk->text(), QString::fromUtf8("Sí"));
  EXPECT_EQ(t.combo->count(), 2);
}

TEST(PropertyLines, FindPropInfoIgnoresCaseAndAnswersInvalidWhenAbsent) {
  QPushButton button;
  EXPECT_STREQ(FindPropInfo(&button, "TEXT").name(), "text");
  EXPECT_FALSE(FindPropInfo(&button, "Caption").isValid());
  EXPECT_FALSE(FindPropInfo(nullptr, "text").isValid());
}

struct ItemsCase {
  const char* name;
  const char* text;
  int selectedBefore;
  QStringList items;
  int selectedAfter;
};
// Tests are listed by the case name, not by the bytes of the case.
void PrintTo(const ItemsCase& c, std::ostream* os) { *os << c.name; }


class ListItemsText : public testing::TestWithParam<ItemsCase> {};

TEST_P(ListItemsText, ComboAndListKeepTheSelectedPositionWhileItExists) {
  const ItemsCase& c = GetParam();
  QComboBox combo;
  QListWidget list;
  combo.addItems({"a", "b", "c", "d"});
  list.addItems({"a", "b", "c", "d"});
  combo.setCurrentIndex(c.selectedBefore);
  list.setCurrentRow(c.selectedBefore);
  QSignalSpy comboChanged(&combo, &QComboBox::currentIndexChanged);
  QSignalSpy listChanged(&list, &QListWidget::currentRowChanged);

  SetListItemsText(&combo, QString::fromUtf8(c.text));
  SetListItemsText(&list, QString::fromUtf8(c.text));

  QStringList comboItems, listItems;
  for (int i = 0; i < combo.count(); ++i) comboItems << combo.itemText(i);
  for (int i = 0; i < list.count(); ++i) listItems << list.item(i)->text();
  EXPECT_EQ(comboItems, c.items);
  EXPECT_EQ(listItems, c.items);
  EXPECT_EQ(combo.currentIndex(), c.selectedAfter);
  EXPECT_EQ(list.currentRow(), c.selectedAfter);
  EXPECT_EQ(comboChanged.count(), 0);  // a refill is not the user's choice
  EXPECT_EQ(listChanged.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ListItemsText,
    testing::Values(ItemsCase{"MixedLineBreaks", "one\r\ntwo\nthree\rfour", 2, {"one", "two", "three", "four"}, 2},
                    ItemsCase{"FinalBreakEndsTheLastLine", "x\r\ny\r\n", 1, {"x", "y"}, 1},
                    ItemsCase{"SelectionBeyondTheNewItemsIsCleared", "x\ny", 3, {"x", "y"}, -1},
                    ItemsCase{"EmptyLinesInsideStay", "x\n\ny", 0, {"x", "", "y"}, 0},
                    ItemsCase{"EmptyTextGivesNoItems", "", 1, {}, -1}),
    [](const testing::TestParamInfo<ItemsCase>& p) { return std::string(p.param.name); });

TEST(ListItemsText, MemoTakesTheLinesAndOtherControlsAreLeftAlone) {
  QPlainTextEdit memo;
  SetListItemsText(&memo, "first\r\nsecond");
  EXPECT_EQ(memo.toPlainText(), "first\nsecond");
  QLabel label("unchanged");
  SetListItemsText(&label, "x\ny");
  EXPECT_EQ(label.text(), "unchanged");
}

TEST(ControlsCursor, SetsTheNamedControlsOfTheWindowOnly) {
  TestWindow t;
  QWidget* nestedWindow = new QWidget(&t.window, Qt::Window);
  auto* nestedButton = new QPushButton(nestedWindow);
  nestedButton->setObjectName("btNested");
  SetControlsCursor(&t.window, QCursor(Qt::WaitCursor));
  EXPECT_EQ(t.btOk->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(t.chAudio->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(t.window.cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(nestedButton->cursor().shape(), Qt::ArrowCursor);
}
