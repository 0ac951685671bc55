#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "rtl/FormatSettings.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

using V = std::vector<std::string>;

using test::Strings;

TEST(MemIniFile, ReadingRules) {
    TMemIniFile ini;
    ini.SetText(
        "before=dropped\r\n"
        "; comment\n"
        "  [ Main ]  \r"
        "  name  =  some value \t\r\n"
        "\r\n"
        "   ; indented comment\n"
        "bare line \n"
        "a;b=c;d\n"
        "=v\n"
        "k==x\n"
        "[Other]\n"
        "[main]\n"
        "second=1\n");
    ASSERT_EQ(ini.Sections().size(), 3u);
    EXPECT_EQ(ini.Sections()[0].name, "Main");
    EXPECT_EQ(Strings(ini.Sections()[0].lines), (V{"name=some value", "bare line", "a;b=c;d", "=v", "k==x"}));
    EXPECT_TRUE(ini.Sections()[1].lines.Empty());
    EXPECT_EQ(ini.Sections()[2].name, "main");  // a second section of the same name is its own entry

    EXPECT_EQ(ini.ReadString("MAIN", "Name", "def"), "some value");
    EXPECT_EQ(ini.ReadString("main", "second", "def"), "def");  // lookups find the first section
    EXPECT_EQ(ini.ReadString("main", "k", ""), "=x");
    EXPECT_EQ(ini.ReadString("main", "bare line", "def"), "def");
    EXPECT_EQ(ini.ReadString("none", "name", "def"), "def");
}

TEST(MemIniFile, RendersSectionsLinesAndOneEmptyLine) {
    TMemIniFile ini;
    ini.WriteString("S", "A", "1");
    EXPECT_EQ(ini.RenderText(), "[S]\r\nA=1\r\n\r\n");
    EXPECT_EQ(TMemIniFile().RenderText(), "");

    ini.WriteString("T", "x", "");
    EXPECT_EQ(ini.RenderText(), "[S]\r\nA=1\r\n\r\n[T]\r\nx=\r\n\r\n");
    TStringList lines;
    lines.Add("stale");
    ini.GetStrings(lines);
    EXPECT_EQ(Strings(lines), (V{"[S]", "A=1", "", "[T]", "x=", ""}));

    // What was rendered reads back the same.
    TMemIniFile back;
    back.SetStrings(lines);
    EXPECT_EQ(back.RenderText(), ini.RenderText());
}

TEST(MemIniFile, WriteStringReplacesOrAppends) {
    TMemIniFile ini;
    ini.SetText("[A]\nk=1\nK=2\n[B]\n[a]\nk=3\n");
    ini.WriteString("a", "K", "new");   // the first line of that name in the first section
    ini.WriteString("A", "other", "o"); // appended to that section
    ini.WriteString("C", "c", "3");     // a new section at the end
    EXPECT_EQ(ini.RenderText(),
              "[A]\r\nK=new\r\nK=2\r\nother=o\r\n\r\n"
              "[B]\r\n\r\n"
              "[a]\r\nk=3\r\n\r\n"
              "[C]\r\nc=3\r\n\r\n");
}

TEST(MemIniFile, SectionQueriesAndDeletes) {
    TMemIniFile ini;
    ini.SetText("[DATA]\nUSD=1\nbare\neur=2\n[X]\n[data]\nGBP=3\n");
    EXPECT_TRUE(ini.SectionExists("Data"));
    EXPECT_FALSE(ini.SectionExists("Y"));
    EXPECT_TRUE(ini.ValueExists("data", "EUR"));
    EXPECT_FALSE(ini.ValueExists("data", "GBP"));
    EXPECT_FALSE(ini.ValueExists("none", "USD"));

    TStringList out;
    out.Add("stale");
    ini.ReadSections(out);
    EXPECT_EQ(Strings(out), (V{"DATA", "X", "data"}));
    ini.ReadSection("data", out);
    EXPECT_EQ(Strings(out), (V{"USD", "eur"}));  // value names only
    ini.ReadSectionValues("DATA", out);
    EXPECT_EQ(Strings(out), (V{"USD=1", "bare", "eur=2"}));
    ini.ReadSection("none", out);
    EXPECT_TRUE(out.Empty());

    ini.DeleteKey("DATA", "usd");
    ini.DeleteKey("DATA", "missing");
    ini.EraseSection("data");  // the first of the two
    EXPECT_EQ(ini.ReadString("data", "GBP", ""), "3");
    ini.EraseSection("none");
    EXPECT_EQ(ini.RenderText(), "[X]\r\n\r\n[data]\r\nGBP=3\r\n\r\n");
    ini.Clear();
    EXPECT_TRUE(ini.Sections().empty());
}

TEST(MemIniFile, TypedValues) {
    TMemIniFile ini;
    ini.SetText("[N]\ni=42\nhex=$1F\nneg= -7 \nbad=4x\nt=2\nf=0\nword=yes\nfl=1,5\n");
    struct IntCase {
        const char* ident;
        int expected;
    };
    for (const IntCase& c : {IntCase{"i", 42}, {"hex", 31}, {"neg", -7}, {"bad", -1}, {"missing", -1}}) {
        SCOPED_TRACE(c.ident);
        EXPECT_EQ(ini.ReadInteger("N", c.ident, -1), c.expected);
    }
    EXPECT_TRUE(ini.ReadBool("N", "t", false));
    EXPECT_FALSE(ini.ReadBool("N", "f", true));
    EXPECT_TRUE(ini.ReadBool("N", "word", true));
    EXPECT_FALSE(ini.ReadBool("N", "word", false));

    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    TFormatSettings point;
    point.DecimalSeparator = '.';
    EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "fl", 0, comma), 1.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "fl", -2, point), -2);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "missing", 9, comma), 9);

    ini.WriteInteger("W", "i", -12);
    ini.WriteBool("W", "b", true);
    ini.WriteBool("W", "c", false);
    ini.WriteFloat("W", "f", 2.25, comma);
    EXPECT_EQ(ini.ReadString("W", "i", ""), "-12");
    EXPECT_EQ(ini.ReadString("W", "b", ""), "1");
    EXPECT_EQ(ini.ReadString("W", "c", ""), "0");
    EXPECT_EQ(ini.ReadString("W", "f", ""), "2,25");
}

class MemIniFileOnDisk : public ::testing::Test {
protected:
    test::TempFolder temp_{"vemra_ini"};
    std::string dir_ = temp_.path();
    std::string path_ = JoinPath(dir_, "test.ini");
};

TEST_F(MemIniFileOnDisk, ReloadAndUpdateFile) {
    TMemIniFile ini(path_);
    EXPECT_EQ(ini.FileName(), path_);
    ini.WriteString("Keep", "a", "1");
    ini.Reload();  // no file yet: contents unchanged
    EXPECT_EQ(ini.ReadString("Keep", "a", ""), "1");

    ini.UpdateFile();
    EXPECT_EQ(ReadFileBytes(path_), "[Keep]\r\na=1\r\n\r\n");

    WriteFileAtomic(path_, "junk\n[New]\n b = 2 \n");
    ini.Reload();  // replaces the whole contents
    EXPECT_FALSE(ini.SectionExists("Keep"));
    EXPECT_EQ(ini.ReadString("New", "b", ""), "2");
    ini.UpdateFile();
    EXPECT_EQ(ReadFileBytes(path_), "[New]\r\nb=2\r\n\r\n");

    ini.Clear();
    ini.UpdateFile();
    EXPECT_EQ(ReadFileBytes(path_), "");
}

TEST_F(MemIniFileOnDisk, NoFileNameTouchesNothingAndBadFolderRaises) {
    TMemIniFile unnamed;
    unnamed.WriteString("S", "a", "1");
    unnamed.UpdateFile();
    unnamed.Reload();
    EXPECT_EQ(unnamed.ReadString("S", "a", ""), "1");
    EXPECT_TRUE(std::filesystem::is_empty(dir_));

    TMemIniFile bad(JoinPath(dir_, "missing/test.ini"));
    bad.WriteString("S", "a", "1");
    EXPECT_THROW(bad.UpdateFile(), EInOutError);
}

TEST(MemIniFile, LargeSectionLoadsAndReads) {
    std::string text = "[Big]\r\n";
    for (int i = 0; i < 5000; ++i) text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    TMemIniFile ini;
    ini.SetText(text);
    EXPECT_EQ(ini.Sections()[0].lines.Count(), 5000);
    EXPECT_EQ(ini.ReadString("big", "k4999", ""), "4999");
    EXPECT_EQ(ini.ReadString("big", "K5000", "none"), "none");
    EXPECT_EQ(ini.RenderText(), text + "\r\n");
}

}  // namespace
}  // namespace vemra
