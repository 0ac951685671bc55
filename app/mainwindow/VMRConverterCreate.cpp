// The main window's creation and start-up, the single-instance marker, the close path and
// the two interfaces the window answers (the conversion pipeline's and the data module's).

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMovie>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QStackedWidget>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "ConversionRun.h"
#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "HTMLConverterPlugInn.h"
#include "html/HTMLParser.h"
#include "MessageNumbers.h"
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "PngImage.h"
#include "RateFile.h"
#include "RefusalTexts.h"
#include "ResourceFiles.h"
#include "SysCaller.h"
#include "SysStrings.h"
#include "SysWinCore.h"
#include "VMRCalcProgressForm.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRPropertiesForm.h"
#include "VMRSplashForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "platform/GlobalAtoms.h"
#include "platform/InstanceLock.h"
#include "platform/KeepAside.h"
#include "platform/Registry.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "ui_VMRConfigForm.h"
#include "ui_VMRConverterForm.h"
#include "vmrconsts.h"

namespace vemra {

std::int32_t InitResult = 0;
TVMRConverter* VMRConverter = nullptr;
TVMRConfig* VMRConfig = nullptr;
TCurrencyConverter* CurrencyConverter = nullptr;
TFormatSettings LocaleFormat;
std::string ShortDatePattern;
std::uint64_t OwnClipboardHandle = 0;
// A replace-by-rename write that a kill cut short leaves its temporary file behind; one that
// has not changed for ten minutes has no writer any more (writes take moments, and a
// download at work changes its file all the time).
int StaleTempSeconds = 600;

TStartupDialogs StartupDialogs{
    [](const std::string& text) { return dm != nullptr && dm->AskMessageText(text, false); },
    [](const std::string& text) {
        if (dm != nullptr) dm->ShowMessageText(text);
    }};

namespace {

inline constexpr auto kInstanceMarkerName = ScrambleLiteral("JustOneVemraApp");
inline constexpr auto kDefaultFavorites = ScrambleLiteral("USD,EUR,GBP,JPY,CHF");
// The shipped source whose package carries a day rate file.
inline constexpr const char* kShippedSourceCode = "ECB";

// True while this process holds the single-instance marker: a second instance that the
// user let run beside the first must not take the first one's marker away when it ends.
bool markerOwned = false;
// Taken before the plug-ins load (or at the check) and held to the release by the one converter.
platform::TInstanceLock instanceLock;
// Why the last single-instance check could not be made ("" when it could).
std::string instanceProblem;

TCalcProgressHost calcProgress;

// Removes such files from the folders the program writes that way: the user's data, the
// shared data with each rate source's folder, the plug-in manager's folder, and the
// settings hive's fixed temporary file.
void RemoveStaleTemporaryFiles() {
    std::vector<std::string> folders;
    if (!AppData.empty()) folders.insert(folders.end(), {AppData, JoinPath(AppData, "Updates")});
    if (const std::string local = GetSpecialFolder(2); !local.empty()) folders.push_back(JoinPath(local, "Vemra"));
    if (!PubData.empty()) {
        folders.push_back(PubData);
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(PubData, error))
            if (entry.is_directory(error) && !entry.is_symlink(error)) folders.push_back(entry.path().string());
    }
    for (const std::string& folder : folders) RemoveStaleTempFiles(folder, StaleTempSeconds);
    RemoveStaleTempFile(TRegistry::HivePathForWrite(HKEY_CURRENT_USER) + ".tmp", StaleTempSeconds);
}

// Shrinks every run of the letter to one letter; stops when no doubled letter is left (a
// format such as "d/m/d" would otherwise never shrink).
void ShrinkRuns(std::string& text, char letter) {
    const std::string doubled(2, letter);
    while (std::count(text.begin(), text.end(), letter) > 1) {
        const auto at = text.find(doubled);
        if (at == std::string::npos) break;
        text.erase(at, 1);
    }
}

// The newest day rate file (by its dated name) in one source's data folder.
std::string NewestRateFileIn(const std::string& folder) {
    std::string newest;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) || name.size() < 4 || name.substr(name.size() - 4) != ".vmr") continue;
        if (newest.empty() || name > std::filesystem::path(newest).filename().string()) newest = entry.path().string();
    }
    return newest;
}

// The messages of the start-up in English, for when the language file cannot give them
// (missing, damaged, unreadable): a start must never end without a word.
std::string BuiltInStartupText(int number) {
    switch (number) {
        case msg::AnotherInstance: return "Vemra is already running. Start another copy anyway?";
        case msg::StartupFailed9:
            return "Vemra could not start: the main window could not be created or the rates could not be loaded.";
        case msg::RatesNotLoaded: return "The rates could not be loaded.";
        case msg::NoCurrencies: return "No currencies could be loaded. Please check the currency configuration file.";
        case msg::StartupFailed2: return "Vemra could not start: the data files or the settings could not be read.";
        default: return {};
    }
}

std::string StartupMessage(int number) {
    const std::string text = dm != nullptr ? dm->GetMessageText(number) : std::string();
    return text.empty() ? BuiltInStartupText(number) : text;
}

// The list as after a start without any day rate file: names, no rates.
void ForgetRates(TCurrencyChangeList& list) {
    for (int i = 0; i < list.Count(); ++i) list.GetCurrency(i)->Rate = 0;
    list.RateFileName.clear();
    list.RateDate = 0;
    list.Factor = 0;
    list.Provider.clear();
    list.ProviderCode.clear();
    list.DateText.clear();
    list.BaseCode.clear();
    list.BaseIndex = NoCurrency;
}

}  // namespace

std::string BuildShortDatePattern(const std::string& shortDateFormat, char dateSeparator) {
    std::string pattern;
    for (char c : shortDateFormat) {
        // "/" in a format stands for the date separator; both go.
        if (c == dateSeparator || c == '/') continue;
        pattern += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    ShrinkRuns(pattern, 'd');
    ShrinkRuns(pattern, 'm');
    ShrinkRuns(pattern, 'y');
    return pattern;
}

bool CheckSingleInstance(std::string* problem) {
    const std::string name = UnscrambleLiteral(kInstanceMarkerName);
    // Without a private folder for the marker no other converter can be seen, and this one
    // would be invisible to the next start and to the installer.
    if (std::string why = platform::AtomFolderProblem(); !why.empty()) {
        if (problem != nullptr) *problem = std::move(why);
        return false;
    }
    // The lock decides: looking for the marker and then adding it are two steps, and of
    // converters started at once several would find none.
    std::string why;
    switch (instanceLock.Take(name, &why)) {
        case platform::TInstanceLock::TResult::HeldByAnother: return true;
        case platform::TInstanceLock::TResult::Failed:
            if (problem != nullptr) *problem = std::move(why);
            return false;
        case platform::TInstanceLock::TResult::Taken: break;
    }
    // A marker without the lock: a converter that keeps only the marker.
    if (platform::GlobalFindAtom(name) != 0) {
        instanceLock.Release();
        return true;
    }
    markerOwned = platform::GlobalAddAtom(name) != 0;
    if (!markerOwned) {
        instanceLock.Release();
        if (problem != nullptr)
            *problem =
                "The marker of the running program could not be written in " + platform::RuntimeFolder() + "/atoms.";
    }
    return false;
}

// Takes the single-instance lock ahead of the check, when no converter holds it: a start beside
// a running converter must know it before it writes what that converter holds (the waiting
// packages, the plug-in store), though it asks only at the check.
static bool AnotherConverterHoldsTheLock() {
    if (!platform::AtomFolderProblem().empty()) return false;  // the check tells it
    return instanceLock.Take(UnscrambleLiteral(kInstanceMarkerName)) == platform::TInstanceLock::TResult::HeldByAnother;
}

void ReleaseSingleInstance() {
    if (markerOwned) {
        const std::uint16_t atom = platform::GlobalFindAtom(UnscrambleLiteral(kInstanceMarkerName));
        if (atom != 0) platform::GlobalDeleteAtom(atom);
        markerOwned = false;
    }
    // After the marker: a start that takes the lock must find no marker left.
    instanceLock.Release();
    if (VMRConverter != nullptr) VMRConverter->UnregisterAppHotKey();
}

std::string StartupRateFile() {
    if (PlugginMan == nullptr) return {};
    if (THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin()) {
        const std::string last = PlugginMan->LastRateFile(*source);
        if (!last.empty() && FileExists(last)) return last;
    }
    // A fresh installation: the selected source has fetched nothing yet. The shipped
    // source's day rate file first, then any other source's newest one.
    std::vector<std::string> folders;
    const int shipped = PlugginMan->IndexOfPlugin(kShippedSourceCode);
    if (shipped >= 0) folders.push_back(JoinPath(PubData, kShippedSourceCode));
    for (int i = 0; i < PlugginMan->Plugins().Count(); ++i) {
        if (const THTMLConverterPlugInn* source = PlugginMan->GetPlugin(i); source != nullptr && i != shipped)
            folders.push_back(JoinPath(PubData, source->Code));
    }
    for (const std::string& folder : folders) {
        const std::string newest = NewestRateFileIn(folder);
        if (!newest.empty()) return newest;
    }
    return {};
}

void TVMRConverter::LoadStartupRates(const std::string& rateFile) {
    if (rateFile.empty()) return;
    TCurrencyChangeList& list = CurrencyConverter->Currencies();
    std::string fault;
    try {
        if (LoadRateFile(list, rateFile)) return;
        fault = "not a day rate file";
    } catch (const std::exception& e) {
        fault = e.what();
    }
    // A damaged day rate file must not stop the start, or no update could ever mend it: it
    // is put aside, so that the update finds the day missing and fetches it again, and the
    // start goes on at the newest older file of the folder, or without rates.
    // Each damaged copy keeps a name of its own: an earlier one is never replaced.
    const std::string aside = KeepAside(rateFile);
    std::string older;
    for (std::string candidate = NewestRateFileIn(ExtractFileDir(rateFile)); !candidate.empty();
         candidate = NewestRateFileIn(ExtractFileDir(rateFile))) {
        try {
            if (LoadRateFile(list, candidate)) {
                older = candidate;
                break;
            }
        } catch (const std::exception&) {
            // damaged as well: set aside below
        }
        if (KeepAside(candidate).empty()) break;
    }
    if (older.empty()) ForgetRates(list);
    if (dm != nullptr) {
        try {
            dm->WriteLogLine("UPD", "LOAD_DATA: " + rateFile + " DAMAGED (" + fault + ")" +
                                        (aside.empty() ? ", NOT SET ASIDE" : ", SET ASIDE AS " + aside));
        } catch (const std::exception&) {
            // the log is a record only: the start goes on
        }
    }
    const std::string text = Format(
        "The day rate file %s is damaged (%s) and %s. Vemra starts %s; the next update fetches the rates again.",
        rateFile, fault, aside.empty() ? std::string("could not be set aside") : "was set aside as " + ExtractFileName(aside),
        older.empty() ? std::string("without rates") : "at the rates of " + ExtractFileName(older));
    if (StartupDialogs.Show) StartupDialogs.Show(text);
}

// ---------------------------------------------------------------------------------------

TVMRConverter::TVMRConverter(QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint), ui_(std::make_unique<Ui::TVMRConverter>()) {
    VMRConverter = this;
    ui_->setupUi(this);
    Mask = ui_->Mask;
    nbPages = ui_->nbPages;
    pgConverter = ui_->pgConverter;
    pgFormat = ui_->pgFormat;
    CBINN = ui_->CBINN;
    CBOUT = ui_->CBOUT;
    MEINNMemo = ui_->MEINN;
    MEOUTMemo = ui_->MEOUT;
    MeClipMemo = ui_->MeClip;
    pnIndicator = ui_->pnIndicator;
    btInfo = ui_->btInfo;
    btFavorites = ui_->btFavorites;
    btIntCh = ui_->btIntCh;
    btCR = ui_->btCR;
    lbNumDiv = ui_->lbNumDiv;
    lbNumLines = ui_->lbNumLines;
    RGFormat = ui_->RGFormat;
    cbFormat = ui_->cbFormat;
    EdFormatLeft = ui_->EdFormatLeft;
    EdFormatRight = ui_->EdFormatRight;
    cbDesambi = ui_->cbDesambi;
    cbDateDesambi = ui_->cbDateDesambi;
    btGoDefault = ui_->btGoDefault;
    btGoNoText = ui_->btGoNoText;
    btConfig = ui_->btConfig;
    btConvert = ui_->btConvert;
    btPaste = ui_->btPaste;
    btClear = ui_->btClear;
    btClose = ui_->btClose;
    btX = ui_->btX;
    btGoCnv = ui_->btGoCnv;
    cbSubs = ui_->cbSubs;
    lbMessage = ui_->lbMessage;
    RGFormatGroup = new QButtonGroup(this);
    RGFormatGroup->setObjectName(QStringLiteral("RGFormatGroup"));
    RGFormatGroup->addButton(ui_->RGFormat0, 0);
    RGFormatGroup->addButton(ui_->RGFormat1, 1);
    RGFormatGroup->addButton(ui_->RGFormat2, 2);
    MeClipMemo->hide();
    lbNumLines->hide();
    cbSubs->hide();

    NIMMenu = new QMenu(this);
    NIMMenu->setObjectName(QStringLiteral("NIMMenu"));
    auto item = [this](const char* name, const char* caption) {
        QAction* action = NIMMenu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto separator = [this](const char* name) {
        QAction* action = NIMMenu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    mniOpen = item("mniOpen", "Abrir");
    mniPro = item("mniPro", "Propiedades..");
    mniConfig = item("mniConfig", "Opciones..");
    N1 = separator("N1");
    mniState = item("mniState", "Activado");
    mniState->setCheckable(true);
    N2 = separator("N2");
    mniAbout = item("mniAbout", "Acerca de..");
    mniShowTour = item("mniShowTour", "Tour");
    mniShowTour->setVisible(false);
    mniVemraweb = item("mniVemraweb", "vemra.com");
    mniEnd = item("mniEnd", "Salir");

    // The window starts hidden in the tray (its balloon, made by FormCreate, is not held back).
    PolishWhenShown(this);
    FormCreate();
}

// The event filters of the commands and the controls, defined beside them.
QObject* EventsObject(TMainWindowEvents* events);
QObject* EventsObject(TControlEvents* events);

TVMRConverter::~TVMRConverter() {
    FormDestroy();
    if (VMRConverter == this) VMRConverter = nullptr;
    // The children still send events while QWidget's destructor frees them, when this is no
    // longer a TVMRConverter: the filters that read its members must be gone by then.
    if (controlEvents_ != nullptr) qApp->removeEventFilter(EventsObject(controlEvents_));
    if (events_ != nullptr) {
        removeEventFilter(EventsObject(events_));
        if (Mask != nullptr) Mask->removeEventFilter(EventsObject(events_));
    }
}

std::string TVMRConverter::InitResultMessage(std::int32_t code, const std::string& detail) {
    std::string text;
    switch (code) {
        case 1: text = "Error: languaje file not found"; break;
        case 2: text = StartupMessage(msg::StartupFailed2); break;
        case 4: text = StartupMessage(msg::NoCurrencies); break;
        case 5: text = StartupMessage(msg::RatesNotLoaded); break;
        case 6: text = "Error: No installation found"; break;
        case 7: text = "Error: Vemra cannot tell whether it is already running. " + instanceProblem; break;
        case 9: text = StartupMessage(msg::StartupFailed9); break;
        default: return {};
    }
    return detail.empty() ? text : text + "\r\n\r\n" + detail;
}

void TVMRConverter::FormCreate() {
    // The user's conventions as this run found them; the table recognition compares its
    // date order with the pattern.
    LocaleFormat = FormatSettings;
    ShortDatePattern = BuildShortDatePattern(LocaleFormat.ShortDateFormat, LocaleFormat.DateSeparator);
    setWindowTitle(QStringLiteral("Vmr-Vemra"));
    nbPages->setCurrentIndex(0);
    InitResult = 0;
    try {
        HtmlParser = new THTMLParser();
        HtmlTables = new TTagNodeList();
        HtmlCells = new TTagNodeList();
        CurrencyConverter = new TCurrencyConverter();
        PlugginMan = new TPlugginMan();
        if (dm != nullptr) {
            CurrencyConverter->SetHost(dm);
            PlugginMan->SetHost(dm);
        }
        CurrencyConverter->SetRateSources(&PlugginMan->RateSourceHost());
        run_ = std::make_unique<TConversionRun>(*CurrencyConverter, *this);
        CreateColorHint();
        Results = new TStringList();
        VMRConfig = new TVMRConfig(this);
        VMRConfig->setWindowFlag(Qt::Dialog);
        if (dm != nullptr) dm->SetAppWindows(this);
        ConnectControls();
        ShapeWindow();
        initFault_.clear();
        InitResult = InitApplication();
        if (InitResult == 0) {
            ConnectCommands();
            AddTrayIcon();
            if (CurrencyConverter->SwitchedOn())
                SetConverterOn(true);
            else
                ShowConverterState(false);
            hide();
            if (dm != nullptr) dm->StartUpdater();
        }
    } catch (const std::exception& e) {
        InitResult = 9;
        initFault_ = e.what();
    } catch (...) {
        InitResult = 9;
    }
    if (InitResult > 0) {
        const std::string text = InitResultMessage(InitResult, initFault_);
        if (!text.empty() && StartupDialogs.Show) StartupDialogs.Show(text);
        ReleaseSingleInstance();
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

std::int32_t TVMRConverter::InitApplication() {
    // The record of the installation this program was started from, and not one that names
    // folders that are gone (a removed home, an installation taken away by hand).
    if (std::string problem = SelectInstallRecord(RunningProgramFolder()); !problem.empty()) {
        AppFolder.clear();
        initFault_ = std::move(problem);
        return 6;
    }
    const bool firstStart = ReadInstallSettings();
    if (AppFolder.empty()) return 6;
    RemoveStaleTemporaryFiles();
    TakeRefusedResourceLibrary();  // this start tells only what it met itself

    std::string isoFrom;
    std::string isoTo;
    bool dataFault = false;
    try {
        const std::string skin = SkinFileName();
        const std::string reference = ResourceLibraryFileName();
        const QFileInfo skinInfo(QString::fromStdString(skin));
        const QFileInfo referenceInfo(QString::fromStdString(reference));
        if (!skinInfo.exists() ||
            (referenceInfo.exists() && skinInfo.lastModified() < referenceInfo.lastModified())) {
            if (dm != nullptr) dm->ExtractResourceFiles();
        }
        if (FileExists(skin)) {
            // Qt guesses an unnamed format by asking every image plug-in of the system (each
            // loaded for it), so the skin's own signature names it: a PNG is one picture, a
            // GIF may move; anything else is still left to Qt's guess.
            const QString skinPath = QString::fromStdString(skin);
            QByteArray bytes;
            if (QFile file(skinPath); file.open(QIODevice::ReadOnly)) bytes = file.readAll();
            if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
                // The window starts hidden and may never show: the file is read now, as the
                // start finds it, and its pixels are decoded when the window is first painted.
                ui::SetPixmapOnFirstPaint(Mask, [bytes] { return ui::LoadPngData(bytes); });
            } else {
                const QByteArray format = bytes.startsWith("GIF8") ? QByteArray("gif") : QByteArray();
                auto* movie = new QMovie(skinPath, format, Mask);
                if (movie->isValid() && movie->frameCount() > 1) {
                    Mask->setMovie(movie);
                    movie->start();
                } else {
                    delete movie;
                    Mask->setPixmap(QPixmap(skinPath));
                }
            }
        }
        LoadSettings(isoFrom, isoTo);
        // A first start of a further installation keeps the favourites the user has.
        if (firstStart && !favoritesStored_) CurrencyConverter->SetFavorites(UnscrambleLiteral(kDefaultFavorites));
    } catch (const std::exception& e) {
        dataFault = true;
        initFault_ = e.what();
    } catch (...) {
        dataFault = true;
    }

    if (dm != nullptr) LanguageFileName = dm->SelectLanguage();
    // A missing resource library (with no language file taken from it before) also ends
    // here, with code 1: its fixed text needs no language file, where code 9's message would
    // come from the language that never loaded and the program would end without a word.
    // A refused resource library is told once: with code 1 before any language could be read,
    // so in English; otherwise in the language, once it is loaded.
    if (VMRConfig->ui->cbLang->count() == 0) {
        if (const std::string refused = TakeRefusedResourceLibrary(); !refused.empty())
            initFault_ = LibraryRefusedText(nullptr, refused);
        return 1;
    }
    if (dm != nullptr) {
        dm->LoadLanguageFile(LanguageFileName);
        if (!dm->LanguageFault.empty() && StartupDialogs.Show) StartupDialogs.Show(dm->LanguageFault);
    }
    if (const std::string refused = TakeRefusedResourceLibrary(); !refused.empty() && StartupDialogs.Show)
        StartupDialogs.Show(LibraryRefusedText(dm, refused));
    PlugginMan->InstallsPackages = !AnotherConverterHoldsTheLock();
    PlugginMan->LoadPlugins();
    for (const std::string* note : {&PlugginMan->UserLastFault, &PlugginMan->StoreRecoveryNote})
        if (!note->empty() && StartupDialogs.Show) StartupDialogs.Show(*note);
    VMRConfig->FillSubscriptions(false);
    if (dataFault) return 2;

    instanceProblem.clear();
    if (CheckSingleInstance(&instanceProblem)) {
        const std::string question = StartupMessage(msg::AnotherInstance);
        if (!StartupDialogs.Ask || !StartupDialogs.Ask(question)) return 3;
    } else if (!instanceProblem.empty()) {
        return 7;
    }

    // The message names the file at fault: the configuration when it does not load, else the
    // currency names of the language (a configuration without any named currency).
    if (!LoadCurrencyNames(CurrencyConverter->Currencies(), configFileName_)) {
        initFault_ = configFileName_;
        return 4;
    }
    if (CurrencyConverter->Currencies().Count() == 0) {
        initFault_ =
            Format("No currency of %s has a name in %s.", configFileName_, CurrencyNameFileName(vemra::LanguageName));
        return 4;
    }

    try {
        // No day rate file anywhere (no source has fetched or shipped one): the program
        // still starts, without rates, and the update fetches them.
        LoadStartupRates(StartupRateFile());
        FillCurrencyCombos(isoFrom, isoTo);
        OutputTarget = &meoutLines_;
        // Makes the user's settings key (the saves only open it), then fills it.
        if (firstStart)
            SaveFirstStartSettings();
        else
            RecordStartedInstallation();  // a fault costs at most a first start again later
        if (VMRConfig->ui->btHotKeyOn->Checked()) RegisterAppHotKey();
    } catch (const std::exception& e) {
        initFault_ = e.what();
        return 9;
    } catch (...) {
        return 9;
    }
    return 0;
}

void TVMRConverter::ShapeWindow() {
    setFixedSize(Mask->width(), Mask->height());
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 7, 7);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void TVMRConverter::RunConversion(bool asTable) {
    if (!asTable) {
        // The typed text is what MEINN would show: the last run's input when it is not
        // filled yet.
        FillStaleMemos();
        const std::string typed = MEINNMemo->toPlainText().toStdString();
        inputEndsWithLineBreak_ = !typed.empty() && typed.back() == '\n';
        meinnLines_.SetText(typed);
    }
    run_->DoConvert(asTable);
    CellCount = run_->CellCount;
    UnconvertedCount = run_->UnconvertedCount;
    ShowMemos();
}

void TVMRConverter::ConvertCellsAgain() {
    run_->ConvertCells();
    CellCount = run_->CellCount;
    UnconvertedCount = run_->UnconvertedCount;
    ShowMemos();
}

void TVMRConverter::ShowMemos() {
    meinnStale_ = true;
    meoutStale_ = true;
    if (isVisible()) FillStaleMemos();
}

void TVMRConverter::FillStaleMemos() {
    if (meinnStale_) {
        const QSignalBlocker blockIn(MEINNMemo);
        MEINNMemo->setPlainText(QString::fromStdString(meinnLines_.Text()));
        meinnStale_ = false;
    }
    if (meoutStale_) {
        MEOUTMemo->setPlainText(QString::fromStdString(meoutLines_.Text()));
        meoutStale_ = false;
    }
}

void TVMRConverter::showEvent(QShowEvent* event) {
    FillStaleMemos();
    QWidget::showEvent(event);
}

void TVMRConverter::SetRGFormatIndex(int index) {
    QAbstractButton* button = RGFormatGroup->button(index);
    if (button == nullptr) {
        RGFormatGroup->setExclusive(false);
        for (QAbstractButton* each : RGFormatGroup->buttons()) each->setChecked(false);
        RGFormatGroup->setExclusive(true);
        return;
    }
    button->click();
}

// ---- close path ----

bool TVMRConverter::FormCloseQuery() {
    WindowMode = 0;
    hide();
    return TrayRecordSize == 0;
}

void TVMRConverter::FormClose() {
    if (nbPages->property("Tag").toInt() > 0) {
        SaveSettings(1);
        nbPages->setProperty("Tag", 0);
    }
}

void TVMRConverter::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    // The window's own: a window that is gone ends no later loop.
    QMetaObject::invokeMethod(this, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
}

void TVMRConverter::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (CurrencyConverter != nullptr && CurrencyConverter->SwitchedOn()) SetClipboardWatch(false);
    if (InitResult == 0) {
        if (VMRConfig != nullptr) SaveSettings(255);
        ReleaseSingleInstance();
    }
    if (dm != nullptr && dm->AppWindows() == this) dm->SetAppWindows(nullptr);
    delete HtmlParser;
    HtmlParser = nullptr;
    delete HtmlTables;
    HtmlTables = nullptr;
    delete HtmlCells;
    HtmlCells = nullptr;
    delete VMRConfig;
    VMRConfig = nullptr;
    run_.reset();
    delete PlugginMan;
    PlugginMan = nullptr;
    delete CurrencyConverter;
    CurrencyConverter = nullptr;
    OutputTarget = nullptr;
    delete Results;
    Results = nullptr;
}

// ---- IPipelineHost ----

int TVMRConverter::RGFormatIndex() { return RGFormatGroup->checkedId(); }
int TVMRConverter::cbFormatIndex() { return cbFormat->currentIndex(); }
int TVMRConverter::cbDesambiIndex() { return cbDesambi->currentIndex(); }
int TVMRConverter::cbDateDesambiIndex() { return cbDateDesambi->currentIndex(); }
int TVMRConverter::cbBadDateMethodIndex() { return VMRConfig ? VMRConfig->ui->cbBadDateMethod->currentIndex() : 0; }
int TVMRConverter::cbCrossTabSelIndex() { return VMRConfig ? VMRConfig->ui->cbCrossTabSel->currentIndex() : 0; }
std::string TVMRConverter::EdFormatLeftText() { return EdFormatLeft->text().toStdString(); }
std::string TVMRConverter::EdFormatRightText() { return EdFormatRight->text().toStdString(); }
bool TVMRConverter::CalcProgressOpen() { return calcProgress.CalcProgressOpen(); }
void TVMRConverter::ShowCalcProgress(const std::string& text) { calcProgress.ShowCalcProgress(text); }
void TVMRConverter::SetCalcProgressRange(const std::string& pattern, int maximum) {
    calcProgress.SetCalcProgressRange(pattern, maximum);
}
void TVMRConverter::SetProgress(int position) { calcProgress.SetProgress(position); }
void TVMRConverter::RevealCalcProgress() { calcProgress.RevealCalcProgress(); }
void TVMRConverter::CloseCalcProgress() { calcProgress.CloseCalcProgress(); }
char TVMRConverter::LocaleDateSeparator() { return LocaleFormat.DateSeparator; }
std::string TVMRConverter::LocaleDatePattern() { return ShortDatePattern; }
int TVMRConverter::PluginSelectedIndex() { return PlugginMan ? PlugginMan->SelectedIndex : -1; }
void TVMRConverter::SetPluginSelectedIndex(int index) {
    if (PlugginMan) PlugginMan->SelectedIndex = index;
}
bool TVMRConverter::HasCurrentPlugin() { return PlugginMan && PlugginMan->CurrentPlugin() != nullptr; }
int TVMRConverter::IndexOfPlugin(const std::string& code) { return PlugginMan ? PlugginMan->IndexOfPlugin(code) : -1; }

// ---- IAppWindows ----

QWidget* TVMRConverter::OptionsWindow() { return VMRConfig; }
QWidget* TVMRConverter::VisiblePropertiesWindow() {
    return PropertiesWindow != nullptr && PropertiesWindow->isVisible() ? PropertiesWindow : nullptr;
}
QWidget* TVMRConverter::ExistingPropertiesWindow() { return PropertiesWindow; }
bool TVMRConverter::AudioOn() { return VMRConfig && VMRConfig->ui->btAudio->Checked(); }
QComboBox* TVMRConverter::LanguageList() { return VMRConfig ? VMRConfig->ui->cbLang : nullptr; }
void TVMRConverter::FillOptionsTexts() { if (VMRConfig) VMRConfig->LoadConfigTexts(); }
void TVMRConverter::ShowConverterState() {
    if (CurrencyConverter) ShowConverterState(CurrencyConverter->SwitchedOn());
}
void TVMRConverter::RunTour() { mniShowTourClick(nullptr); }
void TVMRConverter::SetTrayTip(const std::string& tip) {
    if (TrayIcon) TrayIcon->setToolTip(QString::fromStdString(tip));
}
bool TVMRConverter::DetailLogEnabled() { return VMRConfig && VMRConfig->ui->ofDetailLog->Checked(); }
std::string TVMRConverter::CurrencyConfigFileName() { return configFileName_; }
void TVMRConverter::RefillCurrencyLists() {
    if (CurrencyConverter != nullptr) FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
}
void TVMRConverter::RefreshPropertiesWindow() { RefreshOpenPropertiesWindow(); }
void TVMRConverter::RefreshRateSourcePage() {
    if (VMRConfig != nullptr) VMRConfig->cbPropertiesChange();
}

}  // namespace vemra
