#include "VMRInfoForm.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "PngImage.h"
#include "ui_VMRInfoForm.h"

// The images live in this static library: register them before the first use.
static void RegisterInfoResources() { Q_INIT_RESOURCE(VMRInfoForm); }

namespace vemra {

QPixmap VMRLogoPixmap() {
    static const bool registered = (RegisterInfoResources(), true);
    (void)registered;
    return ui::LoadPng(QStringLiteral(":/vemra/info/vmrlogo.png"));
}

namespace {

std::vector<TVMRInfo*> openPopups;

constexpr int kStackTop = 48;     // the first popup's top, below the top of the screen
constexpr int kRightMargin = 32;  // from the right edge of the screen

}  // namespace

void TGradient::SetColors(TColor begin, TColor end) {
    BeginColor = begin;
    EndColor = end;
    update();
}

void TGradient::paintEvent(QPaintEvent*) {
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    const QColor a = TColorToQColor(BeginColor);
    const QColor b = TColorToQColor(EndColor);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double fy = h > 1 ? static_cast<double>(y) / (h - 1) : 0.0;
        for (int x = 0; x < w; ++x) {
            const double fx = w > 1 ? std::abs(2.0 * x / (w - 1) - 1.0) : 0.0;
            // Bands of equal colour are chevrons pointing down: far from the centre line the
            // colour is nearer the start.
            const double t = std::clamp(fy * (1.0 - 0.5 * fx), 0.0, 1.0);
            line[x] = qRgb(static_cast<int>(a.red() + (b.red() - a.red()) * t),
                           static_cast<int>(a.green() + (b.green() - a.green()) * t),
                           static_cast<int>(a.blue() + (b.blue() - a.blue()) * t));
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

TVMRInfo::TVMRInfo(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TVMRInfo>()) {
    VMRLogoPixmap();  // registers the images the window description names
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kClientWidth, kClientHeight);
    Gradient = ui_->Gradient;
    VMRLogo = ui_->VMRLogo;
    lbTitle = ui_->lbTitle;
    lbMsg = ui_->lbMsg;

    QFont bold = font();
    bold.setFamily(QStringLiteral("MS Sans Serif"));
    bold.setStyleHint(QFont::SansSerif);
    bold.setPixelSize(11);
    bold.setBold(true);
    for (QLabel* label : {lbTitle, lbMsg}) {
        label->setFont(bold);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(palette);
    }

    InfoTimer = new QTimer(this);
    InfoTimer->setObjectName(QStringLiteral("InfoTimer"));
    InfoTimer->setSingleShot(true);
    InfoTimer->setInterval(kLifeMs);
    connect(InfoTimer, &QTimer::timeout, this, &QWidget::close);

    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 7, 7);
    setMask(QRegion(path.toFillPolygon().toPolygon()));

    openPopups.push_back(this);
    QSize screen(1024, 768);
    if (QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->geometry().size();
    move(PopupPosition(static_cast<int>(openPopups.size()), screen, frameSize()));
}

TVMRInfo::~TVMRInfo() { std::erase(openPopups, this); }

void TVMRInfo::SetTitle(const QString& title) {
    const int right = lbTitle->geometry().right();
    lbTitle->setText(title);
    const int width = std::max(lbTitle->sizeHint().width(), 1);
    // A title too long for the room beside the logo (the Spanish ones) goes on the line under
    // it, above the message, instead of running into the logo.
    constexpr int kBesideLogoTop = 15;
    constexpr int kUnderLogoTop = 42;
    const bool besideLogo = right - width + 1 > VMRLogo->geometry().right() + 4;
    lbTitle->setGeometry(right - width + 1, besideLogo ? kBesideLogoTop : kUnderLogoTop, width, lbTitle->height());
    lbTitle->setVisible(!title.isEmpty());
}

void TVMRInfo::SetText(const QString& text) { lbMsg->setText(text); }

const std::vector<TVMRInfo*>& TVMRInfo::OpenPopups() { return openPopups; }

QPoint TVMRInfo::PopupPosition(int openCount, QSize screen, QSize window) {
    // A screen lower than one popup still has its one slot.
    const int slotCount = std::max(1, (screen.height() - kStackTop) / kClientHeight);
    const int index = (std::max(openCount, 1) - 1) % slotCount;
    return {screen.width() - (window.width() + kRightMargin), index * kClientHeight + kStackTop};
}

}  // namespace vemra
