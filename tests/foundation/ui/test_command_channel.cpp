// Commands between our programs over the per-user local socket: delivery, lines that are
// not two numbers, a peer that never ends its line, a socket left by a crashed process.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
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
    ASSERT_NO_FATAL_FAILURE(SendAsPeer(socket, "hello\n99\n1 2 3\n-1 0\n4 x\n\n10 0\n"));
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
