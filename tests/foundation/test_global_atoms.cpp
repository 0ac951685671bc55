#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestUtils.h"
#include "platform/GlobalAtoms.h"

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

TEST_F(GlobalAtomsTest, FolderOpenToOthersIsRefused) {
    ::mkdir((runtime_.path() + "/vemra").c_str(), 0777);
    ::chmod((runtime_.path() + "/vemra").c_str(), 0777);
    EXPECT_EQ(RuntimeFolder(), "");
    EXPECT_EQ(GlobalAddAtom("JustOneVemraApp"), 0);
}

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
