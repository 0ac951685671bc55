#pragma once
// Our own pictures are PNG files. Read by name alone, Qt asks every image format plug-in of
// the system whether it knows the data (loading each of them, and the libraries they need)
// before it takes its built-in PNG reader; naming the format and turning off that guess
// gives the same picture without loading any plug-in.

#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QString>

namespace vemra::ui {

inline QPixmap LoadPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImageReader(&reader);
}

// An icon of one PNG picture (QIcon's own file loading guesses the format as above).
inline QIcon LoadPngIcon(const QString& path) { return QIcon(LoadPng(path)); }

}  // namespace vemra::ui
