#pragma once
// Our own pictures are PNG files. Read by name alone, Qt asks every image format plug-in of
// the system whether it knows the data (loading each of them, and the libraries they need)
// before it takes its built-in PNG reader; naming the format and turning off that guess
// gives the same picture without loading any plug-in.

#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QString>

#include <functional>

class QByteArray;
class QLabel;

namespace vemra::ui {

inline QPixmap LoadPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImageReader(&reader);
}

// The same from the bytes of a PNG file read before.
QPixmap LoadPngData(const QByteArray& bytes);

// Gives the label the picture of make just before the label is first painted (shown or
// grabbed), and not before: the decoded pixels of a picture on a window that stays hidden
// (most of a tray program's life) take no memory until the picture is seen.
void SetPixmapOnFirstPaint(QLabel* label, std::function<QPixmap()> make);

// An icon of one PNG picture (QIcon's own file loading guesses the format as above).
inline QIcon LoadPngIcon(const QString& path) { return QIcon(LoadPng(path)); }

}  // namespace vemra::ui
