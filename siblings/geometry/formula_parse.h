// The grammar of formula texts and its evaluator, shared by Qpkit (formula
// evaluation) and Qpkit2 (formula repair) as inline code, so that both read
// a text the same way.
//
//   expression := term { ('+' | '-') term }
//   term       := factor { ('*' | '/') factor }
//   factor     := ('+' | '-') factor | '(' expression ')' | number | name
//   number     := digits and at most one '.', at least one digit ("5.", ".25")
//   name       := a letter, or two letters of the same case ("H", "BL", "ab")
//
// Blanks between tokens are skipped. A sign may follow an operator, so the
// "x+-2*a" that bracket spreading writes reads as x + (-2 a).
// Results are centimetres (the parameters' unit).
//
// Defined results: a malformed text (empty, unbalanced brackets, a stray or
// trailing character, a name of three letters or of mixed case, nesting
// deeper than kMaxFormulaDepth) and a division by a value whose magnitude is
// below kMinDivisor make the whole text worth 0. So does a result that is not
// finite. Nothing is read past the terminating NUL.
#pragma once

#include <cmath>
#include <cstddef>

namespace qpformula {

constexpr int kMaxFormulaDepth = 64;     // brackets and signs, nested
constexpr double kMinDivisor = 1e-9;

inline bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Resolver: double operator()(char first, char second) gives a parameter's
// value in centimetres (second is 0 for a one-letter name).
template <class Resolver>
class Parser {
public:
    // syntaxOnly: check the grammar without refusing small divisors (the
    // values of names are then not the real ones).
    Parser(const char* text, Resolver& resolve, bool syntaxOnly = false)
        : p_(text), resolve_(resolve), syntaxOnly_(syntaxOnly) {}

    // The value of the whole text; ok() tells whether it was well formed.
    double run() {
        if (p_ == nullptr) {
            ok_ = false;
            return 0.0;
        }
        const double v = expression();
        skipBlanks();
        if (*p_ != '\0') ok_ = false;
        if (!ok_ || (!syntaxOnly_ && !std::isfinite(v))) {
            ok_ = false;
            return 0.0;
        }
        return v;
    }
    bool ok() const { return ok_; }

private:
    void skipBlanks() {
        while (*p_ == ' ' || *p_ == '\t') ++p_;
    }

    double expression() {
        double v = term();
        for (;;) {
            skipBlanks();
            if (!ok_) return 0.0;
            if (*p_ == '+') {
                ++p_;
                v += term();
            } else if (*p_ == '-') {
                ++p_;
                v -= term();
            } else {
                return v;
            }
        }
    }

    double term() {
        double v = factor();
        for (;;) {
            skipBlanks();
            if (!ok_) return 0.0;
            if (*p_ == '*') {
                ++p_;
                v *= factor();
            } else if (*p_ == '/') {
                ++p_;
                const double d = factor();
                if (std::fabs(d) < kMinDivisor) {
                    if (!syntaxOnly_) {
                        ok_ = false;
                        return 0.0;
                    }
                } else {
                    v /= d;
                }
            } else {
                return v;
            }
        }
    }

    double factor() {
        skipBlanks();
        if (!ok_) return 0.0;
        if (++depth_ > kMaxFormulaDepth) {
            ok_ = false;
            return 0.0;
        }
        double v = 0.0;
        const char c = *p_;
        if (c == '+' || c == '-') {
            ++p_;
            v = factor();
            if (c == '-') v = -v;
        } else if (c == '(') {
            ++p_;
            v = expression();
            skipBlanks();
            if (*p_ == ')') {
                ++p_;
            } else {
                ok_ = false;
            }
        } else if (isDigit(c) || c == '.') {
            v = number();
        } else if (isLetter(c)) {
            char second = 0;
            if (isLetter(p_[1]) && isUpper(p_[1]) == isUpper(c)) second = p_[1];
            p_ += second ? 2 : 1;
            if (isLetter(*p_)) ok_ = false;  // three letters, or a mixed-case pair
            else v = resolve_(c, second);
        } else {
            ok_ = false;
        }
        --depth_;
        return ok_ ? v : 0.0;
    }

    double number() {
        double whole = 0.0, frac = 0.0, scale = 1.0;
        bool point = false;
        int digits = 0;
        for (;; ++p_) {
            const char c = *p_;
            if (isDigit(c)) {
                ++digits;
                if (point) {
                    scale /= 10.0;
                    frac += (c - '0') * scale;
                } else {
                    whole = whole * 10.0 + (c - '0');
                }
            } else if (c == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (digits == 0 || *p_ == '.') ok_ = false;  // "." alone, or "1.2.3"
        return whole + frac;
    }

    const char* p_;
    Resolver& resolve_;
    bool syntaxOnly_;
    bool ok_ = true;
    int depth_ = 0;
};

// Whether text follows the grammar (divisors are not judged).
inline bool wellFormed(const char* text) {
    auto one = [](char, char) { return 1.0; };
    Parser<decltype(one)> parser(text, one, true);
    parser.run();
    return parser.ok();
}

// Evaluates text with the resolver; malformed text gives 0 and *ok = false.
template <class Resolver>
double evaluate(const char* text, Resolver& resolve, bool* ok = nullptr) {
    Parser<Resolver> parser(text, resolve);
    const double v = parser.run();
    if (ok != nullptr) *ok = parser.ok();
    return v;
}

}  // namespace qpformula
