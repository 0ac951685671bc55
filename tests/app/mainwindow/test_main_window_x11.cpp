// The converter on a real X server with a tray host: its icon in the tray, the windows the
// window manager keeps above their owner and the modal ones that come back when minimised,
// the hot key pressed by another program (xdotool) with and without Num Lock, a key another
// client holds, and the installed program itself answering the commands of the local socket
// and SIGTERM.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandChannel.h"
#include "ConverterTestSupport.h"
#include "ColorHint.h"
#include "CurrencyConverter.h"
#include "FormVMRViewer.h"
#include "InstallationLayout.h"
#include "MessageNumbers.h"
#include "MsgBase.h"
#include "OnOffSwitch.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRDownloadForm.h"
#include "dm.h"
#include "support/TestUtils.h"
#include "ui_VMRConfigForm.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace vemra::test {
namespace {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) return -1;
    return process.exitCode();
}

// Points HOME, the XDG folders and the registry at a temporary home, as a fresh user has.
class Home : public ConverterHome {
public:
    Home() : ConverterHome("", "vemra-x11main") {}
    std::string AtomsFolder() const { return home / "run/vemra/atoms"; }
    int AtomCount() const { return static_cast<int>(QDir(QString::fromStdString(AtomsFolder())).entryList(QDir::Files).size()); }
};

// A converter started in this process on a laid-out installation.
class MainWindowOnXTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.LayOut(VEMRA_SHIPPED_DIR)) << home.layoutError;
        ASSERT_EQ(home.Start(), 0);
        window = home.window.get();
    }
    void TearDown() override {
        window = nullptr;
        home.Stop();
    }
    void SetHotKey(bool ctrl, int functionIndex) {
        const Ui::TVMRConfig& c = *VMRConfig->ui;
        c.btHotKeyOn->SetChecked(true);
        c.chHKCtrl->setChecked(ctrl);
        c.chHKAlt->setChecked(false);
        c.cbHKF->setCurrentIndex(functionIndex);
        window->RegisterAppHotKey();
    }

    Home home;
    TVMRConverter* window = nullptr;
};

TEST_F(MainWindowOnXTest, TheIconSitsInTheTrayHost) {
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    ASSERT_NE(window->TrayIcon, nullptr);
    EXPECT_TRUE(window->TrayIcon->isVisible());
    // Embedded: the tray host gave the icon a place on the screen.
    EXPECT_TRUE(WaitUntil([this] { return window->TrayIcon->geometry().width() > 0; }))
        << "the icon never got a place in the tray";
    EXPECT_FALSE(window->TrayIcon->toolTip().isEmpty());
}

TEST_F(MainWindowOnXTest, TheHotKeyFromAnotherProgramTogglesTheConverterWhateverNumLock) {
    SetHotKey(true, 11);  // Ctrl+F12
    ASSERT_GT(window->HotKeyAtom, 0);
    const bool on = CurrencyConverter->SwitchedOn();
    ASSERT_EQ(RunTool("xdotool", {"key", "ctrl+F12"}), 0);
    EXPECT_TRUE(WaitUntil([on] { return CurrencyConverter->SwitchedOn() != on; }));
    EXPECT_EQ(window->mniState->isChecked(), !on);

    ASSERT_EQ(RunTool("xdotool", {"key", "Num_Lock"}), 0);
    ASSERT_EQ(RunTool("xdotool", {"key", "ctrl+F12"}), 0);
    EXPECT_TRUE(WaitUntil([on] { return CurrencyConverter->SwitchedOn() == on; })) << "not with Num Lock on";
    RunTool("xdotool", {"key", "Num_Lock"});

    // Without Ctrl it is another key.
    ASSERT_EQ(RunTool("xdotool", {"key", "F12"}), 0);
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(CurrencyConverter->SwitchedOn(), on);
}

TEST_F(MainWindowOnXTest, AKeyAnotherClientHoldsIsReportedAndTheOthersGrabStays) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const KeyCode f11 = XKeysymToKeycode(other, XK_F11);
    XGrabKey(other, f11, ControlMask, DefaultRootWindow(other), True, GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    std::vector<std::string> boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&boxes] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            for (QLabel* label : box->findChildren<QLabel*>())
                if (!label->text().isEmpty()) boxes.push_back(label->text().toStdString());
            box->close();
        }
    });
    closer.start(20);
    SetHotKey(true, 10);  // Ctrl+F11, taken
    closer.stop();
    EXPECT_EQ(boxes, std::vector<std::string>{dm->GetMessageText(msg::HotKeyFailed)});
    EXPECT_GT(window->HotKeyAtom, 0);

    // Our failed grab left nothing behind: the other client still gets its key.
    ASSERT_EQ(RunTool("xdotool", {"key", "ctrl+F11"}), 0);
    bool received = false;
    for (int i = 0; i < 100 && !received; ++i) {
        while (XPending(other) > 0) {
            XEvent event;
            XNextEvent(other, &event);
            if (event.type == KeyPress && event.xkey.keycode == f11) received = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(received);
    XCloseDisplay(other);
}

TEST_F(MainWindowOnXTest, APressInTheMarginDragsTheWindowAndOneInsideDoesNot) {
    window->WindowShow(nullptr);
    window->move(100, 100);
    ASSERT_TRUE(WaitUntil([this] { return window->isVisible() && window->pos() == QPoint(100, 100); }));
    auto drag = [](QPoint from, QPoint to) {
        RunTool("xdotool", {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
        WaitUntil([] { return false; }, 100);
        RunTool("xdotool", {"mousemove", QString::number(to.x()), QString::number(to.y())});
        WaitUntil([] { return false; }, 100);
        RunTool("xdotool", {"mouseup", "1"});
        WaitUntil([] { return false; }, 100);
    };
    drag({104, 250}, {154, 280});  // client (4, 150): the left margin beside the options picture
    EXPECT_TRUE(WaitUntil([this] { return window->pos() == QPoint(150, 130); })) << window->pos().x() << "," << window->pos().y();
    drag({150 + 300, 130 + 150}, {150 + 340, 130 + 190});  // inside the memo area
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(window->pos(), QPoint(150, 130));
}

// While the options window or a message box is modal, a right click on the tray icon still
// opens the tray menu (with the options item greyed out while the options window is open).
TEST_F(MainWindowOnXTest, TheTrayMenuOpensWhileAModalWindowIsOpen) {
    ASSERT_TRUE(WaitUntil([this] { return window->TrayIcon->geometry().width() > 0; }));
    // The icon's window inside the tray host, on the root window's coordinates.
    QWidget* iconWindow = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QSystemTrayIconSys") && top->isVisible()) iconWindow = top;
    ASSERT_NE(iconWindow, nullptr);
    // Read until the tray host has settled it (the same place twice, 100 ms apart).
    auto iconCentre = [iconWindow] {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) return QPoint(-1, -1);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, static_cast<Window>(iconWindow->winId()), DefaultRootWindow(display),
                              iconWindow->width() / 2, iconWindow->height() / 2, &x, &y, &child);
        XCloseDisplay(display);
        return QPoint(x, y);
    };
    QPoint icon = iconCentre();
    ASSERT_TRUE(WaitUntil([&] {
        WaitUntil([] { return false; }, 100);
        const QPoint again = iconCentre();
        const bool settled = again == icon && again.y() >= 0;
        icon = again;
        return settled;
    }));
    struct Seen {
        bool modal = false;
        bool menu = false;
        bool configEnabled = true;
    };
    // Right-clicks the icon inside the modal window's loop, notes the menu, then closes the menu
    // and the modal window.
    auto probe = [this, icon](Seen& seen, const std::function<void()>& closeModal) {
        QTimer::singleShot(0, [this, icon, &seen, closeModal] {
            seen.modal = WaitUntil([] { return QApplication::activeModalWidget() != nullptr; });
            RunTool("xdotool", {"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "3"});
            seen.menu = WaitUntil([this] { return window->NIMMenu->isVisible(); }, 3000);
            seen.configEnabled = window->mniConfig->isEnabled();
            window->NIMMenu->hide();
            closeModal();
        });
    };

    Seen options;
    probe(options, [] { VMRConfig->hide(); });
    window->btShowConfigClick(window->mniConfig);
    EXPECT_TRUE(options.modal);
    EXPECT_TRUE(options.menu) << "no menu while the options window is open";
    EXPECT_FALSE(options.configEnabled);

    Seen message;
    probe(message, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    dm->ShowMessageText("A modal message");
    EXPECT_TRUE(message.modal);
    EXPECT_TRUE(message.menu) << "no menu while a message box is open";
    EXPECT_TRUE(message.configEnabled);
}

// What the window manager does when its close button is pressed: WM_DELETE_WINDOW.
void AskToClose(WId window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, static_cast<Window>(window), False, NoEventMask, &event);
    XCloseDisplay(display);
}

// The name the window manager shows for a window (_NET_WM_NAME).
QString WindowName(WId window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return {};
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QString name;
    if (XGetWindowProperty(display, static_cast<Window>(window), XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                           False, XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success && data != nullptr)
        name = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    if (data != nullptr) XFree(data);
    XCloseDisplay(display);
    return name;
}

// The window that the window manager keeps the given one above (WM_TRANSIENT_FOR); 0 when none.
WId TransientFor(WId window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0;
    Window owner = 0;
    if (XGetTransientForHint(display, static_cast<Window>(window), &owner) == 0) owner = 0;
    XCloseDisplay(display);
    return static_cast<WId>(owner);
}

// The window functions that the window manager may offer for a window (_MOTIF_WM_HINTS); -1
// when the hints leave them all to the window manager.
long MotifFunctions(WId window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return -1;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long functions = -1;
    const Atom hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    if (XGetWindowProperty(display, static_cast<Window>(window), hints, 0, 5, False, hints, &type, &format, &count,
                           &after, &data) == Success && data != nullptr && format == 32 && count >= 2) {
        const long* fields = reinterpret_cast<const long*>(data);
        constexpr long kFunctionsGiven = 1, kAllFunctions = 1;
        if ((fields[0] & kFunctionsGiven) != 0 && (fields[1] & kAllFunctions) == 0) functions = fields[1];
    }
    if (data != nullptr) XFree(data);
    XCloseDisplay(display);
    return functions;
}
constexpr long kMinimize = 1L << 3, kMaximize = 1L << 4, kClose = 1L << 5;

// A click of the X server's pointer (xdotool), as the user gives it.
void ClickOn(QWidget* widget) {
    const QPoint centre = widget->mapToGlobal(widget->rect().center());
    RunTool("xdotool", {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
}

// Runs what the user does inside the options window's modal loop, then closes that window.
void FromTheOptionsWindow(TVMRConverter* window, const std::function<void()>& act) {
    QTimer::singleShot(0, [act] {
        if (WaitUntil([] { return QApplication::activeModalWidget() == VMRConfig; })) act();
        VMRConfig->hide();
    });
    window->btShowConfigClick(window->mniConfig);
}

// Clicks the first shown button of the modal box once it shows; true when that ended the box. A box
// that the click did not reach is closed from here, so that its modal loop ends.
bool AnswerTheBox() {
    QPointer<TFrmMsgBase> box;
    if (!WaitUntil([&] {
            box = qobject_cast<TFrmMsgBase*>(QApplication::activeModalWidget());
            return box != nullptr && box->isVisible();
        }))
        return false;
    WaitUntil([] { return false; }, 200);  // mapped on the screen
    ClickOn(box->btOk->isVisible() ? box->btOk : box->btKo);  // a plain message's one button is btKo
    const bool ended = WaitUntil([&] { return box.isNull() || !box->isVisible(); }, 3000);
    if (!ended && box != nullptr) box->CloseBox();
    return ended;
}

// Every window that the options window opens takes the user's input at once: the viewer and
// the properties window are owned by the options window for the window manager too (so it
// keeps them above that window) without being modal, the boxes the program waits for are
// modal over it.
TEST_F(MainWindowOnXTest, WindowsOpenedFromTheModalOptionsWindowTakeInputAtOnce) {
    bool owned = false, viewerClosed = false, viewerModal = true;
    WId viewerOwner = 0, options = 0;
    FromTheOptionsWindow(window, [&] {
        VMRConfig->ui->cbUpdProperties->setCurrentRow(0);  // "Last file", then "Open"
        VMRConfig->btOpenValClick();
        if (!WaitUntil([] { return VMRViewer != nullptr && VMRViewer->isVisible(); })) return;
        owned = VMRViewer->windowHandle()->transientParent() == VMRConfig->windowHandle();
        options = VMRConfig->winId();
        viewerModal = VMRViewer->isModal() || QApplication::activeModalWidget() != VMRConfig;
        WaitUntil([&] { return (viewerOwner = TransientFor(VMRViewer->winId())) != 0; }, 2000);
        WaitUntil([] { return false; }, 200);
        AskToClose(VMRViewer->winId());
        viewerClosed = WaitUntil([] { return VMRViewer == nullptr; }, 3000);
    });
    EXPECT_TRUE(owned) << "the viewer is not the options window's";
    EXPECT_EQ(viewerOwner, options) << "the window manager does not know the viewer's owner";
    EXPECT_FALSE(viewerModal);
    EXPECT_TRUE(viewerClosed) << "the viewer's close button does nothing";
    if (VMRViewer != nullptr) delete VMRViewer;

    bool propertiesClosed = false, propertiesModal = true;
    WId propertiesOwner = 0;
    FromTheOptionsWindow(window, [&] {
        VMRConfig->btCalendarClick();
        QPointer<QWidget> properties = CurrentPropertiesWindow();
        if (properties == nullptr || !WaitUntil([&] { return properties->isVisible(); })) return;
        propertiesModal = properties->isModal() || QApplication::activeModalWidget() != VMRConfig;
        WaitUntil([&] { return (propertiesOwner = TransientFor(properties->winId())) != 0; }, 2000);
        WaitUntil([] { return false; }, 200);
        AskToClose(properties->winId());
        propertiesClosed = WaitUntil([&] { return properties.isNull(); }, 3000);
    });
    EXPECT_EQ(propertiesOwner, options) << "the window manager does not know the properties window's owner";
    EXPECT_FALSE(propertiesModal);
    EXPECT_TRUE(propertiesClosed) << "the properties window does not close";

    bool boxAnswered = false;
    FromTheOptionsWindow(window, [&] {
        QTimer::singleShot(0, [&] { boxAnswered = AnswerTheBox(); });
        dm->ShowMessageText("From the options window");
    });
    EXPECT_TRUE(boxAnswered) << "the message box took no click";

    bool listClosed = false;
    FromTheOptionsWindow(window, [&] {
        // With no lines the download window waits for its Close button.
        QTimer::singleShot(0, [&] { listClosed = AnswerTheBox(); });
        RunDownloadList(TStringList(), false);
    });
    EXPECT_TRUE(listClosed) << "the download window took no click";
}

// Opened from the tray with no modal window, the viewer is an ordinary window of its own.
TEST_F(MainWindowOnXTest, AViewerOpenedWithNoModalWindowIsOwnedByNone) {
    VMRConfig->ui->cbUpdProperties->setCurrentRow(0);
    VMRConfig->btOpenValClick();
    ASSERT_TRUE(WaitUntil([] { return VMRViewer != nullptr && VMRViewer->isVisible(); }));
    EXPECT_EQ(VMRViewer->windowType(), Qt::Window);
    EXPECT_FALSE(VMRViewer->isModal());
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(TransientFor(VMRViewer->winId()), 0u);
    EXPECT_NE(MotifFunctions(VMRViewer->winId()) & kMinimize, 0) << "the viewer lost its minimise button";
    AskToClose(VMRViewer->winId());
    EXPECT_TRUE(WaitUntil([] { return VMRViewer == nullptr; }, 3000));
    if (VMRViewer != nullptr) delete VMRViewer;
}

// A modal window that the user could minimise would lock the program (nothing brings it back
// and it blocks the rest): the window manager is offered no minimise, nor maximise, for the
// options window, and one that minimises a modal window anyway (openbox offers it on every
// window) sees it come back at once: the options window, a message box and the About picture.
TEST_F(MainWindowOnXTest, AModalWindowMinimisedComesBackAtOnce) {
    long functions = 0;
    bool optionsBack = false, stillModal = false, boxBack = false;
    FromTheOptionsWindow(window, [&] {
        WaitUntil([] { return false; }, 200);
        functions = MotifFunctions(VMRConfig->winId());
        VMRConfig->setWindowState(Qt::WindowMinimized);
        optionsBack = WaitUntil([] { return !VMRConfig->isMinimized() && VMRConfig->isVisible(); }, 3000);
        stillModal = QApplication::activeModalWidget() == VMRConfig;
    });
    ASSERT_NE(functions, -1) << "the window manager may offer every function";
    EXPECT_EQ(functions & kMinimize, 0) << "minimise offered";
    EXPECT_EQ(functions & kMaximize, 0) << "maximise offered";
    EXPECT_NE(functions & kClose, 0) << "no close";
    EXPECT_TRUE(optionsBack) << "the minimised options window stays away";
    EXPECT_TRUE(stillModal);

    QTimer::singleShot(0, [&] {
        QPointer<QWidget> box;
        if (!WaitUntil([&] { return (box = QApplication::activeModalWidget()) != nullptr && box->isVisible(); })) return;
        box->setWindowState(Qt::WindowMinimized);
        boxBack = WaitUntil([&] { return box != nullptr && !box->isMinimized() && box->isVisible(); }, 3000);
        if (box != nullptr) box->close();
    });
    dm->ShowMessageText("A modal message");
    EXPECT_TRUE(boxBack) << "the minimised message box stays away";

    // The About picture closes on a click only.
    bool aboutBack = false;
    QTimer::singleShot(0, [&] {
        QPointer<QWidget> about;
        if (!WaitUntil([&] { return (about = QApplication::activeModalWidget()) != nullptr && about->isVisible(); }))
            return;
        about->setWindowState(Qt::WindowMinimized);
        aboutBack = WaitUntil([&] { return about != nullptr && !about->isMinimized() && about->isVisible(); }, 3000);
        if (about != nullptr) about->close();
    });
    window->mniAboutClick(window->mniAbout);
    EXPECT_TRUE(aboutBack) << "the minimised About picture stays away";
}

// Esc in an open currency list closes the list; only an Esc of the window itself hides it.
TEST_F(MainWindowOnXTest, EscInAnOpenListClosesTheListOnly) {
    window->WindowShow(nullptr);
    ASSERT_TRUE(WaitUntil([this] { return window->isVisible() && window->isActiveWindow(); }));
    WaitUntil([] { return false; }, 200);
    ClickOn(window->CBINN);
    ASSERT_TRUE(WaitUntil([this] { return window->CBINN->view()->isVisible(); })) << "the list did not open";
    WaitUntil([] { return false; }, 200);
    // Held as a hand holds it: the press closes the list, the release comes to the window.
    RunTool("xdotool", {"keydown", "Escape"});
    ASSERT_TRUE(WaitUntil([this] { return !window->CBINN->view()->isVisible(); }));
    WaitUntil([] { return false; }, 100);
    RunTool("xdotool", {"keyup", "Escape"});
    WaitUntil([] { return false; }, 300);
    EXPECT_TRUE(window->isVisible()) << "Esc in the list hid the window";
    EXPECT_EQ(window->WindowMode, 2);

    RunTool("xdotool", {"key", "Escape"});
    EXPECT_TRUE(WaitUntil([this] { return !window->isVisible(); }));
    EXPECT_EQ(window->WindowMode, 0);
}

// A language chosen in the options window renames the open windows at once, and no window
// carries an English name in Spanish: Qt appends no display name to the titles.
TEST_F(MainWindowOnXTest, WindowNamesFollowTheChosenLanguageAtOnce) {
    ASSERT_EQ(LanguageName, "ENG");
    window->WindowShow(nullptr);
    const WId balloon = window->ColorHint->winId();
    const WId options = VMRConfig->winId();
    ASSERT_TRUE(WaitUntil([this] { return window->isVisible(); }));
    EXPECT_TRUE(WaitUntil([&] { return WindowName(window->winId()) == "Vmr-Vemra"; }))
        << WindowName(window->winId()).toStdString();
    EXPECT_TRUE(WaitUntil([&] { return WindowName(options) == "Options"; })) << WindowName(options).toStdString();

    const Ui::TVMRConfig& c = *VMRConfig->ui;
    const int spanish = c.cbLang->findText("ESP", Qt::MatchContains);
    ASSERT_GE(spanish, 0);
    c.cbLang->setCurrentIndex(spanish);
    VMRConfig->cbLangChange();
    ASSERT_EQ(LanguageName, "ESP");
    EXPECT_TRUE(WaitUntil([&] { return WindowName(options) == "Opciones"; })) << WindowName(options).toStdString();
    EXPECT_EQ(WindowName(window->winId()), "Vmr-Vemra");
    EXPECT_EQ(WindowName(balloon), QCoreApplication::applicationName());  // "vemra": in no language
    for (QWindow* each : QGuiApplication::topLevelWindows()) {
        if (each->handle() == nullptr) continue;
        EXPECT_FALSE(WindowName(each->winId()).contains("converter")) << WindowName(each->winId()).toStdString();
    }
}

// ---- the installed program ----

class InstalledConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(LayOutWithTool(QStringLiteral(VEMRA_LAY_OUT), QStringLiteral(VEMRA_SHIPPED_DIR),
                                               QStringLiteral(VEMRA_PROGRAM), program));
        vemra.setProcessChannelMode(QProcess::ForwardedChannels);
        vemra.start(program, {});
        ASSERT_TRUE(vemra.waitForStarted(5000));
        // Ready once it listens for commands (its tray icon is in place by then).
        ASSERT_TRUE(WaitUntil([] { return QFile::exists(ui::CommandSocketPath(QStringLiteral("TVMRConverter"))); }, 15000));
    }
    void TearDown() override {
        if (vemra.state() != QProcess::NotRunning) {
            vemra.kill();
            vemra.waitForFinished(5000);
        }
    }
    bool Ended(int timeoutMs = 10000) {
        return WaitUntil([this] { return vemra.state() == QProcess::NotRunning; }, timeoutMs);
    }
    static bool WindowShown() {
        return RunTool("xdotool", {"search", "--onlyvisible", "--name", "Vmr-Vemra"}) == 0;
    }
    static int VisibleWindowsOfTheProgram() {
        QProcess search;
        search.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--class", "vemra"});
        search.waitForFinished(5000);
        return static_cast<int>(QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size());
    }
    std::string UserSettings() const {
        std::ifstream in(home.home / "registry/user.reg");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Home home;
    QString program;
    QProcess vemra;
};

TEST_F(InstalledConverterTest, Command2ShowsTheWindowAnd99EndsTheProgramAndItsMarker) {
    EXPECT_GT(home.AtomCount(), 0);
    EXPECT_FALSE(WindowShown());
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 2, 0));
    EXPECT_TRUE(WaitUntil([] { return WindowShown(); }, 5000));
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 99, 0));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(vemra.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(home.AtomCount(), 0);
}

TEST_F(InstalledConverterTest, Command10ConvertsTheClipboardAndShowsTheBalloon) {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-i"});
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write("10\t20\n30\t40\n");
    xclip.closeWriteChannel();
    ASSERT_TRUE(xclip.waitForFinished(5000));
    WaitUntil([] { return false; }, 2500);  // the splash window has gone
    const int before = VisibleWindowsOfTheProgram();
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 10, 0));
    // The balloon comes up beside the tray icon; the main window stays hidden.
    EXPECT_TRUE(WaitUntil([before] { return VisibleWindowsOfTheProgram() > before; }, 5000));
    EXPECT_FALSE(WindowShown());
}

TEST_F(InstalledConverterTest, SigtermSavesTheSettingsAndRemovesTheMarker) {
    const std::string before = UserSettings();
    ASSERT_FALSE(before.empty());
    // A change only the end's full save writes: the window position.
    ASSERT_TRUE(ui::PostCommand(QStringLiteral("TVMRConverter"), 2, 0));
    ASSERT_TRUE(WaitUntil([] { return WindowShown(); }, 5000));
    RunTool("xdotool", {"search", "--onlyvisible", "--name", "Vmr-Vemra", "windowmove", "123", "77"});
    WaitUntil([] { return false; }, 300);
    ::kill(static_cast<pid_t>(vemra.processId()), SIGTERM);
    ASSERT_TRUE(Ended());
    EXPECT_EQ(vemra.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(vemra.exitCode(), 0);
    EXPECT_EQ(home.AtomCount(), 0);
    const std::string after = UserSettings();
    EXPECT_NE(after.find("\"PConverter.Left\"=dword:0000007b"), std::string::npos) << after;
}

}  // namespace
}  // namespace vemra::test
