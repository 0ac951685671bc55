// Archive extraction: every member of a zip, tar or 7z archive lands under the folder and is
// listed; archives from outside that would write elsewhere, make links or unpack past the size
// bound fail as a whole and leave the folder (and everything beside it) as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveExtract.h"
#include "ArchiveWriter.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra::test {
namespace {

class ArchiveExtractTest : public ::testing::Test {
protected:
    // The target folder lies inside "outside", so anything written beside it shows.
    std::string Outside() const { return root.path() + "/outside"; }
    std::string Target() const { return Outside() + "/target"; }
    std::string Archive(const std::string& name) const { return root / name; }

    // Only the target folder itself (with what it holds) may be in "outside".
    void ExpectNothingOutsideTheTarget() const {
        EXPECT_EQ(FolderEntries(Outside()), std::vector<std::string>{"target"});
    }

    TempFolder root{"vemra-archive"};
    TStringList names;
};

struct FormatCase {
    const char* name;
    ArchiveFormat format;
    const char* ext;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class ArchiveFormats : public ArchiveExtractTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ArchiveFormats, UnpacksEveryMemberUnderTheFolderAndListsTheFiles) {
    const std::string archive = Archive(std::string("pack.") + GetParam().ext);
    WriteArchive(archive, GetParam().format,
                 {FolderMember("docs/"),
                  FileMember("docs/readme.txt", "read me"),
                  FileMember("./ECB.so", "library"),
                  FolderMember("empty/")});
    WriteText(Target() + "/ECB.so", "old library");

    ASSERT_TRUE(ExtractArchiveFiles(archive, Target(), names));
    EXPECT_EQ(ReadText(Target() + "/docs/readme.txt"), "read me");
    EXPECT_EQ(ReadText(Target() + "/ECB.so"), "library");  // replaced
    EXPECT_EQ(Strings(names), (std::vector<std::string>{Target() + "/docs/readme.txt", Target() + "/ECB.so"}));
    EXPECT_EQ(FolderEntries(Target()), (std::vector<std::string>{"ECB.so", "docs", "empty"}));  // no staging left
    ExpectNothingOutsideTheTarget();
}

INSTANTIATE_TEST_SUITE_P(, ArchiveFormats,
                         ::testing::Values(FormatCase{"Zip", ArchiveFormat::Zip, "zip"},
                                           FormatCase{"Tar", ArchiveFormat::Tar, "tar"},
                                           FormatCase{"SevenZip", ArchiveFormat::SevenZip, "7z"}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- archives from outside that must not be unpacked ----

struct UnsafeCase {
    const char* name;
    ArchiveFormat format;
    ArchiveMember member;
};
void PrintTo(const UnsafeCase& c, std::ostream* os) { *os << c.name; }

class UnsafeArchives : public ArchiveExtractTest, public ::testing::WithParamInterface<UnsafeCase> {};

TEST_P(UnsafeArchives, FailWholeAndWriteNothing) {
    const std::string archive = Archive("unsafe.pack");
    // A harmless member first: it must not stay behind either.
    WriteArchive(archive, GetParam().format, {FileMember("good.txt", "fine"), GetParam().member});
    WriteText(Target() + "/kept.txt", "kept");
    names.Add("stale");

    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names));
    EXPECT_EQ(names.Count(), 0);
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{"kept.txt"});
    EXPECT_EQ(ReadText(Target() + "/kept.txt"), "kept");
    ExpectNothingOutsideTheTarget();
    EXPECT_EQ(FolderEntries(root.path()), (std::vector<std::string>{"outside", "unsafe.pack"}));
}

INSTANTIATE_TEST_SUITE_P(
    , UnsafeArchives,
    ::testing::Values(
        UnsafeCase{"ParentFolderMember", ArchiveFormat::Zip, FileMember("../evil.txt", "x")},
        UnsafeCase{"ParentFolderInsideThePath", ArchiveFormat::Zip, FileMember("sub/../../evil.txt", "x")},
        UnsafeCase{"TwoLevelsUp", ArchiveFormat::Tar, FileMember("../../evil.txt", "x")},
        UnsafeCase{"AbsoluteMember", ArchiveFormat::Tar, FileMember("/tmp/vemra-evil.txt", "x")},
        UnsafeCase{"SymlinkMemberInZip", ArchiveFormat::Zip,
                   LinkMember("link", ArchiveMember::Symlink, "/etc")},
        UnsafeCase{"SymlinkMemberInTar", ArchiveFormat::Tar,
                   LinkMember("link", ArchiveMember::Symlink, "../outside")},
        UnsafeCase{"HardlinkMember", ArchiveFormat::Tar,
                   LinkMember("hard", ArchiveMember::Hardlink, "good.txt")},
        UnsafeCase{"ZipBomb", ArchiveFormat::Zip, ZerosMember("bomb.bin", kMaxExtractedBytes + (1 << 20))}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ArchiveExtractTest, TheSizeBoundCountsWhatIsWrittenAcrossMembers) {
    // Each member is small and honest about its size; together they pass the bound.
    const std::string archive = Archive("many.zip");
    WriteArchive(archive, ArchiveFormat::Zip,
                 {ZerosMember("a.bin", 400 << 10),
                  ZerosMember("b.bin", 400 << 10),
                  ZerosMember("c.bin", 400 << 10)});
    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names, TExtractLimits{1u << 20, kMaxExtractedMembers}));
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{});
    EXPECT_TRUE(ExtractArchiveFiles(archive, Target(), names, TExtractLimits{2u << 20, kMaxExtractedMembers}));
    EXPECT_EQ(names.Count(), 3);
}

// A zip written as a stream: each member's sizes follow its data (a data descriptor), and
// without the record that ends the archive the central directory is not found, so no header
// tells them before the bytes come.
std::string StreamedZip(const std::string& path, const std::vector<ArchiveMember>& members) {
    WriteArchive(path, ArchiveFormat::Zip, members);
    std::string bytes = ReadText(path);
    const std::size_t end = bytes.rfind("PK\x05\x06");
    EXPECT_NE(end, std::string::npos);
    if (end != std::string::npos) bytes[end + 2] = '\x7f';
    WriteText(path, bytes);
    return path;
}

TEST_F(ArchiveExtractTest, TheSizeBoundCountsWhatIsWrittenForMembersThatDeclareNoSize) {
    const std::string archive = StreamedZip(Archive("streamed.zip"), {SizelessZerosMember("a.bin", 400 << 10),
                                                                     SizelessZerosMember("b.bin", 400 << 10),
                                                                     SizelessZerosMember("c.bin", 400 << 10)});
    bool refused = false;
    TExtractLimits limits;
    limits.MaxBytes = 1u << 20;
    limits.Refused = &refused;
    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names, limits));
    EXPECT_TRUE(refused);
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{});
    limits.MaxBytes = 2u << 20;
    EXPECT_TRUE(ExtractArchiveFiles(archive, Target(), names, limits));
    EXPECT_FALSE(refused);
    EXPECT_EQ(names.Count(), 3);
    EXPECT_EQ(std::filesystem::file_size(Target() + "/c.bin"), 400u << 10);
}

// A tar archive written byte by byte: libarchive's writer gives every hard link a size of 0,
// while a crafted header may declare data after it.
std::string TarHeader(const std::string& name, char type, std::size_t size, const std::string& link = {}) {
    std::string header(512, '\0');
    header.replace(0, name.size(), name);
    header.replace(100, 7, "0000644");
    header.replace(108, 7, "0000000");
    header.replace(116, 7, "0000000");
    char number[13];
    std::snprintf(number, sizeof number, "%011zo", size);
    header.replace(124, 11, number);
    header.replace(136, 11, "15000000000");
    header.replace(148, 8, "        ");
    header[156] = type;
    header.replace(157, link.size(), link);
    header.replace(257, 6, std::string("ustar\0", 6));
    header.replace(263, 2, "00");
    unsigned sum = 0;
    for (const char c : header) sum += static_cast<unsigned char>(c);
    std::snprintf(number, sizeof number, "%06o", sum);
    header.replace(148, 7, std::string(number, 6) + '\0');
    return header;
}
std::string TarData(const std::string& data) { return data + std::string((512 - data.size() % 512) % 512, '\0'); }

TEST_F(ArchiveExtractTest, AHardLinkThatDeclaresDataIsRefused) {
    const std::string archive = Archive("hard.tar");
    // With a pax header before it, the link's 5 bytes are read as a regular file's data.
    const std::string pax = "13 path=hard\n";
    WriteText(archive, TarHeader("good.txt", '0', 4) + TarData("fine") + TarHeader("PaxHeader/hard", 'x', pax.size()) +
                           TarData(pax) + TarHeader("hard", '1', 5, "good.txt") + TarData("hello") +
                           std::string(1024, '\0'));
    WriteText(Target() + "/kept.txt", "kept");
    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names));
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{"kept.txt"});
}

// A zip whose headers declare 10 bytes for a member that inflates to 2 MiB: libarchive hands
// out most of it before it notices the lie.
std::string LyingZip(const std::string& path) {
    WriteArchive(path, ArchiveFormat::Zip, {ZerosMember("lie.bin", 2u << 20)});
    std::string bytes = ReadText(path);
    const std::string declared("\x00\x00\x20\x00", 4);  // 2 MiB, little-endian
    int patched = 0;
    for (std::size_t at = bytes.find(declared); at != std::string::npos; at = bytes.find(declared, at + 4)) {
        bytes.replace(at, 4, std::string("\x0a\x00\x00\x00", 4));
        ++patched;
    }
    EXPECT_GE(patched, 2) << "the local and the central header";
    WriteText(path, bytes);
    return path;
}

TEST_F(ArchiveExtractTest, AMemberHoldingMoreThanItDeclaresIsRefusedBeforeItsBytesAreWritten) {
    const std::string archive = LyingZip(Archive("lie.zip"));
    // The most bytes the extraction ever had on disk, looked at each time it wrote a piece.
    std::uintmax_t most = 0;
    TExtractLimits limits{1u << 20, kMaxExtractedMembers};
    limits.Progress = [&](std::uint64_t, std::uint64_t) {
        std::uintmax_t bytes = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Target()))
            if (entry.is_regular_file()) bytes += entry.file_size();
        most = std::max(most, bytes);
    };
    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names, limits));
    EXPECT_LE(most, 10u);
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{});
    EXPECT_EQ(names.Count(), 0);
}

// ---- a failure while moving the members into place ----

struct MoveCase {
    const char* name;
    std::vector<ArchiveMember> members;
};
void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }

class FailedMoves : public ArchiveExtractTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(FailedMoves, LeaveTheFolderExactlyAsItWas) {
    // The folder holds a.txt, a folder b with a file, and a file c.
    WriteText(Target() + "/a.txt", "OLD");
    WriteText(Target() + "/b/inside.txt", "inside");
    WriteText(Target() + "/c", "file c");
    const std::vector<std::string> before = FolderEntries(Target(), true);
    const std::string archive = Archive("clash.zip");
    WriteArchive(archive, ArchiveFormat::Zip, GetParam().members);

    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names));
    EXPECT_EQ(names.Count(), 0);
    EXPECT_EQ(FolderEntries(Target(), true), before);
    EXPECT_EQ(ReadText(Target() + "/a.txt"), "OLD");
    EXPECT_EQ(ReadText(Target() + "/b/inside.txt"), "inside");
    EXPECT_EQ(ReadText(Target() + "/c"), "file c");
    ExpectNothingOutsideTheTarget();
}

INSTANTIATE_TEST_SUITE_P(
    , FailedMoves,
    ::testing::Values(
        // a.txt is replaced and a new folder made before the file b meets the folder b.
        MoveCase{"AFileWhereTheFolderHasAFolder",
                 {FileMember("a.txt", "NEW"), FileMember("new/x.txt", "x"), FileMember("b", "file b")}},
        // The folder c/d would have to pass through the file c.
        MoveCase{"AFolderWhereTheFolderHasAFile",
                 {FileMember("a.txt", "NEW"), FolderMember("n1/n2/"), FileMember("c/d.txt", "d")}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ArchiveExtractTest, TheMemberBoundStopsArchivesOfCountlessFiles) {
    const std::string archive = Archive("files.tar");
    std::vector<ArchiveMember> members;
    for (int i = 0; i < 5; ++i) members.push_back(FileMember("f" + std::to_string(i), ""));
    WriteArchive(archive, ArchiveFormat::Tar, members);
    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names, TExtractLimits{kMaxExtractedBytes, 4}));
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{});
    EXPECT_TRUE(ExtractArchiveFiles(archive, Target(), names, TExtractLimits{kMaxExtractedBytes, 5}));
}

TEST_F(ArchiveExtractTest, ALinkPlantedInTheFolderIsNotFollowed) {
    ASSERT_EQ(mkdir((root / "elsewhere").c_str(), 0755), 0);
    WriteText(Target() + "/placeholder", "");
    ASSERT_EQ(symlink((root / "elsewhere").c_str(), (Target() + "/sub").c_str()), 0);
    const std::string archive = Archive("through.zip");
    WriteArchive(archive, ArchiveFormat::Zip, {FileMember("sub/evil.txt", "x")});

    EXPECT_FALSE(ExtractArchiveFiles(archive, Target(), names));
    EXPECT_EQ(FolderEntries(root / "elsewhere"), std::vector<std::string>{});
}

TEST_F(ArchiveExtractTest, DamagedOrMissingArchivesFail) {
    WriteText(Archive("broken.vpl"), "PK\x03\x04 this is not really a zip archive");
    EXPECT_FALSE(ExtractArchiveFiles(Archive("broken.vpl"), Target(), names));
    EXPECT_FALSE(ExtractArchiveFiles(Archive("missing.zip"), Target(), names));
    // A truncated archive: its member's data ends early.
    WriteArchive(Archive("whole.tar"), ArchiveFormat::Tar, {FileMember("data.txt", std::string(5000, 'x'))});
    WriteText(Archive("cut.tar"), ReadText(Archive("whole.tar")).substr(0, 1024));
    EXPECT_FALSE(ExtractArchiveFiles(Archive("cut.tar"), Target(), names));
    EXPECT_EQ(FolderEntries(Target()), std::vector<std::string>{});
}

// ---- the data module's choice by extension ----

struct ExtensionCase {
    const char* name;
    const char* file;
    bool unpacked;
};
void PrintTo(const ExtensionCase& c, std::ostream* os) { *os << c.name; }

class ArchiveExtensions : public ArchiveExtractTest, public ::testing::WithParamInterface<ExtensionCase> {};

TEST_P(ArchiveExtensions, DecideWhetherTheFileIsUnpacked) {
    const std::string archive = Archive(GetParam().file);
    WriteArchive(archive, ArchiveFormat::Zip, {FileMember("rates.csv", "1,2")});
    names.Add("stale");
    EXPECT_EQ(ExtractArchiveByExtension(archive, Target(), names), GetParam().unpacked);
    EXPECT_TRUE(DirectoryExists(Target()));  // made in any case
    EXPECT_EQ(names.Count(), GetParam().unpacked ? 1 : 0);
    EXPECT_EQ(FileExists(Target() + "/rates.csv"), GetParam().unpacked);
}

INSTANTIATE_TEST_SUITE_P(, ArchiveExtensions,
                         ::testing::Values(ExtensionCase{"Zip", "hist.zip", true},
                                           ExtensionCase{"ZipInCapitals", "HIST.ZIP", true},
                                           ExtensionCase{"Rar", "hist.rar", true},  // told by contents
                                           ExtensionCase{"Package", "ecb.v2.vpl", true},
                                           ExtensionCase{"Text", "notes.txt", false},
                                           ExtensionCase{"SevenZipByName", "hist.7z", false},
                                           ExtensionCase{"NoExtension", "hist", false}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vemra::test
