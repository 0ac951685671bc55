#include "TextFit.h"

#include <QVariant>
#include <algorithm>
#include <cstddef>

namespace vemra::ui {

namespace {

// The geometry the control had when first fitted: its design.
QRect Designed(QWidget* w) {
    const QVariant kept = w->property("designGeometry");
    if (kept.isValid()) return kept.toRect();
    w->setProperty("designGeometry", w->geometry());
    return w->geometry();
}

}  // namespace

int TextWidth(const QLabel* label) {
    return QFontMetrics(label->font()).size(Qt::TextShowMnemonic | Qt::TextSingleLine, label->text()).width();
}

void FitCaptionRow(const std::vector<TCaptionColumn>& columns) {
    const std::size_t n = columns.size();
    if (n == 0) return;
    std::vector<QRect> fields(n);
    std::vector<QRect> captions(n);
    for (std::size_t i = 0; i < n; ++i) {
        fields[i] = Designed(columns[i].field);
        captions[i] = Designed(columns[i].caption);
    }
    // A column is its field; its caption may reach over the gap up to the next caption.
    std::vector<int> gaps(n, 0);
    std::vector<int> widths(n);
    std::vector<int> least(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 1 < n) gaps[i] = fields[i + 1].left() - fields[i].right() - 1;
        const int text = TextWidth(columns[i].caption) + (i + 1 < n ? kTextGap - gaps[i] : 0);
        least[i] = std::max({text, columns[i].leastWidth, 1});
        widths[i] = std::max(fields[i].width(), text);
    }
    // What the row takes beyond its span comes from the last columns first.
    int over = fields[0].left() - fields[n - 1].right() - 1;
    for (std::size_t i = 0; i < n; ++i) over += widths[i] + gaps[i];
    for (std::size_t k = 0; k < n && over > 0; ++k) {
        const std::size_t i = n - 1 - k;
        const int taken = std::min(over, widths[i] - least[i]);
        if (taken > 0) {
            widths[i] -= taken;
            over -= taken;
        }
    }
    int x = fields[0].left();
    for (std::size_t i = 0; i < n; ++i) {
        const QRect& f = fields[i];
        const QRect& c = captions[i];
        columns[i].field->setGeometry(x, f.top(), widths[i], f.height());
        const int captionWidth = i + 1 < n ? widths[i] + gaps[i] : widths[i];
        columns[i].caption->setGeometry(x, c.top(), captionWidth, c.height());
        x += widths[i] + gaps[i];
    }
}

void FitBadge(QLabel* label, TGrow grow, int minLeft, int maxRight) {
    const QRect design = Designed(label);
    const int chrome = label->width() - label->contentsRect().width();
    const int width = std::max(design.width(), TextWidth(label) + 2 * kTextInset + chrome);
    int left = 0;
    int right = 0;
    if (grow == TGrow::Leftward) {
        left = std::max(minLeft, design.right() - width + 1);
        right = std::min(maxRight, std::max(design.right(), left + width - 1));
    } else {
        left = std::max(minLeft, design.left() - (width - design.width()) / 2);
        right = std::min(maxRight, left + width - 1);
        left = std::max(minLeft, right - width + 1);
    }
    label->setGeometry(left, design.top(), right - left + 1, design.height());
}

}  // namespace vemra::ui
