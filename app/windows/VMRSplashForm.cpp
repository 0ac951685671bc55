#include "VMRSplashForm.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>

#include "ModalRestore.h"
#include "PngImage.h"
#include "SmallWindows.h"
#include "MessageNumbers.h"
#include "ui_VMRSplashForm.h"
#include "vmrconsts.h"

namespace vemra {

TVMRSplash::TVMRSplash(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::TVMRSplash>()) {
    InitSmallWindowResources();
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRSplash"));
    KeepRestoredWhileModal(this);  // opened from About, only a click closes it
    Mask = ui_->Mask;
    // Set here rather than in the form, whose loader would guess the format (see LoadPng).
    Mask->setPixmap(ui::LoadPng(QStringLiteral(":/vemra/splash.png")));
    lbInfoVer = ui_->lbInfoVer;
    // The subtitle is part of the picture: a click on it closes the splash as on the picture.
    ui_->lbSubtitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    InfoTimer = new QTimer(this);
    InfoTimer->setObjectName(QStringLiteral("InfoTimer"));
    InfoTimer->setInterval(2000);
    InfoTimer->setSingleShot(true);
    connect(InfoTimer, &QTimer::timeout, this, &QDialog::accept);

    const QSize picture = Mask->pixmap().isNull() ? size() : Mask->pixmap().deviceIndependentSize().toSize();
    setFixedSize(picture);
    Mask->setGeometry(rect());
    Mask->installEventFilter(this);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 7, 7);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
    TranslateWindow(this);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
}

TVMRSplash::~TVMRSplash() = default;

bool TVMRSplash::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Mask && event->type() == QEvent::MouseButtonRelease) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowSplash(bool keepOpen) {
    TVMRSplash splash;
    splash.lbInfoVer->setText(FormatMessage(msg::VersionLabel, {ProgramVersion}));
    if (!keepOpen) splash.InfoTimer->start();
    splash.exec();
}

}  // namespace vemra
