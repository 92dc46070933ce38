// The piece-symmetry tool: the user clicks a line of the current piece's
// outline (a centre front or back); the line is straightened to its two ends,
// the rest of the outline segment is inserted again, mirrored about it,
// between the axis's ends, the inner lines are copied mirrored, and the
// piece's other records follow (symmetry_records.cpp). The rebuilt piece
// goes into a new copy of the host's pattern, which replaces the old one.
// In a pattern of kind 11 or 13 every piece flagged for the group is
// mirrored about its line of the same index.
//
// Units: piece coordinates in millimetres, formula texts in centimetres,
// angles in radians (a notch keeps its angle in thousandths in lineOut).
// State: the matrices of the last preparation, in statics below (the handler
// is not re-entrant). Memory: newPattern becomes the host's pattern; the work
// and scratch buffers are freed before each piece's run ends.
#include "pieces/symmetry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "frame/exports.h"
#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/piece_edit.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "frame/work_buffer.h"

namespace symmetry {

namespace {

constexpr short kGroupKindA = 11, kGroupKindB = 13;
constexpr long kPatternSpareBytes = 20000;
constexpr long kPatternPieceRoom = 50;  // copies of the current piece newPattern has room for
constexpr long kPerPointRoom = 400;     // point, coord, line, formula and two texts, bytes
constexpr long kComposedExtra = 24;     // "2*", "+", "-", brackets and a constant, bytes
constexpr short kCopyMirrored = 48, kCopyInsert = 16, kCopyAppend = 1;
// An original point the run leaves closer than this to where it was (mm, per
// axis) has not moved: float noise of a notch seated where it lies.
constexpr double kMovedMm = 1e-3;

struct Prepared {
    float identity[9];
    float view[9];
    float pieceToScreen[9];
    float screenToPiece[9];
} prep;

Figures figures;

char typeLetterOf(char type) { return static_cast<char>(type & 0x5F); }
bool isCurve(char type) { return typeLetterOf(type) == 'C' || typeLetterOf(type) == 'M'; }
bool isOutline(const Seg* g) { return g != nullptr && (g->code == 1 || g->code == 3); }

using frame::pointAt;
using frame::lineAt;
using frame::segAt;
Piece* pieceOf(PatternBuffer* pattern, int n) {
    Piece* p = nullptr;
    qpGetPieceLptr(pattern, static_cast<short>(n), &p);
    return p;
}

// Puts the work piece in place of piece n, moving newPattern to a larger
// block when the result does not fit. false: no block could be had.
bool replacePiece(PatternBuffer*& newPattern, short n, const Piece* piece) {
    if (ReplacePatternPiece(newPattern, n, piece) == 1) return true;
    long need = newPattern->totalSize + piece->byteSize + kPatternSpareBytes;
    auto* grown = static_cast<PatternBuffer*>(AllocLockedBlock(need));
    if (grown == nullptr) return false;
    qpMemcpy(grown, newPattern, newPattern->totalSize);
    FreeGlobalBlock(newPattern);
    newPattern = grown;
    return ReplacePatternPiece(newPattern, n, piece) == 1;
}

// Joins the line ending at point p with the line starting there, p becoming
// a curve point of `type`, as the store's emptied-line deletion allows: the
// first line is emptied and deleted and hands its points to the second.
// Nothing happens unless p is a turning point between two lines L, L + 1.
void joinAt(PatternBuffer* buffer, Piece* piece, int p, char type) {
    Point* pt = pointAt(piece, p);
    if (pt == nullptr || isCurve(pt->type)) return;
    const int L = pt->lineIn;
    if (L < 0 || pt->lineOut != L + 1 || L + 1 >= piece->lineCount) return;
    Line* line = lineAt(piece, L);
    const int first = line->firstPoint;
    if (pointAt(piece, first) == nullptr) return;
    // The joined line is a curve: a curve line's kind (2) outlives a tie's (1).
    const int16_t curveKind = std::max(line->kind, lineAt(piece, L + 1)->kind);
    pt->type = type;
    pt->lineIn = pt->lineOut = static_cast<int16_t>(L + 1);
    pointAt(piece, first)->lineOut = static_cast<int16_t>(L + 1);
    line = lineAt(piece, L);
    line->pointCount = 0;
    ++line->joinCount;
    --line->joinPoint;
    const char letter = typeLetterOf(type);
    line->joinKind = static_cast<int16_t>(line->joinCount < 3 ? 0 : (letter == 'M' ? 1 : 2));
    qpDeleteLine(buffer, piece, static_cast<short>(L));
    lineAt(piece, L)->kind = curveKind;
}

// The mirror of a notch's direction about an axis of direction theta.
int16_t mirroredAngle(int16_t thousandths, double theta) {
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kTwoPi = 2.0 * kPi;
    double a = thousandths / 1000.0;
    if (a > kTwoPi) a -= kTwoPi;
    else if (a < -kTwoPi) a += kTwoPi;
    double b = 2.0 * theta - a;
    while (b > kPi) b -= kTwoPi;
    while (b <= -kPi) b += kTwoPi;
    return static_cast<int16_t>(b * 1000.0);
}

// Twice the axis's x position as formula text: "2*(F)" spread and packed.
std::string axisFormula(Piece* piece, int s0) {
    const std::string x = frame::formulaText(piece, s0);
    if (x.empty()) return "";
    if (x.size() + 4 >= static_cast<size_t>(kTextBuffer)) return "";
    char text[kTextBuffer] = {};
    std::strcpy(text, ("2*(" + x + ")").c_str());
    if (qpSpreadBracketsExpression(text) == 0) return "";
    qpPackExpression(text);  // a refusal leaves a text that still reads right
    return text;
}

// The matrix that mirrors piece coordinates about the line through (x0, y0)
// and (x1, y1); qpAngle is called with the components swapped, which gives
// pi/2 - theta.
void reflectMatrix(double x0, double y0, double x1, double y1, float m[9]) {
    const double a = qpAngle(y1 - y0, x1 - x0);
    const double c2 = std::cos(a) * std::cos(a);
    const double s = std::sin(2.0 * a);
    const double k = 1.0 - 2.0 * c2;
    const float rows[9] = {static_cast<float>(k), static_cast<float>(s), 0,
                           static_cast<float>(s), static_cast<float>(-k), 0,
                           static_cast<float>(2.0 * x0 * c2 - y0 * s),
                           static_cast<float>(-x0 * s + 2.0 * y0 * (1.0 - c2)), 1};
    std::memcpy(m, rows, sizeof rows);
}

// Bytes of point i's formula text on one axis (0: x), zero included; 0
// when it has none.
long textLength(Piece* piece, int i, int axis) {
    if (piece->formulaCount == 0) return 0;
    Point* p = pointAt(piece, i);
    Formula* f = nullptr;
    if (p != nullptr) qpGetFormulaLptr(piece, p->formulaIndex, &f);
    if (f == nullptr) return 0;
    return axis == 0 ? f->xTextLength : f->yTextLength;
}

// What one piece's rebuild needs, all read on the untouched piece.
struct Plan {
    short la = -1;
    short s0 = 0, c = 0, sEnd = 0, d = 0;
    short a = 0, e = 0;      // segment ends after straightening
    short b = 0;
    bool run1 = false, run2 = false;
    short m = 0;
    short innerFirst = 0;    // host index of the first point after the segment
    short hostCount = 0;
    bool tooLarge = false;
    Texts texts = Texts::None;
    // With Texts::Graded: the texts of the copy of every point k of the
    // untouched piece that is copied (PieceRun::graded).
    std::vector<frame::GradedTexts> graded;
};

// The outputs of symmetry's graded plan on `piece`: the axis's ends, points
// s0 and sEnd, then the mirror of every point of the piece about the line
// through them. False when the ends meet.
bool mirrorGeometry(Piece* piece, short s0, short sEnd, std::vector<frame::PlanPoint>& out) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!frame::positionOf(piece, s0, x0, y0) || !frame::positionOf(piece, sEnd, x1, y1)) return false;
    const double ux = x1 - x0, uy = y1 - y0, length2 = ux * ux + uy * uy;
    if (length2 < kMovedMm * kMovedMm) return false;
    out.clear();
    out.push_back({x0, y0});
    out.push_back({x1, y1});
    for (short k = 0; k < piece->pointCount; ++k) {
        double x = x0, y = y0;
        frame::positionOf(piece, k, x, y);
        const double t = ((x - x0) * ux + (y - y0) * uy) / length2;
        out.push_back({2.0 * (x0 + t * ux) - x, 2.0 * (y0 + t * uy) - y});
    }
    return true;
}

// Every point of the untouched piece that the run copies, by index.
template <class Visit>
void forEachCopied(const Plan& plan, Visit visit) {
    if (plan.run1)
        for (int i = plan.s0 - 1; i >= plan.b; --i) visit(i);
    if (plan.run2)
        for (int i = plan.e - 1; i >= plan.s0 + 2; --i) visit(i + plan.d);
    for (int i = plan.innerFirst; i < plan.hostCount; ++i) visit(i);
}

// How the copies of the untouched piece `host` get their texts (Texts):
// composed when the axis is upright at the base and its ends' x texts grade
// alike, so that it stays upright at every size; graded otherwise, every
// copy's texts composed here, before the edit, so that the room check
// counts them.
void planTexts(Piece* host, Plan& plan) {
    if (host->formulaCount == 0 || host->charCount == 0) return;
    const short s0 = plan.s0, sEnd = plan.sEnd;
    const frame::GradedPlan graded(
        {host}, [s0, sEnd](const std::vector<Piece*>& at, std::vector<frame::PlanPoint>& out) {
            return mirrorGeometry(at[0], s0, sEnd, out);
        });
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    frame::positionOf(host, s0, x0, y0);
    frame::positionOf(host, sEnd, x1, y1);
    bool upright = std::fabs(x1 - x0) <= kFormulaToleranceMm;
    // Grades in mm per cm; kSameGradePerCm is in cm per cm.
    for (size_t k = 0; upright && graded.graded() && k < graded.measurementNames().size(); ++k)
        upright = std::fabs(graded.gradeX(0, k) - graded.gradeX(1, k)) <= 10.0 * frame::kSameGradePerCm;
    plan.texts = upright ? Texts::Composed : Texts::Graded;
    if (upright) return;
    plan.graded.resize(static_cast<size_t>(host->pointCount));
    forEachCopied(plan, [&](int k) {
        plan.graded[static_cast<size_t>(k)] =
            graded.compose(host, static_cast<short>(k), kFirstMirrorOutput + static_cast<size_t>(k));
    });
}

// Text bytes the copy of point k of `host` adds at most: its two texts as
// copied, then its x text composed, or both graded.
long copyTextBytes(Piece* host, int k, const Plan& plan) {
    const long copied = textLength(host, k, 0) + textLength(host, k, 1);
    if (plan.texts == Texts::Composed) return copied + textLength(host, plan.s0, 0) + kComposedExtra;
    return copied + plan.graded[static_cast<size_t>(k)].bytes();
}

// Checks piece n for line La; false leaves the piece as it is.
bool planPiece(Piece* host, short la, Plan& plan) {
    plan.la = la;
    if (la < 0 || la >= host->lineCount) return false;
    Line* line = lineAt(host, la);
    if (line == nullptr || line->pointCount < 2 || line->firstPoint < 0) return false;
    plan.s0 = line->firstPoint;
    plan.c = line->pointCount;
    plan.sEnd = static_cast<short>(plan.s0 + plan.c - 1);
    Point* p = pointAt(host, plan.s0);
    if (p == nullptr || p->segIndex < 0 || p->segIndex >= host->segCount) return false;
    Seg* g = segAt(host, p->segIndex);
    // The axis must be a line of an outline segment; lines elsewhere (inner
    // lines, marks) have no mirrored half to make.
    if (!isOutline(g) || g->markFlag != 0 || g->lineCount < 1) return false;
    if (la < g->firstLine || la >= g->firstLine + g->lineCount) return false;
    Line* firstLine = lineAt(host, g->firstLine);
    Line* lastLine = lineAt(host, g->firstLine + g->lineCount - 1);
    if (firstLine == nullptr || lastLine == nullptr) return false;
    const short aHost = firstLine->firstPoint;
    const short eHost = static_cast<short>(lastLine->firstPoint + lastLine->pointCount - 1);
    if (aHost < 0 || eHost >= host->pointCount || plan.s0 < aHost || plan.sEnd > eHost) return false;
    plan.d = static_cast<short>(plan.c >= 3 ? plan.c - 2 : 0);
    plan.a = aHost;
    plan.e = static_cast<short>(eHost - plan.d);
    const short s1 = static_cast<short>(plan.s0 + 1);
    plan.b = static_cast<short>(s1 < plan.e ? plan.a : plan.a + 1);
    // Empty ranges copy nothing (read literally they would copy strays).
    plan.run1 = plan.s0 > plan.a && plan.s0 - 1 >= plan.b;
    plan.run2 = s1 < plan.e && plan.e - 1 >= s1 + 1;
    plan.m = static_cast<short>((plan.run1 ? plan.s0 - plan.b : 0) + (plan.run2 ? plan.e - 1 - s1 : 0));
    if (plan.m == 0) return false;  // nothing beside the axis to mirror
    plan.hostCount = host->pointCount;
    plan.innerFirst = static_cast<short>(eHost + 1);
    const long inner = host->pointCount - plan.innerFirst;
    planTexts(host, plan);
    // Room in 16-bit counts: points, and formula text. Each copy brings its
    // own texts, which are then composed or graded.
    long chars = host->charCount;
    if (host->formulaCount > 0) forEachCopied(plan, [&](int k) { chars += copyTextBytes(host, k, plan); });
    // The other kinds: at most a line, a coordinate, a formula and a mark
    // per copy, a segment per copied chain, a twin of every grading step,
    // seam allowance and corner. A copy's x text is composed (counted
    // above) or, where none is composed, both its texts are fitted again by
    // qpAdjustFormula, which may take more.
    const long copies = plan.m + inner;
    frame::PieceGrowth growth;
    growth.addPoints(copies, false);
    growth.lines = copies + 2;
    growth.segs = host->segCount + 2;
    growth.sPoints = std::min<long>(copies, host->sPointCount);
    growth.pRules = host->pRuleCount;
    growth.extwids = host->extwidCount;
    growth.cutangls = host->cutanglCount;
    if (host->formulaCount > 0) {
        const long perCopy = textLength(host, plan.s0, 0) + kComposedExtra;
        growth.formulas = copies;
        growth.textBytes = chars - host->charCount +
                           copies * std::max(0L, 2 * frame::kMaxRewriteGrowthBytes - perCopy) +
                           frame::kMaxFormulaTextBytes;
    }
    plan.tooLarge = !frame::pieceTakes(host, growth);
    return true;
}

// The formula text of one axis of point i ("" when none).
std::string textOf(Piece* piece, int i, int axis) {
    Point* p = pointAt(piece, i);
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, p->formulaIndex, &f);
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    if (f == nullptr || area == nullptr) return "";
    const int offset = axis == 0 ? f->xTextOffset : f->yTextOffset;
    const int length = axis == 0 ? f->xTextLength : f->yTextLength;
    if (offset < 0 || length < 1 || offset + length > n) return "";
    return std::string(area + offset, static_cast<size_t>(length - 1));
}

// Keeps the formulas of the points the run made or moved on their points: a
// copy with a text off its point (a notch seated again, a text no route
// could write) and an original the run moved (a notch seated again) whose
// text is now off are fitted by qpAdjustFormula. Every other formula stays
// as the user wrote it, on its point or not.
void fitFormulas(PatternBuffer* work, PieceRun& run) {
    Piece* piece = run.piece();
    if (piece->formulaCount == 0) return;
    Piece* host = const_cast<Piece*>(run.hostPiece);
    for (int i = 0; i < piece->pointCount; ++i) {
        const bool copy = run.origin[i] >= kMirrored;
        if (!copy) {
            const Coord* now = frame::coordOfPoint(piece, i);
            const Coord* was = frame::coordOfPoint(host, run.origin[i]);
            if (now == nullptr || was == nullptr ||
                (std::fabs(now->x - was->x) <= kMovedMm && std::fabs(now->y - was->y) <= kMovedMm))
                continue;
        }
        bool off = false;
        for (int axis = 0; axis < 2 && !off; ++axis) {
            const std::string t = textOf(piece, i, axis);
            const double value = qpFormulaCalculation(piece, t.c_str()) * 10.0;
            piece = run.piece();
            const Coord* c = frame::coordOfPoint(piece, i);
            off = t.empty() || std::fabs(value - (axis == 0 ? c->x : c->y)) > kFormulaToleranceMm;
        }
        if (!off) continue;
        qpAdjustFormula(work, piece, static_cast<short>(i), static_cast<short>(i));
        piece = run.piece();
        ++run.figures->fallback;
    }
}

// Room in the work buffer: the doubled piece, the records the mirroring
// adds, and its texts.
long workSpare(const Piece* hostPiece, const Plan& plan) {
    const long pointsAdded = plan.m + (plan.hostCount - plan.innerFirst);
    return hostPiece->byteSize + pointsAdded * kPerPointRoom +
           (hostPiece->pRuleCount + hostPiece->extwidCount + hostPiece->cutanglCount) * 24L + kPatternSpareBytes;
}

// The axis becomes the straight line between its ends: its inner points go,
// the last one first. Later points move down by plan.d; the run keeps the
// axis and the segment in earlier indices.
void straightenAxis(PieceRun& run, const Plan& plan) {
    Piece* piece = run.piece();
    for (int i = plan.s0 + plan.c - 2; i >= plan.s0 + 1; --i) qpDeletePoint(run.work, piece, static_cast<short>(i));
    run.s0 = plan.s0;
    run.sEnd = plan.sEnd;
    run.a = plan.a;
    run.e = static_cast<short>(plan.e + plan.d);
}

// The mirror about the straightened axis: its matrix and direction, and
// where the copies' texts are composed, twice its x position as formula
// text. Group mode mirrors the texts too: a copy that kept its original's
// size terms would grade the wrong way, the whole piece getting no wider
// as the half does.
void takeMirror(PieceRun& run) {
    Piece* piece = run.piece();
    const Coord c0 = *frame::coordOfPoint(piece, run.s0), c1 = *frame::coordOfPoint(piece, run.s0 + 1);
    if (run.texts == Texts::Composed) run.f2 = axisFormula(piece, run.s0);
    reflectMatrix(c0.x, c0.y, c1.x, c1.y, run.reflect);
    run.theta = std::atan2(c1.y - c0.y, c1.x - c0.x);
}

// The notches of the untouched piece that lie on its axis line (its nearest
// point within the part match of them on both axes): their own mirrors.
// The nearest-point search reads the whole piece, so only the notches in
// reach of the axis are searched: within its points' box widened by its
// longest chord (a curve strays from its chords by less than that).
std::vector<int> notchesOnAxis(Piece* piece, const Plan& plan) {
    std::vector<int> found;
    float identity[9];
    frame::identity(identity);
    double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30, chord = 0, px = 0, py = 0;
    for (int i = plan.s0; i <= plan.sEnd; ++i) {
        double x = 0, y = 0;
        if (!frame::positionOf(piece, static_cast<short>(i), x, y)) continue;
        if (i > plan.s0) chord = std::max(chord, std::hypot(x - px, y - py));
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        px = x, py = y;
    }
    const double reach = chord + frame::kPartMatchMm;
    for (int k = 0; k < piece->sPointCount; ++k) {
        const SPoint* sp = frame::sPointAt(piece, k);
        const Point* p = sp != nullptr ? pointAt(piece, sp->pointIndex) : nullptr;
        float x = 0, y = 0;
        if (p == nullptr || typeLetterOf(p->type) != 'V' || !frame::positionOf(piece, sp->pointIndex, x, y))
            continue;
        if (x < x0 - reach || x > x1 + reach || y < y0 - reach || y > y1 + reach) continue;
        short index = -1;
        float length = 0, nx = x, ny = y;
        qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, plan.s0, plan.c, qpcurve::kColourDefault,
                qpcurve::kDefaultResolution, &index, &length, &nx, &ny, identity);
        if (std::fabs(nx - x) < frame::kPartMatchMm && std::fabs(ny - y) < frame::kPartMatchMm)
            found.push_back(sp->pointIndex);
    }
    return found;
}

// The point types where the mirrored half meets the rest of the outline.
struct Joins {
    char before;  // at the axis's first point
    char after;   // where the two mirrored parts meet
    char fold;    // where the last mirrored point meets the axis's end point
};

Joins joinTypes(Piece* piece, const Plan& plan) {
    const short s0 = plan.s0, s1 = static_cast<short>(plan.s0 + 1), a = plan.a, e = plan.e;
    Joins joins{};
    // The fold's curve is the mirror of the one that leaves the axis's end
    // there: through s1 + 1, or, when the axis ends the segment, through the
    // point after the segment's first (which lies on the axis's end).
    joins.fold = 'K';
    if (s1 < e) joins.fold = pointAt(piece, s1 + 1)->type;
    else if (plan.run1) joins.fold = pointAt(piece, a + 1)->type;
    // The axis starts the segment when s0 is its first point a, which is
    // point 0 only when the outline is the piece's first segment. Where
    // other points come first (a segment of code 3 after one of code 1, inner
    // lines or marks stored before the outline), the point before s0 belongs
    // to another segment and says nothing of the outline's curves; what
    // lies before the axis is the segment's end, as for s0 = 0.
    if (s0 == a) {
        // The outline is closed on its first point: what lies before the
        // axis is the segment's end.
        joins.before = pointAt(piece, e - 1)->type;
        joins.after = joins.fold;
    } else {
        joins.before = pointAt(piece, s0 - 1)->type;
        if (typeLetterOf(joins.before) == 'S') joins.before = static_cast<char>((joins.before & 0x20) | 'K');
        joins.after = pointAt(piece, e - 1)->type;
    }
    return joins;
}

// The two parts of the segment beside the axis go into the scratch piece in
// mirrored order (the part before the axis from its last point back, then
// the part after it from the segment's end back) and are joined where the
// segment's ends meet. origin[] then describes the outline as it will be
// once they are inserted after the axis's first point.
void copyMirroredParts(PieceRun& run, const Plan& plan, const Joins& joins, PatternBuffer* scratch) {
    const short s0 = plan.s0, s1 = static_cast<short>(plan.s0 + 1), a = plan.a, e = plan.e, d = plan.d;
    Piece* piece = run.piece();
    Piece* scratchPiece = pieceOf(scratch, 0);
    std::vector<int>& origin = run.origin;
    for (int i = 0; i <= s0; ++i) origin.push_back(i);
    if (plan.run1) {
        qpCopyGroupPoint(run.work, piece, static_cast<short>(s0 - 1), plan.b, scratch, scratchPiece, -1,
                         kCopyMirrored);
        scratchPiece = pieceOf(scratch, 0);
        piece = run.piece();
        for (int i = s0 - 1; i >= plan.b; --i) origin.push_back(i + kMirrored);
    }
    const int j = scratchPiece->pointCount;
    if (plan.run2) {
        qpCopyGroupPoint(run.work, piece, static_cast<short>(e - 1), static_cast<short>(s1 + 1), scratch,
                         scratchPiece, static_cast<short>(j - 1), kCopyMirrored);
        scratchPiece = pieceOf(scratch, 0);
        piece = run.piece();
        for (int i = e - 1; i >= s1 + 1; --i) origin.push_back(i + d + kMirrored);
    }
    if (s0 != a && plan.run1 && plan.run2 && isCurve(joins.after)) joinAt(scratch, scratchPiece, j, joins.after);
    for (int i = s1; i < piece->pointCount; ++i) origin.push_back(i + d);
}

// The mirrored parts go in after the axis's first point (work points
// s0 + 1 .. s0 + m) and are joined to it and, at the fold, to the axis's
// end point where those points are curve points.
void insertMirroredParts(PieceRun& run, const Joins& joins, PatternBuffer* scratch) {
    Piece* scratchPiece = pieceOf(scratch, 0);
    run.m = static_cast<short>(scratchPiece->pointCount);
    qpCopyGroupPoint(scratch, scratchPiece, 0, static_cast<short>(run.m - 1), run.work, run.piece(), run.s0,
                     kCopyInsert);
    if (isCurve(joins.before)) joinAt(run.work, run.piece(), run.s0 + 1, joins.before);
    if (isCurve(joins.fold)) joinAt(run.work, run.piece(), run.s0 + run.m, joins.fold);
}

// The host piece's inner lines (the points after its outline segment) are
// appended as copies, to be mirrored with the half.
void copyInnerLines(PieceRun& run, const Plan& plan, PatternBuffer* host, Piece* hostPiece) {
    run.q = run.piece()->pointCount;
    if (plan.innerFirst >= plan.hostCount) return;
    qpCopyGroupPoint(host, hostPiece, plan.innerFirst, static_cast<short>(plan.hostCount - 1), run.work,
                     run.piece(), static_cast<short>(run.q - 1), kCopyAppend);
    for (int i = plan.innerFirst; i < plan.hostCount; ++i) run.origin.push_back(i + kMirrored);
}

// Every copy takes its place across the axis; a notch its direction too.
void mirrorCopies(PieceRun& run) {
    Piece* piece = run.piece();
    for (int i = 0; i < piece->pointCount; ++i) {
        if (!run.mirrored(i)) continue;
        Coord* c = frame::coordOfPoint(piece, i);
        Coord image = *c;
        qpTransCoord(&image, run.reflect, c);
        c->x = image.x;
        c->y = image.y;
        Point* p = pointAt(piece, i);
        if (typeLetterOf(p->type) == 'V') p->lineOut = mirroredAngle(p->lineOut, run.theta);
    }
}

// The work piece, a half mirrored about its axis, becomes the whole piece
// with its records and formulas. false: no scratch block could be had, or
// the copies did not arrive as asked.
bool makeWhole(PieceRun& run, const Plan& plan, PatternBuffer* host, Piece* hostPiece) {
    run.axisNotches = notchesOnAxis(run.piece(), plan);
    straightenAxis(run, plan);
    takeMirror(run);
    auto* scratch = MakeScratchBuffer(run.piece(), plan.m * kPerPointRoom + kPatternSpareBytes);
    if (scratch == nullptr) return false;
    const Joins joins = joinTypes(run.piece(), plan);
    copyMirroredParts(run, plan, joins, scratch);
    insertMirroredParts(run, joins, scratch);
    FreeGlobalBlock(scratch);
    copyInnerLines(run, plan, host, hostPiece);
    if (static_cast<int>(run.origin.size()) != run.piece()->pointCount) return false;
    mirrorCopies(run);
    mirrorRecords(run);
    fitFormulas(run.work, run);
    return true;
}

// Piece n of the host's pattern, made whole about its line la, in the place
// of piece n of newPattern. false: the piece is left as it was (newPattern
// is not touched).
bool rebuildPiece(HWND hwnd, HostDoc* doc, PatternBuffer*& newPattern, short n, short la, bool group) {
    PatternBuffer* host = doc->pattern;
    Piece* hostPiece = pieceOf(host, n);
    if (hostPiece == nullptr) return false;
    Plan plan;
    if (!planPiece(hostPiece, la, plan)) return false;
    if (plan.tooLarge) {
        frame::showError(hwnd, kSymmetryTooLarge);
        return false;
    }
    PatternBuffer* work = MakeWorkBuffer(hostPiece, workSpare(hostPiece, plan));
    if (work == nullptr) return false;
    PieceRun run;
    run.work = work;
    run.hostPiece = hostPiece;
    run.newPattern = newPattern;
    run.n = n;
    run.group = group;
    run.fRuleLock = doc->fRuleLock;
    run.texts = plan.texts;
    run.graded = &plan.graded;
    run.figures = &figures;
    const bool placed = makeWhole(run, plan, host, hostPiece) && replacePiece(newPattern, n, run.piece());
    if (placed && n == doc->currentPiece) figures.origin = run.origin;
    FreeGlobalBlock(work);
    return placed;
}

void prepare(HostView* view, HostDoc* doc) {
    frame::identity(prep.identity);
    qpMultiMatrix(0, doc->viewMatrixA, doc->viewMatrixB, prep.view);
    Piece* piece = pieceOf(doc->pattern, doc->currentPiece);
    if (piece != nullptr) qpMultiMatrix(0, piece->placement, prep.view, prep.pieceToScreen);
    else std::memcpy(prep.pieceToScreen, prep.view, sizeof prep.view);
    qpContraMatrix(prep.pieceToScreen, prep.screenToPiece);
    view->symmetryStep = 2;
}

short pickAndRebuild(HWND hwnd, HostView* view, HostDoc* doc) {
    // The piece is fetched at each click: the host may have moved its pattern
    // since the preparation.
    Piece* piece = pieceOf(doc->pattern, doc->currentPiece);
    if (piece == nullptr) return 1;
    float px = 0, py = 0;
    frame::cursorToPiece(hwnd, prep.screenToPiece, px, py);
    const short part = frame::pickPart(piece, px, py, qpcurve::kSnapOutline, prep.identity);
    if (part < 0) return 1;  // too far, or no stretch holds the snapped point: nothing changes
    const short la = pointAt(piece, part)->lineOut;
    if (la < 0) return 1;

    figures = Figures{};
    PatternBuffer* host = doc->pattern;
    const Piece* current = pieceOf(host, doc->currentPiece);
    auto* newPattern = static_cast<PatternBuffer*>(
        AllocLockedBlock(host->totalSize + kPatternPieceRoom * current->byteSize + kPatternSpareBytes));
    if (newPattern == nullptr) return 1;
    qpMemcpy(newPattern, host, host->totalSize);
    const bool group = host->kind == kGroupKindA || host->kind == kGroupKindB;
    for (short n = 0; n < host->pieceCount; ++n) {
        Piece* p = pieceOf(host, n);
        if (n != doc->currentPiece && !(group && (p->groupFlag & 0xFF) != 0)) continue;
        if (rebuildPiece(hwnd, doc, newPattern, n, la, group)) ++figures.piecesMirrored;
        else ++figures.piecesLeftAlone;
    }
    if (figures.piecesMirrored == 0) {
        // Nothing was rebuilt: the host keeps its pattern and the user may
        // click again.
        FreeGlobalBlock(newPattern);
        return 1;
    }

    FreeGlobalBlock(doc->pattern);
    doc->pattern = doc->patternView = newPattern;
    if (doc->patternCopy != nullptr) FreeGlobalBlock(doc->patternCopy);
    doc->patternCopy = static_cast<PatternBuffer*>(AllocLockedBlock(newPattern->totalSize));
    if (doc->patternCopy != nullptr) qpMemcpy(doc->patternCopy, newPattern, newPattern->totalSize);
    view->symmetryStep = 0;
    doc->notice = frame::kNoticePatternReplaced;
    frame::invalidateAll(hwnd);
    return 1;
}

}  // namespace

const Figures& lastRunFigures() { return figures; }

}  // namespace symmetry

QP_EXPORT short QP_WINAPI qpHandlePieceSymmatry(HWND hwnd, UINT message, WPARAM, LPARAM, HostView* view,
                                                HostDoc* doc) {
    if (view == nullptr || doc == nullptr) return 0;
    if (message == WM_MOUSEMOVE) {
        if (view->symmetryStep == 1 && doc->pattern != nullptr) symmetry::prepare(view, doc);
        return 1;
    }
    if (message == WM_LBUTTONDOWN) {
        if (view->symmetryStep < 2 || doc->pattern == nullptr) return 0;
        return symmetry::pickAndRebuild(hwnd, view, doc);
    }
    return 0;
}
