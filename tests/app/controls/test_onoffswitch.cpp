// The switch control: thumb geometry, which presses and keys toggle, the click that follows,
// the hot thumb, repaints only on a change, and a disabled switch.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <ostream>

#include "OnOffSwitch.h"

using vemra::TOnOffSwitch;

namespace {

class OnOffSwitchTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!qApp) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      static int argc = 1;
      static char name[] = "test_onoffswitch";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
    }
  }
  void SetUp() override {
    sw.resize(28, 17);
    sw.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sw));
  }
  TOnOffSwitch sw;
};

// Counts the paints, to see that setting the state it already has repaints nothing.
class TCountingSwitch : public TOnOffSwitch {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    TOnOffSwitch::paintEvent(event);
  }
};

}  // namespace

TEST_F(OnOffSwitchTest, StartsOffWithTheThumbOnTheLeft) {
  TOnOffSwitch fresh;
  EXPECT_TRUE(fresh.Off());
  EXPECT_FALSE(fresh.Checked());
  EXPECT_EQ(fresh.size(), QSize(75, 25));
  EXPECT_TRUE(fresh.font().bold());
  EXPECT_EQ(fresh.ThumbRect(), QRect(0, 0, 30, 25));
}

struct ThumbCase {
  const char* name;
  int width;
  int height;
  int offRight;  // exclusive right edge of the thumb when off
  int onLeft;
};
void PrintTo(const ThumbCase& c, std::ostream* os) { *os << c.name; }

class OnOffSwitchThumb : public OnOffSwitchTest, public testing::WithParamInterface<ThumbCase> {};

TEST_P(OnOffSwitchThumb, ThumbSpansFortyPercentAndFollowsEveryResize) {
  const ThumbCase& c = GetParam();
  sw.resize(c.width, c.height);
  EXPECT_EQ(sw.ThumbRect(), QRect(QPoint(0, 0), QPoint(c.offRight - 1, c.height - 1)));
  sw.SetChecked(true);
  EXPECT_EQ(sw.ThumbRect(), QRect(QPoint(c.onLeft, 0), QPoint(c.width - 1, c.height - 1)));
  EXPECT_EQ(sw.font().pointSize(), c.height / 3 + 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OnOffSwitchThumb,
                         testing::Values(ThumbCase{"OptionsWindowSize", 28, 17, 11, 17},
                                         ThumbCase{"DefaultSize", 75, 25, 30, 45},
                                         ThumbCase{"Narrow", 3, 9, 1, 2},
                                         ThumbCase{"Width13", 13, 30, 5, 8}),
                         [](const testing::TestParamInfo<ThumbCase>& p) { return std::string(p.param.name); });

TEST_F(OnOffSwitchTest, PlainLeftClickTogglesBeforeTheClickIsRaised) {
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  bool checkedAtClick = false;
  QObject::connect(&sw, &TOnOffSwitch::clicked, [&] { checkedAtClick = sw.Checked(); });
  QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(sw.Checked());
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(checkedAtClick);
  QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(20, 5));
  EXPECT_TRUE(sw.Off());
  EXPECT_EQ(clicks.count(), 2);
}

TEST_F(OnOffSwitchTest, ClickWithAModifierDoesNotToggleButStillClicks) {
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  for (Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::ShiftModifier, Qt::AltModifier})
    QTest::mouseClick(&sw, Qt::LeftButton, modifier, QPoint(5, 5));
  EXPECT_TRUE(sw.Off());
  EXPECT_EQ(clicks.count(), 3);
}

TEST_F(OnOffSwitchTest, RightClickNeitherTogglesNorClicks) {
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  QTest::mouseClick(&sw, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(sw.Off());
  EXPECT_EQ(clicks.count(), 0);
}

TEST_F(OnOffSwitchTest, DoubleClickTogglesOnceThenReportsTheDoubleClick) {
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  QSignalSpy doubles(&sw, &TOnOffSwitch::doubleClicked);
  // What a double click delivers on X11: press, release, double click, release.
  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(5, 5), sw.mapToGlobal(QPointF(5, 5)),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&sw, &second);
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(sw.Checked());
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(doubles.count(), 1);
}

TEST_F(OnOffSwitchTest, ReleaseOutsideKeepsTheToggleButDoesNotClick) {
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(60, 5));
  EXPECT_TRUE(sw.Checked());
  EXPECT_EQ(clicks.count(), 0);
}

TEST_F(OnOffSwitchTest, ReleasingSpaceTogglesAndClicksOtherKeysDoNot) {
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  QTest::keyClick(&sw, Qt::Key_Space);
  EXPECT_TRUE(sw.Checked());
  QTest::keyClick(&sw, Qt::Key_Return);
  QTest::keyClick(&sw, Qt::Key_A);
  EXPECT_TRUE(sw.Checked());
  // Auto-repeat releases while the key is held do not toggle.
  QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
  QApplication::sendEvent(&sw, &repeated);
  EXPECT_TRUE(sw.Checked());
  QTest::keyClick(&sw, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_TRUE(sw.Off());
  // Each toggle by the key clicks, as the mouse's does, after the state changed.
  EXPECT_EQ(clicks.count(), 2);
}

TEST_F(OnOffSwitchTest, IsNoTabStopAndAClickTakesNoFocus) {
  QWidget form;
  auto* before = new QWidget(&form);
  before->setFocusPolicy(Qt::StrongFocus);
  auto* inForm = new TOnOffSwitch(&form);
  auto* after = new QWidget(&form);
  after->setFocusPolicy(Qt::StrongFocus);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.activateWindow();
  before->setFocus();
  QTest::keyClick(before, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), after);
  QTest::mouseClick(inForm, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(inForm->Checked());
  EXPECT_FALSE(inForm->hasFocus());
}

TEST_F(OnOffSwitchTest, ThumbIsHotWhileTheMouseIsOverItWithNoButtonHeld) {
  QTest::mouseMove(&sw, QPoint(5, 5));
  EXPECT_TRUE(sw.ThumbHot());
  QTest::mouseMove(&sw, QPoint(20, 5));
  EXPECT_FALSE(sw.ThumbHot());
  QTest::mouseMove(&sw, QPoint(10, 16));
  EXPECT_TRUE(sw.ThumbHot());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&sw, &leave);
  EXPECT_FALSE(sw.ThumbHot());
  // With the button held the look stays as it was.
  QMouseEvent held(QEvent::MouseMove, QPointF(5, 5), sw.mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&sw, &held);
  EXPECT_FALSE(sw.ThumbHot());
}

TEST_F(OnOffSwitchTest, SettingTheStateItHasRepaintsNothing) {
  TCountingSwitch counted;
  counted.resize(28, 17);
  counted.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&counted));
  QApplication::processEvents();
  counted.paints = 0;
  counted.SetChecked(false);
  counted.SetOff(true);
  counted.setProperty("Checked", false);
  QApplication::processEvents();
  EXPECT_EQ(counted.paints, 0);
  counted.SetChecked(true);
  QApplication::processEvents();
  EXPECT_EQ(counted.paints, 1);
  EXPECT_EQ(counted.ThumbRect().left(), 17);
}

TEST_F(OnOffSwitchTest, DisabledSwitchIgnoresTheMouseButFollowsCode) {
  sw.setEnabled(false);
  QSignalSpy clicks(&sw, &TOnOffSwitch::clicked);
  QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(sw.Off());
  EXPECT_EQ(clicks.count(), 0);
  sw.SetChecked(true);
  EXPECT_TRUE(sw.Checked());
  sw.setProperty("Off", true);
  EXPECT_TRUE(sw.Off());
  // Drawing in every state must not fail (disabled, then enabled on and focused).
  sw.grab();
  sw.setEnabled(true);
  sw.SetChecked(true);
  sw.setFocus();
  sw.grab();
}
