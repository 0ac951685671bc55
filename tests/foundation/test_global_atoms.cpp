#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <ostream>

#include "support/TestUtils.h"
#include "platform/GlobalAtoms.h"
#include "platform/InstanceLock.h"

using namespace vemra::platform;
using vemra::test::ScopedEnv;
using vemra::test::TempFolder;

namespace {

class GlobalAtomsTest : public ::testing::Test {
protected:
    TempFolder runtime_{"vemra-atoms"};
    ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.path()};
};

TEST_F(GlobalAtomsTest, AddFindDeleteIgnoringCase) {
    EXPECT_EQ(GlobalFindAtom("JustOneVemraApp"), 0);
    const auto atom = GlobalAddAtom("JustOneVemraApp");
    ASSERT_GE(atom, 0xC000);
    EXPECT_EQ(GlobalFindAtom("justonevemraapp"), atom);
    EXPECT_EQ(GlobalAddAtom("JUSTONEVEMRAAPP"), atom);
    const auto other = GlobalAddAtom("VMRHotkey");
    EXPECT_NE(other, atom);
    GlobalDeleteAtom(atom);
    EXPECT_EQ(GlobalFindAtom("JustOneVemraApp"), 0);
    EXPECT_EQ(GlobalFindAtom("VMRHotkey"), other);
}

TEST_F(GlobalAtomsTest, RuntimeFolderIsPrivate) {
    const std::string folder = RuntimeFolder();
    ASSERT_EQ(folder, runtime_.path() + "/vemra");
    EXPECT_EQ(vemra::test::FileMode(folder) & 0777, 0700u);
    GlobalAddAtom("x");
    EXPECT_EQ(vemra::test::FileMode(folder + "/atoms") & 0777, 0700u);
}

// The user's own folder open to others is narrowed to 0700 and used; whatever another user
// could have put into it is no atom.
TEST_F(GlobalAtomsTest, OwnFolderOpenToOthersIsRepaired) {
    const std::string folder = runtime_.path() + "/vemra";
    // Open to its group only counts too: a group may hold other users.
    for (mode_t mode : {0777, 0755, 0701, 0770, 0750}) {
        ::mkdir(folder.c_str(), 0700);
        ::chmod(folder.c_str(), mode);
        std::string problem = "stale";
        EXPECT_EQ(RuntimeFolder(&problem), folder) << std::oct << mode;
        EXPECT_EQ(vemra::test::FileMode(folder), 0700u) << std::oct << mode;
    }
    ::mkdir((folder + "/atoms").c_str(), 0777);
    ::chmod((folder + "/atoms").c_str(), 0777);
    const auto atom = GlobalAddAtom("JustOneVemraApp");
    EXPECT_GE(atom, 0xC000);
    EXPECT_EQ(vemra::test::FileMode(folder + "/atoms"), 0700u);
    EXPECT_EQ(AtomFolderProblem(), "");
    if (::geteuid() == 0) {
        // The same record in a file of another user counts for nothing.
        ASSERT_EQ(::chown((folder + "/atoms/justonevemraapp").c_str(), 54321, 54321), 0);
        EXPECT_EQ(GlobalFindAtom("JustOneVemraApp"), 0);
    }
}

// One holder at a time, also within one process; a holder that dies lets it go by itself.
TEST_F(GlobalAtomsTest, TheInstanceLockHasOneHolderAndGoesWithItsProcess) {
    using Result = TInstanceLock::TResult;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        TInstanceLock held;
        const char taken = held.Take("JustOneVemraApp") == Result::Taken ? 'y' : 'n';
        if (::write(ready[1], &taken, 1) != 1) _exit(1);
        ::pause();
        _exit(0);
    }
    char taken = 0;
    ASSERT_EQ(::read(ready[0], &taken, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(taken, 'y');
    TInstanceLock lock;
    EXPECT_EQ(lock.Take("JustOneVemraApp"), Result::HeldByAnother);
    EXPECT_FALSE(lock.Held());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(lock.Take("JustOneVemraApp"), Result::Taken);
    EXPECT_EQ(TInstanceLock().Take("JustOneVemraApp"), Result::HeldByAnother);
    lock.Release();
    EXPECT_EQ(TInstanceLock().Take("JustOneVemraApp"), Result::Taken);
    EXPECT_EQ(TInstanceLock::FileName("JustOneVemraApp"), runtime_.path() + "/vemra/JustOneVemraApp.lock");
    EXPECT_EQ(vemra::test::FileMode(TInstanceLock::FileName("JustOneVemraApp")), 0600u);
}

struct RefusedFolder {
    const char* name;
    std::function<void(const std::string& folder, const std::string& parent)> make;
    const char* why;
};
void PrintTo(const RefusedFolder& c, std::ostream* os) { *os << c.name; }

class RuntimeFolderRefusedTest : public GlobalAtomsTest, public ::testing::WithParamInterface<RefusedFolder> {};

// Nothing that is not the user's own folder is used or changed, and the reason names it.
TEST_P(RuntimeFolderRefusedTest, IsRefusedWithTheReason) {
    const std::string folder = runtime_.path() + "/vemra";
    GetParam().make(folder, runtime_.path());
    if (IsSkipped() || HasFatalFailure()) return;
    struct stat before {};
    ASSERT_EQ(::lstat(folder.c_str(), &before), 0);
    std::string problem;
    EXPECT_EQ(RuntimeFolder(&problem), "");
    EXPECT_NE(problem.find("The folder " + folder + " "), std::string::npos) << problem;
    EXPECT_NE(problem.find(GetParam().why), std::string::npos) << problem;
    EXPECT_EQ(AtomFolderProblem(), problem);
    EXPECT_EQ(GlobalAddAtom("JustOneVemraApp"), 0);
    struct stat after {};
    ASSERT_EQ(::lstat(folder.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RuntimeFolderRefusedTest,
    ::testing::Values(RefusedFolder{"AnotherUsersFolderOpenToAll",
                                    [](const std::string& folder, const std::string&) {
                                        if (::geteuid() != 0)
                                            GTEST_SKIP() << "needs root to make another user's folder";
                                        ::mkdir(folder.c_str(), 0777);
                                        ::chmod(folder.c_str(), 0777);
                                        ASSERT_EQ(::chown(folder.c_str(), 54321, 54321), 0);
                                    },
                                    "belongs to another user (user id 54321)"},
                      RefusedFolder{"ALinkToAPrivateFolder",
                                    [](const std::string& folder, const std::string& parent) {
                                        ::mkdir((parent + "/elsewhere").c_str(), 0700);
                                        ASSERT_EQ(::symlink((parent + "/elsewhere").c_str(), folder.c_str()), 0);
                                    },
                                    "is a link or a file"},
                      RefusedFolder{
                          "AFile",
                          [](const std::string& folder, const std::string&) { vemra::test::WriteText(folder, ""); },
                          "is a link or a file"}),
    [](const ::testing::TestParamInfo<RefusedFolder>& info) { return std::string(info.param.name); });

TEST_F(GlobalAtomsTest, AtomOfADeadProcessCountsAsAbsent) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(GlobalAddAtom("JustOneVemraApp") >= 0xC000 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(GlobalFindAtom("JustOneVemraApp"), 0);
    EXPECT_GE(GlobalAddAtom("JustOneVemraApp"), 0xC000);
    EXPECT_GE(GlobalFindAtom("JustOneVemraApp"), 0xC000);
}

TEST_F(GlobalAtomsTest, GarbageAtomFileIsIgnored) {
    GlobalAddAtom("y");
    vemra::test::WriteText(RuntimeFolder() + "/atoms/justonevemraapp", "not an atom");
    EXPECT_EQ(GlobalFindAtom("JustOneVemraApp"), 0);
    EXPECT_GE(GlobalAddAtom("JustOneVemraApp"), 0xC000);
}

}  // namespace
