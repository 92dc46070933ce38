// Every formula routine, on random texts: it refuses and leaves the text as
// it was, or its result has the value of its input (times the factor, for
// the scaler) for any parameter values, up to the three-decimal rounding of
// each written number. Values come from the formula evaluator's own parser.
//
// Two kinds of text: the evaluator's whole grammar (brackets, signs,
// products and quotients of names), which the routines mostly refuse, and
// sums of the packing shapes with bracket groups, which they must accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "frame/exports.h"
#include "siblings/geometry/formula_parse.h"
#include "tests/formula/text_runner.h"

namespace {

using ftext_test::RunOnText;

const char* const kNames[] = {"a", "c", "x", "H", "W", "B", "BL", "HL"};
const char* const kNumbers[] = {"2", "0.5", "12.5", "0.125", "3", "0.75", "4", "6", "1", "8", "0.333", "1.5"};

class Texts {
public:
    explicit Texts(unsigned seed) : rng_(seed) {}

    std::mt19937& rng() { return rng_; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }
    std::string name() { return kNames[pick(8)]; }
    std::string number() { return kNumbers[pick(12)]; }

    // The evaluator's grammar.
    std::string expression(int depth) {
        std::string s = term(depth);
        for (int n = pick(4); n > 0; --n) s += (chance(50) ? "+" : "-") + term(depth);
        return s;
    }
    std::string term(int depth) {
        std::string s = factor(depth);
        for (int n = pick(3); n > 0; --n) s += (chance(60) ? "*" : "/") + factor(depth);
        return s;
    }
    std::string factor(int depth) {
        std::string sign = chance(15) ? (chance(50) ? "-" : "+") : "";
        if (depth > 0 && chance(20)) return sign + "(" + expression(depth - 1) + ")";
        return sign + (chance(50) ? name() : number());
    }

    // Sums of the packing shapes, with groups "[n*](...)[*m|/m]" when
    // `groups` (nested once at most).
    std::string shape() {
        const std::string X = name(), n = number(), m = number();
        switch (pick(6)) {
        case 0: return X;
        case 1: return n + "*" + X;
        case 2: return X + "*" + n;
        case 3: return X + "/" + n;
        case 4: return X + "*" + n + "/" + m;
        default: return n;
        }
    }
    std::string shapes(int groups, int maxTerms) {
        std::string s = chance(20) ? "-" : "";
        const int terms = 1 + pick(maxTerms);
        for (int i = 0; i < terms; ++i) {
            if (i > 0) s += chance(60) ? "+" : "-";
            if (groups > 0 && chance(35)) {
                if (chance(50)) s += number() + "*";
                s += "(" + shapes(groups - 1, 3) + ")";
                if (chance(40)) s += (chance(50) ? "*" : "/") + number();
            } else {
                s += shape();
            }
        }
        return s;
    }

private:
    std::mt19937 rng_;
};

// Parameter values at one point; every name gets its own.
struct Point {
    double values[8];
    double operator()(char first, char second) const {
        for (int i = 0; i < 8; ++i)
            if (kNames[i][0] == first && kNames[i][1] == second) return values[i];
        return 0.0;
    }
};

// |p| summed over the name occurrences of a text plus 1 for each number
// (each may carry its own rounding), and its largest number.
void Measure(const std::string& t, const Point& p, double* names, double* largest) {
    for (size_t i = 0; i < t.size();) {
        const char c = t[i];
        if (qpformula::isLetter(c)) {
            char second = 0;
            if (i + 1 < t.size() && qpformula::isLetter(t[i + 1])) second = t[i + 1];
            *names += std::fabs(p(c, second));
            i += second ? 2 : 1;
        } else if (qpformula::isDigit(c) || c == '.') {
            size_t j = i;
            while (j < t.size() && (qpformula::isDigit(t[j]) || t[j] == '.')) ++j;
            *largest = std::max(*largest, std::atof(t.substr(i, j - i).c_str()));
            *names += 1.0;
            i = j;
        } else {
            ++i;
        }
    }
}

struct Tally {
    int cases = 0;
    int accepted = 0;
    int shortCases = 0;  // texts of at most 79 characters (within every limit
    int shortAccepted = 0;  // but the spreading's segment and term counts)
};

// One routine on one text: refused and untouched, or the value kept. A -1
// (a divisor below 1e-05 taken as 1) has no value to keep.
template <class Routine>
void Check(const std::string& input, double factor, Routine routine, Texts& texts, Tally* tally) {
    const ftext_test::Run run = RunOnText(input, routine);
    ++tally->cases;
    const bool isShort = input.size() <= 79;
    tally->shortCases += isShort;
    tally->shortAccepted += isShort && run.status != 0;
    ASSERT_TRUE(run.guardIntact) << input;
    ASSERT_TRUE(run.status == 1 || run.status == 0 || run.status == -1) << input;
    if (run.status == 0) {
        ASSERT_TRUE(run.bufferUnchanged) << input;
        return;
    }
    ++tally->accepted;
    if (run.status < 0) return;
    ASSERT_TRUE(input.empty() || qpformula::wellFormed(input.c_str())) << input << " was accepted";
    ASSERT_TRUE(run.text.empty() || qpformula::wellFormed(run.text.c_str()))
        << input << " -> " << run.text;
    for (int k = 0; k < 3; ++k) {
        Point p;
        for (double& v : p.values) v = std::uniform_real_distribution<double>(-60.0, 60.0)(texts.rng());
        const double before = input.empty() ? 0.0 : qpformula::evaluate(input.c_str(), p);
        const double after = run.text.empty() ? 0.0 : qpformula::evaluate(run.text.c_str(), p);
        double names = 0.0, largest = 1.0;
        Measure(input, p, &names, &largest);
        Measure(run.text, p, &names, &largest);
        largest *= std::max(1.0, factor);
        // Each written number within 0.0005 of the exact one, and the float
        // reading of a number (a part in 2^24 of the largest one).
        const double tol = (0.0005 + 2e-7 * largest) * (2.0 + names) + 1e-9 * std::fabs(before);
        ASSERT_NEAR(after, before * factor, tol) << input << " -> " << run.text << " factor " << factor;
    }
}

}  // namespace

TEST(FormulaValueProperty, EveryRoutineRefusesOrKeepsTheValue) {
    Texts texts(20261208);
    Tally any[4], shaped[4];
    const char* names[4] = {"qpPackExpression", "qpPackBracketsExpression", "qpSpreadBracketsExpression",
                            "qpCalcuSubExpression"};
    const float factors[] = {2.0f, 0.5f, 3.0f, 1.5f, 0.25f, 1.0f, 12.5f};
    for (int i = 0; i < 6000 && !HasFatalFailure(); ++i) {
        for (int kind = 0; kind < 2; ++kind) {
            Tally* t = kind == 0 ? any : shaped;
            const std::string flat = kind == 0 ? texts.expression(0) : texts.shapes(0, 6);
            const std::string nested = kind == 0 ? texts.expression(2) : texts.shapes(2, 5);
            const char op = texts.chance(70) ? '*' : '/';
            const float x = factors[texts.pick(7)];
            Check(flat, 1.0, [](char* s) { return qpPackExpression(s); }, texts, &t[0]);
            Check(nested, 1.0, [](char* s) { return qpPackBracketsExpression(s); }, texts, &t[1]);
            Check(nested, 1.0, [](char* s) { return qpSpreadBracketsExpression(s); }, texts, &t[2]);
            Check(flat, op == '*' ? x : 1.0 / x, [&](char* s) { return qpCalcuSubExpression(s, op, x); },
                  texts, &t[3]);
        }
    }
    for (int r = 0; r < 4; ++r) {
        std::printf("%-26s evaluator grammar: %4d of %4d accepted; packing shapes: %4d of %4d (%.1f%%),"
                    " of those up to 79 characters %4d of %4d (%.1f%%)\n",
                    names[r], any[r].accepted, any[r].cases, shaped[r].accepted, shaped[r].cases,
                    100.0 * shaped[r].accepted / std::max(1, shaped[r].cases), shaped[r].shortAccepted,
                    shaped[r].shortCases, 100.0 * shaped[r].shortAccepted / std::max(1, shaped[r].shortCases));
        // Texts of the packing shapes within the limits are the routines'
        // own: refusing them is not a way out.
        EXPECT_GT(shaped[r].accepted, shaped[r].cases * 9 / 10) << names[r];
    }
}
