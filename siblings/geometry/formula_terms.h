// Formula texts as sums of terms: splitting off the constant terms and
// writing a text that reaches a target value. Inline, shared by Qpkit2
// (formula repair) and Qpkit4 (points put on curves), which both link Qpkit
// for qpConvertFloat2String and qpFormulaCalculation.
// Units: centimetres.
#pragma once

#include <cstring>
#include <string>

#include "frame/siblings.h"
#include "siblings/geometry/formula_parse.h"
#include "siblings/geometry/number_text.h"

namespace qpformula {

// Formula texts are copied through 100-byte buffers by the formula routines;
// a text this long (terminating zero included) is never written.
constexpr int kFormulaTextLimit = 100;

struct NoNames {
    double operator()(char, char) const { return 0.0; }
};

// Splits text at its top-level '+' and '-' (a sign right after an operator
// or '(' belongs to its term) into the parametric terms (holding a letter),
// kept with their signs and less a leading '+', and the sum of the constant
// terms. False for a malformed text, or a constant term that divides by ~0;
// expression is then "" and rest 0, which is what the whole text is worth.
inline bool splitConstantTerms(const std::string& text, std::string& expression, double& rest) {
    expression.clear();
    rest = 0.0;
    if (!wellFormed(text.c_str())) return false;

    std::string parametric;
    double constants = 0.0;
    size_t start = 0;
    int depth = 0;
    char previous = 0;  // last non-blank character
    for (size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '\0';
        const bool split = c == '\0' ||
            (depth == 0 && (c == '+' || c == '-') && previous != 0 &&
             std::strchr("+-*/(", previous) == nullptr);
        if (split && i > start) {
            const std::string term = text.substr(start, i - start);
            bool letter = false;
            for (char t : term) letter = letter || isLetter(t);
            if (letter) {
                parametric += term;
            } else {
                NoNames none;
                bool ok = true;
                const double v = evaluate(term.c_str(), none, &ok);
                if (!ok) return false;
                constants += v;
            }
            start = i;
        }
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c != ' ' && c != '\t') previous = c;
    }
    if (!parametric.empty() && parametric[0] == '+') parametric.erase(0, 1);
    expression = parametric;
    rest = constants;
    return true;
}

inline std::string numberText(double value) {
    char buf[qpnumber::kNumberTextSize];
    qpConvertFloat2String(value, "", buf);
    return buf;
}

// The text expression + constant that gives `target` when expression is
// worth `value`; a constant that rounds to 0 is left out, and nothing at all
// is "0".
inline std::string withConstant(const std::string& expression, double value, double target) {
    const std::string constant = numberText(target - value);
    if (constant == "0") return expression.empty() ? "0" : expression;
    if (expression.empty()) return constant;
    return expression + (constant[0] == '-' ? "" : "+") + constant;
}

// withConstant, or the constant alone when that text would not fit
// kFormulaTextLimit: the position is kept, the parametric terms are lost.
inline std::string fittedText(const std::string& expression, double value, double target) {
    std::string text = withConstant(expression, value, target);
    if (text.size() + 1 > static_cast<size_t>(kFormulaTextLimit)) text = numberText(target);
    return text;
}

}  // namespace qpformula
