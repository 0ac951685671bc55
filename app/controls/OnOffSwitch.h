#pragma once
// TOnOffSwitch: a two-state slide switch drawn as a push-button track with a push-button thumb,
// on the left when off and on the right when on.

#include <QRect>
#include <QString>
#include <QWidget>

namespace vemra {

class TOnOffSwitch : public QWidget {
  Q_OBJECT
  Q_PROPERTY(bool Off READ Off WRITE SetOff)
  Q_PROPERTY(bool Checked READ Checked WRITE SetChecked STORED false)

 public:
  explicit TOnOffSwitch(QWidget* parent = nullptr);

  bool Off() const { return off_; }
  // Moves the thumb and repaints when the state changes; nothing otherwise.
  void SetOff(bool value);
  bool Checked() const { return !off_; }
  void SetChecked(bool value) { SetOff(!value); }

  bool ThumbHot() const { return thumbHot_; }
  // The thumb in client coordinates: the left 40 % when off, the right 40 % when on.
  QRect ThumbRect() const { return thumbRect_; }

  // The text drawn on the part of the track not under the thumb (empty in the program).
  QString Text() const { return text_; }
  void SetText(const QString& text);

  QSize sizeHint() const override { return {75, 25}; }

 signals:
  // A left press and release over the switch (after the press toggled it, unless a modifier
  // key was held), or a release of the space key (after it toggled the switch).
  void clicked();
  void doubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateThumbRect();
  void SetThumbHot(bool value);

  bool off_ = true;
  bool thumbHot_ = false;
  bool pressed_ = false;  // a left press began on the switch; its release clicks
  QRect thumbRect_;
  QString text_;
};

}  // namespace vemra
