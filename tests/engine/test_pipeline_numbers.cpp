// The decimal-separator classes of number texts, the run's one decision for ambiguous
// numbers under each choice, and the normalised number form.
#include <gtest/gtest.h>

#include "NumberCells.h"
#include "PipelineTestSupport.h"

namespace vemra::test {
namespace {

using Strings = std::vector<std::string>;

struct ClassCase {
    std::string text;
    int cls;
    std::string normalized;  // with the comma decision
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << Quoted(c.text); }

class AutomaticClassTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(AutomaticClassTest, ClassAndNormalForm) {
    const ClassCase& c = GetParam();
    const std::uint8_t cls = ClassifyDecimalSeparator(c.text, 0, '.');
    EXPECT_EQ(cls, c.cls) << c.text;
    if (cls != ccText) {
        EXPECT_EQ(NormalizeNumberText(c.text, cls, false), c.normalized) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AutomaticClassTest,
    ::testing::Values(ClassCase{"1.234,56", ccNumericInt, "1234,56"}, ClassCase{"1,234.56", ccNumericEnUs, "1234,56"},
                      ClassCase{"1,234,567.89", ccNumericEnUs, "1234567,89"},
                      ClassCase{"1.234.567,89", ccNumericInt, "1234567,89"},
                      ClassCase{"12,5", ccNumericInt, "12,5"}, ClassCase{"12.5", ccNumericEnUs, "12,5"},
                      ClassCase{"12,50", ccNumericInt, "12,50"}, ClassCase{"1,234", ccNumericAmbiguous, "1,234"},
                      ClassCase{"1.234", ccNumericAmbiguous, "1234"}, ClassCase{"100", ccNumericAmbiguous, "100"},
                      ClassCase{"$10", ccNumericAmbiguous, "$10"}, ClassCase{"-0x1F", ccNumericAmbiguous, "-0x1F"},
                      ClassCase{"1.000.000", ccNumericAmbiguous, "1000000"},
                      ClassCase{"99999999999", ccText, ""}, ClassCase{"100 USD", ccText, ""},
                      ClassCase{"word", ccText, ""}, ClassCase{"12,5 USD", ccNumericInt, "12,5 USD"}));

TEST(NormalizeNumberTextTest, PointDecisionReadsAmbiguousNumbersWithThePoint) {
    EXPECT_EQ(NormalizeNumberText("1,234", ccNumericAmbiguous, true), "1234");
    EXPECT_EQ(NormalizeNumberText("1.000.000", ccNumericAmbiguous, true), "1,000,000");
    EXPECT_EQ(NormalizeNumberText("1.5", ccNumericAmbiguous, false), "15");
    EXPECT_EQ(NormalizeNumberText("1.234,5", ccNumericInt, true), "1234,5");  // the class decides
}

TEST(ClassifyDecimalSeparatorTest, FixedChoicesClassEveryText) {
    for (const std::string text : {"1,234", "12.5", "word"}) {
        EXPECT_EQ(ClassifyDecimalSeparator(text, 1, '.'), ccNumericEnUs) << text;
        EXPECT_EQ(ClassifyDecimalSeparator(text, 1, ','), ccNumericInt) << text;
        EXPECT_EQ(ClassifyDecimalSeparator(text, 2, '.'), ccNumericInt) << text;
        EXPECT_EQ(ClassifyDecimalSeparator(text, 3, ','), ccNumericEnUs) << text;
    }
}

// ---- the decision of a run ----

class DecisionTest : public PipelineTest {};

TEST_F(DecisionTest, AloneAnAmbiguousNumberReadsWithTheComma) {
    ConvertPlain({"1,234"});
    EXPECT_FALSE(conv.Table.DecimalPoint);
    EXPECT_EQ(Out(), (Strings{"1.23 USD ( 0.62 EUR )"}));
}

TEST_F(DecisionTest, APointNumberDecidesForThePoint) {
    ConvertPlain({"1,234", "3.5"});
    EXPECT_TRUE(conv.Table.DecimalPoint);
    EXPECT_EQ(Classes(), (std::vector<int>{ccNumericAmbiguous, ccNumericEnUs}));
    EXPECT_EQ(Out(), (Strings{"1,234 USD ( 617 EUR )", "3.50 USD ( 1.75 EUR )"}));
}

TEST_F(DecisionTest, EqualCommaAndPointCountsGiveTheComma) {
    ConvertPlain({"1,5", "2,5", "1.5", "2.5"});
    EXPECT_FALSE(conv.Table.DecimalPoint);
    EXPECT_EQ(Classes(), (std::vector<int>{1, 1, 2, 2}));
    EXPECT_EQ(run.UnconvertedCount, 0);
    ConvertPlain({"1.5", "2.5", "1,5"});
    EXPECT_TRUE(conv.Table.DecimalPoint);
}

TEST_F(DecisionTest, MillionWithGroupPointsUnderEachDecision) {
    ConvertPlain({"1.000.000"});
    EXPECT_EQ(Out(), (Strings{"1,000,000 USD ( 500,000 EUR )"}));
    ConvertPlain({"1.000.000", "2.5"});
    EXPECT_EQ(Out(), (Strings{"1.000.000", "2.50 USD ( 1.25 EUR )"}));
    EXPECT_EQ(conv.Table.Cells[0].Class, ccText);
    EXPECT_EQ(run.UnconvertedCount, 1);
    EXPECT_EQ(CellLog(0), "0000 = \"1.000.000\" Not convertible");
}

struct ChoiceCase {
    int choice;
    char localeDecimal;
    std::vector<int> classes;
    bool decimalPoint;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << "choice " << c.choice << " in a locale with '" << c.localeDecimal << "'";
}

class DesambiChoiceTest : public PipelineTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(DesambiChoiceTest, ClassesAndDecision) {
    const ChoiceCase& c = GetParam();
    ui.Desambi = c.choice;
    FormatSettings.DecimalSeparator = c.localeDecimal;
    ConvertPlain({"1.234", "1,5", "word", ""});
    // Classes as the conversion leaves them: a word that does not read stays text.
    std::vector<int> expected = c.classes;
    expected[2] = ccText;
    EXPECT_EQ(Classes(), expected);
    EXPECT_EQ(conv.Table.BaseClasses, (std::vector<std::uint8_t>(c.classes.begin(), c.classes.end())));
    EXPECT_EQ(conv.Table.DecimalPoint, c.decimalPoint);
    EXPECT_EQ(run.UnconvertedCount, 2);  // the word and the empty line
}

INSTANTIATE_TEST_SUITE_P(Choices, DesambiChoiceTest,
                         ::testing::Values(ChoiceCase{0, '.', {3, 1, 0, 0}, false},
                                           ChoiceCase{1, '.', {2, 2, 2, 0}, true},
                                           ChoiceCase{1, ',', {1, 1, 1, 0}, false},
                                           ChoiceCase{2, '.', {1, 1, 1, 0}, false},
                                           ChoiceCase{3, '.', {2, 2, 2, 0}, true}));

TEST_F(DecisionTest, FixedChoicesReadTheSameTextsDifferently) {
    ui.Desambi = 2;
    ConvertPlain({"1.234", "1,5"});
    EXPECT_EQ(Out(), (Strings{"1,234 USD ( 617 EUR )", "1.50 USD ( 0.75 EUR )"}));
    ui.Desambi = 3;
    ConvertPlain({"1.234", "1,5"});
    EXPECT_EQ(Out(), (Strings{"1.23 USD ( 0.62 EUR )", "15 USD ( 7.50 EUR )"}));
}

TEST_F(DecisionTest, HeaderCellsKeepTheirClassUnderFixedChoices) {
    ui.Desambi = 3;
    ConvertTable({"x\tUSD", "y\t1,5"});
    EXPECT_EQ(Classes(), (std::vector<int>{ccText, ccCurrency, ccText, ccNumericEnUs}));
    EXPECT_EQ(conv.Table.BaseClasses, (std::vector<std::uint8_t>{ccNumericEnUs, ccCurrency, ccNumericEnUs, ccNumericEnUs}));
}

}  // namespace
}  // namespace vemra::test
