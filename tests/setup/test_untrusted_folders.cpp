// Plug-in packages and libraries run their code with the user's rights: the converter takes
// none from a place that another user can write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "ConverterPlugInn.h"
#include "PackageInstall.h"
#include "PlugginMan.h"
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
    host.ExtractArchive = [&](const std::string&, const std::string&) { return ++extracted, false; };
    host.ShowMessage = [&](const std::string& text) { shown = text; };
    TPlugginMan manager;
    EXPECT_FALSE(InstallPluginPackage(manager, host, tmp / "pub/ECB.vpl", "ECB", "ECB", tmp / "pub/ECB"));
    EXPECT_EQ(extracted, 0);
    EXPECT_EQ(shown, "Error installing: " + tmp / "pub/ECB.vpl");
    EXPECT_TRUE(FileExists(tmp / "pub/ECB.vpl")) << "it stays for a later, safe start";
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
    ::chmod((tmp / "app").c_str(), 0755);
}

}  // namespace
}  // namespace vemra::test
