#pragma once
// TVMRConverter (form "VMRConverter"): the converter's hidden main window. It owns the
// options window, the result balloon, the HTML parser with its two tag lists and the result
// lines; it creates the converter and the plug-in manager; it answers the conversion
// pipeline (IPipelineHost) and the data module (IAppWindows). One class in files by concern:
//   VMRConverterCreate.cpp    creation, start-up, single instance, close path, the interfaces
//   VMRConverterSettings.cpp  user settings
//   VMRConverterClipboard.cpp clipboard conversion, balloon layout, paste-back
//   VMRConverterCommands.cpp  commands, tray icon, hot key, power, end of session, drag
//   VMRConverterControls.cpp  the handlers of the window's controls and its shortcuts

#include <QRect>
#include <QIcon>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "AppWindows.h"
#include "PipelineHost.h"
#include "rtl/FormatSettings.h"
#include "rtl/StringList.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QSystemTrayIcon;

namespace Ui {
class TVMRConverter;
}

namespace vemra {

class TCurrencyConverter;
class TConversionRun;
class THTMLParser;
class TTagNodeList;
class TColorHint;
class TVMRConfig;
class TVMRConverter;

// ---- program-wide state of the converter program ----
extern std::int32_t InitResult;           // the start-up result code, 0 = started
extern TVMRConverter* VMRConverter;       // the main window
extern TVMRConfig* VMRConfig;             // the options window (owned by the main window)
extern TCurrencyConverter* CurrencyConverter;  // created and freed by the main window
extern TFormatSettings LocaleFormat;      // the user's format settings, read once at start
extern std::string ShortDatePattern;      // the day order of the user's short date, e.g. "dmy"
// The serial of the last text the program itself put on the clipboard (its private marker);
// 0 before any.
extern std::uint64_t OwnClipboardHandle;
// Temporary files of interrupted writes that have not changed for this long are removed at
// start.
extern int StaleTempSeconds;
// The rate source properties window's remembered position (settings "PProperties.*").
extern std::int32_t PropertiesLeft;
extern std::int32_t PropertiesTop;

// The day order of a short date format: the separator removed, lower-cased, runs of d, m
// and y shrunk to one letter ("dd/mm/yyyy" with '/' -> "dmy").
std::string BuildShortDatePattern(const std::string& shortDateFormat, char dateSeparator);

// The single-instance marker "JustOneVemraApp" over the per-user atom files, decided by a
// lock of the same name in the runtime folder that the marker's owner holds until it releases
// the marker. true: another converter runs (it holds the lock, or a marker); else this one
// holds the lock and is marked. When the marker can be neither looked for nor made (no
// private runtime folder), false with problem saying why.
bool CheckSingleInstance(std::string* problem = nullptr);
// Removes the marker and lets the lock go (when this process owns them), and the hot key.
void ReleaseSingleInstance();

// How the start-up asks and tells the user (message boxes of the data module; tests answer
// them instead).
struct TStartupDialogs {
    std::function<bool(const std::string&)> Ask;   // yes/no; true = yes
    std::function<void(const std::string&)> Show;
};
extern TStartupDialogs StartupDialogs;

// The day rate file a start-up loads: the selected source's last one, else (a fresh
// installation whose source has none yet) the newest shipped one of the other sources.
// "" when no source has any.
std::string StartupRateFile();

class TVMRConverter : public QWidget, public IPipelineHost, public IAppWindows {
    Q_OBJECT
public:
    // Runs the whole start-up (FormCreate); InitResult tells how it ended.
    explicit TVMRConverter(QWidget* parent = nullptr);
    ~TVMRConverter() override;  // FormDestroy

    // ---- creation and start-up (VMRConverterCreate.cpp) ----
    void FormCreate();
    std::int32_t InitApplication();
    void ShapeWindow();
    // Loads the day rate file the start begins at; a damaged one is put aside (and told),
    // and the start goes on at an older file of its folder or without rates.
    void LoadStartupRates(const std::string& rateFile);
    // The text shown for a start-up result code; "" for codes without a message. The
    // language file's message, or its English text when the file cannot give it; detail
    // (what failed, which file) follows on a line of its own.
    static std::string InitResultMessage(std::int32_t code, const std::string& detail = {});
    // Converts through the pipeline: asTable false takes the typed text of MEINN, true the
    // staged clipboard lines of MeClip. The memos' widgets show the lists afterwards.
    void RunConversion(bool asTable);
    // Converts the current cells again (after a pair, mode, form or date-order change).
    void ConvertCellsAgain();
    // The widgets MEINN and MEOUT show their lists again. A hidden window (a copy converted
    // for the balloon) fills them when it shows: filling a memo takes seconds for the lines
    // of a large copy, and nobody would see it.
    void ShowMemos();
    // Fills the memos a run left to fill while the window was hidden.
    void FillStaleMemos();
    TConversionRun& Run() { return *run_; }

    // ---- user settings (VMRConverterSettings.cpp) ----
    void LoadSettings(std::string& isoFrom, std::string& isoTo);
    // Never throws: a settings file that cannot be written is told to the user once per run,
    // and the file stays as it was.
    void SaveSettings(int mask);
    // The first start of an installation: marks it started and saves every group, in one write.
    void SaveFirstStartSettings();
    void ClearSettingsAndClose();  // deletes the user's settings key, then CloseApplication

    // ---- IPipelineHost ----
    TStringList& MEINN() override { return meinnLines_; }
    TStringList& MeClip() override { return meClipLines_; }
    TStringList& MEOUT() override { return meoutLines_; }
    TStringList& ResultLines() override { return *Results; }
    bool OutputMemoReady() override { return OutputTarget != nullptr; }
    void MEINNChange() override;  // controls (B3)
    int RGFormatIndex() override;
    int cbFormatIndex() override;
    int cbDesambiIndex() override;
    int cbDateDesambiIndex() override;
    int cbBadDateMethodIndex() override;
    int cbCrossTabSelIndex() override;
    std::string EdFormatLeftText() override;
    std::string EdFormatRightText() override;
    bool CalcProgressOpen() override;
    void ShowCalcProgress(const std::string& text) override;
    void SetCalcProgressRange(const std::string& pattern, int maximum) override;
    void SetProgress(int position) override;
    void RevealCalcProgress() override;
    void CloseCalcProgress() override;
    int CalcHintWidth(const std::string& text, int maxWidth) override;  // clipboard (B2)
    char LocaleDateSeparator() override;
    std::string LocaleDatePattern() override;
    int PluginSelectedIndex() override;
    void SetPluginSelectedIndex(int index) override;
    bool HasCurrentPlugin() override;
    int IndexOfPlugin(const std::string& code) override;

    // ---- IAppWindows ----
    QWidget* MainWindow() override { return this; }
    QWidget* OptionsWindow() override;
    QWidget* VisiblePropertiesWindow() override;
    QWidget* ExistingPropertiesWindow() override;
    bool AudioOn() override;
    QComboBox* LanguageList() override;
    void FillOptionsTexts() override;
    void ShowConverterState() override;  // ShowConverterState(the converter's on flag)
    void RunTour() override;
    void SetTrayTip(const std::string& tip) override;
    bool DetailLogEnabled() override;
    std::string CurrencyConfigFileName() override;
    TCurrencyConverter* RateConverter() override { return CurrencyConverter; }
    int MainWindowMode() override { return WindowMode; }
    void AttachHintHandler(bool attached) override { hintAttached_ = attached; }
    void SaveUserSettings(int mask) override { SaveSettings(mask); }
    void RefillCurrencyLists() override;
    void RefreshPropertiesWindow() override;
    void RefreshRateSourcePage() override;

    // Sets RGFormat's checked button (0..2); -1 clears it. Emits the group's click.
    void SetRGFormatIndex(int index);

    // ---- the window's components (objectName = the member's name) ----
    QLabel* Mask = nullptr;             // animated background; the window takes its size
    QStackedWidget* nbPages = nullptr;  // page 0 converter, page 1 format options; tag: property "Tag"
    QWidget* pgConverter = nullptr;
    QWidget* pgFormat = nullptr;
    QComboBox* CBINN = nullptr;
    QComboBox* CBOUT = nullptr;
    QPlainTextEdit* MEINNMemo = nullptr;   // objectName "MEINN" (MEINN() is its line list)
    QPlainTextEdit* MEOUTMemo = nullptr;   // objectName "MEOUT"
    QPlainTextEdit* MeClipMemo = nullptr;  // objectName "MeClip", hidden
    QFrame* pnIndicator = nullptr;
    QPushButton* btInfo = nullptr;
    QPushButton* btFavorites = nullptr;
    QPushButton* btIntCh = nullptr;
    QPushButton* btCR = nullptr;
    QLabel* lbNumDiv = nullptr;
    QLabel* lbNumLines = nullptr;
    QGroupBox* RGFormat = nullptr;      // three radio buttons RGFormat0..2 in RGFormatGroup
    QButtonGroup* RGFormatGroup = nullptr;
    QComboBox* cbFormat = nullptr;
    QLineEdit* EdFormatLeft = nullptr;
    QLineEdit* EdFormatRight = nullptr;
    QComboBox* cbDesambi = nullptr;
    QComboBox* cbDateDesambi = nullptr;
    QPushButton* btGoDefault = nullptr;
    QPushButton* btGoNoText = nullptr;
    QPushButton* btConfig = nullptr;
    QPushButton* btConvert = nullptr;
    QPushButton* btPaste = nullptr;
    QPushButton* btClear = nullptr;
    QPushButton* btClose = nullptr;
    QPushButton* btX = nullptr;
    QPushButton* btGoCnv = nullptr;
    QComboBox* cbSubs = nullptr;
    QLabel* lbMessage = nullptr;
    // The tray menu and its items (made by FormCreate; B3 connects them).
    QMenu* NIMMenu = nullptr;
    QAction* mniOpen = nullptr;
    QAction* mniPro = nullptr;
    QAction* mniConfig = nullptr;
    QAction* N1 = nullptr;
    QAction* mniState = nullptr;
    QAction* N2 = nullptr;
    QAction* mniAbout = nullptr;
    QAction* mniShowTour = nullptr;
    QAction* mniVemraweb = nullptr;
    QAction* mniEnd = nullptr;

    // ---- state ----
    THTMLParser* HtmlParser = nullptr;
    TTagNodeList* HtmlTables = nullptr;  // the tables of a copied HTML fragment
    TTagNodeList* HtmlCells = nullptr;   // the rows and cells of one table
    TColorHint* ColorHint = nullptr;     // owned by this window
    TStringList* Results = nullptr;      // the output rows, cells joined by TAB
    QIcon TrayIconPicture;
    QSystemTrayIcon* TrayIcon = nullptr;
    // 88 while the tray icon is present, 0 once CloseApplication removed it.
    std::uint32_t TrayRecordSize = 0;
    TStringList* OutputTarget = nullptr;  // MEOUT's lines once start-up succeeded
    std::uint8_t WindowMode = 0;          // 0 hidden, 1 balloon shown, 2 window shown
    bool IgnoreClipboard = false;
    int CellCount = 0;
    int UnconvertedCount = 0;
    QRect BalloonRect;
    int Tag = 0;  // 1 while the settings are written into the controls

    // ============ clipboard and balloon (B2: VMRConverterClipboard.cpp) ============
    void CreateColorHint();  // creates ColorHint (owner: this window)
    void SetClipboardWatch(bool on);
    void ClipboardChanged();
    // The clipboard's text of that kind ("text/plain" or "text/html" in the HTML Format
    // shape); "" when it is the program's own copy.
    std::string ReadClipboardText(const QString& format);
    int ConvertClipboard();
    void HtmlClipToText();
    void ShowResultHint(int x, int y);
    void HintTimerTick();
    void SyncFormWithConverter();
    void BtPasteClick(QObject* sender);
    void SendPasteKeys();
    // Copies beyond these sizes are not converted (a notice tells the user): the text handed
    // to the conversion, and the HTML data before it is parsed.
    static constexpr std::size_t MaxClipboardText = 2 * 1024 * 1024;
    static constexpr std::size_t MaxClipboardHtml = 16 * 1024 * 1024;
    // The private clipboard format that marks the program's own copies (its value: the serial).
    static constexpr const char* OwnClipboardFormat = "application/x-vemra-own-copy";
    // ============ end of clipboard and balloon ============

    // ============ commands and tray (B3: VMRConverterCommands.cpp) ============
    void ConnectCommands();  // connects the tray menu, the command channel, power, session
    void AddTrayIcon();
    void WMTrayIcon(int mouseMessage);        // 513 left button down, 516 right button down
    void WMVmrCommand(int command, std::uint32_t argument);
    void WMHotKey(int identifier);
    void WMPowerBroadcast(int event);         // 4 suspend, 7 resume
    bool WMQueryEndSession();
    void WMEndSession(bool ending);
    bool WMNCHitTest(int x, int y);           // true: the client point drags the window
    void RegisterAppHotKey();
    void UnregisterAppHotKey();
    void mniStateClick(QObject* sender);
    void SetConverterOn(bool on);
    void ShowConverterState(bool on);
    void WindowShow(QObject* sender);
    void BtCloseClick(QObject* sender);
    void CloseApplication(QObject* sender);
    void NIMMenuPopup();
    void mniProClick(QObject* sender);
    void btShowConfigClick(QObject* sender);
    void mniAboutClick(QObject* sender);
    void mniShowTourClick(QObject* sender);
    void mniVemrawebClick(QObject* sender);
    // The global atom "VMRHotkey" that identifies the registered hot key; 0 = none.
    int HotKeyAtom = 0;
    // The tray icon's picture: image 1 (on) or 0 (off).
    static QIcon TrayPicture(bool on);
    // The tray tip for that state: at most 63 bytes, the provider name shortened to fit.
    std::string TrayTipText(bool on);
    // Whether a client point lies in the margins that drag the window.
    static bool DragZone(int x, int y);
    // ============ end of commands and tray ============

    // ============ controls (B3: VMRConverterControls.cpp) ============
    void ConnectControls();  // connects the handlers below to the window's controls
    void FillCurrencyCombos(const std::string& from, const std::string& to);
    void SelectCurrencyInCombo(std::string from, std::string to);
    void ShowRateIndicator();
    void ComboMoneyChange(QObject* sender);
    void btFavoritesClick(QObject* sender);
    void btIntChClick(QObject* sender);
    void RGFormatClick(QObject* sender);
    void btGoDefaultClick(QObject* sender);
    void btGoNoTextClick(QObject* sender);
    void BtConfigClick(QObject* sender);
    void FormKeyUp(int key, Qt::KeyboardModifiers shift);
    void btClearClick(QObject* sender);
    void DisplayHint(const QString& hint);
    void FormActivate();
    void BtConvertClick(QObject* sender);
    void btCRClick(QObject* sender);
    void btGoCnvClick(QObject* sender);
    void MaskMouseMove();
    void lbMessageMouseMove();
    void cbSubsChange(QObject* sender);
    // Draws one entry of a currency combo (CBINN, CBOUT) into rect.
    void ComboMoneyDrawItem(QComboBox* control, int index, const QRect& rect, bool droppedDown, QPainter& painter);
    // The window's key preview: runs FormKeyUp for the keys it acts on; true when it did.
    bool HandleKeyUp(int key, Qt::KeyboardModifiers shift);
    // ============ end of controls ============

protected:
    void closeEvent(QCloseEvent* event) override;  // FormCloseQuery, then FormClose
    void showEvent(QShowEvent* event) override;    // fills stale memos

private:
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();

    std::unique_ptr<Ui::TVMRConverter> ui_;
    std::unique_ptr<TConversionRun> run_;
    TStringList meinnLines_;
    TStringList meClipLines_;
    TStringList meoutLines_;
    bool meinnStale_ = false;  // MEINN / MEOUT do not show meinnLines_ / meoutLines_ yet
    bool meoutStale_ = false;
    bool destroyed_ = false;
    std::string configFileName_;  // setting "VMRConfigFile"
    bool favoritesStored_ = false;  // the settings hold "Favorites" (from an earlier installation too)
    std::string initFault_;       // what made the start fail, for its message
    // The user heard once that the settings cannot be read or stored: later faults are only logged.
    bool settingsFaultShown_ = false;
    void ReportSettingsFault(const std::string& text, bool showBox);
    // The command table of WMVmrCommand, which catches what it raises.
    void RunVmrCommand(int command, std::uint32_t argument);

    // ---- clipboard and balloon (B2) private members ----
    int ClipboardMethod() const;  // the options window's clipboard-method list (0..2)
    void ShowTooLargeNotice(std::size_t limit);
    std::string plainClipText_;   // text/plain read at the last change
    std::string htmlClipText_;    // text/html in the HTML Format shape, read at the last change
    std::string clipResultText_;  // the text handed to the conversion
    bool clipAbandoned_ = false;  // the copied table had fewer cells than rows
    std::size_t clipTooLarge_ = 0;  // the bound the copy exceeds (it is not converted); 0 none
    bool clipWatching_ = false;
    bool inputEndsWithLineBreak_ = false;  // the converted text ended with a line break
    std::string hintLanguage_;    // the language file the balloon's texts were read from
    // ---- end of clipboard and balloon private members ----

    // ---- commands and tray (B3) private members ----
    class TMainWindowEvents* events_ = nullptr;  // sleep, end of session, drag, modal loop
    void ReadClipboardForCommand();  // command 10: the clipboard's text when none is pending
    // ---- end of commands and tray private members ----

    // ---- controls (B3) private members ----
    bool hintAttached_ = true;  // DisplayHint is the hint handler (off while a modal window runs)
    class TControlEvents* controlEvents_ = nullptr;  // key preview, hints, the status panel
    void ShowLineCount(int lines);  // lbNumLines for the input's line count
    std::string ComboCurrencyCode(const QComboBox* combo) const;  // code of the selected entry
    // ---- end of controls private members ----
};

}  // namespace vemra
