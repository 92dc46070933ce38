// Graded edits (see graded_edit.h).
#include "frame/graded_edit.h"

#include <cmath>
#include <cstring>

#include "frame/exports.h"
#include "frame/piece_edit.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "frame/work_buffer.h"

namespace frame {

namespace {

long fallbacks = 0;

constexpr size_t kNumberTextBytes = 32;  // qpConvertFloat2String's output
constexpr size_t kSplitBytes = 80;       // qpSplitFormulaNumeral's expression buffer
constexpr size_t kPackBytes = 160;       // room for what qpPackExpression reads and writes
constexpr double kFormulaToleranceMm = 0.1;  // a written text gives its point within this
// A written text's coefficient may differ from its grade by the dropped
// term and the three-decimal rounding; more means the evaluation read the
// text otherwise than it was written.
constexpr double kWrittenGradePerCm = 0.002;

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

// The parameter names of a text: one letter, or two letters of one case.
void namesIn(const std::string& text, std::vector<std::string>& names) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (!isLetter(text[i])) continue;
        std::string name(1, text[i]);
        if (i + 1 < text.size() && isLetter(text[i + 1]) && isUpper(text[i + 1]) == isUpper(text[i]))
            name += text[++i];
        bool known = false;
        for (const std::string& n : names) known = known || n == name;
        if (!known) names.push_back(name);
    }
}

bool holdsName(const std::string& text, const std::string& name) {
    std::vector<std::string> names;
    namesIn(text, names);
    for (const std::string& n : names)
        if (n == name) return true;
    return false;
}

// A measurement set to another value for the moment, and always restored.
// The record is fetched again to restore it: a lookup may add records.
class Nudge {
public:
    Nudge(Piece* piece, const std::string& name, double byCm) : piece_(piece), name_(name) {
        ParaName* p = record();
        if (!p) return;
        was_ = p->value;
        p->value = static_cast<float>(was_ + byCm);
        set_ = true;
    }
    ~Nudge() {
        ParaName* p = set_ ? record() : nullptr;
        if (p) p->value = was_;
    }
    Nudge(const Nudge&) = delete;
    Nudge& operator=(const Nudge&) = delete;

private:
    ParaName* record() const {
        ParaName* p = nullptr;
        qpGetParaNameLptr(piece_, name_[0], name_.size() > 1 ? name_[1] : 0, &p);
        return p;
    }
    Piece* piece_;
    std::string name_;
    float was_ = 0.0f;
    bool set_ = false;
};

double valueCm(Piece* piece, const std::string& text) { return qpFormulaCalculation(piece, text.c_str()); }

// d(text)/d(measurement), cm per cm, for every name of `names`.
std::vector<double> slopesOf(Piece* piece, const std::string& text, const std::vector<std::string>& names) {
    std::vector<double> slopes(names.size(), 0.0);
    for (size_t k = 0; k < names.size(); ++k) {
        if (!holdsName(text, names[k])) continue;
        double up = 0, down = 0;
        {
            Nudge n(piece, names[k], kGradeStepCm);
            up = valueCm(piece, text);
        }
        {
            Nudge n(piece, names[k], -kGradeStepCm);
            down = valueCm(piece, text);
        }
        slopes[k] = (up - down) / (2 * kGradeStepCm);
    }
    return slopes;
}

std::string numberText(double v) {
    char number[kNumberTextBytes] = {};
    qpConvertFloat2String(v, "", number);
    return number;
}

// The parametric terms of a text: the text without its constant terms.
std::string parametricTerms(const std::string& text) {
    if (text.size() >= kSplitBytes) return "";
    char expression[kSplitBytes] = {};
    float rest = 0;
    qpSplitFormulaNumeral(text.c_str(), expression, &rest);
    return expression;
}

// One coordinate's graded text: the source's terms, the difference terms,
// packed, and the constant; "" when no sound text can be written.
std::string gradedText(Piece* piece, const std::string& sourceText, double targetMm,
                       const std::vector<std::string>& names, const std::vector<double>& gradeMmPerCm) {
    const std::string terms = parametricTerms(sourceText);
    const std::vector<double> own = slopesOf(piece, terms, names);
    std::string text = terms;
    bool added = false;
    for (size_t k = 0; k < names.size(); ++k) {
        const double d = gradeMmPerCm[k] / 10.0 - own[k];
        if (std::fabs(d) * kGradeReachCm * 10.0 < kNegligibleGradeMm) continue;
        const std::string number = numberText(std::fabs(d));
        if (number == "0") continue;
        if (d < 0) text += '-';
        else if (!text.empty()) text += '+';
        text += number + "*" + names[k];
        added = true;
    }
    if (added && text.size() < kPackBytes) {
        char packed[kPackBytes] = {};
        std::memcpy(packed, text.c_str(), text.size() + 1);
        // A refusal leaves the unpacked sum, which reads the same.
        if (qpPackExpression(packed) != 0) text = packed;
    }
    const double residual = targetMm - (text.empty() ? 0.0 : valueCm(piece, text) * 10.0);
    if (std::fabs(residual) > kFormulaResidualMm) {
        const std::string number = numberText(residual / 10.0);
        if (!text.empty() && number[0] != '-') text += '+';
        text += number;
    } else if (text.empty()) {
        text = "0";
    }
    // What is stored must give the point and its grade.
    if (text.size() >= kMaxGradedTextBytes) return "";
    if (std::fabs(valueCm(piece, text) * 10.0 - targetMm) > kFormulaToleranceMm) return "";
    const std::vector<double> written = slopesOf(piece, text, names);
    for (size_t k = 0; k < names.size(); ++k)
        if (std::fabs(written[k] - gradeMmPerCm[k] / 10.0) > kWrittenGradePerCm) return "";
    return text;
}

// Whether another text of the piece's formulas lies at `offset`.
bool textShared(Piece* piece, short formula, bool yText, short offset) {
    for (short j = 0; j < piece->formulaCount; ++j) {
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, j, &f);
        if (!f) continue;
        if (!(j == formula && !yText) && f->xTextLength > 0 && f->xTextOffset == offset) return true;
        if (!(j == formula && yText) && f->yTextLength > 0 && f->yTextOffset == offset) return true;
    }
    return false;
}

// Stores `text` as one text of Formula `formula`, then removes the text it
// had unless another formula reads it.
void replaceText(PatternBuffer* pattern, Piece* piece, short formula, bool yText, const std::string& text) {
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, formula, &f);
    if (!f) return;
    const short oldOffset = yText ? f->yTextOffset : f->xTextOffset;
    const short oldLength = yText ? f->yTextLength : f->xTextLength;
    const bool oldValid = oldOffset >= 0 && oldLength > 0 && oldOffset + oldLength <= piece->charCount;
    const short length = static_cast<short>(text.size() + 1);
    short offset = 0;
    char* space = nullptr;
    qpIncreaseString(pattern, piece, length, &offset, &space);
    if (!space) return;
    std::memcpy(space, text.c_str(), text.size() + 1);
    qpGetFormulaLptr(piece, formula, &f);
    (yText ? f->yTextOffset : f->xTextOffset) = offset;
    (yText ? f->yTextLength : f->xTextLength) = length;
    if (oldValid && !textShared(piece, formula, yText, oldOffset)) {
        short n = 0;
        qpDeleteString(pattern, piece, &n, oldOffset, oldLength);
    }
}

short formulaOf(Piece* piece, short point) {
    const Point* p = pointAt(piece, point);
    return p && p->formulaIndex >= 0 && p->formulaIndex < piece->formulaCount ? p->formulaIndex : -1;
}

// One text of one point of one of the plan's pieces, with its base value.
struct Text {
    size_t piece;
    short point;
    bool y;
    std::string text;
    double baseCm;
};

}  // namespace

long gradedFallbackCount() { return fallbacks; }

GradedPlan::GradedPlan(const std::vector<Piece*>& pieces, const PlanGeometry& geometry) {
    // The basis: every name the pieces' texts hold, and per name the texts
    // that hold it.
    std::vector<Text> texts;
    for (size_t pi = 0; pi < pieces.size(); ++pi) {
        Piece* piece = pieces[pi];
        for (short i = 0; piece->formulaCount != 0 && i < piece->pointCount; ++i) {
            if (formulaOf(piece, i) < 0 || !coordOfPoint(piece, i)) continue;
            for (const bool y : {false, true}) {
                Text t{pi, i, y, formulaText(piece, i, y), 0.0};
                namesIn(t.text, names_);
                texts.push_back(std::move(t));
            }
        }
    }
    std::vector<std::vector<size_t>> holding(names_.size());
    for (size_t t = 0; t < texts.size(); ++t) {
        for (size_t k = 0; k < names_.size(); ++k)
            if (holdsName(texts[t].text, names_[k])) holding[k].push_back(t);
        texts[t].baseCm = valueCm(pieces[texts[t].piece], texts[t].text);
    }

    std::vector<PatternBuffer*> scratch;
    std::vector<Piece*> copies;
    for (Piece* piece : pieces) {
        PatternBuffer* buffer = MakeWorkBuffer(piece);
        Piece* copy = nullptr;
        if (buffer) qpGetPieceLptr(buffer, 0, &copy);
        scratch.push_back(buffer);
        copies.push_back(copy);
    }
    bool ok = geometry(pieces, base_);
    for (Piece* copy : copies) ok = ok && copy != nullptr;

    // Moves the copies' points that hold name k to where their formulas put
    // them (by their offset from the base value, so that a formula a little
    // off its point moves its point by what it changes), or back.
    auto place = [&](size_t k, bool atBase) {
        for (size_t t : holding[k]) {
            const Text& text = texts[t];
            Coord* original = coordOfPoint(pieces[text.piece], text.point);
            Coord* c = coordOfPoint(copies[text.piece], text.point);
            const float base = text.y ? original->y : original->x;
            const double by = atBase ? 0.0 : (valueCm(pieces[text.piece], text.text) - text.baseCm) * 10.0;
            (text.y ? c->y : c->x) = static_cast<float>(base + by);
        }
    };
    std::vector<PlanPoint> up, down;
    for (size_t k = 0; ok && k < names_.size(); ++k) {
        {
            Nudge n(pieces[0], names_[k], kGradeStepCm);
            place(k, false);
            ok = geometry(copies, up);
        }
        {
            Nudge n(pieces[0], names_[k], -kGradeStepCm);
            place(k, false);
            ok = ok && geometry(copies, down) && down.size() == up.size() && up.size() == base_.size();
        }
        place(k, true);
        if (!ok) break;
        if (grades_.empty()) grades_.assign(base_.size() * names_.size() * 2, 0.0);
        for (size_t j = 0; j < up.size(); ++j) {
            grades_[(j * names_.size() + k) * 2] = (up[j].x - down[j].x) / (2 * kGradeStepCm);
            grades_[(j * names_.size() + k) * 2 + 1] = (up[j].y - down[j].y) / (2 * kGradeStepCm);
        }
    }
    for (PatternBuffer* buffer : scratch) FreeGlobalBlock(buffer);
    if (!ok) {
        grades_.clear();
        base_.clear();
    }
    graded_ = ok;
}

bool GradedPlan::sameGrade(Piece* piece, short point, size_t output) const {
    if (!graded_ || formulaOf(piece, point) < 0) return false;
    for (const bool y : {false, true}) {
        const std::vector<double> own = slopesOf(piece, formulaText(piece, point, y), names_);
        for (size_t k = 0; k < names_.size(); ++k) {
            const double grade = y ? gradeY(output, k) : gradeX(output, k);
            if (std::fabs(own[k] - grade / 10.0) > kSameGradePerCm) return false;
        }
    }
    return true;
}

GradedTexts GradedPlan::compose(Piece* piece, short source, size_t output) const {
    GradedTexts texts;
    if (!graded_ || output >= base_.size()) return texts;
    for (const bool y : {false, true}) {
        std::vector<double> grade(names_.size());
        for (size_t k = 0; k < names_.size(); ++k) grade[k] = y ? gradeY(output, k) : gradeX(output, k);
        (y ? texts.y : texts.x) =
            gradedText(piece, formulaText(piece, source, y), y ? base_[output].y : base_[output].x, names_, grade);
    }
    return texts;
}

long GradedTexts::bytes() const {
    auto of = [](const std::string& t) { return t.empty() ? kMaxRewriteGrowthBytes : static_cast<long>(t.size()) + 1; };
    return of(x) + of(y);
}

void storeGraded(PatternBuffer* pattern, Piece* piece, short point, const GradedTexts& texts) {
    if (formulaOf(piece, point) < 0) return;
    bool refit = false;
    for (const bool y : {false, true}) {
        const std::string& text = y ? texts.y : texts.x;
        if (text.empty()) {
            refit = true;
            ++fallbacks;
        } else if (text != formulaText(piece, point, y)) {
            replaceText(pattern, piece, formulaOf(piece, point), y, text);
        }
    }
    if (refit) qpAdjustFormula(pattern, piece, point, point);
}

}  // namespace frame
