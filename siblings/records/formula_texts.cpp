// Reading and writing one formula text through the store's operations.
#include <cstring>
#include <string>

#include "siblings/records/store_extras.h"

QP_STORE_CXX_EXPORT std::string storeFormulaText(Piece* piece, int formula, int axis) {
    if (piece == nullptr || formula < 0 || formula >= piece->formulaCount) return "";
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, static_cast<short>(formula), &f);
    if (f == nullptr) return "";
    const short offset = axis == 0 ? f->xTextOffset : f->yTextOffset;
    const short length = axis == 0 ? f->xTextLength : f->yTextLength;
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    if (area == nullptr || offset < 0 || length <= 0 || offset + length > piece->charCount) return "";
    // A text ends at its zero or at its stored length, whichever comes first.
    return std::string(area + offset, strnlen(area + offset, static_cast<size_t>(length)));
}

QP_STORE_CXX_EXPORT void storeWriteFormulaText(PatternBuffer* pattern, Piece* piece, int formula,
                                               int axis, const std::string& text) {
    if (piece == nullptr || formula < 0 || formula >= piece->formulaCount) return;
    const short length = static_cast<short>(text.size() + 1);
    short offset = 0;
    char* dst = nullptr;
    qpIncreaseString(pattern, piece, length, &offset, &dst);
    if (dst == nullptr) return;
    std::memcpy(dst, text.c_str(), text.size() + 1);
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, static_cast<short>(formula), &f);
    if (f == nullptr) return;
    if (axis == 0) {
        f->xTextOffset = offset;
        f->xTextLength = length;
    } else {
        f->yTextOffset = offset;
        f->yTextLength = length;
    }
}
