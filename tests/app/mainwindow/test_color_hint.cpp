// The result balloon offscreen: where the main window places it (moved up and cut when the
// result is long), the paste-back text, the click zones with the commands they post, and
// what the painting draws in which colour.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QTimer>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ColorHint.h"
#include "CurrencyConverter.h"

namespace vemra::test {
namespace {

QApplication& OffscreenApp() {
    if (!qApp) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_color_hint";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    return *qApp;
}

// ---- placement ----

// Where a balloon of a size lands for a pointer on a screen (available geometry): 37 left of
// the pointer and 3 below it, moved left as little as needed to lie wholly on that screen,
// above the pointer when it does not fit below, and beside it (right, else left) when it
// fits neither below nor above.
struct PlaceCase {
    const char* name;
    QPoint pointer;
    QSize size;
    QRect screen;
    QPoint topLeft;
};
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class BalloonOnScreen : public testing::TestWithParam<PlaceCase> {};

TEST_P(BalloonOnScreen, BesideThePointerAndWhollyOnItsScreen) {
    const PlaceCase& c = GetParam();
    const QRect placed = PlaceBalloon(c.pointer, c.size, c.screen);
    EXPECT_EQ(placed.topLeft(), c.topLeft);
    EXPECT_EQ(placed.size(), c.size);
    if (c.size.width() <= c.screen.width() && c.size.height() <= c.screen.height()) {
        EXPECT_TRUE(c.screen.contains(placed)) << placed.x() << "," << placed.y();
    }
    const bool fitsBelow = c.pointer.y() + 3 + c.size.height() <= c.screen.top() + c.screen.height();
    const bool fitsAbove = c.pointer.y() - 3 - c.size.height() >= c.screen.top();
    const bool fitsRight = c.pointer.x() + 3 + c.size.width() <= c.screen.left() + c.screen.width();
    const bool fitsLeft = c.pointer.x() - 3 - c.size.width() >= c.screen.left();
    if (fitsBelow || fitsAbove || fitsRight || fitsLeft) {
        EXPECT_FALSE(placed.contains(c.pointer)) << "the balloon covers the pointer";
    }
}

const QRect kWide(0, 0, 1600, 1000);
const QRect kSmall(0, 0, 800, 600);
const QRect kPanelTop(0, 24, 1280, 1000);       // a panel takes the top 24 pixels
const QRect kRightScreen(1600, 0, 1280, 1024);  // the second of two screens
const QRect kLowerScreen(0, 1024, 1280, 1024);  // a screen below another one

INSTANTIATE_TEST_SUITE_P(
    Balloon, BalloonOnScreen,
    testing::Values(PlaceCase{"MiddleOfTheScreen", {800, 500}, {208, 80}, kWide, {763, 503}},
                    // the bottom: above the pointer, ending 3 pixels over it
                    PlaceCase{"NearTheBottomGoesAbove", {800, 900}, {208, 200}, kWide, {763, 697}},
                    // taller than the room above and below: right of the pointer, up to the bottom edge
                    PlaceCase{"FitsNeitherWayGoesRightOfThePointer", {800, 500}, {208, 700}, kWide, {803, 300}},
                    PlaceCase{"RightEndsAtTheScreenEdge", {1389, 500}, {208, 700}, kWide, {1392, 300}},
                    PlaceCase{"NoRoomRightGoesLeftOfThePointer", {1390, 500}, {208, 700}, kWide, {1179, 300}},
                    PlaceCase{"LeftStartsAtTheScreenEdge", {1500, 500}, {1497, 700}, kWide, {0, 300}},
                    PlaceCase{"BesideOnTheSecondScreen", {1700, 500}, {208, 900}, kRightScreen, {1703, 124}},
                    PlaceCase{"BesideOnTheLowerScreen", {640, 1500}, {208, 1000}, kLowerScreen, {643, 1048}},
                    // no side has room: pushed to the screen's edges
                    PlaceCase{"FitsNoSideMovesUpToTheEdge", {400, 300}, {700, 500}, kSmall, {100, 100}},
                    PlaceCase{"NearTheRightEdgeMovesLeft", {1590, 500}, {208, 80}, kWide, {1392, 503}},
                    PlaceCase{"NearTheLeftEdgeStartsAtIt", {5, 500}, {208, 80}, kWide, {0, 503}},
                    PlaceCase{"BottomRightCorner", {1599, 999}, {208, 80}, kWide, {1392, 916}},
                    PlaceCase{"BottomLeftCorner", {0, 999}, {208, 80}, kWide, {0, 916}},
                    PlaceCase{"SmallScreenBottom", {400, 590}, {300, 120}, kSmall, {363, 467}},
                    PlaceCase{"LowerScreenMiddle", {640, 1500}, {208, 80}, kLowerScreen, {603, 1503}},
                    PlaceCase{"LowerScreenTopEdge", {640, 1024}, {208, 80}, kLowerScreen, {603, 1027}},
                    PlaceCase{"LowerScreenBottomLeftCorner", {2, 2047}, {208, 80}, kLowerScreen, {0, 1964}},
                    PlaceCase{"LowerScreenBottomRightCorner", {1279, 2047}, {208, 80}, kLowerScreen, {1072, 1964}},
                    PlaceCase{"BelowThePanelStays", {600, 10}, {208, 80}, kPanelTop, {563, 24}},
                    PlaceCase{"SecondScreenLeftEdge", {1602, 300}, {208, 80}, kRightScreen, {1600, 303}},
                    PlaceCase{"SecondScreenRightEdge", {2870, 300}, {208, 80}, kRightScreen, {2672, 303}},
                    PlaceCase{"WiderThanTheScreenStartsAtItsLeft", {700, 300}, {900, 80}, kSmall, {0, 303}}),
    [](const testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

struct PlacementCase {
    const char* name;
    TResultHintInput in;
    QRect screen;
    QRect rect;  // inflated by 2
    int hiddenRows;
    int textWidth;
};
void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

TResultHintInput Input(int y, int rows, int columns, bool dateColumn, int warning) {
    TResultHintInput in;
    in.X = 500;
    in.Y = y;
    in.PairWidth = 50;
    in.ModeWidth = 0;
    in.SourceWidth = 40;
    in.DateColumn = dateColumn;
    in.ColumnsWidth = columns;
    in.Rows = rows;
    in.WarningWidth = warning;
    return in;
}
QRect Edges(int l, int t, int r, int b) { return QRect(QPoint(l, t), QPoint(r - 1, b - 1)); }

class ResultHintPlacement : public testing::TestWithParam<PlacementCase> {};

TEST_P(ResultHintPlacement, RectHiddenRowsAndInnerWidth) {
    const PlacementCase& c = GetParam();
    THintLayout layout;
    EXPECT_EQ(CalcResultHintRect(c.in, c.screen, layout), c.rect);
    EXPECT_EQ(layout.HiddenRows, c.hiddenRows);
    EXPECT_EQ(layout.BalloonTextWidth, c.textWidth);
    EXPECT_EQ(layout.WarningTextWidth, c.in.WarningWidth);
}

// left = 500 - 35 = 465, top = y + 5; header texts 50 + 40 + 90 (108 with a date column);
// height 16 + rows * 14 + 1 (+ 14 with warnings), all inflated by 2.
INSTANTIATE_TEST_SUITE_P(
    Balloon, ResultHintPlacement,
    testing::Values(
        PlacementCase{"HeaderWiderThanColumns", Input(300, 3, 100, false, 0), kWide, Edges(463, 303, 647, 366), 0, 180},
        PlacementCase{"DateColumnWidensTheHeader", Input(300, 3, 100, true, 0), kWide, Edges(463, 303, 665, 366), 0,
                      198},
        PlacementCase{"ColumnsWiderThanHeader", Input(300, 3, 400, false, 0), kWide, Edges(463, 303, 867, 366), 0, 400},
        PlacementCase{"WarningLineAddsARowAndItsWidth", Input(300, 3, 100, false, 300), kWide,
                      Edges(463, 303, 771, 380), 0, 304},
        // 60 rows are 861 high: room neither below nor above the pointer, so right of it, moved
        // up to the edge.
        PlacementCase{"SixtyRowsOnATallScreenGoRightOfThePointer", Input(300, 60, 100, false, 0), kWide,
                      Edges(503, 139, 687, 1000), 0, 180},
        // 600 high: 19 rows cut (857 - 19 * 14 = 591 <= 596), one more for the note; the
        // balloon ends at the screen's edge, right of the pointer.
        PlacementCase{"SixtyRowsOnASmallScreenCut", Input(300, 60, 100, false, 0), kSmall, Edges(503, 5, 687, 600), 20,
                      180},
        PlacementCase{"SixtyRowsWithWarningsCutOneMore", Input(300, 60, 100, false, 50), kSmall,
                      Edges(503, 5, 687, 600), 21, 180},
        // wider than the screen: cut to it, at its left edge
        PlacementCase{"ColumnsWiderThanTheScreenAreCut", Input(300, 3, 1000, false, 0), kSmall, Edges(0, 303, 800, 366),
                      0, 796},
        PlacementCase{"LongButFitting", Input(100, 30, 100, false, 0), kWide, Edges(463, 103, 647, 544), 0, 180}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

// ---- paste text ----

struct PasteCase {
    const char* name;
    std::string results, padding, leading, expected;
    bool finalLineBreak = false;
};
void PrintTo(const PasteCase& c, std::ostream* os) { *os << c.name; }

class PasteText : public testing::TestWithParam<PasteCase> {};

TEST_P(PasteText, AsTheClipboardGetsIt) {
    const PasteCase& c = GetParam();
    EXPECT_EQ(BuildPasteText(c.results, "[EMPTY]", c.padding, c.leading, c.finalLineBreak), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Balloon, PasteText,
    testing::Values(PasteCase{"RowsJoinedByLineFeed", "1,00\t2,00\r\n3,00\t4,00\r\n", "", "", "1,00\t2,00\n3,00\t4,00"},
                    PasteCase{"PlaceholderBecomesABlank", "[EMPTY]\tUSD\r\n1\t[EMPTY]\r\n", "", "", " \tUSD\n1\t "},
                    PasteCase{"EveryLinePadded", "a\r\nb\r\n", "  ", "", "a  \nb  "},
                    PasteCase{"LeadingBlankLinesFirst", "a\r\n", "", " \r\n", " \n\na"},
                    PasteCase{"OuterBlanksTrimmed", "  a\t\r\n\r\n", "", "", "a"},
                    // the copied selection ended with a line break: so does the pasted text, once
                    PasteCase{"FinalLineBreakKept", "1,00\t2,00\r\n3,00\t4,00\r\n", "  ", "",
                              "1,00\t2,00  \n3,00\t4,00  \n", true},
                    PasteCase{"NothingGetsNoLineBreak", "\r\n", "", "", "", true}),
    [](const testing::TestParamInfo<PasteCase>& info) { return std::string(info.param.name); });

// ---- the balloon window ----

class ColorHintTest : public testing::Test {
protected:
    ColorHintTest() {
        hint.Converter = &conv;
        hint.resize(300, 80);
        hint.Layout.PairTextWidth = 50;
        hint.Layout.ModeTextWidth = 40;
        hint.Layout.SourceTextWidth = 40;
        hint.Layout.BalloonTextWidth = 296;
        hint.Anchor = QPoint(700, 400);
        hint.Active = true;
        conv.Table.DateOrder = 1;
        hint.PostCommand = [this](int command, std::uint32_t argument) { posted.emplace_back(command, argument); };
        hint.OnDismiss = [this](bool followUp) { dismissals.push_back(followUp); };
        hint.OpenWebsite = [this] { ++websites; };
        hint.ShowWarnings = [this] { ++warningWindows; };
        hint.LayoutZones();
    }
    void Press(int x, int y) { hint.HintMouseDown(QPoint(x, y)); }
    static constexpr std::uint32_t kAnchor = 700u | (400u << 16);

    struct AppFirst {
        AppFirst() { OffscreenApp(); }
    } appFirst;
    TCurrencyConverter conv;
    TColorHint hint;
    std::vector<std::pair<int, std::uint32_t>> posted;
    std::vector<bool> dismissals;
    int websites = 0;
    int warningWindows = 0;
};

TEST_F(ColorHintTest, HeaderZonesFromTheLayoutValues) {
    // source offset (296 - 40) / 2 = 128
    EXPECT_EQ(hint.SourceOffset(), 128);
    EXPECT_EQ(hint.HitZone(10, 8), hzPair);
    EXPECT_EQ(hint.HitZone(140, 8), hzSource);
    EXPECT_EQ(hint.HitZone(300 - 7, 8), hzPaste);
    EXPECT_EQ(hint.HitZone(300 - 25, 8), hzReport);
    EXPECT_EQ(hint.HitZone(300 - 41, 8), hzFormat);
    EXPECT_EQ(hint.HitZone(100, 8), hzNone);
    // no date order zone while the order is 1
    EXPECT_EQ(hint.HitZone(300 - 64, 8), hzNone);
    conv.Table.DateOrder = 3;
    hint.LayoutZones();
    EXPECT_EQ(hint.HitZone(300 - 64, 8), hzDateOrder);
    EXPECT_EQ(hint.ZoneRect(TColorHint::zrDateOrder), Edges(300 - 68, 2, 300 - 68 + 12 + 10, 14));
}

TEST_F(ColorHintTest, ModeZoneOnlyWithAMode) {
    EXPECT_TRUE(hint.ZoneRect(TColorHint::zrMode).isNull());
    conv.Table.AtcMode = atcIn;
    hint.LayoutZones();
    // right of the pair zone, as wide as the mode's name
    EXPECT_EQ(hint.ZoneRect(TColorHint::zrMode), Edges(56, 2, 56 + 40, 16));
    EXPECT_EQ(hint.HitZone(60, 8), hzMode);
}

// The header of the narrowest balloon the main window makes (no wider columns): the pair, the
// grey mode box, the rate dot with the source, the date order and the three pictures side by
// side, none over another.
TEST_F(ColorHintTest, NarrowBalloonHeaderPartsDoNotOverlap) {
    for (const bool dateOrder : {false, true}) {
        SCOPED_TRACE(dateOrder ? "with the date order" : "without the date order");
        conv.Table.AtcMode = atcIn;
        conv.Table.DateOrder = dateOrder ? 2 : 1;
        TResultHintInput in;
        in.X = 400;
        in.Y = 300;
        in.PairWidth = hint.CalcHintRect(480, "EUR > USD", 7).width();
        in.ModeWidth = hint.CalcHintRect(480, conv.ConversionModeName(), 7).width();
        in.SourceWidth = hint.CalcHintRect(640, "ECB", 7).width() + 12;
        in.DateColumn = dateOrder;
        in.ColumnsWidth = 40;
        in.Rows = 2;
        THintLayout layout;
        const QRect rect = CalcResultHintRect(in, QRect(0, 0, 1600, 1000), layout);
        hint.Layout = layout;
        hint.resize(rect.size());
        hint.LayoutZones();

        const int offset = hint.SourceOffset();
        const int sourceTextWidth = hint.CalcHintRect(640, "ECB", 9).width();
        struct Part {
            const char* name;
            QRect rect;
        };
        std::vector<Part> parts = {
            {"pair", hint.ZoneRect(TColorHint::zrPair)},
            {"mode", hint.ZoneRect(TColorHint::zrMode)},
            {"source dot and text", Edges(offset - 4, 2, offset + 6 + sourceTextWidth, 14)},
            {"format", hint.ZoneRect(TColorHint::zrFormat)},
            {"report", hint.ZoneRect(TColorHint::zrReport)},
            {"paste", hint.ZoneRect(TColorHint::zrPaste)},
        };
        if (dateOrder) {
            // its zone reaches under the format picture; its text ("dmy", bold) does not
            QFont bold(QStringLiteral("Tahoma"));
            bold.setStyleHint(QFont::SansSerif);
            bold.setPixelSize(9);
            bold.setBold(true);
            const QRect zone = hint.ZoneRect(TColorHint::zrDateOrder);
            parts.push_back(
                {"date order", Edges(zone.left(), 2, zone.left() + QFontMetrics(bold).horizontalAdvance("dmy"), 14)});
        }
        EXPECT_FALSE(hint.ZoneRect(TColorHint::zrMode).isEmpty());
        EXPECT_GE(hint.ZoneRect(TColorHint::zrMode).width(), in.ModeWidth - 1);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_TRUE(QRect(0, 0, hint.width(), hint.height()).contains(parts[i].rect)) << parts[i].name;
            for (std::size_t j = i + 1; j < parts.size(); ++j)
                EXPECT_FALSE(parts[i].rect.intersects(parts[j].rect)) << parts[i].name << " / " << parts[j].name;
        }
    }
}

TEST_F(ColorHintTest, BelowTheHeaderTheBodyAndTheWarningSpan) {
    EXPECT_EQ(hint.HitZone(150, 40), hzBody);
    EXPECT_EQ(hint.HitZone(150, 0), hzBody);
    EXPECT_EQ(hint.HitZone(150, 78), hzBody);  // no warnings: the bottom band is body too
    hint.Layout.WarningTextWidth = 100;         // span 100..200
    EXPECT_EQ(hint.HitZone(150, 70), hzWarnings);
    EXPECT_EQ(hint.HitZone(100, 64), hzWarnings);
    EXPECT_EQ(hint.HitZone(200, 80), hzWarnings);
    EXPECT_EQ(hint.HitZone(20, 70), hzNone);
    EXPECT_EQ(hint.HitZone(150, 40), hzBody);
}

TEST_F(ColorHintTest, CrossTableTakesNoPairOrModeCommand) {
    conv.Table.Flags = tfHeaderCurrencies | tfColumnCurrencies;
    hint.LayoutZones();
    EXPECT_EQ(hint.HitZone(10, 8), hzNone);
    EXPECT_EQ(hint.HitZone(300 - 7, 8), hzPaste);
    Press(10, 8);
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(dismissals, std::vector<bool>{true});
}

struct PressCase {
    const char* name;
    int x, y;
    int command;  // 0: nothing posted
    bool anchor;  // argument: the anchor, else the given one
    std::uint32_t argument;
    bool followUp;
};
void PrintTo(const PressCase& c, std::ostream* os) { *os << c.name; }

class ColorHintPress : public ColorHintTest, public testing::WithParamInterface<PressCase> {};

TEST_P(ColorHintPress, PostsItsCommandAndDismisses) {
    const PressCase& c = GetParam();
    conv.Table.DateOrder = 2;
    conv.Table.AtcMode = atcOut;
    hint.Layout.WarningTextWidth = 100;
    hint.LayoutZones();
    conv.SetSwitchedOn(true);
    hint.HintTimer->start(1500);
    Press(c.x, c.y);
    if (c.command == 0) {
        EXPECT_TRUE(posted.empty());
    } else {
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].first, c.command);
        EXPECT_EQ(posted[0].second, c.anchor ? kAnchor : c.argument);
    }
    EXPECT_EQ(dismissals, std::vector<bool>{c.followUp});
    EXPECT_FALSE(hint.HintTimer->isActive());
    EXPECT_TRUE(hint.isHidden());
    EXPECT_EQ(conv.SwitchedOn(), c.command != 3);  // the pair swap switches the converter off
}

INSTANTIATE_TEST_SUITE_P(
    Balloon, ColorHintPress,
    testing::Values(PressCase{"PairSwaps", 10, 8, 3, true, 0, false},
                    PressCase{"ModeSwitches", 60, 8, 9, true, 0, false},
                    PressCase{"PastePicturePastes", 293, 8, 4, false, 0, true},
                    PressCase{"SourceOpensTheCalendar", 140, 8, 5, false, 0, true},
                    PressCase{"BodyOpensTheWindowReleasingCtrl", 150, 40, 1, false, 1, true},
                    PressCase{"FormatPictureNextFormat", 259, 8, 6, true, 0, false},
                    PressCase{"ReportPictureDetailLog", 275, 8, 14, false, 0, true},
                    PressCase{"DateOrderReconverts", 236, 8, 12, true, 0, false},
                    PressCase{"WarningLineOpensNoCommand", 150, 74, 0, false, 0, true},
                    PressCase{"EmptyHeaderOnlyDismisses", 120, 8, 0, false, 0, true}),
    [](const testing::TestParamInfo<PressCase>& info) { return std::string(info.param.name); });

TEST_F(ColorHintTest, WarningLineOpensTheWarningsWindow) {
    hint.Layout.WarningTextWidth = 100;
    Press(150, 74);
    EXPECT_EQ(warningWindows, 1);
}

TEST_F(ColorHintTest, DateOrderLabelCyclesTheOrder) {
    for (auto [from, to] : {std::pair{2, 3}, std::pair{3, 4}, std::pair{4, 2}}) {
        conv.Table.DateOrder = static_cast<std::uint8_t>(from);
        hint.LayoutZones();
        Press(236, 8);
        EXPECT_EQ(conv.Table.DateOrder, to) << from;
    }
}

TEST_F(ColorHintTest, InactiveBalloonOpensTheWebSiteAndStays) {
    hint.show();
    hint.Active = false;
    Press(293, 8);
    EXPECT_EQ(websites, 1);
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(dismissals.empty());
    EXPECT_TRUE(hint.isVisible());
}

TEST_F(ColorHintTest, StartHintShowsActiveAtTheRectWithTheTimer) {
    hint.Active = false;
    hint.StartHint(QRect(40, 50, 200, 90), true);
    EXPECT_TRUE(hint.Active);
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.geometry(), QRect(40, 50, 200, 90));
    EXPECT_TRUE(hint.HintTimer->isActive());
    EXPECT_EQ(hint.HintTimer->interval(), 1500);
    EXPECT_TRUE(hint.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(hint.windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(ColorHintTest, MeasureFontFollowsTheDataAndAddsTheMargins) {
    const QRect body = hint.CalcHintRect(640, "1.234,56 EUR", 0);
    const QRect small = hint.CalcHintRect(480, "1.234,56 EUR", 7);
    EXPECT_GT(body.width(), small.width());
    EXPECT_EQ(body.left(), 0);
    EXPECT_GT(small.height(), 14);
    // data 9: the last font (7 points), without the margins
    const QRect bare = hint.CalcHintRect(480, "1.234,56 EUR", 9);
    EXPECT_EQ(bare.width(), small.width() - 5);
    EXPECT_EQ(bare.height(), small.height() - 14);
    EXPECT_EQ(hint.CalcHintRect(480, "", 7).width(), 5);
}

TEST_F(ColorHintTest, NumberCellsMeasureAsTheirWholeLayout) {
    // The balloon's body font, as the balloon sets it up.
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    std::vector<std::string> texts = {"", "0", "-0,5", "1.234,56", "(12 345.67)", "100%", "12/11/2025", "1'000.00",
                                      "+7:30", "1.234,56 EUR", "€ 12,00", "1111111111,11", "$116.19 ( €100.25 )",
                                      "AVAWAY To", "fiflffi", "£ 1,00 ¥", "Ä\xC3", "\xFF\xFE", "\xE2\x82"};
    for (int i = 0; i < 400; ++i) texts.push_back(std::to_string(i * 7919 % 100000) + "," + std::to_string(i % 100));
    for (const std::string& text : texts)
        EXPECT_EQ(hint.CalcHintRect(640, text, 0).width(), metrics.horizontalAdvance(QString::fromStdString(text)) + 5)
            << text;
}

// ---- painting ----

class ColorHintPaint : public ColorHintTest {
protected:
    // A 2 x 3 table: a text header row, then numbers; column widths 40.
    void Table() {
        TStringList& out = conv.OutputLines();
        for (const char* t : {"Name", "Value", "1,00", "2,00", "3,00", "4,00"}) out.Add(t);
        conv.Table.ColumnCount = 2;
        conv.Table.RowCount = 3;
        conv.Table.Flags = tfDateColumn;  // a table (not plain text)
        conv.Table.ColumnWidths = {40, 40, 0};
        conv.Table.Cells.assign(6, CellInfo{});
        for (int i = 2; i < 6; ++i) conv.Table.Cells[static_cast<std::size_t>(i)].Class = ccNumericInt;
        hint.Colors.Color1 = 0x00FFFF;  // yellow
        hint.Colors.Color2 = 0xFF00FF;  // magenta
    }
    QImage Paint() { return hint.grab().toImage(); }
    static bool HasColor(const QImage& image, const QRect& area, QColor color) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.pixelColor(x, y) == color) return true;
        return false;
    }
};

TEST_F(ColorHintPaint, RowsAlternateTheirBackgroundsAndTheRestIsColor1) {
    Table();
    conv.Table.Flags = tfColumnCurrencies;  // a table whose first column is not forced to Color1
    const QImage image = Paint();
    // row r's cells: y 19 + r * 14 .. +14; column 1 starts at 5 + 40 + 2 = 47
    EXPECT_EQ(image.pixelColor(80, 19 + 14 + 12), QColor(255, 0, 255));  // row 1: Color2
    EXPECT_EQ(image.pixelColor(80, 19 + 28 + 12), QColor(255, 255, 0));  // row 2: Color1
    EXPECT_EQ(image.pixelColor(200, 70), QColor(255, 255, 0));           // beyond the cells
}

TEST_F(ColorHintPaint, DateOrFirstColumnHeaderTablesKeepColumn0OnColor1) {
    Table();
    const QImage image = Paint();
    EXPECT_EQ(image.pixelColor(6, 19 + 14 + 12), QColor(255, 255, 0));   // row 1, column 0
    EXPECT_EQ(image.pixelColor(80, 19 + 14 + 12), QColor(255, 0, 255));  // row 1, column 1
}

TEST_F(ColorHintPaint, StrikeLinesAndModeLabelByTheConverterState) {
    Table();
    const QColor red(255, 0, 0);
    EXPECT_FALSE(HasColor(Paint(), Edges(2, 8, 46, 9), red));
    conv.Table.PairChanged = true;
    EXPECT_TRUE(HasColor(Paint(), Edges(2, 8, 25, 9), red));
    EXPECT_FALSE(HasColor(Paint(), Edges(27, 8, 46, 9), red));
    conv.Table.PairChanged = false;
    conv.Table.AtcMode = atcOut;
    const QImage image = Paint();
    EXPECT_TRUE(HasColor(image, Edges(27, 8, 46, 9), red));
    EXPECT_FALSE(HasColor(image, Edges(2, 8, 25, 9), red));
    EXPECT_TRUE(HasColor(image, hint.ZoneRect(TColorHint::zrMode), QColor(128, 128, 128)));
    bool whiteText = false;  // the name in white (its edges blend into the grey)
    const QRect mode = hint.ZoneRect(TColorHint::zrMode);
    for (int y = mode.top(); y <= mode.bottom(); ++y)
        for (int x = mode.left(); x <= mode.right(); ++x)
            if (qGray(image.pixel(x, y)) > 200) whiteText = true;
    EXPECT_TRUE(whiteText);
}

TEST_F(ColorHintPaint, DateOrderLabelRedWithoutHistoryElseNavy) {
    Table();
    conv.Table.DateOrder = 2;
    conv.Table.HistoryFilesLoaded = 0;
    hint.LayoutZones();
    const QRect zone = hint.ZoneRect(TColorHint::zrDateOrder);
    QImage image = Paint();
    EXPECT_TRUE(HasColor(image, zone, QColor(255, 0, 0)));
    conv.Table.HistoryFilesLoaded = 3;
    image = Paint();
    EXPECT_FALSE(HasColor(image, zone, QColor(255, 0, 0)));
    EXPECT_TRUE(HasColor(image, zone, QColor(0, 0, 128)));
}

TEST_F(ColorHintPaint, HiddenRowsAreNotDrawnAndTheNoteTakesTheirPlace) {
    Table();
    hint.Colors.Text = 0x00FF00;  // green: the text cells and the note
    QImage image = Paint();
    const QRect row2 = Edges(5, 19 + 28, 90, 19 + 42);
    EXPECT_TRUE(HasColor(image, row2, QColor(0, 0, 0)));  // row 2's numbers
    hint.Layout.HiddenRows = 1;
    image = Paint();
    // row 2 is gone; the note stands where it was, in the text colour
    EXPECT_FALSE(HasColor(image, row2, QColor(0, 0, 0)));
    EXPECT_TRUE(HasColor(image, row2, QColor(0, 255, 0)));
}

TEST_F(ColorHintPaint, TheNoteShowsInABalloonCutToTheScreen) {
    Table();
    hint.Colors.Text = 0x00FF00;  // green: the note
    THintLayout layout;
    // Three rows need 16 + 3 * 14 + 1 (+ 4); a screen 49 high holds the header and two rows.
    const QRect rect = CalcResultHintRect(Input(10, 3, 90, false, 0), QRect(0, 0, 800, 49), layout);
    ASSERT_GT(layout.HiddenRows, 0);
    hint.Layout = layout;
    hint.resize(rect.size());
    const QImage image = Paint();
    const int noteTop = 19 + (3 - layout.HiddenRows) * 14;
    EXPECT_LE(noteTop + 14, image.height());
    EXPECT_TRUE(HasColor(image, Edges(5, noteTop, 90, noteTop + 14), QColor(0, 255, 0)));
}

TEST_F(ColorHintPaint, CellClassesChooseTheTextColour) {
    Table();
    conv.Table.Flags = tfDateColumn;
    hint.Colors.Text = 0x00FF00;   // green
    hint.Colors.Date = 0xFF0000;   // blue
    conv.Table.Cells[2].Class = ccDate;
    conv.Table.Cells[2].Value = 45000;
    conv.Table.DateInfo.assign(3, DateRowInfo{});
    conv.Table.DateInfo[1].Found = true;
    conv.Table.Cells[4].Class = ccDate;  // row 2: its date was not found: struck
    conv.Table.Cells[4].Value = 45001;
    const QImage image = Paint();
    EXPECT_TRUE(HasColor(image, Edges(5, 19, 45, 33), QColor(0, 255, 0)));       // "Name": text
    EXPECT_TRUE(HasColor(image, Edges(5, 33, 45, 47), QColor(0, 0, 255)));       // found date
    EXPECT_FALSE(HasColor(image, Edges(5, 33, 45, 47), QColor(255, 0, 0)));
    EXPECT_TRUE(HasColor(image, Edges(7, 47 + 8, 45, 47 + 9), QColor(255, 0, 0)));  // missing date struck
    EXPECT_TRUE(HasColor(image, Edges(47, 33, 90, 47), QColor(0, 0, 0)));        // number: black
}

}  // namespace
}  // namespace vemra::test
