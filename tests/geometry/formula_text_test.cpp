// Formula evaluation, number text and the numeral split: exact-example
// tables, one row per case.
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "frame/siblings.h"
#include "siblings/geometry/number_text.h"
#include "siblings/records/store_extras.h"
#include "siblings/repair/formula_repair.h"
#include "tests/support/store_fixture.h"

namespace {

struct NumberCase {
    double value;
    const char* text;
    const char* why;
};

TEST(NumberText, Table) {
    const NumberCase cases[] = {
        {2.0, "2", "whole number, no point"},
        {0.5, "0.5", "trailing zeros dropped"},
        {2.25, "2.25", ""},
        {1.0 / 3.0, "0.333", "three decimals at most"},
        {2.0 / 3.0, "0.667", "rounded, not cut"},
        {0.05, "0.05", "leading zeros of the fraction kept"},
        {12.3456, "12.346", ""},
        {7.0004, "7", "rounds to a whole number: no point"},
        {2.9996, "3", "the carry reaches the units"},
        {0.0015, "0.002", "half away from zero"},
        {2.0005, "2.001", "half away from zero on the decimal reading"},
        {-2.0005, "-2.001", "and the same below zero"},
        {-1.5, "-1.5", ""},
        {-0.0004, "0", "rounds to zero: never -0"},
        {-0.0, "0", "negative zero"},
        {0.0, "0", ""},
        {123456.789, "123456.789", "no exponent"},
        {1e-7, "0", "no exponent for tiny values either"},
        {999999999999.9, "999999999999.9", "just below the three-decimal limit"},
        {1e12 + 0.25, "1000000000000", "from 1e12 on: whole numbers only"},
        {-2.5e20, "-250000000000000000000", "still no exponent"},
        {1e27, "0", "too long for the 32-byte text"},
        {INFINITY, "0", "not a number"},
        {NAN, "0", "not a number"},
    };
    for (const NumberCase& c : cases) {
        char out[qpnumber::kNumberTextSize + 8];
        std::memset(out, 'X', sizeof out);
        qpConvertFloat2String(c.value, "", out);
        EXPECT_STREQ(out, c.text) << c.value << ": " << c.why;
        EXPECT_LT(std::strlen(out), static_cast<size_t>(qpnumber::kNumberTextSize));
        EXPECT_EQ(out[qpnumber::kNumberTextSize], 'X') << "wrote past the 32 bytes";
    }
}

TEST(NumberText, NullOutputIsIgnored) {
    qpConvertFloat2String(1.0, "", nullptr);
    char out[qpnumber::kNumberTextSize];
    qpConvertFloat2String(1.25, nullptr, out);  // the format is not read
    EXPECT_STREQ(out, "1.25");
}

class FormulaTest : public ::testing::Test {
protected:
    void SetUp() override {
        storeClearParameters();
        ASSERT_TRUE(storeSetParameter("H", 50.0f));
        ASSERT_TRUE(storeSetParameter("W", 40.0f));
        ASSERT_TRUE(storeSetParameter("BL", 38.0f));
        ASSERT_TRUE(storeSetParameter("ab", 3.0f));
        ASSERT_TRUE(storeSetParameter("h", 2.0f));
        ASSERT_TRUE(storeSetParameter("Z", 0.0f));
        pattern_ = storeNewPattern(200000, kWorkBufferKind);
        ASSERT_NE(pattern_, nullptr);
        PieceShape shape;
        ShapeChain chain;
        chain.points = {P('S', 0, 0), P('K', 10, 0)};
        shape.chains.push_back(chain);
        piece_ = storeAppendPiece(&pattern_, shape);
        ASSERT_NE(piece_, nullptr);
    }
    void TearDown() override {
        storeFreePattern(pattern_);
        storeClearParameters();
    }
    PatternBuffer* pattern_ = nullptr;
    Piece* piece_ = nullptr;
};

struct FormulaCase {
    const char* text;
    double value;  // centimetres
    const char* why;
};

TEST_F(FormulaTest, EvaluationTable) {
    const FormulaCase cases[] = {
        {"5", 5, "a number"},
        {"2.5", 2.5, ""},
        {".25", 0.25, "no leading digit"},
        {"5.", 5, "no digit after the point"},
        {"H", 50, "one-letter name"},
        {"BL", 38, "two capitals are one name"},
        {"ab", 3, "two small letters are one name"},
        {"h", 2, "names are case-sensitive"},
        {"H/4+2", 14.5, "a sum of terms"},
        {"H-W*2", -30, "products before sums"},
        {"-H/4", -12.5, "a leading sign"},
        {"x+-2*ab", -6, "a sign after an operator; x is unknown: 0"},
        {"2*(H+W)", 180, "brackets"},
        {"((H))", 50, "nested brackets"},
        {"(H+W)/(BL-36)", 45, "a bracketed divisor"},
        {"H*0.5+BL/2-1", 43, ""},
        {"- -H", 50, "blanks between tokens are skipped"},
        {"Z*10+1", 1, "a zero parameter"},
        {"Q", 0, "an unknown name is worth 0"},
        {"Q*5+3", 3, "and counts as 0 in a sum"},
        {"", 0, "empty: malformed"},
        {"H+", 0, "a sum without its second term: malformed"},
        {"2*(H+W", 0, "unbalanced: malformed"},
        {"H+W)", 0, "a stray closing bracket: malformed"},
        {"2H", 0, "a number joined to a name: malformed"},
        {"ABC", 0, "three letters: malformed"},
        {"Hb", 0, "a mixed-case pair: malformed"},
        {"1.2.3", 0, "two points: malformed"},
        {".", 0, "a point alone: malformed"},
        {"H/0", 0, "division by zero: the whole text is 0"},
        {"H+1/(W-W)", 0, "a divisor of ~0 anywhere: the whole text is 0"},
        {"H%2", 0, "an unknown operator: malformed"},
    };
    for (const FormulaCase& c : cases) {
        EXPECT_NEAR(qpFormulaCalculation(piece_, c.text), c.value, 1e-4) << '"' << c.text << "\": " << c.why;
    }
}

TEST_F(FormulaTest, DeepNestingIsRefusedNotOverflowed) {
    std::string deep(100000, '(');
    deep += "1";
    deep += std::string(100000, ')');
    EXPECT_EQ(qpFormulaCalculation(piece_, deep.c_str()), 0.0f);
    std::string signs(100000, '-');
    signs += "1";
    EXPECT_EQ(qpFormulaCalculation(piece_, signs.c_str()), 0.0f);
}

TEST_F(FormulaTest, NullPieceOrTextGivesNamesZero) {
    EXPECT_FLOAT_EQ(qpFormulaCalculation(nullptr, "H+2"), 2.0f);
    EXPECT_FLOAT_EQ(qpFormulaCalculation(piece_, nullptr), 0.0f);
}

TEST_F(FormulaTest, ValuesFollowTheMeasurementTable) {
    EXPECT_FLOAT_EQ(qpFormulaCalculation(piece_, "H/4"), 12.5f);
    ASSERT_TRUE(storeSetParameter("H", 60.0f));
    EXPECT_FLOAT_EQ(qpFormulaCalculation(piece_, "H/4"), 15.0f);
}

struct SplitCase {
    const char* text;
    const char* expression;
    double rest;
    const char* why;
};

TEST(SplitFormulaNumeral, Table) {
    const SplitCase cases[] = {
        {"H/4+2", "H/4", 2, "the constant term is split off"},
        {"H/4", "H/4", 0, "no constant"},
        {"5", "", 5, "a constant alone"},
        {"-3+H", "H", -3, "a leading constant; the sign of the next term is dropped"},
        {"H-1.5+W", "H+W", -1.5, "a constant between names"},
        {"2+H+3", "H", 5, "several constants are summed"},
        {"x+-2*a-4", "x+-2*a", -4, "a sign after an operator belongs to its term"},
        {"2*(H+1)+3", "2*(H+1)", 3, "a bracket with a name stays whole"},
        {"2*(3+1)-H", "-H", 8, "a bracket without a name is a constant"},
        {"6/4+BL", "BL", 1.5, "a quotient of numbers"},
        {"-H", "-H", 0, "a leading minus stays"},
        {"", "", 0, "empty"},
        {"2*(H", "", 0, "malformed: nothing kept, worth 0"},
        {"H+1/0", "", 0, "a constant that divides by zero: worth 0 as a whole"},
    };
    for (const SplitCase& c : cases) {
        char expression[qprepair::kSplitExpressionSize];
        std::memset(expression, 'X', sizeof expression);
        float rest = 99.0f;
        qpSplitFormulaNumeral(c.text, expression, &rest);
        EXPECT_STREQ(expression, c.expression) << '"' << c.text << "\": " << c.why;
        EXPECT_NEAR(rest, c.rest, 1e-6) << '"' << c.text << "\": " << c.why;
    }
}

// The callers' expression buffers hold 80 bytes: an expression that would
// not fit is refused ("") rather than written past them; the constant is
// still reported.
TEST(SplitFormulaNumeral, LongExpressionIsRefused) {
    std::string fits;
    while (fits.size() + 2 <= 79) fits += fits.empty() ? "H" : "+H";
    ASSERT_LE(fits.size(), 79u);
    std::string tooLong = fits + "+W+W+W";
    char expression[qprepair::kSplitExpressionSize + 16];
    std::memset(expression, 'X', sizeof expression);
    float rest = 0.0f;
    qpSplitFormulaNumeral((fits + "+7").c_str(), expression, &rest);
    EXPECT_EQ(std::string(expression), fits);
    EXPECT_FLOAT_EQ(rest, 7.0f);

    std::memset(expression, 'X', sizeof expression);
    qpSplitFormulaNumeral((tooLong + "+7").c_str(), expression, &rest);
    EXPECT_STREQ(expression, "");
    EXPECT_FLOAT_EQ(rest, 7.0f);
    EXPECT_EQ(expression[1], 'X') << "only the terminating zero is written";
}

TEST(SplitFormulaNumeral, NullArgumentsAreSkipped) {
    float rest = 5.0f;
    qpSplitFormulaNumeral(nullptr, nullptr, &rest);
    EXPECT_FLOAT_EQ(rest, 0.0f);
    char expression[qprepair::kSplitExpressionSize];
    qpSplitFormulaNumeral("H+1", expression, nullptr);
    EXPECT_STREQ(expression, "H");
}

}  // namespace

namespace {

// Texts of the grammar, built from a fixed seed: sums of products of
// numbers, names and bracketed sums.
class FormulaGenerator {
public:
    explicit FormulaGenerator(unsigned seed) : state_(seed) {}
    std::string sum(int depth) {
        std::string s = (next() % 4 == 0) ? "-" : "";
        const int terms = 1 + next() % 3;
        for (int t = 0; t < terms; ++t) {
            if (t > 0) s += (next() % 2) ? "+" : "-";
            s += product(depth);
        }
        return s;
    }

private:
    std::string product(int depth) {
        std::string s = factor(depth);
        const int more = next() % 3;
        for (int f = 0; f < more; ++f) s += "*" + factor(depth);  // no division: no ~0 divisors
        return s;
    }
    std::string factor(int depth) {
        static const char* const names[] = {"H", "W", "BL", "ab", "h"};
        switch (next() % (depth > 0 ? 3 : 2)) {
            case 0: return std::to_string(next() % 50) + (next() % 2 ? ".5" : "");
            case 1: return names[next() % 5];
            default: return "(" + sum(depth - 1) + ")";
        }
    }
    unsigned next() {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 16) & 0x7FFF;
    }
    unsigned state_;
};

// The split keeps a text's value: expression + rest is worth what the text
// is, for any text of the grammar that fits the 80-byte expression buffer.
TEST_F(FormulaTest, SplitKeepsTheValue) {
    FormulaGenerator gen(12345);
    int checked = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::string text = gen.sum(2);
        if (text.size() >= 79) continue;
        char expression[qprepair::kSplitExpressionSize];
        float rest = 0.0f;
        qpSplitFormulaNumeral(text.c_str(), expression, &rest);
        const double whole = qpFormulaCalculation(piece_, text.c_str());
        const double parts = qpFormulaCalculation(piece_, expression) + rest;
        const double scale = std::fmax(1.0, std::fabs(whole));
        ASSERT_NEAR(parts, whole, 1e-5 * scale) << '"' << text << "\" -> \"" << expression << "\" + " << rest;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

// Any bytes at all: a finite value, no crash, no write past the buffer.
TEST_F(FormulaTest, ArbitraryBytesAreSafe) {
    unsigned state = 99;
    const char alphabet[] = "0123456789.+-*/()HWBLabhxyz \t%#";
    for (int i = 0; i < 5000; ++i) {
        std::string text;
        const int n = static_cast<int>(state % 40);
        for (int k = 0; k < n; ++k) {
            state = state * 1103515245u + 12345u;
            text += alphabet[(state >> 16) % (sizeof alphabet - 1)];
        }
        state = state * 1103515245u + 12345u;
        const float value = qpFormulaCalculation(piece_, text.c_str());
        ASSERT_TRUE(std::isfinite(value)) << text;
        char expression[qprepair::kSplitExpressionSize + 1];
        expression[qprepair::kSplitExpressionSize] = 'X';
        float rest = 0.0f;
        qpSplitFormulaNumeral(text.c_str(), expression, &rest);
        ASSERT_EQ(expression[qprepair::kSplitExpressionSize], 'X');
        ASSERT_LT(std::strlen(expression), static_cast<size_t>(qprepair::kSplitExpressionSize));
        ASSERT_TRUE(std::isfinite(rest)) << text;
    }
}

}  // namespace
