#pragma once
// DrawPluginItem: how the rate-source lists (main window, options and properties windows)
// draw an entry: the source's picture, a dot coloured by the age of its last publication
// and the entry's text. TPluginItemDelegate puts it into a Qt list or combo box.

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>

#include "Colors.h"
#include "rtl/DateUtils.h"

class QComboBox;
class QPainter;

namespace vemra {

class THTMLConverterPlugInn;

// An item's rate source (THTMLConverterPlugInn*, stored as quintptr). Without it the
// delegate takes the plug-in manager's source at the item's row.
inline constexpr int PluginItemRole = Qt::UserRole + 41;

// Days from the source's last publication, moved by (biasMinutes - the source's zone in
// minutes), to utcNow.
double PluginRateAge(THTMLConverterPlugInn& source, TDateTime utcNow, int biasMinutes);
// Green under one day, orange under two, red otherwise; silver for a disabled source.
TColor PluginMarkColor(THTMLConverterPlugInn& source, TDateTime utcNow, int biasMinutes);

// Draws one entry into rect (h = itemHeight): the list's colour, the picture at
// (left + 2, top + 1), the dot, then the text in black at (left, top + 2), clipped to rect.
// A null source draws only the text.
void DrawPluginItem(QPainter& painter, const QRect& rect, const QString& text, THTMLConverterPlugInn* source,
                    const QColor& listColor, int itemHeight);

class TPluginItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TPluginItemDelegate(int itemHeight = 16, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int itemHeight_;
};

// Draws a rate-source combo box's entries and its closed face through DrawPluginItem (an
// owner-drawn combo box draws its edit part too). The delegate and the filter belong to it.
void InstallPluginItemDrawing(QComboBox* combo, int itemHeight = 16);

}  // namespace vemra
