#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SysCaller.h"
#include "SysWinCore.h"
#include "platform/FileVersion.h"
#include "platform/Registry.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

// The program's own resources, looked up the same way as a module's.
extern "C" __attribute__((visibility("default"))) int vemra_resource_lookup(
    const char* name, const unsigned char** data, std::size_t* size) {
    static const unsigned char kSelf[] = {'o', 'w', 'n', 0, '!'};
    if (std::string_view(name) != "SELF") return 0;
    *data = kSelf;
    *size = sizeof kSelf;
    return 1;
}

namespace vemra {
namespace {

namespace fs = std::filesystem;

using test::FolderEntries;
using test::ScopedEnv;
using test::TempFolder;
using test::WriteText;

std::vector<std::string> Sorted(const TStringList& list) {
    std::vector<std::string> v = test::Strings(list);
    std::sort(v.begin(), v.end());
    return v;
}

// ---- SysWinCore ----

TEST(SysWinCore, FileBaseNameDropsFolderAndExtension) {
    EXPECT_EQ(FileBaseName("/home/u/Desktop/Vemra.desktop"), "Vemra");
    EXPECT_EQ(FileBaseName("/opt/v.1/vemra"), "vemra");
    EXPECT_EQ(FileBaseName("archive.tar.gz"), "archive.tar");
}

TEST(SysWinCore, ArchitectureComesFromTheMachine) {
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    std::string machine = u.machine;
    TSystemInfo info;
    EXPECT_TRUE(GetNativeSystemInfoSafe(info));
    if (machine == "x86_64") {
        EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    } else if (machine == "aarch64") {
        EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_ARM64);
    }
    if (machine == "x86_64" || machine == "aarch64") {
        EXPECT_TRUE(IsWindows64());
    }
    EXPECT_EQ(RegistryView, IsWindows64() ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
}

TEST(SysWinCore, FolderGlobalsAreFilledAtStart) {
    EXPECT_EQ(WindowsDir, "/usr/share");
    ASSERT_FALSE(TempDir.empty());
    EXPECT_TRUE(TempDir == "/" || TempDir.back() != '/');
}

TEST(FileVersion, OwnExecutableCarriesTheProjectVersion) {
    EXPECT_EQ(GetFileVersionText("/proc/self/exe"), VEMRA_VERSION_TEXT);
}

TEST(FileVersion, OtherFilesHaveNone) {
    TempFolder tmp;
    EXPECT_EQ(GetFileVersionText(VEMRA_TEST_RESOURCE_MODULE), "");  // a library built without one
    EXPECT_EQ(GetFileVersionText(VEMRA_TEST_FOUNDATION_LIBRARY), "");  // holds only the reader's marker
    EXPECT_EQ(GetFileVersionText(tmp / "missing"), "");
    EXPECT_EQ(GetFileVersionText(tmp.path()), "");
    WriteText(tmp / "plain.txt", "no record here");
    EXPECT_EQ(GetFileVersionText(tmp / "plain.txt"), "");
}

// The test's records are put together at run time: a whole one written here as a literal
// would be a record of this very executable.
const std::string kMarker(platform::kFileVersionMarker);

TEST(FileVersion, RecordsAreReadStrictly) {
    TempFolder tmp;
    const std::string& m = kMarker;
    using namespace std::string_literals;
    struct Case {
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"junk" + m + "1.2.3.4\0tail"s, "1.2.3.4"},
        {m + "01.002.3.65535\0"s, "1.2.3.65535"},
        {m + "\0"s + m + "9.8.7.6\0"s, "9.8.7.6"},  // a bare marker before the record is skipped
        {m + "1.2.3\0"s, ""},
        {m + "1.2.3.4.5\0"s, ""},
        {m + "1.2.3.65536\0"s, ""},
        {m + "1.2.3.4"s, ""},  // not ended by a NUL
        {m + "1.a.3.4\0"s, ""},
    };
    for (const Case& c : cases) {
        WriteText(tmp / "f.bin", c.bytes);
        EXPECT_EQ(GetFileVersionText(tmp / "f.bin"), c.expected) << c.bytes;
    }
}

TEST(FileVersion, RecordAcrossChunkBoundaries) {
    TempFolder tmp;
    using namespace std::string_literals;
    const std::string record = kMarker + "4.3.2.1\0"s;
    for (std::size_t at : {65536 - 10, 65536 - 19, 65536 - 22, 65536 + 3, 3 * 65536 - 1}) {
        std::string bytes(at, 'x');
        bytes += record + std::string(100, 'y');
        WriteText(tmp / "big.bin", bytes);
        EXPECT_EQ(GetFileVersionText(tmp / "big.bin"), "4.3.2.1") << at;
    }
}

// ---- VersionToInt, RaiseShellError ----

TEST(VersionToInt, PacksUpToFourBytes) {
    struct Case {
        const char* text;
        std::uint32_t expected;
    } cases[] = {
        {"9.3.1.1", 0x09030101u},
        {"9.3", 0x09030000u},
        {"1.2.3.4.5", 0x01020304u},
        {"300.1.1.1", 0x2C010101u},
        {"", 0u},
        {"1.x.3.4", 0x01000000u},        // reading stops at the first part that is no number
        {"$10.0x20.3.4", 0x10200304u},    // the class library's integer syntax
        {"-1.0.0.0", 0xFF000000u},
        // After each '.' only 20 characters are kept: here the '.' or the "3" is cut off.
        {"1.00000000000000000002.3", 0x01000000u},
        {"1.0000000000000000002.3", 0x01020000u},
        {"1.00000000000000002.3", 0x01020300u},
    };
    for (const Case& c : cases) EXPECT_EQ(VersionToInt(c.text), c.expected) << c.text;
}

std::string ShellErrorText(int code) {
    try {
        RaiseShellError(code);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(none)";
}

TEST(RaiseShellError, TableCodesRaiseTheirTextOthersNothing) {
    const std::map<int, std::string> table = {
        {0, "The operating system is out of memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied access to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred."},
        {27, "The filename association is incomplete or invalid."},
        {28, "The DDE transaction could not be completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
        {31, "There is no application associated with the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
    };
    for (int code = -1; code <= 40; ++code) {
        auto it = table.find(code);
        EXPECT_EQ(ShellErrorText(code), it == table.end() ? "(none)" : it->second) << code;
    }
}

// ---- ShellOpen with a stand-in xdg-open ----

class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin_ = tmp_ / "bin";
        fs::create_directories(bin_);
        env_.Set("PATH", bin_ + ":/usr/bin:/bin");
        env_.Set("FAKE_OPENER_ARGS", tmp_ / "args");
        env_.Set("FAKE_OPENER_PID", tmp_ / "pid");
        env_.Set("FAKE_OPENER_EXIT", "0");
    }
    // The opener records its arguments one per line, then exits or keeps running.
    void InstallOpener(bool keepRunning = false) {
        std::string script =
            "#!/bin/sh\n"
            "echo $$ > \"$FAKE_OPENER_PID\"\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$FAKE_OPENER_ARGS\"\n";
        script += keepRunning ? "exec sleep 30 </dev/null >/dev/null 2>&1\n" : "exit $FAKE_OPENER_EXIT\n";
        WriteText(bin_ + "/xdg-open", script);
        chmod((bin_ + "/xdg-open").c_str(), 0755);
    }
    std::vector<std::string> OpenerArgs() const {
        if (!FileExists(tmp_ / "args")) return {"(not run)"};
        return SplitLines(ReadFileBytes(tmp_ / "args"));
    }
    std::string OpenError(const std::string& target, const std::string& params = {}) {
        try {
            ShellOpen(target, params);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    TempFolder tmp_;
    ScopedEnv env_;
    std::string bin_;
};

TEST_F(ShellOpenTest, OpensFilesAndAddressesWithSeparateArguments) {
    InstallOpener();
    WriteText(tmp_ / "my log.txt", "x");
    EXPECT_EQ(ShellOpen(tmp_ / "my log.txt", ""), 33);
    EXPECT_EQ(OpenerArgs(), (std::vector<std::string>{tmp_ / "my log.txt"}));

    EXPECT_EQ(ShellOpen("https://example.org/q?a=1&b=$HOME;x", "two words"), 33);
    EXPECT_EQ(OpenerArgs(), (std::vector<std::string>{"https://example.org/q?a=1&b=$HOME;x", "two words"}));
}

TEST_F(ShellOpenTest, RelativeNameStartingWithDashIsNoOption) {
    InstallOpener();
    std::string old = fs::current_path().string();
    fs::current_path(tmp_.path());
    WriteText(tmp_ / "-h", "x");
    int result = ShellOpen("-h", "");
    fs::current_path(old);
    EXPECT_EQ(result, 33);
    EXPECT_EQ(OpenerArgs(), (std::vector<std::string>{"./-h"}));
}

TEST_F(ShellOpenTest, MissingTargetsAreReportedWithoutRunningTheOpener) {
    InstallOpener();
    EXPECT_EQ(OpenError(tmp_ / "none.txt"), "The specified file was not found.");
    EXPECT_EQ(OpenError(tmp_ / "nofolder/none.txt"), "The specified path was not found.");
    EXPECT_EQ(OpenError(""), "The specified file was not found.");
    EXPECT_EQ(OpenerArgs(), (std::vector<std::string>{"(not run)"}));
}

TEST_F(ShellOpenTest, UnreadableFileIsAccessDenied) {
    if (!test::PermissionsBind()) GTEST_SKIP() << "permissions do not bind this process";
    InstallOpener();
    WriteText(tmp_ / "secret", "x");
    chmod((tmp_ / "secret").c_str(), 0);
    EXPECT_EQ(OpenError(tmp_ / "secret"), "The operating system denied access to the specified file.");
}

TEST_F(ShellOpenTest, OpenerFailuresMapOntoShellCodes) {
    InstallOpener();
    const std::map<std::string, std::string> byExit = {
        {"1", "The filename association is incomplete or invalid."},
        {"2", "The specified file was not found."},
        {"3", "There is no application associated with the given filename extension."},
        {"4", "There is no application associated with the given filename extension."},
    };
    for (const auto& [code, text] : byExit) {
        env_.Set("FAKE_OPENER_EXIT", code);
        EXPECT_EQ(OpenError("https://example.org/"), text) << code;
    }
}

TEST_F(ShellOpenTest, NoOpenerInstalled) {
    env_.Set("PATH", bin_);
    EXPECT_EQ(OpenError("https://example.org/"),
              "There is no application associated with the given filename extension.");
}

TEST_F(ShellOpenTest, OpenerThatKeepsRunningCountsAsStarted) {
    InstallOpener(true);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ShellOpen("https://example.org/", ""), 33);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    std::string pid = Trim(ReadFileBytes(tmp_ / "pid"));
    ASSERT_FALSE(pid.empty());
    kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
}

// ---- folders ----

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.Set("HOME", tmp_ / "home");
        env_.Set("XDG_CONFIG_HOME", tmp_ / "config");
        env_.Set("XDG_DATA_HOME", tmp_ / "data/");
        env_.Set("TMPDIR", tmp_ / "tmp/");
    }
    TempFolder tmp_;
    ScopedEnv env_;
};

TEST_F(FolderTest, UserFoldersFollowXdgWithoutTrailingSlash) {
    EXPECT_EQ(GetSpecialFolder(1), tmp_ / "home/Desktop");
    EXPECT_EQ(GetSpecialFolder(9), tmp_ / "home/Documents");
    WriteText(tmp_ / "config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch/\"\n"
              "XDG_DOCUMENTS_DIR=\"/srv/my docs\"\n"
              "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
    EXPECT_EQ(GetSpecialFolder(1), tmp_ / "home/Schreibtisch");
    EXPECT_EQ(GetSpecialFolder(9), "/srv/my docs");
    EXPECT_EQ(GetSpecialFolder(2), tmp_ / "data");
    EXPECT_EQ(GetSpecialFolder(3), tmp_ / "data/applications");
    EXPECT_EQ(GetSpecialFolder(4), tmp_ / "config/autostart");
    EXPECT_EQ(GetSpecialFolder(12), tmp_ / "tmp");
}

TEST_F(FolderTest, RelativeXdgBaseIsIgnored) {
    env_.Set("XDG_DATA_HOME", "relative/data");
    env_.Unset("XDG_CONFIG_HOME");
    EXPECT_EQ(GetSpecialFolder(2), tmp_ / "home/.local/share");
    EXPECT_EQ(GetSpecialFolder(4), tmp_ / "home/.config/autostart");
}

TEST_F(FolderTest, MachineFoldersLieUnderTheSystemRootWhenWritable) {
    ForceDirectories(tmp_ / "sys");
    env_.Set("VEMRA_SYSTEM_ROOT", tmp_ / "sys/");
    EXPECT_EQ(GetSpecialFolder(0), tmp_ / "sys/opt");
    EXPECT_EQ(GetSpecialFolder(5), tmp_ / "sys/usr/local/share/applications");
    EXPECT_EQ(GetSpecialFolder(6), tmp_ / "sys/var/lib");
    EXPECT_EQ(GetSpecialFolder(7), tmp_ / "sys/usr/local/share/applications");
    EXPECT_EQ(GetSpecialFolder(8), tmp_ / "sys/etc/xdg/autostart");
}

TEST_F(FolderTest, MachineFoldersFallBackToTheUsersWhereTheyCannotBeWritten) {
    env_.Set("VEMRA_SYSTEM_ROOT", tmp_ / "no-such-machine");
    EXPECT_EQ(GetSpecialFolder(0), tmp_ / "home/.local/opt");
    EXPECT_EQ(GetSpecialFolder(5), GetSpecialFolder(1));
    EXPECT_EQ(GetSpecialFolder(6), GetSpecialFolder(9));
    EXPECT_EQ(GetSpecialFolder(7), GetSpecialFolder(3));
    EXPECT_EQ(GetSpecialFolder(8), GetSpecialFolder(4));
}

TEST_F(FolderTest, FixedFoldersAndSystemDirs) {
    EXPECT_EQ(GetSpecialFolder(10), "/usr/share");
    EXPECT_EQ(GetSpecialFolder(11), "/usr/lib");
    EXPECT_EQ(GetSystemDir(0), "/usr/share");
    EXPECT_EQ(GetSystemDir(1), "/usr/lib");
    EXPECT_EQ(GetSystemDir(2), tmp_ / "tmp");
    env_.Unset("TMPDIR");
    EXPECT_EQ(GetSpecialFolder(12), "/tmp");
}

TEST_F(FolderTest, KindsOutsideTheTableLeaveTheResultUntouched) {
    for (int kind : {-1, 13, 100}) {
        std::string folder = "before";
        EXPECT_FALSE(GetSpecialFolder(kind, folder));
        EXPECT_EQ(folder, "before");
        EXPECT_EQ(GetSpecialFolder(kind), "");
    }
    std::string folder = "before";
    EXPECT_TRUE(GetSpecialFolder(12, folder));
    EXPECT_EQ(folder, tmp_ / "tmp");
}

// ---- ListFiles ----

TEST(ListFiles, MatchesNamesInTheFolderAndHidesDotNames) {
    TempFolder tmp;
    for (const char* name : {"2024.01.05-ECB.vmr", "2024.01.06-ECB.vmr", "2024.02.01-ECB.VMR", ".2024.01.07.vmr",
                             "notes.txt"})
        WriteText(tmp / name, "x");
    fs::create_directories(tmp / "old.vmr");

    EXPECT_EQ(Sorted(*ListFiles(tmp / "2024.01.*.vmr")),
              (std::vector<std::string>{"2024.01.05-ECB.vmr", "2024.01.06-ECB.vmr"}));
    EXPECT_EQ(Sorted(*ListFiles(tmp / "*.vmr")),
              (std::vector<std::string>{"2024.01.05-ECB.vmr", "2024.01.06-ECB.vmr", "2024.02.01-ECB.VMR", "old.vmr"}));
    EXPECT_EQ(Sorted(*ListFiles(tmp / "notes.tx?")), (std::vector<std::string>{"notes.txt"}));
    EXPECT_EQ(Sorted(*ListFiles(tmp / "*")).size(), 5u);  // neither ".", ".." nor the dot file
}

TEST(ListFiles, NothingMatchingGivesAnEmptyList) {
    TempFolder tmp;
    auto none = ListFiles(tmp / "*.vpl");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->Count(), 0);
    auto missing = ListFiles(tmp / "no/such/folder/*.vpl");
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->Count(), 0);
}

// ---- CopyFileTo ----

TEST(CopyFileTo, CopiesContentsModeAndTimeAndHonoursTheFlag) {
    TempFolder tmp;
    WriteText(tmp / "src.vpl", std::string("pack\0age", 8));
    chmod((tmp / "src.vpl").c_str(), 0640);
    fs::last_write_time(tmp / "src.vpl", fs::file_time_type::clock::now() - std::chrono::hours(48));

    ASSERT_TRUE(CopyFileTo(tmp / "src.vpl", tmp / "dst.vpl", true));
    EXPECT_EQ(ReadFileBytes(tmp / "dst.vpl"), std::string("pack\0age", 8));
    EXPECT_EQ(fs::status(tmp / "dst.vpl").permissions(), fs::status(tmp / "src.vpl").permissions());
    EXPECT_EQ(fs::last_write_time(tmp / "dst.vpl"), fs::last_write_time(tmp / "src.vpl"));

    WriteText(tmp / "src.vpl", "newer");
    EXPECT_FALSE(CopyFileTo(tmp / "src.vpl", tmp / "dst.vpl", true));
    EXPECT_EQ(ReadFileBytes(tmp / "dst.vpl"), std::string("pack\0age", 8));
    EXPECT_TRUE(CopyFileTo(tmp / "src.vpl", tmp / "dst.vpl", false));
    EXPECT_EQ(ReadFileBytes(tmp / "dst.vpl"), "newer");
    EXPECT_EQ(FolderEntries(tmp.path()), (std::vector<std::string>{"dst.vpl", "src.vpl"}));  // no leftovers
}

TEST(CopyFileTo, FailsOnReadOnlyDestinationAndMissingParts) {
    TempFolder tmp;
    WriteText(tmp / "src", "new");
    WriteText(tmp / "ro", "old");
    chmod((tmp / "ro").c_str(), 0444);
    EXPECT_FALSE(CopyFileTo(tmp / "src", tmp / "ro", false));
    EXPECT_EQ(ReadFileBytes(tmp / "ro"), "old");
    EXPECT_FALSE(CopyFileTo(tmp / "missing", tmp / "x", false));
    EXPECT_FALSE(CopyFileTo(tmp / "src", tmp / "no/folder/x", false));
    EXPECT_FALSE(FileExists(tmp / "x"));
}

// ---- SaveResourceToFile ----

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = dlopen(VEMRA_TEST_RESOURCE_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (module_) dlclose(module_);
    }
    TempFolder tmp_;
    HMODULE module_ = nullptr;
};

TEST_F(ResourceTest, WritesTheBytesMakingTheFolderAndReplacingTheFile) {
    const std::string lic("{\\rtf1\0\xFF}\n", 10);
    SaveResourceToFile("LIC", tmp_ / "a/b/license.rtf", module_);
    EXPECT_EQ(ReadFileBytes(tmp_ / "a/b/license.rtf"), lic);

    WriteText(tmp_ / "old.rtf", "a longer old text that must go");
    SaveResourceToFile("LIC", tmp_ / "old.rtf", module_);
    EXPECT_EQ(ReadFileBytes(tmp_ / "old.rtf"), lic);

    SaveResourceToFile("EMPTY", tmp_ / "empty.bin", module_);
    EXPECT_EQ(ReadFileBytes(tmp_ / "empty.bin"), "");
}

TEST_F(ResourceTest, MissingResourceRaisesAndKeepsTheFile) {
    WriteText(tmp_ / "keep.bin", "old");
    try {
        SaveResourceToFile("NOPE", tmp_ / "keep.bin", module_);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Resource NOPE not found");
    }
    EXPECT_EQ(ReadFileBytes(tmp_ / "keep.bin"), "old");
    EXPECT_THROW(SaveResourceToFile("SELF", tmp_ / "x", module_), Exception);  // not the module's
}

TEST_F(ResourceTest, NoModuleMeansTheProgramItself) {
    SaveResourceToFile("SELF", tmp_ / "self.bin");
    EXPECT_EQ(ReadFileBytes(tmp_ / "self.bin"), std::string("own\0!", 5));
    EXPECT_THROW(SaveResourceToFile("LIC", tmp_ / "lic.bin"), Exception);
}

// Programs started together each lay out the same files: one that reads a file while another
// replaces it finds the old file or the new one, never none.
TEST_F(ResourceTest, AFileBeingReplacedIsNeverMissingForAReader) {
    const std::string file = tmp_ / "license.rtf";
    SaveResourceToFile("LIC", file, module_);
    std::atomic<bool> done{false};
    std::atomic<int> missing{0};
    std::thread reader([&] {
        while (!done) {
            if (::access(file.c_str(), F_OK) != 0) ++missing;
        }
    });
    for (int i = 0; i < 200; ++i) SaveResourceToFile("LIC", file, module_);
    done = true;
    reader.join();
    EXPECT_EQ(missing, 0);
}

// A file replaced because it could not be read (a language file of mode 000) is readable after.
TEST_F(ResourceTest, AReplacedFileGetsTheModeOfANewFile) {
    const std::string file = tmp_ / "license.rtf";
    WriteText(file, "old");
    ::chmod(file.c_str(), 0);
    SaveResourceToFile("LIC", file, module_);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, static_cast<fs::perms>(NewFileMode()));
}

TEST_F(ResourceTest, UnwritableTargetRaises) {
    WriteText(tmp_ / "file", "x");
    EXPECT_THROW(SaveResourceToFile("LIC", tmp_ / "file/below.bin", module_), Exception);
}

// ---- CreateShortcut ----

TEST(CreateShortcut, WritesAnExecutableDesktopEntry) {
    TempFolder tmp;
    CreateShortcut(tmp / "menu/Vemra/Vemra", "/opt/Vemra/vemra", "");
    std::string path = tmp / "menu/Vemra/Vemra.desktop";
    EXPECT_EQ(ReadFileBytes(path),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Vemra\n"
              "Exec=\"/opt/Vemra/vemra\"\n"
              "Path=/opt/Vemra\n");
    EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none);
}

TEST(CreateShortcut, QuotesTheTargetAndEscapesValues) {
    TempFolder tmp;
    CreateShortcut(tmp / "Uninstall Vemra", "/opt/My \"Apps\"/vemra$1\\x", "--remove 100%");
    EXPECT_EQ(ReadFileBytes(tmp / "Uninstall Vemra.desktop"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Uninstall Vemra\n"
              "Exec=\"/opt/My \\\\\"Apps\\\\\"/vemra\\\\$1\\\\\\\\x\" --remove 100%%\n"
              "Path=/opt/My \"Apps\"\n");
}

TEST(CreateShortcut, ReplacesAnOldShortcutAndRaisesOnFailure) {
    TempFolder tmp;
    WriteText(tmp / "Vemra.desktop", "old");
    CreateShortcut(tmp / "Vemra", "/opt/vemra/vemra", "");
    EXPECT_NE(ReadFileBytes(tmp / "Vemra.desktop").find("Exec=\"/opt/vemra/vemra\""), std::string::npos);
    WriteText(tmp / "file", "x");
    EXPECT_THROW(CreateShortcut(tmp / "file/Vemra", "/opt/vemra/vemra", ""), Exception);
}

}  // namespace
}  // namespace vemra
