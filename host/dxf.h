// DXF drawings: what qpkit writes to and reads from the exchange files of
// cutting rooms and other systems (docs/exchange.md), as plain data.
//
// A Drawing is the file's content in the terms the exchange convention uses
// (layers by number, blocks per piece, points, lines, polylines, texts), kept
// apart from both the pattern (dxf_export.h turns a pattern into one) and the
// DXF library (dxf_file.cpp, the one file that talks to libdime). The files
// are R12 ASCII, which every cutting-room system reads.
//
// Memory: plain values. Units: millimetres unless `units` says otherwise,
// angles in degrees (as DXF gives them), y up.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/piece_geometry.h"

namespace host::dxf {

// The layers of the AAMA/ASTM convention that qpkit writes or reads, by the
// names the files give them.
namespace layer {
constexpr const char* kCut = "1";         // boundary: the cut line
constexpr const char* kTurn = "2";        // turn points, on their line
constexpr const char* kCurve = "3";       // curve points, on their line
constexpr const char* kNotch = "4";       // notches: short lines
constexpr const char* kGrain = "7";       // the grain line
constexpr const char* kInternal = "8";    // internal lines
constexpr const char* kDrill = "13";      // drill holes and marks
constexpr const char* kSew = "14";        // the sew line
constexpr const char* kCutCheck = "84";   // ASTM: the boundary as drawn, to check a reader's curves
constexpr const char* kLineCheck = "85";  // ASTM: the internal lines as drawn
constexpr const char* kSewCheck = "87";   // ASTM: the sew line as drawn
}  // namespace layer

struct Entity {
    enum Kind { kPoint, kLine, kPolyline, kText };
    Kind kind = kPoint;
    std::string layer;
    Polyline points;     // kPoint: one; kLine: two; kPolyline: its vertices; kText: its origin
    bool closed = false;  // kPolyline: the last vertex joins the first
    std::string text;    // kText
    double height = 0.0;  // kText (mm)
};

// A block and where the drawing inserts it: position, rotation about it
// (degrees, counter-clockwise) and scale (a negative x scale mirrors).
struct Block {
    std::string name;
    std::vector<Entity> entities;
    Pt at;
    double rotation = 0.0;
    double scaleX = 1.0;
    double scaleY = 1.0;
};

struct Drawing {
    std::string version = "AC1009";  // R12; the header's $ACADVER
    // $INSUNITS where the version has it (R2000 on: 4 = mm, 5 = cm, 1 = inch);
    // 0: not declared.
    int insUnits = 0;
    std::vector<std::string> layers;  // every layer the entities use, in table order
    std::vector<Block> blocks;        // each inserted once in modelspace
    std::vector<Entity> entities;     // modelspace, besides the inserts
    // What a read met and did not understand: "ARC on layer 8", ... once
    // per kind, with how many.
    std::vector<std::pair<std::string, int>> skipped;
};

// Writes the drawing as R12 ASCII DXF through libdime, whole or not at all.
// libdime keeps numbers in single precision and writes six significant
// digits: a coordinate below 1,000 mm is written to 0.001 mm, below
// 10,000 mm to 0.01 mm. Throws a UserError naming the path when it cannot
// write, or when this build has no libdime.
void writeDrawing(const Drawing& drawing, const std::string& path);

// Reads a DXF file (R12 to R2000: POLYLINE and LWPOLYLINE, LINE, POINT,
// CIRCLE as a point at its centre, TEXT, blocks and their inserts; the rest
// is counted in `skipped`). A block that no insert places is kept, at the
// origin. Throws a UserError naming the path when libdime cannot read it.
Drawing readDrawing(const std::string& path);

// Whether this build reads and writes DXF (libdime has no Windows or
// 32-bit Debian build beside the 64-bit one).
bool available();

}  // namespace host::dxf
