#include "OnOffSwitch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>

#include "Colors.h"

namespace vemra {

namespace {
// Rounds to the nearest integer, halves to even.
int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }
}  // namespace

TOnOffSwitch::TOnOffSwitch(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // Not a tab stop, and a click does not take the focus: the switch is worked by the mouse.
  setFocusPolicy(Qt::NoFocus);
  QFont f = font();
  f.setFamily(QStringLiteral("Tahoma"));
  f.setStyleHint(QFont::SansSerif);
  f.setBold(true);
  setFont(f);
  resize(75, 25);
  UpdateThumbRect();
}

void TOnOffSwitch::SetOff(bool value) {
  if (value == off_) return;
  off_ = value;
  UpdateThumbRect();
  update();
}

void TOnOffSwitch::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void TOnOffSwitch::UpdateThumbRect() {
  const int w = width();
  const int h = height();
  if (off_) thumbRect_ = QRect(QPoint(0, 0), QPoint(RoundEven(w * 0.4) - 1, h - 1));
  else thumbRect_ = QRect(QPoint(RoundEven(w * 0.6), 0), QPoint(w - 1, h - 1));
}

void TOnOffSwitch::SetThumbHot(bool value) {
  if (value == thumbHot_) return;
  thumbHot_ = value;
  update();
}

void TOnOffSwitch::mousePressEvent(QMouseEvent* event) {
  const Qt::KeyboardModifiers held =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (event->button() == Qt::LeftButton) pressed_ = true;
  if (event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton && held == 0 &&
      rect().contains(event->position().toPoint()))
    SetOff(!off_);
  QWidget::mousePressEvent(event);
  event->accept();
}

void TOnOffSwitch::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  QWidget::mouseReleaseEvent(event);
  event->accept();
  if (click) emit clicked();
}

// The second press of a double click neither toggles nor clicks.
void TOnOffSwitch::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() == Qt::LeftButton) emit doubleClicked();
}

void TOnOffSwitch::mouseMoveEvent(QMouseEvent* event) {
  // While a button is held the switch has the mouse captured: the thumb's look stays.
  if (event->buttons() == Qt::NoButton && QWidget::mouseGrabber() == nullptr)
    SetThumbHot(thumbRect_.contains(event->position().toPoint()));
  QWidget::mouseMoveEvent(event);
}

// A switch given the focus in code still toggles by Space; that toggle clicks as the mouse's
// does, so the handlers see every toggle the user makes.
void TOnOffSwitch::keyReleaseEvent(QKeyEvent* event) {
  const bool toggle = event->key() == Qt::Key_Space && !event->isAutoRepeat();
  if (toggle) SetOff(!off_);
  QWidget::keyReleaseEvent(event);
  if (toggle) emit clicked();
}

void TOnOffSwitch::leaveEvent(QEvent* event) {
  SetThumbHot(false);
  QWidget::leaveEvent(event);
}

void TOnOffSwitch::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void TOnOffSwitch::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void TOnOffSwitch::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

void TOnOffSwitch::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateThumbRect();
  QFont f = font();
  f.setPointSize(height() / 3 + 1);
  setFont(f);
}

void TOnOffSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const bool enabled = isEnabled();

  QStyleOptionButton track;
  track.initFrom(this);
  track.rect = rect();
  track.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
  if (enabled && !off_) track.state |= QStyle::State_Sunken | QStyle::State_On;
  else track.state |= QStyle::State_Raised;
  style()->drawControl(QStyle::CE_PushButtonBevel, &track, &painter, this);

  QRect textRect = rect();
  const int w = RoundEven(width() * 0.4);
  if (off_) textRect.setLeft(textRect.left() + w);
  else textRect.setRight(textRect.right() - w);
  painter.setFont(font());
  painter.setPen(TColorToQColor(enabled ? 0x00CC00 : 0xA0A0A0));
  painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text_);
  if (enabled && !off_) {
    painter.setPen(Qt::white);
    painter.drawText(textRect.translated(0, 1), Qt::AlignCenter | Qt::TextSingleLine, text_);
  }

  QStyleOptionButton thumb;
  thumb.initFrom(this);
  thumb.rect = thumbRect_;
  thumb.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
  thumb.state |= QStyle::State_Raised;
  if (enabled) {
    if (hasFocus()) {
      thumb.features |= QStyleOptionButton::DefaultButton;
      thumb.state |= QStyle::State_HasFocus;
    } else if (thumbHot_) {
      thumb.state |= QStyle::State_MouseOver;
    }
  }
  style()->drawControl(QStyle::CE_PushButtonBevel, &thumb, &painter, this);

  if (enabled && hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = style()->subElementRect(QStyle::SE_PushButtonContents, &thumb, this);
    focus.backgroundColor = palette().button().color();
    painter.setPen(Qt::white);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

}  // namespace vemra
