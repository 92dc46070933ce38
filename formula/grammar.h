// The grammars of the formula-text routines, and the value of a text that
// follows one of them, read exactly (in double) as a sum of coefficients
// times names plus a constant.
//
// Every text these routines accept is linear in its names, so two texts have
// the same value for all parameter values exactly when their coefficients
// agree name by name. The routines check their input against their grammar
// before rewriting anything, and compare the coefficients of what they wrote
// with those of what they were given before they hand a result back: a
// rewrite that would change a value is refused and the text stays as it was.
//
// Memory: nothing here allocates; texts are the caller's. Units: the numbers
// of formula texts are centimetres; coefficients have the unit of the text.
#pragma once

namespace ftext {

// Which routine's grammar a text is read in (written out in grammar.cpp).
enum class Grammar {
    kPack,      // qpPackExpression: a bracket-free sum of the packing shapes
    kScale,     // qpCalcuSubExpression: a bracket-free sum, chains of numbers
    kBrackets,  // qpPackBracketsExpression, qpSpreadBracketsExpression
};

// A text's value: sum of coef * name over the entries, plus the constant.
// `terms` counts the terms that wrote each coefficient: every written term
// may be off by the three-decimal rounding.
struct LinearForm {
    static constexpr int kMaxNames = 48;
    struct Entry {
        char key[3];
        double coef;
        int terms;
    };
    Entry names[kMaxNames];
    int count = 0;
    double constant = 0.0;
    int constantTerms = 0;
    bool tinyDivisor = false;  // a divisor below kTinyDivisor was read as 1

    // Adds coef to the name's coefficient (key "" for the constant); false
    // when the form has no room left.
    bool add(const char* key, double coef);
    const Entry* find(const char* key) const;
};

// Reads text in grammar g into *form. False when the text is outside the
// grammar. A divisor below kTinyDivisor is read as 1, as the routines take
// it.
bool ReadLinear(const char* text, Grammar g, LinearForm* form);

// Whether `written` (read in grammar g) has the value of `given` times
// factor: name by name, and for the constant, the coefficients differ by at
// most the three-decimal rounding (kPackTolerance) for each term written,
// with room for the float reading of the routines' numbers.
bool KeepsValue(const LinearForm& given, double factor, const char* written, Grammar g);

// Writes the form as a flat sum into out (at most maxChars characters and
// its NUL): names in the order they were first met, as "X" or "n*X" with
// the three-decimal number text, then the constant; coefficients within
// kPackTolerance of 0 are left out. The packing's way of writing merged
// terms, from exact coefficients, so each written number is rounded once.
// False (out unchanged) when a number does not fit the number text or the
// sum does not fit out.
bool WriteLinear(const LinearForm& form, char* out, int maxChars);

}  // namespace ftext
