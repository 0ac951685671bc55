// Plug-in package installation end to end: the shipped packages, waiting in PubData at the
// plug-in manager's start, are unpacked into their source's folder, their library moves to
// AppData, the source is registered and the package is filed under PubData/Installed with
// the day's date; a package that fails stays waiting with "Error installing: ".

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveExtract.h"
#include "ArchiveWriter.h"
#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "FakeEngineHost.h"
#include "FakeRateUpdateHost.h"
#include "PackageInstall.h"
#include "PluginTestSupport.h"
#include "PlugginMan.h"
#include "RateFile.h"
#include "StreamKeys.h"
#include "StreamedIniFile.h"
#include "SysCaller.h"

namespace vemra::test {
namespace {

const std::string kShippedDir = VEMRA_SHIPPED_DIR;
const std::string kResourcesDir = VEMRA_RESOURCES_DIR;

class PackageInstallTest : public ::testing::Test {
protected:
    PackageInstallTest() {
        // The shipped day rate file is enciphered with the program's own key.
        StreamKeyProc = StreamKey;
        env.SetNow(EncodeDateTime(2025, 12, 1, 10, 0, 0, 0));
        packageHost.ExtractArchive = [this](const std::string& archive, const std::string& folder, bool* refused) {
            return ExtractArchiveByExtension(archive, folder, extracted, refused);
        };
        packageHost.ShowMessage = [this](const std::string& text) { messages.push_back(text); };
        host.OnInstall = [this](TStringList& files, const std::string& folder) {
            InstallPendingPackages(man, packageHost, files, folder);
        };
        man.SetHost(&host);
    }

    void Ship(const std::string& package, const std::string& name) const {
        std::filesystem::copy_file(kShippedDir + "/" + package, env.Pub(name));
    }
    std::vector<std::string> Installed() const { return FolderEntries(env.Pub("Installed")); }

    PluginTestEnv env;
    FakeRateUpdateHost host;
    TPlugginMan man;
    TPackageInstallHost packageHost;
    TStringList extracted;
    std::vector<std::string> messages;
};

TEST_F(PackageInstallTest, TheShippedEcbPackageInstallsWithRatesToConvertBeforeAnyDownload) {
    Ship("ECB.vpl", "ECB.vpl");
    man.LoadPlugins();

    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(Strings(man.Plugins()), std::vector<std::string>{"ECB - European Central Bank"});
    EXPECT_TRUE(FileExists(env.App("ECB.so")));
    EXPECT_FALSE(FileExists(env.Pub("ECB/ECB.so")));  // moved, not copied
    EXPECT_FALSE(FileExists(env.Pub("ECB.vpl")));
    EXPECT_EQ(Installed(), std::vector<std::string>{"ECB-2025.12.01.vpl"});
    EXPECT_EQ(ReadText(env.Pub("Installed/ECB-2025.12.01.vpl")), ReadText(kShippedDir + "/ECB.vpl"));

    // The day rate file that came with the package is the source's last one and reads back.
    THTMLConverterPlugInn& ecb = *man.CurrentPlugin();
    const std::string rates = env.Pub("ECB/2025.11.28-ECB.vmr");
    EXPECT_EQ(man.LastRateFile(ecb), rates);
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2025.11.28 10:00:00");
    TRateFileHeader header;
    ReadRateFileHeader(rates, header);
    EXPECT_EQ(header.Provider, "European Central Bank");
    EXPECT_EQ(header.DateText, "2025.11.28");
    auto file = OpenStreamedIni(RateFileKeyIndex, rates);
    EXPECT_EQ(file->ReadString("VMR", "BASE", ""), "EUR");
    EXPECT_EQ(file->ReadString("DATA", "USD", ""), "1.1590");
    EXPECT_EQ(ReadText(rates).find("[VMR]"), std::string::npos);  // stored enciphered, as downloads are

    // The shipped currencies take every rate of the file: the converter works at once.
    std::filesystem::copy_file(kResourcesDir + "/data/Currencies.vmg", DefaultCurrencyConfigFileName());
    std::filesystem::copy_file(kResourcesDir + "/data/ENG.vcn", env.Pub("ENG.vcn"));
    FakeEngineHost engineHost;
    TCurrencyConverter converter;
    converter.SetHost(&engineHost);
    converter.SetRateSources(&engineHost);
    TCurrencyChangeList& list = converter.Currencies();
    ASSERT_TRUE(LoadCurrencyNames(list, DefaultCurrencyConfigFileName()));
    ASSERT_TRUE(LoadRateFile(list, rates));
    EXPECT_EQ(engineHost.Messages, std::vector<std::string>{});  // no bad value, base found
    int usd = -1;
    int dem = -1;
    ASSERT_TRUE(list.Find("USD", usd));
    ASSERT_TRUE(list.Find("DEM", dem));
    EXPECT_NEAR(list.ItemRate(usd), 1.159, 1e-6);
    EXPECT_NEAR(list.ItemRate(dem), 1.95583, 1e-6);  // tied to the euro, the base

    // The registration reached the store: the next start finds the source without a package.
    TPlugginMan next;
    next.LoadPlugins();
    EXPECT_EQ(Strings(next.Plugins()), std::vector<std::string>{"ECB - European Central Bank"});
}

TEST_F(PackageInstallTest, APackageNamedWithASuffixInstallsItsCodeAndIsFiledUnderItsWholeName) {
    Ship("ECB.vpl", "ecb.v2.vpl");
    Ship("CBR.vpl", "CBR.vpl");
    man.LoadPlugins();

    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_NE(man.IndexOfPlugin("ECB"), -1);
    EXPECT_NE(man.IndexOfPlugin("CBR"), -1);
    EXPECT_TRUE(FileExists(env.App("ECB.so")));
    EXPECT_TRUE(FileExists(env.App("CBR.so")));
    EXPECT_TRUE(FileExists(env.Pub("ECB/2025.11.28-ECB.vmr")));
    EXPECT_EQ(Installed(), (std::vector<std::string>{"CBR-2025.12.01.vpl", "ECB.V2-2025.12.01.vpl"}));
    EXPECT_EQ(FolderEntries(PubData), (std::vector<std::string>{"CBR", "ECB", "Installed"}));
}

TEST_F(PackageInstallTest, PackagesThatFailStayWaitingWhileTheOthersInstall) {
    Ship("ECB.vpl", "NOTES.txt");  // a good archive, but not a package by its name
    WriteText(env.Pub("BROKEN.vpl"), "PK\x03\x04 not an archive");
    WriteArchive(env.Pub("NOP.vpl"), ArchiveFormat::Zip, {FileMember("NOP.so", ReadText(kBareLibrary))});
    Ship("CBR.vpl", "CBR.rar");  // a listed .rar is unpacked like a package
    TStringList files;
    for (const char* name : {"NOTES.txt", "BROKEN.vpl", "NOP.vpl", "CBR.rar"}) files.Add(name);
    man.OpenPluginStore();

    InstallPendingPackages(man, packageHost, files, PubData);

    EXPECT_EQ(files.Count(), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"Error installing: " + env.Pub("NOTES.txt"),
                                                  "Error installing: " + env.Pub("BROKEN.vpl"),
                                                  "Error installing: " + env.Pub("NOP.vpl")}));
    for (const char* waiting : {"NOTES.txt", "BROKEN.vpl", "NOP.vpl"}) EXPECT_TRUE(FileExists(env.Pub(waiting))) << waiting;
    EXPECT_FALSE(FileExists(env.Pub("CBR.rar")));
    EXPECT_FALSE(FileExists(env.App("NOP.so"))) << "a failed package takes its library away";
    EXPECT_FALSE(DirectoryExists(env.Pub("BROKEN"))) << "nor does the folder made for it stay";
    EXPECT_EQ(Installed(), std::vector<std::string>{"CBR-2025.12.01.vpl"});
    TStringList sections;
    man.ReadPluginSections(sections);
    EXPECT_EQ(Strings(sections), std::vector<std::string>{"CBR"});
}

TEST_F(PackageInstallTest, APackageThatFailsLeavesTheLibraryOfTheEarlierInstallation) {
    WriteText(env.App("NOP.so"), "earlier library");
    WriteArchive(env.Pub("NOP.vpl"), ArchiveFormat::Zip, {FileMember("NOP.so", ReadText(kBareLibrary))});
    TStringList files;
    files.Add("NOP.vpl");
    man.OpenPluginStore();

    InstallPendingPackages(man, packageHost, files, PubData);

    EXPECT_EQ(messages, std::vector<std::string>{"Error installing: " + env.Pub("NOP.vpl")});
    EXPECT_TRUE(ReadText(env.App("NOP.so")) == "earlier library") << "the earlier library is back";
    EXPECT_FALSE(FileExists(env.App("NOP.so.previous"))) << "nothing set aside stays";
}

TEST_F(PackageInstallTest, APackageThatCannotBeFiledAwayStaysToBeInstalledAgain) {
    Ship("CBR.vpl", "CBR.vpl");
    WriteText(env.Pub("Installed/CBR-2025.12.01.vpl"), "filed earlier today");
    chmod(env.Pub("Installed/CBR-2025.12.01.vpl").c_str(), 0444);
    man.LoadPlugins();

    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_NE(man.IndexOfPlugin("CBR"), -1);
    EXPECT_TRUE(FileExists(env.Pub("CBR.vpl")));
    EXPECT_EQ(ReadText(env.Pub("Installed/CBR-2025.12.01.vpl")), "filed earlier today");
}

// The package is sound, but its library would land where others can change it: it is not
// loaded, the message names it, and the package waits for a start after the folder is mended.
TEST_F(PackageInstallTest, ALibraryThatOthersCouldChangeInAppDataIsNamedAndThePackageWaits) {
    Ship("ECB.vpl", "ECB.vpl");
    ::chmod(AppData.c_str(), 0777);
    TStringList files;
    files.Add("ECB.vpl");
    man.OpenPluginStore();
    InstallPendingPackages(man, packageHost, files, PubData);
    ::chmod(AppData.c_str(), 0755);

    EXPECT_EQ(messages, std::vector<std::string>{"Error installing: " + env.Pub("ECB.vpl") + "\r\nThe library " +
                                                 env.App("ECB.so") +
                                                 " was not loaded because other users can change it or its folder."});
    EXPECT_TRUE(FileExists(env.Pub("ECB.vpl")));
    EXPECT_FALSE(FileExists(env.App("ECB.so")));
}

// ---- refused packages ----

const std::string kUntrusted = "Other users can change this package or its folder, so it was not installed.";
const std::string kUnpackRefused =
    "The package is damaged or holds what no package may (links, paths outside its folder, too much data), so it "
    "was not installed.";

struct RefusedCase {
    const char* name;
    void (*make)(const std::string& package);
    const std::string* why;
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedPackages : public PackageInstallTest, public ::testing::WithParamInterface<RefusedCase> {
protected:
    // One start's installation of the packages waiting in PubData.
    void InstallWaiting() {
        std::unique_ptr<TStringList> files = ListFiles(PubData + "/*.vpl");
        InstallPendingPackages(man, packageHost, *files, PubData);
    }
};

// A refused package is told once and leaves nothing behind: it is moved out of the waiting
// ones, and no folder, library or source of it stays.
TEST_P(RefusedPackages, AreToldOnceAndLeaveNothingBehind) {
    const std::string package = env.Pub("XYZ.vpl");
    GetParam().make(package);
    if (IsSkipped() || HasFatalFailure()) return;
    const std::string content = ReadText(package);
    man.OpenPluginStore();

    InstallWaiting();
    InstallWaiting();  // the next start

    const std::string refused = env.Pub("Refused/XYZ-2025.12.01.vpl");
    EXPECT_EQ(messages, std::vector<std::string>{"Error installing: " + package + "\r\n" + *GetParam().why +
                                                 " It was moved to " + refused + "."});
    EXPECT_FALSE(FileExists(package));
    EXPECT_EQ(ReadText(refused), content);
    EXPECT_FALSE(std::filesystem::exists(env.Pub("XYZ")));
    EXPECT_FALSE(FileExists(env.App("XYZ.so")));
    EXPECT_EQ(Installed(), std::vector<std::string>{});
    TStringList sections;
    man.ReadPluginSections(sections);
    EXPECT_EQ(Strings(sections), std::vector<std::string>{});
}

void Package(const std::string& path) {
    WriteArchive(path, ArchiveFormat::Zip, {FileMember("XYZ.so", ReadText(kBareLibrary))});
}

INSTANTIATE_TEST_SUITE_P(
    , RefusedPackages,
    ::testing::Values(
        RefusedCase{"WritableByOthers",
                    [](const std::string& p) {
                        Package(p);
                        ::chmod(p.c_str(), 0666);
                    },
                    &kUntrusted},
        // In the user's own private folder, yet placed there by someone else.
        RefusedCase{"OwnedByAnotherUser",
                    [](const std::string& p) {
                        Package(p);
                        if (::chown(p.c_str(), 54321, 54321) != 0) GTEST_SKIP() << "needs root to give the file away";
                    },
                    &kUntrusted},
        RefusedCase{"SymbolicLinkMember",
                    [](const std::string& p) {
                        WriteArchive(p, ArchiveFormat::Zip,
                                     {FileMember("XYZ.so", "library"),
                                      LinkMember("evil", ArchiveMember::Symlink, "/etc")});
                    },
                    &kUnpackRefused},
        RefusedCase{"MemberOutsideItsFolder",
                    [](const std::string& p) { WriteArchive(p, ArchiveFormat::Tar, {FileMember("../XYZ.so", "x")}); },
                    &kUnpackRefused}),
    [](const auto& p) { return std::string(p.param.name); });

// A package refused again the same day (the user brought another copy) keeps the one set
// aside before: each refused copy has a name of its own.
TEST_F(RefusedPackages, ARefusedCopyNeverReplacesAnEarlierOne) {
    const std::string package = env.Pub("XYZ.vpl");
    man.OpenPluginStore();
    for (const char* copy : {"first", "second"}) {
        WriteText(package, copy);
        ::chmod(package.c_str(), 0666);
        InstallWaiting();
    }
    const std::string first = env.Pub("Refused/XYZ-2025.12.01.vpl");
    const std::string second = env.Pub("Refused/XYZ-2025.12.01-2.vpl");
    EXPECT_EQ(ReadText(first), "first");
    EXPECT_EQ(ReadText(second), "second");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "Error installing: " + package + "\r\n" + kUntrusted + " It was moved to " + second + ".");
    EXPECT_FALSE(FileExists(package));
}

}  // namespace
}  // namespace vemra::test
