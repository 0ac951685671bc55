#include "PluginItemDelegate.h"

#include <QBitmap>
#include <QComboBox>
#include <QEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <map>
#include <utility>

#include "PlugginMan.h"
#include "TimeUtils.h"

namespace vemra {

namespace {

// The source's picture, decoded once; the colour of its bottom-left pixel is transparent,
// as for a transparent bitmap.
const QPixmap& ProviderPixmap(const TProviderBitmap& bitmap) {
    static std::map<std::pair<std::string, std::size_t>, QPixmap> cache;
    const auto key = std::make_pair(bitmap.FileName, bitmap.Data.size());
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(bitmap.Data.data()), static_cast<int>(bitmap.Data.size()));
    QPixmap pixmap = QPixmap::fromImage(image);
    if (!image.isNull() && bitmap.Transparent) {
        pixmap.setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, image.height() - 1))));
    }
    return cache.emplace(key, std::move(pixmap)).first->second;
}

THTMLConverterPlugInn* SourceOf(const QModelIndex& index) {
    auto* source = reinterpret_cast<THTMLConverterPlugInn*>(index.data(PluginItemRole).value<quintptr>());
    if (source == nullptr && PlugginMan != nullptr) source = PlugginMan->GetPlugin(index.row());
    return source;
}

// Paints the closed combo box: the frame and arrow by the style, the current entry by
// DrawPluginItem.
class TComboFacePainter final : public QObject {
public:
    TComboFacePainter(QComboBox* combo, int itemHeight) : QObject(combo), combo_(combo), itemHeight_(itemHeight) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != combo_ || event->type() != QEvent::Paint) return false;
        QStylePainter painter(combo_);
        QStyleOptionComboBox option;
        option.initFrom(combo_);
        option.editable = false;
        option.frame = true;
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = combo_->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                            QStyle::SC_ComboBoxEditField, combo_);
        const int row = combo_->currentIndex();
        if (row >= 0) {
            const QModelIndex index = combo_->model()->index(row, combo_->modelColumn(), combo_->rootModelIndex());
            QRect item = field;
            item.setHeight(std::min(field.height(), itemHeight_));
            item.moveTop(field.top() + (field.height() - item.height()) / 2);
            DrawPluginItem(painter, item, index.data(Qt::DisplayRole).toString(), SourceOf(index),
                           option.palette.color(QPalette::Base), itemHeight_);
        }
        return true;
    }

private:
    QComboBox* combo_;
    int itemHeight_;
};

}  // namespace

double PluginRateAge(THTMLConverterPlugInn& source, TDateTime utcNow, int biasMinutes) {
    return utcNow - (source.LastPublicationTime() + (biasMinutes - source.SourceZoneMinutes()) * OneMinute);
}

TColor PluginMarkColor(THTMLConverterPlugInn& source, TDateTime utcNow, int biasMinutes) {
    if (!source.IsPluginEnabled()) return clSilver;
    const double age = PluginRateAge(source, utcNow, biasMinutes);
    if (age < 1.0) return clGreen;
    if (age < 2.0) return 0x0080FF;  // orange
    return clRed;
}

void DrawPluginItem(QPainter& painter, const QRect& rect, const QString& text, THTMLConverterPlugInn* source,
                    const QColor& listColor, int itemHeight) {
    painter.save();
    painter.setClipRect(rect);
    painter.fillRect(rect, listColor);
    int left = rect.left();
    const int h = itemHeight;
    if (source != nullptr) {
        const QColor mark =
            TColorToQColor(PluginMarkColor(*source, LocalToGMT(Now()), TimeZoneInfo().Bias));
        if (!source->ProviderBitmap.Data.empty()) {
            const QPixmap& picture = ProviderPixmap(source->ProviderBitmap);
            if (!picture.isNull()) painter.drawPixmap(left + 2, rect.top() + 1, picture);
        }
        left += h + 3;
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(mark);
        // From (left + 2, top + 2) to (left + h - 2, bottom - 2), right and bottom exclusive.
        painter.drawEllipse(QRect(left + 2, rect.top() + 2, h - 4, rect.height() - 4));
        left += h + 2;
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(left, rect.top() + 2, rect.right() + 1 - left, rect.height() - 2),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.restore();
}

TPluginItemDelegate::TPluginItemDelegate(int itemHeight, QObject* parent)
    : QStyledItemDelegate(parent), itemHeight_(itemHeight) {}

void TPluginItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    DrawPluginItem(*painter, option.rect, index.data(Qt::DisplayRole).toString(), SourceOf(index),
                   option.palette.color(QPalette::Base), itemHeight_);
    // The list's own focus mark, so that the keyboard's position shows.
    if (option.state & QStyle::State_Selected) {
        painter->save();
        painter->setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
}

QSize TPluginItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width() + 2 * itemHeight_ + 5, itemHeight_);
}

void InstallPluginItemDrawing(QComboBox* combo, int itemHeight) {
    combo->setItemDelegate(new TPluginItemDelegate(itemHeight, combo));
    combo->installEventFilter(new TComboFacePainter(combo, itemHeight));
}

}  // namespace vemra
