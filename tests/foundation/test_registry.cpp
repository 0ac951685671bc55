// The registry store: typed values through the hive file, case rules, read errors, damaged
// hives, concurrent writers and a crash between writing and replacing the hive.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "RegistryEx.h"
#include "platform/Registry.h"
#include "platform/RegistryCache.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "Software\\Vemra";

using test::ReadText;
using test::ScopedEnv;
using test::WriteText;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_.emplace("VEMRA_REGISTRY_DIR", dir_);
        config_.emplace("XDG_CONFIG_HOME", dir_ + "/config");
    }
    void TearDown() override {
        TRegistry::SetReplaceHook(nullptr);
        SetHiveReadHook(nullptr);
        store_.reset();
        config_.reset();
    }
    std::string UserHive() const { return dir_ + "/user.reg"; }

    test::TempFolder temp_{"vemra-registry"};
    std::string dir_ = temp_.path();
    std::optional<ScopedEnv> store_, config_;
};

struct StringCase {
    const char* name;
    std::string value;
};

const std::vector<StringCase>& StringCases() {
    static const std::vector<StringCase> cases = {
        {"Plain", "EUR"},
        {"Quotes", "say \"hi\" = \"x\""},
        {"Backslashes", "C:\\Data\\"},
        {"Utf8", "K\xC3\xB8" "benhavn \xE2\x82\xAC \xC2\xA1"},
        {"Empty", ""},
        {"LineBreaks", "first\r\nsecond\nthird"},
        {"", "the default value"},
    };
    return cases;
}

TEST_F(RegistryTest, TypedValuesRoundTripThroughTheHiveFile) {
    const std::vector<int> ints = {0, 42, -1, -123456, INT_MIN, INT_MAX};
    const std::vector<double> stamps = {45292.5, 45292.123456789012, -1.25, 0.0, 1.0};
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        for (const auto& c : StringCases()) reg.WriteString(c.name, c.value);
        for (std::size_t i = 0; i < ints.size(); ++i) reg.WriteInteger("Int" + std::to_string(i), ints[i]);
        for (std::size_t i = 0; i < stamps.size(); ++i) reg.WriteDateTime("Stamp" + std::to_string(i), stamps[i]);
        reg.WriteBool("On", true);
        reg.WriteBool("Off", false);
        reg.WriteBinaryData("Raw", std::string("\x00\x01\xFF", 3));
    }
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    for (const auto& c : StringCases()) {
        EXPECT_EQ(reg.ReadString(c.name), c.value) << c.name;
        EXPECT_EQ(reg.GetDataType(c.name), TRegDataType::rdString) << c.name;
    }
    for (std::size_t i = 0; i < ints.size(); ++i) EXPECT_EQ(reg.ReadInteger("Int" + std::to_string(i)), ints[i]);
    for (std::size_t i = 0; i < stamps.size(); ++i) EXPECT_EQ(reg.ReadDateTime("Stamp" + std::to_string(i)), stamps[i]);
    EXPECT_TRUE(reg.ReadBool("On"));
    EXPECT_FALSE(reg.ReadBool("Off"));
    EXPECT_EQ(reg.ReadBinaryData("Raw"), std::string("\x00\x01\xFF", 3));
    EXPECT_EQ(reg.GetDataType("Int0"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.GetDataType("Stamp0"), TRegDataType::rdBinary);
    EXPECT_EQ(reg.GetDataType("Missing"), TRegDataType::rdUnknown);
}

TEST_F(RegistryTest, HiveFileIsRegedit4Text) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("", "Vemra Currency Converter");
        reg.WriteString("Path", "a\\b \"c\"");
        reg.WriteInteger("Answer", 42);
        reg.WriteInteger("Minus", -2);
        reg.WriteDateTime("One", 1.0);
    }
    const std::string text = ReadText(UserHive());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u) << text;
    // A parent without values of its own is implied by its subkeys' lines.
    EXPECT_EQ(text.find("[HKEY_CURRENT_USER\\Software]"), std::string::npos) << text;
    for (const char* line : {"\n[HKEY_CURRENT_USER\\Software\\Vemra]\n",
                             "\n@=\"Vemra Currency Converter\"\n", "\n\"Path\"=\"a\\\\b \\\"c\\\"\"\n",
                             "\n\"Answer\"=dword:0000002a\n", "\n\"Minus\"=dword:fffffffe\n",
                             "\n\"One\"=hex:00,00,00,00,00,00,f0,3f\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
}

TEST_F(RegistryTest, KeysAndValueNamesIgnoreCase) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("FormatLeft", " ( ");
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\vemra", false));
    EXPECT_TRUE(reg.ValueExists("formatleft"));
    EXPECT_EQ(reg.ReadString("FORMATLEFT"), " ( ");
    reg.WriteString("formatLEFT", "[");
    TStringList names;
    reg.GetValueNames(names);
    ASSERT_EQ(names.Count(), 1);
    EXPECT_EQ(names[0], "FormatLeft");  // the first spelling stays
    EXPECT_EQ(reg.ReadString("FormatLeft"), "[");
    EXPECT_TRUE(reg.KeyExists("\\software\\VEMRA"));
}

TEST_F(RegistryTest, ReadingAnotherTypeRaises) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Text", "12");
    reg.WriteInteger("Number", 12);
    reg.WriteBinaryData("Short", "abcd");
    struct Case {
        const char* what;
        std::function<void()> read;
        const char* message;
    } cases[] = {
        {"string as integer", [&] { (void)reg.ReadInteger("Text"); }, "Invalid data type for 'Text'"},
        {"string as bool", [&] { (void)reg.ReadBool("Text"); }, "Invalid data type for 'Text'"},
        {"integer as string", [&] { (void)reg.ReadString("Number"); }, "Invalid data type for 'Number'"},
        {"integer as date", [&] { (void)reg.ReadDateTime("Number"); }, "Invalid data type for 'Number'"},
        {"4 bytes as date", [&] { (void)reg.ReadDateTime("Short"); }, "Invalid data type for 'Short'"},
        {"string as binary", [&] { (void)reg.ReadBinaryData("Text"); }, "Invalid data type for 'Text'"},
        {"missing integer", [&] { (void)reg.ReadInteger("Nothing"); }, "Invalid data type for 'Nothing'"},
    };
    for (const Case& c : cases) {
        try {
            c.read();
            ADD_FAILURE() << c.what << " did not raise";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message(), c.message) << c.what;
        }
    }
    EXPECT_EQ(reg.ReadString("Nothing"), "");
}

TEST_F(RegistryTest, WritingWithoutAnOpenKeyRaises) {
    TRegistry reg;
    try {
        reg.WriteInteger("X", 1);
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for 'X'");
    }
    EXPECT_FALSE(fs::exists(UserHive()));
}

TEST_F(RegistryTest, KeysAreMadeListedAndDeletedWithTheirSubkeys) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    ASSERT_TRUE(reg.OpenKey("Software\\Vemra\\Sub\\Deep", true));
    reg.WriteInteger("Level", 3);
    ASSERT_TRUE(reg.OpenKey("Software\\Other", true));
    ASSERT_TRUE(reg.OpenKey("\\Software\\", false));
    TStringList keys;
    reg.GetKeyNames(keys);
    ASSERT_EQ(keys.Count(), 2);
    EXPECT_EQ(keys[0], "Vemra");
    EXPECT_EQ(keys[1], "Other");

    EXPECT_TRUE(reg.KeyExists("Vemra\\Sub"));  // relative to the open key
    EXPECT_TRUE(reg.DeleteKey("vemra"));
    EXPECT_FALSE(reg.DeleteKey("Vemra"));
    TRegistry fresh;
    EXPECT_FALSE(fresh.OpenKey("Software\\Vemra\\Sub\\Deep", false));
    EXPECT_TRUE(fresh.OpenKey("Software\\Other", false));
    // A key deleted by another object takes no more values, as on Windows.
    ASSERT_TRUE(reg.OpenKey("Software\\Other", false));
    EXPECT_TRUE(fresh.DeleteKey("\\Software\\Other"));
    EXPECT_THROW(reg.WriteString("Late", "x"), ERegistryException);
    EXPECT_FALSE(reg.OpenKey("Software\\Other", false));
    fresh.CloseKey();
    EXPECT_FALSE(fresh.DeleteKey(""));  // the root stays
    EXPECT_FALSE(fresh.DeleteKey("\\"));
}

TEST_F(RegistryTest, DeleteValue) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("A", "1");
    reg.WriteString("B", "2");
    EXPECT_TRUE(reg.DeleteValue("a"));
    EXPECT_FALSE(reg.DeleteValue("A"));
    TRegistry fresh;
    ASSERT_TRUE(fresh.OpenKey(kKey, false));
    EXPECT_FALSE(fresh.ValueExists("A"));
    EXPECT_EQ(fresh.ReadString("B"), "2");
}

TEST_F(RegistryTest, OpeningAKeyRereadsTheHive) {
    TRegistry reader;
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(kKey, true));
    writer.WriteString("V", "1");
    ASSERT_TRUE(reader.OpenKey(kKey, false));
    EXPECT_EQ(reader.ReadString("V"), "1");
    writer.WriteString("V", "2");
    ASSERT_TRUE(reader.OpenKey(kKey, false));
    EXPECT_EQ(reader.ReadString("V"), "2");
    // A write re-reads too, so it keeps what the other object wrote meanwhile.
    reader.WriteString("W", "x");
    EXPECT_EQ(reader.ReadString("V"), "2");
}

TEST_F(RegistryTest, DamagedLinesAreSkippedAndUnknownTypesKept) {
    WriteText(UserHive(),
              "\xEF\xBB\xBFREGEDIT4\r\n\r\n"
              "\"Orphan\"=\"outside any key\"\r\n"
              "[HKEY_CURRENT_USER\\Software\\Vemra]\r\n"
              "\"Good\"=\"yes\"\r\n"
              "\"Unterminated=\"x\"\r\n"
              "garbage line\r\n"
              "\"BadDword\"=dword:xyz\r\n"
              "\"TooLong\"=dword:123456789\r\n"
              "\"BadHex\"=hex:01,zz\r\n"
              "\"Trailing\"=\"x\" junk\r\n"
              "  \"Spaced\" = dword:00000007  \r\n"
              "\"Wrapped\"=hex:01,02,\\\r\n"
              "  03,04\r\n"
              "\"Expand\"=hex(2):25,48,4f,4d,45,25,00\r\n"
              "\"Multi\"=hex(7):61,00,62,00,00,00\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Vemra]\r\n"
              "\"Foreign\"=\"other root\"\r\n"
              "[HKEY_CURRENT_USER\\Software\\Vemra\r\n"
              "\"AfterBadKey\"=\"x\"\r\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    TStringList names;
    reg.GetValueNames(names);
    // The header without "]" still names Software\Vemra.
    EXPECT_EQ(names.CommaText(), "Good,Spaced,Wrapped,Expand,Multi,AfterBadKey");
    EXPECT_EQ(reg.ReadString("Good"), "yes");
    EXPECT_EQ(reg.ReadInteger("Spaced"), 7);
    EXPECT_EQ(reg.ReadBinaryData("Wrapped"), "\x01\x02\x03\x04");
    EXPECT_EQ(reg.GetDataType("Expand"), TRegDataType::rdExpandString);
    EXPECT_EQ(reg.ReadString("Expand"), "%HOME%");
    EXPECT_EQ(reg.GetDataType("Multi"), TRegDataType::rdUnknown);

    reg.WriteString("New", "v");
    const std::string text = ReadText(UserHive());
    EXPECT_NE(text.find("\"Multi\"=hex(7):61,00,62,00,00,00\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,48,4f,4d,45,25,00\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("HKEY_LOCAL_MACHINE"), std::string::npos) << text;
}

std::vector<std::string> DamagedCopies(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with("user.reg.damaged-")) found.push_back(entry.path().string());
    return found;
}

// Each damaged key line sits between values that must all survive reading and the next write.
TEST_F(RegistryTest, ADamagedKeyLineCostsOnlyItself) {
    struct Case {
        const char* name;
        const char* damaged;
        const char* afterKey;  // where the values after the damaged line belong
    } cases[] = {
        {"LoneBracket", "[", "Software\\Vemra"},
        {"BracketAndBlanks", "[  ", "Software\\Vemra"},
        {"NoRootName", "[\\Software\\Elsewhere]", "Software\\Vemra"},
        {"CutRootName", "[HKEY_CURRENT_US", "Software\\Vemra"},
        {"HeaderWithoutClosingBracket", "[HKEY_CURRENT_USER\\Software\\Vemra\\Sub", "Software\\Vemra\\Sub"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string hive = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vemra]\n";
        for (int i = 0; i < 50; ++i) hive += "\"Before" + std::to_string(i) + "\"=\"" + std::string(100, 'b') + "\"\n";
        hive += std::string(c.damaged) + "\n";
        for (int i = 0; i < 50; ++i) hive += "\"After" + std::to_string(i) + "\"=dword:" + "0000000" + std::to_string(i % 10) + "\n";
        hive += "[HKEY_CURRENT_USER\\Software\\Other]\n\"Last\"=\"x\"\n";
        WriteText(UserHive(), hive);

        const auto expectAll = [&] {
            TRegistry reg(KEY_READ);
            ASSERT_TRUE(reg.OpenKey(kKey, false));
            for (int i = 0; i < 50; ++i) EXPECT_EQ(reg.ReadString("Before" + std::to_string(i)), std::string(100, 'b'));
            ASSERT_TRUE(reg.OpenKey(c.afterKey, false));
            for (int i = 0; i < 50; ++i) EXPECT_EQ(reg.ReadInteger("After" + std::to_string(i)), i % 10);
            ASSERT_TRUE(reg.OpenKey("Software\\Other", false));
            EXPECT_EQ(reg.ReadString("Last"), "x");
        };
        expectAll();
        {
            TRegistry reg;
            ASSERT_TRUE(reg.OpenKey(kKey, false));
            reg.WriteString("New", "v");
        }
        expectAll();
        EXPECT_GT(ReadText(UserHive()).size(), hive.size() - 20);
        EXPECT_TRUE(DamagedCopies(dir_).empty());
    }
}

TEST_F(RegistryTest, AHiveThatIsNoHiveIsKeptAsideBeforeANewOneIsWritten) {
    const std::string garbage("\x00\x00\x7F" "ELF\x01\x02 not a registry [x\n\xFF\xFE junk\n", 30);
    WriteText(UserHive(), garbage);
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey(kKey, false));
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Fresh", "start");
    }
    const std::vector<std::string> aside = DamagedCopies(dir_);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), garbage);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadString("Fresh"), "start");
    reg.WriteString("Second", "write");  // the new hive is sound: nothing more is put aside
    EXPECT_EQ(DamagedCopies(dir_).size(), 1u);

    // A hive that lost its REGEDIT4 line but holds keys is read, and kept where it is.
    WriteText(UserHive(), "[HKEY_CURRENT_USER\\Software\\Vemra]\n\"Kept\"=\"yes\"\n");
    {
        TRegistry headless;
        ASSERT_TRUE(headless.OpenKey(kKey, false));
        EXPECT_EQ(headless.ReadString("Kept"), "yes");
        headless.WriteString("Added", "too");
    }
    EXPECT_EQ(DamagedCopies(dir_).size(), 1u);
    EXPECT_NE(ReadText(UserHive()).find("\"Kept\"=\"yes\""), std::string::npos) << ReadText(UserHive());

    // A hive that is merely damaged, or empty, is read and rewritten in place.
    for (const char* text : {"REGEDIT4\n\ngarbage only\n", "", "\n\n"}) {
        WriteText(UserHive(), text);
        TRegistry again;
        ASSERT_TRUE(again.OpenKey(kKey, true));
        EXPECT_EQ(DamagedCopies(dir_).size(), 1u) << text;
    }
}

TEST_F(RegistryTest, IntegersInHexFormAreLittleEndian) {
    WriteText(UserHive(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vemra]\n"
                          "\"Le\"=hex(4):2a,00,00,01\n\"Short\"=hex(4):2a,00\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadInteger("Le"), 0x0100002a);
    EXPECT_EQ(reg.GetDataType("Short"), TRegDataType::rdUnknown);  // not four bytes: kept as it is
    reg.WriteString("Touch", "x");
    EXPECT_NE(ReadText(UserHive()).find("\"Le\"=dword:0100002a\n"), std::string::npos);
}

std::string DeepPath(std::size_t levels, const std::string& name = "k") {
    std::string path;
    for (std::size_t i = 0; i < levels; ++i) path += (i == 0 ? "" : "\\") + name;
    return path;
}

TEST_F(RegistryTest, KeysBeyondThePlatformBoundsAreSkippedAndNeverMade) {
    const std::string hive = "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + DeepPath(1000, "level") + "]\n\"Deep\"=\"x\"\n"
                             "[HKEY_CURRENT_USER\\Software\\Vemra]\n\"Kept\"=\"yes\"\n"
                             "[HKEY_CURRENT_USER\\" + DeepPath(512, "ok") + "]\n\"AtLimit\"=\"y\"\n";
    WriteText(UserHive(), hive);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        EXPECT_EQ(reg.ReadString("Kept"), "yes");
        reg.WriteString("New", "v");
        EXPECT_FALSE(reg.OpenKey(DeepPath(513, "level"), false));
        ASSERT_TRUE(reg.OpenKey(DeepPath(512, "ok"), false));
        EXPECT_EQ(reg.ReadString("AtLimit"), "y");
    }
    // Neither the deep key nor every parent of the key at the limit is written out.
    const std::string text = ReadText(UserHive());
    EXPECT_LT(text.size(), DeepPath(512, "ok").size() + 200) << text.substr(0, 300);
    EXPECT_EQ(text.find("level"), std::string::npos);

    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(DeepPath(513), true));
    EXPECT_TRUE(reg.OpenKey(DeepPath(512), true));
    EXPECT_FALSE(reg.OpenKey("Software\\" + std::string(256, 'n'), true));
    EXPECT_TRUE(reg.OpenKey("Software\\" + std::string(255, 'n'), true));
    std::string wide;  // 255 characters of two bytes each
    for (int i = 0; i < 255; ++i) wide += "\xC3\xA9";
    EXPECT_TRUE(reg.OpenKey("Software\\" + wide, true));
    EXPECT_FALSE(reg.OpenKey("Software\\" + wide + "e", true));
    TRegistry fresh;
    EXPECT_TRUE(fresh.OpenKey(DeepPath(512), false));
    EXPECT_TRUE(fresh.OpenKey("Software\\" + wide, false));
}

TEST_F(RegistryTest, MachineAndUserHivesAreSeparate) {
    TRegistry machine;
    machine.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.OpenKey(kKey, true));
    machine.WriteString("AppFolder", "/opt/vemra");
    EXPECT_EQ(TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE), dir_ + "/machine.reg");
    EXPECT_NE(ReadText(dir_ + "/machine.reg").find("[HKEY_LOCAL_MACHINE\\Software\\Vemra]"), std::string::npos);
    TRegistry user;
    EXPECT_FALSE(user.OpenKey(kKey, false));
}

TEST_F(RegistryTest, HivePathsFollowTheEnvironment) {
    EXPECT_EQ(TRegistry::HivePathForRead(HKEY_CURRENT_USER), dir_ + "/user.reg");
    store_.reset();
    const ScopedEnv noStore("VEMRA_REGISTRY_DIR", std::nullopt);
    EXPECT_EQ(TRegistry::HivePathForWrite(HKEY_CURRENT_USER), dir_ + "/config/vemra/user.reg");
    {
        const ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
        const ScopedEnv home("HOME", dir_ + "/home");
        EXPECT_EQ(TRegistry::HivePathForWrite(HKEY_CURRENT_USER), dir_ + "/home/.config/vemra/user.reg");
    }
    if (::geteuid() != 0 && !fs::exists("/etc/vemra")) {
        EXPECT_EQ(TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE), dir_ + "/config/vemra/machine.reg");
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger("X", 1);
    EXPECT_TRUE(fs::exists(dir_ + "/config/vemra/user.reg"));
}

TEST_F(RegistryTest, TheMachineHiveLiesUnderTheSystemRoot) {
    store_.reset();
    const ScopedEnv noStore("VEMRA_REGISTRY_DIR", std::nullopt);
    struct stat etcBefore {};
    const bool etcHive = ::stat("/etc/vemra/machine.reg", &etcBefore) == 0;
    const auto write = [](const std::string& value) {
        TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("AppFolder", value);
    };
    {
        // A machine root that can be written (an installation by root into it) holds the hive.
        fs::create_directories(dir_ + "/machine");
        const ScopedEnv root("VEMRA_SYSTEM_ROOT", dir_ + "/machine");
        // Asserted first: a write must never reach the real /etc.
        ASSERT_EQ(TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE), dir_ + "/machine/etc/vemra/machine.reg");
        write("/machine/opt");
        EXPECT_NE(ReadText(dir_ + "/machine/etc/vemra/machine.reg").find("/machine/opt"), std::string::npos);
    }
    {
        // One that does not exist stands for a machine the user cannot write, even for root.
        const ScopedEnv root("VEMRA_SYSTEM_ROOT", dir_ + "/no-machine");
        ASSERT_EQ(TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE), dir_ + "/config/vemra/machine.reg");
        EXPECT_EQ(TRegistry::HivePathForRead(HKEY_LOCAL_MACHINE), dir_ + "/config/vemra/machine.reg");
        write("/user/opt");
        EXPECT_NE(ReadText(dir_ + "/config/vemra/machine.reg").find("/user/opt"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir_ + "/no-machine"));
    }
    struct stat etcAfter {};
    EXPECT_EQ(::stat("/etc/vemra/machine.reg", &etcAfter) == 0, etcHive) << "nothing is written under /etc";
    if (etcHive) EXPECT_EQ(etcAfter.st_mtime, etcBefore.st_mtime);
}

TEST_F(RegistryTest, AStoreThatCannotBeWrittenFailsVisibly) {
    WriteText(dir_ + "/file", "not a folder");
    const ScopedEnv blocked("VEMRA_REGISTRY_DIR", dir_ + "/file/sub");
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kKey, true));
    ASSERT_TRUE(reg.OpenKey("", false));  // the root always exists
    EXPECT_THROW(reg.WriteString("X", "1"), ERegistryException);
}

TEST_F(RegistryTest, AnUnreadableHiveIsNotReplaced) {
    if (!test::PermissionsBind()) GTEST_SKIP() << "permissions do not bind this process";
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Keep", "me");
    }
    const std::string before = ReadText(UserHive());
    ASSERT_EQ(::chmod(UserHive().c_str(), 0), 0);
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\New", true));
    ASSERT_EQ(::chmod(UserHive().c_str(), 0600), 0);
    EXPECT_EQ(ReadText(UserHive()), before);
}

// Each child writes its own values while the others write theirs.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kChildren = 4;
    constexpr int kValues = 25;
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
    }
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                TRegistry reg;
                if (!reg.OpenKey(kKey, false)) ::_exit(2);
                for (int v = 0; v < kValues; ++v) reg.WriteInteger("C" + std::to_string(c) + "V" + std::to_string(v), v);
            } catch (...) {
                ::_exit(3);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    TStringList names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.Count(), kChildren * kValues);
    for (int c = 0; c < kChildren; ++c)
        for (int v = 0; v < kValues; ++v) EXPECT_EQ(reg.ReadInteger("C" + std::to_string(c) + "V" + std::to_string(v)), v);
}

constexpr int kCrashCode = 77;

[[noreturn]] void CrashBeforeReplace(const std::string&) { ::_exit(kCrashCode); }

TEST_F(RegistryTest, ACrashBeforeTheRenameLeavesTheOldHiveWhole) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Setting", "old value");
        reg.WriteDateTime("InstallDate", 45292.25);
    }
    const std::string before = ReadText(UserHive());

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TRegistry::SetReplaceHook(CrashBeforeReplace);
        try {
            TRegistry reg;
            if (reg.OpenKey(kKey, false)) reg.WriteString("Setting", "new value");
        } catch (...) {
        }
        ::_exit(1);  // the hook never ran
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), kCrashCode);

    EXPECT_EQ(ReadText(UserHive()), before);
    const std::string temp = UserHive() + ".tmp";
    ASSERT_TRUE(fs::exists(temp));
    EXPECT_NE(ReadText(temp).find("new value"), std::string::npos);
    {
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        EXPECT_EQ(reg.ReadString("Setting"), "old value");
        EXPECT_EQ(reg.ReadDateTime("InstallDate"), 45292.25);
    }
    // The leftover temporary file does not get in the way of the next write.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    reg.WriteString("Setting", "later value");
    TRegistry fresh;
    ASSERT_TRUE(fresh.OpenKey(kKey, false));
    EXPECT_EQ(fresh.ReadString("Setting"), "later value");
    EXPECT_EQ(fresh.ReadDateTime("InstallDate"), 45292.25);
    EXPECT_FALSE(fs::exists(temp));
}

int replacements = 0;
void CountReplacement(const std::string&) { ++replacements; }

// Saving settings writes most of them as they are stored: such a write leaves the hive file
// alone, while any change of data or of kind (letter case of the name aside) replaces it.
TEST_F(RegistryTest, AWriteOfTheStoredValueLeavesTheHiveFileAlone) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    const auto writeAll = [&reg](const char* textName) {
        reg.WriteString(textName, "EUR");
        reg.WriteString("Lines", "a\r\nb");
        reg.WriteInteger("Number", 42);
        reg.WriteBool("Switch", true);
        reg.WriteDateTime("When", 45292.25);
        reg.WriteBinaryData("Bytes", std::string("\x00\x01", 2));
    };
    writeAll("Text");
    const std::string before = ReadText(UserHive());
    replacements = 0;
    TRegistry::SetReplaceHook(CountReplacement);
    writeAll("text");
    EXPECT_EQ(replacements, 0);
    EXPECT_EQ(ReadText(UserHive()), before);

    const std::vector<std::function<void()>> changes = {
        [&] { reg.WriteString("Text", "eur"); },
        [&] { reg.WriteInteger("Number", 43); },
        [&] { reg.WriteString("Number", "43"); },
        [&] { reg.WriteBinaryData("Bytes", std::string("\x00\x02", 2)); },
        [&] { reg.WriteString("New", ""); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        changes[i]();
        EXPECT_EQ(replacements, static_cast<int>(i) + 1) << i;
    }
    TRegistry fresh(KEY_READ);
    ASSERT_TRUE(fresh.OpenKey(kKey, false));
    EXPECT_EQ(fresh.ReadString("Text"), "eur");
    EXPECT_EQ(fresh.ReadString("Number"), "43");
    EXPECT_EQ(fresh.ReadString("Lines"), "a\r\nb");
    EXPECT_TRUE(fresh.ValueExists("New"));
}

// ---- batches ----

std::string ValueOr(const char* name, const char* key = kKey) {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKey(key, false) || !reg.ValueExists(name)) return "(none)";
    return reg.GetDataType(name) == TRegDataType::rdInteger ? std::to_string(reg.ReadInteger(name))
                                                            : reg.ReadString(name);
}

TEST_F(RegistryTest, ABatchStoresItsWritesInOneReplaceAtItsCommit) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Gone", "x");
        reg.WriteString("IsoFrom", "EUR");
    }
    const std::string before = ReadText(UserHive());
    replacements = 0;
    TRegistry::SetReplaceHook(CountReplacement);
    {
        TRegistryBatch batch(HKEY_CURRENT_USER);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteString("IsoFrom", "USD");
        reg.WriteInteger("Count", 3);
        EXPECT_TRUE(reg.DeleteValue("Gone"));
        EXPECT_FALSE(reg.DeleteValue("Gone"));
        ASSERT_TRUE(reg.OpenKey(std::string(kKey) + "\\Sub", true));
        reg.WriteBool("On", true);
        {
            TRegistryBatch inner(HKEY_CURRENT_USER);  // joins the outer one
            TRegistry other;
            ASSERT_TRUE(other.OpenKey(kKey, false));
            EXPECT_EQ(other.ReadString("IsoFrom"), "USD");  // the gathered writes are seen
            EXPECT_FALSE(other.ValueExists("Gone"));
            EXPECT_TRUE(other.KeyExists("Sub"));
            other.WriteString("IsoTo", "JPY");
            EXPECT_TRUE(inner.Commit());
        }
        EXPECT_EQ(replacements, 0);
        EXPECT_EQ(ReadText(UserHive()), before);
        // Another root is not held back by it.
        TRegistry machine;
        machine.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(machine.OpenKey(kKey, true));
        machine.WriteString("AppFolder", "/opt/Vemra");
        EXPECT_EQ(replacements, 2);
        EXPECT_TRUE(batch.Commit());
        EXPECT_EQ(replacements, 3);
    }
    EXPECT_EQ(ValueOr("IsoFrom"), "USD");
    EXPECT_EQ(ValueOr("IsoTo"), "JPY");
    EXPECT_EQ(ValueOr("Count"), "3");
    EXPECT_EQ(ValueOr("Gone"), "(none)");
    EXPECT_EQ(ValueOr("On", "Software\\Vemra\\Sub"), "1");
    // A batch of writes as stored leaves the file alone.
    TRegistryBatch again(HKEY_CURRENT_USER);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    reg.WriteString("IsoFrom", "USD");
    EXPECT_TRUE(again.Commit());
    EXPECT_EQ(replacements, 3);
}

TEST_F(RegistryTest, ABatchEndedWithoutItsCommitStoresNothing) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("V", "old");
    }
    const std::string before = ReadText(UserHive());
    {
        TRegistryBatch outer(HKEY_CURRENT_USER);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteString("V", "new");
        {
            TRegistryBatch inner(HKEY_CURRENT_USER);
            reg.WriteString("W", "x");
        }  // an inner one that ends without its commit drops the whole batch
        EXPECT_FALSE(outer.Commit());
    }
    {
        TRegistryBatch batch(HKEY_CURRENT_USER);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteString("V", "newer");
    }
    EXPECT_EQ(ReadText(UserHive()), before);
    TRegistryBatch batch(HKEY_CURRENT_USER);  // a later batch starts afresh
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadString("V"), "old");
    reg.WriteString("Z", "1");
    EXPECT_TRUE(batch.Commit());
    EXPECT_EQ(ValueOr("V"), "old");
    EXPECT_EQ(ValueOr("W"), "(none)");
    EXPECT_EQ(ValueOr("Z"), "1");
}

// The commit applies the gathered writes to the hive as the file holds it then: what another
// writer stored meanwhile stays, and a key it deleted meanwhile refuses the whole batch.
TEST_F(RegistryTest, ABatchKeepsWhatAnotherWriterStoredMeanwhile) {
    const std::string sub = std::string(kKey) + "\\Sub";
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(sub, true));
    }
    const auto elsewhere = [](const std::function<void(TRegistry&)>& write) {
        std::thread other([&write] {  // a thread has no batch of its own open
            TRegistry reg;
            if (reg.OpenKey(kKey, false)) write(reg);
        });
        other.join();
    };
    {
        TRegistryBatch batch(HKEY_CURRENT_USER);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteString("Mine", "1");
        elsewhere([](TRegistry& theirs) { theirs.WriteString("Theirs", "2"); });
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(ValueOr("Mine"), "1");
    EXPECT_EQ(ValueOr("Theirs"), "2");

    TRegistryBatch batch(HKEY_CURRENT_USER);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    reg.WriteString("Mine", "3");
    ASSERT_TRUE(reg.OpenKey(sub, false));
    reg.WriteString("Deep", "4");
    elsewhere([](TRegistry& theirs) { theirs.DeleteKey("Sub"); });
    const std::string between = ReadText(UserHive());
    EXPECT_FALSE(batch.Commit());
    EXPECT_EQ(ReadText(UserHive()), between);
    EXPECT_EQ(ValueOr("Mine"), "1");
}

int killAt = 0;
int replacesSeen = 0;
void KillAtReplace(const std::string&) {
    if (++replacesSeen == killAt) ::kill(::getpid(), SIGKILL);
}

// A kill at any replace of a batch leaves the values it changes all old or all new.
TEST_F(RegistryTest, AKillDuringABatchLeavesTheOldValuesOrAllTheNew) {
    const std::vector<std::pair<const char*, const char*>> values = {
        {"IsoFrom", "USD"}, {"IsoTo", "JPY"}, {"Favorites", "JPY,CHF"}, {"FormatLeft", "["}};
    bool killed = false;
    for (killAt = 1;; ++killAt) {
        std::filesystem::remove(UserHive());
        {
            TRegistry reg;
            ASSERT_TRUE(reg.OpenKey(kKey, true));
            for (const auto& [name, value] : values) reg.WriteString(name, "old");
        }
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            replacesSeen = 0;
            TRegistry::SetReplaceHook(KillAtReplace);
            TRegistryBatch batch(HKEY_CURRENT_USER);
            TRegistry reg;
            if (!reg.OpenKey(kKey, false)) ::_exit(2);
            for (const auto& [name, value] : values) reg.WriteString(name, value);
            ::_exit(batch.Commit() ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const bool done = WIFEXITED(status);
        if (done) {
            ASSERT_EQ(WEXITSTATUS(status), 0);
        }
        int changed = 0;
        for (const auto& [name, value] : values) changed += ValueOr(name) == value ? 1 : 0;
        EXPECT_TRUE(changed == 0 || changed == static_cast<int>(values.size())) << "killed at replace " << killAt;
        EXPECT_EQ(changed, done ? static_cast<int>(values.size()) : 0);
        if (done) break;
        killed = true;
    }
    EXPECT_TRUE(killed);
}

// ---- the hive cache ----

int hiveReads = 0;
void CountHiveRead(const std::string&) { ++hiveReads; }

// Puts the file's modification time an hour back: a change long before it is read.
void MakeOld(const std::string& path) {
    timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string HiveWith(const char* value) {
    return std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vemra]\n\"V\"=\"") + value + "\"\n";
}

// Opening keys reads the hive file once; any change of the file is still seen, also one that
// keeps its size and modification time, or is renamed into its place.
TEST_F(RegistryTest, AHiveFileIsReadAgainOnlyWhenItChanged) {
    WriteText(UserHive(), HiveWith("one"));
    MakeOld(UserHive());
    hiveReads = 0;
    SetHiveReadHook(CountHiveRead);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(ValueOr("V"), "one");
    EXPECT_EQ(hiveReads, 1);

    WriteText(UserHive(), HiveWith("two"));  // in place, same size, same time set again
    MakeOld(UserHive());
    EXPECT_EQ(ValueOr("V"), "two");
    EXPECT_EQ(ValueOr("V"), "two");
    EXPECT_EQ(hiveReads, 2);

    const std::string other = dir_ + "/other.reg";
    WriteText(other, HiveWith("six"));
    MakeOld(other);
    ASSERT_EQ(std::rename(other.c_str(), UserHive().c_str()), 0);
    EXPECT_EQ(ValueOr("V"), "six");
    EXPECT_EQ(hiveReads, 3);

    // Changed just now: file times are too coarse to tell a next change, so it is read each time.
    WriteText(UserHive(), HiveWith("ten"));
    EXPECT_EQ(ValueOr("V"), "ten");
    EXPECT_EQ(ValueOr("V"), "ten");
    EXPECT_EQ(hiveReads, 5);

    // What this process wrote needs no reading back.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteString("V", "own");
    }
    const int afterWrite = hiveReads;
    EXPECT_EQ(ValueOr("V"), "own");
    EXPECT_EQ(hiveReads, afterWrite);
}

TEST_F(RegistryTest, NewHivesArePrivateToTheUser) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    struct stat st {};
    ASSERT_EQ(::stat(UserHive().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// ---- TRegistryEx ----

TEST_F(RegistryTest, RegistryExOpensTheUserRootWithTheRightAccess) {
    const TRegistryEx writer(true);
    const TRegistryEx reader(false);
    EXPECT_EQ(writer.RootKey(), HKEY_CURRENT_USER);
    EXPECT_EQ(writer.Access(), 0xF003Fu);
    EXPECT_EQ(reader.Access(), 0x20019u);
    EXPECT_FALSE(writer.LazyWrite);
}

TEST_F(RegistryTest, RegistryExReadsFallBackToDefaultsOnlyWhenMissing) {
    {
        TRegistryEx reg(true);
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("Empty", "");
        reg.WriteString("Name", "USD");
        reg.WriteInteger("Count", -5);
        reg.WriteBool("Flag", false);
        reg.WriteInteger("Odd", 2);
    }
    TRegistryEx reg(false);
    EXPECT_EQ(reg.ReadStringDef("Name", "x"), "x");  // no key open yet
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadStringDef("Missing", "EUR"), "EUR");
    EXPECT_EQ(reg.ReadStringDef("Empty", "EUR"), "");
    EXPECT_EQ(reg.ReadStringDef("name", "EUR"), "USD");
    EXPECT_EQ(reg.ReadIntegerDef("Count", 9), -5);
    EXPECT_EQ(reg.ReadIntegerDef("Missing", 9), 9);
    EXPECT_FALSE(reg.ReadBoolDef("Flag", true));
    EXPECT_TRUE(reg.ReadBoolDef("Odd", false));
    EXPECT_TRUE(reg.ReadBoolDef("Missing", true));
    EXPECT_THROW((void)reg.ReadIntegerDef("Name", 1), ERegistryException);
    EXPECT_THROW((void)reg.ReadBoolDef("Name", true), ERegistryException);
    EXPECT_THROW((void)reg.ReadStringDef("Count", ""), ERegistryException);
}

}  // namespace
}  // namespace vemra
