#include "VMRCalcProgressForm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "MessageNumbers.h"
#include "SmallWindows.h"
#include "ui_VMRCalcProgressForm.h"

namespace vemra {

TVMRCalcProgress* VMRCalcProgress = nullptr;

TVMRCalcProgress::TVMRCalcProgress(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TVMRCalcProgress>()) {
    InitSmallWindowResources();
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRCalcProgress"));
    PBar = ui_->PBar;
    lbKeep = ui_->lbKeep;
    lbPro = ui_->lbPro;
    VMRLogo = ui_->VMRLogo;
    setFixedSize(426, 86);
    setAttribute(Qt::WA_DeleteOnClose);
    // The user keeps Ctrl held in another program; the window must not take the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);
    TranslateWindow(this);
    created_.start();
}

TVMRCalcProgress::~TVMRCalcProgress() {
    if (VMRCalcProgress == this) VMRCalcProgress = nullptr;
}

void TVMRCalcProgress::SetProgress(int position) {
    position_ = position;
    if (!isVisible()) {
        if (revealWanted_ && created_.elapsed() >= CalcProgressRevealDelayMs) ShowNow();
        return;
    }
    if (position == displayed_ || (painted_.isValid() && painted_.elapsed() < CalcProgressRepaintMs)) return;
    Display();
}

void TVMRCalcProgress::Reveal() {
    if (isVisible()) {
        Refresh();
        return;
    }
    revealWanted_ = true;
    if (created_.elapsed() >= CalcProgressRevealDelayMs) ShowNow();
}

void TVMRCalcProgress::Refresh() {
    displayed_ = -1;
    if (isVisible()) Display();
}

void TVMRCalcProgress::SetTextAndGauge() {
    lbPro->setText(FormatText(ProgressFormat, {position_, PBar->maximum()}));
    SetGaugePosition(PBar, position_);
    displayed_ = position_;
}

void TVMRCalcProgress::Display() {
    SetTextAndGauge();
    PBar->repaint();
    lbPro->repaint();
    painted_.start();
}

void TVMRCalcProgress::ShowNow() {
    Shown = true;
    SetTextAndGauge();
    show();
    raise();
    // The conversion blocks the event loop; an X window shows only once it is exposed. Only
    // window-system and posted events run here: no timers, sockets or user input, so that
    // nothing else starts in the middle of the conversion.
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() != nullptr && !windowHandle()->isExposed() && waited.elapsed() < 250) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers |
                                            QEventLoop::X11ExcludeTimers,
                                        10);
    }
    repaint();
    painted_.start();
}

void TVMRCalcProgress::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, QColor(0xF0, 0xFF, 0xFF));
    gradient.setColorAt(1.0, QColor(0x8C, 0xC8, 0xEE));
    painter.fillRect(rect(), gradient);
    painter.setPen(QColor(0x00, 0x40, 0x80));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ShowCalcProgress(const QString& text) {
    delete VMRCalcProgress;
    auto* window = new TVMRCalcProgress();
    VMRCalcProgress = window;
    window->lbKeep->setText(text.isEmpty() ? MessageText(msg::ProgressText) : text);
    int screenWidth = 0;
    if (QScreen* screen = QGuiApplication::primaryScreen()) screenWidth = screen->geometry().width();
    window->move(CalcProgressPlace(screenWidth, window->size()));
}

QPoint CalcProgressPlace(int screenWidth, QSize windowSize) {
    // Integer division rounds toward zero, as the placement rule wants.
    return {(screenWidth - windowSize.width() + 342) / 2, (642 - windowSize.height()) / 2};
}

void SetProgress(int position) {
    if (VMRCalcProgress != nullptr) VMRCalcProgress->SetProgress(position);
}

namespace {

// The run's progress until its window is built: most runs end before the window would show,
// and building a window costs more than such a run's cells. The window is built once the
// revealed run has lasted CalcProgressRevealDelayMs, from what the run has set by then.
struct TPendingCalcProgress {
    bool open = false;
    bool revealWanted = false;
    QString text;
    std::string format;
    int maximum = -1;  // -1 while no range is set
    int position = 0;
    QElapsedTimer opened;
};

TPendingCalcProgress pending;

void BuildWhenDue(TCalcProgressHost& host) {
    if (!pending.open || !pending.revealWanted || pending.opened.elapsed() < CalcProgressRevealDelayMs) return;
    pending.open = false;
    ShowCalcProgress(pending.text);
    TVMRCalcProgress* window = VMRCalcProgress;
    window->RunOpened(pending.opened);
    if (pending.maximum >= 0) host.SetCalcProgressRange(pending.format, pending.maximum);
    window->SetProgress(pending.position);
    window->Reveal();
}

}  // namespace

bool TCalcProgressHost::CalcProgressOpen() const { return VMRCalcProgress != nullptr || pending.open; }

void TCalcProgressHost::ShowCalcProgress(const std::string& text) {
    CloseCalcProgress();
    pending = TPendingCalcProgress();
    pending.open = true;
    pending.text = QString::fromStdString(text);
    pending.opened.start();
}

void TCalcProgressHost::SetCalcProgressRange(const std::string& pattern, int maximum) {
    if (pending.open) {
        pending.format = pattern;
        pending.maximum = maximum;
        return;
    }
    if (VMRCalcProgress == nullptr) return;
    VMRCalcProgress->ProgressFormat = pattern;
    // A maximum of 0 would turn the Qt bar into a busy indicator.
    VMRCalcProgress->PBar->setRange(0, std::max(maximum, 1));
    VMRCalcProgress->Refresh();
}

void TCalcProgressHost::SetProgress(int position) {
    if (pending.open) {
        pending.position = position;
        BuildWhenDue(*this);
        return;
    }
    vemra::SetProgress(position);
}

void TCalcProgressHost::RevealCalcProgress() {
    if (pending.open) {
        pending.revealWanted = true;
        BuildWhenDue(*this);
        return;
    }
    if (VMRCalcProgress != nullptr) VMRCalcProgress->Reveal();
}

void TCalcProgressHost::CloseCalcProgress() {
    pending.open = false;
    if (VMRCalcProgress == nullptr) return;
    TVMRCalcProgress* window = VMRCalcProgress;
    VMRCalcProgress = nullptr;
    window->close();  // frees it (WA_DeleteOnClose), shown or not
}

}  // namespace vemra
