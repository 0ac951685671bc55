#pragma once
// TVMRCalcProgress: the small borderless window that stays on top while a long table
// conversion runs: a text, a gauge and a "position of maximum" label. One at a time, in
// VMRCalcProgress; the conversion creates, shows and closes it, and closing frees it.

#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;

namespace Ui {
class TVMRCalcProgress;
}

namespace vemra {

class TVMRCalcProgress : public QWidget {
    Q_OBJECT
public:
    explicit TVMRCalcProgress(QWidget* parent = nullptr);
    ~TVMRCalcProgress() override;

    // lbPro := Format(ProgressFormat, [position, the gauge's maximum]); the gauge follows and
    // is painted at once.
    void SetProgress(int position);

    QProgressBar* PBar;
    QLabel* lbKeep;
    QLabel* lbPro;
    QLabel* VMRLogo;
    std::string ProgressFormat;  // the label pattern, e.g. message 120
    bool Shown = false;          // set by the conversion once it revealed the window

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::TVMRCalcProgress> ui_;
};

// The open window; nullptr when there is none.
extern TVMRCalcProgress* VMRCalcProgress;

// Creates the window (a previous one is freed) and places it: lbKeep := text, or message
// 121 when text is empty; left := (screen width - width + 342) / 2, top := (642 - height) / 2.
// It stays hidden until RevealCalcProgress.
void ShowCalcProgress(const QString& text);
// Where ShowCalcProgress puts a window of that size on a screen of that width.
QPoint CalcProgressPlace(int screenWidth, QSize windowSize);
// Updates the open window; nothing when none is open.
void SetProgress(int position);

// The table-conversion progress window as the conversion pipeline drives it (the main
// window forwards IPipelineHost's calls here).
class TCalcProgressHost {
public:
    bool CalcProgressOpen() const;
    void ShowCalcProgress(const std::string& text);
    void SetCalcProgressRange(const std::string& pattern, int maximum);
    void SetProgress(int position);
    void RevealCalcProgress();
    void CloseCalcProgress();
};

}  // namespace vemra
