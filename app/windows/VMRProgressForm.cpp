#include "VMRProgressForm.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <exception>

#include "ui_VMRProgressForm.h"

namespace vemra {

TVMRProgress::TVMRProgress(QWidget* parent) : TVMRMsg(parent), ui_(std::make_unique<Ui::TVMRProgress>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRProgress"));
    FBar = ui_->FBar;
    lbFile = ui_->lbFile;
    // The runners free these windows themselves, after reading their results.
    setAttribute(Qt::WA_DeleteOnClose, false);
    btOk->setText(QStringLiteral("Close"));
    btKo->setText(QStringLiteral("Cancel"));
    disconnect(btKo, &QPushButton::clicked, this, nullptr);
    connect(btKo, &QPushButton::clicked, this, [this] { Cancelled = true; });
}

TVMRProgress::~TVMRProgress() = default;

void TVMRProgress::DoWork() {}

void TVMRProgress::showEvent(QShowEvent* event) {
    TVMRMsg::showEvent(event);
    // Queued, so that the work runs inside the modal loop that is starting now.
    if (Tag == 0) QMetaObject::invokeMethod(this, &TVMRProgress::StartWork, Qt::QueuedConnection);
}

void TVMRProgress::StartWork() {
    if (Tag != 0) return;
    repaint();
    Tag = 1;
    Working = true;
    try {
        DoWork();
    } catch (const std::exception& error) {
        // A fault must not cross Qt's event loop; the window says what stopped the work.
        lbFile->setText(QString::fromUtf8(error.what()));
    }
    Working = false;
    if (pendingResult_ >= 0) TVMRMsg::done(pendingResult_);
}

void TVMRProgress::done(int result) {
    if (Working) {
        pendingResult_ = result;
        return;
    }
    TVMRMsg::done(result);
}

void TVMRProgress::LetEventsRun() {
    repaint();
    QCoreApplication::processEvents();
}

}  // namespace vemra
