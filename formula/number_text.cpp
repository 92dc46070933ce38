// The decimal reader and the three-decimal number text (see number_text.h).
#include "formula/number_text.h"

#include "frame/exports.h"

namespace ftext {

float ReadNumber(const char* begin, const char* end) {
    double whole = 0.0;
    double cur = 0.0;
    double div = 10.0;
    bool pointSeen = false;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.') {
            if (pointSeen) return 0.0f;  // a second point voids the number
            pointSeen = true;
            whole = cur;
            cur = 0.0;
            continue;
        }
        // Unchecked on purpose: callers cut numbers out of formula text, and
        // the pleat tool's typed widths are read as the Windows build reads
        // them ('-' is -3, 'H' is 24, a GBK byte is negative).
        const int d = static_cast<signed char>(*p) - 48;
        if (!pointSeen) {
            cur = AsDouble(AsDouble(cur * 10.0) + d);
        } else {
            cur = AsDouble(cur + AsDouble(d / div));
            div = AsDouble(div * 10.0);
        }
    }
    return AsFloat(pointSeen ? AsDouble(whole + cur) : cur);
}

int NumberText(double v, double tol, char (&out)[kNumberTextMax + 1]) {
    out[0] = '\0';
    // The integer part is a 16-bit signed value; anything it cannot hold is
    // refused rather than wrapped into a negative or garbled number.
    if (!(v >= 0.0) || !(v < 32768.0)) return -1;
    int n = static_cast<short>(v);  // truncation toward zero
    const double f = AsDouble(v - n);
    int k = 0;  // 0: no fraction written
    if (f > tol) {
        // Half-up to three decimals; the leading 1 of k guards the
        // fraction's leading zeros (1001..2000).
        k = static_cast<int>(AsDouble(AsDouble(f + 1.0005) * 1000.0));
        if (k >= 2000) {
            if (n == 32767) return -1;
            ++n;
            k = 0;
        }
    }
    int len = 0;
    char digits[6];
    int nd = 0;
    do {
        digits[nd++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (nd > 0) out[len++] = digits[--nd];
    if (k > 1000) {
        int frac = k - 1000;  // 1..999, three digits with leading zeros
        char d3[3] = {static_cast<char>('0' + frac / 100), static_cast<char>('0' + frac / 10 % 10),
                      static_cast<char>('0' + frac % 10)};
        int keep = 3;
        while (keep > 1 && d3[keep - 1] == '0') --keep;
        out[len++] = '.';
        for (int i = 0; i < keep; ++i) out[len++] = d3[i];
    }
    out[len] = '\0';
    return len;
}

}  // namespace ftext

QP_EXPORT float QP_WINAPI qpAtof(const char* text) {
    if (text == nullptr) return 0.0f;
    return ftext::ReadNumber(text, text + std::strlen(text));
}
