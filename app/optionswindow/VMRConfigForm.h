#pragma once
// TVMRConfig: the options window, one instance for the program's life, owned by the main
// window. Its controls are the live home of most user preferences: the settings loader
// writes into them, the saver reads them back, and the balloon, the clipboard watch, the
// conversion run and the message boxes read them directly. Four pages chosen by the page
// buttons on the left (rate sources, currencies, conversions, preferences).

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "Colors.h"

class QFrame;
class QLabel;
class QPainter;  // currency page drawing

namespace Ui {
class TVMRConfig;
}

namespace vemra {

class TVMRConfig : public QWidget {
    Q_OBJECT
    // Texts of this window that no control shows, set by the language file's section.
    // "%1": the start-up entry's path.
    Q_PROPERTY(QString StartupEntryFailedText MEMBER StartupEntryFailedText)
    // The definition file dialog: file type, the two titles, its labels and buttons, one per line.
    Q_PROPERTY(QString DefinitionFilesText MEMBER DefinitionFilesText)
    Q_PROPERTY(QString DefinitionDialogTexts MEMBER DefinitionDialogTexts)
public:
    explicit TVMRConfig(QWidget* parent = nullptr);
    ~TVMRConfig() override;

    // The controls by objectName (include "ui_VMRConfigForm.h" to reach them).
    std::unique_ptr<Ui::TVMRConfig> ui;

    // 1 while LoadSettings fills the controls (their change handlers then mark nothing).
    int SettingsLoading = 0;
    bool ConfigChanged = false;             // preferences page: settings group 2
    bool ConversionOptionsChanged = false;  // conversions page: settings group 4
    bool StartupChanged = false;

    // The colour a colour panel shows (0x00BBGGRR).
    static TColor PanelColor(const QFrame* panel);
    static void SetPanelColor(QFrame* panel, TColor color);

    // Shows the page of that index (0 rate sources, 1 currencies, 2 conversions,
    // 3 preferences) and puts its page button down.
    void ShowPage(int index);
    int PageIndex() const;

    // The rate-source lists of this window and of the main window take the plug-in
    // manager's sources, with its selection.
    void FillSubscriptions(bool select);

    // Makes (true) or removes (false) the start-up shortcut StartupIcon that starts the
    // program's own file with the session. An entry that cannot be written is reported in a
    // message box.
    static void SetLoadOnStartup(bool on);
    // The program file the start-up entry starts. Tests replace it.
    static std::function<std::string()> ProgramFile;

    QString StartupEntryFailedText = QStringLiteral("The start-up entry %1 could not be written.");
    QString DefinitionFilesText = QStringLiteral("Vemra currency definition files");
    QString DefinitionDialogTexts;

    // The six colour panels at the balloon's shipped colours.
    void SetDefaultHintColors();

    // ============ frame, conversions and preferences pages, rate sources page
    // (C2: VMRConfigGeneral.cpp, VMRConfigSources.cpp) ============
    // Connects the handlers below to the window's controls (called once by the constructor).
    void ConnectGeneralHandlers();
    void btPag0Click(QObject* sender);  // sender: a page button; its "Tag" is the page
    void SetConversionOptionsChanged();
    void pnHintColor1Click(QFrame* panel);
    void btHintDefaultsClick();
    void ofDetailLogClick();
    void btOpenLogClick();
    void btOpenCRLogClick();
    void chLoadOnInitClick();
    void chHotKeyOnChange();
    void pnHotKeyStateClick();
    void cbLangChange();
    void cbClipTechChange();
    void btDivEnableClick();  // Ctrl held: the main window's pair back to EUR -> USD
    void EDivInChange();
    void EDivOutChange();
    void btNewUpdateClick();
    // (Re)registers the hot key of the hot-key controls through the main window; a taken
    // combination shows message 109.
    void RegisterAppHotKey();
    // The window's computed texts and lists from the numbered messages (after a language load).
    void LoadConfigTexts();
    // The currency page's row of decimals, link and factor makes room for its captions.
    void FitCurrencyCaptions();
    // The weekday that panel position p (0 = leftmost) shows, Monday = 0: Sunday first for "ENG".
    static int PanelWeekday(int position);
    // Picks a colour starting from initial; false when the user cancels. Tests replace it.
    static std::function<bool(TColor initial, TColor& chosen)> ChooseColor;
    // Opens a file or address with the desktop. Tests replace it.
    static std::function<void(const std::string&)> OpenWithShell;

    void cbSubscriptionsChange(QObject* sender);  // nullptr: the start-up's fill
    void cbPropertiesChange();
    // Shows the current source (schedule, weekday panels, history bounds and button, the
    // property value) without changing the selection.
    void ShowSourceDetails();
    void btEditValClick();
    void btOpenValClick();
    void btHisUpdateClick();
    bool UpdateHistoryFile();
    void btCalendarClick();
    // The weekday panels pnDay1..pnDay7, Monday first (as laid out at creation).
    QLabel* DayPanels[7] = {};
    // Closing only hides the window; it saves what changed (settings groups 2 and 4).
    void FormClose();
    // ============ end of C2 ============

    // ---- currency page handlers that the frame calls (defined with the currency page,
    // VMRConfigCurrencies.cpp) ----
    void cbWhatShowChange(QObject* sender);  // refills the currency list; ConfigChanged
    void ChListClick(QObject* sender);       // shows the selected currency
    // ---- end of the currency page handlers the frame calls ----

    // ============ currency page (C3: VMRConfigCurrencies.cpp) ============
    // Connects the currency page's controls (called once by the constructor).
    void ConnectCurrencyHandlers();
    // Draws the text part of entry index of ChList into rect (the tick box is drawn apart).
    void ChListDrawItem(QPainter* painter, int index, const QRect& rect, bool selected);
    void ChListClickCheck(int index);  // the entry's tick changed: favourite on/off
    bool ChListKeyPress(const QString& key);  // true when the key was taken
    void ChListMouseMove();
    void btDivAddClick();
    void btDivEditClick();
    void btDivDelClick();
    void EDivCodeChange(QObject* sender);  // EDivCode or EDivIso
    void EDivCodeExit();
    void EDivSymbolChange();
    void EDivTriCodeChange();
    void btImportVmgClick();
    void btExportVmgClick();
    void SetCurrencyEditing(bool enable, bool clear);
    void SetCurrencyEditButtons(bool editing);
    // Position (in the converter's list) of the currency in the detail fields; -1: a new one.
    int EditedCurrency = -1;
    bool CurrencyEditing = false;
    // The favourite confirmation: a small information balloon over the list, made by
    // FavoriteBalloon at its first showing (nullptr before).
    QWidget* HintBalloon = nullptr;
    QWidget* FavoriteBalloon();
    // Picks a currency definition file to read (save false) or write; "" when cancelled.
    // Tests replace it.
    static std::function<std::string(bool save)> ChooseDefinitionFile;
    // ============ end of C3 ============
};

// ---- the rate source properties window as the options window reaches it (C2 calls,
// VMRPropertiesHost.cpp defines) ----
// Creates the properties window owned by owner, not yet shown; nullptr when there is none.
QWidget* CreatePropertiesWindow(QWidget* owner);
// The properties window shows the source of that index (its list set, its own change run).
void ShowSourceInPropertiesWindow(QWidget* properties, int index);
// The program's properties window while it exists.
QWidget* CurrentPropertiesWindow();
// ---- end of the properties window's side ----

}  // namespace vemra
