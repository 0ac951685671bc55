#pragma once
// TVMRInfo: the notification popup at the right edge of the screen. Popups stack downward
// from 48 pixels below the top, each lives 5 seconds, and frees itself when it closes.

#include <QPixmap>
#include <QSize>
#include <QWidget>

#include <memory>
#include <vector>

#include "Colors.h"

class QLabel;
class QTimer;

namespace Ui {
class TVMRInfo;
}

namespace vemra {

// The program's logo (129 x 33) for the popups and message boxes.
QPixmap VMRLogoPixmap();

// The "arrow down" gradient: from BeginColor along the top edge and the upper corners to
// EndColor at the bottom centre, the bands bent into a downward arrow.
class TGradient : public QWidget {
    Q_OBJECT
public:
    explicit TGradient(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetColors(TColor begin, TColor end);
    TColor BeginColor = 0xFF8000;
    TColor EndColor = 0x804000;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TVMRInfo : public QWidget {
    Q_OBJECT
public:
    // Gives the popup its rounded region, adds it to the open popups and places it.
    explicit TVMRInfo(QWidget* parent = nullptr);
    ~TVMRInfo() override;

    // Shows the title (hidden when empty; right edge kept) and the text.
    void SetTitle(const QString& title);
    void SetText(const QString& text);

    // The popups open now, oldest first.
    static const std::vector<TVMRInfo*>& OpenPopups();
    // Where the popup with that number of open popups (itself included) goes on a screen.
    static QPoint PopupPosition(int openCount, QSize screen, QSize window);

    static constexpr int kClientWidth = 248;
    static constexpr int kClientHeight = 124;
    static constexpr int kLifeMs = 5000;

    TGradient* Gradient = nullptr;
    QLabel* VMRLogo = nullptr;
    QLabel* lbTitle = nullptr;
    QLabel* lbMsg = nullptr;
    QTimer* InfoTimer = nullptr;

private:
    std::unique_ptr<Ui::TVMRInfo> ui_;
};

}  // namespace vemra
