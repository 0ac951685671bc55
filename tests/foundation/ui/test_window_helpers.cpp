// Window helpers without a display: the free functions answer false and do nothing, a fake
// sees the key events of PressKey, and FindVisibleFormByClass; TColor values as QColor; a
// hidden window's polish and style sheets held back until it shows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QWidget>

#include <string>
#include <vector>

#include "Colors.h"
#include "WindowSystem.h"

using namespace vemra;

namespace vemra_test_forms {
class TVMRConfig : public QDialog {
  Q_OBJECT
};
class TVMRSplash : public QWidget {
  Q_OBJECT
};
}  // namespace vemra_test_forms

TEST(WindowHelpers, WithoutADisplayTheHelpersAnswerFalseAndDoNothing) {
  EXPECT_FALSE(WindowSystem().Available());
  EXPECT_FALSE(IsCtrlDown());
  EXPECT_FALSE(IsLeftButtonDown());
  PressKey('V');
  QWidget window;
  window.show();
  EXPECT_FALSE(ForceForegroundWindow(&window));
  EXPECT_FALSE(ForceForegroundWindow(nullptr));
}

TEST(WindowHelpers, PressKeySendsOneDownAndOneUpThroughTheInstalledImplementation) {
  TRecordingWindowSystem fake;
  SetWindowSystem(&fake);
  fake.ctrlDown = true;
  EXPECT_TRUE(IsCtrlDown());
  KeyDown(VK_CONTROL);
  PressKey('V');
  KeyUp(VK_CONTROL);
  QWidget window;
  EXPECT_TRUE(ForceForegroundWindow(&window));
  SetWindowSystem(nullptr);
  using K = TRecordingWindowSystem::KeyEvent;
  EXPECT_EQ(fake.keys, (std::vector<K>{{VK_CONTROL, true}, {'V', true}, {'V', false}, {VK_CONTROL, false}}));
  EXPECT_EQ(fake.foregroundCalls, std::vector<QWidget*>{&window});
  EXPECT_FALSE(WindowSystem().Available());
}

TEST(WindowHelpers, FindVisibleFormByClassIgnoresCaseNamespaceAndHiddenForms) {
  vemra_test_forms::TVMRConfig hiddenConfig;
  vemra_test_forms::TVMRSplash splash;
  EXPECT_EQ(FindVisibleFormByClass("TVMRConfig"), nullptr);
  splash.show();
  EXPECT_EQ(FindVisibleFormByClass("tvmrsplash"), &splash);
  EXPECT_EQ(FindVisibleFormByClass("TVMRConfig"), nullptr);
  hiddenConfig.show();
  EXPECT_EQ(FindVisibleFormByClass("TVMRCONFIG"), &hiddenConfig);
  EXPECT_EQ(FindVisibleFormByClass("QWidget"), nullptr);
}

TEST(Colors, TColorIsBlueGreenRedLowByteRed) {
  EXPECT_EQ(TColorToQColor(0x804000), QColor(0x00, 0x40, 0x80));
  EXPECT_EQ(TColorToQColor(clAqua), QColor(0, 255, 255));
  EXPECT_EQ(TColorToQColor(0x00CC00), QColor(0, 0xCC, 0));
  EXPECT_EQ(QColorToTColor(QColor(0x12, 0x34, 0x56)), 0x563412);
  EXPECT_EQ(TColorToQColor(clNone).alpha(), 0);
  EXPECT_FALSE(TColorToQColor(clDefault).isValid());
  EXPECT_TRUE(TColorToQColor(clBtnFace).isValid());
}

#include "test_window_helpers.moc"

namespace {
// Counts the polish events its widget gets.
class PolishCounter : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Polish) ++count;
    return false;
  }
};
}  // namespace

// A window whose polish is held back gets none at the event loop's next turn, where a window
// beside it does; showing it polishes it and its controls, once each.
TEST(WindowHelpers, AHeldBackWindowIsPolishedWhenItShows) {
  QWidget held;
  auto* control = new QLabel(QStringLiteral("text"), &held);
  QWidget other;
  PolishCounter heldCount, controlCount, otherCount;
  held.installEventFilter(&heldCount);
  control->installEventFilter(&controlCount);
  other.installEventFilter(&otherCount);
  PolishWhenShown(&held);
  PolishWhenShown(nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(heldCount.count, 0);
  EXPECT_EQ(controlCount.count, 0);
  EXPECT_EQ(otherCount.count, 1);
  held.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(heldCount.count, 1);
  EXPECT_EQ(controlCount.count, 1);
}

// A held-back window's controls take their style sheets (from a form's property or from code)
// when it is first polished: until then no control has a style of its own; shown, it looks as
// a twin that took the same sheets at once. A dialog owned by the window takes its own when it
// shows first.
TEST(WindowHelpers, AHeldBackWindowTakesItsStyleSheetsWhenItFirstShows) {
  const QString comboSheet = QStringLiteral("QComboBox{background:#0fa3c3;color:#ffffff;}");
  const QString labelSheet = QStringLiteral("color:#ff0000;background:#000080;");
  auto build = [](QWidget& window, QComboBox*& combo, QLabel*& label) {
    window.resize(200, 60);
    combo = new QComboBox(&window);
    combo->addItem(QStringLiteral("EUR - Euro"));
    combo->setGeometry(0, 0, 200, 24);
    label = new QLabel(QStringLiteral("Label"), &window);
    label->setGeometry(0, 30, 200, 24);
  };
  QWidget held;
  QComboBox* combo = nullptr;
  QLabel* label = nullptr;
  build(held, combo, label);
  combo->setProperty("styleSheetWhenShown", comboSheet);  // as a form sets it
  auto* dialog = new QDialog(&held);
  auto* dialogLabel = new QLabel(dialog);
  dialogLabel->setProperty("styleSheetWhenShown", labelSheet);
  PolishWhenShown(&held);
  PolishWhenShown(dialog);
  SetStyleSheetWhenShown(label, labelSheet);
  QCoreApplication::processEvents();
  for (QWidget* control : {static_cast<QWidget*>(combo), static_cast<QWidget*>(label)}) {
    EXPECT_TRUE(control->styleSheet().isEmpty());
    EXPECT_EQ(control->style(), QApplication::style());
  }
  EXPECT_EQ(StyleSheetWhenShown(combo), comboSheet);
  EXPECT_EQ(StyleSheetWhenShown(label), labelSheet);

  dialog->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogLabel->styleSheet(), labelSheet);
  EXPECT_TRUE(combo->styleSheet().isEmpty());
  dialog->hide();

  held.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(combo->styleSheet(), comboSheet);
  EXPECT_EQ(label->styleSheet(), labelSheet);
  EXPECT_NE(label->style(), QApplication::style());

  QWidget twin;
  QComboBox* twinCombo = nullptr;
  QLabel* twinLabel = nullptr;
  build(twin, twinCombo, twinLabel);
  twinCombo->setStyleSheet(comboSheet);
  twinLabel->setStyleSheet(labelSheet);
  twin.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(held.grab().toImage(), twin.grab().toImage());

  // Once the window has been polished, a new sheet applies at once.
  const QString green = QStringLiteral("color:#00ff00;");
  SetStyleSheetWhenShown(label, green);
  EXPECT_EQ(label->styleSheet(), green);
  EXPECT_EQ(StyleSheetWhenShown(label), green);
}

// An action for a control of a held-back window waits for the window's first polish and sees
// the sheets applied; a later one of the same name replaces it, one of a control gone is
// dropped; after the polish an action runs at once.
TEST(WindowHelpers, AnActionForAHeldBackWindowRunsOnceWhenItIsFirstPolished) {
  QWidget held;
  auto* label = new QLabel(&held);
  auto* gone = new QLabel(&held);
  PolishWhenShown(&held);
  SetStyleSheetWhenShown(label, QStringLiteral("color:#ff0000;"));
  std::vector<std::string> ran;
  WhenPolished(label, "measure", [&] { ran.push_back("first"); });
  WhenPolished(label, "measure", [&] { ran.push_back("second:" + label->styleSheet().toStdString()); });
  WhenPolished(label, "other", [&] { ran.push_back("other"); });
  WhenPolished(gone, "measure", [&] { ran.push_back("gone"); });
  delete gone;
  QCoreApplication::processEvents();
  EXPECT_TRUE(ran.empty());
  held.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(ran, (std::vector<std::string>{"second:color:#ff0000;", "other"}));
  WhenPolished(label, "measure", [&] { ran.push_back("now"); });
  EXPECT_EQ(ran.back(), "now");
}
