// Room: what an edit adds, and whether the piece and the block take it.
#include "frame/room.h"

#include <algorithm>

#include "frame/siblings.h"
#include "win/win32.h"

namespace frame {

void PieceGrowth::addPoints(long n, bool withFormulas, long textBytesEach) {
    points += n;
    coords += n;
    if (!withFormulas) return;
    formulas += n;
    textBytes += 2 * n * textBytesEach;
}

void PieceGrowth::copyPoints(Piece* source, short first, short last) {
    const long n = last >= first ? last - first + 1 : 0;
    points += n;
    coords += n;
    if (source->formulaCount == 0) return;
    formulas += n;
    for (short i = first; i <= last; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(source, i, &p);
        Formula* f = nullptr;
        if (p) qpGetFormulaLptr(source, p->formulaIndex, &f);
        textBytes += f ? std::max<long>(f->xTextLength, 1) + std::max<long>(f->yTextLength, 1) : 2;
    }
}

void PieceGrowth::rewrite(long n, bool withFormulas) {
    if (!withFormulas || n <= 0) return;
    textBytes += 2 * n * kMaxRewriteGrowthBytes + kMaxFormulaTextBytes;
}

// Bytes of n records of one kind.
template <class Record>
long bytesOf(long n) {
    return static_cast<long>(sizeof(Record)) * n;
}

long PieceGrowth::bytes() const {
    constexpr long kTextAreaRounding = 3;  // the text area takes whole 4-byte words
    return bytesOf<Point>(points) + bytesOf<Coord>(coords) + bytesOf<Line>(lines) + bytesOf<Seg>(segs) +
           bytesOf<SPoint>(sPoints) + bytesOf<Formula>(formulas) + textBytes + kTextAreaRounding +
           bytesOf<Rule>(rules) + bytesOf<PRule>(pRules) + bytesOf<Extwid>(extwids) + bytesOf<Cutangl>(cutangls);
}

long derivedTextBytes(Piece* piece) {
    long longest = 0;
    for (short i = 0; piece && i < piece->formulaCount; ++i) {
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, i, &f);
        if (f) longest = std::max<long>(longest, std::max(f->xTextLength, f->yTextLength));
    }
    return std::min(longest + kMaxRewriteGrowthBytes, kMaxFormulaTextBytes);
}

bool pieceTakes(const Piece* piece, const PieceGrowth& growth) {
    const long have[] = {piece ? piece->pointCount : 0,  piece ? piece->coordCount : 0,
                         piece ? piece->lineCount : 0,   piece ? piece->segCount : 0,
                         piece ? piece->sPointCount : 0, piece ? piece->formulaCount : 0,
                         piece ? piece->ruleCount : 0,   piece ? piece->pRuleCount : 0,
                         piece ? piece->extwidCount : 0, piece ? piece->cutanglCount : 0};
    const long add[] = {growth.points,  growth.coords,   growth.lines, growth.segs,
                        growth.sPoints, growth.formulas, growth.rules, growth.pRules,
                        growth.extwids, growth.cutangls};
    for (size_t k = 0; k < sizeof have / sizeof have[0]; ++k)
        if (add[k] < 0 || have[k] + add[k] > kMaxPieceRecords) return false;
    const long chars = piece ? piece->charCount : 0;
    return growth.textBytes >= 0 && chars + growth.textBytes <= kMaxTextAreaBytes;
}

long blockRoom(PatternBuffer* pattern) {
    HGLOBAL block = pattern ? GlobalHandle(pattern) : nullptr;
    if (block == nullptr) return -1;
    return static_cast<long>(GlobalSize(block)) - pattern->totalSize;
}

bool patternTakes(PatternBuffer* pattern, const Piece* piece, const PieceGrowth& growth, long extraBytes) {
    if (!pieceTakes(piece, growth)) return false;
    const long room = blockRoom(pattern);
    return room >= 0 && growth.bytes() + extraBytes <= room;
}

}  // namespace frame
