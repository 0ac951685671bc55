#pragma once
// TVMRCalcProgress: the small borderless window that stays on top while a long table
// conversion runs: a text, a gauge and a "position of maximum" label. One at a time, in
// VMRCalcProgress; the conversion creates, shows and closes it, and closing frees it.

#include <QElapsedTimer>
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
    // is painted at once, at most every CalcProgressRepaintMs while the window is shown. A
    // hidden window only keeps the position, and shows itself here once a revealed run has
    // lasted CalcProgressRevealDelayMs.
    void SetProgress(int position);
    // Shows the window now when the run has lasted long enough, else when SetProgress comes
    // after that time.
    void Reveal();
    // The text and gauge again from the kept position, e.g. after a new pattern or range.
    void Refresh();
    // The run's time counts from when it opened, not from when the window was built.
    void RunOpened(const QElapsedTimer& opened) { created_ = opened; }

    QProgressBar* PBar;
    QLabel* lbKeep;
    QLabel* lbPro;
    QLabel* VMRLogo;
    std::string ProgressFormat;  // the label pattern, e.g. message 120
    bool Shown = false;          // set by the conversion once it revealed the window

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowNow();
    void SetTextAndGauge();
    void Display();

    std::unique_ptr<Ui::TVMRCalcProgress> ui_;
    QElapsedTimer created_;
    QElapsedTimer painted_;  // invalid until the first paint of text and gauge
    int position_ = 0;
    int displayed_ = -1;     // the position the text and gauge show; -1 when they are stale
    bool revealWanted_ = false;
};

// A run that ends sooner never shows the window: showing it costs some 40 ms on X, more than
// such a run, and a flash of a window tells the user nothing.
inline constexpr qint64 CalcProgressRevealDelayMs = 200;
// About 30 paints a second follow the count smoothly; painting per cell cost more than the
// conversion itself.
inline constexpr qint64 CalcProgressRepaintMs = 30;

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
// window forwards IPipelineHost's calls here). Opening only notes the run: the window is built
// (as ShowCalcProgress builds it) when the revealed run has lasted CalcProgressRevealDelayMs,
// so a run that ends sooner builds none.
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
