// qpConvertFloat2String: the text of a number as the formula services write
// it into formula texts and the tools show it.
//
// The text has at most three decimals, rounded half away from zero on the
// value times 1000; trailing zeros and a trailing '.' are dropped; a value
// that rounds to zero is "0", never "-0"; no exponent is ever written. out
// must hold kNumberTextSize bytes. From 1e12 on, the thousandths no longer
// fit a double's 53 bits exactly, so such magnitudes are written as whole
// numbers (far beyond any pattern measure); from
// 1e27 on (which would not fit the buffer) and for values that are not
// numbers the text is "0". `format` is accepted for the callers' sake (they
// pass "") and not read.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "frame/siblings.h"
#include "siblings/geometry/number_text.h"

QP_SIBLING_EXPORT void qpConvertFloat2String(double value, const char* /*format*/, char* out) {
    if (out == nullptr) return;
    if (!std::isfinite(value) || std::fabs(value) >= qpnumber::kWholeOnlyLimit) {
        std::strcpy(out, "0");
        return;
    }
    const double magnitude = std::fabs(value);
    if (magnitude >= qpnumber::kThreeDecimalLimit) {
        std::snprintf(out, qpnumber::kNumberTextSize, "%.0f", value);
        return;
    }
    const uint64_t thousandths = static_cast<uint64_t>(std::round(magnitude * 1000.0));
    if (thousandths == 0) {
        std::strcpy(out, "0");
        return;
    }
    char digits[8];
    int fraction = static_cast<int>(thousandths % 1000);
    int decimals = 3;
    while (decimals > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --decimals;
    }
    const unsigned long long whole = thousandths / 1000;
    if (decimals == 0) {
        std::snprintf(out, qpnumber::kNumberTextSize, "%s%llu", value < 0 ? "-" : "", whole);
    } else {
        std::snprintf(digits, sizeof digits, "%0*d", decimals, fraction);
        std::snprintf(out, qpnumber::kNumberTextSize, "%s%llu.%s", value < 0 ? "-" : "", whole, digits);
    }
}
