#include "DmTestSupport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <thread>

#include "StreamedIniFile.h"
#include "StreamKeys.h"
#include "vmrconsts.h"

namespace vemra::test {

QApplication& App() {
    static int argc = 1;
    static char name[] = "vemra-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

std::function<int()> AnswerAfter(HttpTestServer& server, const std::string& path, HttpResponse response,
                                 std::function<void()> action) {
    struct Held {
        std::atomic<bool> arrived{false};
        std::atomic<bool> acted{false};
        int runs = 0;
    };
    auto held = std::make_shared<Held>();
    server.Route(path, [held, response](const HttpRequest&) {
        held->arrived = true;
        // Bounded: a download that never runs the action still gets its answer.
        for (int i = 0; i < 3000 && !held->acted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return response;
    });
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [held, action = std::move(action), poll] {
        if (!held->arrived) return;
        poll->stop();
        ++held->runs;
        action();
        held->acted = true;
        poll->deleteLater();
    });
    poll->start();
    return [held] { return held->runs; };
}

FakeAppWindows::FakeAppWindows() {
    App();
    main = std::make_unique<QWidget>();
    for (const char* name : {"cbDateDesambi", "cbDesambi", "cbFormat"}) {
        auto* list = new QComboBox(main.get());
        list->setObjectName(QString::fromLatin1(name));
    }
    options = std::make_unique<QWidget>();
    cbLang = new QComboBox(options.get());
    cbLang->setObjectName(QStringLiteral("cbLang"));
    auto* subs = new QComboBox(main.get());
    subs->setObjectName(QStringLiteral("cbSubs"));
    auto* message = new QLabel(main.get());
    message->setObjectName(QStringLiteral("lbMessage"));
    auto* panel = new QWidget(options.get());
    panel->setObjectName(QStringLiteral("pnNewUpdate"));
    panel->hide();
    auto* newVersion = new QPushButton(panel);
    newVersion->setObjectName(QStringLiteral("btNewUpdate"));
}

FakeAppWindows::~FakeAppWindows() = default;

DmFixture::DmFixture()
    : savedAppData_(AppData), savedPubData_(PubData), savedLanguageFile_(LanguageFileName),
      savedLanguageName_(LanguageName) {
    App();
    AppData = folder.path();
    PubData = folder.path();
    LanguageFileName.clear();
    LanguageName.clear();
    dm_ = std::make_unique<Tdm>();
    dm = dm_.get();
    dm_->SetAppWindows(&windows);
}

DmFixture::~DmFixture() {
    dm_.reset();
    AppData = savedAppData_;
    PubData = savedPubData_;
    LanguageFileName = savedLanguageFile_;
    LanguageName = savedLanguageName_;
}

void DmFixture::WriteLanguageFile(const std::string& name, const std::string& iniText) {
    TStreamedIniFile ini(kLanguageKeyIndex, folder / name);
    ini.SetText(iniText);
    ini.UpdateFile();
}

}  // namespace vemra::test
