// The helper run as the converter runs it: bounds it cannot honour are refused before any
// request, so a size or a deadline of 0 never reaches libcurl as "no limit".

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "support/HttpTestServer.h"
#include "support/TestUtils.h"

extern char** environ;

namespace vemra::test {
namespace {

struct Bounds {
    const char* name;
    bool toFile;
    std::vector<std::string> rest;  // after the address (and the target)
};
void PrintTo(const Bounds& c, std::ostream* out) { *out << c.name; }

class VmrfetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.Set("no_proxy", "*");
        server_.Route("/page", HttpResponse{.body = "hello"});
    }
    // The helper's exit code (-1 when it did not exit); its output in Out() and Errors().
    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), VEMRA_FETCH_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (temp_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (temp_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (started != 0 || waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() const { return ReadText(temp_ / "out"); }
    std::string Errors() const { return ReadText(temp_ / "err"); }

    HttpTestServer server_;
    TempFolder temp_{"vemra-vmrfetch"};
    ScopedEnv env_;
};

TEST_F(VmrfetchTest, ABodyWithinItsBoundsComesOnStandardOutput) {
    EXPECT_EQ(Run({"body", server_.Url("/page"), "5", "1"}), 0);
    EXPECT_EQ(Out(), "hello");
    EXPECT_EQ(Run({"body", server_.Url("/page"), "4", "1"}), 1);
    EXPECT_EQ(Errors(), "too large\n");
}

class VmrfetchBoundsTest : public VmrfetchTest, public ::testing::WithParamInterface<Bounds> {};

TEST_P(VmrfetchBoundsTest, IsRefusedAsWrongArgumentsWithoutARequest) {
    std::vector<std::string> arguments = {GetParam().toFile ? "file" : "body", server_.Url("/page")};
    if (GetParam().toFile) arguments.push_back(temp_ / "page.html");
    arguments.insert(arguments.end(), GetParam().rest.begin(), GetParam().rest.end());
    EXPECT_EQ(Run(arguments), 3);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Errors().rfind("usage: vmrfetch", 0), 0u) << Errors();
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_EQ(FolderEntries(temp_.path()), (std::vector<std::string>{"err", "out"}));
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, VmrfetchBoundsTest,
    ::testing::Values(Bounds{"BodyBoundsOfZero", false, {"0", "0"}}, Bounds{"BodySizeOfZero", false, {"0", "5"}},
                      Bounds{"BodyDeadlineOfZero", false, {"100", "0"}},
                      Bounds{"BodyNegativeSize", false, {"-1", "5"}},
                      Bounds{"BodySizeNotANumber", false, {"10k", "5"}},
                      Bounds{"FileBoundsOfZero", true, {"0", "0"}},
                      Bounds{"FileDeadlineOfZeroWithProgress", true, {"100", "0", "progress"}}),
    [](const auto& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace vemra::test
