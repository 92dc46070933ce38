// qpModifyCurve2Turnp and qpModifyCurve2Arcp; their rules are in
// curve_reshape.h.
#include "siblings/repair/curve_reshape.h"

#include "frame/siblings.h"
#include "siblings/geometry/curve_model.h"

namespace {

constexpr short kChordLineKind = 1;

// The line that holds point i strictly between its ends, or -1.
int interiorLine(Piece* piece, int i) {
    if (i < 0 || i >= piece->pointCount) return -1;
    Point* p = nullptr;
    qpGetPointLptr(piece, static_cast<short>(i), &p);
    if (p == nullptr || p->lineIn != p->lineOut) return -1;
    const int l = p->lineIn;
    if (l < 0 || l >= piece->lineCount) return -1;
    Line* line = nullptr;
    qpGetLineLptr(piece, static_cast<short>(l), &line);
    if (line == nullptr) return -1;
    if (i <= line->firstPoint || i >= line->firstPoint + line->pointCount - 1) return -1;
    return l;
}

// A part of two points is a chord whatever it was; a longer part keeps the
// kind of the line it came from (a part of an arc keeps its circle).
void settleKind(Line* line, short oldKind) {
    line->kind = line->pointCount == 2 ? kChordLineKind : oldKind;
}

// Length (mm) of the points first .. first + count - 1 along their lines.
float measured(Piece* piece, int first, int count) {
    short index = 0;
    float length = 0.0f, x = 0.0f, y = 0.0f;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kFlagLength | qpcurve::kFlagLines, 0, 0,
            static_cast<short>(first), static_cast<short>(count), -1,
            qpcurve::kDefaultResolution, &index, &length, &x, &y, qpcurve::kIdentity);
    return length;
}

// Splits line l at its interior point i (see curve_reshape.h).
void splitAt(PatternBuffer* pattern, Piece* piece, int l, int i) {
    Line* line = nullptr;
    qpGetLineLptr(piece, static_cast<short>(l), &line);
    const int first = line->firstPoint;
    const int last = first + line->pointCount - 1;
    const short kind = line->kind;
    const bool hasNext = l + 1 < piece->lineCount;
    Line next{};
    if (hasNext) {
        Line* n = nullptr;
        qpGetLineLptr(piece, static_cast<short>(l + 1), &n);
        next = *n;
    }

    Line* added = nullptr;
    qpInsertLine(pattern, piece, static_cast<short>(l), &added);

    qpGetLineLptr(piece, static_cast<short>(l), &line);
    line->pointCount = static_cast<short>(i - first + 1);
    settleKind(line, kind);
    qpGetLineLptr(piece, static_cast<short>(l + 1), &added);
    added->firstPoint = static_cast<short>(i);
    added->pointCount = static_cast<short>(last - i + 1);
    settleKind(added, kind);
    if (hasNext) {
        Line* n = nullptr;
        qpGetLineLptr(piece, static_cast<short>(l + 2), &n);
        *n = next;
    }

    Point* p = nullptr;
    qpGetPointLptr(piece, static_cast<short>(i), &p);
    p->type = withCaseOf(p->type, 'K');
    p->lineIn = static_cast<short>(l);
    p->lineOut = static_cast<short>(l + 1);
    for (int j = i + 1; j <= last; ++j) {
        qpGetPointLptr(piece, static_cast<short>(j), &p);
        p->lineIn = static_cast<short>(l + 1);
        // The old last point keeps its way out, unless it was a curve point
        // of L itself: the end of a line still being drawn goes with its part.
        if (j < last || p->lineOut == l) p->lineOut = static_cast<short>(l + 1);
    }

    // Notch positions are lengths from their line's first point.
    const float head = measured(piece, first, i - first + 1);
    for (int s = 0; s < piece->sPointCount; ++s) {
        SPoint* sp = nullptr;
        qpGetSPointLptr(piece, static_cast<short>(s), &sp);
        if (sp == nullptr || sp->lineIndex != l || sp->position <= head) continue;
        sp->lineIndex = static_cast<short>(l + 1);
        sp->position -= head;
    }
}

}  // namespace

QP_SIBLING_EXPORT void qpModifyCurve2Turnp(PatternBuffer* pattern, Piece* piece, short i) {
    if (pattern == nullptr || piece == nullptr) return;
    const int l = interiorLine(piece, i);
    if (l < 0) return;
    splitAt(pattern, piece, l, i);
}

QP_SIBLING_EXPORT void qpModifyCurve2Arcp(PatternBuffer* pattern, Piece* piece, short i) {
    if (pattern == nullptr || piece == nullptr) return;
    int l = interiorLine(piece, i);
    if (l < 0) return;
    Line* line = nullptr;
    qpGetLineLptr(piece, static_cast<short>(l), &line);
    if (i - 1 > line->firstPoint) {
        splitAt(pattern, piece, l, i - 1);
        l = l + 1;  // i now lies inside the second part
    }
    qpGetLineLptr(piece, static_cast<short>(l), &line);
    if (i + 1 < line->firstPoint + line->pointCount - 1) splitAt(pattern, piece, l, i + 1);
    qpGetLineLptr(piece, static_cast<short>(l), &line);
    line->kind = qpcurve::kArcLineKind;
}
