// Commands between our programs over the per-user local socket: delivery, lines that are
// not two numbers, peers that never end their line (one, or enough to use up descriptors),
// an accept that fails, a socket left by a crashed process.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>

#include "CommandChannel.h"
#include "support/TestUtils.h"

using namespace vemra::ui;
using vemra::test::ScopedEnv;
using vemra::test::TempFolder;

namespace {

class CommandChannelTest : public ::testing::Test {
protected:
    void WaitFor(QSignalSpy& spy, int count) {
        QElapsedTimer timer;
        timer.start();
        while (spy.count() < count && timer.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // Lets the server read whatever has arrived.
    void Drain() {
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Connects a peer of our own to the converter's socket and writes the bytes on it.
    static void SendAsPeer(QLocalSocket& socket, const QByteArray& bytes) {
        socket.connectToServer(CommandSocketPath("TVMRConverter"));
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(bytes);
        socket.waitForBytesWritten(1000);
    }

    TempFolder runtime_{"vemra-cmd"};
    ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.path()};
};

TEST_F(CommandChannelTest, DeliversPostedCommandsInOrder) {
    TCommandServer server("TVMRConverter");
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    EXPECT_TRUE(PostCommand("TVMRConverter", 2, 0));
    EXPECT_TRUE(PostCommand("TVMRConverter", 3, 0x00640032));
    WaitFor(spy, 2);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][0].toUInt(), 2u);
    EXPECT_EQ(spy[1][0].toUInt(), 3u);
    EXPECT_EQ(spy[1][1].toLongLong(), 0x00640032);
}

TEST_F(CommandChannelTest, NoServerMeansNotSent) { EXPECT_FALSE(PostCommand("TVMRConverter", 99, 0, 200)); }

TEST_F(CommandChannelTest, IgnoresLinesThatAreNotTwoNumbers) {
    TCommandServer server("TVMRConverter");
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    QLocalSocket socket;
    static const char lines[] = "hello\n99\n1 2 3\n-1 0\n4 x\n\n3 6553\0K0\n1 \f0\n10 0\n";
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(socket, QByteArray(lines, sizeof lines - 1)));
    WaitFor(spy, 1);
    Drain();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toUInt(), 10u);
}

TEST_F(CommandChannelTest, CutsOffAPeerThatNeverEndsItsLine) {
    TCommandServer server("TVMRConverter");
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    QLocalSocket socket;
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(socket, QByteArray(100000, '7')));
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QLocalSocket::ConnectedState && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        socket.waitForDisconnected(10);
    }
    EXPECT_NE(socket.state(), QLocalSocket::ConnectedState);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(PostCommand("TVMRConverter", 2, 0));  // the server still serves others
    WaitFor(spy, 1);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(CommandChannelTest, ReplacesASocketLeftByACrashedProcessButNotALiveOne) {
    const QByteArray path = CommandSocketPath("TVMRConverter").toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // the file stays, nobody listens: what a crash leaves

    TCommandServer first("TVMRConverter");
    ASSERT_TRUE(first.Listen());
    TCommandServer second("TVMRConverter");
    EXPECT_FALSE(second.Listen());
    QSignalSpy spy(&first, &TCommandServer::Command);
    EXPECT_TRUE(PostCommand("TVMRConverter", 99, 0));
    WaitFor(spy, 1);
    EXPECT_EQ(spy.count(), 1);
}

// The line cap, with a deadline far off: a cut comes from the cap alone, at once.
struct CapCase {
    const char* name;
    QByteArray bytes;
    std::vector<quint32> commands;  // the wParams delivered
    bool cut;
};
void PrintTo(const CapCase& c, std::ostream* os) { *os << c.name; }

class CommandCapTest : public CommandChannelTest, public ::testing::WithParamInterface<CapCase> {};

TEST_P(CommandCapTest, CutsTheConnectionOnlyBeyondTheCap) {
    TCommandServer server("TVMRConverter");
    server.SetIdleDeadline(3600 * 1000);
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    QLocalSocket socket;
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(socket, GetParam().bytes));
    QElapsedTimer timer;
    timer.start();
    while (GetParam().cut && socket.state() == QLocalSocket::ConnectedState && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        socket.waitForDisconnected(10);
    }
    Drain();
    EXPECT_EQ(socket.state() != QLocalSocket::ConnectedState, GetParam().cut);
    EXPECT_EQ(server.ConnectionCount(), GetParam().cut ? 0 : 1);
    std::vector<quint32> commands;
    for (const QList<QVariant>& signal : spy) commands.push_back(signal[0].toUInt());
    EXPECT_EQ(commands, GetParam().commands);
}

// "2 0...05": a command of exactly that many characters, its argument padded with zeros.
QByteArray PaddedCommand(qint64 length) { return "2 " + QByteArray(static_cast<qsizetype>(length - 3), '0') + "5"; }

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandCapTest,
    ::testing::Values(
        CapCase{"LineAtTheCap", PaddedCommand(TCommandServer::MaxLineLength) + "\n", {2}, false},
        CapCase{"LineBeyondTheCap", PaddedCommand(TCommandServer::MaxLineLength + 1) + "\n10 0\n", {}, true},
        CapCase{"LinesBeforeALongOneCount", "10 0\n" + PaddedCommand(TCommandServer::MaxLineLength + 1) + "\n2 0\n",
                {10}, true},
        CapCase{"UnendedAtTheCap", PaddedCommand(TCommandServer::MaxLineLength), {}, false},
        CapCase{"UnendedBeyondTheCap", PaddedCommand(TCommandServer::MaxLineLength + 1), {}, true}),
    [](const ::testing::TestParamInfo<CapCase>& param) { return std::string(param.param.name); });

// Each complete line, and only a complete one, gives the connection its whole deadline again.
TEST_F(CommandChannelTest, EachLineRenewsTheDeadlineAndBytesWithoutALineEndDoNot) {
    TCommandServer server("TVMRConverter");
    server.SetIdleDeadline(600 * 1000);
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    QLocalSocket socket;
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(socket, "2 0\n"));
    WaitFor(spy, 1);
    ASSERT_EQ(spy.count(), 1);
    // The timers do not run while this sleeps: the deadline only gets shorter.
    ::usleep(1500 * 1000);
    const int before = server.DeadlineLeftMs(0);
    ASSERT_GT(before, 0);
    socket.write("10");
    socket.waitForBytesWritten(1000);
    Drain();
    const int unended = server.DeadlineLeftMs(0);
    EXPECT_LE(unended, before);
    socket.write(" 0\n");
    socket.waitForBytesWritten(1000);
    WaitFor(spy, 2);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[1][0].toUInt(), 10u);
    EXPECT_GT(server.DeadlineLeftMs(0), before);
    EXPECT_EQ(server.ConnectionCount(), 1);
}

struct LineCase {
    const char* name;
    QByteArray line;
    bool accepted;
    quint32 wParam;
    qint64 lParam;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class CommandLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineTest, IsTwoDecimalNumbersAndNothingElse) {
    quint32 wParam = 7;
    qint64 lParam = 7;
    EXPECT_EQ(ParseCommandLine(GetParam().line, wParam, lParam), GetParam().accepted);
    EXPECT_EQ(wParam, GetParam().accepted ? GetParam().wParam : 7u);
    EXPECT_EQ(lParam, GetParam().accepted ? GetParam().lParam : 7);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    ::testing::Values(LineCase{"Quit", "99 0\n", true, 99, 0}, LineCase{"PackedPoint", "3 6553650\n", true, 3, 6553650},
                      LineCase{"CrLf", "2 0\r\n", true, 2, 0}, LineCase{"NoLineEnd", "2 0", true, 2, 0},
                      LineCase{"NegativeArgument", "1 -5\n", true, 1, -5},
                      LineCase{"Largest", "4294967295 9223372036854775807\n", true, 4294967295u, INT64_MAX},
                      LineCase{"Smallest", "0 -9223372036854775808\n", true, 0, INT64_MIN},
                      LineCase{"NulInTheNumber", QByteArray("3 6553\0K0\n", 10), false, 0, 0},
                      LineCase{"FormFeedBeforeTheNumber", "1 \f0\n", false, 0, 0},
                      LineCase{"TwoBlanks", "1  0\n", false, 0, 0}, LineCase{"Tab", "1\t0\n", false, 0, 0},
                      LineCase{"LeadingBlank", " 1 0\n", false, 0, 0}, LineCase{"TrailingBlank", "1 0 \n", false, 0, 0},
                      LineCase{"PlusSign", "1 +0\n", false, 0, 0}, LineCase{"SignedCommand", "-1 0\n", false, 0, 0},
                      LineCase{"CommandTooLarge", "4294967296 0\n", false, 0, 0},
                      LineCase{"ArgumentTooLarge", "1 9223372036854775808\n", false, 0, 0},
                      LineCase{"LoneMinus", "1 -\n", false, 0, 0}, LineCase{"HexArgument", "1 0x10\n", false, 0, 0},
                      LineCase{"TwoLines", "1 0\n2 0\n", false, 0, 0}, LineCase{"Empty", "", false, 0, 0}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// The highest open descriptor.
int HighestOpenDescriptor() {
    int highest = -1;
    DIR* dir = ::opendir("/proc/self/fd");
    while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr)
        if (entry->d_name[0] != '.') highest = std::max(highest, std::atoi(entry->d_name));
    if (dir != nullptr) ::closedir(dir);
    return highest;
}

// Peers in a child process (their descriptors are not the server's): each connects and
// writes its bytes; all stay connected until the object goes. Started, they wait for Go.
class ChildPeers {
public:
    ChildPeers(const QByteArray& path, int count, QByteArray bytes) {
        int go[2];
        int done[2];
        if (::pipe(go) != 0 || ::pipe(done) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(go[1]);
            ::close(done[0]);
            char c = 0;
            if (::read(go[0], &c, 1) != 1) _exit(1);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.constData());
            int connected = 0;
            for (int i = 0; i < count; ++i) {
                const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                const timeval wait{2, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
                if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                    ::close(fd);
                    continue;
                }
                ::send(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
                ++connected;
            }
            if (::write(done[1], &connected, sizeof connected) != sizeof connected) _exit(1);
            ::read(go[0], &c, 1);  // until the parent closes its end
            _exit(0);
        }
        ::close(go[0]);
        ::close(done[1]);
        go_ = go[1];
        done_ = done[0];
    }
    ~ChildPeers() {
        if (go_ >= 0) ::close(go_);
        if (done_ >= 0) ::close(done_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    void Go() { ASSERT_EQ(::write(go_, "g", 1), 1); }
    // Runs the event loop until the child has made its connections; how many it made, -1 on
    // time-out.
    int WaitConnected(int timeoutMs = 20000) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            pollfd p{done_, POLLIN, 0};
            if (::poll(&p, 1, 0) == 1) {
                int connected = -1;
                return ::read(done_, &connected, sizeof connected) == sizeof connected ? connected : -1;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int go_ = -1;
    int done_ = -1;
};

// Lowers the soft limit of open descriptors for the test's span.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

TEST_F(CommandChannelTest, ManyIdlePeersNeitherUseUpDescriptorsNorShutOutARealCommand) {
    TCommandServer server("TVMRConverter");
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    const QString path = CommandSocketPath("TVMRConverter");
    ChildPeers peers(path.toLocal8Bit(), 400, "99");
    {
        // 400 connections kept open by the server would need more descriptors than this.
        const DescriptorLimit limit(static_cast<rlim_t>(HighestOpenDescriptor() + 100));
        ASSERT_NO_FATAL_FAILURE(peers.Go());
        EXPECT_GT(peers.WaitConnected(), 300);
        EXPECT_LE(server.ConnectionCount(), TCommandServer::MaxConnections);
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(PostCommand("TVMRConverter", 2, 0));
        WaitFor(spy, 1);
    }
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toUInt(), 2u);
    EXPECT_TRUE(server.IsListening());
}

TEST_F(CommandChannelTest, APeerThatSendsNoLineIsClosedAtTheDeadline) {
    TCommandServer server("TVMRConverter");
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    QLocalSocket idle;
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(idle, "99"));
    QLocalSocket busy;
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(busy, "2 0\n"));
    QElapsedTimer timer;
    timer.start();
    while (idle.state() == QLocalSocket::ConnectedState && timer.elapsed() < TCommandServer::IdleDeadlineMs + 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        idle.waitForDisconnected(10);
    }
    EXPECT_NE(idle.state(), QLocalSocket::ConnectedState);
    EXPECT_EQ(server.ConnectionCount(), 0);
    ASSERT_EQ(spy.count(), 1);  // the complete line only
    EXPECT_EQ(spy[0][0].toUInt(), 2u);
}

// Lets the child connect and the server try to take it while no descriptor is free; how many
// connections the child made. No assertion macro and no call through a fixture runs here: the
// undefined-behaviour sanitizer's type check needs a pipe to probe memory and would report a
// fault that is none.
__attribute__((no_sanitize("vptr"))) int ConnectWhileNoDescriptorIsFree(ChildPeers& peer) {
    peer.Go();
    const int connected = peer.WaitConnected();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return connected;
}

// Accept fails while no descriptor is left: the peer waits in the queue, and the server takes
// it (and every later one) once descriptors are free again.
TEST_F(CommandChannelTest, KeepsListeningThroughAnAcceptThatFails) {
    TCommandServer server("TVMRConverter");
    ASSERT_TRUE(server.Listen());
    QSignalSpy spy(&server, &TCommandServer::Command);
    const QString path = CommandSocketPath("TVMRConverter");
    ChildPeers peer(path.toLocal8Bit(), 1, "10 0\n");
    std::vector<int> fillers;
    {
        const DescriptorLimit limit(static_cast<rlim_t>(HighestOpenDescriptor() + 8));
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
        const int exhausted = errno;
        const int connected = ConnectWhileNoDescriptorIsFree(peer);
        for (int fd : fillers) ::close(fd);
        ASSERT_EQ(exhausted, EMFILE);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(connected, 1);
    }
    EXPECT_TRUE(QFile::exists(path));
    WaitFor(spy, 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toUInt(), 10u);
    EXPECT_TRUE(PostCommand("TVMRConverter", 2, 0));
    WaitFor(spy, 2);
    EXPECT_EQ(spy.count(), 2);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
