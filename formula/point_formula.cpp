// qpCalcuPointFormula and BlendFormulas.
#include "formula/point_formula.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "frame/exports.h"
#include "frame/siblings.h"

namespace {

constexpr double kResidualMm = 0.0999;   // a smaller residual adds no constant
constexpr double kMinCoefficient = 0.00999;
constexpr double kUnitLow = 0.999, kUnitHigh = 1.001;  // written as the bare name
constexpr float kZeroParameter = 0.0001f;  // below: evaluated as 1.0, then restored
constexpr size_t kNumberText = 32;        // qpConvertFloat2String's output size

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool sameCase(char a, char b) {
    return std::isupper(static_cast<unsigned char>(a)) == std::isupper(static_cast<unsigned char>(b));
}

// The parameter name that starts at text[i]: one letter, or two letters of
// the same case.
std::string nameAt(const std::string& text, size_t i) {
    std::string name(1, text[i]);
    if (i + 1 < text.size() && isLetter(text[i + 1]) && sameCase(text[i], text[i + 1]))
        name += text[i + 1];
    return name;
}

// Whether a term holds the name as a whole name. (Testing only for the
// name's letters would count a term of "HL" as a term of "H" and corrupt
// both coefficients.)
bool termHolds(const std::string& term, const std::string& name) {
    for (size_t i = 0; i < term.size();) {
        if (!isLetter(term[i])) {
            ++i;
            continue;
        }
        const std::string here = nameAt(term, i);
        if (here == name)
            return true;
        i += here.size();
    }
    return false;
}

// Splits a sum into its terms: a '+' or '-' anywhere but at the start ends a
// term; a '-' then starts the next term, a '+' is dropped.
struct Term {
    size_t begin;  // first character, the '-' included
    size_t end;    // one past the last character
};
std::vector<Term> splitTerms(const std::string& text) {
    std::vector<Term> terms;
    size_t begin = 0;
    for (size_t i = 1; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '+' || text[i] == '-') {
            if (i > begin)
                terms.push_back({begin, i});
            begin = (i < text.size() && text[i] == '+') ? i + 1 : i;
        }
    }
    return terms;
}

double evaluate(Piece* piece, const std::string& term) {
    return qpFormulaCalculation(piece, term.c_str());
}

// A parameter looked up for blending: a value below kZeroParameter is set to
// 1.0 for the time being, so that the coefficient can still be found.
struct Parameter {
    ParaName unknown{};
    ParaName* record = nullptr;
    float value = 0;
    bool zero = false;

    Parameter(Piece* piece, const std::string& name) {
        qpGetParaNameLptr(piece, name[0], name.size() > 1 ? name[1] : 0, &record);
        if (!record)
            record = &unknown;  // a store that refuses the name: value 0
        value = record->value;
        zero = std::fabs(value) < kZeroParameter;
        if (zero)
            record->value = 1.0f;
    }
    ~Parameter() { record->value = value; }
    double coefficient(double sum) const { return zero ? sum : sum / value; }
};

void appendTerm(std::string& out, double coefficient, const std::string& name) {
    if (std::fabs(coefficient) <= kMinCoefficient)
        return;
    char number[kNumberText] = {};
    qpConvertFloat2String(coefficient, "", number);
    if (!out.empty() && number[0] != '-')
        out += '+';
    const double magnitude = std::fabs(coefficient);
    if (magnitude < kUnitLow || magnitude > kUnitHigh) {
        out += number;
        out += '*';
    } else if (coefficient < 0) {
        out += '-';
    }
    out += name;
}

}  // namespace

void BlendFormulas(Piece* piece, std::string& out, const std::string& a, std::string& b,
                   float wA, float wB) {
    out.clear();
    std::vector<std::string> done;
    size_t i = 0;
    while (i < a.size()) {
        if (!isLetter(a[i])) {
            ++i;
            continue;
        }
        const std::string name = nameAt(a, i);
        // Move on to the end of this term: only a term's first name opens.
        size_t next = i + name.size();
        while (next < a.size() && a[next] != '+' && a[next] != '-')
            ++next;
        i = next;
        // A name met in an earlier term of A has already been summed over
        // all of A; opening it again would write it twice.
        bool seen = false;
        for (const std::string& d : done)
            seen = seen || d == name;
        if (seen)
            continue;
        done.push_back(name);

        const Parameter parameter(piece, name);
        double sum = 0;
        for (const Term& t : splitTerms(a)) {
            const std::string term = a.substr(t.begin, t.end - t.begin);
            if (termHolds(term, name))
                sum += evaluate(piece, term) * wA;
        }
        // Fold B's terms of this name in, cutting each out of B; the
        // separator that ended a cut term stays.
        for (bool found = true; found && !b.empty();) {
            found = false;
            for (const Term& t : splitTerms(b)) {
                const std::string term = b.substr(t.begin, t.end - t.begin);
                if (termHolds(term, name)) {
                    sum += evaluate(piece, term) * wB;
                    b.erase(t.begin, t.end - t.begin);
                    found = true;
                    break;
                }
            }
        }
        appendTerm(out, parameter.coefficient(sum), name);
    }

    // The rest of B, term by term, with B's weight.
    for (const Term& t : splitTerms(b)) {
        std::string term = b.substr(t.begin, t.end - t.begin);
        if (!term.empty() && term[0] == '+')
            term.erase(0, 1);
        size_t letter = 0;
        while (letter < term.size() && !isLetter(term[letter]))
            ++letter;
        if (letter == term.size())
            continue;  // no name: a split expression holds no constants
        const std::string name = nameAt(term, letter);
        const Parameter parameter(piece, name);
        appendTerm(out, parameter.coefficient(evaluate(piece, term) * wB), name);
    }
}

namespace {

// The x (or y) text of a point's formula, or "" when the point has none.
std::string formulaText(Piece* piece, short point, bool yText) {
    if (piece->formulaCount == 0 || point < 0 || point >= piece->pointCount)
        return {};
    Point* p = nullptr;
    qpGetPointLptr(piece, point, &p);
    if (p->formulaIndex < 0 || p->formulaIndex >= piece->formulaCount)
        return {};
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, p->formulaIndex, &f);
    const short offset = yText ? f->yTextOffset : f->xTextOffset;
    const short length = yText ? f->yTextLength : f->xTextLength;
    if (offset < 0 || length <= 0 || offset + length > piece->charCount)
        return {};
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    return std::string(area + offset, strnlen(area + offset, static_cast<size_t>(length)));
}

// The formula without its constant numeral term.
std::string splitExpression(const std::string& text) {
    // The splitter writes at most its 80-byte expression buffer, never past it.
    std::vector<char> expression(std::max<size_t>(text.size() + 1, 80), '\0');
    float rest = 0;
    qpSplitFormulaNumeral(text.c_str(), expression.data(), &rest);
    return std::string(expression.data());
}

std::string numberText(double value) {
    char number[kNumberText] = {};
    qpConvertFloat2String(value, "", number);
    return number;
}

// Appends the constant that makes `text` evaluate to `target` (mm); "0" for
// an empty text that needs none.
std::string withResidual(Piece* piece, std::string text, double target) {
    const double value = text.empty() ? 0.0 : qpFormulaCalculation(piece, text.c_str()) * 10.0;
    const double residual = target - value;
    if (std::fabs(residual) > kResidualMm) {
        const std::string number = numberText(residual / 10.0);
        if (!text.empty() && number[0] != '-')
            text += '+';
        text += number;
    } else if (text.empty()) {
        text = "0";
    }
    return text;
}

// One coordinate's text. A blend that would not fit a formula text buffer
// falls back to point a's expression with its own constant, and that to the
// plain number, so the stored text always fits and always evaluates to the
// target (obvious fault of fixed working texts: they would overrun).
std::string coordinateText(Piece* piece, short a, short b, bool blend, bool yText,
                           double target, float wA, float wB) {
    const std::string expressionA = splitExpression(formulaText(piece, a, yText));
    std::string output = expressionA;
    if (blend) {
        std::string expressionB = splitExpression(formulaText(piece, b, yText));
        BlendFormulas(piece, output, expressionA, expressionB, wA, wB);
    }
    std::string text = withResidual(piece, output, target);
    if (text.size() > formula::kMaxPointFormula && blend)
        text = withResidual(piece, expressionA, target);
    if (text.size() > formula::kMaxPointFormula)
        text = withResidual(piece, std::string(), target);
    return text;
}

void store(PatternBuffer* pattern, Piece* piece, const std::string& text, short& offset,
           short& length) {
    const short size = static_cast<short>(text.size() + 1);
    short at = 0;
    char* space = nullptr;
    qpIncreaseString(pattern, piece, size, &at, &space);
    std::memcpy(space, text.c_str(), static_cast<size_t>(size));
    offset = at;
    length = size;
}

}  // namespace

QP_EXPORT short QP_WINAPI qpCalcuPointFormula(PatternBuffer* pattern, Piece* piece, Formula* target, short a, short b, float x, float y, short flags) {
    if (!pattern || !piece || !target)
        return 1;
    const bool blend = (flags & 1) != 0;
    float wA = 1.0f, wB = 0.0f;
    if (blend) {
        Point* pa = nullptr;
        Point* pb = nullptr;
        Coord* ca = nullptr;
        Coord* cb = nullptr;
        qpGetPointLptr(piece, a, &pa);
        qpGetPointLptr(piece, b, &pb);
        qpGetCoordLptr(piece, pa->coordIndex, &ca);
        qpGetCoordLptr(piece, pb->coordIndex, &cb);
        const double dA = std::hypot(x - ca->x, y - ca->y);
        const double dB = std::hypot(x - cb->x, y - cb->y);
        const double s = dA + dB;
        // A target on both a and b leaves the weights 0 / 0: take each
        // neighbour's formula by half.
        wA = s > 0 ? static_cast<float>(dB / s) : 0.5f;
        wB = s > 0 ? static_cast<float>(dA / s) : 0.5f;
    }
    // Both texts are composed before either is stored: storing adds to the
    // text area, and the sources are read from it.
    const std::string xText = coordinateText(piece, a, b, blend, false, x, wA, wB);
    const std::string yText = coordinateText(piece, a, b, blend, true, y, wA, wB);
    store(pattern, piece, xText, target->xTextOffset, target->xTextLength);
    store(pattern, piece, yText, target->yTextOffset, target->yTextLength);
    return 1;
}
