#include "ColorHint.h"

#include <QCursor>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "CurrencyConverter.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

// The pictures live in a static library: its resources register only when asked for.
static void InitColorHintResources() { Q_INIT_RESOURCE(ColorHint); }

namespace vemra {

namespace {

constexpr int kRowHeight = 14;

// The rectangle from (l, t) to (r, b), right and bottom excluded.
QRect Span(int l, int t, int r, int b) { return QRect(QPoint(l, t), QPoint(r - 1, b - 1)); }

// 7 points are 9 pixels and 8 points 11 at 96 dpi; pixels keep the measure and the drawing
// equal whatever dpi a screen reports.
QFont HintFont(int pixels, bool bold = false) {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

const QFont& SmallFont() {
    static const QFont font = HintFont(9);
    return font;
}
const QFont& BodyFont() {
    static const QFont font = HintFont(11);
    return font;
}

const QFontMetrics& MetricsFor(int pixels) {
    static const QFontMetrics small(SmallFont());
    static const QFontMetrics body(BodyFont());
    return pixels == 9 ? small : body;
}

// A table balloon measures every output cell, and laying out each text costs more than its
// conversion. A text made only of characters that the font sets without kerning or ligatures
// with each other is as wide as their advances together; each character seen is checked in
// pairs with every one seen before.
class TAdvanceTable {
public:
    explicit TAdvanceTable(const QFont& font) : metrics_(font) {}

    // The width, or -1 when the text needs the full layout.
    int Width(std::string_view text) {
        qreal width = 0;
        std::size_t i = 0;
        while (i < text.size()) {
            const char32_t c = NextCodePoint(text, i);
            if (!Simple(c)) return -1;
            auto found = entries_.find(c);
            if (found == entries_.end()) found = Add(c);
            if (!found->second.plain) return -1;
            width += found->second.advance;
        }
        return qRound(width);
    }

private:
    struct Entry {
        qreal advance;
        bool plain;
    };

    // Printable ASCII, Latin-1 and the currency signs: one glyph each, left to right.
    static bool Simple(char32_t c) {
        return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF && c != 0xAD) || (c >= 0x20A0 && c <= 0x20CF);
    }

    // The UTF-8 sequence at i (which moves past it); 0 for a malformed one.
    static char32_t NextCodePoint(std::string_view text, std::size_t& i) {
        const auto lead = static_cast<unsigned char>(text[i++]);
        if (lead < 0x80) return lead;
        int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (more < 0 || i + static_cast<std::size_t>(more) > text.size()) return 0;
        char32_t c = lead & (0x3F >> more);
        for (; more > 0; --more) {
            const auto next = static_cast<unsigned char>(text[i++]);
            if ((next & 0xC0) != 0x80) return 0;
            c = (c << 6) | (next & 0x3F);
        }
        return c;
    }

    std::unordered_map<char32_t, Entry>::iterator Add(char32_t c) {
        const QString single(QChar(static_cast<char16_t>(c)));
        auto added = entries_.emplace(c, Entry{metrics_.horizontalAdvance(single), true}).first;
        for (auto& [other, entry] : entries_) {
            const QString o(QChar(static_cast<char16_t>(other)));
            if (metrics_.horizontalAdvance(single + o) == added->second.advance + entry.advance &&
                metrics_.horizontalAdvance(o + single) == added->second.advance + entry.advance)
                continue;
            added->second.plain = false;
            entry.plain = false;
        }
        return added;
    }

    QFontMetricsF metrics_;
    std::unordered_map<char32_t, Entry> entries_;
};

TAdvanceTable& AdvancesFor(int pixels) {
    static TAdvanceTable small(SmallFont());
    static TAdvanceTable body(BodyFont());
    return pixels == 9 ? small : body;
}
QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

void DrawLabel(QPainter& painter, const QRect& rect, const QString& text, int flags = Qt::AlignLeft) {
    painter.drawText(rect, flags | Qt::AlignTop | Qt::TextSingleLine, text);
}

void StrikeLine(QPainter& painter, int x1, int y, int x2) {
    painter.save();
    painter.setPen(QPen(TColorToQColor(clRed), 1, Qt::DashLine));
    painter.drawLine(x1, y, x2, y);
    painter.restore();
}

}  // namespace

QRect PlaceBalloon(const QPoint& pointer, const QSize& size, const QRect& screen) {
    int left = pointer.x() - 37;
    int top = pointer.y() + 3;
    const int screenRight = screen.left() + screen.width();
    const int screenBottom = screen.top() + screen.height();
    if (left + size.width() > screenRight) left = screenRight - size.width();
    if (left < screen.left()) left = screen.left();
    // Pushed up it would cover the pointer: above the pointer instead, when it fits there, else
    // beside it (right, then left) as high as the screen needs; the edge only when nothing fits.
    if (top + size.height() > screenBottom) {
        const int above = pointer.y() - 3 - size.height();
        const int right = pointer.x() + 3;
        const int beside = pointer.x() - 3 - size.width();
        if (above >= screen.top()) {
            top = above;
        } else {
            top = screenBottom - size.height();
            if (right + size.width() <= screenRight)
                left = right;
            else if (beside >= screen.left())
                left = beside;
        }
    }
    if (top < screen.top()) top = screen.top();
    return QRect(QPoint(left, top), size);
}

QRect CalcResultHintRect(const TResultHintInput& in, const QRect& screen, THintLayout& layout) {
    layout.PairTextWidth = in.PairWidth;
    layout.ModeTextWidth = in.ModeWidth;
    layout.SourceTextWidth = in.SourceWidth;
    int width = in.PairWidth + in.ModeWidth + in.SourceWidth + (in.DateColumn ? 108 : 90);
    if (width < in.ColumnsWidth) width = in.ColumnsWidth;
    int height = 16 + in.Rows * kRowHeight + 1;
    layout.WarningTextWidth = in.WarningWidth;
    if (in.WarningWidth > 0) {
        if (width < in.WarningWidth) width = in.WarningWidth + 4;
        height += kRowHeight;
    }
    // The screen's height bounds the balloon (a fixed screen line would put it far from the
    // pointer on a tall screen and below the edge of a short one); the note under the last
    // shown row takes the place of one more row.
    layout.HiddenRows = 0;
    const int room = screen.height() - 4;  // the 2-pixel inflation above and below
    if (height > room && in.Rows > 0) {
        while (height > room && layout.HiddenRows < in.Rows) {
            height -= kRowHeight;
            ++layout.HiddenRows;
        }
        if (layout.HiddenRows < in.Rows) ++layout.HiddenRows;
    }
    // Columns wider than the screen are cut at its right edge: the header with the command
    // pictures stays whole on the screen.
    width = std::min(width, screen.width() - 4);
    layout.BalloonTextWidth = width;
    return PlaceBalloon(QPoint(in.X, in.Y), QSize(width + 4, height + 4), screen);
}

std::string BuildPasteText(const std::string& resultText, const std::string& emptyCell, const std::string& padding,
                           const std::string& leadingBlankLines, bool finalLineBreak) {
    std::string text = Trim(resultText);
    if (!emptyCell.empty()) text = StringReplace(text, emptyCell, " ", rfReplaceAll);
    TStringList lines;
    lines.SetText(text);
    std::string out;
    out.reserve(text.size() + static_cast<std::size_t>(lines.Count()) * (padding.size() + 1) + leadingBlankLines.size() + 1);
    if (!leadingBlankLines.empty()) out.append(StringReplace(leadingBlankLines, "\r\n", "\n", rfReplaceAll)).push_back('\n');
    for (int i = 0; i < lines.Count(); ++i) {
        if (i > 0) out.push_back('\n');
        out.append(lines[i]).append(padding);
    }
    if (finalLineBreak && !out.empty()) out.push_back('\n');
    return out;
}

// ---- TColorHint ----

TColorHint::TColorHint(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    static const bool resources = (InitColorHintResources(), true);
    (void)resources;
    setObjectName(QStringLiteral("ColorHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);  // the painting covers every pixel
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, TColorToQColor(0x80FFFF));
    setPalette(pal);
    HintTimer = new QTimer(this);
}

TColorHint::~TColorHint() = default;

const QPixmap& TColorHint::PastePicture() {
    static const QPixmap picture(QStringLiteral(":/vemra/hintpaste.png"));
    return picture;
}
const QPixmap& TColorHint::ReportPicture() {
    static const QPixmap picture(QStringLiteral(":/vemra/hintreport.png"));
    return picture;
}
const QPixmap& TColorHint::FormatPicture() {
    static const QPixmap picture(QStringLiteral(":/vemra/hintformat.png"));
    return picture;
}

QRect TColorHint::CalcHintRect(int maxWidth, const std::string& text, int data) {
    if (data == 0) measurePixels_ = 11;
    else if (data == 7) measurePixels_ = 9;
    (void)maxWidth;  // a single line is measured whole, as wide as it is
    const QFontMetrics& metrics = MetricsFor(measurePixels_);
    int right = AdvancesFor(measurePixels_).Width(text);
    if (right < 0) right = metrics.horizontalAdvance(Q(text));
    int bottom = metrics.height();
    if (data < 9) {
        right += 5;
        bottom += 14;
    }
    return Span(0, 0, right, bottom);
}

void TColorHint::StartHint(const QRect& rect, bool active) {
    setGeometry(rect);
    Active = active;
    LayoutZones();
    if (isVisible()) update();
    else show();
    raise();
    HintTimer->start(1500);
}

void TColorHint::Dismiss(bool followUp) {
    HintTimer->stop();
    if (OnDismiss) OnDismiss(followUp);  // the main window: WindowMode 0, then its catch-up
    // The clipboard stays as it is: emptying it would throw away what the user just copied.
    hide();
    unsetCursor();
}

void TColorHint::LayoutZones() {
    const int W = width();
    const int H = height();
    zones_.fill(QRect());
    zones_[zrPair] = Span(2, 2, Layout.PairTextWidth + 4, 16);
    const int modeName = Converter && !Converter->ConversionModeName().empty();
    int headerEnd = zones_[zrPair].right() + 1;  // where the texts at the left end
    if (modeName) {
        // As wide as the mode's own name: a box as wide as the pair (less 12) would cut a long
        // name, or run into the rate source of a narrow balloon.
        const QRect& p = zones_[zrPair];
        const int left = p.left() + Layout.PairTextWidth + 4;
        zones_[zrMode] = Span(left, p.top(), left + Layout.ModeTextWidth, p.bottom() + 1);
        headerEnd = left + Layout.ModeTextWidth;
    }
    const QPixmap& paste = PastePicture();
    const QPixmap& report = ReportPicture();
    const QPixmap& format = FormatPicture();
    zones_[zrPaste] = Span(W - 14, 2, W, paste.height() + 2);
    zones_[zrReport] = Span(W - 30, 2, W - 30 + report.width(), report.height() + 2);
    zones_[zrFormat] = Span(W - 46, 2, W - 46 + format.width(), format.height() + 2);
    if (Converter && Converter->Table.DateOrder != 1) {
        const QRect& f = zones_[zrFormat];
        zones_[zrDateOrder] = Span(f.left() - 22, f.top(), f.right() + 1 - 22 + 10, f.bottom() + 1);
    }
    // Centred, but never over the texts at the left (the dot reaches 4 pixels left of the
    // offset) nor, where room allows, into the date order and the pictures at the right.
    const int rightStart = zones_[zrDateOrder].isNull() ? zones_[zrFormat].left() : zones_[zrDateOrder].left();
    sourceOffset_ = (Layout.BalloonTextWidth - Layout.SourceTextWidth) / 2;
    sourceOffset_ = std::min(sourceOffset_, rightStart - Layout.SourceTextWidth + 6);
    sourceOffset_ = std::max(sourceOffset_, headerEnd + 6);
    zones_[zrSource] = Span(sourceOffset_, 2, sourceOffset_ + Layout.SourceTextWidth, H + 2);
}

void TColorHint::paintEvent(QPaintEvent*) {
    LayoutZones();
    const int W = width();
    const int H = height();
    QPainter painter(this);
    painter.fillRect(rect(), TColorToQColor(Colors.Color1));
    painter.setFont(SmallFont());
    painter.setPen(TColorToQColor(clBlack));
    if (!Converter) return;
    TCurrencyConverter& conv = *Converter;
    const TConverterTable& table = conv.Table;

    // pair and mode
    DrawLabel(painter, zones_[zrPair], Q(conv.PairLabel()));
    const std::string modeName = conv.ConversionModeName();
    if (!modeName.empty()) {
        if (table.AtcMode == atcOut) StrikeLine(painter, 27, 8, 45);
        painter.fillRect(zones_[zrMode], TColorToQColor(clGray));
        painter.setPen(TColorToQColor(clWhite));
        DrawLabel(painter, zones_[zrMode], Q(modeName));
        painter.setPen(TColorToQColor(clBlack));
    }
    if (table.PairChanged || (table.AtcMode != atcNone && table.AtcMode != atcOut)) StrikeLine(painter, 2, 8, 24);

    // date order
    if (table.DateOrder != 1) {
        const char* name = table.DateOrder == 2 ? "dmy" : table.DateOrder == 3 ? "mdy" : table.DateOrder == 4 ? "ymd" : "";
        painter.setFont(HintFont(9, true));
        painter.fillRect(zones_[zrDateOrder], TColorToQColor(Colors.Color1));
        painter.setPen(TColorToQColor(table.HistoryFilesLoaded == 0 ? clRed : clNavy));
        DrawLabel(painter, zones_[zrDateOrder], QString::fromLatin1(name));
        painter.setFont(SmallFont());
    }

    // the pictures over the date-order label's background, which reaches into the format picture
    painter.drawPixmap(W - 14, 2, PastePicture());
    painter.drawPixmap(W - 30, 2, ReportPicture());
    painter.drawPixmap(W - 46, 2, FormatPicture());

    // rate source with its age dot
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(TColorToQColor(SingleRateDay ? static_cast<TColor>(conv.IndicatorColor()) : clGray));
    painter.drawEllipse(QRect(QPoint(sourceOffset_ - 4, 4), QPoint(sourceOffset_ + 3, 11)));
    painter.restore();
    painter.setPen(TColorToQColor(clNavy));
    DrawLabel(painter, Span(sourceOffset_ + 6, 2, std::max(sourceOffset_ + 6, W - 46), 16), Q(table.ShownProviderCode));

    // body
    int lastRowTop = 18;
    PaintCells(painter, lastRowTop);
    if (Layout.HiddenRows > 0) {
        painter.setFont(BodyFont());
        painter.setPen(TColorToQColor(Colors.Text));
        DrawLabel(painter, Span(5, lastRowTop + 14, 3 + Layout.BalloonTextWidth, lastRowTop + 28),
                  MoreLinesText);
    }
    if (!conv.Warnings().Empty()) {
        painter.setFont(SmallFont());
        painter.setPen(TColorToQColor(0x000080));
        painter.drawText(Span(3, H - 16, W, H), Qt::AlignCenter | Qt::TextSingleLine, Q(conv.WarningCountText()));
    }
}

void TColorHint::PaintCells(QPainter& painter, int& lastRowTop) {
    TCurrencyConverter& conv = *Converter;
    const TConverterTable& table = conv.Table;
    const TStringList& output = conv.OutputLines();
    const int cols = std::max(1, table.ColumnCount);
    const int shownRows = table.RowCount - Layout.HiddenRows;
    const bool headerCurrencies = (table.Flags & tfHeaderCurrencies) != 0;
    const bool columnCurrencies = (table.Flags & tfColumnCurrencies) != 0;
    const bool dateColumn = (table.Flags & tfDateColumn) != 0;
    const bool plain = conv.IsPlainText();
    painter.setFont(BodyFont());
    int x = 5;
    int prevWidth = 0;
    for (int i = 0; i < output.Count(); ++i) {
        const int col = i % cols;
        const int row = i / cols;
        if (row >= shownRows) break;
        const int y = 18 + row * kRowHeight + 1;
        const int width = col < static_cast<int>(table.ColumnWidths.size()) ? table.ColumnWidths[static_cast<std::size_t>(col)] : 0;
        x = col == 0 ? 5 : x + prevWidth + 2;
        prevWidth = width;
        lastRowTop = y;
        const QRect cell = Span(x, y, x + width + 2, y + kRowHeight);
        TColor background = (row % 2 == 1) ? Colors.Color2 : Colors.Color1;
        if (col == 0 && (headerCurrencies || dateColumn)) background = Colors.Color1;
        painter.fillRect(cell, TColorToQColor(background));

        const CellInfo info = i < static_cast<int>(table.Cells.size()) ? table.Cells[static_cast<std::size_t>(i)] : CellInfo{};
        TColor color = clBlack;
        bool strike = false;
        if (info.Class == ccText) color = Colors.Text;
        else if (plain) color = clBlack;
        else if (info.Class == ccPlugin) color = Colors.Plugin;
        else if (row == 0 && headerCurrencies) {
            // the header row: a currency names its column, anything else leaves it without one
            if (info.Class == ccCurrency && info.Value >= 0) color = Colors.Currency;
            else { color = Colors.Text; strike = true; }
        } else if (col == 0) {
            if (info.Class == ccDate) {
                const bool found = row < static_cast<int>(table.DateInfo.size()) && table.DateInfo[static_cast<std::size_t>(row)].Found;
                if (info.Value > 0 && found) color = Colors.Date;
                else strike = true;
            } else if (info.Class == ccCurrency) {
                if (info.Value >= 0) color = Colors.Currency;
                else strike = true;
            }
        }
        painter.setPen(TColorToQColor(color));
        const QString text = Q(output[i]);
        DrawLabel(painter, cell, text, (row == 0 && columnCurrencies) ? Qt::AlignHCenter : Qt::AlignLeft);
        if (strike && !text.isEmpty()) StrikeLine(painter, cell.left() + 2, cell.top() + 8, cell.right() + 1);
    }
}

int TColorHint::HitZone(int x, int y) const {
    const int W = width();
    const int H = height();
    if (y < 1 || y > 14) {
        if (Layout.WarningTextWidth < 1) return hzBody;
        if (y >= H - 16 && y <= H) {
            const int half = (W - Layout.WarningTextWidth) / 2;
            return (x >= half && x <= W - half) ? hzWarnings : hzNone;
        }
        return hzBody;
    }
    const bool cross = Converter && Converter->IsCrossTable();
    if (zones_[zrPair].contains(x, y)) return cross ? hzNone : hzPair;
    if (zones_[zrMode].contains(x, y)) return cross ? hzNone : hzMode;
    if (zones_[zrSource].contains(x, y)) return hzSource;
    if (zones_[zrPaste].contains(x, y)) return hzPaste;
    if (zones_[zrReport].contains(x, y)) return hzReport;
    if (zones_[zrFormat].contains(x, y)) return hzFormat;
    if (zones_[zrDateOrder].contains(x, y)) {
        const int order = Converter ? Converter->Table.DateOrder : 0;
        return (order >= 2 && order <= 4) ? hzDateOrder : hzNone;
    }
    return hzNone;
}

std::uint32_t TColorHint::PackedAnchor() const {
    return (static_cast<std::uint32_t>(Anchor.x()) & 0xFFFF) | ((static_cast<std::uint32_t>(Anchor.y()) & 0xFFFF) << 16);
}

void TColorHint::HintMouseDown(const QPoint& pos) {
    if (!Active) {
        if (OpenWebsite) OpenWebsite();
        return;
    }
    bool followUp = true;
    auto post = [this](int command, std::uint32_t argument) {
        if (PostCommand) PostCommand(command, argument);
    };
    switch (HitZone(pos.x(), pos.y())) {
        case hzPair:
            if (Converter) Converter->SetSwitchedOn(false);
            post(3, PackedAnchor());
            followUp = false;
            break;
        case hzMode:
            post(9, PackedAnchor());
            followUp = false;
            break;
        case hzPaste: post(4, 0); break;
        case hzSource: post(5, 0); break;
        case hzBody: post(1, 1); break;
        case hzFormat:
            post(6, PackedAnchor());
            followUp = false;
            break;
        case hzReport: post(14, 0); break;
        case hzDateOrder:
            if (Converter) {
                std::uint8_t& order = Converter->Table.DateOrder;
                order = order == 2 ? 3 : order == 3 ? 4 : 2;
            }
            post(12, PackedAnchor());
            followUp = false;
            break;
        case hzWarnings:
            if (ShowWarnings) ShowWarnings();
            break;
        default: break;
    }
    Dismiss(followUp);
}

void TColorHint::mousePressEvent(QMouseEvent* event) { HintMouseDown(event->position().toPoint()); }

void TColorHint::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    switch (HitZone(p.x(), p.y())) {
        case hzNone: unsetCursor(); break;
        case hzBody: setCursor(Qt::SizeBDiagCursor); break;
        default: setCursor(Qt::PointingHandCursor); break;
    }
}

}  // namespace vemra
