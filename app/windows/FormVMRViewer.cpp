#include "FormVMRViewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

#include "SmallWindows.h"
#include "StreamKeys.h"
#include "StreamedIniFile.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "ui_FormVMRViewer.h"

namespace vemra {

TVMRViewer* VMRViewer = nullptr;

namespace {
// Qt on X11 tells the window manager a window's owner (WM_TRANSIENT_FOR) only for a dialog;
// an unowned viewer stays an ordinary window.
Qt::WindowFlags ViewerFlags(const QWidget* owner) { return owner != nullptr ? Qt::Dialog : Qt::Window; }
}  // namespace

TVMRViewer::TVMRViewer(QWidget* parent) : QWidget(parent, ViewerFlags(parent)), ui_(std::make_unique<Ui::TVMRViewer>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRViewer"));
    VMRStrings = ui_->VMRStrings;
    setAttribute(Qt::WA_DeleteOnClose);
    TranslateWindow(this);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
}

TVMRViewer::~TVMRViewer() {
    if (VMRViewer == this) VMRViewer = nullptr;
}

void TVMRViewer::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted() && VMRViewer == this) VMRViewer = nullptr;
}

void ShowTextFile(const std::string& path) {
    // Read first, so that a file that cannot be read leaves no half-filled window.
    TStringList lines;
    OpenStreamedIni(kDayRateKeyIndex, path)->GetStrings(lines);
    // Opened from a modal window (the options window), the viewer belongs to it: Qt lets input
    // reach it and the window manager keeps it above that window.
    QWidget* owner = QApplication::activeModalWidget();
    if (VMRViewer == nullptr)
        VMRViewer = new TVMRViewer(owner);
    else if (owner != nullptr && VMRViewer->parentWidget() != owner)
        VMRViewer->setParent(owner, ViewerFlags(owner));
    VMRViewer->setWindowTitle(QString::fromStdString(ExtractFileName(path)));
    VMRViewer->VMRStrings->clear();
    QStringList text;
    text.reserve(lines.Count());
    for (int i = 0; i < lines.Count(); ++i) text.append(QString::fromStdString(lines[i]));
    VMRViewer->VMRStrings->setPlainText(text.join(QLatin1Char('\n')));
    VMRViewer->show();
    VMRViewer->raise();
}

}  // namespace vemra
