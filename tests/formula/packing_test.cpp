// qpPackExpression and qpPackBracketsExpression: tables of exact examples,
// and the storage limits (one below works, one above is refused and leaves
// the text as it was).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formula/packing.h"
#include "frame/exports.h"
#include "tests/formula/text_runner.h"

namespace {

using ftext_test::ExpectRow;
using ftext_test::OneTerm;
using ftext_test::RunOnText;
using ftext_test::TextRow;

short Pack(char* t) { return qpPackExpression(t); }
short PackBrackets(char* t) { return qpPackBracketsExpression(t); }

const std::vector<TextRow> kPackRows = {
    // worked examples
    {"H+H", "2*H", 1},
    {"H+H+H", "3*H", 1},
    {"0.5*B+B/4", "0.75*B", 1},
    {"2*H-3*H", "-H", 1},
    {"-a+2*a", "a", 1},
    {"B/4+2-B/4", "2", 1},
    {"H/2+3+H/2+1", "H+4", 1},
    {"5+H+H", "5+2*H", 1},
    {"H*1.5+W-H", "0.5*H+W", 1},
    // edge cases
    {"", "", 1, "an empty text stays empty"},
    {"H", "H", 1},
    {"1*H", "1*H", 1, "only merged terms are rewritten"},
    {"H/0", "H/0", 1, "an unmerged term is copied, its divisor never read"},
    {"H-H", "", 1, "every term cancels"},
    {"H+W-H", "W", 1, "a cancelled name disappears"},
    {"H-H+2-2", "", 1},
    {"AB+ABC", "AB+ABC", 0, "ABC is no name: packed as AB it lost its C"},
    {"a+A", "a+A", 1, "names are case-sensitive"},
    {"0.9998*H+0.0002*H", "H", 1, "a coefficient within 0.0005 of 1 is not written"},
    {"1+2", "3", 1},
    {"1-2", "-1", 1, "the constant keeps its sign even when alone"},
    {"5+H-5", "H", 1, "constants that cancel leave no constant"},
    {"2-1.9996", "", 1, "a constant sum within 0.0005 is dropped"},
    {"-5-3", "-8", 1},
    {"H+W+H", "2*H+W", 1, "a merged name keeps the place of its first occurrence"},
    {"W+H-3+H+1", "W+2*H-2", 1, "the merged constant moves to the end"},
    {"-H-H", "-2*H", 1},
    {"H/3+H/3", "0.667*H", 1},
    {"H*1.5+H", "2.5*H", 1},
    {"H*2/3+H/3", "H", 1, "n/m shape"},
    {"A/3-A", "-0.667*A", 1, "packing may lengthen a text"},
    {"2H+H", "2H+H", 0, "a number joined to a name without *: read as 45*H"},
    {"H++H", "H++H", 0, "two signs: the empty term packed into a dangling +"},
    {"BL*HL+H+H", "BL*HL+H+H", 0, "a product of names is no packing shape"},
    {"2*H/4+H", "2*H/4+H", 0, "two numbers in one term"},
    {"aB+a", "aB+a", 0, "a name of mixed case"},
    {"-1*a/H+B*12.5+0.75*a*B", "-1*a/H+B*12.5+0.75*a*B", 0, "gave -0.25*a+B*12.5"},
    {"1.2.3+1", "1.2.3+1", 0, "a number with two points"},
    // the pair "+-" that the spreading writes is one minus
    {"x+-2*a+2*b", "x+-2*a+2*b", 1},
    {"x+-a+a", "x", 1, "the pair goes with the name that cancels"},
    {"x+-2*a+3+1", "x+-2*a+4", 1},
    {"x-+a", "x-+a", 0, "only +- is a pair"},
    // each side of the cancel and unit thresholds (0.0005)
    {"0.0004*H+0*H", "", 1},
    {"0.0006*H+0*H", "0.001*H", 1},
    {"0.5*H+0.4996*H", "H", 1},
    {"0.5*H+0.4994*H", "0.999*H", 1},
    {"0.5*H+0.496*H", "0.996*H", 1},
    {"2-1.9994", "0.001", 1},
    // divisors below 1e-05 are taken as 1
    {"H/0+H", "2*H", -1},
    {"H*2/0+H", "3*H", -1},
    {"H/0.000001-H", "", -1},
    // a leading '+' (no caller passes one) is outside the grammar
    {"+2*H+H", "+2*H+H", 0, "a text does not begin with +"},
    // numbers whose integer part does not fit 16 bits are refused
    {"H*20000+H*20000", "H*20000+H*20000", 0, "40000 does not fit the number text"},
    {"H*16383.5+H*16384", "32767.5*H", 1},
    {"20000+20000", "20000+20000", 0},
};

class PackTable : public ::testing::TestWithParam<TextRow> {};

TEST_P(PackTable, PacksExactly) { ExpectRow(GetParam(), RunOnText(GetParam().input, Pack)); }

INSTANTIATE_TEST_SUITE_P(Examples, PackTable, ::testing::ValuesIn(kPackRows));

const std::vector<TextRow> kPackBracketsRows = {
    // worked examples
    {"a+2*(b+c)+a-3", "2*(b+c)+2*a-3", 1},
    {"a+2*(b+c)", "2*(b+c)+a", 1},
    {"(b+c)+4+1", "(b+c)+5", 1},
    {"2*(b+c", "2*(b+c", 0, "unbalanced"},
    // edge cases
    {"a+b+a", "2*a+b", 1, "no bracket: packed as a whole"},
    {"", "", 1},
    {"(a+b)", "(a+b)", 1, "nothing bracket-free"},
    {"(a+a)+b", "(a+a)+b", 1, "bracket groups are left as they are"},
    {"-a+(b)", "(b)-a", 1},
    {"-(b)+a", "-(b)+a", 1},
    {"(a)+b+(c)+b", "(a)+(c)+2*b", 1, "stretches between groups are gathered"},
    {"(a)*2+b", "(a)*2+b", 1, "a trailing factor stays with its group"},
    {"(b)+a-a", "(b)", 1, "the bracket-free part cancels"},
    {"(a))", "(a))", 0, "unbalanced"},
    {"a)+(b", "a)+(b", 0, "a ) before its ("},
    {"a*(b)+c+c", "a*(b)+c+c", 0, "a name as a group's coefficient"},
    {"(a)+b+-c+b", "(a)+2*b+-c", 1, "a pair in a bracket-free stretch"},
    {"((a+b)*2+c)+d+d", "((a+b)*2+c)+2*d", 1, "nested groups"},
    {"(a)+H/0+H", "(a)+2*H", -1},
    {"(a)+H*20000+H*20000", "(a)+H*20000+H*20000", 0, "its packing refused"},
};

class PackBracketsTable : public ::testing::TestWithParam<TextRow> {};

TEST_P(PackBracketsTable, PacksExactly) {
    ExpectRow(GetParam(), RunOnText(GetParam().input, PackBrackets));
}

INSTANTIATE_TEST_SUITE_P(Examples, PackBracketsTable, ::testing::ValuesIn(kPackBracketsRows));

// ---- storage limits -----------------------------------------------------------

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

// Terms: "H+H" and then `others` distinct one-letter names.
std::string TermsText(int others) {
    std::string t = "H+H";
    for (int i = 0; i < others; ++i) t += std::string("+") + static_cast<char>('a' + i);
    return t;
}
std::string TermsResult(int others) {
    std::string t = "2*H";
    for (int i = 0; i < others; ++i) t += std::string("+") + static_cast<char>('a' + i);
    return t;
}

// 127 and 128 characters: H+H and four terms of 31, 31, 31 and 27 or 28.
std::string LongTerms(size_t last) {
    return OneTerm("A", 31) + "+" + OneTerm("B", 31) + "+" + OneTerm("C", 31) + "+" + OneTerm("D", last);
}
std::string LongText(size_t last) { return "H+H+" + LongTerms(last); }
std::string LongResult(size_t last) { return "2*H+" + LongTerms(last); }

// A text that grows by 2 in packing ("A/3-A" becomes "-0.667*A"), behind a
// prefix of unmerged terms, so that the result is 99 or 100 characters.
std::string Prefix(size_t length) {
    return OneTerm("B", 30) + "+" + OneTerm("C", 30) + "+" + OneTerm("D", length - 62);
}

const std::vector<TextRow> kPackLimitRows = {
    {TermsText(8), TermsResult(8), 1, "10 terms"},
    {TermsText(9), TermsText(9), 0, "11 terms"},
    {LongText(27), LongResult(27), 1, "127 characters"},
    {LongText(28), LongText(28), 0, "128 characters"},
    {"H+H+" + OneTerm("A", 31), "2*H+" + OneTerm("A", 31), 1, "a term of 31 characters"},
    {"H+H+" + OneTerm("A", 32), "H+H+" + OneTerm("A", 32), 0, "a term of 32 characters"},
    {"-" + OneTerm("A", 31) + "-" + OneTerm("A", 31), "-2*A", 1, "the sign is not part of the term"},
    {Prefix(91) + "+A/3-A", Prefix(91) + "-0.667*A", 1, "grows to 99 characters"},
    {Prefix(92) + "+A/3-A", Prefix(92) + "+A/3-A", 0, "would grow to 100: past the caller's buffer"},
};

class PackLimits : public ::testing::TestWithParam<TextRow> {};

TEST_P(PackLimits, RefusesPastTheLimit) { ExpectRow(GetParam(), RunOnText(GetParam().input, Pack)); }

INSTANTIATE_TEST_SUITE_P(Storage, PackLimits, ::testing::ValuesIn(kPackLimitRows));

TEST(PackLimitTexts, HaveTheLengthsTheyClaim) {
    EXPECT_EQ(LongText(27).size(), 127u);
    EXPECT_EQ((Prefix(91) + "-0.667*A").size(), 99u);
    EXPECT_EQ(TermsText(8).size(), 19u);
}

// Bracket packing: H+(a) and then pairs +H+(a), one stretch each.
std::string Stretches(int n) { return "H+(a)" + Repeat("+H+(a)", n - 1); }
std::string StretchesResult(int n) {
    return "(a)" + Repeat("+(a)", n - 1) + "+" + std::to_string(n) + "*H";
}

// A bracketed part of exactly `length` characters: (a+a+...+a) padded with b.
std::string Bracketed(size_t length) {
    std::string inside = OneTerm("A", 31) + "+" + OneTerm("B", 31) + "+" + OneTerm("C", length - 66);
    return "(" + inside + ")";
}

const std::vector<TextRow> kPackBracketsLimitRows = {
    {Stretches(9), StretchesResult(9), 1, "9 bracket-free stretches"},
    {Stretches(10), Stretches(10), 0, "10 bracket-free stretches"},
    {Bracketed(79) + "+H+H", Bracketed(79) + "+2*H", 1, "79 characters of brackets"},
    {Bracketed(80) + "+H+H", Bracketed(80) + "+H+H", 0, "80 characters of brackets"},
    {"(a)+" + TermsText(9), "(a)+" + TermsText(9), 0, "the bracket-free part has 11 terms"},
};

TEST(PackBracketsLimitTexts, HaveTheLengthsTheyClaim) {
    EXPECT_EQ(Bracketed(79).size(), 79u);
}

class PackBracketsLimits : public ::testing::TestWithParam<TextRow> {};

TEST_P(PackBracketsLimits, RefusesPastTheLimit) {
    ExpectRow(GetParam(), RunOnText(GetParam().input, PackBrackets));
}

INSTANTIATE_TEST_SUITE_P(Storage, PackBracketsLimits, ::testing::ValuesIn(kPackBracketsLimitRows));

TEST(PackNull, IsRefused) {
    EXPECT_EQ(qpPackExpression(nullptr), 0);
    EXPECT_EQ(qpPackBracketsExpression(nullptr), 0);
}

// Internal callers hand their own storage size; a result longer than it is
// refused, one that fits is written.
TEST(PackWithin, HonoursTheGivenRoom) {
    char text[16] = "A/3-A";
    EXPECT_EQ(ftext::PackExpressionWithin(text, 7), 0);
    EXPECT_STREQ(text, "A/3-A");
    EXPECT_EQ(ftext::PackExpressionWithin(text, 8), 1);
    EXPECT_STREQ(text, "-0.667*A");
}

}  // namespace
