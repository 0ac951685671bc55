// Packed lines come back as they went in, across blocks, and keep their place among the
// detail-log lines added to the body list directly; the converter's output lines of a run,
// packed while it runs, read as the output memo's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CurrencyConverter.h"
#include "PackedLines.h"
#include "PipelineTestSupport.h"

namespace vemra::test {
namespace {

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> out;
    for (const TStringList::Item& item : list.Items()) out.push_back(item.str);
    return out;
}

TEST(PackedLinesTest, LinesOfEveryKindComeBackInOrderAcrossBlocks) {
    std::vector<std::string> lines = {"", "one", "with\r\nline break", std::string(1, '\0') + "zero byte",
                                      std::string(300000, 'x')};  // longer than a block
    for (int i = 0; i < 20000; ++i) lines.push_back("0" + std::to_string(i) + " = \"" + std::to_string(i * 7) + "\"");
    TPackedLines packed;
    for (const std::string& line : lines) packed.Add(line);
    EXPECT_EQ(packed.Count(), static_cast<int>(lines.size()));

    std::string expected;
    for (const std::string& line : lines) expected += line + "\r\n";
    std::string text;
    packed.AppendText(text);
    EXPECT_EQ(text, expected);

    TStringList list;
    list.Add("before");
    packed.MoveTo(list);
    EXPECT_TRUE(packed.Empty());
    lines.insert(lines.begin(), "before");
    EXPECT_EQ(Lines(list), lines);
}

TEST(PackedLinesTest, TheBodyKeepsPackedAndListedLinesInTheOrderAdded) {
    TCurrencyConverter conv;
    conv.AddLogLine("a");
    conv.LogBody().Add("b");
    conv.AddLogLine("c");
    EXPECT_EQ(conv.LogBodyText(), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(Lines(conv.LogBody()), (std::vector<std::string>{"a", "b", "c"}));
    conv.AddLogLine("d");
    conv.ClearLogBody();
    EXPECT_EQ(conv.LogBody().Count(), 0);
    EXPECT_EQ(conv.LogBodyText(), "");
}

TEST_F(PipelineTest, OutputLinesOfARunReadAsTheOutputMemo) {
    ConvertTable({"x\tUSD", "a\t12,5", "", "3\tb"});
    EXPECT_EQ(LinesOf(conv.OutputLines()), Out());
    EXPECT_EQ(Results(),
              (std::vector<std::string>{"x\tUSD", "a\t12.50 USD ( 6.25 EUR )", "EMPTY", "3 USD ( 1.50 EUR )\tb"}));
    run.ConvertCells();  // again, after the lines were read once
    EXPECT_EQ(LinesOf(conv.OutputLines()), Out());
    EXPECT_EQ(Results()[1], "a\t12.50 USD ( 6.25 EUR )");
}

}  // namespace
}  // namespace vemra::test
