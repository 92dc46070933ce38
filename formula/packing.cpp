// Expression packing (see packing.h).
#include "formula/packing.h"

#include <cmath>
#include <cstring>

#include "formula/grammar.h"
#include "formula/number_text.h"
#include "frame/exports.h"

namespace ftext {
namespace {

// One term of a bracket-free sum: text[start, end), its sign, and its name.
// A term without a letter has the constant key (an empty name).
struct Term {
    int sepStart = 0;  // the sign characters before the term: [sepStart, start)
    int start = 0;
    int end = 0;
    bool minus = false;
    char key[3] = {0, 0, 0};
    bool marked = false;
    bool consumed = false;
};

// A run of bracket-free terms, text[start, end), with its signs.
struct Stretch {
    int start;
    int end;
};

bool SameKey(const Term& a, const Term& b) {
    return a.key[0] == b.key[0] && a.key[1] == b.key[1];
}

// The term's value as a multiple of its name, from the shapes X, n*X, X*n,
// X/n and X*n/m (the only shapes the grammar lets through).
double Coefficient(const char* text, const Term& t, bool* tinyDivisor) {
    int p = t.start;
    while (p < t.end && !IsNumberChar(text[p])) ++p;
    if (p == t.end) return 1.0;
    int q = p;
    while (q < t.end && text[q] != '*' && text[q] != '/') ++q;
    double number = ReadNumber(text + p, text + q);
    if (q < t.end && text[q] == '/') {
        double divisor = ReadNumber(text + q + 1, text + t.end);
        if (std::fabs(divisor) < kTinyDivisor) {
            divisor = 1.0;
            *tinyDivisor = true;
        }
        return AsDouble(number / divisor);
    }
    if (p > t.start && text[p - 1] == '/') {
        if (std::fabs(number) < kTinyDivisor) {
            number = 1.0;
            *tinyDivisor = true;
        }
        return AsDouble(1.0 / number);
    }
    return number;
}

bool PutNumber(FixedText<kPackWorkText>& out, double magnitude) {
    char digits[kNumberTextMax + 1];
    if (NumberText(magnitude, kPackTolerance, digits) < 0) return false;
    out.put(digits);
    return true;
}

}  // namespace

short PackExpressionWithin(char* text, int maxResult) {
    const int len = static_cast<int>(std::strlen(text));
    if (len > kPackMaxText) return kStatusRefused;
    // Outside the packing shapes a term's coefficient is meaningless: refuse
    // rather than write a sum with another value.
    LinearForm given;
    if (!ReadLinear(text, Grammar::kPack, &given)) return kStatusRefused;

    // Split. A leading '-' is the first term's sign. The pair "+-" that the
    // spreading writes is one separator with the sign '-': taken as two, it
    // would leave an empty term behind that packs into a dangling '+'.
    Term terms[kPackMaxTerms];
    int count = 0;
    int sepStart = 0;
    int start = (len > 0 && text[0] == '-') ? 1 : 0;
    for (int i = start; i <= len; ++i) {
        if (i < len && !(i > start && IsSign(text[i]))) continue;
        if (count == kPackMaxTerms || i - start > kPackMaxTerm) return kStatusRefused;
        Term& t = terms[count++];
        t.sepStart = sepStart;
        t.start = start;
        t.end = i;
        t.minus = start > 0 && text[start - 1] == '-';
        for (int p = start; p < i; ++p) {
            if (IsLetter(text[p])) {
                t.key[0] = text[p];
                if (p + 1 < i && IsLetter(text[p + 1])) t.key[1] = text[p + 1];
                break;
            }
        }
        sepStart = i;
        start = (i < len && text[i] == '+' && text[i + 1] == '-') ? i + 2 : i + 1;
        i = start - 1;
    }

    for (int a = 0; a < count; ++a)
        for (int b = a + 1; b < count; ++b)
            if (SameKey(terms[a], terms[b])) terms[a].marked = terms[b].marked = true;

    bool tinyDivisor = false;
    FixedText<kPackWorkText> out;
    bool constantsSummed = false;
    double constantSum = 0.0;
    for (int a = 0; a < count; ++a) {
        Term& t = terms[a];
        if (t.consumed) continue;
        if (!t.marked) {
            out.put(text + t.sepStart, t.start - t.sepStart);
            out.put(text + t.start, t.end - t.start);
            continue;
        }
        if (t.key[0] == '\0') {
            // Merged constants move to the end of the text.
            for (int b = a; b < count; ++b) {
                if (terms[b].consumed || terms[b].key[0] != '\0') continue;
                double v = ReadNumber(text + terms[b].start, text + terms[b].end);
                constantSum = AsDouble(terms[b].minus ? constantSum - v : constantSum + v);
                terms[b].consumed = true;
            }
            constantsSummed = true;
            continue;
        }
        // A merged name keeps the place of its first occurrence.
        double sum = 0.0;
        for (int b = a; b < count; ++b) {
            if (terms[b].consumed || !SameKey(terms[b], t)) continue;
            double c = Coefficient(text, terms[b], &tinyDivisor);
            sum = AsDouble(terms[b].minus ? sum - c : sum + c);
            terms[b].consumed = true;
        }
        const double magnitude = std::fabs(sum);
        if (magnitude < kPackTolerance) continue;  // cancelled: the name disappears
        if (sum < 0.0) {
            out.put('-');
        } else if (a != 0) {
            out.put('+');
        }
        if (std::fabs(magnitude - 1.0) > kPackTolerance) {
            if (!PutNumber(out, magnitude)) return kStatusRefused;
            out.put('*');
        }
        out.put(t.key);
    }
    if (constantsSummed && std::fabs(constantSum) > kPackTolerance) {
        out.put(constantSum < 0.0 ? '-' : '+');
        if (!PutNumber(out, std::fabs(constantSum))) return kStatusRefused;
    }
    if (out.overflowed()) return kStatusRefused;

    const char* result = out.str();
    int resultLength = out.length();
    if (result[0] == '+') {
        ++result;
        --resultLength;
    }
    if (resultLength > maxResult) return kStatusRefused;
    // The float reading of the numbers and the rounding of merged sums must
    // not add up to more than the three-decimal rounding of each coefficient.
    if (!KeepsValue(given, 1.0, result, Grammar::kPack)) return kStatusRefused;
    std::memcpy(text, result, static_cast<size_t>(resultLength) + 1);
    return tinyDivisor ? kStatusTinyDivisor : kStatusDone;
}

}  // namespace ftext

QP_EXPORT short QP_WINAPI qpPackExpression(char* text) {
    if (text == nullptr) return ftext::kStatusRefused;
    const int len = static_cast<int>(std::strlen(text));
    return ftext::PackExpressionWithin(text, ftext::InPlaceLimit(len));
}

QP_EXPORT short QP_WINAPI qpPackBracketsExpression(char* text) {
    using namespace ftext;
    if (text == nullptr) return kStatusRefused;
    const int len = static_cast<int>(std::strlen(text));
    LinearForm given;
    if (!ReadLinear(text, Grammar::kBrackets, &given)) return kStatusRefused;
    if (std::strchr(text, '(') == nullptr) {
        return PackExpressionWithin(text, InPlaceLimit(len));
    }

    // Find the bracket-free stretches: runs of terms at depth 0 that no group
    // touches. A stretch before a group ends at the sign in front of that
    // group's term; a stretch after the last group starts at the sign behind
    // it, so each stretch carries the signs of its own terms.
    Stretch stretches[kBracketMaxStretches];
    int count = 0;
    int depth = 0;
    int lastClose = -1;  // a ')' back at depth 0 not yet followed by a sign
    int b = 0;
    int c = 0;
    for (int i = 0; i < len; ++i) {
        const char ch = text[i];
        if (ch == '(') {
            ++depth;
            if (c > b) {
                if (count == kBracketMaxStretches) return kStatusRefused;
                stretches[count++] = {b, c};
                b = c = 0;
            }
        } else if (ch == ')') {
            --depth;
            if (depth == 0) lastClose = i;
        } else if (depth == 0 && IsSign(ch)) {
            if (lastClose >= 0) {
                lastClose = -1;
                b = c = i;
            } else {
                c = i;
            }
        }
    }
    if (lastClose < 0 && b > 0 && b < len) {
        if (count == kBracketMaxStretches) return kStatusRefused;
        stretches[count++] = {b, len};
    }
    if (depth != 0) return kStatusRefused;

    FixedText<kBracketMaxBracketed> bracketed;
    FixedText<kPackWorkText> free;
    int from = 0;
    for (int s = 0; s < count; ++s) {
        bracketed.put(text + from, stretches[s].start - from);
        free.put(text + stretches[s].start, stretches[s].end - stretches[s].start);
        from = stretches[s].end;
    }
    bracketed.put(text + from, len - from);
    if (bracketed.overflowed() || free.overflowed()) return kStatusRefused;
    if (free.empty()) return kStatusDone;

    char packed[kPackWorkText + 1];
    std::memcpy(packed, free.str(), static_cast<size_t>(free.length()) + 1);
    char* part = packed[0] == '+' ? packed + 1 : packed;
    const short packStatus = PackExpressionWithin(part, kPackWorkText - 1);
    if (packStatus == kStatusRefused) return kStatusRefused;

    FixedText<kBracketMaxBracketed + 1 + kPackWorkText> result;
    result.put(bracketed.first() == '+' ? bracketed.str() + 1 : bracketed.str());
    if (part[0] != '\0') {
        if (part[0] != '-') result.put('+');
        result.put(part);
    }
    if (result.overflowed() || result.length() > InPlaceLimit(len)) return kStatusRefused;
    if (!KeepsValue(given, 1.0, result.str(), Grammar::kBrackets)) return kStatusRefused;
    std::memcpy(text, result.str(), static_cast<size_t>(result.length()) + 1);
    return packStatus < 0 ? kStatusTinyDivisor : kStatusDone;
}
