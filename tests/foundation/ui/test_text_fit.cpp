// Room for a language's texts in fixed-position windows: a row of captions over fields, and a
// label on its own background.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>

#include "TextFit.h"

namespace vemra::test {
namespace {

// A row laid out as a designer would: three fields of 60 px with 10 px between them.
class CaptionRow : public ::testing::Test {
protected:
    CaptionRow() {
        for (int i = 0; i < 3; ++i) {
            captions[i] = new QLabel(QStringLiteral("Ab"), &page);
            captions[i]->setGeometry(10 + 70 * i, 10, 70, 16);
            fields[i] = new QLineEdit(&page);
            fields[i]->setGeometry(10 + 70 * i, 28, 60, 22);
        }
    }
    void Fit() {
        ui::FitCaptionRow({{captions[0], fields[0], 40}, {captions[1], fields[1], 40}, {captions[2], fields[2], 40}});
    }
    // Pixels between the end of one caption's text and the start of the next.
    int GapAfter(int i) const { return captions[i + 1]->x() - (captions[i]->x() + ui::TextWidth(captions[i])); }

    QWidget page;
    QLabel* captions[3] = {};
    QLineEdit* fields[3] = {};
};

TEST_F(CaptionRow, ALongerCaptionWidensItsColumnWithinTheSpanAndAShortOneGetsTheDesignBack) {
    Fit();  // short captions: the design stays
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fields[i]->geometry(), QRect(10 + 70 * i, 28, 60, 22)) << i;

    captions[1]->setText(QStringLiteral("A longer caption"));
    Fit();
    EXPECT_GE(GapAfter(1), ui::kTextGap);
    EXPECT_GE(GapAfter(0), ui::kTextGap);
    EXPECT_EQ(fields[1]->x(), captions[1]->x()) << "a caption stays over its field";
    EXPECT_EQ(fields[2]->geometry().right(), 209) << "the row keeps its span";
    EXPECT_GE(fields[2]->width(), 40);

    captions[1]->setText(QStringLiteral("Ab"));
    Fit();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fields[i]->geometry(), QRect(10 + 70 * i, 28, 60, 22)) << i;
}

TEST(Badge, WidensForItsTextWithinItsBoundsAndShrinksBackToItsDesign) {
    QWidget parent;
    parent.resize(300, 40);
    QLabel badge(QStringLiteral("Ab"), &parent);
    badge.setAutoFillBackground(true);
    badge.setGeometry(200, 10, 60, 16);
    ui::FitBadge(&badge, ui::TGrow::Leftward, 100, 290);
    EXPECT_EQ(badge.geometry(), QRect(200, 10, 60, 16));

    badge.setText(QStringLiteral("A text that needs more room"));
    ui::FitBadge(&badge, ui::TGrow::Leftward, 100, 290);
    const int need = ui::TextWidth(&badge) + 2 * ui::kTextInset;
    EXPECT_EQ(badge.width(), std::min(need, 191));
    EXPECT_EQ(badge.geometry().right(), need <= 160 ? 259 : std::min(100 + need - 1, 290))
        << "from its right edge, and past it only at the left bound";

    badge.setText(QStringLiteral("Somewhat longer"));
    ui::FitBadge(&badge, ui::TGrow::BothWays, 100, 290);
    const int wide = ui::TextWidth(&badge) + 2 * ui::kTextInset;
    ASSERT_GT(wide, 60);
    EXPECT_EQ(badge.geometry(), QRect(200 - (wide - 60) / 2, 10, wide, 16)) << "round its centre";

    badge.setText(QStringLiteral("Ab"));
    ui::FitBadge(&badge, ui::TGrow::BothWays, 100, 290);
    EXPECT_EQ(badge.geometry(), QRect(200, 10, 60, 16));
}

}  // namespace
}  // namespace vemra::test
