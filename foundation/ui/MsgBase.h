#pragma once
// MsgBaseForm: the program's own borderless message box (gradient, logo, centred bold text,
// one or two flat buttons), shown modally; dragged by its margins; closed from code by CloseBox.

#include <QDialog>
#include <QPoint>
#include <QSize>
#include <QString>
#include <optional>

class QLabel;
class QPushButton;

namespace vemra {

class TFrmMsgBase : public QDialog {
  Q_OBJECT

 public:
  // Created hidden; frees itself when it closes (WA_DeleteOnClose). The first show centres
  // it on the screen at its size then, unless the caller moved it; the background and the
  // rounded shape follow every resize.
  explicit TFrmMsgBase(QWidget* parent = nullptr);
  ~TFrmMsgBase() override;

  // Shows the text modally with "Yes"/"No" (askYesNo) or with one button on the right,
  // captioned by GetOkCaption. True when the box closed with result 1 (OK): the single
  // button or "Yes"; false for "No" or any other way of closing. The box is freed on return:
  // do not use it afterwards.
  bool Execute(const QString& text, bool askYesNo);
  // Clicks btOk (btKo when CloseWithNo is set) so that an open modal box ends with its result.
  void CloseBox();

  // The caption of the single button of a plain message; here "Ok".
  virtual void GetOkCaption(QString& caption);
  // Shows the text; here it becomes lbMsg's text.
  virtual void SetMessageText(const QString& text);

  // Whether a client point lies in the inner rectangle (30 <= x <= width - 32,
  // 40 <= y <= height - 32); a left press outside it drags the box.
  static bool IsInnerPoint(QPoint clientPoint, QSize clientSize);

  // When set, CloseBox answers with the second button instead of the first.
  bool CloseWithNo = false;

  // The components (objectNames as the names here). Owned by the window.
  QWidget* fondo = nullptr;        // gradient background over the client area
  QPushButton* VMRLogo = nullptr;  // the program's logo, no frame
  QLabel* lbMsg = nullptr;         // the message text: centred, bold, word-wrapped
  QPushButton* btOk = nullptr;     // "Yes", result 1 (Accepted)
  QPushButton* btKo = nullptr;     // "No", result 2

  // Client size of the box at 96 dpi.
  static constexpr int kClientWidth = 499;
  static constexpr int kClientHeight = 134;
  // The modal results of the two buttons (mrOk, mrCancel).
  static constexpr int mrOk = 1;
  static constexpr int mrCancel = 2;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  void UpdateRegion();
  void CentreOnScreen();

  std::optional<QPoint> dragOffset_;  // set while the box follows the mouse by itself
};

// The message box currently open; nullptr when none. This unit only clears it (on close and
// on destruction); the message routines set it.
extern TFrmMsgBase* MsgBox;

}  // namespace vemra
