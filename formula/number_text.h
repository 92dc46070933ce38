// Numbers in formula text: the library's decimal reader (qpAtof) and the
// three-decimal number text with which every formula routine writes a
// computed value back, plus the bounded text that those routines build their
// results in.
//
// Memory: texts belong to the caller; nothing here allocates, and a
// FixedText never writes past its own storage. Units: the numbers of formula
// texts are centimetres; nothing here converts units.
//
// Arithmetic: a number read from text is a float computed in double; sums,
// quotients and products of such numbers are kept in double until they are
// written. On the 32-bit x87 build every step is rounded to its declared type
// (AsDouble, AsFloat) so that the third decimal comes out as on Windows,
// where the FPU runs at double precision.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstring>

namespace ftext {

// Status words of the formula routines (16-bit results of the exports).
constexpr short kStatusDone = 1;
constexpr short kStatusRefused = 0;      // text outside the grammar or the limits; unchanged
constexpr short kStatusTinyDivisor = -1;  // a divisor below kTinyDivisor was taken as 1

// A divisor whose magnitude is below this is replaced by 1.
constexpr double kTinyDivisor = 1e-05;

// Tolerances of the three-decimal number text. The packing's is used by
// every formula routine: the scaler's 0.001 would let a written number move
// by more than its rounding (0.333 * 3 written as 1), so the scaler writes
// with the packing's tolerance too.
constexpr double kPackTolerance = 0.0005;
constexpr double kScaleTolerance = 0.001;

// Longest three-decimal number text: the 16-bit integer part and three
// decimals, "32767.999".
constexpr int kNumberTextMax = 9;

// Callers' formula texts are 100-byte buffers: a routine that lengthens a
// text in place never makes it longer than 99 characters (or than the text
// it was given, which already fits its buffer).
constexpr int kCallerTextSize = 100;
inline int InPlaceLimit(int givenLength) {
    return givenLength > kCallerTextSize - 1 ? givenLength : kCallerTextSize - 1;
}

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsNumberChar(char c) { return IsDigit(c) || c == '.'; }
inline bool IsSign(char c) { return c == '+' || c == '-'; }

#if defined(__i386__) && !defined(__SSE2_MATH__)
// x87: force the value out of the 80-bit register into its declared width.
inline double AsDouble(double v) {
    volatile double r = v;
    return r;
}
#else
inline double AsDouble(double v) { return v; }
#endif

// double -> float without undefined behaviour: values beyond the float range
// become infinities (what the FPU conversion gives), NaN stays NaN.
inline float AsFloat(double v) {
    if (v > FLT_MAX) v = HUGE_VAL;
    if (v < -FLT_MAX) v = -HUGE_VAL;
#if defined(__i386__) && !defined(__SSE2_MATH__)
    volatile float r = static_cast<float>(v);
    return r;
#else
    return static_cast<float>(v);
#endif
}

// qpAtof over the characters [begin, end): one unsigned decimal number,
// computed in double and returned as float. Any character other than '.'
// counts as the digit (code - 48), codes taken as signed 8-bit as on the
// Windows build; a second '.' makes the result 0.
float ReadNumber(const char* begin, const char* end);

// Writes v (>= 0) as three-decimal number text into out (NUL-terminated) and
// returns its length. The integer part is 16-bit: a value that does not fit
// it (32768 and above, also after rounding up), a negative value or NaN is
// not written, and -1 is returned; the caller then refuses its whole text.
int NumberText(double v, double tol, char (&out)[kNumberTextMax + 1]);

// A text of at most MaxChars characters built in its own storage. A write
// that would not fit is dropped and marks the text as overflowed; the
// routines then refuse their input instead of truncating it.
template <int MaxChars>
class FixedText {
public:
    FixedText() { text_[0] = '\0'; }

    void put(char c) {
        if (length_ >= MaxChars) {
            overflowed_ = true;
            return;
        }
        text_[length_++] = c;
        text_[length_] = '\0';
    }
    void put(const char* s, int n) {
        for (int i = 0; i < n; ++i) put(s[i]);
    }
    void put(const char* s) { put(s, static_cast<int>(std::strlen(s))); }

    // Replaces the last character written (the scaler turns a '/' into '*').
    void replaceLast(char c) {
        if (length_ > 0) text_[length_ - 1] = c;
    }

    bool overflowed() const { return overflowed_; }
    int length() const { return length_; }
    bool empty() const { return length_ == 0; }
    char first() const { return text_[0]; }
    char last() const { return length_ > 0 ? text_[length_ - 1] : '\0'; }
    const char* str() const { return text_; }

private:
    char text_[MaxChars + 1];
    int length_ = 0;
    bool overflowed_ = false;
};

}  // namespace ftext
