// qpInsertSamePoint and CopyFormulaTexts.
#include "frame/same_point.h"

#include <cstring>
#include <string>

#include "frame/exports.h"
#include "frame/room.h"
#include "frame/siblings.h"

namespace {

// Copies one formula text (offset, length in the piece's text area) into a
// new text at the end of the area and returns its new offset. The text is
// held in a buffer of its own size while qpIncreaseString may move the area:
// a formula text of any length is copied whole (a fixed 100-byte buffer would
// overrun on longer texts). A range that does not lie inside the area is
// copied as an empty text, so nothing is read outside the area.
short copyText(PatternBuffer* pattern, Piece* piece, short offset, short length,
               short* newLength) {
    short charCount = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &charCount, &area);
    std::string text;
    if (length > 0 && offset >= 0 && offset + length <= piece->charCount && area) {
        text.assign(area + offset, static_cast<size_t>(length));
        text.back() = '\0';  // the stored length includes the terminating zero
    } else {
        text.assign(1, '\0');
    }
    short newOffset = 0;
    char* space = nullptr;
    qpIncreaseString(pattern, piece, static_cast<short>(text.size()), &newOffset, &space);
    std::memcpy(space, text.data(), text.size());
    *newLength = static_cast<short>(text.size());
    return newOffset;
}

}  // namespace

void CopyFormulaTexts(PatternBuffer* pattern, Piece* piece, const Formula* source,
                      Formula* target, short replace) {
    // Texts are added at the end of the area and removed from inside it; the
    // Formula records themselves stay where they are, so `source` and
    // `target` remain valid. Offsets are read at the time of each call: a
    // removal lowers the offsets of every text after it.
    short area = 0;
    if (replace) {
        qpDeleteString(pattern, piece, &area, target->xTextOffset, target->xTextLength);
        qpDeleteString(pattern, piece, &area, target->yTextOffset, target->yTextLength);
    }
    short length = 0;
    short offset = copyText(pattern, piece, source->xTextOffset, source->xTextLength, &length);
    target->xTextOffset = offset;
    target->xTextLength = length;
    offset = copyText(pattern, piece, source->yTextOffset, source->yTextLength, &length);
    target->yTextOffset = offset;
    target->yTextLength = length;
}

QP_EXPORT short QP_WINAPI qpInsertSamePoint(PatternBuffer* pattern, Piece* piece, short i, Point** result) {
    if (!pattern || !piece || i < 0 || i >= piece->pointCount)
        return 0;  // an index outside the piece is refused like a null piece
    Point* point = nullptr;
    qpGetPointLptr(piece, i, &point);
    const char type = point->type;
    const char letter = typeLetter(type);
    if (letter != 'K' && letter != 'C')
        return 0;
    // Room: the twin, its coordinate and formula with copies of i's texts,
    // and a line at a turning point. A piece or block without it is refused
    // like a bad index: the store would stop the program.
    frame::PieceGrowth growth;
    growth.copyPoints(piece, i, i);
    growth.lines = letter == 'K' ? 1 : 0;
    if (!frame::patternTakes(pattern, piece, growth))
        return 0;

    const short lineIn = point->lineIn;  // c: the line ending at (or holding) i
    Coord* coord = nullptr;
    qpGetCoordLptr(piece, point->coordIndex, &coord);
    const float x = coord->x, y = coord->y;  // raw values: the twin lies exactly on i
    const bool hasOut = point->lineOut >= 0;
    short outKind = 0;
    if (hasOut) {
        Line* out = nullptr;
        qpGetLineLptr(piece, point->lineOut, &out);
        outKind = out->kind;
    }

    const short twin = static_cast<short>(i + 1);
    Point* added = nullptr;
    qpInsertPoint(pattern, piece, i, &added);
    added->type = type;
    added->coordIndex = piece->coordCount;
    if (piece->formulaCount != 0)
        added->formulaIndex = piece->formulaCount;

    if (letter == 'K') {
        // The twin ends line c and starts the next: a two-point line joins them.
        Line* line = nullptr;
        qpInsertLine(pattern, piece, lineIn, &line);
        line->pointCount = 2;
        line->firstPoint = i;
        if (hasOut) {
            line->joinPoint = twin;
            line->joinCount = static_cast<short>(line->joinCount - 1);
            line->joinKind = outKind;
        }
        qpGetPointLptr(piece, twin, &added);
        added->lineIn = static_cast<short>(lineIn + 1);
        added->lineOut = hasOut ? static_cast<short>(lineIn + 2) : static_cast<short>(-1);
        (added - 1)->lineOut = static_cast<short>(lineIn + 1);
    } else {
        qpGetPointLptr(piece, twin, &added);
        added->lineIn = lineIn;
        added->lineOut = lineIn;
    }

    Coord* newCoord = nullptr;
    qpIncreaseCoord(pattern, piece, &newCoord);
    newCoord->pointIndex = twin;
    newCoord->x = x;
    newCoord->y = y;

    if (piece->formulaCount != 0) {
        Formula* target = nullptr;
        qpIncreaseFormula(pattern, piece, &target);
        const short targetIndex = static_cast<short>(piece->formulaCount - 1);
        Point* original = nullptr;
        qpGetPointLptr(piece, i, &original);
        Formula* source = nullptr;
        qpGetFormulaLptr(piece, original->formulaIndex, &source);
        qpGetFormulaLptr(piece, targetIndex, &target);
        CopyFormulaTexts(pattern, piece, source, target, 0);
    }

    if (result)
        qpGetPointLptr(piece, twin, result);
    return twin;
}
