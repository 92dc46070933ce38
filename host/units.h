// Lengths and areas as qpkit prints them: millimetres (areas in cm2), or
// with --inch the inch of the library's own length units (HostDoc.lengthUnit
// 1, frame::mmPerLengthUnit), areas in square inches. Formula texts stay in
// centimetres whatever the unit: they are the pattern's own.
#pragma once

#include <string>

namespace host {

struct Units {
    bool inch = false;

    const char* length() const { return inch ? "in" : "mm"; }
    const char* area() const { return inch ? "in2" : "cm2"; }
    // Decimals of a length: 0.01 mm, 0.001 in (0.0254 mm). Areas take 2.
    int decimals() const { return inch ? 3 : 2; }
    // A length given in mm, and an area given in mm2, in the unit.
    double lengthOf(double mm) const;
    double areaOf(double mm2) const;
    // A length given in mm as text in the unit, never "-0.00".
    std::string text(double mm) const;
    // The same with its sign: "+1.25", "-0.50", "0.00" within `zeroMm`.
    std::string signedText(double mm, double zeroMm) const;
    // An area given in mm2, in cm2 or in2, to 0.01.
    std::string areaText(double mm2) const;
};

}  // namespace host
