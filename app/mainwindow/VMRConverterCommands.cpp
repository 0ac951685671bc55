// The main window driven from outside: the tray icon and its menu, the commands of the
// balloon and of other programs, the global hot key, sleep and resume, the end of the
// session, and dragging the borderless window by its margins.

#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDBusConnection>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "ColorHint.h"
#include "PngImage.h"
#include "CommandChannel.h"
#include "ConversionRun.h"
#include "CurrencyConverter.h"
#include "DetailLog.h"
#include "HotKey.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "OnOffSwitch.h"
#include "SysCaller.h"
#include "TableRecognition.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRSplashForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "platform/GlobalAtoms.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

// The pictures live in a static library: registered by hand, as nothing else pulls them in.
static void InitTrayResources() { Q_INIT_RESOURCE(TrayIcon); }

namespace vemra {

namespace {

constexpr int kLeftButtonDown = 513;   // the tray icon's mouse messages
constexpr int kRightButtonDown = 516;
constexpr int kSuspend = 4;            // the power events
constexpr int kResume = 7;
constexpr std::uint32_t kTrayRecordSize = 88;
constexpr std::size_t kMaxTipLength = 63;
constexpr const char* kHotKeyAtomName = "VMRHotkey";
constexpr const char* kCommandWindowClass = "TVMRConverter";

// The write end of the self-pipe that turns SIGTERM into an event of the GUI thread.
int termPipeWrite = -1;

void OnTerminateSignal(int) {
    if (termPipeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(termPipeWrite, &byte, 1);
    }
}

// Drops the last UTF-8 character of the text (never half of one).
void DropLastCharacter(std::string& text) {
    if (text.empty()) return;
    std::size_t at = text.size() - 1;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    text.erase(at);
}

// The text cut to at most that many bytes, at a character boundary.
std::string CutToBytes(std::string text, std::size_t bytes) {
    while (text.size() > bytes) DropLastCharacter(text);
    return text;
}

void ShowError(const std::exception& error) {
    if (dm != nullptr) dm->ShowMessageText(error.what());
}

}  // namespace

// What the main window needs as a Qt object of its own: the slot of the sleep signal, the
// end-of-session notifier, the drag filter and the end of a modal options window.
class TMainWindowEvents : public QObject {
    Q_OBJECT
public:
    explicit TMainWindowEvents(TVMRConverter* window) : QObject(window), window_(window) {}
    ~TMainWindowEvents() override {
        HotKeys().Pressed = nullptr;  // no press may reach a window that is gone
        if (termNotifier_ != nullptr) {
            std::signal(SIGTERM, SIG_DFL);
            termPipeWrite = -1;
            ::close(termFds_[0]);
            ::close(termFds_[1]);
        }
    }

    void WatchTerminateSignal() {
        if (termPipeWrite >= 0 || ::pipe2(termFds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
        termPipeWrite = termFds_[1];
        termNotifier_ = new QSocketNotifier(termFds_[0], QSocketNotifier::Read, this);
        connect(termNotifier_, &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (::read(termFds_[0], buffer, sizeof buffer) > 0) {
            }
            if (window_->WMQueryEndSession()) window_->WMEndSession(true);
        });
        struct sigaction action {};
        action.sa_handler = &OnTerminateSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
    }

    // Runs until the window hides or closes, as a modal window's own loop would.
    void RunModal(QWidget* window) {
        QEventLoop loop;
        modalLoop_ = &loop;
        window->installEventFilter(this);
        window->setWindowModality(Qt::ApplicationModal);
        window->show();
        window->raise();
        window->activateWindow();
        if (window->isVisible()) loop.exec();
        window->removeEventFilter(this);
        window->setWindowModality(Qt::NonModal);
        modalLoop_ = nullptr;
    }

public slots:
    void PrepareForSleep(bool sleeping) { window_->WMPowerBroadcast(sleeping ? kSuspend : kResume); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (modalLoop_ != nullptr && (event->type() == QEvent::Hide || event->type() == QEvent::Close) &&
            watched != window_ && watched != window_->Mask)
            modalLoop_->quit();
        if (watched != window_ && watched != window_->Mask) return false;
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (type) {
            case QEvent::MouseButtonPress: {
                const QPoint client = window_->mapFromGlobal(mouse->globalPosition().toPoint());
                // The press itself says the left button is down.
                if (mouse->button() != Qt::LeftButton || !TVMRConverter::DragZone(client.x(), client.y())) return false;
                QWindow* handle = window_->windowHandle();
                // Without a window manager that moves windows, the window follows the mouse itself.
                dragging_ = handle == nullptr || !handle->startSystemMove();
                dragOffset_ = mouse->globalPosition().toPoint() - window_->pos();
                return true;
            }
            case QEvent::MouseMove:
                if (!dragging_ || !(mouse->buttons() & Qt::LeftButton)) return false;
                window_->move(mouse->globalPosition().toPoint() - dragOffset_);
                return true;
            case QEvent::MouseButtonRelease:
                if (!dragging_) return false;
                dragging_ = false;
                return true;
            default:
                return false;
        }
    }

private:
    TVMRConverter* window_;
    int termFds_[2] = {-1, -1};
    QSocketNotifier* termNotifier_ = nullptr;
    QEventLoop* modalLoop_ = nullptr;
    bool dragging_ = false;  // following the mouse ourselves
    QPoint dragOffset_;
};

// Qt holds back every mouse press on the program's other windows while a modal window (the
// options window, a message box) is open, the tray icon's among them; the menu's items are the
// way to the program then (the options item is greyed out while its window is open). The
// presses on the icon are taken from the X events before Qt drops them.
class TModalTrayPresses : public QAbstractNativeEventFilter {
public:
    explicit TModalTrayPresses(TVMRConverter* window) : window_(window) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || QApplication::activeModalWidget() == nullptr) return false;
        std::uint32_t eventWindow = 0;
        std::uint32_t button = 0;
        std::uint32_t time = 0;
        if (!ButtonPress(static_cast<const std::uint8_t*>(message), eventWindow, button, time)) return false;
        if (!IsTrayIconWindow(eventWindow)) return false;
        // The input extension reports a press once for the pointer and once for its device.
        if (time == lastPressTime_) return true;
        lastPressTime_ = time;
        const int mouseMessage = button == 1 ? kLeftButtonDown : button == 3 ? kRightButtonDown : 0;
        if (mouseMessage != 0)
            QMetaObject::invokeMethod(window_, [window = window_, mouseMessage] { window->WMTrayIcon(mouseMessage); },
                                      Qt::QueuedConnection);
        return true;
    }

private:
    // A button press, of the core protocol or of the input extension (what Qt selects when the
    // server has it): its window and button.
    static bool ButtonPress(const std::uint8_t* event, std::uint32_t& window, std::uint32_t& button,
                            std::uint32_t& time) {
        const std::uint8_t kind = event[0] & 0x7F;
        if (kind == XCB_BUTTON_PRESS) {
            const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
            window = press->event;
            button = press->detail;
            time = press->time;
            return true;
        }
        // The input extension's device event: event type at 8, time at 12, detail (the button)
        // at 16, the event window at 24.
        constexpr std::uint16_t kXIButtonPress = 4;
        if (kind != XCB_GE_GENERIC) return false;
        std::uint16_t evtype = 0;
        std::memcpy(&evtype, event + 8, sizeof evtype);
        if (evtype != kXIButtonPress) return false;
        std::memcpy(&time, event + 12, sizeof time);
        std::memcpy(&button, event + 16, sizeof button);
        std::memcpy(&window, event + 24, sizeof window);
        return true;
    }
    // Whether the window is the icon's own in the tray host (Qt's embedded tray icon widget).
    static bool IsTrayIconWindow(std::uint32_t window) {
        for (const QWidget* top : QApplication::topLevelWidgets())
            if (top->inherits("QSystemTrayIconSys") && top->isVisible() &&
                static_cast<std::uint32_t>(top->winId()) == window)
                return true;
        return false;
    }
    TVMRConverter* window_;
    std::uint32_t lastPressTime_ = 0;
};

// What the main window watches on the application as a whole. The session's end reaches the
// program as the application's quit (the session manager's "die"; a desktop that asks the
// program to quit sends the same): the end of the program, as the tray's end item. Once the
// icon is gone a quit is the program's own. And the tray icon's presses under a modal window.
class TApplicationWatch : public QObject {
public:
    explicit TApplicationWatch(TVMRConverter* window) : QObject(window), window_(window) {}
    ~TApplicationWatch() override {
        qApp->removeEventFilter(this);
        qApp->removeNativeEventFilter(&trayPresses_);
    }
    TModalTrayPresses& TrayPresses() { return trayPresses_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::Quit && window_->TrayRecordSize != 0)
            window_->WMEndSession(true);
        return false;
    }

private:
    TVMRConverter* window_;
    TModalTrayPresses trayPresses_{window_};
};

void TVMRConverter::ConnectCommands() {
    if (events_ != nullptr) return;
    events_ = new TMainWindowEvents(this);

    connect(mniOpen, &QAction::triggered, this, [this] { WindowShow(mniOpen); });
    connect(mniPro, &QAction::triggered, this, [this] { mniProClick(mniPro); });
    connect(mniConfig, &QAction::triggered, this, [this] { btShowConfigClick(mniConfig); });
    connect(mniState, &QAction::triggered, this, [this] { mniStateClick(mniState); });
    connect(mniAbout, &QAction::triggered, this, [this] { mniAboutClick(mniAbout); });
    connect(mniShowTour, &QAction::triggered, this, [this] { mniShowTourClick(mniShowTour); });
    connect(mniVemraweb, &QAction::triggered, this, [this] { mniVemrawebClick(mniVemraweb); });
    connect(mniEnd, &QAction::triggered, this, [this] { CloseApplication(mniEnd); });
    connect(NIMMenu, &QMenu::aboutToShow, this, [this] { NIMMenuPopup(); });
    if (btGoCnv != nullptr) {
        btGoCnv->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(btGoCnv, &QWidget::customContextMenuRequested, this,
                [this](const QPoint& at) { NIMMenu->popup(btGoCnv->mapToGlobal(at)); });
    }

    // Commands of other programs, handled after the socket's own work as a posted message.
    auto* commandServer = new ui::TCommandServer(QString::fromLatin1(kCommandWindowClass), this);
    connect(commandServer, &ui::TCommandServer::Command, this,
            [this](quint32 command, qint64 argument) {
                WMVmrCommand(static_cast<int>(command), static_cast<std::uint32_t>(argument));
            },
            Qt::QueuedConnection);
    commandServer->Listen();

    HotKeys().Pressed = [this](int identifier) { WMHotKey(identifier); };

    // No system bus (a container, a test) only means no sleep notices.
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected())
        system.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                       events_, SLOT(PrepareForSleep(bool)));

    events_->WatchTerminateSignal();
    // The session manager's commit-data request is its query: a logout the user then cancels
    // must leave the converter running, so it is only answered. The session's end itself comes
    // as the application's quit (see TMainWindowEvents).
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { WMQueryEndSession(); },
            Qt::DirectConnection);
    auto* watch = new TApplicationWatch(this);
    qApp->installEventFilter(watch);
    qApp->installNativeEventFilter(&watch->TrayPresses());

    installEventFilter(events_);
    if (Mask != nullptr) Mask->installEventFilter(events_);
}

void TVMRConverter::AddTrayIcon() {
    if (TrayIcon == nullptr) {
        TrayIcon = new QSystemTrayIcon(this);
        connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) WMTrayIcon(kLeftButtonDown);
            if (reason == QSystemTrayIcon::Context) WMTrayIcon(kRightButtonDown);
        });
    }
    if (TrayIconPicture.isNull()) TrayIconPicture = TrayPicture(false);
    TrayIcon->setIcon(TrayIconPicture);
    TrayIcon->setToolTip(QString());
    TrayIcon->show();
    TrayRecordSize = kTrayRecordSize;
}

QIcon TVMRConverter::TrayPicture(bool on) {
    static const bool registered = (InitTrayResources(), true);
    (void)registered;
    return ui::LoadPngIcon(on ? QStringLiteral(":/vemra/tray/on.png") : QStringLiteral(":/vemra/tray/off.png"));
}

void TVMRConverter::WMTrayIcon(int mouseMessage) {
    if (mouseMessage == kLeftButtonDown) {
        WindowShow(nullptr);
    } else if (mouseMessage == kRightButtonDown) {
        NIMMenu->popup(QCursor::pos());
    }
}

void TVMRConverter::WindowShow(QObject*) {
    if (WindowMode == 1 && ColorHint != nullptr) ColorHint->Dismiss(false);
    WindowMode = 2;
    show();
    ForceForegroundWindow(this);
}

void TVMRConverter::BtCloseClick(QObject*) {
    WindowMode = 0;
    hide();
}

void TVMRConverter::WMVmrCommand(int command, std::uint32_t argument) {
    if (CurrencyConverter == nullptr) return;
    // A command comes from the event loop (a socket, the balloon), which cannot carry a fault
    // such as a day rate file that cannot be read: it is told here.
    try {
        RunVmrCommand(command, argument);
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TVMRConverter::RunVmrCommand(int command, std::uint32_t argument) {
    const int x = static_cast<int>(argument & 0xFFFF);
    const int y = static_cast<int>((argument >> 16) & 0xFFFF);
    TConverterTable& table = CurrencyConverter->Table;
    switch (command) {
        case 1:
            if (!CurrencyConverter->SwitchedOn()) return;
            if (argument == 1) KeyUp(VK_CONTROL);
            WindowShow(nullptr);
            return;
        case 2:
            WindowShow(nullptr);
            return;
        case 3: {
            const std::string source = CurrencyConverter->SourceCode();
            CurrencyConverter->SetFromCurrency(CurrencyConverter->TargetCode());
            CurrencyConverter->SetToCurrency(source);
            ConvertCellsAgain();
            ShowResultHint(x, y);
            return;
        }
        case 4:
            BtPasteClick(nullptr);
            CurrencyConverter->SetSwitchedOn(true);
            return;
        case 5:
            WindowShow(nullptr);
            if (VMRConfig != nullptr) VMRConfig->btCalendarClick();
            return;
        case 6:
            if (RGFormatIndex() >= 2) {
                SetRGFormatIndex(table.OutputOrder);
                cbFormat->setCurrentIndex(table.LabelStyle);
            } else {
                SetRGFormatIndex(2);
                cbFormat->setCurrentIndex(3);
            }
            ConvertCellsAgain();
            ShowResultHint(x, y);
            return;
        case 9:
            if (table.AtcMode == atcIn)
                table.AtcMode = atcOut;
            else if (table.AtcMode == atcOut)
                table.AtcMode = atcIn;
            ConvertCellsAgain();
            ShowResultHint(x, y);
            return;
        case 10:
            // The last copy's text is let go once converted; the clipboard still holds it.
            if (plainClipText_.empty() && htmlClipText_.empty()) ReadClipboardForCommand();
            ConvertClipboard();
            return;
        case 12:
            if (TFormatSettings* record = DateFormatRecord(table.DateOrder)) table.DateFormat = record;
            Run().MarkDateColumn();
            ConvertCellsAgain();
            ShowResultHint(x, y);
            return;
        case 14:
            try {
                DetailLogCommand(*CurrencyConverter, "/C");
            } catch (const std::exception& error) {
                ShowError(error);
            }
            if (VMRConfig != nullptr) VMRConfig->btOpenCRLogClick();
            return;
        case 99:
            CloseApplication(nullptr);
            return;
        case 101:
            ClearSettingsAndClose();
            return;
        case 303:
            // At once: no tray removal and no close query (quit() would ask the windows first).
            QCoreApplication::exit(0);
            return;
        default:
            return;
    }
}

void TVMRConverter::ReadClipboardForCommand() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (data == nullptr) return;
    if (data->hasText()) plainClipText_ = ReadClipboardText(QStringLiteral("text/plain"));
    if (plainClipText_.empty() && data->hasHtml()) htmlClipText_ = ReadClipboardText(QStringLiteral("text/html"));
}

void TVMRConverter::WMHotKey(int identifier) {
    if (HotKeyAtom > 0 && identifier == HotKeyAtom) mniStateClick(nullptr);
}

void TVMRConverter::RegisterAppHotKey() {
    if (VMRConfig == nullptr || VMRConfig->SettingsLoading != 0) return;
    UnregisterAppHotKey();
    if (!VMRConfig->ui->btHotKeyOn->Checked()) return;
    unsigned modifiers = 0;
    if (VMRConfig->ui->chHKCtrl->isChecked()) modifiers |= MOD_CONTROL;
    if (VMRConfig->ui->chHKAlt->isChecked()) modifiers |= MOD_ALT;
    HotKeyAtom = platform::GlobalAddAtom(kHotKeyAtomName);
    const int key = VK_F1 + std::max(0, VMRConfig->ui->cbHKF->currentIndex());
    // A taken key keeps its identifier: it is released at the end like a registered one.
    if (HotKeyAtom <= 0 || HotKeys().Register(HotKeyAtom, modifiers, key) != THotKeyResult::Registered) {
        if (dm != nullptr) dm->ShowMessageNumber(msg::HotKeyFailed);
    }
}

void TVMRConverter::UnregisterAppHotKey() {
    if (HotKeyAtom <= 0) return;
    HotKeys().Unregister(HotKeyAtom);
    platform::GlobalDeleteAtom(static_cast<std::uint16_t>(HotKeyAtom));
    HotKeyAtom = 0;
}

void TVMRConverter::WMPowerBroadcast(int event) {
    QTimer* updater = dm != nullptr ? dm->Updater : nullptr;
    if (updater == nullptr) return;
    if (event == kSuspend) {
        updater->stop();
    } else if (event == kResume) {
        updater->setInterval(15000);
        updater->start();
    }
}

bool TVMRConverter::WMQueryEndSession() { return true; }

void TVMRConverter::WMEndSession(bool ending) {
    if (ending) CloseApplication(nullptr);
}

bool TVMRConverter::DragZone(int x, int y) {
    if (x >= 20 && x <= 560 && y >= 20 && y <= 282) return false;
    if (y < 20 && x > 560) return false;  // the hide button's corner
    return true;
}

bool TVMRConverter::WMNCHitTest(int x, int y) { return IsLeftButtonDown() && DragZone(x, y); }

void TVMRConverter::mniStateClick(QObject*) {
    if (CurrencyConverter == nullptr) return;
    const bool on = !CurrencyConverter->SwitchedOn();
    CurrencyConverter->SetSwitchedOn(on);
    if (VMRConfig != nullptr) VMRConfig->ui->btInitiallyOn->SetChecked(on);
    // Run by the menu, the hot key and the options window: a clipboard that cannot be watched
    // is told here.
    try {
        SetConverterOn(on);
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TVMRConverter::SetConverterOn(bool on) {
    mniState->setIcon(TrayPicture(on));
    SetClipboardWatch(on);
    ShowConverterState(on);
}

std::string TVMRConverter::TrayTipText(bool on) {
    if (CurrencyConverter == nullptr || dm == nullptr) return {};
    const TCurrencyChangeList& rates = CurrencyConverter->Currencies();
    const int number = on ? msg::ConverterOn : msg::ConverterOff;
    const std::string format = dm->GetMessageText(number);
    const std::string day = rates.RateDate != 0 ? LanguageDayName(rates.RateDate) : std::string();
    std::string name = rates.Provider + " ";
    std::string tip;
    do {
        tip = FillMessage(dm, number, format, name, day, rates.DateText);
        DropLastCharacter(name);
    } while (tip.size() > kMaxTipLength && !name.empty());
    return CutToBytes(tip, kMaxTipLength);
}

void TVMRConverter::ShowConverterState(bool on) {
    const bool switchedOn = CurrencyConverter != nullptr && CurrencyConverter->SwitchedOn();
    mniState->setChecked(switchedOn);
    if (VMRConfig != nullptr) {
        QLabel* state = VMRConfig->ui->pnHotKeyState;
        SetStyleSheetWhenShown(state, QStringLiteral("background:%1;color:#ffffff;")
                                      .arg(TColorToQColor(on ? TColor(0x008000) : TColor(0x000080)).name()));
        if (dm != nullptr)
            state->setText(QString::fromStdString(dm->GetMessageText(on ? msg::StateMenu102 : msg::StateMenu103)));
    }
    TrayIconPicture = TrayPicture(on);
    const QString tip = QString::fromStdString(TrayTipText(on));
    if (TrayIcon != nullptr) {
        TrayIcon->setIcon(TrayIconPicture);
        TrayIcon->setToolTip(tip);
    }
}

void TVMRConverter::CloseApplication(QObject*) {
    if (TrayIcon != nullptr) TrayIcon->hide();
    TrayRecordSize = 0;
    close();
    if (isVisible()) return;
    // A close that a nested loop (the start's splash window) swallows would leave the
    // program running without its icon: ask again until the application's own loop ends.
    auto* retry = new QTimer(this);
    connect(retry, &QTimer::timeout, qApp, &QCoreApplication::quit);
    retry->start(100);
}

void TVMRConverter::NIMMenuPopup() {
    mniConfig->setEnabled(FindVisibleFormByClass(QStringLiteral("TVMRConfig")) == nullptr);
    mniAbout->setEnabled(FindVisibleFormByClass(QStringLiteral("TVMRSplash")) == nullptr);
    mniPro->setEnabled(FindVisibleFormByClass(QStringLiteral("TVMRProperties")) == nullptr);
    mniOpen->setEnabled(WindowMode != 2);
}

void TVMRConverter::mniProClick(QObject*) {
    hintAttached_ = false;
    if (VMRConfig != nullptr) VMRConfig->btCalendarClick();
    hintAttached_ = true;
}

void TVMRConverter::btShowConfigClick(QObject* sender) {
    if (sender == nullptr || VMRConfig == nullptr) return;
    events_->RunModal(VMRConfig);
}

void TVMRConverter::mniAboutClick(QObject*) { ShowSplash(true); }

void TVMRConverter::mniShowTourClick(QObject*) {
    try {
        ShellOpen(Tdm::WebsiteUrl("/atc.php"));
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TVMRConverter::mniVemrawebClick(QObject*) {
    try {
        ShellOpen(Tdm::WebsiteUrl(""));
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

QObject* EventsObject(TMainWindowEvents* events) { return events; }

}  // namespace vemra

#include "VMRConverterCommands.moc"
