// Bracket spreading and sub-expression scaling (see spreading.h).
#include "formula/spreading.h"

#include <cmath>
#include <cstring>

#include "formula/grammar.h"
#include "formula/number_text.h"
#include "formula/packing.h"
#include "frame/exports.h"

namespace ftext {

short InvertSigns(char* text) {
    char* w = text;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '+' && p[1] == '-') {
            // "+-" is one minus: inverted it is a plus, not "-+" (still minus).
            *w++ = '+';
            ++p;
        } else if (*p == '+') {
            *w++ = '-';
        } else if (*p == '-') {
            *w++ = '+';
        } else {
            *w++ = *p;
        }
    }
    *w = '\0';
    return kStatusDone;
}

namespace {

// Length of the run of digits and points at s[from].
int NumberRun(const char* s, int from) {
    int i = from;
    while (IsNumberChar(s[i])) ++i;
    return i - from;
}

// The rebuilt segment: what stands before the group's sign, the spread
// inside, and the after-text.
constexpr int kRebuiltMax = kSpreadMaxSegment + (kCallerTextSize - 1) + kSpreadMaxAfter;

// What one segment contributed: a status for the whole text, or an
// immediate stop (refusal, or a nested group's 0 or -1) that leaves the
// text unchanged.
struct SegmentResult {
    short status;
    bool stop;
};

SegmentResult Stop(short status) { return {status, true}; }

constexpr double kUnitFactorNoise = 1e-9;

// Where a segment's one top-level group stands (indices into the segment;
// -1: not there): its brackets, the last sign and '*' of its coefficient
// before it, and after it the '*' or '/' of a trailing factor and the sign
// that starts the after-text.
struct GroupPlace {
    int open = -1;
    int close = -1;
    int opens = 0;  // every '(' of the segment: more than one nests groups
    int sign = -1;
    int star = -1;
    int post = -1;
    int after = -1;
};

// Finds the group of the segment t[0, n); false when the segment is outside
// the grammar or past the working storage.
bool FindGroup(const char* t, int n, GroupPlace& g) {
    int depth = 0;
    for (int i = 0; i < n; ++i) {
        const char c = t[i];
        if (c == '(') {
            // A second top-level group in one term has no coefficient or
            // factor of its own: outside the grammar.
            if (depth == 0 && g.open >= 0) return false;
            if (depth == 0) g.open = i;
            ++depth;
            ++g.opens;
            continue;
        }
        if (c == ')') {
            // A ')' without its '(' cannot be spread.
            if (--depth < 0) return false;
            if (depth == 0) g.close = i;
            continue;
        }
        if (depth != 0) continue;
        if (g.close < 0) {
            if (IsSign(c)) g.sign = i;
            if (c == '*') g.star = i;
        } else if (g.after < 0) {
            if (IsSign(c)) {
                g.after = i;
            } else if (c == '*' || c == '/') {
                g.post = i;
            }
        }
    }
    // Every segment holds exactly one closed top-level group; a segment
    // without one comes from terms that join groups without a sign.
    if (depth != 0 || g.close < 0) return false;
    if (g.open > 0 && t[g.open - 1] != '*' && !IsSign(t[g.open - 1])) return false;
    const char behind = t[g.close + 1];
    if (behind != '\0' && !IsSign(behind) && behind != '*' && behind != '/') return false;
    if (g.close - g.open - 1 > kSpreadMaxInside) return false;
    return g.after < 0 || n - g.after <= kSpreadMaxAfter;
}

// What the group's inside is multiplied by: its coefficient times the
// trailing factor ("/m" as 1 / m). A divisor below kTinyDivisor is taken as
// 1 and sets `status` to kStatusTinyDivisor.
double GroupFactor(const char* t, const GroupPlace& g, short& status) {
    double factor = 1.0;
    if (g.star > g.sign) factor = ReadNumber(t + (g.sign + 1), t + g.star);
    if (g.post >= 0) {
        int digits = 0;
        while (digits < kSpreadFactorDigits && IsNumberChar(t[g.post + 1 + digits])) ++digits;
        double m = ReadNumber(t + g.post + 1, t + g.post + 1 + digits);
        if (t[g.post] == '/') {
            if (std::fabs(m) < kTinyDivisor) {
                m = 1.0;
                status = kStatusTinyDivisor;
            }
            m = AsDouble(1.0 / m);
        }
        factor = AsDouble(factor * m);
    }
    return factor;
}

// The group's inside, its own groups spread, multiplied by `factor`, its
// signs inverted under a '-', into a caller-sized text: a nested spreading
// may lengthen it up to the callers' limit. false: a routine refused.
bool SpreadInside(const char* t, const GroupPlace& g, double factor, char (&inside)[kCallerTextSize]) {
    const int insideLength = g.close - g.open - 1;
    std::memcpy(inside, t + g.open + 1, static_cast<size_t>(insideLength));
    inside[insideLength] = '\0';
    // A nested group, the scaler and the packing answer for the text they
    // were given: their refusal is ours, and so is a -1 (a divisor taken as
    // 1 changed the value of what they wrote).
    if (g.opens > 1 && qpSpreadBracketsExpression(inside) <= 0) return false;
    // Any factor other than 1 is applied: skipping one near 1 would leave a
    // large coefficient inside off by more than the rounding. The tolerance
    // only absorbs the last bit of n * (1 / m) for n = m.
    if (std::fabs(factor - 1.0) > kUnitFactorNoise && ScaleWithin(inside, '*', factor) != kStatusDone) return false;
    if (g.sign >= 0 && t[g.sign] == '-') InvertSigns(inside);
    return true;
}

// The segment t[0, n) with the spread inside in place of its group: the
// coefficient, the brackets and the trailing factor vanish; the bracket-free
// terms before and after the group stay as they were. `first`: this is
// segment 0 of its text. false: too long.
bool Rebuild(const char* t, int n, const GroupPlace& g, const char* inside, bool first,
             FixedText<kRebuiltMax>& rebuilt) {
    if (inside[0] == '\0') {
        // The inside cancelled: the group's term goes, sign and all.
        if (g.sign > 0) rebuilt.put(t, g.sign);
    } else if (g.sign < 0) {
        rebuilt.put(inside);
    } else if (t[g.sign] == '-' && inside[0] == '+') {
        if (first && g.sign == 0) {
            rebuilt.put(inside + 1);
        } else {
            rebuilt.put(t, g.sign);  // the '+' of the inside replaces the '-'
            rebuilt.put(inside);
        }
    } else {
        rebuilt.put(t, g.sign + 1);
        rebuilt.put(inside);
    }
    if (g.after >= 0) rebuilt.put(t + g.after, n - g.after);
    return !rebuilt.overflowed();
}

// The rebuilt segment packed into `out`, where packing keeps the segment's
// exact value, else written from its exact coefficients. false: neither
// can be written.
bool PackSegment(const FixedText<kRebuiltMax>& rebuilt, const LinearForm& exact, char (&out)[kRebuiltMax + 1]) {
    std::memcpy(out, rebuilt.str(), static_cast<size_t>(rebuilt.length()) + 1);
    char* terms = out[0] == '+' ? out + 1 : out;  // a leading '+' stays
    if (PackExpressionWithin(terms, kRebuiltMax - 1) != kStatusDone) return false;
    // Scaling rounds each number and packing then sums the rounded numbers:
    // the two roundings together may move a coefficient by more than one
    // rounding ("(H/2+H*2)/6" would give 0.083 + 0.333 = 0.416, not 0.417).
    // Such a segment is written from its exact coefficients instead.
    if (KeepsValue(exact, 1.0, terms, Grammar::kPack)) return true;
    // A divisor below 1e-05 leaves the segment no value to write.
    return !exact.tinyDivisor && WriteLinear(exact, out, kRebuiltMax);
}

// Appends a spread segment to the result, joined by a '+' where it has no
// sign of its own. A segment that cancels leaves nothing, not its sign; the
// text does not begin with '+'. false: the result would be too long.
bool AppendSegment(const char* spread, FixedText<kSpreadMaxResult>& result) {
    if (spread[0] == '+' && (spread[1] == '\0' || result.empty())) ++spread;
    if (spread[0] != '\0' && spread[0] != '+' && spread[0] != '-' && !result.empty()) result.put('+');
    result.put(spread);
    return !result.overflowed();
}

// Spreads the segment seg[0, n) (one top-level group's term) and appends it
// to result. `first`: this is segment 0 of its text.
SegmentResult SpreadSegment(const char* seg, int n, bool first, FixedText<kSpreadMaxResult>& result) {
    if (n > kSpreadMaxSegment) return Stop(kStatusRefused);
    char t[kSpreadMaxSegment + 1];
    std::memcpy(t, seg, static_cast<size_t>(n));
    t[n] = '\0';

    // The segment's exact value (a '+' in front is only a separator).
    LinearForm exact;
    if (!ReadLinear(t[0] == '+' ? t + 1 : t, Grammar::kBrackets, &exact)) return Stop(kStatusRefused);
    GroupPlace group;
    if (!FindGroup(t, n, group)) return Stop(kStatusRefused);
    short status = kStatusDone;
    const double factor = GroupFactor(t, group, status);
    char inside[kCallerTextSize];
    if (!SpreadInside(t, group, factor, inside)) return Stop(kStatusRefused);
    FixedText<kRebuiltMax> rebuilt;
    if (!Rebuild(t, n, group, inside, first, rebuilt)) return Stop(kStatusRefused);
    char spread[kRebuiltMax + 1];
    if (!PackSegment(rebuilt, exact, spread) || !AppendSegment(spread, result)) return Stop(kStatusRefused);
    return {status, false};
}

}  // namespace
}  // namespace ftext

QP_EXPORT short QP_WINAPI qpSpreadBracketsExpression(char* text) {
    using namespace ftext;
    if (text == nullptr) return kStatusRefused;
    const int len = static_cast<int>(std::strlen(text));
    // A term the grammar does not know (a name as a coefficient, two signs,
    // a factor that is not one number) would be spread into another value.
    LinearForm given;
    if (!ReadLinear(text, Grammar::kBrackets, &given)) return kStatusRefused;

    // Segments: each new top-level group after the first starts a segment at
    // the last sign seen at depth 0, so bracket-free terms after a group
    // travel with that group.
    int starts[kSpreadMaxGroups + 1];
    int segments = 1;
    starts[0] = 0;
    int depth = 0;
    int lastSign = 0;
    int closed = 0;
    for (int i = 0; i < len; ++i) {
        const char c = text[i];
        if (c == '(') {
            if (++depth == 1 && closed > 0) {
                if (segments == kSpreadMaxGroups + 1) return kStatusRefused;
                starts[segments++] = lastSign;
            }
        } else if (c == ')') {
            if (--depth == 0 && ++closed > kSpreadMaxGroups) return kStatusRefused;
        } else if (depth == 0 && IsSign(c)) {
            lastSign = i;
        }
    }
    if (closed == 0) return kStatusDone;

    FixedText<kSpreadMaxResult> result;
    short status = kStatusDone;
    for (int s = 0; s < segments; ++s) {
        const int end = s + 1 < segments ? starts[s + 1] : len;
        SegmentResult r = SpreadSegment(text + starts[s], end - starts[s], s == 0, result);
        if (r.stop) return r.status;
        if (r.status < 0) status = kStatusTinyDivisor;
    }
    if (!KeepsValue(given, 1.0, result.str(), Grammar::kPack)) return kStatusRefused;
    std::memcpy(text, result.str(), static_cast<size_t>(result.length()) + 1);
    return status;
}

namespace ftext {

short ScaleWithin(char* text, char op, double x) {
    if (text == nullptr) return kStatusRefused;
    // Only the two operators have a meaning, and a factor must be a finite
    // number >= 0: anything else is refused rather than written as a
    // negative or meaningless number.
    if ((op != '*' && op != '/') || !(x >= 0.0) || !std::isfinite(x)) return kStatusRefused;
    // A term with two separate numbers, or a name without a number that is
    // not bare ("ABC", "BL*HL"), would be scaled twice or not at all.
    LinearForm given;
    if (!ReadLinear(text, Grammar::kScale, &given)) return kStatusRefused;
    double factor = x;
    if (op == '/') factor = std::fabs(x) < kTinyDivisor ? 1.0 : 1.0 / x;

    // Explicit coefficients: a bare one- or two-letter name gets "1*", so
    // that scaling has a number to work on.
    FixedText<kScaleMaxText> copy;
    int count = 0;  // characters since the last sign
    for (const char* p = text; *p != '\0'; ++p) {
        if (count == 0 && IsLetter(p[0])) {
            const bool oneLetter = p[1] == '\0' || IsSign(p[1]);
            const bool twoLetters = IsLetter(p[1]) && (p[2] == '\0' || IsSign(p[2]));
            if (oneLetter || twoLetters) copy.put("1*");
        }
        copy.put(*p);
        count = IsSign(*p) ? 0 : count + 1;
        if (copy.overflowed()) return kStatusRefused;
    }

    // Scale: each number, with the chain of numbers joined to it by '*' and
    // '/', becomes one number times the factor.
    const char* s = copy.str();
    FixedText<kScaleMaxText> out;
    short status = kStatusDone;
    int i = 0;
    while (s[i] != '\0') {
        if (!IsNumberChar(s[i])) {
            out.put(s[i++]);
            continue;
        }
        int run = NumberRun(s, i);
        if (run > kScaleMaxNumber) return kStatusRefused;
        double v = ReadNumber(s + i, s + i + run);
        i += run;
        if (out.last() == '/') {
            out.replaceLast('*');
            if (std::fabs(v) < kTinyDivisor) {
                v = 1.0;
                status = kStatusTinyDivisor;
            }
            v = AsDouble(1.0 / v);
        }
        while ((s[i] == '*' || s[i] == '/') && IsNumberChar(s[i + 1])) {
            const char chainOp = s[i];
            run = NumberRun(s, i + 1);
            if (run > kScaleMaxNumber) return kStatusRefused;
            double u = ReadNumber(s + i + 1, s + i + 1 + run);
            i += 1 + run;
            if (chainOp == '*') {
                v = AsDouble(v * u);
            } else {
                if (std::fabs(u) < kTinyDivisor) {
                    u = 1.0;
                    status = kStatusTinyDivisor;
                }
                v = AsDouble(v / u);
            }
        }
        if (op == '*') {
            v = AsDouble(v * x);
        } else {
            double divisor = x;
            if (std::fabs(divisor) < kTinyDivisor) {
                divisor = 1.0;
                status = kStatusTinyDivisor;
            }
            v = AsDouble(v / divisor);
        }
        // A unit coefficient in front of a '*' is dropped with its '*'. Both
        // this and the number text use the packing's 0.0005, not 0.001: a
        // number may move by its three-decimal rounding and no more, so
        // 0.333 * 3 is written "0.999", not dropped as 1.
        if (std::fabs(v - 1.0) <= kPackTolerance && s[i] == '*') {
            ++i;
            continue;
        }
        char digits[kNumberTextMax + 1];
        if (NumberText(v, kPackTolerance, digits) < 0) return kStatusRefused;
        out.put(digits);
    }
    if (out.overflowed()) return kStatusRefused;
    if (!KeepsValue(given, factor, out.str(), Grammar::kScale)) return kStatusRefused;
    std::memcpy(text, out.str(), static_cast<size_t>(out.length()) + 1);
    return status;
}

}  // namespace ftext

QP_EXPORT short QP_WINAPI qpCalcuSubExpression(char* text, char op, float x) {
    return ftext::ScaleWithin(text, op, x);
}
