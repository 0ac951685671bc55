#pragma once
// TColorHint: the owner-drawn balloon that shows a clipboard conversion's result at the
// mouse. A header strip (pair, mode, rate source, date order, three command pictures), the
// converted cells as a grid, a "more lines" note and a warning line; each part is a click
// zone whose press sends a command to the main window and dismisses the balloon.

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "Colors.h"

class QTimer;

namespace vemra {

class TCurrencyConverter;

// The balloon's colours (0x00BBGGRR), read from the options window's colour panels.
struct THintColors {
    TColor Color1 = 0xAFEBFE;    // background and even rows
    TColor Color2 = 0xD7F5FF;    // odd rows
    TColor Text = 0x800000;      // text cells
    TColor Currency = 0x008080;  // currency cells
    TColor Date = 0x800080;      // date cells
    TColor Plugin = 0x4080FF;    // rate-source cells
};

// The layout values the main window measures when it places the balloon; the painting
// and the hit test read them.
struct THintLayout {
    int PairTextWidth = 0;
    int ModeTextWidth = 0;
    int SourceTextWidth = 0;
    int WarningTextWidth = 0;  // 0 without warnings
    int HiddenRows = 0;        // result rows that do not fit
    int BalloonTextWidth = 0;  // inner width (before the 2-pixel inflation)
};

// What the balloon's placement depends on, measured beforehand.
struct TResultHintInput {
    int X = 0, Y = 0;          // the anchor (screen point)
    int PairWidth = 0;         // measured widths, as the layout values keep them
    int ModeWidth = 0;
    int SourceWidth = 0;
    bool DateColumn = false;   // the converter's date order is not 1
    int ColumnsWidth = 0;      // sum over the columns of (width + 3)
    int Rows = 0;              // rows of the output table
    int WarningWidth = 0;      // 0 without warnings
};

// Where a balloon of that size (inflated) shows for the pointer: 37 pixels left of it and 3
// below, moved left as little as needed to lie wholly inside the screen (its available
// geometry); when it does not fit below the pointer it ends 3 pixels above it, and only one
// that fits neither way is moved up to the screen's bottom edge. A balloon wider than the
// screen starts at the screen's left edge.
QRect PlaceBalloon(const QPoint& pointer, const QSize& size, const QRect& screen);

// The balloon's screen rectangle (inflated) for the input on that screen (the available
// geometry of the screen that holds the anchor); fills the layout values. Rows that do not fit
// the screen's height are left out, one more to make room for the "more lines" note; columns
// wider than the screen are cut at its right edge.
QRect CalcResultHintRect(const TResultHintInput& input, const QRect& screen, THintLayout& layout);

// The text the paste-back puts on the clipboard: the result rows trimmed as one text, the
// empty-cell placeholder as a blank, every line padded, the leading blank lines first;
// lines joined by LF (the line end of X11 programs), and one LF at the end when the copied
// text ended with a line break, so that the line after the replaced selection stays apart.
std::string BuildPasteText(const std::string& resultText, const std::string& emptyCell, const std::string& padding,
                           const std::string& leadingBlankLines, bool finalLineBreak);

// Hit-test results.
enum THintZone : int {
    hzNone = 0, hzPair = 1, hzMode = 2, hzPaste = 3, hzSource = 4, hzBody = 5,
    hzFormat = 6, hzReport = 7, hzDateOrder = 8, hzWarnings = 9,
};

class TColorHint : public QWidget {
    Q_OBJECT
    // The note under the last drawn row when rows were left out (the language file's).
    Q_PROPERTY(QString MoreLinesText MEMBER MoreLinesText)
    // The notice for a copy too large to convert; %1 the limit in KB.
    Q_PROPERTY(QString TooLargeText MEMBER TooLargeText)
public:
    explicit TColorHint(QWidget* owner = nullptr);
    ~TColorHint() override;

    // Measures one line: font 8 points when data is 0, 7 when 7, else the last one; with
    // data below 9 the result is 5 wider and 14 higher than the text.
    QRect CalcHintRect(int maxWidth, const std::string& text, int data);
    // Shows the balloon at the screen rectangle, sets Active and starts the hint timer
    // at 1500 ms. The balloon shows the converter's output cells.
    void StartHint(const QRect& rect, bool active);
    // Hides the balloon; with followUp the main window catches up with the converter.
    void Dismiss(bool followUp);
    // The zone under a client point.
    int HitZone(int x, int y) const;
    // The zone rectangles as the last painting (or StartHint) laid them out.
    void LayoutZones();

    bool Active = false;
    QPoint Anchor;                 // screen point the balloon was shown for
    THintLayout Layout;
    THintColors Colors;
    bool SingleRateDay = true;  // the converted text has no date column
    TCurrencyConverter* Converter = nullptr;
    QTimer* HintTimer = nullptr;   // its timeout runs the main window's HintTimerTick
    QString MoreLinesText = QStringLiteral(" more lines...");
    QString TooLargeText = QStringLiteral("The copied text is larger than %1 KB and was not converted");

    // What a press does outside the balloon itself (the main window installs them).
    std::function<void(int command, std::uint32_t argument)> PostCommand;  // queued
    std::function<void(bool followUp)> OnDismiss;  // WindowMode 0; with followUp the catch-up
    std::function<void()> OpenWebsite;
    std::function<void()> ShowWarnings;

    // The zone rectangles (for tests): pair, mode, source, paste, report, format, date order, spare.
    enum { zrPair, zrMode, zrSource, zrPaste, zrReport, zrFormat, zrDateOrder, zrSpare, zrCount };
    const QRect& ZoneRect(int index) const { return zones_[static_cast<std::size_t>(index)]; }
    int SourceOffset() const { return sourceOffset_; }

    static const QPixmap& PastePicture();
    static const QPixmap& ReportPicture();
    static const QPixmap& FormatPicture();

    // The press handler (also for tests): the command of the zone at the client point.
    void HintMouseDown(const QPoint& pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PaintCells(class QPainter& painter, int& lastRowTop);
    std::uint32_t PackedAnchor() const;

    std::array<QRect, zrCount> zones_{};
    int sourceOffset_ = 0;
    int measurePixels_ = 11;
};

}  // namespace vemra
