#pragma once
// TVMRProgress: the message box with a gauge and a file label, whose work runs inside its
// own modal loop. On its first showing it paints itself and runs DoWork once; descendants
// fill DoWork in. Cancel (btKo) only raises the cancel flag, which the work loops test
// before each item; the work lets pending events run between steps so that it can be pressed.

#include <memory>

#include "VMRMessageForm.h"

class QLabel;
class QProgressBar;

namespace Ui {
class TVMRProgress;
}

namespace vemra {

class TVMRProgress : public TVMRMsg {
    Q_OBJECT
public:
    explicit TVMRProgress(QWidget* parent = nullptr);
    ~TVMRProgress() override;

    // The work; empty here.
    virtual void DoWork();

    QProgressBar* FBar;
    QLabel* lbFile;
    int Tag = 0;            // 1 once DoWork was started
    bool Cancelled = false;  // the cancel flag
    bool Working = false;    // DoWork is running

protected:
    void showEvent(QShowEvent* event) override;
    // Closing while the work runs cancels it; the window closes once the work has stopped.
    void done(int result) override;
    // Paints the window now and lets pending events (a click on Cancel) run.
    void LetEventsRun();

private:
    void StartWork();
    std::unique_ptr<Ui::TVMRProgress> ui_;
    int pendingResult_ = -1;
};

}  // namespace vemra
