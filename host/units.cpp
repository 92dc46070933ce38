// Lengths and areas in the unit asked for (see units.h).
#include "host/units.h"

#include <cmath>
#include <cstdio>

#include "frame/host_protocol.h"

namespace host {

namespace {

std::string fixed(double v, int decimals) {
    char t[48];
    std::snprintf(t, sizeof t, "%.*f", decimals, v);
    std::string s = t;
    // A value that rounds to zero is shown without a sign.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

}  // namespace

double Units::lengthOf(double mm) const { return inch ? mm / frame::mmPerLengthUnit(frame::kUnitInch) : mm; }

double Units::areaOf(double mm2) const {
    const double perInch = frame::mmPerLengthUnit(frame::kUnitInch);
    return inch ? mm2 / (perInch * perInch) : mm2 / 100.0;
}

std::string Units::text(double mm) const { return fixed(lengthOf(mm), decimals()); }

std::string Units::signedText(double mm, double zeroMm) const {
    if (std::fabs(mm) < zeroMm) return text(0.0);
    return (mm > 0 ? "+" : "") + text(mm);
}

std::string Units::areaText(double mm2) const { return fixed(areaOf(mm2), 2); }

}  // namespace host
