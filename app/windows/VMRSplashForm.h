#pragma once
// TVMRSplash: the borderless splash and about window: the picture with the version label.
// A click on the picture closes it; unless kept open, so does InfoTimer after 2000 ms.

#include <QDialog>
#include <memory>

class QLabel;
class QTimer;

namespace Ui {
class TVMRSplash;
}

namespace vemra {

class TVMRSplash : public QDialog {
    Q_OBJECT
public:
    explicit TVMRSplash(QWidget* parent = nullptr);
    ~TVMRSplash() override;

    QLabel* Mask;
    QLabel* lbInfoVer;
    QTimer* InfoTimer;  // 2000 ms, single shot, off until started

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::TVMRSplash> ui_;
};

// Shows the splash modally: closing by itself after 2000 ms, or (keepOpen) until clicked.
void ShowSplash(bool keepOpen);

}  // namespace vemra
