#include "PngImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QEvent>
#include <QLabel>

#include <utility>

namespace vemra::ui {

namespace {

// Sets the picture at the label's first paint event, ahead of the label's own painting, then
// goes.
class FirstPaintPicture : public QObject {
public:
    FirstPaintPicture(QLabel* label, std::function<QPixmap()> make)
        : QObject(label), label_(label), make_(std::move(make)) {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint && make_) {
            label_->removeEventFilter(this);
            const std::function<QPixmap()> make = std::exchange(make_, nullptr);
            label_->setPixmap(make());
            deleteLater();
        }
        return false;
    }

private:
    QLabel* label_;
    std::function<QPixmap()> make_;
};

}  // namespace

QPixmap LoadPngData(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImageReader(&reader);
}

void SetPixmapOnFirstPaint(QLabel* label, std::function<QPixmap()> make) {
    if (label == nullptr || !make) return;
    new FirstPaintPicture(label, std::move(make));
}

}  // namespace vemra::ui
