// The message box base: one button on the right for a plain message, yes/no answers,
// CloseBox with and without CloseWithNo, the drag margins and the rounded shape.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <cstdlib>

#include <QApplication>
#include <QScreen>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <ostream>

#include "MsgBase.h"
#include "PngImage.h"

using vemra::MsgBox;
using vemra::TFrmMsgBase;

namespace {

// Runs the action inside the box's modal loop, then returns what Execute answered.
bool ExecuteWith(TFrmMsgBase* box, const QString& text, bool askYesNo,
                 const std::function<void(TFrmMsgBase*)>& action) {
  QTimer::singleShot(0, box, [box, action] { action(box); });
  return box->Execute(text, askYesNo);
}

class TCustomCaptionBox : public TFrmMsgBase {
 public:
  void GetOkCaption(QString& caption) override { caption = QStringLiteral("Continue"); }
};

}  // namespace

TEST(MsgBase, PlainMessageShowsOneButtonOnTheRightCaptionedByGetOkCaption) {
  auto* box = new TCustomCaptionBox;
  bool okVisible = true, koVisible = false;
  QString koText, label;
  int koX = 0;
  const bool result = ExecuteWith(box, QStringLiteral("Rates updated"), false, [&](TFrmMsgBase* b) {
    okVisible = b->btOk->isVisible();
    koVisible = b->btKo->isVisible();
    koText = b->btKo->text();
    koX = b->btKo->x();
    label = b->lbMsg->text();
    b->btKo->click();
  });
  EXPECT_TRUE(result);
  EXPECT_FALSE(okVisible);
  EXPECT_TRUE(koVisible);
  EXPECT_EQ(koText, "Continue");
  EXPECT_EQ(koX, 368);
  EXPECT_EQ(label, "Rates updated");
}

TEST(MsgBase, PlainMessageButtonOfTheBaseSaysOk) {
  QString caption;
  TFrmMsgBase box;
  box.GetOkCaption(caption);
  EXPECT_EQ(caption, "Ok");
}

TEST(MsgBase, QuestionAnswersTrueForYesAndFalseForNoOrEscape) {
  EXPECT_TRUE(ExecuteWith(new TFrmMsgBase, "Install?", true, [](TFrmMsgBase* b) { b->btOk->click(); }));
  EXPECT_FALSE(ExecuteWith(new TFrmMsgBase, "Install?", true, [](TFrmMsgBase* b) { b->btKo->click(); }));
  EXPECT_FALSE(ExecuteWith(new TFrmMsgBase, "Install?", true, [](TFrmMsgBase* b) { b->reject(); }));
}

TEST(MsgBase, QuestionShowsBothButtonsWithTheirCaptions) {
  QStringList seen;
  ExecuteWith(new TFrmMsgBase, "Install?", true, [&](TFrmMsgBase* b) {
    seen << b->btOk->text() << b->btKo->text();
    seen << QString::number(b->btOk->isVisible()) << QString::number(b->btKo->isVisible());
    b->btKo->click();
  });
  EXPECT_EQ(seen, QStringList({"Yes", "No", "1", "1"}));
}

TEST(MsgBase, CloseBoxAnswersWithTheFirstButtonUnlessCloseWithNo) {
  EXPECT_TRUE(ExecuteWith(new TFrmMsgBase, "q", true, [](TFrmMsgBase* b) { b->CloseBox(); }));
  EXPECT_FALSE(ExecuteWith(new TFrmMsgBase, "q", true, [](TFrmMsgBase* b) {
    b->CloseWithNo = true;
    b->CloseBox();
  }));
  // A plain message's single button answers OK either way.
  EXPECT_TRUE(ExecuteWith(new TFrmMsgBase, "m", false, [](TFrmMsgBase* b) { b->CloseBox(); }));
  EXPECT_TRUE(ExecuteWith(new TFrmMsgBase, "m", false, [](TFrmMsgBase* b) {
    b->CloseWithNo = true;
    b->CloseBox();
  }));
}

TEST(MsgBase, ClosingFreesTheBoxAndClearsMsgBox) {
  QPointer<TFrmMsgBase> box = new TFrmMsgBase;
  MsgBox = box;
  ExecuteWith(box, "m", false, [](TFrmMsgBase* b) {
    EXPECT_EQ(MsgBox, b);
    b->CloseBox();
  });
  EXPECT_EQ(MsgBox, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(box.isNull());
}

struct MarginCase {
  const char* name;
  QPoint point;
  bool inner;
};
// Tests are listed by the case name, not by the bytes of the case.
void PrintTo(const MarginCase& c, std::ostream* os) { *os << c.name; }


class MsgBaseMargins : public testing::TestWithParam<MarginCase> {};

TEST_P(MsgBaseMargins, ALeftPressOutsideTheInnerRectangleAndAMoveDragTheBox) {
  const MarginCase& c = GetParam();
  const QSize size(TFrmMsgBase::kClientWidth, TFrmMsgBase::kClientHeight);
  EXPECT_EQ(TFrmMsgBase::IsInnerPoint(c.point, size), c.inner);

  TFrmMsgBase box;
  box.show();
  const QPoint start = box.pos();
  auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(local), QPointF(start + local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&box, &event);
  };
  send(QEvent::MouseButtonPress, c.point, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, c.point + QPoint(15, 7), Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, c.point + QPoint(15, 7), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(box.pos(), c.inner ? start : start + QPoint(15, 7));
  // After the release, moving the mouse no longer moves the box.
  send(QEvent::MouseMove, c.point + QPoint(40, 40), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(box.pos(), c.inner ? start : start + QPoint(15, 7));
}

TEST(MsgBase, ARightPressInTheMarginDoesNotDrag) {
  TFrmMsgBase box;
  box.show();
  const QPoint start = box.pos();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(start + QPoint(5, 5)), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(&box, &press);
  QMouseEvent move(QEvent::MouseMove, QPointF(25, 25), QPointF(start + QPoint(25, 25)), Qt::NoButton,
                   Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(&box, &move);
  EXPECT_EQ(box.pos(), start);
}

INSTANTIATE_TEST_SUITE_P(
    Points, MsgBaseMargins,
    testing::Values(MarginCase{"TopLeftOfInner", {30, 40}, true},
                    MarginCase{"BottomRightOfInner", {467, 102}, true},
                    MarginCase{"Centre", {250, 70}, true},
                    MarginCase{"LeftMargin", {29, 70}, false},
                    MarginCase{"TopMargin", {250, 39}, false},
                    MarginCase{"RightMargin", {468, 70}, false},
                    MarginCase{"BottomMargin", {250, 103}, false},
                    MarginCase{"OverTheLogo", {20, 20}, false}),
    [](const testing::TestParamInfo<MarginCase>& p) { return std::string(p.param.name); });

TEST(MsgBase, WindowIsRoundedBorderlessOnTopWithTheComponentsInPlace) {
  TFrmMsgBase box;
  EXPECT_EQ(box.size(), QSize(499, 134));
  EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
  const QRegion mask = box.mask();
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));
  EXPECT_FALSE(mask.contains(QPoint(498, 133)));
  EXPECT_TRUE(mask.contains(QPoint(20, 1)));
  EXPECT_TRUE(mask.contains(QPoint(250, 67)));

  struct Expected {
    const char* name;
    QRect geometry;
  };
  for (const Expected& e : {Expected{"fondo", {0, 0, 499, 134}}, Expected{"VMRLogo", {8, 8, 129, 33}},
                            Expected{"lbMsg", {24, 48, 433, 33}}, Expected{"btOk", {264, 96, 89, 25}},
                            Expected{"btKo", {368, 96, 89, 25}}}) {
    auto* widget = box.findChild<QWidget*>(QString::fromLatin1(e.name));
    ASSERT_NE(widget, nullptr) << e.name;
    EXPECT_EQ(widget->geometry(), e.geometry) << e.name;
  }
  EXPECT_FALSE(box.VMRLogo->icon().isNull());
  EXPECT_TRUE(box.lbMsg->wordWrap());
  EXPECT_TRUE(box.lbMsg->font().bold());
  EXPECT_EQ(box.lbMsg->alignment(), Qt::AlignCenter);
}

TEST(MsgBase, TheGradientRunsFromAquaInTheMiddleToDarkBlueAtBothEdges) {
  TFrmMsgBase box;
  const QImage image = box.fondo->grab().toImage();
  const QColor aqua(0, 255, 255);
  const QColor darkBlue(0, 64, 128);  // 0x804000
  auto near = [](const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 && std::abs(a.blue() - b.blue()) <= 8;
  };
  EXPECT_TRUE(near(image.pixelColor(250, 67), aqua)) << image.pixelColor(250, 67).name().toStdString();
  EXPECT_TRUE(near(image.pixelColor(250, 0), darkBlue)) << image.pixelColor(250, 0).name().toStdString();
  EXPECT_TRUE(near(image.pixelColor(250, 133), darkBlue)) << image.pixelColor(250, 133).name().toStdString();
}

TEST(MsgBase, ALargerDescendantIsCentredAtItsSizeAndKeepsAPositionOfItsOwn) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  TFrmMsgBase larger;
  larger.setFixedSize(425, 224);
  larger.show();
  EXPECT_EQ(larger.pos(), screen.center() - QPoint(425 / 2, 224 / 2));
  EXPECT_EQ(larger.fondo->geometry(), QRect(0, 0, 425, 224));
  EXPECT_FALSE(larger.mask().contains(QPoint(424, 223)));
  EXPECT_TRUE(larger.mask().contains(QPoint(420, 150)));

  TFrmMsgBase placed;
  placed.move(40, 30);
  placed.show();
  EXPECT_EQ(placed.pos(), QPoint(40, 30));
}

// A message that names a file and a reason takes more than the two lines the box has room
// for: the box grows to show all of it, the buttons below the text; a short one keeps the
// box as it is.
TEST(MsgBase, ALongMessageGrowsTheBoxToShowAllOfItsLinesAndAShortOneKeepsItsSize) {
  const QString longText = QStringLiteral(
      "No currencies could be loaded. Please check the currency configuration file.\r\n\r\n"
      "No currency of /home/someone/Documents/Vemra/Currencies.vmg has a name in "
      "/home/someone/Documents/Vemra/ENG.vcn.");
  struct Seen {
    QSize box;
    QRect label, button;
    int needed = 0;
  };
  auto seen = [](const QString& text) {
    Seen s;
    auto* box = new TFrmMsgBase;
    ExecuteWith(box, text, false, [&](TFrmMsgBase* b) {
      s.box = b->size();
      s.label = b->lbMsg->geometry();
      s.button = b->btKo->geometry();
      s.needed = b->lbMsg->heightForWidth(b->lbMsg->width());
      b->btKo->click();
    });
    return s;
  };
  const Seen big = seen(longText);
  EXPECT_GE(big.label.height(), big.needed);
  EXPECT_GT(big.box.height(), 134);
  EXPECT_EQ(big.box.width(), 499);
  EXPECT_GE(big.button.top(), big.label.bottom());
  EXPECT_EQ(big.box.height() - big.button.bottom(), 134 - QRect(368, 96, 89, 25).bottom());  // same bottom margin

  const Seen small = seen(QStringLiteral("Rates updated"));
  EXPECT_EQ(small.box, QSize(499, 134));
  EXPECT_EQ(small.label, QRect(24, 48, 433, 33));
  EXPECT_EQ(small.button, QRect(368, 96, 89, 25));
}

// Loading a PNG with its format named must give the very picture Qt's own guessing load gives.
TEST(PngImage, GivesThePictureAndIconOfQtsOwnLoad) {
    const QString logo = QStringLiteral(":/vemra/msgbase/vmrlogo.png");
    const QImage expected = QPixmap(logo).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(vemra::ui::LoadPng(logo).toImage().convertToFormat(QImage::Format_ARGB32), expected);
    const QIcon icon = vemra::ui::LoadPngIcon(logo);
    EXPECT_EQ(icon.availableSizes(), QIcon(logo).availableSizes());
    EXPECT_EQ(icon.pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32), expected);
    EXPECT_TRUE(vemra::ui::LoadPng(QStringLiteral(":/vemra/msgbase/no-such.png")).isNull());
}

// A picture given for the first paint is made then, once, and is what the label paints; a
// label that is never painted never makes it. The bytes of a file read before give the file's
// own picture.
TEST(PngImage, APictureForTheFirstPaintIsMadeThenAndOnce) {
    const QString logo = QStringLiteral(":/vemra/msgbase/vmrlogo.png");
    const QPixmap expected = vemra::ui::LoadPng(logo);
    QFile file(logo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(vemra::ui::LoadPngData(bytes).toImage(), expected.toImage());

    int made = 0;
    {
        QLabel unseen;
        vemra::ui::SetPixmapOnFirstPaint(&unseen, [&] { ++made; return expected; });
        unseen.resize(expected.size());
    }
    EXPECT_EQ(made, 0);

    QLabel label;
    label.resize(expected.size());
    vemra::ui::SetPixmapOnFirstPaint(&label, [&] { ++made; return expected; });
    EXPECT_TRUE(label.pixmap().isNull());
    const QImage painted = label.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(label.pixmap().toImage(), expected.toImage());
    QLabel plain;
    plain.resize(expected.size());
    plain.setPixmap(expected);
    EXPECT_EQ(painted, plain.grab().toImage().convertToFormat(QImage::Format_ARGB32));
    label.grab();
    EXPECT_EQ(made, 1);
}
