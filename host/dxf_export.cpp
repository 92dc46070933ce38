// qpkit export (dxf_export.h).
#include "host/dxf_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/piece_geometry.h"
#include "host/seam_allowance.h"

namespace host {

namespace {

namespace layer = dxf::layer;

// Texts are this high (mm) and this far apart.
constexpr double kTextHeight = 5.0;
constexpr double kTextStep = 8.0;
// Plain files set the pieces this far apart (mm).
constexpr double kPlainGap = 20.0;
// A notch whose record gives it no size is drawn this long (mm), as long as
// the cutting rooms' usual notch.
constexpr double kNotchMm = 5.0;

bool samePlace(const Pt& a, const Pt& b) { return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9; }

// Appends `more` to `line`, leaving out its first sample where it repeats
// the last one.
void extend(Polyline& line, const Polyline& more) {
    auto from = more.begin();
    if (!line.empty() && from != more.end() && samePlace(line.back(), *from)) ++from;
    line.insert(line.end(), from, more.end());
}

// The lines of one line segment (outline or internal) joined in order.
Polyline segmentShape(Piece* piece, const Seg& seg) {
    Polyline shape;
    for (int li = seg.firstLine; li < seg.firstLine + seg.lineCount; ++li)
        if (li >= 0 && li < piece->lineCount) extend(shape, lineSamples(piece, static_cast<short>(li)));
    return shape;
}

bool isOutlineSeg(const Seg& s) { return !s.markFlag && (s.code == 1 || s.code == 3); }
bool isInnerSeg(const Seg& s) { return !s.markFlag && (s.code == 2 || s.code == 4); }

dxf::Entity polyline(const char* on, Polyline points, bool closed) {
    if (closed && points.size() > 1 && samePlace(points.front(), points.back())) points.pop_back();
    dxf::Entity e;
    e.kind = dxf::Entity::kPolyline;
    e.layer = on;
    e.points = std::move(points);
    e.closed = closed;
    return e;
}

dxf::Entity point(const char* on, Pt at) {
    dxf::Entity e;
    e.kind = dxf::Entity::kPoint;
    e.layer = on;
    e.points = {at};
    return e;
}

dxf::Entity line(const char* on, Pt a, Pt b) {
    dxf::Entity e;
    e.kind = dxf::Entity::kLine;
    e.layer = on;
    e.points = {a, b};
    return e;
}

dxf::Entity text(const char* on, Pt at, const std::string& words) {
    dxf::Entity e;
    e.kind = dxf::Entity::kText;
    e.layer = on;
    e.points = {at};
    e.text = words;
    e.height = kTextHeight;
    return e;
}

struct Box {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    void add(const Pt& p) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    bool empty() const { return minX > maxX; }
};

// Notch `point` as a line: from the notch, its direction (lineOut, in
// thousandths of a radian from its line's direction there) for its size
// (its special point's, else kNotchMm).
dxf::Entity notchLine(Piece* piece, short point, const Point& p, const Pt& at) {
    double size = kNotchMm, along = 0.0;
    for (short k = 0; k < piece->sPointCount; ++k) {
        SPoint* sp = nullptr;
        qpGetSPointLptr(piece, k, &sp);
        if (!sp || sp->pointIndex != point) continue;
        if (sp->size > 0) size = sp->size;
        const Polyline l = lineSamples(piece, sp->lineIndex);
        double best = 1e300;
        for (size_t i = 0; i + 1 < l.size(); ++i) {
            const double d = std::hypot((l[i].x + l[i + 1].x) / 2 - at.x, (l[i].y + l[i + 1].y) / 2 - at.y);
            if (d < best) best = d, along = std::atan2(l[i + 1].y - l[i].y, l[i + 1].x - l[i].x);
        }
    }
    const double a = along + p.lineOut / 1000.0;
    return line(layer::kNotch, at, Pt{at.x + size * std::cos(a), at.y + size * std::sin(a)});
}

// The placement as a DXF insert: p' = at + rotation(scaleX x, scaleY y).
// The row-vector matrix maps (x, y, 1) to (m0 x + m3 y + m6, m1 x + m4 y +
// m7). A shear has no insert; it is a user error naming the piece.
void placeBlock(const float* m, const std::string& piece, dxf::Block& b) {
    const double sx = std::hypot(m[0], m[1]);
    if (sx < 1e-9) throw UserError("piece \"" + piece + "\"", "its placement flattens it; it cannot be inserted");
    const double c = m[0] / sx, s = m[1] / sx;
    const double sy = c * m[4] - s * m[3];
    if (std::fabs(-s * sy - m[3]) > 1e-6 || std::fabs(c * sy - m[4]) > 1e-6)
        throw UserError("piece \"" + piece + "\"", "its placement shears it, which a DXF insert cannot");
    b.at = Pt{m[6], m[7]};
    b.rotation = std::atan2(s, c) * 180.0 / M_PI;
    b.scaleX = sx;
    b.scaleY = sy;
}

// The grain runs along the pattern's y axis: in the piece, the direction
// the placement turns onto it.
Pt grainDirection(const float* m) {
    const double det = m[0] * m[4] - m[1] * m[3];
    if (std::fabs(det) < 1e-12) return Pt{0, 1};
    // (0, 1) times the inverse of [[m0 m1] [m3 m4]] (row vectors).
    Pt d{-m[3] / det, m[0] / det};
    const double len = std::hypot(d.x, d.y);
    return Pt{d.x / len, d.y / len};
}

// Every entity of one piece in piece coordinates, the texts included.
std::vector<dxf::Entity> pieceEntities(Piece* piece, const std::string& name, const std::string& size,
                                       DxfForm form) {
    std::vector<dxf::Entity> out;
    PieceHold hold(piece);
    const std::vector<CutLine> cuts = cutLines(piece);
    const bool allowances = !cuts.empty();
    for (const CutLine& cut : cuts) {
        Polyline line = simplified(cut.points);
        if (form == DxfForm::kAstm) out.push_back(polyline(layer::kCutCheck, line, true));
        out.push_back(polyline(layer::kCut, std::move(line), true));
    }
    Box box;
    for (short s = 0; s < piece->segCount; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        if (!seg || !(isOutlineSeg(*seg) || isInnerSeg(*seg))) continue;
        const bool outline = isOutlineSeg(*seg);
        Polyline shape = segmentShape(piece, *seg);
        if (shape.size() < 2) continue;
        for (const Pt& p : shape) box.add(p);
        if (form == DxfForm::kAstm)
            out.push_back(polyline(!outline ? layer::kLineCheck : allowances ? layer::kSewCheck : layer::kCutCheck,
                                   shape, outline));
        out.push_back(polyline(outline ? (allowances ? layer::kSew : layer::kCut) : layer::kInternal,
                               std::move(shape), outline));
    }
    for (short i = 0; i < piece->pointCount; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        Pt at;
        if (!p || !pointPosition(piece, i, at.x, at.y)) continue;
        switch (typeLetter(p->type)) {
            case 'S': case 'K': out.push_back(point(layer::kTurn, at)); break;
            case 'C': case 'M': out.push_back(point(layer::kCurve, at)); break;
            case 'V': out.push_back(notchLine(piece, i, *p, at)); break;
            case 'O': case 'G': case 'P': out.push_back(point(layer::kDrill, at)); break;
            default: break;
        }
    }
    if (box.empty()) return out;
    const Pt centre{(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2};
    const Pt d = grainDirection(piece->placement);
    // Through the middle of the piece's box, over 70% of its extent that way.
    const double half = 0.35 * (std::fabs(d.x) * (box.maxX - box.minX) + std::fabs(d.y) * (box.maxY - box.minY));
    out.push_back(line(layer::kGrain, Pt{centre.x - half * d.x, centre.y - half * d.y},
                       Pt{centre.x + half * d.x, centre.y + half * d.y}));
    const Pt words{centre.x + kTextHeight, centre.y};
    out.push_back(text(layer::kCut, words, "Piece Name: " + name));
    out.push_back(text(layer::kCut, Pt{words.x, words.y - kTextStep}, "Size: " + (size.empty() ? "base" : size)));
    out.push_back(text(layer::kCut, Pt{words.x, words.y - 2 * kTextStep}, "Quantity: 1"));
    return out;
}

// Plain: the piece's outline chains closed and its internal lines open, in
// pattern coordinates, moved right to start at `next` (then past its end).
void plainEntities(Piece* piece, double& next, std::vector<dxf::Entity>& out) {
    PieceHold hold(piece);
    const float* m = piece->placement;
    std::vector<std::pair<Polyline, bool>> shapes;
    Box box;
    for (short s = 0; s < piece->segCount; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        if (!seg || !(isOutlineSeg(*seg) || isInnerSeg(*seg))) continue;
        Polyline shape = segmentShape(piece, *seg);
        for (Pt& p : shape) {
            p = Pt{m[0] * p.x + m[3] * p.y + m[6], m[1] * p.x + m[4] * p.y + m[7]};
            box.add(p);
        }
        if (shape.size() >= 2) shapes.emplace_back(std::move(shape), isOutlineSeg(*seg));
    }
    if (box.empty()) return;
    const double shift = next - box.minX;
    for (auto& [shape, closed] : shapes) {
        for (Pt& p : shape) p.x += shift;
        out.push_back(polyline("0", std::move(shape), closed));
    }
    next = box.maxX + shift + kPlainGap;
}

char nameChar(char c) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    return ok ? c : '_';
}

}  // namespace

std::string dxfName(const std::string& text, const char* fallback) {
    std::string name;
    for (char c : text) {
        const char n = nameChar(c);
        if (n == '_' && !name.empty() && name.back() == '_') continue;
        name += n;
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    while (!name.empty() && name.front() == '_') name.erase(name.begin());
    return name.empty() ? fallback : name;
}

std::string uniqueName(const std::string& name, const std::vector<std::string>& taken) {
    for (int n = 1;; ++n) {
        std::string candidate = n == 1 ? name : name + "_" + std::to_string(n);
        if (std::find(taken.begin(), taken.end(), candidate) == taken.end()) return candidate;
    }
}

dxf::Drawing exportDrawing(const std::vector<DxfSize>& sizes, DxfForm form) {
    dxf::Drawing d;
    if (form == DxfForm::kPlain) {
        d.layers = {"0"};
        double next = 0.0;
        for (const DxfSize& size : sizes)
            for (int i = 0; i < size.doc->pieceCount(); ++i) plainEntities(size.doc->piece(i), next, d.entities);
        return d;
    }
    d.layers = {"0", layer::kCut, layer::kTurn, layer::kCurve, layer::kNotch, layer::kGrain, layer::kInternal,
                layer::kDrill, layer::kSew};
    if (form == DxfForm::kAstm) {
        d.layers.push_back(layer::kCutCheck);
        d.layers.push_back(layer::kLineCheck);
        d.layers.push_back(layer::kSewCheck);
    }
    // Piece by piece, its sizes together: a graded nest. A piece's blocks
    // share one name before the size's.
    std::vector<std::string> pieceNames, blockNames;
    const int pieces = sizes.empty() ? 0 : sizes.front().doc->pieceCount();
    for (int i = 0; i < pieces; ++i) {
        pieceNames.push_back(uniqueName(dxfName(sizes.front().doc->pieceName(i), "PIECE"), pieceNames));
        for (const DxfSize& size : sizes) {
            Piece* piece = size.doc->piece(i);
            const std::string name = size.doc->pieceName(i);
            dxf::Block b;
            b.name = pieceNames.back();
            if (!size.name.empty()) b.name = uniqueName(b.name + "-" + dxfName(size.name, "SIZE"), blockNames);
            blockNames.push_back(b.name);
            placeBlock(piece->placement, name, b);
            b.entities = pieceEntities(piece, name, size.name, form);
            d.blocks.push_back(std::move(b));
        }
    }
    return d;
}

int cmdExport(const std::string& patternPath, const std::string& outPath, DxfForm form, const SizeOptions& sizeOptions,
              std::ostream& out) {
    if (!dxf::available()) dxf::writeDrawing({}, outPath);  // says why, writes nothing
    const PatternModel model = readPatternFile(patternPath);
    std::vector<PatternDoc> docs;
    std::vector<DxfSize> sizes;
    std::vector<Size> given;
    if (sizeOptions.given()) {
        given = readSizes(sizeOptions, model.measurements);
        for (const Size& size : given) docs.push_back(gradedPattern(model, patternPath, size));
        for (size_t k = 0; k < given.size(); ++k) sizes.push_back(DxfSize{given[k].name, &docs[k]});
    } else {
        docs.push_back(buildPattern(model, patternPath));
        sizes.push_back(DxfSize{"", &docs.front()});
    }
    const dxf::Drawing drawing = exportDrawing(sizes, form);
    dxf::writeDrawing(drawing, outPath);
    static const char* const forms[] = {"AAMA", "ASTM", "plain"};
    out << "wrote " << outPath << " (" << forms[static_cast<int>(form)] << " R12, "
        << (form == DxfForm::kPlain ? std::to_string(drawing.entities.size()) + " polylines"
                                    : std::to_string(drawing.blocks.size()) + " blocks")
        << (sizeOptions.given() ? ", sizes " + sizeNames(given) : std::string()) << ")\n";
    return 0;
}

}  // namespace host
