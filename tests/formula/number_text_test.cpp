// The decimal reader and the three-decimal number text, as tables of exact
// examples.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "formula/number_text.h"
#include "frame/exports.h"

namespace {

struct AtofRow {
    const char* text;
    float expected;
    const char* why;
};

void PrintTo(const AtofRow& row, std::ostream* os) { *os << "\"" << row.text << "\""; }

const float kInf = std::numeric_limits<float>::infinity();

const AtofRow kAtofRows[] = {
    {"2", 2.0f, ""},
    {"0.5", 0.5f, ""},
    {"12.3456", 12.3456f, ""},
    {"3.25", 3.25f, ""},
    {".5", 0.5f, "no digit before the point"},
    {"5.", 5.0f, "no digit after the point"},
    {"007", 7.0f, ""},
    {"", 0.0f, "empty text"},
    {"1.2.3", 0.0f, "a second point voids the whole number"},
    {"12.5.", 0.0f, "also when nothing follows it"},
    {"12a", 169.0f, "letters are not rejected: 12*10 + ('a' - 48)"},
    {"H", 24.0f, "'H' counts as the digit 24"},
    {"-", -3.0f, "'-' counts as the digit -3"},
    {"1-", 7.0f, "10 + (-3)"},
    {"0.1", 0.1f, "computed in double, returned as float"},
    {"1.0000001", 1.0000001f, ""},
    {"16777217", 16777216.0f, "a float holds 24 bits: the double result is rounded"},
    {"\xB0", -128.0f, "bytes above 127 are signed: -80 - 48"},
    {"1000000000000000000000000000000000000000", kInf, "beyond the float range"},
};

class AtofTable : public ::testing::TestWithParam<AtofRow> {};

TEST_P(AtofTable, ReadsExactly) {
    const AtofRow& row = GetParam();
    EXPECT_EQ(qpAtof(row.text), row.expected) << row.why;
}

INSTANTIATE_TEST_SUITE_P(Examples, AtofTable, ::testing::ValuesIn(kAtofRows));

TEST(Atof, NullTextReadsZero) { EXPECT_EQ(qpAtof(nullptr), 0.0f); }

struct NumberRow {
    double value;
    double tol;
    const char* expected;  // nullptr: not writable (the caller refuses)
    const char* why;
};

void PrintTo(const NumberRow& row, std::ostream* os) {
    *os << row.value << " tol " << row.tol;
}

constexpr double P = ftext::kPackTolerance;
constexpr double S = ftext::kScaleTolerance;

const NumberRow kNumberRows[] = {
    {2.0, P, "2", ""},
    {0.5, P, "0.5", ""},
    {2.25, P, "2.25", ""},
    {1.0 / 3.0, P, "0.333", ""},
    {0.05, P, "0.05", "the guard digit keeps the fraction's leading zero"},
    {12.3456, P, "12.346", "half-up to three decimals"},
    {7.0004, P, "7", "fraction within the tolerance"},
    {2.9996, P, "3", "the fraction rounds up to a whole unit"},
    {0.0, P, "0", ""},
    {0.0004, P, "0", ""},
    {0.0015, P, "0.002", ""},
    {0.0015, S, "0.002", "same under the scaling tolerance"},
    {0.9996, P, "1", ""},
    {0.9996, S, "1", ""},
    {0.0008, P, "0.001", "above the packing tolerance"},
    {0.0008, S, "0", "within the scaling tolerance"},
    {10.05, P, "10.05", ""},
    {100.0, P, "100", ""},
    {2.6, S, "2.6", "trailing zeros removed"},
    {32767.5, P, "32767.5", "largest integer part"},
    {32767.9996, P, nullptr, "rounds up to 32768: does not fit 16 bits"},
    {32768.0, P, nullptr, "does not fit 16 bits"},
    {-1.0, P, nullptr, "the caller writes signs; a negative value is refused"},
    {std::nan(""), P, nullptr, "not a number"},
};

class NumberTextTable : public ::testing::TestWithParam<NumberRow> {};

TEST_P(NumberTextTable, WritesExactly) {
    const NumberRow& row = GetParam();
    char out[ftext::kNumberTextMax + 1];
    const int n = ftext::NumberText(row.value, row.tol, out);
    if (row.expected == nullptr) {
        EXPECT_EQ(n, -1) << row.why;
    } else {
        EXPECT_EQ(std::string(out), row.expected) << row.why;
        EXPECT_EQ(n, static_cast<int>(std::string(row.expected).size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, NumberTextTable, ::testing::ValuesIn(kNumberRows));

}  // namespace
