// The resource library as built from resources/: its language index and language data, and
// the extraction of its six data files into PubData and AppData, keeping the user's currency
// configuration; without a library nothing is touched.

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CurrencyFiles.h"
#include "PluginTestSupport.h"
#include "ResourceFiles.h"
#include "StreamKeys.h"
#include "StreamedIniFile.h"
#include "platform/ModuleResources.h"
#include "rtl/Streams.h"

namespace vemra::test {
namespace {

const std::string kResourceLibrary = VEMRA_RESOURCE_LIBRARY;
const std::string kResourcesDir = VEMRA_RESOURCES_DIR;

class ResourceFilesTest : public ::testing::Test {
protected:
    ResourceFilesTest() { StreamKeyProc = StreamKey; }
    ~ResourceFilesTest() override { FreeResourceLibrary(); }

    void InstallLibrary() const { std::filesystem::copy_file(kResourceLibrary, ResourceLibraryFileName()); }
    std::string Source(const std::string& name) const { return kResourcesDir + "/" + name; }
    // A shipped INI text as the program reads it, rendered in one canonical form.
    static std::string IniText(const std::string& path, int keyIndex) {
        TStreamedIniFile ini(keyIndex, path);
        ini.Reload();
        return ini.RenderText();
    }
    std::string Resource(const std::string& name) const {
        std::string_view bytes;
        EXPECT_TRUE(platform::FindModuleResource(LoadResourceLibrary(), name, bytes)) << name;
        return std::string(bytes);
    }

    PluginTestEnv env;
};

TEST_F(ResourceFilesTest, ExtractionWritesTheSixDataFilesAndFreesTheLibrary) {
    InstallLibrary();
    ASSERT_TRUE(ExtractResourceFiles());
    EXPECT_EQ(ResourceLibraryHandle(), nullptr);

    EXPECT_EQ(DefaultCurrencyConfigFileName(), env.Pub("Currencies.vmg"));
    EXPECT_EQ(FolderEntries(PubData), (std::vector<std::string>{"Currencies.vmg", "ENG.vcn", "ESP.vcn"}));
    EXPECT_EQ(FolderEntries(AppData),
              (std::vector<std::string>{"ENG.lib", "ESP.lib", "Resources.so", "vemra-skin.png"}));
    EXPECT_EQ(ReadText(env.Pub("Currencies.vmg")), ReadText(Source("data/Currencies.vmg")));
    EXPECT_EQ(ReadText(env.Pub("ENG.vcn")), ReadText(Source("data/ENG.vcn")));
    EXPECT_EQ(ReadText(env.Pub("ESP.vcn")), ReadText(Source("data/ESP.vcn")));
    EXPECT_EQ(ReadText(SkinFileName()), ReadText(Source("vemra-skin.png")));
    // The language files are stored enciphered and read back as their plain texts.
    for (const char* language : {"ENG", "ESP"}) {
        const std::string file = env.App(std::string(language) + ".lib");
        EXPECT_EQ(ReadText(file).find("[Messages]"), std::string::npos) << language;
        EXPECT_EQ(IniText(file, kLanguageKeyIndex), IniText(Source("lang/") + language + ".ini", 0)) << language;
        TStreamedIniFile ini(kLanguageKeyIndex, file);
        ini.Reload();
        TStringList messages;
        ini.ReadSectionValues("Messages", messages);
        ASSERT_FALSE(messages.Empty());
        EXPECT_EQ(messages.ValueFromIndex(0), language);  // the language's name names its .vcn
    }
}

TEST_F(ResourceFilesTest, TheUsersCurrencyConfigurationIsKeptAndTheOtherFiveRewritten) {
    InstallLibrary();
    WriteText(env.Pub("Currencies.vmg"), "[VMG]\r\nTYPE=CONFIG\r\n[CONFIG]\r\nEUR=EUR;E;L;2\r\n");
    for (const std::string& file : {env.Pub("ENG.vcn"), env.Pub("ESP.vcn"), env.App("ENG.lib"), env.App("ESP.lib"),
                                    SkinFileName()})
        WriteText(file, "stale");
    // What else lives in AppData stays: the plug-in store's working copy, installed libraries.
    WriteText(env.App("plugins.dat"), "store");
    WriteText(env.App("ECB.so"), "library");

    ASSERT_TRUE(ExtractResourceFiles());
    EXPECT_EQ(ReadText(env.Pub("Currencies.vmg")), "[VMG]\r\nTYPE=CONFIG\r\n[CONFIG]\r\nEUR=EUR;E;L;2\r\n");
    EXPECT_EQ(ReadText(env.Pub("ENG.vcn")), ReadText(Source("data/ENG.vcn")));
    EXPECT_EQ(ReadText(env.Pub("ESP.vcn")), ReadText(Source("data/ESP.vcn")));
    EXPECT_EQ(ReadText(SkinFileName()), ReadText(Source("vemra-skin.png")));
    EXPECT_EQ(IniText(env.App("ENG.lib"), kLanguageKeyIndex), IniText(Source("lang/ENG.ini"), 0));
    EXPECT_EQ(IniText(env.App("ESP.lib"), kLanguageKeyIndex), IniText(Source("lang/ESP.ini"), 0));
    EXPECT_EQ(ReadText(env.App("plugins.dat")), "store");
    EXPECT_EQ(ReadText(env.App("ECB.so")), "library");
}

TEST_F(ResourceFilesTest, WithoutTheLibraryNothingIsTouched) {
    WriteText(env.App("ENG.lib"), "old");
    EXPECT_EQ(LoadResourceLibrary(), nullptr);
    EXPECT_FALSE(ExtractResourceFiles());
    EXPECT_EQ(FolderEntries(PubData), std::vector<std::string>{});
    EXPECT_EQ(FolderEntries(AppData), std::vector<std::string>{"ENG.lib"});
    EXPECT_EQ(ReadText(env.App("ENG.lib")), "old");
}

TEST_F(ResourceFilesTest, ALibraryThatAnotherUserCouldHaveWrittenIsNotLoaded) {
    InstallLibrary();
    WriteText(env.App("ENG.lib"), "old");
    struct Place {
        const char* name;
        std::string path;
        mode_t mode;
        mode_t safe;
    };
    for (const Place& place : {Place{"the library writable by all", ResourceLibraryFileName(), 0666, 0644},
                               Place{"its folder writable by all", AppData, 0777, 0755}}) {
        SCOPED_TRACE(place.name);
        ASSERT_EQ(chmod(place.path.c_str(), place.mode), 0);
        EXPECT_EQ(LoadResourceLibrary(), nullptr);
        EXPECT_FALSE(ExtractResourceFiles());
        EXPECT_TRUE(ReadText(env.App("ENG.lib")) == "old") << "the language file was not rewritten";
        ASSERT_EQ(chmod(place.path.c_str(), place.safe), 0);
    }
    EXPECT_NE(LoadResourceLibrary(), nullptr) << "the same library from a safe place";
}

TEST_F(ResourceFilesTest, TheIndexNamesALanguageFileForEnglishAndSpanishThatExtractionWrites) {
    InstallLibrary();
    TStringList index;
    index.SetText(Resource(kLanguageIndexResource));
    std::vector<std::string> entries;
    for (int i = 0; i < index.Count(); ++i) {
        const std::string value = index.ValueFromIndex(i);  // LLLL, a separator, the base name
        entries.push_back(value.substr(0, 4) + "|" + value.substr(5) + ".lib");
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"XX09|ENG.lib", "XX0A|ESP.lib"}));

    ASSERT_TRUE(ExtractResourceFiles());
    for (const std::string& entry : entries) EXPECT_TRUE(FileExists(env.App(entry.substr(5)))) << entry;
}

TEST_F(ResourceFilesTest, TheLanguageDataIsEncipheredWithTheLanguageKey) {
    InstallLibrary();
    TMemoryStream source(Resource(LanguageDataResourceName()));
    TMemoryStream plain;
    std::string key;
    StreamKey(kLanguageKeyIndex, key);
    ASSERT_TRUE(DecipherStream(source, plain, key));
    EXPECT_EQ(plain.Bytes(), ReadText(Source("languages.txt")));
}

}  // namespace
}  // namespace vemra::test
