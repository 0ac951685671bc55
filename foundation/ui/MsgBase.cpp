#include "MsgBase.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include <algorithm>

#include "Colors.h"
#include "ModalRestore.h"
#include "PngImage.h"

namespace vemra {

TFrmMsgBase* MsgBox = nullptr;

namespace {

// Mirrored vertical gradient from aqua to 0x804000, reflected about the middle: the start
// colour in the middle, where the bold black message lies, the end colour at both edges. (The
// dark blue in the middle would leave the message nearly unreadable.)
class TGradientPanel final : public QWidget {
 public:
  using QWidget::QWidget;
  QColor beginColor = TColorToQColor(clAqua);
  QColor endColor = TColorToQColor(0x804000);

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, endColor);
    gradient.setColorAt(0.5, beginColor);
    gradient.setColorAt(1.0, endColor);
    painter.fillRect(rect(), gradient);
  }
};

QPushButton* MakeFlatButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  button->setFlat(true);
  button->setStyleSheet(QStringLiteral(
      "QPushButton { border: 1px solid black; background: transparent; }"
      "QPushButton:hover { background: rgba(255, 255, 255, 60); }"
      "QPushButton:pressed { background: rgba(0, 0, 0, 40); }"
      "QPushButton:focus { border: 2px solid black; }"));
  return button;
}

}  // namespace

TFrmMsgBase::TFrmMsgBase(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("FrmMsgBase"));
  setAttribute(Qt::WA_DeleteOnClose);
  KeepRestoredWhileModal(this);
  setFixedSize(kClientWidth, kClientHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  setFont(font);

  auto* gradient = new TGradientPanel(this);
  gradient->setObjectName(QStringLiteral("fondo"));
  gradient->setGeometry(0, 0, kClientWidth, kClientHeight);
  fondo = gradient;

  VMRLogo = new QPushButton(this);
  VMRLogo->setObjectName(QStringLiteral("VMRLogo"));
  VMRLogo->setGeometry(8, 8, 129, 33);
  VMRLogo->setFlat(true);
  VMRLogo->setFocusPolicy(Qt::NoFocus);
  // The logo lies in the top margin, which drags the box.
  VMRLogo->setAttribute(Qt::WA_TransparentForMouseEvents);
  VMRLogo->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; padding: 0; }"));
  VMRLogo->setIcon(ui::LoadPngIcon(QStringLiteral(":/vemra/msgbase/vmrlogo.png")));
  VMRLogo->setIconSize(QSize(129, 33));

  lbMsg = new QLabel(this);
  lbMsg->setObjectName(QStringLiteral("lbMsg"));
  lbMsg->setGeometry(24, 48, 433, 33);
  lbMsg->setAlignment(Qt::AlignCenter);
  lbMsg->setWordWrap(true);
  QFont bold = font;
  bold.setBold(true);
  lbMsg->setFont(bold);
  lbMsg->setAttribute(Qt::WA_TranslucentBackground);

  btOk = MakeFlatButton(this, "btOk", QStringLiteral("Yes"), QRect(264, 96, 89, 25));
  btKo = MakeFlatButton(this, "btKo", QStringLiteral("No"), QRect(368, 96, 89, 25));
  setTabOrder(btOk, btKo);
  connect(btOk, &QPushButton::clicked, this, [this] { done(btOk->property("modalResult").toInt()); });
  connect(btKo, &QPushButton::clicked, this, [this] { done(btKo->property("modalResult").toInt()); });
  btOk->setProperty("modalResult", mrOk);
  btKo->setProperty("modalResult", mrCancel);

  CentreOnScreen();
  UpdateRegion();
}

void TFrmMsgBase::CentreOnScreen() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  // Not a position of the caller's: the first show centres again at the final size.
  setAttribute(Qt::WA_Moved, false);
}

void TFrmMsgBase::showEvent(QShowEvent* event) {
  if (!testAttribute(Qt::WA_Moved)) CentreOnScreen();
  setAttribute(Qt::WA_Moved, true);
  QDialog::showEvent(event);
}

TFrmMsgBase::~TFrmMsgBase() {
  if (MsgBox == this) MsgBox = nullptr;
}

bool TFrmMsgBase::Execute(const QString& text, bool askYesNo) {
  if (!askYesNo) {
    QString caption;
    GetOkCaption(caption);
    btKo->setText(caption);
    btKo->setProperty("modalResult", mrOk);
    btOk->hide();
  }
  SetMessageText(text);
  return exec() == mrOk;
}

void TFrmMsgBase::CloseBox() { (CloseWithNo ? btKo : btOk)->click(); }

void TFrmMsgBase::GetOkCaption(QString& caption) { caption = QStringLiteral("Ok"); }

void TFrmMsgBase::SetMessageText(const QString& text) {
  lbMsg->setText(text);
  // The box has room for two lines. A longer text (a fault that names its file and its
  // reason) grows it downwards instead of being cut off, up to the screen's height; the
  // buttons keep their distance below the text.
  constexpr int kBaseLabelHeight = 33;
  int needed = lbMsg->heightForWidth(lbMsg->width());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    needed = std::min(needed, screen->availableGeometry().height() - (kClientHeight - kBaseLabelHeight));
  const int extra = needed - lbMsg->height();
  if (extra <= 0) return;
  lbMsg->resize(lbMsg->width(), lbMsg->height() + extra);
  for (QPushButton* button : {btOk, btKo}) button->move(button->x(), button->y() + extra);
  setFixedSize(width(), height() + extra);
}

bool TFrmMsgBase::IsInnerPoint(QPoint p, QSize size) {
  return p.x() >= 30 && p.x() <= size.width() - 32 && p.y() >= 40 && p.y() <= size.height() - 32;
}

void TFrmMsgBase::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !IsInnerPoint(event->position().toPoint(), size())) {
    QWindow* handle = windowHandle();
    // Without a window manager that moves windows, the box follows the mouse itself.
    if (!handle || !handle->startSystemMove()) dragOffset_ = event->globalPosition().toPoint() - pos();
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

void TFrmMsgBase::mouseMoveEvent(QMouseEvent* event) {
  if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *dragOffset_);
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void TFrmMsgBase::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragOffset_.reset();
  QDialog::mouseReleaseEvent(event);
}

void TFrmMsgBase::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  fondo->setGeometry(rect());
  UpdateRegion();
}

void TFrmMsgBase::closeEvent(QCloseEvent* event) {
  if (MsgBox == this) MsgBox = nullptr;
  QDialog::closeEvent(event);
}

void TFrmMsgBase::done(int result) {
  if (MsgBox == this) MsgBox = nullptr;
  QDialog::done(result);
}

void TFrmMsgBase::UpdateRegion() {
  QPainterPath path;
  path.addRoundedRect(QRectF(0, 0, width(), height()), 9, 9);
  setMask(QRegion(path.toFillPolygon().toPolygon()));
}

}  // namespace vemra
