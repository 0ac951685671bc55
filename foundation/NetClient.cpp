// NetUtils for the converter: every request runs in the helper program vmrfetch (see
// fetch/main.cpp), which the call waits for in a local event loop, so the window thread goes on
// serving the tray, the command socket and the signals while a server is slow.

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "NetUtils.h"
#include "SysWinCore.h"
#include "rtl/SysUtils.h"

namespace vemra {

struct TInetSessionRec {
    // Stops the request in progress (its helper is ended); empty while none runs.
    std::function<void()> stop;
};

namespace {

constexpr const char* kFetchProgramName = "vmrfetch";
constexpr const char* kFetchProgramVariable = "VEMRA_FETCH_PROGRAM";
// Beyond the helper's own deadline: its start and its end, then it is ended from here.
constexpr int kGraceSeconds = 10;
// An ended helper gets this long to remove its temporary file before it is killed; the file
// of a killed one is removed here.
constexpr int kStopWaitMs = 400;

std::shared_ptr<TInetSessionRec> g_session;
thread_local std::string g_lastError;

bool IsExecutable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

// The helper of the installation lies beside the running program; a program of the build tree
// (a test) takes the build's one. The environment variable names another.
std::string FetchProgram() {
    if (const char* named = std::getenv(kFetchProgramVariable); named != nullptr && *named != 0) return named;
    if (const std::string folder = RunningProgramFolder(); !folder.empty()) {
        const std::string beside = JoinPath(folder, kFetchProgramName);
        if (IsExecutable(beside)) return beside;
    }
#ifdef VEMRA_FETCH_BUILD_PROGRAM
    if (IsExecutable(VEMRA_FETCH_BUILD_PROGRAM)) return VEMRA_FETCH_BUILD_PROGRAM;
#endif
    return kFetchProgramName;
}

// Marks the session busy for one request, as the in-process session does: a second request
// while one runs (a callback that runs the event loop) fails, and closing the session stops
// the running one.
class SessionUse {
public:
    SessionUse() : rec_(g_session && !g_session->stop ? g_session : nullptr) {}
    ~SessionUse() {
        if (rec_) rec_->stop = nullptr;
    }
    SessionUse(const SessionUse&) = delete;
    SessionUse& operator=(const SessionUse&) = delete;

    explicit operator bool() const { return rec_ != nullptr; }
    void OnStop(std::function<void()> stop) { rec_->stop = std::move(stop); }

private:
    std::shared_ptr<TInetSessionRec> rec_;
};

enum class RunEnd { Exited, Stopped, NotRun };

struct RunResult {
    RunEnd end = RunEnd::NotRun;
    int exitCode = -1;
    std::string errors;  // the helper's standard error, last line break dropped
    std::string stopReason;  // why a stopped run was stopped, as InetLastError says it
    std::string unread;      // standard output read after a stop, not handed over
};

// Runs the helper with these arguments and hands its standard output over as it comes. Ends
// early, stopping the helper, when the session is closed, the deadline plus grace passes, the
// output handler asks for it (returns false) or the application is told to quit (its quit
// ends every event loop; the loop of a later request then ends at once, so none starts).
RunResult RunHelper(SessionUse& use, const QStringList& arguments, int deadlineSeconds,
                    const std::function<bool(const QByteArray&)>& output) {
    RunResult result;
    QProcess helper;
    helper.setProgram(QString::fromStdString(FetchProgram()));
    helper.setArguments(arguments);
    helper.setStandardInputFile(QProcess::nullDevice());
    bool stopped = false;
    bool over = false;
    std::string stopReason = "cancelled";
    QEventLoop loop;
    auto finish = [&] {
        over = true;
        loop.quit();
    };
    auto stop = [&] {
        stopped = true;
        finish();
    };
    auto drain = [&] {
        if (stopped) return;  // the rest is read once the helper is ended
        const QByteArray chunk = helper.readAllStandardOutput();
        if (!chunk.isEmpty() && !output(chunk)) {
            stopReason = "too large";
            stop();
        }
    };
    use.OnStop(stop);
    const bool withLoop = QCoreApplication::instance() != nullptr;
    QObject::connect(&helper, &QProcess::readyReadStandardOutput, &loop, drain);
    QObject::connect(&helper, &QProcess::finished, &loop, finish);
    QObject::connect(&helper, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finish();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        stopReason = "deadline passed";
        stop();
    });
    const int limitMs = (InetEffectiveDeadline(deadlineSeconds) + kGraceSeconds) * 1000;
    bool started = false;
    if (withLoop) {
        // Started from inside the loop: a loop that ends at once (a quit under way) starts none.
        QTimer::singleShot(0, &loop, [&] {
            started = true;
            helper.start();
            watchdog.start(limitMs);
        });
        loop.exec();
        if (!over) stopped = true;  // the application quits
    } else {
        started = true;
        helper.start();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        helper.waitForStarted();
        while (!stopped && helper.state() != QProcess::NotRunning) {
            helper.waitForReadyRead(100);
            drain();
            if (std::chrono::steady_clock::now() > until) {
                stopReason = "deadline passed";
                stopped = true;
            }
        }
    }
    use.OnStop(nullptr);
    result.stopReason = stopReason;
    if (!started) {
        result.end = RunEnd::Stopped;
        return result;
    }
    if (stopped) {
        result.end = RunEnd::Stopped;
        if (helper.state() != QProcess::NotRunning) {
            helper.terminate();
            if (!helper.waitForFinished(kStopWaitMs)) {
                helper.kill();
                helper.waitForFinished(kStopWaitMs);
            }
        }
        result.unread = helper.readAllStandardOutput().toStdString();
        return result;
    }
    drain();
    if (helper.error() == QProcess::FailedToStart) {
        result.errors = "the download helper " + helper.program().toStdString() + " cannot be started";
        return result;
    }
    result.errors = helper.readAllStandardError().trimmed().toStdString();
    if (helper.exitStatus() == QProcess::NormalExit) {
        result.end = RunEnd::Exited;
        result.exitCode = helper.exitCode();
    } else if (result.errors.empty()) {
        result.errors = "the download helper ended abnormally";
    }
    return result;
}

QStringList Args(std::initializer_list<std::string> items) {
    QStringList list;
    for (const std::string& item : items) list << QString::fromStdString(item);
    return list;
}

// The failure text of a run that did not end with exit code 0.
std::string FailureText(const RunResult& run) {
    if (run.end == RunEnd::Stopped) return run.stopReason;
    if (!run.errors.empty()) {
        const std::size_t lastLine = run.errors.rfind('\n');
        return lastLine == std::string::npos ? run.errors : run.errors.substr(lastLine + 1);
    }
    return "the download helper failed (exit code " + std::to_string(run.exitCode) + ")";
}

// The temporary file the helper named last: from the lines handed over (announced) and from
// the output that came after them (the unfinished line first, then what was read after a stop).
std::string LastAnnounced(std::string announced, const std::string& later) {
    for (std::size_t at = 0, end; (end = later.find('\n', at)) != std::string::npos; at = end + 1)
        if (later.compare(at, 2, "T ") == 0) announced = later.substr(at + 2, end - at - 2);
    return announced;
}

// Removes what a helper that did not end well announced, but only a name the helper gives the
// file's temporary file (".<name>.XXXXXX" beside it): nothing else it may say is touched.
void RemoveLeftTemporary(const std::string& fileName, const std::string& temporary) {
    const std::string folder = ExtractFileDir(fileName);
    const std::string prefix = "." + ExtractFileName(fileName) + ".";
    const std::string name = ExtractFileName(temporary);
    const bool beside = ExtractFileDir(temporary) == (folder.empty() ? std::string(".") : folder);
    if (beside && name.size() == prefix.size() + 6 && name.starts_with(prefix) && IsReplaceTempName(name))
        ::unlink(temporary.c_str());
}

// A bound of 0 would reach the helper as wrong arguments: it is refused here, as in-process.
bool Bounded(const TInetLimits& limits) {
    if (limits.MaxBytes >= 1 && limits.DeadlineSeconds >= 1) return true;
    g_lastError = "no bounds";
    return false;
}

// Runs a "body" request; true with the whole document in body.
bool FetchBody(const std::string& address, const TInetLimits& limits, std::string& body) {
    if (!Bounded(limits)) return false;
    g_lastError = "no session";
    SessionUse use;
    if (!use) return false;
    const RunResult run = RunHelper(
        use, Args({"body", address, std::to_string(limits.MaxBytes), std::to_string(limits.DeadlineSeconds)}),
        limits.DeadlineSeconds,
        [&](const QByteArray& chunk) {
            body.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
            return static_cast<std::int64_t>(body.size()) <= limits.MaxBytes;
        });
    const bool whole = run.end == RunEnd::Exited && run.exitCode == 0;
    g_lastError = whole ? std::string() : FailureText(run);
    return whole;
}

}  // namespace

bool InetOpenSession() {
    if (!g_session) g_session = std::make_shared<TInetSessionRec>();
    return true;
}

void InetCloseSession() {
    if (!g_session) return;
    const std::shared_ptr<TInetSessionRec> closing = std::move(g_session);
    if (closing->stop) closing->stop();
}

const TInetSessionRec* InetSession() { return g_session.get(); }

int InetGetRemoteSize(const std::string& address) {
    SessionUse use;
    if (!use) return 0;
    std::string text;
    const RunResult run = RunHelper(
        use, Args({"size", address}), kSizeDeadlineSeconds,
        [&](const QByteArray& chunk) {
            text.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
            return text.size() < 64;
        });
    if (run.end != RunEnd::Exited || run.exitCode != 0) return 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && (*end == '\n' || *end == 0) && value > 0 && value <= INT_MAX ? static_cast<int>(value)
                                                                                               : 0;
}

bool InetDownloadToFile(const std::string& address, const std::string& fileName, const TInetProgress& progress,
                        const TInetLimits& limits) {
    if (!Bounded(limits)) return false;
    g_lastError = "no session";
    SessionUse use;
    if (!use) return false;
    std::string temporary;
    std::string line;
    std::exception_ptr fault;
    // "T <file>" and "P <total> <done>" lines; the progress callback runs here, within the loop.
    auto onLine = [&](const std::string& text) {
        if (text.starts_with("T ")) {
            temporary = text.substr(2);
        } else if (text.starts_with("P ") && progress) {
            char* end = nullptr;
            const long total = std::strtol(text.c_str() + 2, &end, 10);
            const long done = std::strtol(end, nullptr, 10);
            progress(static_cast<int>(total), static_cast<int>(done));
        }
    };
    QStringList arguments =
        Args({"file", address, fileName, std::to_string(limits.MaxBytes), std::to_string(limits.DeadlineSeconds)});
    if (progress) arguments << QStringLiteral("progress");
    // The size asked first (with progress) has a deadline of its own.
    const int deadline = limits.DeadlineSeconds + (progress ? kSizeDeadlineSeconds : 0);
    const RunResult run = RunHelper(
        use, arguments, deadline,
        [&](const QByteArray& chunk) {
            try {
                for (const char c : chunk) {
                    if (c != '\n') {
                        line += c;
                        continue;
                    }
                    onLine(line);
                    line.clear();
                }
            } catch (...) {
                // Not through Qt's signal: it goes to the caller once the helper is stopped.
                fault = std::current_exception();
                return false;
            }
            return true;
        });
    const bool whole = run.end == RunEnd::Exited && run.exitCode == 0;
    // A helper that ended well renamed its file or removed it; one killed or crashed may not.
    if (!whole) RemoveLeftTemporary(fileName, LastAnnounced(temporary, line + run.unread));
    if (fault) std::rethrow_exception(fault);
    if (run.end == RunEnd::Exited && run.exitCode == 2) throw EInOutError(FailureText(run));
    g_lastError = whole ? std::string() : FailureText(run);
    return whole;
}

bool InetDownloadToStream(const std::string& address, TStream& stream, const TInetLimits& limits) {
    std::string body;
    const bool whole = FetchBody(address, limits, body);
    // The helper sends the document only once it is whole.
    if (whole && !body.empty()) stream.Write(body.data(), body.size());
    return whole;
}

std::unique_ptr<TStringList> InetDownloadLines(const std::string& address, const TInetLimits& limits) {
    auto lines = std::make_unique<TStringList>();
    InetOpenSession();
    std::string body;
    if (FetchBody(address, limits, body)) lines->SetText(body);
    return lines;
}

std::string InetLastError() { return g_lastError; }

}  // namespace vemra
