#pragma once
// Room in fixed-position windows for the language's texts: a row of captions over fields
// whose columns widen for a longer caption, and a label on its own background that widens for
// its text. Each control's designed place is remembered the first time, so that a shorter
// language gets the design back.

#include <QLabel>
#include <vector>

namespace vemra::ui {

// The least room between two texts on one row, so that they do not read as one; beside
// another control; and round a text on its label's own background or frame.
inline constexpr int kTextGap = 10;
inline constexpr int kBesideGap = 6;
inline constexpr int kTextInset = 4;

// The width of a label's text on one line, as drawn.
int TextWidth(const QLabel* label);

// One column of a row: a caption over its field; the field never gets narrower than leastWidth.
struct TCaptionColumn {
    QLabel* caption;
    QWidget* field;
    int leastWidth;
};

// Lays the columns (left to right) across the row's designed span: a column is as designed
// unless its caption needs more room before the next caption; what it takes then comes from
// the last columns first, each down to its least width (its caption's or its field's).
void FitCaptionRow(const std::vector<TCaptionColumn>& columns);

// A label on its own background: how it grows when its text needs more than its design gives.
enum class TGrow { Leftward, BothWays };

// Widens such a label so that its text keeps kTextInset on each side, never narrower than
// designed and within minLeft..maxRight of its parent: leftward from its right edge (and
// rightward only once minLeft is reached), or round its centre.
void FitBadge(QLabel* label, TGrow grow, int minLeft, int maxRight);

}  // namespace vemra::ui
