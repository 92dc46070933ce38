// qpSpreadBracketsExpression, qpCalcuSubExpression and the sign inversion:
// tables of exact examples, and the storage limits (one below works, one
// above is refused and leaves the text as it was).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formula/spreading.h"
#include "frame/exports.h"
#include "tests/formula/text_runner.h"

namespace {

using ftext_test::ExpectRow;
using ftext_test::OneTerm;
using ftext_test::RunOnText;
using ftext_test::TextRow;

short Spread(char* t) { return qpSpreadBracketsExpression(t); }

const std::vector<TextRow> kSpreadRows = {
    // worked examples
    {"2*(H/4+2)", "H*0.5+4", 1},
    {"-(H/4+2)", "-H/4-2", 1},
    {"-(-a+b)", "a-b", 1},
    {"x-2*(-a+b)", "x+2*a-2*b", 1},
    {"(a+b)/2+c", "0.5*a+0.5*b+c", 1},
    {"x+2*(a+b)*3", "x+6*a+6*b", 1},
    {"2*(b+c)+d-(e+f)", "2*b+2*c+d-e-f", 1},
    {"2*(a+3*(b+c))", "2*a+6*b+6*c", 1, "the nested group is spread first, then scaled"},
    {"x+2*(a+b)h", "x+2*(a+b)h", 0, "a name right after the group"},
    // edge cases
    {"x+2*(-a+b)", "x+-2*a+2*b", 1, "a + before the group keeps the inside's -"},
    {"a+b", "a+b", 1, "no brackets"},
    {"", "", 1},
    {"2*(b+c", "2*(b+c", 0, "a group that never closes"},
    {"(a+b)*2/3", "(a+b)*2/3", 0, "a trailing factor is one number: scaled by 1/3 it lost the 2"},
    {"(H+H)", "2*H", 1, "each segment is packed"},
    {"2*(H/4+2)+H", "1.5*H+4", 1, "bracket-free terms pack with their segment"},
    {"0.5*(2*H)", "H", 1},
    {"2*(H*0.5)", "H*1", 1, "a unit number is dropped only before a *"},
    {"x-(a)", "x-a", 1},
    {"x-(-a)", "x+a", 1, "the inside's + takes the place of the -"},
    {"-(-a)+(b)", "a+b", 1, "the first segment drops the leading +"},
    {"-(a)-(b)", "-a-b", 1},
    {"(a+b)*2+(c)*3", "2*a+2*b+3*c", 1},
    {"x+(a+b)+y", "x+a+b+y", 1},
    {"3*(a)/2", "1.5*a", 1},
    {"((a+b))", "a+b", 1},
    {"(b)+(a-a)", "b", 1, "a group that cancels leaves nothing, not its sign"},
    {"(a-a)+(b)", "b", 1, "nor a leading +"},
    {"(b)-(-a+a)", "b", 1},
    {"x+2*((a)-a)+y", "x+y", 1, "a nested group that cancels takes its sign along"},
    {"((a)-a)-y", "-y", 1},
    {"-(x+2*(-a+b))", "-x+2*a-2*b", 1, "the inverted +- is a +"},
    {"1.0004*(1000*H)", "1000.4*H", 1, "a factor near 1 is applied"},
    {"(H/2+H*2)/6", "0.417*H", 1, "rounded once: 0.083 + 0.333 would give 0.416"},
    {"6*(0.75*(B/4))", "1.125*B", 1, "rounded once: 6 * 0.188 would give 1.128"},
    {"x+(H/3)*2+H", "x+1.667*H", 1},
    {"-((x/0-(-(6)/26)/2))", "-((x/0-(-(6)/26)/2))", 0, "no exact value to write past a zero divisor"},
    {"B*BL+BL*(-H*a-0.125-c+B*BL)+2.25", "B*BL+BL*(-H*a-0.125-c+B*BL)+2.25", 0, "names as coefficients"},
    {"-12.5--(12.5*W+6)", "-12.5--(12.5*W+6)", 0, "two signs before a group"},
    {"x+-(a)", "x+-(a)", 0, "the pair only stands before a bracket-free term"},
    {"3*(2*(a+b)+c)", "6*a+6*b+3*c", 1},
    {"(a)/0", "a", -1, "a zero trailing divisor is taken as 1"},
    {"2*(H/0)", "2*(H/0)", 0, "the scaler's -1 inside a group is a refusal"},
    {"(H/0+H)", "(H/0+H)", 0, "the packing's -1 is a refusal"},
    {"2*((a)/0)", "2*((a)/0)", 0, "a nested -1 is a refusal"},
    {"2*((a)h)", "2*((a)h)", 0, "a nested refusal"},
    {"(a))", "(a))", 0, "unbalanced: depth -1 at the end"},
    {"(a)+(b", "(a)+(b", 0, "a group that never closes after one that did"},
    {"a*(b)", "a*(b)", 0, "a name as coefficient: read as the number 49"},
    {"2*a(b)", "2*a(b)", 0, "a name right before the group"},
    {"2*(a)+(b)(c)", "2*(a)+(b)(c)", 0, "two groups in one term"},
    {"(a)*(b)", "(a)*(b)", 0, "two groups in one term"},
    {"2*(H*20000)", "2*(H*20000)", 0, "40000 does not fit the number text"},
};

class SpreadTable : public ::testing::TestWithParam<TextRow> {};

TEST_P(SpreadTable, SpreadsExactly) { ExpectRow(GetParam(), RunOnText(GetParam().input, Spread)); }

INSTANTIATE_TEST_SUITE_P(Examples, SpreadTable, ::testing::ValuesIn(kSpreadRows));

struct ScaleRow {
    std::string input;
    char op;
    float x;
    std::string expected;
    short status;
    const char* why = "";
};

void PrintTo(const ScaleRow& row, std::ostream* os) {
    *os << "\"" << row.input << "\" " << row.op << " " << row.x << " -> \"" << row.expected
        << "\" (" << row.status << ")";
}

const std::vector<ScaleRow> kScaleRows = {
    // worked examples
    {"H/4+2", '*', 2.0f, "H*0.5+4", 1},
    {"b+c", '*', 3.0f, "3*b+3*c", 1},
    {"2*H", '*', 0.5f, "H", 1},
    {"H*2/3+1", '*', 3.0f, "H*2+3", 1},
    {"H+3", '/', 2.0f, "0.5*H+1.5", 1},
    // edge cases
    {"H*0.5", '*', 2.0f, "H*1", 1, "a unit number is dropped only before a *"},
    {"2*H/4", '*', 3.0f, "2*H/4", 0, "two numbers in one term: both were scaled"},
    {"BL*HL", '*', 2.0f, "BL*HL", 0, "a product of names: left unscaled"},
    {"(12.5/(8))", '*', 1.5f, "(12.5/(8))", 0, "brackets: both numbers were scaled"},
    {"H*1.0008", '*', 1.0f, "H*1.001", 1, "0.0008 is more than a number's rounding: written"},
    {"1.0008*H", '*', 1.0f, "1.001*H", 1, "nor is it dropped as a unit coefficient"},
    {"0.333*H", '*', 3.0f, "0.999*H", 1, "0.999 is no unit coefficient"},
    {"1.0004*H+H*2.0004", '*', 1.0f, "H+H*2", 1, "0.0004 is within the rounding"},
    {"x+-2*a", '*', 2.0f, "2*x+-4*a", 1},
    {"H+BL", '*', 2.0f, "2*H+2*BL", 1},
    {"H+BL", '*', 1.0f, "H+BL", 1, "the explicit 1* vanishes again"},
    {"ABC", '*', 2.0f, "ABC", 0, "three letters are no name: left unscaled"},
    {"H/4", '*', 2.0f, "H*0.5", 1},
    {"H/2*3", '*', 1.0f, "H*1.5", 1, "a chain folds into one number"},
    {"-a+b", '*', 2.0f, "-2*a+2*b", 1},
    {"", '*', 2.0f, "", 1},
    {"H", '*', 2.0f, "2*H", 1},
    {"2", '/', 3.0f, "0.667", 1},
    {"2/4*H+6/2", '*', 1.0f, "0.5*H+3", 1, "chains fold"},
    {"H*1.0004", '*', 1.0f, "H*1", 1, "within 0.001 of 1, written at the end"},
    {"1.0004*H", '*', 1.0f, "H", 1, "within 0.001 of 1, dropped before a *"},
    {"H*1.0015", '*', 1.0f, "H*1.002", 1},
    {"2.5.1*H", '*', 2.0f, "2.5.1*H", 0, "a second point: read as 0"},
    // divisors below 1e-05 are taken as 1
    {"H/0", '*', 2.0f, "H*2", -1},
    {"H*2/0", '*', 1.0f, "H*2", -1},
    {"H+3", '/', 0.0f, "H+3", -1},

    // refused: text unchanged
    {"H", '+', 2.0f, "H", 0, "only * and / are operators"},
    {"H", '*', -1.0f, "H", 0, "a negative factor"},
    {"H*20000", '*', 2.0f, "H*20000", 0, "40000 does not fit the number text"},
    {"H*16383.9", '*', 2.0f, "H*32767.801", 1, "read as the float 16383.900390625"},
    {"H*16383.5", '*', 2.0f, "H*32767", 1, "the largest number the text holds"},
};

class ScaleTable : public ::testing::TestWithParam<ScaleRow> {};

TEST_P(ScaleTable, ScalesExactly) {
    const ScaleRow& row = GetParam();
    ExpectRow({row.input, row.expected, row.status, row.why},
              RunOnText(row.input, [&](char* t) { return qpCalcuSubExpression(t, row.op, row.x); }));
}

INSTANTIATE_TEST_SUITE_P(Examples, ScaleTable, ::testing::ValuesIn(kScaleRows));

const std::vector<TextRow> kInvertRows = {
    {"a+b-c", "a-b+c", 1},
    {"-a", "+a", 1},
    {"x+-a-b", "x+a+b", 1, "+- is one minus"},
    {"", "", 1},
    {"2*(a+b)-c", "2*(a-b)+c", 1},
};

class InvertTable : public ::testing::TestWithParam<TextRow> {};

TEST_P(InvertTable, SwapsSigns) {
    ExpectRow(GetParam(), RunOnText(GetParam().input, ftext::InvertSigns));
}

INSTANTIATE_TEST_SUITE_P(Examples, InvertTable, ::testing::ValuesIn(kInvertRows));

TEST(FormulaNull, IsRefused) {
    EXPECT_EQ(qpSpreadBracketsExpression(nullptr), 0);
    EXPECT_EQ(qpCalcuSubExpression(nullptr, '*', 2.0f), 0);
}

// ---- storage limits -----------------------------------------------------------

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

// n top-level groups: (a)+(a)+...
std::string Groups(int n) { return "(a)" + Repeat("+(a)", n - 1); }
std::string GroupsResult(int n) { return "a" + Repeat("+a", n - 1); }

// A sum of `length` characters of unmerged terms (at most 31 each).
std::string Sum(size_t length, char first) {
    std::string s;
    char name = first;
    while (s.size() < length) {
        if (!s.empty()) s += '+';
        size_t left = length - s.size();
        size_t term = left > 31 ? 29 : left;  // never leave a stub shorter than a term
        s += term >= 4 ? OneTerm(std::string(1, name++), term) : std::string(term, 'x');
    }
    return s;
}

// Segment 0 of `length` characters: a group whose inside is length - 2.
std::string Segment(size_t length) { return "(" + Sum(length - 2, 'A') + ")"; }

// A group followed by an after-text of `length` characters.
std::string After(size_t length) { return "+" + Sum(length - 1, 'P'); }

const std::vector<TextRow> kSpreadLimitRows = {
    {Groups(9), GroupsResult(9), 1, "9 top-level groups"},
    {Groups(10), Groups(10), 0, "10 top-level groups"},
    {Segment(79), Sum(77, 'A'), 1, "a segment of 79 characters"},
    {Segment(80), Segment(80), 0, "a segment of 80 characters"},
    {"(a)" + After(39), "a" + After(39), 1, "39 characters after the group"},
    {"(a)" + After(40), "(a)" + After(40), 0, "40 characters after the group"},
    {"(" + Sum(60, 'A') + ")+(" + Sum(38, 'P') + ")", Sum(60, 'A') + "+" + Sum(38, 'P'), 1,
     "a result of 99 characters"},
    {"(" + Sum(60, 'A') + ")+(" + Sum(39, 'P') + ")", "(" + Sum(60, 'A') + ")+(" + Sum(39, 'P') + ")", 0,
     "a result of 100 characters: past the caller's buffer"},
    {"2*(" + Repeat("a+", 38) + "a)", "2*(" + Repeat("a+", 38) + "a)", 0,
     "the scaler's explicit coefficients grow the inside past 79"},
};

class SpreadLimits : public ::testing::TestWithParam<TextRow> {};

TEST_P(SpreadLimits, RefusesPastTheLimit) {
    ExpectRow(GetParam(), RunOnText(GetParam().input, Spread));
}

INSTANTIATE_TEST_SUITE_P(Storage, SpreadLimits, ::testing::ValuesIn(kSpreadLimitRows));

TEST(SpreadLimitTexts, HaveTheLengthsTheyClaim) {
    EXPECT_EQ(Segment(79).size(), 79u);
    EXPECT_EQ(After(39).size(), 39u);
    EXPECT_EQ(Sum(60, 'A').size() + 1 + Sum(38, 'P').size(), 99u);
}

// Scaler texts of `length` characters: a constant of d's and terms "AB*d";
// a factor that turns d into e leaves the length as it is.
std::string Names(size_t length, char d = '1') {
    std::string terms;
    while (terms.size() + 5 + 1 <= length) terms += std::string("+AB*") + d;
    return std::string(length - terms.size(), d) + terms;
}
std::string Scaled(size_t length, char d, char e) {
    std::string s = Names(length, d);
    for (char& c : s)
        if (c == d) c = e;
    return s;
}

const std::vector<ScaleRow> kScaleLimitRows = {
    {Names(79), '*', 2.0f, Scaled(79, '1', '2'), 1, "79 characters"},
    {Names(80), '*', 2.0f, Names(80), 0, "80 characters"},
    {Names(75) + "+H", '*', 2.0f, Scaled(75, '1', '2') + "+2*H", 1, "a bare name grows 77 characters to 79"},
    {Names(76) + "+H", '*', 2.0f, Names(76) + "+H", 0, "a bare name would grow 78 characters to 80"},
    {Names(73, '3') + "+1", '/', 3.0f, Scaled(73, '3', '1') + "+0.333", 1, "scaling grows 75 characters to 79"},
    {Names(74, '3') + "+1", '/', 3.0f, Names(74, '3') + "+1", 0, "scaling would grow 76 characters to 80"},
    {"0000002.5*H", '*', 2.0f, "5*H", 1, "a number of 9 characters"},
    {"00000002.5*H", '*', 2.0f, "00000002.5*H", 0, "a number of 10 characters"},
    {"H*2*0000003.5", '*', 1.0f, "H*7", 1, "a chained number of 9 characters"},
    {"H*2*00000003.5", '*', 1.0f, "H*2*00000003.5", 0, "a chained number of 10 characters"},
};

TEST(ScaleLimitTexts, HaveTheLengthsTheyClaim) {
    EXPECT_EQ(Names(79).size(), 79u);
    EXPECT_EQ(Names(80).size(), 80u);
    EXPECT_EQ((Scaled(75, '1', '2') + "+2*H").size(), 79u);
    EXPECT_EQ((Scaled(73, '3', '1') + "+0.333").size(), 79u);
}

class ScaleLimits : public ::testing::TestWithParam<ScaleRow> {};

TEST_P(ScaleLimits, RefusesPastTheLimit) {
    const ScaleRow& row = GetParam();
    ExpectRow({row.input, row.expected, row.status, row.why},
              RunOnText(row.input, [&](char* t) { return qpCalcuSubExpression(t, row.op, row.x); }));
}

INSTANTIATE_TEST_SUITE_P(Storage, ScaleLimits, ::testing::ValuesIn(kScaleLimitRows));

}  // namespace
