// Plug-in packages and libraries run their code with the user's rights: the converter takes
// none from a place that another user can write.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>

#include <string>

#include "ConverterPlugInn.h"
#include "PackageInstall.h"
#include "PlugginMan.h"
#include "ResourceFiles.h"
#include "SysCaller.h"
#include "platform/FileTrust.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

struct TrustCase {
    const char* name;
    mode_t folderMode;
    mode_t fileMode;
    bool writableByOthers;
};

void PrintTo(const TrustCase& c, std::ostream* os) {
    *os << c.name << " (folder " << std::oct << c.folderMode << ", file " << c.fileMode << std::dec << ": "
        << (c.writableByOthers ? "writable by others" : "the owner's alone") << ")";
}

class FileTrust : public testing::TestWithParam<TrustCase> {
protected:
    TempFolder tmp{"trust"};
};

TEST_P(FileTrust, FollowsTheFileAndItsFolder) {
    const std::string folder = tmp / "folder";
    ::mkdir(folder.c_str(), 0700);
    const std::string file = folder + "/lib.so";
    WriteText(file, "x");
    ::chmod(file.c_str(), GetParam().fileMode);
    ::chmod(folder.c_str(), GetParam().folderMode);
    EXPECT_EQ(platform::WritableByOthers(file), GetParam().writableByOthers);
    ::chmod(folder.c_str(), 0700);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FileTrust,
    testing::Values(TrustCase{"OwnFileInOwnFolder", 0755, 0644, false},
                    TrustCase{"FolderWritableByAll", 0777, 0644, true},
                    TrustCase{"FileWritableByAll", 0755, 0666, true},
                    TrustCase{"StickyFolderKeepsOwnFiles", 01777, 0644, false}),
    [](const testing::TestParamInfo<TrustCase>& info) { return std::string(info.param.name); });

// Group write is trusted only for the user's own private group: the primary group named as
// the user, with no members listed. Any other group may hold other users.
struct GroupCase {
    const char* name;
    bool onFolder;      // the folder is group-writable (0770), else the file (0664)
    bool privateGroup;  // the user's own private group, else a shared one ("users")
    bool writableByOthers;
};
void PrintTo(const GroupCase& c, std::ostream* os) { *os << c.name; }

bool UserHasPrivateGroup() {
    const passwd* user = ::getpwuid(::getuid());
    const group* own = ::getgrgid(::getgid());
    if (user == nullptr || own == nullptr || std::string(own->gr_name) != user->pw_name ||
        (own->gr_mem != nullptr && own->gr_mem[0] != nullptr))
        return false;
    const gid_t gid = own->gr_gid;
    const uid_t uid = ::getuid();
    bool alone = true;
    ::setpwent();
    while (const passwd* other = ::getpwent()) alone = alone && (other->pw_gid != gid || other->pw_uid == uid);
    ::endpwent();
    return alone;
}

class GroupWrite : public testing::TestWithParam<GroupCase> {
protected:
    TempFolder tmp{"trust-group"};
};

TEST_P(GroupWrite, IsTrustedOnlyForTheUsersPrivateGroup) {
    const std::string folder = tmp / "folder";
    ::mkdir(folder.c_str(), 0700);
    const std::string file = folder + "/lib.so";
    WriteText(file, "x");
    ::chmod(file.c_str(), 0644);
    const std::string& target = GetParam().onFolder ? folder : file;
    const group* shared = ::getgrnam("users");
    const gid_t gid = GetParam().privateGroup ? ::getgid() : shared != nullptr ? shared->gr_gid : 100;
    if (GetParam().privateGroup && !UserHasPrivateGroup()) GTEST_SKIP() << "the user's group is not private";
    if (::chown(target.c_str(), static_cast<uid_t>(-1), gid) != 0) GTEST_SKIP() << "needs root to change the group";
    ::chmod(target.c_str(), GetParam().onFolder ? 0770 : 0664);
    EXPECT_EQ(platform::WritableByOthers(file), GetParam().writableByOthers);
}

INSTANTIATE_TEST_SUITE_P(Groups, GroupWrite,
                         testing::Values(GroupCase{"SharedGroupFile", false, false, true},
                                         GroupCase{"SharedGroupFolder", true, false, true},
                                         GroupCase{"OwnPrivateGroupFile", false, true, false},
                                         GroupCase{"OwnPrivateGroupFolder", true, true, false}),
                         [](const auto& p) { return std::string(p.param.name); });

// nobody's primary group is nogroup: not named as the user, so a group other users may share.
TEST(FileTrustPrimaryGroup, AGroupNotNamedAsTheUserIsNotTheUsersOwn) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "needs root to act as nobody";
    TempFolder tmp{"trust-primary"};
    ::chmod(tmp.path().c_str(), 0711);  // nobody passes through to its folder
    const std::string folder = tmp / "folder";
    ::mkdir(folder.c_str(), 0700);
    const std::string file = folder + "/lib.so";
    WriteText(file, "x");
    ::chmod(file.c_str(), 0644);
    if (::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
        ::chown(file.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
        GTEST_SKIP() << "needs root to give the files away";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) ::_exit(2);
        if (platform::WritableByOthers(file)) ::_exit(3);  // its own file, 0644, in its own folder
        ::chmod(file.c_str(), 0664);
        ::_exit(platform::WritableByOthers(file) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: trusted with 0664; 2: could not become nobody; 3: 0644 refused";
}

// A group named as the user, with no members listed, is still shared when it is another
// user's primary group: that user writes what the group may. The user list is made up in a
// mount namespace of a child, so the system's own stays as it is.
struct PrimaryGroupCase {
    const char* name;
    const char* otherUser;  // a passwd line besides the user's own; "" for none
    bool writableByOthers;
};
void PrintTo(const PrimaryGroupCase& c, std::ostream* os) { *os << c.name; }

class PrimaryGroupOfOthers : public testing::TestWithParam<PrimaryGroupCase> {};

TEST_P(PrimaryGroupOfOthers, MakesTheGroupShared) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace";
    TempFolder tmp{"trust-users"};
    ::chmod(tmp.path().c_str(), 0711);
    const std::string passwd = tmp / "passwd";
    const std::string groups = tmp / "group";
    WriteText(passwd, std::string("root:x:0:0::/root:/bin/sh\nvemrauser:x:4711:4711::/:/bin/sh\n") +
                          GetParam().otherUser);
    WriteText(groups, "root:x:0:\nvemrauser:x:4711:\n");
    const std::string folder = tmp / "folder";
    ::mkdir(folder.c_str(), 0700);
    const std::string file = folder + "/lib.so";
    WriteText(file, "x");
    ::chmod(file.c_str(), 0664);
    ASSERT_EQ(::chown(folder.c_str(), 4711, 4711), 0);
    ASSERT_EQ(::chown(file.c_str(), 4711, 4711), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(passwd.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(groups.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0)
            ::_exit(2);
        if (::setgroups(0, nullptr) != 0 || ::setgid(4711) != 0 || ::setuid(4711) != 0) ::_exit(2);
        ::_exit(platform::WritableByOthers(file) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), GetParam().writableByOthers ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Users, PrimaryGroupOfOthers,
    testing::Values(PrimaryGroupCase{"GroupOfTheUserAlone", "", false},
                    PrimaryGroupCase{"GroupAlsoAnotherUsersPrimary", "other:x:4712:4711::/:/bin/sh\n", true}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FileTrustMissing, APathThatCannotBeExaminedIsNotTrusted) {
    EXPECT_TRUE(platform::WritableByOthers("/no/such/file.so"));
    EXPECT_TRUE(platform::WritableByOthers(""));
}

class UntrustedPlaces : public testing::Test {
protected:
    UntrustedPlaces() : savedPub_(PubData), savedApp_(AppData) {
        // The plug-in manager finds its folders through the home: a temporary one.
        env.Set("HOME", tmp / "home");
        env.Set("XDG_DATA_HOME", tmp / "home/data");
        env.Set("XDG_CONFIG_HOME", tmp / "home/config");
        env.Set("VEMRA_REGISTRY_DIR", tmp / "home/registry");
        env.Set("VEMRA_SYSTEM_ROOT", tmp / "home/machine");
        ::mkdir((tmp / "pub").c_str(), 0755);
        ::mkdir((tmp / "app").c_str(), 0755);
        PubData = tmp / "pub";
        AppData = tmp / "app";
    }
    ~UntrustedPlaces() override {
        ::chmod((tmp / "pub").c_str(), 0755);
        PubData = savedPub_;
        AppData = savedApp_;
    }
    TempFolder tmp{"untrusted"};
    ScopedEnv env;

private:
    std::string savedPub_, savedApp_;
};

TEST_F(UntrustedPlaces, APackageInAFolderOthersCanWriteIsNotInstalled) {
    WriteText(tmp / "pub/ECB.vpl", "package");
    ::chmod((tmp / "pub").c_str(), 0777);
    int extracted = 0;
    std::string shown;
    TPackageInstallHost host;
    host.ExtractArchive = [&](const std::string&, const std::string&, bool*) { return ++extracted, false; };
    host.ShowMessage = [&](const std::string& text) { shown = text; };
    TPlugginMan manager;
    EXPECT_FALSE(InstallPluginPackage(manager, host, tmp / "pub/ECB.vpl", "ECB", "ECB", tmp / "pub/ECB"));
    EXPECT_EQ(extracted, 0);
    // Moved out of the waiting packages, so it is told once; the user can bring it back.
    const std::string refused = RefusedPackageFileName("ECB");
    EXPECT_EQ(shown, "Error installing: " + tmp / "pub/ECB.vpl" +
                         "\r\nOther users can change this package or its folder, so it was not installed. It was "
                         "moved to " + refused + ".");
    EXPECT_FALSE(FileExists(tmp / "pub/ECB.vpl"));
    EXPECT_EQ(ReadText(refused), "package");
}

// A file in the user's own private folder that another user owns was placed there by someone
// else: neither a plug-in library nor the resource library is loaded from it.
TEST_F(UntrustedPlaces, ALibraryOwnedByAnotherUserIsRefusedAndNamed) {
    const std::string plugin = tmp / "app/ECB.so";
    const std::string resources = ResourceLibraryFileName();
    ASSERT_TRUE(CopyFileTo(VEMRA_ECB_RATESOURCE, plugin, false));
    ASSERT_TRUE(CopyFileTo(VEMRA_ECB_RATESOURCE, resources, false));  // any library will do
    ASSERT_NE(LoadResourceLibrary(), nullptr);
    FreeResourceLibrary();
    for (const std::string& file : {plugin, resources})
        if (::chown(file.c_str(), 54321, 54321) != 0) GTEST_SKIP() << "needs root to give a file away";
    TStringList definition;
    TConverterPlugInn source(definition, "ECB");
    EXPECT_FALSE(source.LoadPluginLibrary(plugin));
    EXPECT_EQ(source.RefusedLibrary(), plugin);
    TakeRefusedResourceLibrary();
    EXPECT_EQ(LoadResourceLibrary(), nullptr);
    EXPECT_EQ(TakeRefusedResourceLibrary(), resources);
    EXPECT_EQ(TakeRefusedResourceLibrary(), "") << "told once";
}

TEST_F(UntrustedPlaces, ALibraryIsBoundOnlyFromAFolderNoOtherUserCanWrite) {
    const std::string library = tmp / "app/ECB.so";
    ASSERT_TRUE(CopyFileTo(VEMRA_ECB_RATESOURCE, library, false));
    TStringList definition;
    {
        TConverterPlugInn source(definition, "ECB");
        EXPECT_TRUE(source.LoadPluginLibrary(library));
        source.UnloadPluginLibrary();
    }
    ::chmod((tmp / "app").c_str(), 0777);
    TConverterPlugInn source(definition, "ECB");
    EXPECT_FALSE(source.LoadPluginLibrary(library));
    EXPECT_EQ(source.RefusedLibrary(), library);
    ::chmod((tmp / "app").c_str(), 0755);
    // One that is not there is missing, not refused.
    std::remove(library.c_str());
    EXPECT_FALSE(source.LoadPluginLibrary(library));
    EXPECT_EQ(source.RefusedLibrary(), "");
}

}  // namespace
}  // namespace vemra::test
