// Symmetry record mirroring: once the outline of a piece has its mirrored
// points, its other records follow them. The copies' formulas are mirrored
// (x becomes 2*(axis x) - x about an upright axis; both are graded about
// any other), notches are seated on the outline again
// (symmetry_notches.cpp), grading steps, seam allowances and corners get
// mirrored twins, duplicated marks go, and the FRules of piece 0 are
// restored.
//
// The store renumbers point indices (PRule.pointIndex, Extwid ends,
// Cutangl.pointIndex) on every insert and delete, so those are present
// indices here; PRule codes from 100 up and the host piece's own records
// hold earlier indices, which origin[] translates.
//
// Units: millimetres in records, centimetres in formula texts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/exports.h"
#include "frame/piece_edit.h"
#include "frame/siblings.h"
#include "pieces/symmetry.h"
#include "pieces/symmetry_notches.h"

namespace symmetry {

namespace {

constexpr int kKindKeepBoth = 6, kKindMirrorX = 10, kKindMirrorY = 14;
constexpr short kDuplicatedMarkCode = 4;
constexpr int kDuplicatedMarksRemoved = 2;

using frame::pointAt;

// Replaces point i's x text with `text` (shorter than kTextBuffer).
void writeXText(PatternBuffer* work, Piece* piece, int i, const std::string& text) {
    Point* p = pointAt(piece, i);
    const short fi = p->formulaIndex;
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, fi, &f);
    short area = 0;
    if (f->xTextLength > 0 && f->xTextOffset >= 0 && f->xTextOffset + f->xTextLength <= piece->charCount)
        qpDeleteString(work, piece, &area, f->xTextOffset, f->xTextLength);
    short offset = -1;
    char* bytes = nullptr;
    qpIncreaseString(work, piece, static_cast<short>(text.size() + 1), &offset, &bytes);
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    qpGetFormulaLptr(piece, fi, &f);
    f->xTextOffset = offset;
    f->xTextLength = static_cast<int16_t>(text.size() + 1);
}

// `text` packed; "" when it would not fit a text buffer. A refusal leaves
// the unpacked sum, which still reads right.
std::string packed(const std::string& text) {
    if (text.size() + 1 > static_cast<size_t>(kTextBuffer)) return "";
    char buffer[kTextBuffer] = {};
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    qpPackExpression(buffer);
    return buffer;
}

// "2*(axis x)" minus P: "-(P)" spread, appended to F2, packed. "" when a
// routine refuses or the text would not fit its buffer.
std::string composeX(const std::string& f2, const std::string& p) {
    if (p.size() + 4 >= static_cast<size_t>(kTextBuffer)) return "";
    char n[kTextBuffer] = {};
    std::snprintf(n, sizeof n, "-(%s)", p.c_str());
    if (qpSpreadBracketsExpression(n) == 0) return "";
    std::string r = f2;
    if (n[0] != '+' && n[0] != '-') r += '+';
    return packed(r + n);
}

// A text whose value misses `target` (cm) gets the difference as a constant
// term, as qpCalcuPointFormula does, packed into the constant the text has;
// "" when it would not fit.
std::string withCorrection(const std::string& text, double value, double target) {
    char number[32] = {};
    std::snprintf(number, sizeof number, "%+.4f", target - value);
    // Trailing zeros carry nothing.
    std::string k = number;
    while (k.size() > 2 && k.back() == '0') k.pop_back();
    if (k.back() == '.') k.pop_back();
    return packed(text + k);
}

// The copies' texts where the axis may slant: both follow the mirror as it
// turns with the size (composed by GradedPlan on the untouched piece); a
// text it could not compose is refit and counted.
void gradeCopies(PieceRun& run) {
    const long refitBefore = frame::gradedFallbackCount();
    for (int i = 0; i < run.piece()->pointCount; ++i) {
        if (run.origin[i] < kMirrored) continue;
        const auto k = static_cast<size_t>(run.origin[i] - kMirrored);
        if (k >= run.graded->size()) continue;
        frame::storeGraded(run.work, run.piece(), static_cast<short>(i), (*run.graded)[k]);
        ++run.figures->graded;
    }
    run.figures->fallback += static_cast<int>(frame::gradedFallbackCount() - refitBefore);
}

// The x formula of every mirrored point becomes 2 * (axis x) - x where the
// axis stays upright (Texts::Composed), in group mode too: the copy stays
// the mirror of its original at every size. A text no routine can compose
// is fitted to the point instead. Elsewhere the copies are graded.
void mirrorFormulas(PieceRun& run) {
    Piece* piece = run.piece();
    if (piece->charCount == 0 || piece->formulaCount == 0 || run.texts == Texts::None) return;
    if (run.texts == Texts::Graded) {
        gradeCopies(run);
        return;
    }
    for (int i = 0; i < piece->pointCount; ++i) {
        if (!run.mirrored(i)) continue;
        piece = run.piece();
        const std::string p = frame::formulaText(piece, i);
        std::string r = run.f2.empty() || p.empty() ? "" : composeX(run.f2, p);
        const double target = frame::coordOfPoint(piece, i)->x / 10.0;
        bool corrected = false;
        if (!r.empty()) {
            const double value = qpFormulaCalculation(piece, r.c_str());
            piece = run.piece();
            if (std::fabs(value - target) * 10.0 > kFormulaToleranceMm) {
                r = withCorrection(r, value, target);
                corrected = true;
                if (!r.empty()) {
                    const double again = qpFormulaCalculation(piece, r.c_str());
                    piece = run.piece();
                    if (std::fabs(again - target) * 10.0 > kFormulaToleranceMm) r.clear();
                }
            }
        }
        if (r.empty()) {
            // Composing was refused: the copied text is fitted to the point.
            qpAdjustFormula(run.work, piece, static_cast<short>(i), static_cast<short>(i));
            ++run.figures->fallback;
            continue;
        }
        writeXText(run.work, run.piece(), i, r);
        if (corrected) ++run.figures->corrected;
        else ++run.figures->composed;
    }
}

// The linear part of the mirror: images of the unit vectors.
struct Linear {
    double a11, a12, a21, a22;
};
Linear linearPart(const float reflect[9]) {
    Coord o{}, ux{}, uy{}, io{}, ix{}, iy{};
    ux.x = 1;
    uy.y = 1;
    qpTransCoord(&io, reflect, &o);
    qpTransCoord(&ix, reflect, &ux);
    qpTransCoord(&iy, reflect, &uy);
    return {ix.x - io.x, ix.y - io.y, iy.x - io.x, iy.y - io.y};
}

// Whether a grading code can name present point `point` (-1: none).
bool writable(int point) { return point >= 0 && point < frame::kMaxGradingReference; }

// Every grading step of a point that has a mirrored copy gets a twin there,
// its move mirrored; its reference's mirror is the twin's reference (a point
// on the axis is its own). References are earlier indices: one to an inner
// point of the axis, deleted, passes to its heir, the nearer axis end. A
// step whose reference names no point, or one past what a code can write,
// is dropped: it must not name another point. In group mode the references
// are only carried to their points' present indices (no twins).
void mirrorGrading(PieceRun& run) {
    Piece* piece = run.piece();
    if (piece->ruleCount == 0) return;
    const Linear lin = linearPart(run.reflect);
    std::unique_ptr<frame::PointIndexMap> straightened;  // made at the first reference
    auto heirOf = [&](int earlier) -> int {
        if (straightened == nullptr) {
            straightened.reset(new frame::PointIndexMap(const_cast<Piece*>(run.hostPiece)));
            for (int i = run.sEnd - 1; i > run.s0; --i) straightened->deleted(static_cast<short>(i));
        }
        return straightened->heir(static_cast<short>(earlier));
    };
    frame::GradingStepDrop drop(run.work, piece);
    for (int r = 0; r < piece->ruleCount; ++r) {
        Rule* rule = nullptr;
        qpGetRuleLptr(piece, static_cast<short>(r), &rule);
        if (rule == nullptr) break;
        const int count = rule->pRuleCount;
        for (int p = 0; p < count; ++p) {
            qpGetRuleLptr(piece, static_cast<short>(r), &rule);
            const auto step = static_cast<short>(rule->firstPRule + p);
            PRule* pr = nullptr;
            qpGetPRuleLptr(piece, step, &pr);
            if (pr == nullptr) break;
            const PRule original = *pr;
            const int kind = original.code % 100;
            int16_t twinCode = original.code;
            bool twinWritable = true;
            if (original.code > 99) {
                const int heir = heirOf(original.code / 100);
                const int own = heir < 0 ? -1 : run.firstWithOrigin(heir);
                if (!writable(own)) {
                    drop.drop(step);
                    continue;
                }
                pr->code = static_cast<int16_t>(kind + 100 * own);
                const int mirror = run.mirrorOf(heir);
                twinWritable = writable(mirror);
                if (twinWritable) twinCode = static_cast<int16_t>(kind + 100 * mirror);
            }
            if (run.group) continue;
            const int t = original.pointIndex;
            if (t < 0 || t >= static_cast<int>(run.origin.size()) || run.origin[t] >= kMirrored) continue;
            // A point on the axis is its own mirror: it has no copy to twin.
            const int twinPoint = run.firstWithOrigin(run.origin[t] + kMirrored);
            if (twinPoint < 0) continue;
            if (!twinWritable) {
                ++run.figures->twinsUnwritten;
                continue;
            }
            PRule made{};
            made.code = twinCode;
            made.pointIndex = static_cast<int16_t>(twinPoint);
            const double dx = original.dx, dy = original.dy;
            made.dx = static_cast<float>(dx * lin.a11 + dy * lin.a21);
            made.dy = static_cast<float>(dx * lin.a12 + dy * lin.a22);
            // Kinds 6, 10 and 14, plain or with a reference, keep one or
            // both components; any other kind's twin moves as the mirror of
            // the original.
            if (kind == kKindKeepBoth || kind == kKindMirrorY) made.dx = original.dx;
            if (kind == kKindKeepBoth || kind == kKindMirrorX) made.dy = original.dy;
            const int firstPRule = rule->firstPRule;
            PRule* inserted = nullptr;
            qpInsertPRule(run.work, piece, static_cast<short>(firstPRule + rule->pRuleCount - 1), &inserted);
            if (inserted == nullptr) continue;
            *inserted = made;
            piece = run.piece();
            for (int k = 0; k < piece->ruleCount; ++k) {
                Rule* other = nullptr;
                qpGetRuleLptr(piece, static_cast<short>(k), &other);
                if (k == r) ++other->pRuleCount;
                else if (other->firstPRule > firstPRule) ++other->firstPRule;
            }
        }
    }
    // Each rule's steps in point order (a stable exchange sort).
    for (int r = 0; r < piece->ruleCount; ++r) {
        Rule* rule = nullptr;
        qpGetRuleLptr(piece, static_cast<short>(r), &rule);
        PRule* base = nullptr;
        qpGetPRuleLptr(piece, rule->firstPRule, &base);
        if (base == nullptr) continue;
        std::stable_sort(base, base + rule->pRuleCount,
                         [](const PRule& x, const PRule& y) { return x.pointIndex < y.pointIndex; });
    }
    run.figures->stepsDropped += drop.finish();
}

// Seam allowances, from the host piece's own records (earlier indices;
// the work piece holds the same records in the same order). The mirror of an
// axis end is itself. A stretch wholly on the axis goes; one over the axis
// runs from each side to its mirror; any other (off the axis, or ending at
// one of its ends) keeps its ends and widths and gets a twin whose ends are
// the mirrors of its ends, each with its own end's width. Records appended
// here are not visited again.
void mirrorSeams(PieceRun& run) {
    Piece* piece = run.piece();
    const int original = run.hostPiece->extwidCount;
    if (original <= 1 || piece->extwidCount != original) return;
    const int mark = run.lastWithOrigin(run.s0), mark3 = run.lastWithOrigin(run.sEnd);
    auto mirrorOf = [&](int earlier) { return run.mirrorOf(earlier); };
    int at = 1;  // the present index of host record k
    for (int k = 1; k < original; ++k) {
        Extwid* h = nullptr;
        qpGetExtwidLptr(const_cast<Piece*>(run.hostPiece), static_cast<short>(k), &h);
        const Extwid src = *h;
        int from = src.fromPoint, to = src.toPoint;
        float wFrom = src.fromWidth, wTo = src.toWidth;
        int lo = run.lastWithOrigin(from), hi = run.lastWithOrigin(to);
        float wLo = wFrom, wHi = wTo;
        if (!(lo < hi)) {
            std::swap(lo, hi);
            std::swap(wLo, wHi);
            std::swap(from, to);
        }
        Extwid* e = nullptr;
        qpGetExtwidLptr(piece, static_cast<short>(at), &e);
        if (run.onAxis(from) && run.onAxis(to)) {
            // Wholly on the axis, which is now inside the piece (an end at
            // an inner axis point, deleted, included).
            qpDeleteExtwid(run.work, piece, static_cast<short>(at));
            piece = run.piece();
            continue;
        }
        Extwid keep{static_cast<int16_t>(lo), static_cast<int16_t>(hi), wLo, wHi};
        Extwid twin{};
        bool makeTwin = false;
        if (lo >= 0 && lo <= mark && hi >= mark3) {
            // Over the axis, which is now inside the piece: what lay on each
            // side of it runs on to its own mirror, at that side's width (two
            // symmetric stretches when it lay on both sides).
            const int ml = mirrorOf(from), mh = mirrorOf(to);
            const bool before = lo < mark && ml >= 0, after = hi > mark3 && mh >= 0;
            const Extwid low{static_cast<int16_t>(lo), static_cast<int16_t>(ml), wLo, wLo};
            const Extwid high{static_cast<int16_t>(mh), static_cast<int16_t>(hi), wHi, wHi};
            if (before) keep = low;
            else if (after) keep = high;
            else keep = *e;
            if (before && after) {
                twin = high;
                makeTwin = true;
            }
        } else if (lo < 0 && hi >= 0) {
            // One end is gone (an inner axis point): the stretch runs from
            // the other end to its mirror.
            const int mh = mirrorOf(to);
            if (mh >= 0)
                keep = Extwid{static_cast<int16_t>(std::min(hi, mh)), static_cast<int16_t>(std::max(hi, mh)), wHi, wHi};
            else
                keep = *e;
        } else if (lo >= 0) {
            // Off the axis or ending on it: a mirrored twin, each width at
            // the mirror of its own end.
            const int m1 = mirrorOf(from), m2 = mirrorOf(to);
            if (m1 >= 0 && m2 >= 0 && m1 != m2) {
                twin = m1 < m2 ? Extwid{static_cast<int16_t>(m1), static_cast<int16_t>(m2), wLo, wHi}
                               : Extwid{static_cast<int16_t>(m2), static_cast<int16_t>(m1), wHi, wLo};
                makeTwin = true;
            }
        } else {
            keep = *e;  // neither end found: left as it is
        }
        *e = keep;
        if (makeTwin) {
            Extwid* added = nullptr;
            qpIncreaseExtwid(run.work, piece, &added);
            if (added != nullptr) *added = twin;
            piece = run.piece();
        }
        ++at;
    }
}

// Corners: a twin at the mirror of every corner point, sides exchanged.
void mirrorCorners(PieceRun& run) {
    Piece* piece = run.piece();
    const int count = piece->cutanglCount;
    for (int k = 0; k < count; ++k) {
        Cutangl* c = nullptr;
        qpGetCutanglLptr(piece, static_cast<short>(k), &c);
        if (c == nullptr) break;
        const Cutangl src = *c;
        if (src.pointIndex < 0 || src.pointIndex >= static_cast<int>(run.origin.size())) continue;
        const int earlier = run.origin[src.pointIndex];
        if (earlier >= kMirrored) continue;
        const int at = run.lastWithOrigin(earlier + kMirrored);
        if (at < 0) continue;
        Cutangl* twin = nullptr;
        qpIncreaseCutangl(run.work, piece, &twin);
        if (twin == nullptr) continue;
        twin->side = static_cast<int16_t>(src.side == 1 ? 2 : 1);
        twin->pointIndex = static_cast<int16_t>(at);
        twin->first = src.second;
        twin->second = src.first;
        piece = run.piece();
    }
}

// The mirrored copy of a duplicated mark (an s..k line of a code-4
// segment, copied last) goes; grading references follow the deletes.
void removeDuplicatedMarks(PieceRun& run) {
    Piece* piece = run.piece();
    frame::PointIndexMap map(piece);
    int removed = 0;
    for (int i = piece->pointCount - 1; i >= 0 && removed < kDuplicatedMarksRemoved; --i) {
        Point* p = pointAt(piece, i);
        if (p->type != 'k' && p->type != 's') continue;
        Seg* g = nullptr;
        qpGetSegLptr(piece, p->segIndex, &g);
        if (g == nullptr || g->code != kDuplicatedMarkCode) continue;
        qpDeletePoint(run.work, piece, static_cast<short>(i));
        piece = run.piece();
        map.deleted(static_cast<short>(i));
        run.origin.erase(run.origin.begin() + i);
        ++removed;
    }
    run.figures->stepsDropped += frame::remapGradingCodes(run.work, piece, map);
}

// A notch on the axis is its own mirror: its copy goes, and it stays on the
// axis (now straight, inside the whole piece, on no line of it) rather than
// being seated on the outline.
void keepAxisNotchesOnce(PieceRun& run) {
    if (run.axisNotches.empty()) return;
    Piece* piece = run.piece();
    for (int k : run.axisNotches) {
        const int copy = run.lastWithOrigin(k + kMirrored);
        if (copy < 0) continue;
        qpDeletePoint(run.work, piece, static_cast<short>(copy));
        piece = run.piece();
        run.origin.erase(run.origin.begin() + copy);
    }
    const Coord c0 = *frame::coordOfPoint(piece, run.s0);
    const Coord c1 = *frame::coordOfPoint(piece, run.lastWithOrigin(run.sEnd));
    const double ux = c1.x - c0.x, uy = c1.y - c0.y, length2 = ux * ux + uy * uy;
    for (int k : run.axisNotches) {
        const int at = run.lastWithOrigin(k);
        Coord* c = frame::coordOfPoint(piece, at);
        if (c == nullptr || length2 <= 0) continue;
        const double t = std::clamp(((c->x - c0.x) * ux + (c->y - c0.y) * uy) / length2, 0.0, 1.0);
        c->x = static_cast<float>(c0.x + t * ux);
        c->y = static_cast<float>(c0.y + t * uy);
        for (int j = 0; j < piece->sPointCount; ++j) {
            SPoint* sp = frame::sPointAt(piece, j);
            if (sp == nullptr || sp->pointIndex != at) continue;
            sp->lineIndex = -1;
            sp->position = 0;
        }
    }
}

// The FRules of piece 0 as the pattern had them, unless the host's
// fRuleLock is set.
void restoreFRules(PieceRun& run) {
    if (run.n != 0 || run.fRuleLock != 0) return;
    Piece* before = nullptr;
    qpGetPieceLptr(run.newPattern, 0, &before);
    Piece* piece = run.piece();
    if (before == nullptr) return;
    const int count = std::min(before->fRuleCount, piece->fRuleCount);
    for (int k = 0; k < count; ++k) {
        FRule* from = nullptr;
        FRule* to = nullptr;
        qpGetFRuleLptr(before, static_cast<short>(k), &from);
        qpGetFRuleLptr(piece, static_cast<short>(k), &to);
        if (from != nullptr && to != nullptr) *to = *from;
    }
}

}  // namespace

Piece* PieceRun::piece() const {
    Piece* p = nullptr;
    qpGetPieceLptr(work, 0, &p);
    return p;
}

void PieceRun::indexOrigins() const {
    if (indexed_ == origin.size()) return;
    int top = 0;
    for (int v : origin) top = std::max(top, v);
    firstAt_.assign(static_cast<size_t>(top) + 1, -1);
    lastAt_.assign(static_cast<size_t>(top) + 1, -1);
    for (size_t i = 0; i < origin.size(); ++i) {
        if (origin[i] < 0) continue;
        const auto v = static_cast<size_t>(origin[i]);
        if (firstAt_[v] < 0) firstAt_[v] = static_cast<int>(i);
        lastAt_[v] = static_cast<int>(i);
    }
    indexed_ = origin.size();
}

int PieceRun::firstWithOrigin(int value) const {
    indexOrigins();
    return value >= 0 && value < static_cast<int>(firstAt_.size()) ? firstAt_[static_cast<size_t>(value)] : -1;
}

int PieceRun::lastWithOrigin(int value) const {
    indexOrigins();
    return value >= 0 && value < static_cast<int>(lastAt_.size()) ? lastAt_[static_cast<size_t>(value)] : -1;
}

bool PieceRun::onAxis(int earlier) const {
    return (earlier >= s0 && earlier <= sEnd) ||
           std::find(axisNotches.begin(), axisNotches.end(), earlier) != axisNotches.end();
}

int PieceRun::mirrorOf(int earlier) const {
    if (onAxis(earlier)) return lastWithOrigin(earlier);
    if (earlier == e) earlier = a;  // the outline closes on its first point
    const int copy = lastWithOrigin(earlier + kMirrored);
    // The segment's first point is not copied when it lies on the axis.
    if (copy < 0 && earlier == a) return lastWithOrigin(a);
    return copy;
}

void mirrorRecords(PieceRun& run) {
    keepAxisNotchesOnce(run);
    mirrorFormulas(run);
    std::vector<int> stay;
    for (int k : run.axisNotches) stay.push_back(run.lastWithOrigin(k));
    seatNotches(run.work, 0, stay);
    mirrorGrading(run);
    if (!run.group) {
        mirrorSeams(run);
        mirrorCorners(run);
    }
    removeDuplicatedMarks(run);
    restoreFRules(run);
}

}  // namespace symmetry
