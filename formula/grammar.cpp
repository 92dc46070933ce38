// The grammars of the formula-text routines and the exact value of a text
// (see grammar.h).
//
// One grammar, narrowed per routine:
//
//   text    := empty | ['-'] term { sep term }
//   sep     := '+' | '-' | '+-'
//              ('+-' only before a bracket-free term: the spreading writes
//              it when a group after '+' begins with '-', "x+-2*a")
//   name    := a letter, or two letters of the same case; never followed
//              by a further letter
//   number  := digits with at most one '.', at least one digit
//
//   kPack, and the bracket-free terms of kBrackets (the packing shapes):
//   term    := number | name | number '*' name | name '*' number
//            | name '/' number | name '*' number '/' number
//
//   kScale (each term holds at most one number or one chain of numbers):
//   term    := chain | chain '*' name | name | name ('*' | '/') chain
//   chain   := number { ('*' | '/') number }
//
//   kBrackets also has a term that holds a group, after a single sign or
//   at the start (a trailing factor is a single number of at most 10
//   characters; the inside is not empty):
//   term    := [number '*'] '(' text ')' [('*' | '/') number]
//
// No blanks, no other characters. Every such text is linear in its names,
// and the evaluator reads it with the same value.
#include "formula/grammar.h"

#include <cmath>
#include <cstring>

#include "formula/number_text.h"

namespace ftext {

namespace {

constexpr int kMaxGroupDepth = 16;       // nested groups; texts are < 130 characters
constexpr int kMaxTrailingChars = 10;    // ")*m", ")/m"
constexpr int kMaxWritten = 200;         // a written sum, before its caller's limit

// Float reading of a number by the routines (qpAtof) is off by at most one
// part in 2^24 of it; a coefficient built from a few of them gets this much
// room besides the rounding.
constexpr double kFloatReading = 2e-7;

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

struct Reader {
    const char* p;
    Grammar g;
    int depth = 0;
    bool tinyDivisor = false;
};

double Divide(Reader& r, double v, double d) {
    if (std::fabs(d) < kTinyDivisor) {
        d = 1.0;  // as the routines take it
        r.tinyDivisor = true;
    }
    return v / d;
}

bool Number(Reader& r, double* v, int* chars = nullptr) {
    const char* start = r.p;
    double whole = 0.0, frac = 0.0, scale = 1.0;
    bool point = false;
    int digits = 0;
    for (;; ++r.p) {
        const char c = *r.p;
        if (IsDigit(c)) {
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
    if (digits == 0 || *r.p == '.') return false;
    *v = whole + frac;
    if (chars != nullptr) *chars = static_cast<int>(r.p - start);
    return true;
}

bool Name(Reader& r, char key[3]) {
    if (!IsLetter(*r.p)) return false;
    key[0] = *r.p;
    key[1] = key[2] = '\0';
    const char next = r.p[1];
    if (IsLetter(next) && IsUpper(next) == IsUpper(key[0])) {
        key[1] = next;
        r.p += 2;
    } else {
        r.p += 1;
    }
    return !IsLetter(*r.p);
}

bool AtTermEnd(const Reader& r) {
    const char c = *r.p;
    return c == '\0' || IsSign(c) || (c == ')' && r.depth > 0);
}

// number { ('*' | '/') number }, folded left to right into *v; `divide`:
// the chain stands after a '/' (name '/' chain), so its first number divides
// and the rest go on from there, as the evaluator reads "H/2*3".
bool Chain(Reader& r, double* v, bool divide = false) {
    if (!Number(r, v)) return false;
    if (divide) *v = Divide(r, 1.0, *v);
    while ((*r.p == '*' || *r.p == '/') && IsNumberChar(r.p[1])) {
        const char op = *r.p++;
        double u = 0.0;
        if (!Number(r, &u)) return false;
        *v = op == '*' ? *v * u : Divide(r, *v, u);
    }
    return true;
}

bool PlainTerm(Reader& r, char key[3], double* coef) {
    key[0] = key[1] = key[2] = '\0';
    *coef = 1.0;
    if (r.g == Grammar::kScale) {
        if (IsNumberChar(*r.p)) {
            if (!Chain(r, coef)) return false;
            if (*r.p == '*' && IsLetter(r.p[1])) {
                ++r.p;
                if (!Name(r, key)) return false;
            }
        } else {
            if (!Name(r, key)) return false;
            if (*r.p == '*' || *r.p == '/') {
                const char op = *r.p++;
                if (!Chain(r, coef, op == '/')) return false;
            }
        }
        return AtTermEnd(r);
    }
    if (IsNumberChar(*r.p)) {
        if (!Number(r, coef)) return false;
        if (*r.p == '*') {
            ++r.p;
            if (!Name(r, key)) return false;
        }
        return AtTermEnd(r);
    }
    if (!Name(r, key)) return false;
    if (*r.p == '*') {
        ++r.p;
        if (!Number(r, coef)) return false;
        if (*r.p == '/') {
            ++r.p;
            double m = 0.0;
            if (!Number(r, &m)) return false;
            *coef = Divide(r, *coef, m);
        }
    } else if (*r.p == '/') {
        ++r.p;
        double n = 0.0;
        if (!Number(r, &n)) return false;
        *coef = Divide(r, 1.0, n);
    }
    return AtTermEnd(r);
}

// Whether a term holding a group starts here: '(' or "n*(".
bool GroupStarts(const Reader& r) {
    if (r.g != Grammar::kBrackets) return false;
    const char* q = r.p;
    while (IsNumberChar(*q)) ++q;
    if (q == r.p) return *q == '(';
    return q[0] == '*' && q[1] == '(';
}

bool Sum(Reader& r, LinearForm* form);

bool GroupTerm(Reader& r, LinearForm* form, double sign) {
    double coef = 1.0;
    if (*r.p != '(') {
        if (!Number(r, &coef) || *r.p != '*') return false;
        ++r.p;
    }
    ++r.p;  // '('
    if (++r.depth > kMaxGroupDepth) return false;
    LinearForm inside;
    if (!Sum(r, &inside) || *r.p != ')') return false;
    ++r.p;
    --r.depth;
    double trailing = 1.0;
    if (*r.p == '*' || *r.p == '/') {
        const char op = *r.p++;
        double m = 0.0;
        int chars = 0;
        if (!Number(r, &m, &chars) || chars > kMaxTrailingChars) return false;
        trailing = op == '*' ? m : Divide(r, 1.0, m);
    }
    if (!AtTermEnd(r)) return false;
    const double k = sign * coef * trailing;
    for (int i = 0; i < inside.count; ++i)
        if (!form->add(inside.names[i].key, inside.names[i].coef * k)) return false;
    if (inside.constantTerms > 0) form->add("", inside.constant * k);
    return true;
}

// A non-empty sum, up to the end of the text or the ')' of its group.
bool Sum(Reader& r, LinearForm* form) {
    for (bool first = true;; first = false) {
        double sign = 1.0;
        bool pair = false;
        if (first) {
            if (*r.p == '-') {
                sign = -1.0;
                ++r.p;
            }
        } else {
            const char c = *r.p;
            if (!IsSign(c)) return false;
            ++r.p;
            if (c == '-') {
                sign = -1.0;
            } else if (*r.p == '-') {
                sign = -1.0;
                pair = true;
                ++r.p;
            }
        }
        if (GroupStarts(r)) {
            if (pair || !GroupTerm(r, form, sign)) return false;
        } else {
            char key[3];
            double coef = 0.0;
            if (!PlainTerm(r, key, &coef) || !form->add(key, sign * coef)) return false;
        }
        if (*r.p == '\0' || *r.p == ')') return true;
    }
}

bool Close(double expected, double got, int terms) {
    const double tol = kPackTolerance * (terms > 1 ? terms : 1) +
                       kFloatReading * (1.0 + std::fabs(expected));
    return std::fabs(got - expected) <= tol;
}

}  // namespace

bool LinearForm::add(const char* key, double coef) {
    if (key[0] == '\0') {
        constant += coef;
        ++constantTerms;
        return true;
    }
    for (int i = 0; i < count; ++i) {
        if (names[i].key[0] == key[0] && names[i].key[1] == key[1]) {
            names[i].coef += coef;
            ++names[i].terms;
            return true;
        }
    }
    if (count == kMaxNames) return false;
    Entry& e = names[count++];
    e.key[0] = key[0];
    e.key[1] = key[1];
    e.key[2] = '\0';
    e.coef = coef;
    e.terms = 1;
    return true;
}

const LinearForm::Entry* LinearForm::find(const char* key) const {
    for (int i = 0; i < count; ++i)
        if (names[i].key[0] == key[0] && names[i].key[1] == key[1]) return &names[i];
    return nullptr;
}

bool ReadLinear(const char* text, Grammar g, LinearForm* form) {
    *form = LinearForm();
    if (text == nullptr) return false;
    if (text[0] == '\0') return true;
    Reader r{text, g};
    const bool ok = Sum(r, form) && *r.p == '\0';
    form->tinyDivisor = r.tinyDivisor;
    return ok;
}

bool WriteLinear(const LinearForm& form, char* out, int maxChars) {
    char text[kMaxWritten + 1];
    int n = 0;
    auto put = [&](const char* s) {
        for (; *s != '\0'; ++s) {
            if (n == kMaxWritten) return false;
            text[n++] = *s;
        }
        return true;
    };
    auto term = [&](double c, const char* key) {
        const double magnitude = std::fabs(c);
        if (magnitude < kPackTolerance) return true;  // cancelled: left out
        if (!put(c < 0.0 ? "-" : n > 0 ? "+" : "")) return false;
        if (key[0] != '\0' && std::fabs(magnitude - 1.0) <= kPackTolerance) return put(key);
        char digits[kNumberTextMax + 1];
        if (NumberText(magnitude, kPackTolerance, digits) < 0 || !put(digits)) return false;
        return key[0] == '\0' || (put("*") && put(key));
    };
    for (int i = 0; i < form.count; ++i)
        if (!term(form.names[i].coef, form.names[i].key)) return false;
    if (!term(form.constant, "")) return false;
    if (n > maxChars) return false;
    text[n] = '\0';
    std::memcpy(out, text, static_cast<size_t>(n) + 1);
    return true;
}

bool KeepsValue(const LinearForm& given, double factor, const char* written, Grammar g) {
    LinearForm out;
    if (!ReadLinear(written, g, &out)) return false;
    for (int i = 0; i < given.count; ++i) {
        const LinearForm::Entry* e = out.find(given.names[i].key);
        if (!Close(given.names[i].coef * factor, e ? e->coef : 0.0, e ? e->terms : 0)) return false;
    }
    for (int i = 0; i < out.count; ++i)
        if (given.find(out.names[i].key) == nullptr && !Close(0.0, out.names[i].coef, out.names[i].terms))
            return false;
    return Close(given.constant * factor, out.constant, out.constantTerms);
}

}  // namespace ftext
