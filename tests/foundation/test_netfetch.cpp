// What the in-process downloads offer the helper vmrfetch beyond NetUtils.h: the notice of
// each temporary file, and that file is written only through the descriptor that made it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "NetFetch.h"
#include "NetUtils.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

using test::HttpResponse;

class NetFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "*", 1);
        ASSERT_TRUE(InetOpenSession());
        server_.Route("/page", HttpResponse{.body = "fresh page"});
        WriteFileAtomic(File("Data.txt"), "OLD");
        WriteFileAtomic(File("victim.txt"), "victim");
    }
    void TearDown() override {
        InetSetTemporaryFileNotice(nullptr);
        InetCloseSession();
    }
    std::string File(const std::string& name) const { return temp_ / name; }

    test::HttpTestServer server_;
    test::TempFolder temp_{"vemra-netfetch"};
};

TEST_F(NetFetchTest, TheTemporaryFileIsAnnouncedBesideTheTarget) {
    std::string announced;
    InetSetTemporaryFileNotice([&](const std::string& temp) {
        announced = temp;
        EXPECT_TRUE(std::filesystem::is_regular_file(temp));
    });
    EXPECT_TRUE(InetDownloadToFile(server_.Url("/page"), File("Data.txt")));
    EXPECT_EQ(ExtractFileDir(announced), temp_.path());
    EXPECT_THAT(ExtractFileName(announced), ::testing::StartsWith(".Data.txt."));
    EXPECT_TRUE(IsReplaceTempName(ExtractFileName(announced)));
    EXPECT_FALSE(FileExists(announced));
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "fresh page");
}

// Someone who may write the folder swaps the fresh temporary file for a link: the page is
// not written through it, and the link does not take the target's place.
TEST_F(NetFetchTest, ALinkPlantedAtTheTemporaryNameIsNeitherFollowedNorMovedIntoPlace) {
    InetSetTemporaryFileNotice([&](const std::string& temp) {
        ASSERT_EQ(::unlink(temp.c_str()), 0);
        ASSERT_EQ(::symlink(File("victim.txt").c_str(), temp.c_str()), 0);
    });
    EXPECT_THROW(InetDownloadToFile(server_.Url("/page"), File("Data.txt")), EInOutError);
    EXPECT_EQ(ReadFileBytes(File("victim.txt")), "victim");
    EXPECT_FALSE(std::filesystem::is_symlink(File("Data.txt")));
    EXPECT_EQ(ReadFileBytes(File("Data.txt")), "OLD");
    EXPECT_THAT(test::FolderEntries(temp_.path()), ::testing::ElementsAre("Data.txt", "victim.txt"));
}

}  // namespace
}  // namespace vemra
