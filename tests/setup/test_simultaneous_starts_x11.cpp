// Twenty copies of the installed converter started at the same moment, several times over, on
// a real X server with a tray host: one of them runs; each of the others asks whether to run
// beside it and, answered No, ends with result 3 (and never reaches the tray).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <QProcess>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CommandChannel.h"
#include "SetupTestSupport.h"
#include "platform/GlobalAtoms.h"

namespace vemra::test {
namespace {

constexpr int kStarts = 20;
constexpr int kRounds = 8;
// What a round may take on a loaded machine; reached only when a start neither asks nor ends.
constexpr int kRoundBoundMs = 120000;

// Processes forked at once that wait on one pipe and become the program together when the
// pipe closes, so that their starts overlap as closely as the system allows.
class SimultaneousStarts {
public:
    SimultaneousStarts(const std::string& program, int count) {
        int go[2];
        if (::pipe(go) != 0) return;
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                for (int fd = 3; fd < 1024; ++fd)
                    if (fd != go[0]) ::close(fd);
                char byte = 0;
                while (::read(go[0], &byte, 1) > 0) {}
                ::close(go[0]);
                ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            if (pid > 0) running_.push_back(pid);
        }
        ::close(go[0]);
        go_ = go[1];
    }
    ~SimultaneousStarts() {
        Go();
        for (pid_t pid : running_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    void Go() {
        if (go_ >= 0) ::close(go_);
        go_ = -1;
    }
    // Takes the ended ones out of Running and into Ended (their wait status).
    void Reap() {
        for (auto it = running_.begin(); it != running_.end();) {
            int status = 0;
            if (::waitpid(*it, &status, WNOHANG) == *it) {
                ended_[*it] = status;
                it = running_.erase(it);
            } else {
                ++it;
            }
        }
    }
    const std::vector<pid_t>& Running() const { return running_; }
    const std::map<pid_t, int>& Ended() const { return ended_; }

private:
    int go_ = -1;
    std::vector<pid_t> running_;
    std::map<pid_t, int> ended_;
};

std::vector<std::string> Words(const std::string& command) {
    std::vector<std::string> words;
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
    shell.waitForFinished(10000);
    std::istringstream out(shell.readAllStandardOutput().toStdString());
    for (std::string word; out >> word;) words.push_back(word);
    return words;
}

// The process that holds the single-instance marker (its record: number, process, start); 0
// while there is none.
pid_t MarkerOwner(const SetupHome& home) {
    if (platform::GlobalFindAtom("JustOneVemraApp") == 0) return 0;
    std::istringstream record(ReadText(home.home / "run/vemra/atoms/justonevemraapp"));
    long number = 0;
    long pid = 0;
    record >> number >> pid;
    return static_cast<pid_t>(pid);
}

// Answers No (Escape) to the question each of the starts shows; the starts that show a tray icon
// (a window no larger than 60 by 60) run as converters instead.
std::set<pid_t> AnswerNo(const std::vector<pid_t>& starts) {
    std::set<pid_t> converters;
    if (starts.empty()) return converters;
    std::string pids;
    for (pid_t pid : starts) pids += ' ' + std::to_string(pid);
    // A window that is gone by the time its size is asked (a box closing after its answer) is
    // left out: its size must not be taken from the window listed before it.
    const std::vector<std::string> windows =
        Words("for p in" + pids + "; do for w in $(xdotool search --onlyvisible --pid $p 2>/dev/null); do " +
              "unset WIDTH HEIGHT; eval $(xdotool getwindowgeometry --shell $w 2>/dev/null); " +
              "[ -n \"$WIDTH\" ] && [ -n \"$HEIGHT\" ] && echo $p $w $WIDTH $HEIGHT; done; done");
    for (std::size_t i = 0; i + 3 < windows.size(); i += 4) {
        const int width = std::atoi(windows[i + 2].c_str());
        const int height = std::atoi(windows[i + 3].c_str());
        if (width <= 60 && height <= 60)
            converters.insert(static_cast<pid_t>(std::atol(windows[i].c_str())));
        else
            Words("xdotool key --window " + windows[i + 1] + " Escape");
    }
    return converters;
}

// The visible windows of a process, each as its title and size, for a failure's message.
std::string WindowsOf(pid_t pid) {
    std::string text;
    for (const std::string& line :
         Words("for w in $(xdotool search --onlyvisible --pid " + std::to_string(pid) +
               " 2>/dev/null); do unset WIDTH HEIGHT; eval $(xdotool getwindowgeometry --shell $w 2>/dev/null); " +
               "echo \"[$(xdotool getwindowname $w | tr ' ' '_')_${WIDTH}x${HEIGHT}]\"; done"))
        text += ' ' + line;
    return text.empty() ? " none" : text;
}

// Command 99 to the converter that runs, once it listens (its marker comes a moment before).
bool EndTheRunningOne() { return ui::PostCommand(QStringLiteral("TVMRConverter"), 99, 0, 1000); }

std::string Describe(const SimultaneousStarts& starts, pid_t owner) {
    std::ostringstream out;
    out << "marker owner " << owner << "; running:";
    for (pid_t pid : starts.Running()) out << ' ' << pid;
    out << "; ended:";
    for (const auto& [pid, status] : starts.Ended())
        out << ' ' << pid << (WIFEXITED(status) ? "=" : "=signal ")
            << (WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
    return out.str();
}

// One round: of kStarts starts released together one runs and the others ask and end; then the
// one that runs is told to end.
void OneRunsAndTheOthersAskAndEnd(const SetupHome& home, const std::string& program) {
    SimultaneousStarts starts(program, kStarts);
    ASSERT_EQ(starts.Running().size(), static_cast<std::size_t>(kStarts));
    starts.Go();
    pid_t owner = 0;
    std::set<pid_t> besides;
    const bool settled = WaitUntil(
        [&] {
            starts.Reap();
            owner = MarkerOwner(home);
            std::vector<pid_t> others;
            for (pid_t pid : starts.Running())
                if (pid != owner) others.push_back(pid);
            besides = AnswerNo(others);
            // The owner shows its icon a moment after its marker: read again after looking.
            owner = MarkerOwner(home);
            besides.erase(owner);
            QThread::msleep(100);
            return !besides.empty() || (owner != 0 && others.empty());
        },
        kRoundBoundMs);
    ASSERT_TRUE(settled) << Describe(starts, owner);
    ASSERT_TRUE(besides.empty()) << "a converter runs beside the marker's owner: " << *besides.begin()
                                 << ", its windows:" << WindowsOf(*besides.begin()) << "; " << Describe(starts, owner);
    ASSERT_EQ(starts.Ended().size(), static_cast<std::size_t>(kStarts - 1));
    for (const auto& [pid, status] : starts.Ended()) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << pid << ": " << Describe(starts, owner);
    }
    // The one that runs is the one that answers commands; told to end, it ends.
    ASSERT_TRUE(WaitUntil(EndTheRunningOne, 30000))
        << "the marker's owner does not listen; its windows:" << WindowsOf(owner) << "; " << Describe(starts, owner);
    ASSERT_TRUE(WaitUntil(
        [&] {
            starts.Reap();
            return starts.Running().empty();
        },
        30000));
    const int status = starts.Ended().at(owner);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(starts, owner);
    EXPECT_EQ(platform::GlobalFindAtom("JustOneVemraApp"), 0);
}

// One start of the installed program alone, until it runs as the converter; then it is told to end.
void FirstStartAlone(const SetupHome& home, const std::string& program) {
    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(QString::fromStdString(program), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return MarkerOwner(home) == first.processId(); }, 60000));
    ASSERT_TRUE(WaitUntil(EndTheRunningOne, 30000));
    ASSERT_TRUE(first.waitForFinished(30000));
}

// Installs the converter unattended into the home, as for a user; the installed program, or ""
// when the installation failed.
std::string Install(SetupHome& home) {
    if (!home.InstallUnattended(home.home / "Plug")) return {};
    home.window.reset();
    return home.home / ".local/opt/Vemra/vemra";
}

TEST(SimultaneousStartsX11, OfTwentyInstalledConvertersStartedAtOnceOneRunsAndTheOthersAskAndEnd) {
    SetupHome home;
    const std::string program = Install(home);
    ASSERT_FALSE(program.empty());

    // The installation's first start (its packages, its settings) alone, as after installing.
    FirstStartAlone(home, program);
    if (HasFatalFailure()) return;

    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        OneRunsAndTheOthersAskAndEnd(home, program);
        if (HasFatalFailure()) return;
    }
}

// Every file and folder below the home that a start leaves, by its name in the home, but for the
// runtime and temporary folders and the logs.
std::set<std::string> DataFiles(const SetupHome& home) {
    namespace fs = std::filesystem;
    const fs::path root = home.home.path();
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        if (name.rfind("run", 0) == 0 || name.rfind("tmp", 0) == 0 || name.rfind("Plug", 0) == 0) continue;
        if (entry.path().extension() == ".log") continue;
        files.insert(name);
    }
    return files;
}

// The first start of an installation lays out its data (packages, language files, settings,
// the rate-source store): twenty first starts at once leave one converter and the same data.
TEST(SimultaneousStartsX11, TwentyFirstStartsAtOnceLeaveOneConverterAndTheDataOfOne) {
    SetupHome alone;
    const std::string aloneProgram = Install(alone);
    ASSERT_FALSE(aloneProgram.empty());
    FirstStartAlone(alone, aloneProgram);
    if (HasFatalFailure()) return;
    const std::set<std::string> expected = DataFiles(alone);

    SetupHome home;
    const std::string program = Install(home);
    ASSERT_FALSE(program.empty());
    OneRunsAndTheOthersAskAndEnd(home, program);
    if (HasFatalFailure()) return;
    const std::set<std::string> files = DataFiles(home);
    std::vector<std::string> missing;
    std::vector<std::string> extra;
    std::set_difference(expected.begin(), expected.end(), files.begin(), files.end(), std::back_inserter(missing));
    std::set_difference(files.begin(), files.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    EXPECT_EQ(missing, std::vector<std::string>{});
    EXPECT_EQ(extra, std::vector<std::string>{});
}

}  // namespace
}  // namespace vemra::test
