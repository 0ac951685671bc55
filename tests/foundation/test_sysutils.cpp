#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

TEST(SysUtilsStrings, TrimDropsControlBytesAndBlanksButNotUtf8) {
    const std::string nbsp = "\xc2\xa0";  // UTF-8 bytes >= 0x80 are text, never trimmed
    EXPECT_EQ(Trim(" \t\r\n\x01x y\x7f \x1f"), "x y\x7f");
    EXPECT_EQ(Trim(nbsp + "a" + nbsp), nbsp + "a" + nbsp);
    EXPECT_EQ(TrimLeft("  a  "), "a  ");
    EXPECT_EQ(TrimRight("  a  "), "  a");
    EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
    EXPECT_EQ(Trim(" \t "), "");
}

TEST(SysUtilsStrings, CaseFoldingIsAsciiOnly) {
    EXPECT_EQ(UpperCase("abz\xc3\xa9[`{"), "ABZ\xc3\xa9[`{");
    EXPECT_EQ(LowerCase("ABZ\xc3\x89@"), "abz\xc3\x89@");
    EXPECT_TRUE(SameText("Eur", "eUR"));
    EXPECT_FALSE(SameText("\xc3\xa9", "\xc3\x89"));
    EXPECT_FALSE(SameText("EUR", "EURO"));
    EXPECT_TRUE(StartsText("http", "HTTP://x"));
    EXPECT_FALSE(StartsText("https", "http"));
}

TEST(SysUtilsStrings, CompareTextAndCompareStr) {
    struct Case {
        const char* a;
        const char* b;
        int text;  // sign of CompareText
        int str;   // sign of CompareStr
    };
    const Case cases[] = {
        {"abc", "ABC", 0, 1},
        {"a", "b", -1, -1},
        {"ab", "a", 1, 1},
        {"", "", 0, 0},
        {"a_", "AB", 1, 1},        // folding goes to upper case: '_' > 'B'
        {"A", "\xc3\xa9", -1, -1},  // bytes compare unsigned
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(sign(CompareText(c.a, c.b)), c.text);
        EXPECT_EQ(sign(CompareStr(c.a, c.b)), c.str);
    }
}

TEST(SysUtilsStrings, PosAndCopyAreOneBased) {
    EXPECT_EQ(Pos("b", "abcb"), 2u);
    EXPECT_EQ(Pos("b", "abcb", 3), 4u);
    EXPECT_EQ(Pos("b", "abcb", 5), 0u);
    EXPECT_EQ(Pos("x", "abc"), 0u);
    EXPECT_EQ(Pos("", "abc"), 0u);
    EXPECT_EQ(Pos("abcd", "abc"), 0u);

    struct Case {
        std::ptrdiff_t index, count;
        const char* result;
    };
    const Case cases[] = {
        {1, 3, "abc"}, {2, 2, "bc"}, {0, 2, "ab"}, {-5, 2, "ab"}, {4, 100, "def"},
        {6, 1, "f"},   {7, 1, ""},   {3, 0, ""},   {3, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + "," + std::to_string(c.count));
        EXPECT_EQ(Copy("abcdef", c.index, c.count), c.result);
    }
}

TEST(SysUtilsStrings, StringReplace) {
    struct Case {
        const char* s;
        const char* from;
        const char* to;
        unsigned flags;
        const char* result;
    };
    const Case cases[] = {
        {"a.b.c", ".", ",", 0, "a,b.c"},
        {"a.b.c", ".", ",", rfReplaceAll, "a,b,c"},
        {"aXbxc", "x", "-", rfReplaceAll, "aXb-c"},
        {"aXbxc", "x", "-", rfReplaceAll | rfIgnoreCase, "a-b-c"},
        {"aXbxc", "x", "-", rfIgnoreCase, "a-bxc"},
        {"aaa", "aa", "b", rfReplaceAll, "ba"},
        {"abc", "", "x", rfReplaceAll, "abc"},
        {"a||b", "||", "\r\n", rfReplaceAll, "a\r\nb"},
        {"xx", "x", "xx", rfReplaceAll, "xxxx"},  // replacements are not scanned again
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.s);
        EXPECT_EQ(StringReplace(c.s, c.from, c.to, c.flags), c.result);
    }
}

TEST(SysUtilsStrings, NumbersAndRepeats) {
    EXPECT_EQ(IntToStr(-42), "-42");
    EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0x1ABCD, 2), "1ABCD");
    EXPECT_EQ(IntToHex(0, 0), "0");
    EXPECT_EQ(StringOfChar('-', 3), "---");
}

TEST(SysUtilsPaths, PathParts) {
    EXPECT_EQ(ExtractFileName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(ExtractFileName("c.txt"), "c.txt");
    EXPECT_EQ(ExtractFilePath("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("c.txt"), "");
    EXPECT_EQ(ExtractFileDir("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
    EXPECT_EQ(ExtractFileExt("/a/b/c.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("/a.d/b"), "");
    EXPECT_EQ(ChangeFileExt("/a/x.vpl", ".so"), "/a/x.so");
    EXPECT_EQ(ChangeFileExt("/a.d/x", ".so"), "/a.d/x.so");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
}

class SysUtilsFiles : public ::testing::Test {
protected:
    static mode_t Mode(const std::string& path) { return test::FileMode(path); }
    std::vector<std::string> Entries() const { return test::FolderEntries(dir_, true); }

    test::TempFolder temp_{"vemra_sysutils"};
    std::string dir_ = temp_.path();
};

TEST_F(SysUtilsFiles, ForceDirectoriesMakesEveryParent) {
    const std::string deep = JoinPath(dir_, "a/b/c/");
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(JoinPath(dir_, "a/b/c")));
    EXPECT_TRUE(ForceDirectories(deep));  // already there
    EXPECT_FALSE(FileExists(JoinPath(dir_, "a/b")));

    WriteFileAtomic(JoinPath(dir_, "file"), "x");
    EXPECT_FALSE(ForceDirectories(JoinPath(dir_, "file/sub")));
    EXPECT_FALSE(ForceDirectories(""));
}

TEST_F(SysUtilsFiles, FileHelpers) {
    const std::string a = JoinPath(dir_, "a.txt"), b = JoinPath(dir_, "b.txt");
    WriteFileAtomic(a, std::string("x\0y", 3));
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(FileExists(dir_));
    EXPECT_FALSE(DirectoryExists(a));
    EXPECT_EQ(ReadFileBytes(a), std::string("x\0y", 3));
    EXPECT_TRUE(RenameFile(a, b));
    EXPECT_FALSE(FileExists(a));
    EXPECT_TRUE(DeleteFile(b));
    EXPECT_FALSE(DeleteFile(b));
    EXPECT_THROW(ReadFileBytes(b), EInOutError);
}

TEST_F(SysUtilsFiles, WriteFileAtomicReplacesAndKeepsPermissionBits) {
    const std::string path = JoinPath(dir_, "hive.reg");
    WriteFileAtomic(path, "old");
    EXPECT_EQ(Mode(path), 0644u);  // 0666 under the usual umask 022
    ::chmod(path.c_str(), 0600);
    WriteFileAtomic(path, "new contents");
    EXPECT_EQ(ReadFileBytes(path), "new contents");
    EXPECT_EQ(Mode(path), 0600u);
    WriteFileAtomic(path, "");
    EXPECT_EQ(ReadFileBytes(path), "");
    EXPECT_EQ(Entries(), std::vector<std::string>{"hive.reg"});  // no temporary file left behind
}

TEST_F(SysUtilsFiles, WriteFileAtomicFailureLeavesEverythingAsItWas) {
    // A directory standing at the target path: the rename over it fails.
    const std::string target = JoinPath(dir_, "taken");
    ForceDirectories(JoinPath(target, "inner"));
    WriteFileAtomic(JoinPath(target, "inner/keep"), "kept");
    try {
        WriteFileAtomic(target, "data");
        FAIL() << "wrote over a directory";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(JoinPath(target, "inner/keep")), "kept");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"taken", "taken/inner", "taken/inner/keep"}));

    // A folder that does not exist.
    EXPECT_THROW(WriteFileAtomic(JoinPath(dir_, "none/x.txt"), "data"), EInOutError);
    EXPECT_FALSE(DirectoryExists(JoinPath(dir_, "none")));
}

TEST_F(SysUtilsFiles, WriteFileAtomicKeepsTheOldFileWhenTheWriteFails) {
    const std::string path = JoinPath(dir_, "settings.ini");
    WriteFileAtomic(path, "old");
    // In a child process whose file size limit lets no more than 16 bytes be written.
    auto writeTooMuch = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 16;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WriteFileAtomic(path, std::string(4096, 'n'));
        } catch (const EInOutError&) {
            std::_Exit(0);
        }
        std::_Exit(1);
    };
    EXPECT_EXIT(writeTooMuch(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(Entries(), std::vector<std::string>{"settings.ini"});
}

TEST_F(SysUtilsFiles, WriteFileAtomicOptions) {
    const std::string path = JoinPath(dir_, "user.reg"), temp = path + ".tmp";
    WriteFileAtomic(path, "old");
    WriteFileAtomic(temp, "left by a crash");
    std::string seen;
    TAtomicWriteOptions options{.Mode = 0640, .TempPath = temp, .BeforeRename = [&](const std::string& t) {
                                    seen = t + ": " + ReadFileBytes(t) + ", target " + ReadFileBytes(path);
                                }};
    WriteFileAtomic(path, "new", options);
    EXPECT_EQ(seen, temp + ": new, target old");
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_EQ(Mode(path), 0640u);
    EXPECT_EQ(Entries(), std::vector<std::string>{"user.reg"});

    // A callback that throws stops the replacement and takes the temporary file away.
    options.BeforeRename = [](const std::string&) { throw std::runtime_error("stop"); };
    EXPECT_THROW(WriteFileAtomic(path, "newer", options), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_EQ(Entries(), std::vector<std::string>{"user.reg"});
}

TEST_F(SysUtilsFiles, StaleTemporaryFilesOfReplaceWritesAreRemovedOnlyWhenStale) {
    for (const char* name : {".Data.txt.Ab12Cd", ".UserLast.dat.zzzzzz", "Data.txt", ".Data.txt", ".hidden",
                             ".Data.txt.Ab12C", ".Data.txt.Ab-2Cd", "x.Data.txt.Ab12Cd", ".a.tmp"})
        test::WriteText(JoinPath(dir_, name), "x");
    ForceDirectories(JoinPath(dir_, ".folder.Ab12Cd"));
    ::symlink(JoinPath(dir_, "Data.txt").c_str(), JoinPath(dir_, ".link.Ab12Cd").c_str());
    // Just written: a writer may be at work on them.
    EXPECT_EQ(RemoveStaleTempFiles(dir_, 600), 0);
    EXPECT_EQ(Entries().size(), 11u);
    // Stale (any age counts when the bound is 0): only regular files of the pattern go.
    EXPECT_EQ(RemoveStaleTempFiles(dir_, 0), 2);
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{".Data.txt", ".Data.txt.Ab-2Cd", ".Data.txt.Ab12C", ".a.tmp", ".folder.Ab12Cd",
                                        ".hidden", ".link.Ab12Cd", "Data.txt", "x.Data.txt.Ab12Cd"}));
    // A fixed temporary path by name.
    const std::string hiveTemp = JoinPath(dir_, "user.reg.tmp");
    test::WriteText(hiveTemp, "half a hive");
    EXPECT_FALSE(RemoveStaleTempFile(hiveTemp, 600));
    EXPECT_TRUE(RemoveStaleTempFile(hiveTemp, 0));
    EXPECT_FALSE(FileExists(hiveTemp));
    EXPECT_FALSE(RemoveStaleTempFile(JoinPath(dir_, ".folder.Ab12Cd"), 0));
    EXPECT_EQ(RemoveStaleTempFiles(JoinPath(dir_, "none"), 0), 0);
}

TEST(SysUtilsStrings, SplitLines) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("\n\n"), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
}  // namespace vemra
