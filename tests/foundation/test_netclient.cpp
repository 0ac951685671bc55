// The converter's downloads run in the helper vmrfetch (the shared download tests run against
// it too): the window thread's events go on during a download, closing the session or quitting
// the application ends it at once, and nothing half-written is left behind.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "NetUtils.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

using test::HttpResponse;
using test::HttpTestServer;
using Clock = std::chrono::steady_clock;

class NetClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "*", 1);
        ASSERT_TRUE(InetOpenSession());
        server_.Route("/silent", HttpResponse{.body = "x", .silenceAfterHead = std::chrono::seconds(60)});
        server_.Route("/trickle", HttpResponse{.body = std::string(300, 'a'), .byteInterval = std::chrono::seconds(1)});
        server_.Route("/page", HttpResponse{.body = "fresh"});
        WriteFileAtomic(File("Data.txt"), "OLD");
    }
    void TearDown() override { InetCloseSession(); }
    std::string File(const std::string& name) const { return temp_ / name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(temp_.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }
    int Requests(const std::string& path) const {
        int count = 0;
        for (const auto& request : server_.Requests()) count += request.path == path ? 1 : 0;
        return count;
    }

    HttpTestServer server_;
    test::TempFolder temp_{"vemra-netclient"};
};

// A timer of the window thread keeps ticking while the server is silent or trickles; closing
// the session from an event ends the download within a second.
TEST_F(NetClientTest, TheEventLoopRunsDuringADownloadAndClosingTheSessionEndsIt) {
    for (const char* path : {"/silent", "/trickle"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(InetOpenSession());
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        Clock::time_point closedAt;
        QTimer::singleShot(1500, [&] {
            closedAt = Clock::now();
            InetCloseSession();
        });
        EXPECT_FALSE(InetDownloadToFile(server_.Url(path), File("Data.txt")));
        const auto afterClose = Clock::now() - closedAt;
        EXPECT_GE(ticks, 10) << "the window thread was blocked";
        EXPECT_LT(afterClose, std::chrono::seconds(1));
        EXPECT_EQ(InetLastError(), "cancelled");
        EXPECT_EQ(ReadFileBytes(File("Data.txt")), "OLD");
        EXPECT_THAT(Names(), ::testing::ElementsAre("Data.txt"));
    }
}

// The helper has begun the temporary file when the session is closed: the helper is ended and
// the file goes with it.
TEST_F(NetClientTest, ADownloadEndedHalfWayLeavesNoTemporaryFile) {
    // A byte a millisecond: the first block is in the file long before the document is whole.
    server_.Route("/long", HttpResponse{.body = std::string(100000, 'a'), .byteInterval = std::chrono::milliseconds(1)});
    bool temporaryFound = false;
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/long"), File("Data.txt"), [&](int, int) {
        for (const std::string& name : Names()) temporaryFound = temporaryFound || name.starts_with(".Data.txt.");
        InetCloseSession();
    }));
    EXPECT_TRUE(temporaryFound);
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "OLD");
    EXPECT_THAT(Names(), ::testing::ElementsAre("Data.txt"));
}

// The application told to quit (the tray's end item, SIGTERM, command 99 all end in its quit)
// ends the download in progress within a second, and no further one is started meanwhile.
TEST_F(NetClientTest, AQuitEndsTheDownloadAtOnceAndStartsNoOther) {
    bool first = true;
    bool second = true;
    std::vector<std::string> lines;
    Clock::time_point quitAt;
    Clock::time_point endedAt;
    QTimer::singleShot(0, [&] {
        first = InetDownloadToFile(server_.Url("/trickle"), File("Data.txt"));
        endedAt = Clock::now();
        second = InetDownloadToFile(server_.Url("/page"), File("Data.txt"));
        lines = test::Strings(*InetDownloadLines(server_.Url("/page")));
    });
    QTimer::singleShot(1500, [&] {
        quitAt = Clock::now();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_TRUE(lines.empty());
    EXPECT_LT(endedAt - quitAt, std::chrono::seconds(1));
    EXPECT_EQ(Requests("/page"), 0);
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "OLD");
    EXPECT_THAT(Names(), ::testing::ElementsAre("Data.txt"));

    // Once the quit is over (the loop runs again), downloads work again.
    bool third = false;
    QTimer::singleShot(0, [&] {
        third = InetDownloadToFile(server_.Url("/page"), File("Data.txt"));
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_TRUE(third);
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "fresh");
}

TEST_F(NetClientTest, AMissingHelperIsAFailedDownloadThatSaysWhy) {
    setenv("VEMRA_FETCH_PROGRAM", File("no-such-helper").c_str(), 1);
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/page"), File("Data.txt")));
    unsetenv("VEMRA_FETCH_PROGRAM");
    EXPECT_THAT(InetLastError(), ::testing::HasSubstr("no-such-helper"));
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "OLD");
}

// A stand-in for the helper that announces a temporary file beside the target as vmrfetch
// does (or the name STANDIN_ANNOUNCE gives), marks STANDIN_READY, then heeds no SIGTERM and
// ends well only after 30 s.
constexpr const char* kStubbornHelper = R"(#!/bin/sh
trap '' TERM
[ "$1" = file ] || exit 3
temp=${STANDIN_ANNOUNCE:-$(mktemp "$(dirname "$3")/.$(basename "$3").XXXXXX")} || exit 2
echo "T $temp"
: > "$STANDIN_READY"
exec sleep 30
)";

class StubbornHelperTest : public NetClientTest {
protected:
    void SetUp() override {
        NetClientTest::SetUp();
        WriteFileAtomic(program_, kStubbornHelper, TAtomicWriteOptions{.Mode = 0755});
        env_.Set("VEMRA_FETCH_PROGRAM", program_);
        env_.Set("STANDIN_READY", ready_);
    }

    test::TempFolder tools_{"vemra-stand-in"};
    std::string program_ = tools_ / "vmrfetch";
    std::string ready_ = tools_ / "ready";
    test::ScopedEnv env_;
};

// Without the converter's own deadline the download would count as done once the stand-in ends.
TEST_F(StubbornHelperTest, AHelperThatOutlivesItsDeadlineIsKilledAndItsTemporaryFileGoes) {
    env_.Set(kDeadlineVariable, "1");
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/page"), File("Data.txt")));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(25)) << "the stand-in was let run";
    EXPECT_EQ(InetLastError(), "deadline passed");
    EXPECT_TRUE(FileExists(ready_));
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "OLD");
    EXPECT_THAT(Names(), ::testing::ElementsAre("Data.txt"));
}

// A helper killed before it could clean up leaves its temporary file to the converter, which
// removes it, but nothing else a helper may name.
TEST_F(StubbornHelperTest, OnlyTheTargetsOwnTemporaryFileIsRemovedAfterAKill) {
    WriteFileAtomic(File(".Info.txt.abc123"), "another file's");
    WriteFileAtomic(tools_ / ".Data.txt.abc123", "another folder's");
    const struct {
        const char* name;
        std::optional<std::string> announced;  // nullopt: the stand-in's own temporary file
    } cases[] = {
        {"its own temporary file", std::nullopt},
        {"the target", File("Data.txt")},
        {"another file's temporary name", File(".Info.txt.abc123")},
        {"the target's temporary name in another folder", tools_ / ".Data.txt.abc123"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        env_.Set("STANDIN_ANNOUNCE", c.announced);
        std::filesystem::remove(ready_);
        ASSERT_TRUE(InetOpenSession());
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (FileExists(ready_)) InetCloseSession();
        });
        poll.start(20);
        EXPECT_FALSE(InetDownloadToFile(server_.Url("/page"), File("Data.txt")));
        EXPECT_EQ(InetLastError(), "cancelled");
        EXPECT_EQ(test::ReadText(File("Data.txt")), "OLD");
        EXPECT_THAT(Names(), ::testing::UnorderedElementsAre("Data.txt", ".Info.txt.abc123"));
        EXPECT_EQ(ReadFileBytes(tools_ / ".Data.txt.abc123"), "another folder's");
    }
}

}  // namespace
}  // namespace vemra

// The downloads wait in an event loop of the application, as in the converter.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
