#pragma once
// TVMRProperties: the calendar of the selected rate source. Month by month it marks the days
// that have a day rate file and knows the publication days whose file is missing; it lists the
// chosen day's files and shows one file's header and values, applies a file as the converter's
// rates, compares one currency with the current rates, updates the source or all sources,
// opens the source's page and takes a past month's missing days from the source's history.
// At most one exists (PropertiesWindow); it is not modal and is freed when it closes.

#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QToolButton;

namespace Ui {
class TVMRProperties;
}

namespace vemra {

class TQtCalendar;
class TVMRProperties;
class TCurrencyConverter;
class TPlugginMan;
class THTMLConverterPlugInn;

// What the window asks of the rest of the program (the options and main windows, the data
// module's update state and boxes). The program's own answers through those windows; tests
// give their own.
class IPropertiesHost {
public:
    virtual ~IPropertiesHost() = default;
    // The options window's source list, copied into cbPublisher at creation (nullptr: none).
    virtual QComboBox* OptionsSourceList() = 0;
    // The options window's cbSubscriptionsChange with the properties window's list as sender.
    virtual void SourceChosen(QComboBox* sender) = 0;
    // The options window's UpdateHistoryFile.
    virtual bool UpdateHistoryFile() = 0;
    // After new rates were applied: the main window's currency lists with the converter's
    // pair, its text converted again, the options window's currency list refilled.
    virtual void RatesApplied() = 0;
    // The main window's rate-age indicator.
    virtual void ShowRateIndicator() = 0;
    // Repaints the options window's and the main window's source lists.
    virtual void RepaintSourceLists() = 0;
    // ---- updates ----
    virtual bool InternetConnected() = 0;
    // An update runs already (the windows stay usable during its downloads).
    virtual bool UpdateRunning() { return false; }
    // True, after telling the user so, while a download runs: another is not started then.
    virtual bool RefuseDownload() { return false; }
    virtual void SetBusyState(bool busy) = 0;
    virtual std::uint8_t DownloadRates(TDateTime date) = 0;
    virtual void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) = 0;
    // An update round of every source without a version check.
    virtual void UpdateAll() = 0;
    // Days as day numbers in decimal, fetched through the on-demand download window.
    virtual void RunOnDemandDownload(const TStringList& dates) = 0;
    // ---- boxes, shell ----
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool Ask(const std::string& text) = 0;
    virtual void ShowNotification(const std::string& title, const std::string& text) = 0;
    virtual std::string MessageText(int number) = 0;
    virtual void OpenAddress(const std::string& address) = 0;
    virtual void Translate(QWidget* window) = 0;
    virtual std::string LanguageCode() = 0;  // message 0 of the loaded language, e.g. "ESP"
    // ---- the converter and the remembered position ----
    virtual TCurrencyConverter* Converter() = 0;
    // PropertiesLeft and PropertiesTop (user settings "PProperties.*"; 0 = none).
    virtual QPoint RememberedPosition() = 0;
    virtual void RememberPosition(int left, int top) = 0;
};

// The program's host: the options window VMRConfig, the main window VMRConverter and dm.
IPropertiesHost& ProgramPropertiesHost();

// ---- program-wide state (one window at a time) ----
extern TVMRProperties* PropertiesWindow;  // the open window; nullptr when none

// Opens the window as the options window's calendar button does: a visible one is closed
// first; the new one (owner: owner) becomes PropertiesWindow and shows without waiting.
TVMRProperties* OpenPropertiesWindow(QWidget* owner);
TVMRProperties* OpenPropertiesWindow(QWidget* owner, IPropertiesHost& host);

// The update processing's refresh: the open window shows its calendar's date again.
void RefreshOpenPropertiesWindow();

class TVMRProperties : public QWidget {
    Q_OBJECT
public:
    explicit TVMRProperties(QWidget* owner, IPropertiesHost& host);  // FormCreate
    ~TVMRProperties() override;                                       // FormDestroy

    // ---- called from outside ----
    // The update processing after loading new rates: the marks of the date's month again.
    void SelectDate(TDateTime date);
    // The options window after its source changed while this window shows another one.
    void cbPublisherChange();

    // ---- handlers ----
    void FormActivate();
    void CalChange();
    void CalDblClick();
    void pnlFileChange();
    void pnlValuesClick();
    void btApplyClick();
    void btUpdSelClick(QObject* sender);
    void btViewSrcClick();
    void lbHistoryClick();
    void pnlTodayDblClick();
    void lbCurrentInfoClick();
    void btCloseClick();
    void btUpdSosClick() {}

    // ---- algorithms ----
    void ShowDayFile();
    void ListDayFiles();
    void ShowCurrentRateInfo();
    void ShowHistoryMark();
    void ExtractHistoryMonth();
    void ClearValueCompare();
    // Keeps the window while a download started from it waits: a close meanwhile only hides
    // it, and it is freed once the last such download has ended.
    void BeginWork() { ++working_; }
    void EndWork();

    // ---- components (objectName = the member's name) ----
    TQtCalendar* Cal = nullptr;
    QComboBox* cbPublisher = nullptr;
    QComboBox* pnlFile = nullptr;
    QLabel* pnBase = nullptr;
    QLabel* PnlDate = nullptr;
    QLabel* lbOld = nullptr;
    QListWidget* pnlValues = nullptr;
    QLabel* lbNumItems = nullptr;
    QLabel* lbPC = nullptr;
    QLabel* lbCurrentInfo = nullptr;
    QFrame* pnlToday = nullptr;
    QLabel* lbToday = nullptr;
    QLabel* lbHistory = nullptr;
    QToolButton* btUpd = nullptr;
    QMenu* pmUpd = nullptr;
    QAction* btUpdSel = nullptr;  // tag 0
    QAction* btUpdAll = nullptr;  // tag 1
    QToolButton* btViewSrc = nullptr;
    QToolButton* btApply = nullptr;
    QToolButton* btClose = nullptr;

    // ---- window fields ----
    TStringList DayValues;             // keys of the shown file's DATA section
    std::uint32_t MissingDays = 0;     // bit d: day d of the shown month is expected but missing
    bool IsMissingDay(int day) const { return day >= 0 && day < 32 && ((MissingDays >> day) & 1u) != 0; }

    // ---- the unit's state ----
    std::string SourceFolder;
    std::string ShownFile;
    std::string LastShownFile;
    std::int32_t ShownFileDay = 0;
    std::int32_t MarkedMonth = 0;
    std::string CompareCode;
    double CompareValue = 0;
    std::int32_t CompareDay = 0;

    // The colours of the age label and the percentage (0x00BBGGRR), for the tests and the paint.
    static constexpr std::int32_t PercentUpColor = 0x008000;
    static constexpr std::int32_t PercentDownColor = 0x000080;
    static constexpr std::int32_t HistoryMissingColor = 0x0000FF;
    static constexpr std::int32_t HistoryPresentColor = 0x00FFFF;
    std::int32_t HistoryColor() const { return historyColor_; }

    // Whether a client point lies in the border strip that drags the window.
    static bool DragZone(int x, int y);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;  // FormClose
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    TDateTime CurrentRatesDate() const;  // the date part of the converter's current rates
    std::string CodeOfSource() const;
    void SetHistoryColor(std::int32_t color);
    void ExtractHistoryMonth(THTMLConverterPlugInn& monthSource);
    void FitTexts();  // the age and the history mark widen for their texts

    IPropertiesHost& host_;
    std::unique_ptr<Ui::TVMRProperties> ui_;
    std::int32_t historyColor_ = HistoryPresentColor;
    bool activated_ = false;
    // Downloads started from this window that still run (BeginWork, EndWork).
    int working_ = 0;
    bool freeAfterUpdate_ = false;
};

}  // namespace vemra
