// A plain column's result lines, the output memo and the converter's output lines hold the
// same lines without copies; each must still read and change as a list of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PipelineTestSupport.h"
#include "rtl/SysUtils.h"

namespace vemra::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(PipelineTest, ResultLinesOfAPlainColumnAreTheOutputMemoTrimmed) {
    // Lines with blanks at their ends, a text cell among amounts, an empty line last.
    ConvertPlain({" item ", "5", "\tword", "12,5", ""});
    const Strings out = Out();
    ASSERT_EQ(out.size(), 5u);
    Strings expected;
    for (const std::string& line : out) expected.push_back(Trim(line));
    EXPECT_EQ(Results(), expected);
    EXPECT_EQ(LinesOf(conv.OutputLines()), out);
}

TEST_F(PipelineTest, SharedRunListsChangeEachOnItsOwn) {
    ConvertPlain({"5", "x", "12,5"});
    const Strings out = Out();
    ASSERT_EQ(Results(), out);

    ui.Result.SetString(0, "edited result");
    ui.Result.Add("added result");
    EXPECT_EQ(Out(), out);
    EXPECT_EQ(LinesOf(conv.OutputLines()), out);

    ui.Output.Delete(1);
    conv.OutputLines().SetString(0, "edited output");
    EXPECT_EQ(Results(), (Strings{"edited result", out[1], out[2], "added result"}));
    EXPECT_EQ(Out(), (Strings{out[0], out[2]}));
    EXPECT_EQ(LinesOf(conv.OutputLines()), (Strings{"edited output", out[1], out[2]}));

    // Converting again starts every list afresh.
    ConvertPlain({"5", "x", "12,5"});
    EXPECT_EQ(Out(), out);
    EXPECT_EQ(Results(), out);
    EXPECT_EQ(LinesOf(conv.OutputLines()), out);
}

}  // namespace
}  // namespace vemra::test
