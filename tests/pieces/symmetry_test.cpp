// The piece-symmetry tool as the host drives it: a mouse move prepares, a
// click on the axis rebuilds; the pattern is replaced. Oracles: every
// mirrored point is the mirror of its origin, a straight axis doubles the
// area and the outline, formulas keep their values, grading and seam
// allowance twins mirror their originals, and the checker passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/exports.h"
#include "frame/siblings.h"
#include "frame/handler_frame.h"
#include "frame/texts.h"
#include "pieces/symmetry.h"
#include "pieces/symmetry_notches.h"
#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

constexpr float kMm = 0.01f;           // coordinates computed through floats
constexpr float kCurveMm = 0.5f;       // lengths sampled along curves
constexpr double kFormulaMm = 0.1;     // formulas against their points
constexpr double kPi = 3.14159265358979323846;

// A fixed sequence for the random rounds, so that a failing round repeats:
// next(n) lies in 0 .. n - 1.
class Lcg {
public:
    explicit Lcg(unsigned seed) : seed_(seed) {}
    int operator()(int n) {
        seed_ = seed_ * 1103515245u + 12345u;
        return static_cast<int>((seed_ >> 16) % static_cast<unsigned>(n));
    }

private:
    unsigned seed_;
};

struct RingPoint {
    char type;
    float x, y;
};
// A half back, centre back at x = 120 (left), outline counter-clockwise:
// neck, centre back (its middle point on the axis), a curved hem, the side,
// a curved armhole, the shoulder.
const std::vector<RingPoint> kHalfBack = {
    {'K', 120, 480},  // 0 centre-back neck (axis start)
    {'C', 120, 240},  // 1 on the centre back
    {'K', 120, 0},    // 2 centre-back hem (axis end)
    {'C', 210, -10},  // 3 hem curve
    {'K', 300, 0},    // 4 side hem
    {'K', 310, 300},  // 5 underarm
    {'C', 280, 340},  // 6 armhole
    {'C', 250, 400},  // 7
    {'K', 260, 460},  // 8 shoulder
    {'K', 175, 500},  // 9 side neck
    {'C', 150, 485},  // 10 neck curve
};
constexpr int kRingAxisStart = 0, kRingUnderarm = 5, kRingShoulder = 8, kRingSideNeck = 9;

std::string number(const char* format, double v) {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// x follows H (40 cm): H/4 + 2 is the centre back; y follows BL (30 cm).
ShapePoint Formulated(char type, float x, float y, bool formulas) {
    if (!formulas) return P(type, x, y);
    ShapePoint p = P(type, x, y);
    p.xFormula = "H/4" + number("%+g", (x - 120) / 10.0 + 2);
    p.yFormula = "0.5*BL" + number("%+g", y / 10.0 - 15);
    return p;
}

// The half back as a chain starting at ring point `start`, its records on
// the points named by ring index; `ring[i]` is the chain index of ring point i.
struct HalfBack {
    PieceShape shape;
    std::vector<int> ring;
    int axisLine = -1;
};
HalfBack MakeHalfBack(int start, bool formulas = true, int extraAxisPoints = 0) {
    HalfBack h;
    std::vector<RingPoint> points;
    for (size_t k = 0; k < kHalfBack.size(); ++k) {
        const RingPoint& r = kHalfBack[(start + k) % kHalfBack.size()];
        points.push_back(r);
        if ((start + k) % kHalfBack.size() == kRingAxisStart)
            for (int x = 0; x < extraAxisPoints; ++x) points.push_back({'C', 120, 400.0f - 60 * x});
    }
    h.ring.assign(kHalfBack.size(), -1);
    ShapeChain chain;
    chain.close = true;
    for (size_t i = 0; i < points.size(); ++i) {
        char type = i == 0 ? 'S' : points[i].type;
        chain.points.push_back(Formulated(type, points[i].x, points[i].y, formulas));
        for (size_t k = 0; k < kHalfBack.size(); ++k)
            if (kHalfBack[k].x == points[i].x && kHalfBack[k].y == points[i].y) h.ring[k] = static_cast<int>(i);
    }
    h.shape.chains.push_back(chain);
    // A dart as an inner line, and a notch on the armhole.
    h.shape.chains.push_back(Chain({Formulated('s', 200, 100, formulas), Formulated('k', 200, 300, formulas)}));
    ShapeMark notch = Mark('v', 280, 340, 0, 1571, 16, 0);
    h.shape.marks.push_back(notch);
    // Lines run between turning points: count them up to the axis start.
    int line = 0;
    for (int i = 1; i <= h.ring[kRingAxisStart]; ++i)
        if (chain.points[static_cast<size_t>(i)].type != 'C') ++line;
    h.axisLine = line;
    const int16_t under = static_cast<int16_t>(h.ring[kRingUnderarm]);
    const int16_t shoulder = static_cast<int16_t>(h.ring[kRingShoulder]);
    const int16_t byUnderarm = static_cast<int16_t>(100 * under + 6);  // kind 6, reference: the underarm
    h.shape.rules.push_back(ShapeRule{0, 0, {PRule{5, under, 2, 1}, PRule{byUnderarm, shoulder, 3, -1}}});
    h.shape.rules.push_back(ShapeRule{0, 0, {PRule{7, shoulder, -1, 4}}});
    // A stretch that ends on the chain's first point ends on the closing one.
    auto upTo = [&](int k) { return static_cast<int16_t>(h.ring[k] == 0 ? points.size() : h.ring[k]); };
    h.shape.extwids = {Extwid{0, 0, 10, 10}, Extwid{under, upTo(7), 10, 12},
                       Extwid{static_cast<int16_t>(h.ring[kRingAxisStart]), upTo(2), 8, 8},
                       Extwid{static_cast<int16_t>(h.ring[kRingSideNeck]), upTo(kRingAxisStart), 6, 9}};
    h.shape.cutangls = {Cutangl{1, shoulder, 3, 5}};
    h.shape.fRules = {FRule{7, 9}};
    return h;
}

// The host's view: 1 pixel per millimetre, piece (x, y) at client
// (x + 400, 718 - y); viewMatrixA carries the flip, viewMatrixB is the unit.
const float kViewA[9] = {1, 0, 0, 0, -1, 0, 400, 718, 1};
const float kUnit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

class Symmetry : public ::testing::Test {
protected:
    void SetUp() override {
        deskReset();
        deskSetClientRect(1024, 768);
        storeSetParameter("H", 40.0f);
        storeSetParameter("BL", 30.0f);
    }
    void TearDown() override {
        if (doc.patternCopy != nullptr) storeFreePattern(doc.patternCopy);
        if (doc.pattern != nullptr) storeFreePattern(doc.pattern);
        if (half != nullptr) storeFreePattern(half);
        doc = HostDoc{};
        half = nullptr;
    }

    // The pattern goes to the host's record; `half` keeps a copy to compare.
    void start(const std::vector<PieceShape>& shapes, short kind = kWorkBufferKind, short current = 0) {
        PatternBuffer* pattern = storeNewPattern(4096, kind);
        for (const PieceShape& s : shapes) ASSERT_NE(storeAppendPiece(&pattern, s), nullptr);
        half = storeNewPattern(pattern->totalSize + 16, kind);
        std::memcpy(half, pattern, static_cast<size_t>(pattern->totalSize));
        doc = HostDoc{};
        doc.pattern = doc.patternView = pattern;
        doc.patternCopy = storeNewPattern(pattern->totalSize + 16, kind);
        std::memcpy(doc.patternCopy, pattern, static_cast<size_t>(pattern->totalSize));
        doc.currentPiece = current;
        std::memcpy(doc.viewMatrixA, kViewA, sizeof kViewA);
        std::memcpy(doc.viewMatrixB, kUnit, sizeof kUnit);
        view = HostView{};
        view.symmetryStep = 1;
    }
    short send(UINT message) { return qpHandlePieceSymmatry(deskWindow(), message, 0, 0, &view, &doc); }
    short clickAt(float x, float y) {
        deskSetCursorClient(static_cast<int>(std::lround(x + 400)), static_cast<int>(std::lround(718 - y)));
        send(WM_MOUSEMOVE);
        return send(WM_LBUTTONDOWN);
    }
    Piece* whole(int n = 0) const {
        Piece* p = nullptr;
        qpGetPieceLptr(doc.pattern, static_cast<short>(n), &p);
        return p;
    }
    Piece* halfPiece(int n = 0) const {
        Piece* p = nullptr;
        qpGetPieceLptr(half, static_cast<short>(n), &p);
        return p;
    }

    // How far "run, then grade" and "grade, then run" part: the worst
    // distance (mm) of any point of any piece, with H one and two steps of
    // 4 cm either way. The runs click the middle of the current piece's
    // points `axis` and `axis` + 1, wherever the size puts them.
    double gradedGap(const std::vector<PieceShape>& shapes, short kind, int axis);

    PatternBuffer* half = nullptr;
    HostDoc doc{};
    HostView view{};
};

// Every point where its formulas put it at the measurements set now, as the
// host grades a pattern.
void Grade(PatternBuffer* pattern) {
    for (short n = 0; n < pattern->pieceCount; ++n) {
        Piece* p = nullptr;
        qpGetPieceLptr(pattern, n, &p);
        for (int i = 0; p->formulaCount > 0 && i < p->pointCount; ++i) {
            CoordOf(p, i)->x = static_cast<float>(qpFormulaCalculation(p, FormulaX(p, i).c_str()) * 10.0);
            CoordOf(p, i)->y = static_cast<float>(qpFormulaCalculation(p, FormulaY(p, i).c_str()) * 10.0);
        }
    }
}

// Every point graded by H at the slopes `slopes` gives it (cm per cm),
// its texts fitted to its place at the base (H 40).
void GradeBy(PieceShape& shape, double (*slopeX)(float x, float y), double (*slopeY)(float x, float y)) {
    auto grade = [&](ShapePoint& p) {
        const double sx = slopeX(p.x, p.y), sy = slopeY(p.x, p.y);
        p.xFormula = number("%.4f*H", sx) + number("%+.3f", p.x / 10.0 - sx * 40);
        p.yFormula = number("%.4f*H", sy) + number("%+.3f", p.y / 10.0 - sy * 40);
    };
    for (ShapeChain& chain : shape.chains)
        for (ShapePoint& p : chain.points) grade(p);
    for (ShapeMark& m : shape.marks) grade(m.point);
}
// A grade by place: points far from the origin move most, so that a
// slanted line turns with the size.
void GradeByPlace(PieceShape& shape) {
    GradeBy(shape, [](float x, float) { return x / 1000.0; }, [](float, float y) { return y / 2000.0; });
}

double Symmetry::gradedGap(const std::vector<PieceShape>& shapes, short kind, int axis) {
    auto clickAxis = [&] {
        Piece* p = whole(doc.currentPiece);
        return clickAt((CoordOf(p, axis)->x + CoordOf(p, axis + 1)->x) / 2,
                       (CoordOf(p, axis)->y + CoordOf(p, axis + 1)->y) / 2);
    };
    start(shapes, kind);
    if (clickAxis() != 1 || view.symmetryStep != 0) return 1e9;
    PatternBuffer* ran = storeNewPattern(doc.pattern->totalSize, kind);
    std::memcpy(ran, doc.pattern, static_cast<size_t>(doc.pattern->totalSize));
    double worst = 0;
    for (float h : {32.0f, 36.0f, 44.0f, 48.0f}) {
        storeSetParameter("H", h);
        TearDown();
        start(shapes, kind);
        Grade(doc.pattern);
        if (clickAxis() != 1 || view.symmetryStep != 0) worst = 1e9;
        PatternBuffer* graded = storeNewPattern(ran->totalSize, kind);
        std::memcpy(graded, ran, static_cast<size_t>(ran->totalSize));
        Grade(graded);
        for (short n = 0; n < graded->pieceCount; ++n) {
            Piece* a = nullptr;
            qpGetPieceLptr(graded, n, &a);
            Piece* b = whole(n);
            if (a->pointCount != b->pointCount) worst = 1e9;
            for (int i = 0; i < std::min(a->pointCount, b->pointCount); ++i)
                worst = std::max<double>(worst, std::hypot(CoordOf(a, i)->x - CoordOf(b, i)->x,
                                                           CoordOf(a, i)->y - CoordOf(b, i)->y));
        }
        storeFreePattern(graded);
    }
    storeSetParameter("H", 40.0f);
    storeFreePattern(ran);
    return worst;
}

float OutlineLength(Piece* piece) {
    int a = 0, e = 0;
    OutlineRange(piece, a, e);
    short index = 0;
    float length = 0, x = 0, y = 0;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kMeasureLength, 0, 0, static_cast<short>(a),
            static_cast<short>(e - a + 1), -1, 40, &index, &length, &x, &y, qpcurve::kIdentity);
    return length;
}
// Every formula evaluates to its point (mm), as text for a readable failure.
std::string FormulasOff(Piece* piece) {
    std::string off;
    for (int i = 0; piece->formulaCount > 0 && i < piece->pointCount; ++i) {
        const double x = qpFormulaCalculation(piece, FormulaX(piece, i).c_str()) * 10.0;
        const double y = qpFormulaCalculation(piece, FormulaY(piece, i).c_str()) * 10.0;
        if (std::fabs(x - CoordOf(piece, i)->x) > kFormulaMm || std::fabs(y - CoordOf(piece, i)->y) > kFormulaMm)
            off += std::to_string(i) + ": " + FormulaX(piece, i) + " , " + FormulaY(piece, i) + "; ";
    }
    return off;
}
Coord Mirror(float x, float y, float axisX) {
    Coord c{};
    c.x = 2 * axisX - x;
    c.y = y;
    return c;
}

// The mirror about an upright axis and about a slanted one, through a run:
// a three-sided piece whose first line is the axis (s0 = 0); its third
// point's copy is the image.
TEST_F(Symmetry, MirrorsAboutTheStraightLineThroughTheAxisEnds) {
    struct Row {
        float x0, y0, x1, y1, imageX, imageY;
    } rows[] = {{50, 100, 50, 0, 20, 30}, {100, 100, 0, 0, 30, 80}};
    for (const Row& r : rows) {
        PieceShape shape;
        shape.chains.push_back(Chain({P('S', r.x0, r.y0), P('K', r.x1, r.y1), P('K', 80, 30)}, true));
        start({shape});
        ASSERT_EQ(clickAt((r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2), 1);
        ASSERT_EQ(view.symmetryStep, 0);
        Piece* p = whole();
        ASSERT_EQ(p->pointCount, 5);
        EXPECT_NEAR(CoordOf(p, 1)->x, r.imageX, kMm);
        EXPECT_NEAR(CoordOf(p, 1)->y, r.imageY, kMm);
        EXPECT_NEAR(PolygonArea(p), 2 * PolygonArea(halfPiece()), 1.0);
        EXPECT_TRUE(PatternConsistent(doc.pattern));
        TearDown();
        doc = HostDoc{};
        half = nullptr;
    }
}

// The half back, its outline started at four places: the axis first (s0 =
// 0), in the middle with curves on both sides of the fold and of the
// outline's start, and last (s1 = e).
TEST_F(Symmetry, AHalfBackBecomesOneWholePieceWithEverythingMirrored) {
    for (int startAt : {0, 8, 4, 2}) {
        SCOPED_TRACE("outline starts at ring point " + std::to_string(startAt));
        HalfBack h = MakeHalfBack(startAt);
        start({h.shape});
        doc.fRuleLock = 0;
        Piece* hp = halfPiece();
        const double area = PolygonArea(hp);
        const float outline = OutlineLength(hp);
        PatternBuffer* before = doc.pattern;
        ASSERT_EQ(send(WM_MOUSEMOVE), 1);
        ASSERT_EQ(view.symmetryStep, 2);
        ASSERT_EQ(clickAt(120, 120), 1);
        ASSERT_EQ(view.symmetryStep, 0);
        EXPECT_NE(doc.pattern, before);
        EXPECT_EQ(doc.patternView, doc.pattern);
        EXPECT_EQ(doc.notice, 108);
        ASSERT_NE(doc.patternCopy, nullptr);
        EXPECT_EQ(std::memcmp(doc.patternCopy, doc.pattern, static_cast<size_t>(doc.pattern->totalSize)), 0);
        ASSERT_TRUE(PatternConsistent(doc.pattern));
        Piece* p = whole();

        // Geometry: 12 outline points less the axis's inner one, the 8 off
        // the axis mirrored, the dart and the notch twice.
        EXPECT_EQ(p->pointCount, 12 - 1 + 8 + 3 + 3);
        EXPECT_NEAR(PolygonArea(p), 2 * area, 1.0);
        EXPECT_NEAR(OutlineLength(p), 2 * outline - 2 * 480, kCurveMm);
        // Curves run on through the joins: every curve point off the axis
        // (hem, armhole twice, neck) has a mirrored curve point.
        int curvePoints = 0;
        for (int i = 0; i < p->pointCount; ++i) curvePoints += PointAt(p, i)->type == 'C';
        EXPECT_EQ(curvePoints, 8);
        const std::vector<int>& origin = symmetry::lastRunFigures().origin;
        ASSERT_EQ(static_cast<int>(origin.size()), p->pointCount);
        for (int i = 0; i < p->pointCount; ++i) {
            const bool copy = origin[i] >= symmetry::kMirrored;
            const int from = copy ? origin[i] - symmetry::kMirrored : origin[i];
            const Coord src = *CoordOf(hp, from);
            const Coord want = copy ? Mirror(src.x, src.y, 120) : src;
            if ((PointAt(p, i)->type & 0x5F) == 'V') continue;  // seated on the outline again
            EXPECT_NEAR(CoordOf(p, i)->x, want.x, kMm) << i;
            EXPECT_NEAR(CoordOf(p, i)->y, want.y, kMm) << i;
        }
        // Formulas: composed, each on its point.
        EXPECT_EQ(FormulasOff(p), "");
        EXPECT_EQ(symmetry::lastRunFigures().fallback, 0);
        EXPECT_GT(symmetry::lastRunFigures().composed, 0);

        // Grading: every step of a half point has a twin at its mirror that
        // moves as its mirror (kind 6 keeps its steps).
        ASSERT_EQ(p->ruleCount, 2);
        EXPECT_EQ(RuleAt(p, 0)->pRuleCount, 4);
        EXPECT_EQ(RuleAt(p, 1)->firstPRule, 4);
        EXPECT_EQ(RuleAt(p, 1)->pRuleCount, 2);
        for (int k = 0; k < p->pRuleCount; ++k) {
            const PRule r = *PRuleAt(p, k);
            if (origin[r.pointIndex] >= symmetry::kMirrored) continue;
            int twins = 0;
            for (int t = 0; t < p->pRuleCount; ++t) {
                const PRule w = *PRuleAt(p, t);
                if (origin[w.pointIndex] != origin[r.pointIndex] + symmetry::kMirrored || w.code % 100 != r.code % 100)
                    continue;
                ++twins;
                const bool keep = r.code >= 100 && r.code % 100 == 6;
                EXPECT_FLOAT_EQ(w.dx, keep ? r.dx : -r.dx) << k;
                EXPECT_FLOAT_EQ(w.dy, r.dy) << k;
                if (r.code >= 100) {
                    EXPECT_EQ(origin[r.code / 100], h.ring[kRingUnderarm]);
                    EXPECT_EQ(origin[w.code / 100], h.ring[kRingUnderarm] + symmetry::kMirrored);
                }
            }
            EXPECT_EQ(twins, 1) << k;
        }
        // Seam allowances: record 0 untouched, the one on the axis gone, the
        // others each with a twin whose ends are the mirrors of its ends.
        ASSERT_EQ(p->extwidCount, 5);
        EXPECT_EQ(ExtwidAt(p, 0)->fromPoint, 0);
        for (int k = 1; k < 3; ++k) {
            const Extwid e = *ExtwidAt(p, k);
            const Extwid t = *ExtwidAt(p, k + 2);
            const Coord from = Mirror(CoordOf(p, e.fromPoint)->x, CoordOf(p, e.fromPoint)->y, 120);
            const Coord to = Mirror(CoordOf(p, e.toPoint)->x, CoordOf(p, e.toPoint)->y, 120);
            // The twin runs between the mirrors of the ends, each width at
            // the mirror of its own end.
            const bool turned = std::fabs(CoordOf(p, t.fromPoint)->x - from.x) > kMm ||
                                std::fabs(CoordOf(p, t.fromPoint)->y - from.y) > kMm;
            const Coord& first = turned ? to : from;
            const Coord& second = turned ? from : to;
            EXPECT_NEAR(CoordOf(p, t.fromPoint)->x, first.x, kMm) << k;
            EXPECT_NEAR(CoordOf(p, t.fromPoint)->y, first.y, kMm) << k;
            EXPECT_NEAR(CoordOf(p, t.toPoint)->x, second.x, kMm) << k;
            EXPECT_NEAR(CoordOf(p, t.toPoint)->y, second.y, kMm) << k;
            EXPECT_LT(t.fromPoint, t.toPoint) << k;
            EXPECT_FLOAT_EQ(turned ? t.toWidth : t.fromWidth, e.fromWidth) << k;
            EXPECT_FLOAT_EQ(turned ? t.fromWidth : t.toWidth, e.toWidth) << k;
        }
        auto mirrorOf = [&](int i) {
            for (int k = 0; k < p->pointCount; ++k)
                if (origin[k] == origin[i] + symmetry::kMirrored) return k;
            return -1;
        };
        // The corner's twin, sides and values exchanged.
        ASSERT_EQ(p->cutanglCount, 2);
        EXPECT_EQ(CutanglAt(p, 1)->side, 2);
        EXPECT_EQ(CutanglAt(p, 1)->pointIndex, mirrorOf(CutanglAt(p, 0)->pointIndex));
        EXPECT_FLOAT_EQ(CutanglAt(p, 1)->first, 5);
        EXPECT_FLOAT_EQ(CutanglAt(p, 1)->second, 3);
        // The notches lie on the outline, on the line their SPoint names.
        for (int k = 0; k < p->sPointCount; ++k) {
            const SPoint s = *SPointAt(p, k);
            ASSERT_GE(s.lineIndex, 0);
            EXPECT_NEAR(std::fabs(CoordOf(p, s.pointIndex)->x - 120), 160, kMm);
            EXPECT_NEAR(CoordOf(p, s.pointIndex)->y, 340, kMm);
        }
        // The mirrored notch points the other way.
        EXPECT_EQ(PointAt(p, p->pointCount - 1)->lineOut, 1570);
#if QP_HAVE_DESKTOP
        EXPECT_EQ(deskCheckDiscipline(), "");
        // Work, scratch, the old pattern and its old copy are freed: the new
        // pattern, its copy and the test's half are all that live.
        EXPECT_EQ(deskLiveBlocks().size(), 3u);
        EXPECT_EQ(deskOpenDCs(), 0);
        ASSERT_FALSE(deskInvalidations().empty());
#endif
        TearDown();
        doc = HostDoc{};
        half = nullptr;
    }
}

// A seam allowance over the axis runs from each side on to its mirror, at
// that side's width; one from the axis's start over its end to the hem only
// on the hem's side.
TEST_F(Symmetry, SeamAllowancesOverTheAxisRunToTheirMirrors) {
    HalfBack h = MakeHalfBack(8, false);  // side neck 1, centre-back neck 3, hem curve 6
    h.shape.extwids = {Extwid{0, 0, 10, 10}, Extwid{1, 6, 4, 7}, Extwid{3, 6, 5, 8}};
    start({h.shape});
    ASSERT_EQ(clickAt(120, 120), 1);
    Piece* p = whole();
    ASSERT_TRUE(PatternConsistent(doc.pattern));
    const std::vector<int>& origin = symmetry::lastRunFigures().origin;
    auto at = [&](int value) {
        for (int i = 0; i < p->pointCount; ++i)
            if (origin[i] == value) return i;
        return -1;
    };
    const int sideNeck = at(1), sideNeckMirror = at(1 + symmetry::kMirrored);
    const int hem = at(6), hemMirror = at(6 + symmetry::kMirrored);
    ASSERT_EQ(p->extwidCount, 4);
    const Extwid want[] = {{static_cast<int16_t>(sideNeck), static_cast<int16_t>(sideNeckMirror), 4, 4},
                           {static_cast<int16_t>(hemMirror), static_cast<int16_t>(hem), 8, 8},
                           {static_cast<int16_t>(hemMirror), static_cast<int16_t>(hem), 7, 7}};
    for (int k = 0; k < 3; ++k) {
        const Extwid e = *ExtwidAt(p, k + 1);
        EXPECT_EQ(e.fromPoint, want[k].fromPoint) << k;
        EXPECT_EQ(e.toPoint, want[k].toPoint) << k;
        EXPECT_FLOAT_EQ(e.fromWidth, want[k].fromWidth) << k;
        EXPECT_FLOAT_EQ(e.toWidth, want[k].toWidth) << k;
    }
}

// A five-point axis loses its three inner points: every point after it sits
// three places earlier, past the mirrored block.
TEST_F(Symmetry, AFivePointAxisLosesItsInnerPoints) {
    HalfBack h = MakeHalfBack(8, true, 2);  // two more points on the centre back
    start({h.shape});
    ASSERT_EQ(clickAt(120, 120), 1);
    Piece* p = whole();
    Piece* hp = halfPiece();
    const int s0 = h.ring[kRingAxisStart];
    const int m = static_cast<int>(symmetry::lastRunFigures().origin.size()) - (hp->pointCount - 3) - 3;
    for (int i = s0 + 4; i < hp->pointCount; ++i) {
        EXPECT_FLOAT_EQ(CoordOf(p, i - 3 + m)->x, CoordOf(hp, i)->x) << i;
        EXPECT_FLOAT_EQ(CoordOf(p, i - 3 + m)->y, CoordOf(hp, i)->y) << i;
    }
    EXPECT_NEAR(PolygonArea(p), 2 * PolygonArea(hp), 1.0);
    EXPECT_EQ(FormulasOff(p), "");
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}

// The x formulas of the mirrored points: twice the axis's x formula less
// their own, spread and packed.
TEST_F(Symmetry, MirroredXFormulasAreTwiceTheAxisLessTheirOwn) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 120, 0, "H/4+2", "0"), P('K', 120, 300, "H/4+2", "30"),
                                  P('K', 400, 200, "H", "20"), P('K', 200, 150, "0.5*H", "15"),
                                  P('K', 110, 50, "H/4+1", "5"), P('K', -50, 100, "-5", "10")},
                                 true));
    start({shape});
    ASSERT_EQ(clickAt(120, 150), 1);
    Piece* p = whole();
    // Inserted after the axis's first point: the mirrors of points 5 .. 2.
    const char* expected[] = {"H*0.5+9", "0.25*H+3", "4", "-0.5*H+4"};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(FormulaX(p, 1 + k), expected[k]) << k;
    EXPECT_EQ(FormulasOff(p), "");
    EXPECT_EQ(symmetry::lastRunFigures().composed, 4);
}

// A composed text that misses its point (the axis's own formula is 5 mm off
// it, as the user wrote it) gets one correcting constant, packed into the
// text's; the formulas of points the run did not make or move stay as they
// were, the axis's too, off as they are.
TEST_F(Symmetry, ACorrectingConstantIsPackedAndUntouchedFormulasStay) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 120, 0, "H/4+2.5", "0"), P('K', 120, 300, "H/4+2.5", "30"),
                                  P('K', 400, 200, "H", "20"), P('K', 110, 50, "H/4+1", "5")},
                                 true));
    start({shape});
    ASSERT_EQ(clickAt(120, 150), 1);
    Piece* p = whole();
    // The mirrors of points 3 and 2: 2 * (H/4 + 2.5) less their own, 1 cm
    // past their places.
    EXPECT_EQ(FormulaX(p, 1), "0.25*H+3");
    EXPECT_EQ(FormulaX(p, 2), "-0.5*H+4");
    EXPECT_EQ(symmetry::lastRunFigures().corrected, 2);
    EXPECT_EQ(symmetry::lastRunFigures().fallback, 0);
    EXPECT_EQ(FormulasOff(p), "0: H/4+2.5 , 0; 3: H/4+2.5 , 30; 6: H/4+2.5 , 0; ");
    EXPECT_EQ(FormulaX(p, 4), "H");
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}

// Grading steps of every kind, plain and with a reference, about an upright
// and a 45-degree axis: the twin moves as the mirror (kind 5), keeps its
// move (6), mirrors x only (10) or y only (14); a referenced twin names the
// mirror of its original's reference.
TEST_F(Symmetry, GradingTwinsMirrorAsTheirKindSays) {
    struct Axis {
        const char* name;
        std::vector<ShapePoint> chain;  // the axis is line 0; point 2 gets the steps, 3 is referenced
        float clickX, clickY;
        float want[4][2];  // the twin of (2, 1) for kinds 5, 6, 10, 14
    } axes[] = {
        {"upright", {P('S', 0, 0), P('K', 0, 100), P('C', 80, 30), P('K', 60, -10)}, 0, 50,
         {{-2, 1}, {2, 1}, {-2, 1}, {2, 1}}},
        {"slanted", {P('S', 0, 0), P('K', 100, 100), P('C', 80, 30), P('K', 60, -10)}, 50, 50,
         {{1, 2}, {2, 1}, {1, 1}, {2, 2}}},
    };
    const int kinds[] = {5, 6, 10, 14};
    for (const Axis& axis : axes) {
        SCOPED_TRACE(axis.name);
        PieceShape shape;
        shape.chains.push_back(Chain(axis.chain, true));
        ShapeRule rule;
        for (int kind : kinds) {
            rule.pRules.push_back(PRule{static_cast<int16_t>(kind), 2, 2, 1});
            rule.pRules.push_back(PRule{static_cast<int16_t>(300 + kind), 2, 2, 1});
        }
        shape.rules.push_back(rule);
        start({shape});
        ASSERT_EQ(clickAt(axis.clickX, axis.clickY), 1);
        Piece* p = whole();
        ASSERT_TRUE(PatternConsistent(doc.pattern));
        const std::vector<int>& origin = symmetry::lastRunFigures().origin;
        ASSERT_EQ(p->pRuleCount, 16);
        int twins = 0;
        for (int k = 0; k < p->pRuleCount; ++k) {
            const PRule w = *PRuleAt(p, k);
            if (origin[w.pointIndex] != 2 + symmetry::kMirrored) continue;
            ++twins;
            const int kind = w.code % 100;
            const int row = kind == 5 ? 0 : kind == 6 ? 1 : kind == 10 ? 2 : 3;
            EXPECT_NEAR(w.dx, axis.want[row][0], 1e-5) << w.code;
            EXPECT_NEAR(w.dy, axis.want[row][1], 1e-5) << w.code;
            if (w.code >= 100) {
                EXPECT_EQ(origin[w.code / 100], 3 + symmetry::kMirrored) << w.code;
            }
        }
        EXPECT_EQ(twins, 8);
        TearDown();
        doc = HostDoc{};
        half = nullptr;
    }
}

// The axis (0, 300)-(0, 60)-(0, 0) loses its inner point. A step that
// referenced it names its nearer end, the hem, as does its twin; a step that
// references an axis end gets a twin naming the same end (its own mirror);
// a seam allowance from the inner point to the hem lay on the axis and goes.
TEST_F(Symmetry, RecordsOnTheAxisFollowItsEnds) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 300), P('C', 0, 60), P('K', 0, 0), P('K', 100, 0), P('C', 110, 150),
                                  P('K', 100, 300)},
                                 true));
    shape.rules.push_back(ShapeRule{0, 0, {PRule{106, 3, 2, 1}, PRule{206, 3, 2, 1}, PRule{406, 3, 2, 1}}});
    shape.extwids = {Extwid{0, 0, 10, 10}, Extwid{1, 2, 5, 5}, Extwid{3, 4, 7, 8}};
    start({shape});
    ASSERT_EQ(clickAt(0, 150), 1);
    Piece* p = whole();
    ASSERT_TRUE(PatternConsistent(doc.pattern));
    const std::vector<int>& origin = symmetry::lastRunFigures().origin;
    // Each step's reference, where the original named it (0 0 for the hem,
    // 110 150 for point 4), and the twin's at its mirror.
    ASSERT_EQ(p->pRuleCount, 6);
    int twins = 0;
    for (int k = 0; k < p->pRuleCount; ++k) {
        const PRule w = *PRuleAt(p, k);
        const bool twin = origin[w.pointIndex] == 3 + symmetry::kMirrored;
        twins += twin;
        const Coord at = *CoordOf(p, w.code / 100);
        const bool toHem = at.y < 100;
        EXPECT_NEAR(at.x, toHem ? 0 : (twin ? -110 : 110), kMm) << k;
        EXPECT_NEAR(at.y, toHem ? 0 : 150, kMm) << k;
    }
    EXPECT_EQ(twins, 3);
    EXPECT_EQ(symmetry::lastRunFigures().stepsDropped, 0);
    // Record 0, the stretch 3-4 and its twin.
    ASSERT_EQ(p->extwidCount, 3);
    for (int k = 1; k < 3; ++k) EXPECT_LT(ExtwidAt(p, k)->fromPoint, ExtwidAt(p, k)->toPoint) << k;
}

// A notch on the axis is its own mirror: one notch, where it was, on no
// line of the whole piece; the armhole's notch is doubled as ever.
TEST_F(Symmetry, ANotchOnTheAxisStaysThereOnce) {
    HalfBack h = MakeHalfBack(8);
    h.shape.marks.push_back(Mark('v', 120, 300, 0, 0));
    start({h.shape});
    ASSERT_EQ(clickAt(120, 120), 1);
    Piece* p = whole();
    ASSERT_TRUE(PatternConsistent(doc.pattern));
    int onAxis = 0, onArmhole = 0;
    for (int k = 0; k < p->sPointCount; ++k) {
        const SPoint s = *SPointAt(p, k);
        const Coord c = *CoordOf(p, s.pointIndex);
        if (std::fabs(c.x - 120) < kMm && std::fabs(c.y - 300) < kMm) {
            ++onAxis;
            EXPECT_EQ(s.lineIndex, -1);
        } else {
            onArmhole += std::fabs(std::fabs(c.x - 120) - 160) < kMm && std::fabs(c.y - 340) < kMm;
        }
    }
    EXPECT_EQ(onAxis, 1);
    EXPECT_EQ(onArmhole, 2);
    int notches = 0;
    for (int i = 0; i < p->pointCount; ++i) notches += PointAt(p, i)->type == 'v';
    EXPECT_EQ(notches, 3);
    EXPECT_EQ(FormulasOff(p), "");
}

// The outline need not be the piece's first segment: with an inner line
// stored first, the axis still starts the outline (s0 is its first point a,
// not point 0), and the neck's curve runs on through the axis's start into
// its mirror, as when the outline comes first.
TEST_F(Symmetry, AnOutlineAfterAnInnerLineJoinsItsCurvesAtTheAxis) {
    HalfBack h = MakeHalfBack(0);
    h.shape.chains.insert(h.shape.chains.begin(), Chain({P('s', 250, 50), P('k', 250, 150)}));
    h.shape.rules.clear();
    h.shape.extwids.clear();
    h.shape.cutangls.clear();
    start({h.shape});
    ASSERT_EQ(clickAt(120, 120), 1);
    ASSERT_EQ(view.symmetryStep, 0);
    Piece* p = whole();
    ASSERT_TRUE(PatternConsistent(doc.pattern));
    int curvePoints = 0;
    for (int i = 0; i < p->pointCount; ++i) curvePoints += PointAt(p, i)->type == 'C';
    EXPECT_EQ(curvePoints, 8);
    EXPECT_NEAR(PolygonArea(p), 2 * PolygonArea(halfPiece()), 1.0);
}

// A piece without formulas gets none. A duplicated mark (an s..k line of a
// segment of code 4) is not doubled: its mirrored copy goes again.
TEST_F(Symmetry, NoFormulasAndADuplicatedMarkStaySo) {
    HalfBack h = MakeHalfBack(4, false);
    ShapeChain mark = Chain({P('s', 150, 200), P('k', 180, 220)});
    mark.segCode = 4;
    h.shape.chains.push_back(mark);
    start({h.shape});
    ASSERT_EQ(clickAt(120, 300), 1);
    Piece* p = whole();
    EXPECT_EQ(p->formulaCount, 0);
    EXPECT_EQ(p->charCount, 0);
    EXPECT_EQ(symmetry::lastRunFigures().composed + symmetry::lastRunFigures().fallback, 0);
    EXPECT_NEAR(PolygonArea(p), 2 * PolygonArea(halfPiece()), 1.0);
    int marks = 0;
    for (int i = 0; i < p->pointCount; ++i) marks += SegAt(p, PointAt(p, i)->segIndex)->code == 4;
    EXPECT_EQ(marks, 2);
    EXPECT_EQ(p->pointCount, 12 - 1 + 8 + 3 + 3 + 2);
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}

// An axis that is slanted, or upright only at the base: no text is refit;
// the copies' x and y texts follow the mirror, so that the piece, its inner
// lines and its notches grade as the run at another size makes them. Where
// the grade moves points straight away from a slanted axis (which stays),
// exactly; where the axis turns with the size (its ends grade apart), to
// first order: a mirror about a turning axis is not linear in the sizes, as
// texts are, and what stays is second order (a quarter of it a size away).
TEST_F(Symmetry, ASlantedOrTurningAxisGradesItsMirror) {
    PieceShape kite;
    kite.chains.push_back(Chain({P('S', 0, 0), P('K', 100, 100), P('C', 80, 30), P('K', 60, -10)}, true));
    kite.chains.push_back(Chain({P('s', 50, 20), P('k', 70, 40)}));
    kite.marks.push_back(Mark('v', 60, -10, 0, 700));
    struct Row {
        const char* name;
        PieceShape shape;
        float clickX, clickY;
        int copies;
        double limitMm;  // measured: 0, 0.08, 0.15
    } rows[] = {{"away from a slanted axis", kite, 50, 50, 5, 0.05},
                {"a slanted axis turning", kite, 50, 50, 5, 0.5},
                {"an upright axis leaning", MakeHalfBack(0).shape, 120, 360, 11, 0.5}};
    GradeBy(rows[0].shape, [](float x, float y) { return (x - y) / 2000.0; },
            [](float x, float y) { return (y - x) / 2000.0; });
    GradeByPlace(rows[1].shape);
    // The higher, the further across: the centre back leans at other sizes.
    GradeBy(rows[2].shape, [](float, float y) { return y / 4000.0; }, [](float, float) { return 0.0; });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        start({row.shape});
        ASSERT_EQ(clickAt(row.clickX, row.clickY), 1);
        EXPECT_EQ(FormulasOff(whole()), "");
        EXPECT_EQ(symmetry::lastRunFigures().graded, row.copies);
        EXPECT_EQ(symmetry::lastRunFigures().fallback, 0);
        EXPECT_TRUE(PatternConsistent(doc.pattern));
        TearDown();
        EXPECT_LT(gradedGap({row.shape}, kWorkBufferKind, 0), row.limitMm);
    }
}

// Group mode: every flagged piece about its line of the same index; a
// flagged piece whose line is not on its outline and an unflagged one stay.
// The mirrored halves' texts are mirrored: the pattern grades as the run
// at another size makes it.
TEST_F(Symmetry, GroupModeMirrorsEveryFlaggedPiece) {
    HalfBack a = MakeHalfBack(2), b = MakeHalfBack(2, false);  // the axis is line 5
    GradeByPlace(a.shape);
    a.shape.groupFlag = 1;
    b.shape.groupFlag = 1;
    PieceShape noLine;  // a single line: there is no line 5
    noLine.chains.push_back(Chain({P('S', 0, 0), P('K', 10, 0)}));
    noLine.groupFlag = 1;
    PieceShape inner = RectangleShape(50, 50);  // lines 4 and 5 are inner lines
    inner.chains.push_back(Chain({P('s', 10, 10), P('k', 20, 20)}));
    inner.chains.push_back(Chain({P('s', 30, 10), P('k', 40, 20)}));
    inner.groupFlag = 0x101;
    PieceShape apart = RectangleShape(30, 30);
    start({a.shape, b.shape, noLine, inner, apart}, 11, 0);
    ASSERT_EQ(clickAt(120, 120), 1);
    ASSERT_TRUE(PatternConsistent(doc.pattern));
    EXPECT_NEAR(PolygonArea(whole(0)), 2 * PolygonArea(halfPiece(0)), 1.0);
    EXPECT_NEAR(PolygonArea(whole(1)), 2 * PolygonArea(halfPiece(1)), 1.0);
    for (int n : {2, 3, 4})
        EXPECT_EQ(std::memcmp(whole(n), halfPiece(n), static_cast<size_t>(halfPiece(n)->byteSize)), 0) << n;
    // No grading twins, but references follow their points.
    EXPECT_EQ(FormulasOff(whole(0)), "");
    EXPECT_EQ(whole(0)->pRuleCount, 3);
    const int under = a.ring[kRingUnderarm];
    const std::vector<int>& origin = symmetry::lastRunFigures().origin;
    EXPECT_EQ(origin[PRuleAt(whole(0), 1)->code / 100], under);
    EXPECT_EQ(symmetry::lastRunFigures().piecesMirrored, 2);
    EXPECT_EQ(symmetry::lastRunFigures().piecesLeftAlone, 2);
    EXPECT_EQ(symmetry::lastRunFigures().fallback, 0);
    EXPECT_LT(gradedGap({a.shape, b.shape, noLine, inner, apart}, 11, a.ring[kRingAxisStart]), 0.05);
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}

// A real piece of 300 points with formulas: the axis (line 0, x = 0) and a
// half ellipse of curves, a turning point every 20 points.
PieceShape BigHalf() {
    PieceShape shape;
    ShapeChain chain;
    chain.close = true;
    chain.points.push_back(P('S', 0, 0, "0*H", "0*BL"));
    for (int i = 0; i < 299; ++i) {
        const double t = kPi * i / 298.0;
        const float x = static_cast<float>(std::round(3000 * std::sin(t)) / 10.0);
        const float y = static_cast<float>(std::round(3000 + 3000 * std::cos(t)) / 10.0);
        chain.points.push_back(P(i % 20 == 0 || i == 298 ? 'K' : 'C', x, y, ("0*H+" + number("%g", x / 10.0)).c_str(),
                                 ("0*BL+" + number("%g", y / 10.0)).c_str()));
    }
    shape.chains.push_back(chain);
    return shape;
}

TEST_F(Symmetry, ARealPieceOfThreeHundredPointsIsMirroredWhole) {
    PieceShape shape = BigHalf();
    // A grading reference to point 150: its new index (past the 298 mirrored
    // points) no longer fits a code, so the step goes (kept, 15006 would name
    // the mirrored point now at 150); a plain step gets its twin.
    shape.rules.push_back(ShapeRule{0, 0, {PRule{5, 20, 2, 1}, PRule{150 * 100 + 6, 30, 1, 1}}});
    start({shape});
    ASSERT_EQ(clickAt(0, 300), 1);
    ASSERT_EQ(view.symmetryStep, 0);
    Piece* p = whole();
    EXPECT_EQ(p->pointCount, 301 + 298);
    EXPECT_NEAR(PolygonArea(p), 2 * PolygonArea(halfPiece()), 10.0);
    EXPECT_EQ(FormulasOff(p), "");
    ASSERT_EQ(p->pRuleCount, 2);
    EXPECT_EQ(RuleAt(p, 0)->pRuleCount, 2);
    for (int k = 0; k < 2; ++k) EXPECT_EQ(PRuleAt(p, k)->code, 5) << k;
    EXPECT_EQ(symmetry::lastRunFigures().stepsDropped, 1);
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}

// Group mode rebuilds piece after piece into the new pattern, which grows
// when the mirrored pieces outgrow the room made for the current one.
TEST_F(Symmetry, TheNewPatternGrowsForLargeGroupPieces) {
    PieceShape tiny;
    tiny.chains.push_back(Chain({P('S', 0, 0), P('K', 0, 10), P('K', 10, 5)}, true));
    tiny.groupFlag = 1;
    PieceShape big = BigHalf();
    big.groupFlag = 1;
    start({tiny, big, big, big, big}, 13, 0);
    const long room = doc.pattern->totalSize + 50L * halfPiece(0)->byteSize + 20000;
    ASSERT_EQ(clickAt(0, 5), 1);
    ASSERT_EQ(view.symmetryStep, 0);
    EXPECT_GT(doc.pattern->totalSize, room);
    for (int n = 0; n < 5; ++n) EXPECT_NEAR(PolygonArea(whole(n)), 2 * PolygonArea(halfPiece(n)), 10.0) << n;
    EXPECT_EQ(FormulasOff(whole(4)), "");
    EXPECT_TRUE(PatternConsistent(doc.pattern));
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskLiveBlocks().size(), 3u);  // the outgrown block went
    EXPECT_EQ(deskCheckDiscipline(), "");
#endif
}

// Random closed outlines (turning and curve points around a centre, an
// inner line and a notch), each mirrored about a random outline line: the
// checker passes, every formula keeps its point, and each mirrored point is
// the mirror of its origin.
TEST_F(Symmetry, RandomOutlinesAboutRandomLines) {
    Lcg next(12345);
    int mirrored = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TearDown();
        doc = HostDoc{};
        half = nullptr;
        const int n = 4 + next(12);
        PieceShape shape;
        ShapeChain chain;
        chain.close = true;
        for (int i = 0; i < n; ++i) {
            const double t = 2 * kPi * i / n;
            const double r = 100 + next(100);
            const float x = static_cast<float>(std::round(200 + r * std::cos(t)));
            const float y = static_cast<float>(std::round(200 + r * std::sin(t)));
            const char type = i == 0 ? 'S' : (i + 1 < n && next(2) ? 'C' : 'K');
            chain.points.push_back(Formulated(type, x, y, true));
        }
        shape.chains.push_back(chain);
        shape.chains.push_back(Chain({Formulated('s', 180, 180, true), Formulated('k', 220, 230, true)}));
        shape.marks.push_back(Mark('v', chain.points[1].x, chain.points[1].y, 0, 700));
        start({shape});
        Piece* hp = halfPiece();
        // A random outline line, picked near the middle of its first stretch.
        const int line = next(SegAt(hp, 0)->lineCount);
        const Line l = *LineAt(hp, line);
        const Coord a = *CoordOf(hp, l.firstPoint), b = *CoordOf(hp, l.firstPoint + 1);
        send(WM_MOUSEMOVE);
        float px = (a.x + b.x) / 2, py = (a.y + b.y) / 2;
        short index = 0;
        float length = 0;
        qpCurve(nullptr, hp, 0, 0x142, 0, 0, l.firstPoint, 2, -1, 40, &index, &length, &px, &py, qpcurve::kIdentity);
        ASSERT_EQ(clickAt(px, py), 1);
        if (view.symmetryStep != 0) continue;  // a line with nothing beside it
        ++mirrored;
        ASSERT_TRUE(PatternConsistent(doc.pattern));
        Piece* p = whole();
        EXPECT_EQ(FormulasOff(p), "");
        const std::vector<int>& origin = symmetry::lastRunFigures().origin;
        ASSERT_EQ(static_cast<int>(origin.size()), p->pointCount);
        // The axis's ends after the run: origin l.firstPoint and its last point.
        int s0 = -1, s1 = -1;
        for (int i = 0; i < p->pointCount; ++i) {
            if (origin[i] == l.firstPoint) s0 = i;
            if (origin[i] == l.firstPoint + l.pointCount - 1) s1 = i;
        }
        ASSERT_GE(s0, 0);
        ASSERT_GE(s1, 0);
        const Coord c0 = *CoordOf(p, s0), c1 = *CoordOf(p, s1);
        const double dx = c1.x - c0.x, dy = c1.y - c0.y, len2 = dx * dx + dy * dy;
        for (int i = 0; i < p->pointCount; ++i) {
            if (origin[i] < symmetry::kMirrored || (PointAt(p, i)->type & 0x5F) == 'V') continue;
            const Coord src = *CoordOf(hp, origin[i] - symmetry::kMirrored);
            const double t = ((src.x - c0.x) * dx + (src.y - c0.y) * dy) / len2;
            const double fx = c0.x + t * dx, fy = c0.y + t * dy;
            EXPECT_NEAR(CoordOf(p, i)->x, 2 * fx - src.x, 0.05) << i;
            EXPECT_NEAR(CoordOf(p, i)->y, 2 * fy - src.y, 0.05) << i;
        }
        // The outline: twice the half's, less twice its axis line.
        float axis = 0, x = 0, y = 0;
        qpCurve(nullptr, hp, 0, 0x112, 0, 0, l.firstPoint, l.pointCount, -1, 40, &index, &axis, &x, &y, qpcurve::kIdentity);
        EXPECT_NEAR(OutlineLength(p), 2 * (OutlineLength(hp) - axis), 2 * kCurveMm);
    }
    EXPECT_GE(mirrored, 55);
}

// Clicks that pick nothing are consumed and change nothing; other messages
// and a click before the preparation are not handled.
TEST_F(Symmetry, APickThatFindsNoAxisChangesNothing) {
    start({MakeHalfBack(0).shape});
    EXPECT_EQ(send(WM_LBUTTONDOWN), 0);  // not prepared
    EXPECT_EQ(send(WM_KEYDOWN), 0);
    PatternBuffer* before = doc.pattern;
    EXPECT_EQ(clickAt(500, 600), 1);  // far from the outline
    EXPECT_EQ(view.symmetryStep, 2);
    EXPECT_EQ(doc.pattern, before);
    EXPECT_EQ(std::memcmp(doc.pattern, half, static_cast<size_t>(half->totalSize)), 0);
}

// A piece whose whole form would pass 16-bit counts is left with a message.
TEST_F(Symmetry, APieceTooLargeToDoubleIsLeftWithAMessage) {
    PieceShape shape;
    ShapeChain chain;
    chain.close = true;
    const std::string pad = "+0*H+0*H+0*H+0*H+0*H+0*H+0*H+0*H+0*H+0*H+0*H+0*H+0*H";
    for (int i = 0; i < 200; ++i) {
        const float angle = static_cast<float>(kPi) * i / 199.0f;
        ShapePoint p = P(i == 0 ? 'S' : 'K', 100 * std::sin(angle), 100 * std::cos(angle));
        p.xFormula = number("%g", p.x / 10.0) + pad;
        p.yFormula = number("%g", p.y / 10.0) + pad;
        chain.points.push_back(p);
    }
    shape.chains.push_back(chain);
    start({shape});
    PatternBuffer* before = doc.pattern;
    ASSERT_EQ(clickAt(0, 0), 1);  // the closing line from (0, -100) to (0, 100)
    EXPECT_EQ(doc.pattern, before);
    EXPECT_EQ(view.symmetryStep, 2);
#if QP_HAVE_DESKTOP
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].text, kSymmetryTooLarge);
    EXPECT_EQ(deskLiveBlocks().size(), 3u);  // nothing of the refused run is left
#endif
}

// Every kind the mirroring adds is counted before the first store call:
// 16,400 grading steps on a mirrored point would twin to 32,800, past the
// store's 16-bit count, and the piece is left with a message.
TEST_F(Symmetry, GradingStepsTooManyToTwinAreRefusedFirst) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 50, 100), P('K', 50, 0), P('K', 80, 30)}, true));
    shape.rules.push_back(ShapeRule{0, 0, std::vector<PRule>(16400, PRule{5, 2, 1, 1})});
    start({shape});
    PatternBuffer* before = doc.pattern;
    const std::string was = BytesOf(before);
    ASSERT_EQ(clickAt(50, 50), 1);
    EXPECT_EQ(doc.pattern, before);
    EXPECT_EQ(BytesOf(doc.pattern), was);
    EXPECT_EQ(view.symmetryStep, 2);
#if QP_HAVE_DESKTOP
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].text, kSymmetryTooLarge);
    EXPECT_EQ(deskCheckDiscipline(), "");
#endif
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}

}  // namespace

// Notches seated from copies of the nearby lines land exactly where the
// whole piece puts them: the same pattern, byte for byte, on curved
// outlines with doubled points, on arc lines (a shape of the curve model
// that bulges otherwise), a waist where the outline passes within 0.05 mm
// of itself, and notches near, on and far from it (outside every line's
// reach).
TEST_F(Symmetry, NotchesSeatAsTheWholePieceSeatsThem) {
    Lcg next(777);
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int n = 40 + next(120);
        const bool waist = round % 3 == 1;
        PieceShape shape;
        ShapeChain chain;
        chain.close = true;
        if (round >= 12) chain.lineKind = qpcurve::kArcLineKind;
        for (int i = 0; i < n; ++i) {
            const double t = 2 * kPi * i / n;
            double r = 150 + 20 * std::sin(5 * t) + next(3);
            // The waist: both sides pulled in to 0.05 mm of the middle line y = 200.
            if (waist && std::fabs(std::sin(t)) < 0.2) r = 150;
            float x = static_cast<float>(200 + r * std::cos(t)), y = static_cast<float>(200 + 1.2 * r * std::sin(t));
            if (waist) y = static_cast<float>(200 + (y - 200) * std::min(1.0, std::fabs(std::cos(t)) + 0.0003));
            const char type = i == 0 ? 'S' : (i + 1 < n && next(4) ? 'C' : 'K');
            chain.points.push_back(P(type, x, y));
            if (next(15) == 0 && i + 1 < n) chain.points.push_back(P('C', x, y));  // a doubled point
        }
        // The axis: the first stretch's line made straight by K ends.
        chain.points[1].type = 'K';
        shape.chains.push_back(chain);
        shape.chains.push_back(Chain({P('s', 180, 180), P('c', 200, 240), P('k', 220, 230)}));
        for (int m = 0; m < 30; ++m) {
            const ShapePoint& near = chain.points[static_cast<size_t>(next(static_cast<int>(chain.points.size())))];
            const float dx = static_cast<float>(next(41) - 20) / (m % 3 == 0 ? 100.0f : 2.0f);
            shape.marks.push_back(Mark('v', near.x + dx, near.y - dx, 0, static_cast<int16_t>(next(3000))));
        }
        // Far outside the piece and at its middle.
        shape.marks.push_back(Mark('v', 900, -350, 0, 0));
        shape.marks.push_back(Mark('v', 200, 200, 0, 0));
        std::vector<std::string> results;
        for (bool wholePiece : {false, true}) {
            TearDown();
            doc = HostDoc{};
            half = nullptr;
            start({shape});
            symmetry::seatNotchesOnWholePiece(wholePiece);
            const Coord a = *CoordOf(halfPiece(), 0), b = *CoordOf(halfPiece(), 1);
            const short handled = clickAt((a.x + b.x) / 2, (a.y + b.y) / 2);
            symmetry::seatNotchesOnWholePiece(false);
            ASSERT_EQ(handled, 1);
            ASSERT_EQ(view.symmetryStep, 0);
            ASSERT_TRUE(PatternConsistent(doc.pattern));
            results.push_back(BytesOf(doc.pattern));
        }
        EXPECT_TRUE(results[0] == results[1]);
    }
}
