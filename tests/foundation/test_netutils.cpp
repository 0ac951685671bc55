#include "NetUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

using test::BodyFraming;
using test::HttpResponse;
using test::HttpTestServer;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Progress = std::vector<std::pair<int, int>>;

class NetUtilsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Nothing may go through a proxy of the machine running the tests.
        setenv("no_proxy", "*", 1);
        ASSERT_TRUE(InetOpenSession());
    }
    void TearDown() override { InetCloseSession(); }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> Methods() const {
        std::vector<std::string> out;
        for (const auto& r : server_.Requests()) out.push_back(r.method + " " + r.target);
        return out;
    }
    // Downloads with a callback that records every call.
    Progress DownloadWithProgress(const std::string& address, bool expected = true) {
        Progress calls;
        EXPECT_EQ(InetDownloadToFile(address, File("out.bin"),
                                     [&](int total, int done) { calls.emplace_back(total, done); }),
                  expected);
        return calls;
    }

    HttpTestServer server_;
    test::TempFolder temp_{"vemra-net"};
    std::filesystem::path dir_ = temp_.path();
};

std::string Body(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
    return s;
}

TEST_F(NetUtilsTest, AddressWithoutSchemeIsFetchedOverHttpAtItsPort) {
    server_.Route("/page", HttpResponse{.body = "hello"});
    TMemoryStream stream;
    EXPECT_TRUE(InetDownloadToStream(server_.HostPort("/page"), stream));
    EXPECT_EQ(stream.Bytes(), "hello");
    EXPECT_TRUE(InetDownloadToFile(server_.HostPort("/page"), File("page.html")));
    EXPECT_EQ(ReadFileBytes(File("page.html")), "hello");
    EXPECT_EQ(InetGetRemoteSize(server_.HostPort("/page")), 5);
    EXPECT_THAT(Methods(), ElementsAre("GET /page", "GET /page", "HEAD /page"));
}

TEST_F(NetUtilsTest, RemoteSizeComesFromAValidContentLength) {
    struct Case {
        const char* name;
        HttpResponse response;
        int expected;
    };
    const std::vector<Case> cases = {
        {"length", {.body = Body(2500)}, 2500},
        {"nine digits", {.contentLength = "123456789"}, 123456789},
        {"no length", {.body = Body(10), .framing = BodyFraming::CloseDelimited}, 0},
        {"chunked", {.body = Body(10), .framing = BodyFraming::Chunked}, 0},
        {"not a number", {.contentLength = "12ab"}, 0},
        {"ten digits", {.contentLength = "1234567890"}, 0},
        {"error page", {.status = 404, .body = "gone"}, 4},
    };
    for (const auto& c : cases) {
        server_.Route("/size", c.response);
        EXPECT_EQ(InetGetRemoteSize(server_.Url("/size")), c.expected) << c.name;
    }
}

TEST_F(NetUtilsTest, HeadRequestAsksPastCachesForTheObjectOnly) {
    server_.Route("/dir/file.txt", HttpResponse{.body = "12345678"});
    EXPECT_EQ(InetGetRemoteSize("http://user:secret@" + server_.HostPort("/dir/file.txt?when=10:30")), 8);
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[0].target, "/dir/file.txt");
    EXPECT_EQ(requests[0].Header("Cache-Control"), "no-cache");
    EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));
}

TEST_F(NetUtilsTest, HeadRequestFollowsNoRedirect) {
    server_.Route("/moved", HttpResponse{.status = 302, .headers = {{"Location", "/big"}}, .body = "moved"});
    server_.Route("/big", HttpResponse{.body = Body(3000)});
    EXPECT_EQ(InetGetRemoteSize(server_.Url("/moved")), 5);
    EXPECT_THAT(Methods(), ElementsAre("HEAD /moved"));
}

TEST_F(NetUtilsTest, RemoteSizeIsZeroWithoutAskingForAddressesItCannotAsk) {
    server_.Route("/", HttpResponse{.body = "root"});
    EXPECT_EQ(InetGetRemoteSize("ftp://" + server_.HostPort("/")), 0);
    EXPECT_EQ(InetGetRemoteSize(server_.HostPort("")), 0);  // no "/" after the host
    EXPECT_EQ(InetGetRemoteSize("127.0.0.1:99999/"), 0);
    InetCloseSession();
    EXPECT_EQ(InetGetRemoteSize(server_.Url("/")), 0);
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(NetUtilsTest, DownloadWithoutCallbackSendsNoHead) {
    server_.Route("/data", HttpResponse{.body = Body(1500)});
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/data"), File("data.bin")));
    EXPECT_THAT(Methods(), ElementsAre("GET /data"));
    EXPECT_FALSE(server_.Requests()[0].HasHeader("Pragma"));
}

TEST_F(NetUtilsTest, ProgressWithKnownSizeCountsBytes) {
    server_.Route("/data", HttpResponse{.body = Body(2500)});
    EXPECT_THAT(DownloadWithProgress(server_.Url("/data")),
                ElementsAre(std::pair(2500, 1024), std::pair(2500, 2048), std::pair(2500, 2500),
                            std::pair(2500, 2500)));
    EXPECT_THAT(Methods(), ElementsAre("HEAD /data", "GET /data"));
    EXPECT_EQ(ReadFileBytes(File("out.bin")), Body(2500));
}

TEST_F(NetUtilsTest, ProgressWithUnknownSizeCountsBlocksAndTheFinalEmptyRead) {
    struct Case {
        std::size_t size;
        BodyFraming framing;
        std::vector<int> done;
    };
    const std::vector<Case> cases = {
        {2500, BodyFraming::CloseDelimited, {1, 2, 3, 4}},
        {2500, BodyFraming::Chunked, {1, 2, 3, 4}},  // 700-byte chunks still give 1024-byte blocks
        {2048, BodyFraming::Chunked, {1, 2, 3}},
        {0, BodyFraming::CloseDelimited, {1}},
    };
    for (const auto& c : cases) {
        server_.Route("/data", HttpResponse{.body = Body(c.size), .framing = c.framing, .chunkSize = 700});
        Progress expected;
        for (int d : c.done) expected.emplace_back(0, d);
        EXPECT_THAT(DownloadWithProgress(server_.Url("/data")), ElementsAreArray(expected)) << c.size;
        EXPECT_EQ(ReadFileBytes(File("out.bin")), Body(c.size));
    }
}

TEST_F(NetUtilsTest, ErrorPageIsStoredLikeAnyAnswer) {
    server_.Route("/missing", HttpResponse{.status = 404, .body = "<html>No such page</html>"});
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/missing"), File("page.html")));
    EXPECT_EQ(ReadFileBytes(File("page.html")), "<html>No such page</html>");
}

TEST_F(NetUtilsTest, RedirectsAreFollowedForDownloads) {
    server_.Route("/old", HttpResponse{.status = 302, .headers = {{"Location", "/new"}}, .body = "moved"});
    server_.Route("/new", HttpResponse{.body = "fresh"});
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/old"), File("page.html")));
    EXPECT_EQ(ReadFileBytes(File("page.html")), "fresh");
}

TEST_F(NetUtilsTest, UnreachableServerLeavesTheFileUntouched) {
    WriteFileAtomic(File("keep.txt"), "old content");
    const std::string address = "127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/file";
    EXPECT_TRUE(DownloadWithProgress(address, false).empty());
    EXPECT_FALSE(InetDownloadToFile(address, File("keep.txt")));
    EXPECT_EQ(ReadFileBytes(File("keep.txt")), "old content");
}

TEST_F(NetUtilsTest, TransferBrokenOffIsAFailure) {
    server_.Route("/cut", HttpResponse{.body = Body(2000), .contentLength = "5000"});
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/cut"), File("cut.bin")));
    TMemoryStream stream;
    EXPECT_FALSE(InetDownloadToStream(server_.Url("/cut"), stream));
    EXPECT_TRUE(InetDownloadLines(server_.Url("/cut"))->Empty());
}

TEST_F(NetUtilsTest, ADownloadCutOffLeavesTheOldFileWholeAndNoTemporaryFile) {
    const std::string old = "the rates of yesterday\n" + Body(3000);
    WriteFileAtomic(File("rates.txt"), old);
    ASSERT_EQ(::chmod(File("rates.txt").c_str(), 0640), 0);
    server_.Route("/cut", HttpResponse{.body = Body(6000), .contentLength = "20000"});
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/cut"), File("rates.txt")));
    EXPECT_FALSE(DownloadWithProgress(server_.Url("/cut"), false).empty());  // blocks came, then the cut
    EXPECT_EQ(ReadFileBytes(File("rates.txt")), old);
    EXPECT_FALSE(std::filesystem::exists(File("out.bin")));

    // A whole document replaces the file and keeps its permission bits.
    server_.Route("/whole", HttpResponse{.body = Body(5000)});
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/whole"), File("rates.txt")));
    EXPECT_EQ(ReadFileBytes(File("rates.txt")), Body(5000));
    EXPECT_EQ(std::filesystem::status(File("rates.txt")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    EXPECT_THAT(names, ElementsAre("rates.txt"));
}

TEST_F(NetUtilsTest, FileThatCannotBeCreatedRaises) {
    server_.Route("/page", HttpResponse{.body = "hello"});
    EXPECT_THROW(InetDownloadToFile(server_.Url("/page"), File("no/such/folder/page.html")), EInOutError);
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/page"), File("page.html")));  // the session still works
}

TEST_F(NetUtilsTest, OneSessionUntilClosedThenDownloadsFail) {
    server_.Route("/page", HttpResponse{.body = "hello"});
    const TInetSessionRec* first = InetSession();
    EXPECT_TRUE(InetOpenSession());
    EXPECT_EQ(InetSession(), first);

    InetCloseSession();
    EXPECT_EQ(InetSession(), nullptr);
    InetCloseSession();
    TMemoryStream stream;
    EXPECT_FALSE(InetDownloadToStream(server_.Url("/page"), stream));
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/page"), File("page.html")));
    EXPECT_FALSE(FileExists(File("page.html")));
    EXPECT_TRUE(server_.Requests().empty());

    EXPECT_TRUE(InetOpenSession());
    EXPECT_TRUE(InetDownloadToStream(server_.Url("/page"), stream));
    EXPECT_EQ(stream.Bytes(), "hello");
}

TEST_F(NetUtilsTest, ClosingTheSessionFromTheProgressCallbackEndsTheTransfer) {
    server_.Route("/data", HttpResponse{.body = Body(50000), .framing = BodyFraming::CloseDelimited});
    int calls = 0;
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/data"), File("out.bin"), [&](int, int) {
        ++calls;
        InetCloseSession();
    }));
    EXPECT_GE(calls, 1);
    EXPECT_EQ(InetSession(), nullptr);
    EXPECT_TRUE(InetOpenSession());
    TMemoryStream stream;
    EXPECT_TRUE(InetDownloadToStream(server_.Url("/data"), stream));
    EXPECT_EQ(stream.Bytes().size(), 50000u);
}

TEST_F(NetUtilsTest, StreamReceivesTheDocumentAtItsPosition) {
    server_.Route("/page", HttpResponse{.body = "XYZ"});
    TMemoryStream stream;
    stream.WriteString("head:");
    EXPECT_TRUE(InetDownloadToStream(server_.Url("/page"), stream));
    EXPECT_EQ(stream.Bytes(), "head:XYZ");
    stream.SetPosition(2);
    EXPECT_TRUE(InetDownloadToStream(server_.Url("/page"), stream));
    EXPECT_EQ(stream.Bytes(), "heXYZXYZ");
}

TEST_F(NetUtilsTest, LinesOpenTheSessionAndSplitAtEveryLineBreak) {
    server_.Route("/list", HttpResponse{.body = "one\r\ntwo\nthree\rfour\r\n"});
    InetCloseSession();
    const auto lines = InetDownloadLines(server_.HostPort("/list"));
    ASSERT_NE(lines, nullptr);
    const std::vector<std::string> items = test::Strings(*lines);
    EXPECT_THAT(items, ElementsAre("one", "two", "three", "four"));
    EXPECT_NE(InetSession(), nullptr);
    EXPECT_TRUE(InetDownloadLines("127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/x")->Empty());
}

// ---- the bounds of a download ----

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

struct HugePage {
    const char* name;
    BodyFraming framing;
};
void PrintTo(const HugePage& c, std::ostream* out) { *out << c.name; }

class NetUtilsSizeBoundTest : public NetUtilsTest, public ::testing::WithParamInterface<HugePage> {};

// A page declared 100 MB long is refused before its body; one without a length (or chunked)
// stops at the bound. Neither is written in full, and the old file stays.
TEST_P(NetUtilsSizeBoundTest, AHundredMegabytePageIsNotStoredAndTheOldFileStays) {
    server_.Route("/huge", HttpResponse{.framing = GetParam().framing, .generatedBytes = 100ull << 20});
    WriteFileAtomic(File("page.html"), "OLD");
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/huge"), File("page.html")));
    EXPECT_EQ(InetLastError(), "too large");
    EXPECT_EQ(ReadFileBytes(File("page.html")), "OLD");
    EXPECT_THAT(Names(dir_), ElementsAre("page.html"));
    EXPECT_TRUE(InetDownloadLines(server_.Url("/huge"))->Empty());
    EXPECT_LT(server_.SlowBodyBytesSent(), 2 * (kPageLimits.MaxBytes + (8 << 20))) << "reading went on past the bound";
    // A history file may be larger than a page.
    server_.Route("/history", HttpResponse{.framing = GetParam().framing, .generatedBytes = 20ull << 20});
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/history"), File("history.csv"), nullptr, kHistoryLimits));
    EXPECT_EQ(std::filesystem::file_size(File("history.csv")), 20u << 20);
}

INSTANTIATE_TEST_SUITE_P(Framings, NetUtilsSizeBoundTest,
                         ::testing::Values(HugePage{"DeclaredLength", BodyFraming::ContentLength},
                                           HugePage{"NoLength", BodyFraming::CloseDelimited},
                                           HugePage{"Chunked", BodyFraming::Chunked}),
                         [](const auto& test) { return std::string(test.param.name); });

// Neither implementation lets a bound of 0 mean "unbounded": no request is made.
TEST_F(NetUtilsTest, BoundsOfZeroAreRefusedWithoutARequest) {
    server_.Route("/page", HttpResponse{.body = "hello"});
    WriteFileAtomic(File("page.html"), "OLD");
    for (const TInetLimits limits : {TInetLimits{0, 0}, TInetLimits{0, 120}, TInetLimits{1 << 20, 0}}) {
        SCOPED_TRACE(std::to_string(limits.MaxBytes) + " bytes, " + std::to_string(limits.DeadlineSeconds) + " s");
        TMemoryStream stream;
        EXPECT_FALSE(InetDownloadToStream(server_.Url("/page"), stream, limits));
        EXPECT_EQ(InetLastError(), "no bounds");
        EXPECT_EQ(stream.Size(), 0);
        EXPECT_FALSE(InetDownloadToFile(server_.Url("/page"), File("page.html"), nullptr, limits));
        EXPECT_EQ(InetLastError(), "no bounds");
        EXPECT_FALSE(InetDownloadToFile(server_.Url("/page"), File("page.html"), [](int, int) {}, limits));
        EXPECT_EQ(InetLastError(), "no bounds");
        EXPECT_TRUE(InetDownloadLines(server_.Url("/page"), limits)->Empty());
    }
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_EQ(ReadFileBytes(File("page.html")), "OLD");
    EXPECT_THAT(Names(dir_), ElementsAre("page.html"));
}

struct SlowServer {
    const char* name;
    HttpResponse response;
};
void PrintTo(const SlowServer& c, std::ostream* out) { *out << c.name; }

class NetUtilsDeadlineTest : public NetUtilsTest, public ::testing::WithParamInterface<SlowServer> {
protected:
    void TearDown() override {
        unsetenv(kDeadlineVariable);
        NetUtilsTest::TearDown();
    }
};

// The stall limit alone lets a server that sends a byte now and then hold a download for
// ever; the deadline (shortened here through the environment) ends it.
TEST_P(NetUtilsDeadlineTest, ASlowServerEndsAtTheDeadlineAndTheOldFileStays) {
    setenv(kDeadlineVariable, "2", 1);
    server_.Route("/slow", GetParam().response);
    WriteFileAtomic(File("page.html"), "OLD");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/slow"), File("page.html")));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(InetLastError(), "deadline passed");
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_LT(took, std::chrono::seconds(15));
    EXPECT_EQ(ReadFileBytes(File("page.html")), "OLD");
    EXPECT_THAT(Names(dir_), ElementsAre("page.html"));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetUtilsDeadlineTest,
    ::testing::Values(SlowServer{"HeadThenSilence", HttpResponse{.body = "x", .silenceAfterHead = std::chrono::seconds(60)}},
                      SlowServer{"OneByteASecond", HttpResponse{.body = Body(300), .byteInterval = std::chrono::seconds(1)}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(NetDeadline, TheEnvironmentOnlyShortensTheDeadline) {
    const std::pair<const char*, int> cases[] = {{"", 120}, {"5", 5}, {"0", 1}, {"-3", 1}, {"999", 120}, {"7s", 120}};
    for (const auto& [text, expected] : cases) {
        setenv(kDeadlineVariable, text, 1);
        EXPECT_EQ(InetEffectiveDeadline(120), expected) << '"' << text << '"';
    }
    unsetenv(kDeadlineVariable);
    EXPECT_EQ(InetEffectiveDeadline(120), 120);
}

TEST_F(NetUtilsTest, ARedirectToAnotherSchemeIsRefusedAndSaysSo) {
    server_.Route("/moved", HttpResponse{.status = 302, .headers = {{"Location", "file:///etc/hostname"}}, .body = "m"});
    EXPECT_FALSE(InetDownloadToFile(server_.Url("/moved"), File("page.html")));
    EXPECT_THAT(InetLastError(), ::testing::StartsWith("redirect refused"));
    EXPECT_FALSE(FileExists(File("page.html")));
    server_.Route("/page", HttpResponse{.body = "fine"});
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/page"), File("page.html")));
    EXPECT_EQ(InetLastError(), "");
}

class RouteTableTest : public ::testing::Test {
protected:
    void TearDown() override { InetSetRouteTablePaths("", ""); }
    bool ConnectedWith(const std::string& ipv4, const std::string& ipv6) {
        WriteFileAtomic((dir_ / "route").string(), ipv4);
        WriteFileAtomic((dir_ / "ipv6_route").string(), ipv6);
        InetSetRouteTablePaths((dir_ / "route").string(), (dir_ / "ipv6_route").string());
        return InetIsConnected();
    }
    test::TempFolder temp_{"vemra-routes"};
    std::filesystem::path dir_ = temp_.path();
};

constexpr const char* Ipv4Heading =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
constexpr const char* Ipv6LinkLocalOnly =
    "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n"
    "ff000000000000000000000000000000 08 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000003 00000000 00000001     eth0\n"
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

TEST_F(RouteTableTest, ConnectedWhenARouteLeavesThroughARealInterface) {
    const std::string defaultRoute = "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string lanRoute = "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    const std::string loopback = "lo\t0000007F\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n";
    const std::string downRoute = "eth0\t00000000\t0101A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string rejected = "eth0\t00000000\t00000000\t0201\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string v6Default =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     wlan0\n";
    const std::string v6Global =
        "20010db8000000000000000000000000 40 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n";

    EXPECT_TRUE(ConnectedWith(Ipv4Heading + defaultRoute, ""));
    EXPECT_TRUE(ConnectedWith(Ipv4Heading + lanRoute, ""));
    EXPECT_TRUE(ConnectedWith(Ipv4Heading + loopback, std::string(Ipv6LinkLocalOnly) + v6Default));
    EXPECT_TRUE(ConnectedWith(Ipv4Heading, v6Global));

    EXPECT_FALSE(ConnectedWith(Ipv4Heading, Ipv6LinkLocalOnly));
    EXPECT_FALSE(ConnectedWith(Ipv4Heading + loopback, ""));
    EXPECT_FALSE(ConnectedWith(Ipv4Heading + downRoute + rejected, Ipv6LinkLocalOnly));
    EXPECT_FALSE(ConnectedWith("", "garbage\n"));
}

TEST_F(RouteTableTest, MissingTablesMeanNotConnected) {
    InetSetRouteTablePaths((dir_ / "none").string(), (dir_ / "none6").string());
    EXPECT_FALSE(InetIsConnected());
}

}  // namespace
}  // namespace vemra
