// SVG pictures of pieces (see svg.h).
#include "host/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <unordered_map>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/piece_geometry.h"
#include "host/seam_allowance.h"

namespace host {

namespace {

// Sizes at a text unit of 1 (Style scales them), millimetres.
constexpr double kMargin = 30.0;       // around a piece inside its panel
constexpr double kGap = 30.0;          // between panels, and around the page
constexpr double kTitleHeight = 24.0;  // above a panel, for its caption
constexpr double kTitleFont = 14.0;    // the picture's title and the captions
constexpr double kFont = 9.0;          // point numbers
constexpr double kGridFont = 7.0;
constexpr double kGrid = 50.0;         // mm between grid lines (not scaled)
constexpr double kMaxRowWidth = 2400.0;

std::string num(double v, int decimals = 2) {
    char t[32];
    std::snprintf(t, sizeof t, "%.*f", decimals, v);
    std::string s = t;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

struct Box {
    double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
    void add(double x, double y) {
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    bool empty() const { return minX > maxX; }
    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
    bool overlaps(const Box& o) const { return minX < o.maxX && o.minX < maxX && minY < o.maxY && o.minY < maxY; }
    bool inside(const Box& o) const { return minX >= o.minX && maxX <= o.maxX && minY >= o.minY && maxY <= o.maxY; }
};

// Everything of a picture that grows with its text unit.
struct Style {
    double unit = 1.0;
    double margin() const { return kMargin * unit; }
    double gap() const { return kGap * unit; }
    double titleHeight() const { return kTitleHeight * unit; }
    double titleFont() const { return kTitleFont * unit; }
    double font() const { return kFont * unit; }
    double gridFont() const { return kGridFont * unit; }
    std::string width(double w) const { return num(w * unit); }
};

// The model's samples of the piece's lines added to the box as they come:
// a 16k-point piece samples some 650k points, which the box need not hold.
void addSamples(Box& box, Piece* piece) {
    visitModelSamples(piece, 0, 0, [&](bool, Pt p) { box.add(p.x, p.y); });
}

void addPiece(Box& box, Piece* piece) {
    for (short i = 0; i < piece->pointCount; ++i) {
        double x, y;
        if (pointPosition(piece, i, x, y)) box.add(x, y);
    }
    addSamples(box, piece);
    for (const CutLine& cut : cutLines(piece))
        for (const Pt& p : cut.points) box.add(p.x, p.y);
}

struct Panel {
    int piece = 0;
    Box shape;    // piece mm: what is drawn
    Box box;      // piece mm: the shape, its margin, room for the caption
    double ox = 0.0, oy = 0.0;  // panel's top left in the SVG
    std::string caption;
    double width() const { return box.width(); }
    double height(const Style& s) const { return box.height() + s.titleHeight(); }
};

bool isMark(char type) {
    char t = typeLetter(type);
    return t == 'V' || t == 'O' || t == 'G' || t == 'P';
}

// Lines that belong to inner-line segments (code 2 or 4), or that no line
// segment claims and start at a lower-case point.
std::vector<bool> innerLines(Piece* piece) {
    std::vector<bool> inner(static_cast<size_t>(std::max<short>(piece->lineCount, 0)), false);
    std::vector<bool> claimed(inner.size(), false);
    for (short s = 0; s < piece->segCount; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        if (!seg || seg->markFlag) continue;
        for (int l = seg->firstLine; l < seg->firstLine + seg->lineCount; ++l) {
            if (l < 0 || l >= piece->lineCount) continue;
            claimed[static_cast<size_t>(l)] = true;
            inner[static_cast<size_t>(l)] = seg->code == 2 || seg->code == 4;
        }
    }
    for (short l = 0; l < piece->lineCount; ++l) {
        if (claimed[static_cast<size_t>(l)]) continue;
        Line* line = nullptr;
        qpGetLineLptr(piece, l, &line);
        Point* p = nullptr;
        if (line) qpGetPointLptr(piece, line->firstPoint, &p);
        inner[static_cast<size_t>(l)] = p && !isOutlineType(p->type);
    }
    return inner;
}

// The picture's size once the panels are laid out in rows of at most
// kMaxRowWidth (times the text unit), from `top` down.
struct Page {
    double width = 0.0;
    double height = 0.0;
};

Page layOutPanels(std::vector<Panel>& panels, double top, const Style& s) {
    double x = s.gap(), y = top, rowHeight = 0.0, totalWidth = 0.0;
    for (Panel& p : panels) {
        if (x > s.gap() && x + p.width() > kMaxRowWidth * s.unit) {
            x = s.gap();
            y += rowHeight + s.gap();
            rowHeight = 0.0;
        }
        p.ox = x;
        p.oy = y;
        x += p.width() + s.gap();
        rowHeight = std::max(rowHeight, p.height(s));
        totalWidth = std::max(totalWidth, x);
    }
    return Page{std::max(totalWidth, 200.0), y + rowHeight + s.gap()};
}

// Widens each panel to its caption and the page to its title, and lays the
// panels out again.
Page fitCaptions(std::vector<Panel>& panels, double top, const std::string& title, const Style& style) {
    for (Panel& p : panels) {
        const double caption = textWidth(p.caption, style.titleFont());
        if (caption > p.box.width()) {
            const double more = (caption - p.box.width()) / 2;
            p.box.minX -= more;
            p.box.maxX += more;
        }
    }
    Page page = layOutPanels(panels, top, style);
    if (!title.empty()) page.width = std::max(page.width, 2 * style.gap() + textWidth(title, style.titleFont()));
    return page;
}

// Lays the panels out around their shapes: the text unit from a first
// layout at unit 1, then margins at that unit, each panel at least as wide
// as its caption, and the page at least as wide as its title.
Page layOut(std::vector<Panel>& panels, double top, const std::string& title, Style& style) {
    style.unit = 1.0;
    for (Panel& p : panels) {
        p.box = p.shape;
        p.box.minX -= kMargin;
        p.box.maxX += kMargin;
        p.box.minY -= kMargin;
        p.box.maxY += kMargin;
    }
    const Page first = layOutPanels(panels, top, style);
    style.unit = std::max(1.0, std::max(first.width, first.height) / kTextPage);
    for (Panel& p : panels) {
        p.box = p.shape;
        p.box.minX -= style.margin();
        p.box.maxX += style.margin();
        p.box.minY -= style.margin();
        p.box.maxY += style.margin();
    }
    return fitCaptions(panels, top * style.unit, title, style);
}

void openSvg(std::ostream& o, const Page& page, const std::string& title, const Style& s) {
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(page.width) << "\" height=\""
      << num(page.height) << "\" viewBox=\"0 0 " << num(page.width) << " " << num(page.height)
      << "\" font-family=\"sans-serif\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    if (!title.empty())
        o << "<text class=\"title\" x=\"" << num(s.gap()) << "\" y=\"" << num(s.gap()) << "\" font-size=\""
          << num(s.titleFont()) << "\">" << xmlEscape(title) << "</text>\n";
}

// Piece millimetres (y up) to SVG units (y down) inside a panel.
class PanelView {
public:
    PanelView(const Panel& panel, const Style& style) : panel_(panel), style_(style) {}
    double x(double px) const { return panel_.ox + (px - panel_.box.minX); }
    double y(double py) const { return panel_.oy + style_.titleHeight() + (panel_.box.maxY - py); }
    std::string points(const Polyline& l) const {
        std::string s;
        for (const Pt& p : l) s += num(x(p.x), 3) + "," + num(y(p.y), 3) + " ";
        if (!s.empty()) s.pop_back();
        return s;
    }

private:
    const Panel& panel_;
    const Style& style_;
};

// The grid's figures: every 100 mm (further apart where texts are larger)
// along the panel's bottom and left edges, at their baselines' starts in
// piece millimetres.
struct GridFigure {
    std::string text;
    double x, y;
};
std::vector<GridFigure> gridFigures(const Box& b, const Style& s) {
    std::vector<GridFigure> figures;
    const double step = 100.0 * std::ceil(s.unit);
    for (double gx = std::ceil(b.minX / step) * step; gx <= b.maxX; gx += step)
        figures.push_back({num(gx), gx + s.unit, b.minY + 2 * s.unit});
    for (double gy = std::ceil(b.minY / step) * step; gy <= b.maxY; gy += step)
        figures.push_back({num(gy), b.minX + 2 * s.unit, gy + s.unit});
    return figures;
}

// The panel's caption, its frame, and the grid on multiples of 50 mm with
// its figures.
void writePanelFrame(std::ostream& o, const Panel& panel, const Style& s) {
    const PanelView v(panel, s);
    const Box& b = panel.box;
    o << "<text class=\"caption\" x=\"" << num(panel.ox) << "\" y=\"" << num(panel.oy + s.titleFont()) << "\" font-size=\""
      << num(s.titleFont()) << "\">" << xmlEscape(panel.caption) << "</text>\n";
    o << "<rect x=\"" << num(v.x(b.minX)) << "\" y=\"" << num(v.y(b.maxY)) << "\" width=\"" << num(b.width())
      << "\" height=\"" << num(b.height()) << "\" fill=\"none\" stroke=\"#ccc\" stroke-width=\"" << s.width(0.5)
      << "\"/>\n";
    o << "<g stroke=\"#eee\" stroke-width=\"" << s.width(0.5) << "\">\n";
    for (double gx = std::ceil(b.minX / kGrid) * kGrid; gx <= b.maxX; gx += kGrid)
        o << "<line x1=\"" << num(v.x(gx)) << "\" y1=\"" << num(v.y(b.minY)) << "\" x2=\"" << num(v.x(gx))
          << "\" y2=\"" << num(v.y(b.maxY)) << "\"/>\n";
    for (double gy = std::ceil(b.minY / kGrid) * kGrid; gy <= b.maxY; gy += kGrid)
        o << "<line x1=\"" << num(v.x(b.minX)) << "\" y1=\"" << num(v.y(gy)) << "\" x2=\"" << num(v.x(b.maxX))
          << "\" y2=\"" << num(v.y(gy)) << "\"/>\n";
    o << "</g>\n<g fill=\"#999\" font-size=\"" << num(s.gridFont()) << "\">\n";
    for (const GridFigure& f : gridFigures(b, s))
        o << "<text x=\"" << num(v.x(f.x)) << "\" y=\"" << num(v.y(f.y)) << "\">" << f.text << "</text>\n";
    o << "</g>\n";
}

// How a piece's lines are drawn: the outline's pen and the inner lines'
// (dashed), widths at a text unit of 1.
struct LinePens {
    const char* outline;
    double outlineWidth;
    const char* inner;
    double innerWidth;
};
constexpr LinePens kPiecePens{"black", 1.2, "#1f5fbf", 0.8};

// Every line of the piece as the model samples it, simplified; the outline
// lines in one group and the inner ones in another.
void writeLines(std::ostream& o, Piece* piece, const PanelView& v, const LinePens& pens, const Style& s) {
    std::vector<bool> inner = innerLines(piece);
    PieceHold hold(piece);  // every line is drawn: read the piece once
    for (bool in : {false, true}) {
        o << "<g fill=\"none\" stroke=\"" << (in ? pens.inner : pens.outline) << "\" stroke-width=\""
          << s.width(in ? pens.innerWidth : pens.outlineWidth) << "\""
          << (in ? " stroke-dasharray=\"" + s.width(6) + "," + s.width(3) + "\"" : std::string()) << ">\n";
        for (short li = 0; li < piece->lineCount; ++li) {
            Line* l = nullptr;
            qpGetLineLptr(piece, li, &l);
            if (!l || l->pointCount < 2 || inner[static_cast<size_t>(li)] != in) continue;
            for (const Polyline& part : modelLines(piece, l->firstPoint, l->pointCount))
                o << "<polyline class=\"" << (in ? "inner" : "outline") << "\" data-line=\"" << li << "\" points=\""
                  << v.points(simplified(part)) << "\"/>\n";
        }
        o << "</g>\n";
    }
}

// The cut line around each outline chain that has seam allowances.
void writeCutLines(std::ostream& o, Piece* piece, const PanelView& v, const Style& s) {
    const std::vector<CutLine> cut = cutLines(piece);
    if (cut.empty()) return;
    o << "<g fill=\"none\" stroke=\"#2a7a2a\" stroke-width=\"" << s.width(0.8) << "\">\n";
    for (const CutLine& c : cut)
        o << "<polyline class=\"cut\" data-segment=\"" << c.segment << "\" points=\"" << v.points(simplified(c.points))
          << "\"/>\n";
    o << "</g>\n";
}

// The points: outline turning points filled, curve points open, inner
// points blue, marks red.
double markerRadius(const Style& s) { return 2.2 * s.unit; }

void writePoints(std::ostream& o, Piece* piece, const PanelView& v, const Style& s) {
    o << "<g stroke-width=\"" << s.width(0.6) << "\">\n";
    for (short i = 0; i < piece->pointCount; ++i) {
        double px, py;
        if (!pointPosition(piece, i, px, py)) continue;
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        const char t = typeLetter(p->type);
        const double cx = v.x(px), cy = v.y(py), u = s.unit;
        if (isMark(p->type)) {
            if (t == 'V')
                o << "<path class=\"notch\" d=\"M" << num(cx - 3 * u) << "," << num(cy - 5 * u) << " L" << num(cx)
                  << "," << num(cy) << " L" << num(cx + 3 * u) << "," << num(cy - 5 * u)
                  << "\" fill=\"none\" stroke=\"#c00\"/>\n";
            else
                o << "<circle class=\"mark\" cx=\"" << num(cx) << "\" cy=\"" << num(cy) << "\" r=\"" << num(3 * u)
                  << "\" fill=\"none\" stroke=\"#c00\"/>\n";
            continue;
        }
        const bool outline = isOutlineType(p->type);
        const bool curve = t == 'C' || t == 'M';
        const char* colour = outline ? "black" : "#1f5fbf";
        o << "<circle class=\"point\" data-point=\"" << i << "\" cx=\"" << num(cx) << "\" cy=\"" << num(cy)
          << "\" r=\"" << num((curve ? 1.6 : 2.2) * u) << "\" fill=\"" << (curve ? "white" : colour) << "\" stroke=\""
          << colour << "\"/>\n";
    }
    o << "</g>\n";
}

// ---- point numbers ----------------------------------------------------------------

// A grid of boxes, for finding what a new box would overlap.
class BoxGrid {
public:
    explicit BoxGrid(double cell) : cell_(cell) {}
    bool free(const Box& b) const {
        return forCells(b, [&](long key) {
            const auto it = cells_.find(key);
            if (it == cells_.end()) return true;
            for (size_t k : it->second)
                if (boxes_[k].overlaps(b)) return false;
            return true;
        });
    }
    void add(const Box& b) {
        const size_t k = boxes_.size();
        boxes_.push_back(b);
        forCells(b, [&](long key) {
            cells_[key].push_back(k);
            return true;
        });
    }

private:
    // Calls f for each cell the box covers while it returns true; false when
    // it stopped.
    template <class F>
    bool forCells(const Box& b, F f) const {
        const auto cell = [&](double v) { return static_cast<long>(std::floor(v / cell_)); };
        const long x0 = cell(b.minX), x1 = cell(b.maxX), y0 = cell(b.minY), y1 = cell(b.maxY);
        for (long x = x0; x <= x1; ++x)
            for (long y = y0; y <= y1; ++y)
                if (!f(x * 1000003L + y)) return false;
        return true;
    }
    double cell_;
    std::vector<Box> boxes_;
    std::unordered_map<long, std::vector<size_t>> cells_;
};

struct Label {
    std::string text;
    Pt at;      // its point (piece mm)
    Box box;    // piece mm
    bool leader = false;
};

// Numbers for the points of the piece (coincident points share one: "3,4"),
// each placed where its box overlaps no other number and no point, inside
// the panel: beside its point when there is room, else further out on
// rings around it with a leader line, first away from the piece's middle.
// A number that finds no room within ten font sizes is left out (counted).
std::vector<Label> placeNumbers(Piece* piece, const Box& panel, const Style& s, size_t& leftOut) {
    std::map<std::pair<long, long>, size_t> byPlace;
    std::vector<Label> labels;
    Pt middle{0, 0};
    size_t count = 0;
    for (short i = 0; i < piece->pointCount; ++i) {
        double x, y;
        if (!pointPosition(piece, i, x, y)) continue;
        middle.x += x;
        middle.y += y;
        ++count;
        const std::pair<long, long> key{std::lround(x * 10), std::lround(y * 10)};
        const auto it = byPlace.find(key);
        if (it != byPlace.end()) {
            labels[it->second].text += "," + std::to_string(i);
            continue;
        }
        byPlace[key] = labels.size();
        labels.push_back(Label{std::to_string(i), Pt{x, y}, Box{}, false});
    }
    if (count) middle = Pt{middle.x / static_cast<double>(count), middle.y / static_cast<double>(count)};
    const double font = s.font(), marker = markerRadius(s);
    BoxGrid taken(font / 2);
    for (const Label& l : labels) {
        Box b;
        b.add(l.at.x - marker, l.at.y - marker);
        b.add(l.at.x + marker, l.at.y + marker);
        taken.add(b);
    }
    // The lines, the cut lines and the grid's figures are in the way too:
    // a number over a line is hard to read. A line is blocked by small
    // boxes half a font size apart, closer than a number is wide.
    auto block = [&](const Polyline& line) {
        for (size_t i = 0; i + 1 < line.size(); ++i) {
            const Pt a = line[i], b = line[i + 1];
            const int steps = static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y) / (0.5 * font)));
            for (int k = 0; k <= steps; ++k) {
                const double t = steps ? static_cast<double>(k) / steps : 0.0;
                Box dot;
                dot.add(a.x + (b.x - a.x) * t - 0.15 * font, a.y + (b.y - a.y) * t - 0.15 * font);
                dot.add(a.x + (b.x - a.x) * t + 0.15 * font, a.y + (b.y - a.y) * t + 0.15 * font);
                taken.add(dot);
            }
        }
    };
    {
        PieceHold hold(piece);
        for (short li = 0; li < piece->lineCount; ++li) {
            Line* line = nullptr;
            qpGetLineLptr(piece, li, &line);
            if (line && line->pointCount >= 2)
                for (const Polyline& part : modelLines(piece, line->firstPoint, line->pointCount))
                    block(simplified(part));
        }
    }
    for (const CutLine& cut : cutLines(piece)) block(simplified(cut.points));
    for (const GridFigure& f : gridFigures(panel, s)) {
        Box b;
        b.add(f.x, f.y - 0.25 * s.gridFont());
        b.add(f.x + textWidth(f.text, s.gridFont()), f.y + s.gridFont());
        taken.add(b);
    }
    std::vector<Label> placed;
    leftOut = 0;
    constexpr int kRings = 10;
    for (Label& l : labels) {
        const double w = textWidth(l.text, font), h = font;
        const double away = std::atan2(l.at.y - middle.y, l.at.x - middle.x);
        bool done = false;
        for (int ring = 0; ring < kRings && !done; ++ring) {
            const double r = marker + 0.3 * font + ring * 1.1 * font;
            const int steps = ring == 0 ? 8 : 12;
            for (int k = 0; k < steps && !done; ++k) {
                // Away from the middle first, then alternately either side.
                const int turn = (k + 1) / 2 * (k % 2 ? 1 : -1);
                const double a = away + turn * 2 * M_PI / steps;
                const double dx = std::cos(a), dy = std::sin(a);
                const double cx = l.at.x + dx * (r + w / 2 * std::fabs(dx) + h / 2 * std::fabs(dy));
                const double cy = l.at.y + dy * (r + w / 2 * std::fabs(dx) + h / 2 * std::fabs(dy));
                Box b;
                b.add(cx - w / 2, cy - h / 2);
                b.add(cx + w / 2, cy + h / 2);
                if (!b.inside(panel) || !taken.free(b)) continue;
                taken.add(b);
                l.box = b;
                l.leader = ring > 0;
                placed.push_back(l);
                done = true;
            }
        }
        if (!done) ++leftOut;
    }
    return placed;
}

void writeNumbers(std::ostream& o, const std::vector<Label>& labels, const PanelView& v, const Style& s) {
    o << "<g class=\"leaders\" stroke=\"#b00\" stroke-opacity=\"0.6\" stroke-width=\"" << s.width(0.3) << "\">\n";
    for (const Label& l : labels) {
        if (!l.leader) continue;
        // From the point's marker to the near edge of the number's box.
        const double cx = (l.box.minX + l.box.maxX) / 2, cy = (l.box.minY + l.box.maxY) / 2;
        const double dx = cx - l.at.x, dy = cy - l.at.y, len = std::hypot(dx, dy);
        const double toEdge = std::min(std::fabs(dx) > 1e-9 ? l.box.width() / 2 / std::fabs(dx) : 1e30,
                                       std::fabs(dy) > 1e-9 ? l.box.height() / 2 / std::fabs(dy) : 1e30);
        const double start = markerRadius(s) / len, end = 1.0 - std::min(1.0, toEdge);
        o << "<line x1=\"" << num(v.x(l.at.x + dx * start)) << "\" y1=\"" << num(v.y(l.at.y + dy * start)) << "\" x2=\""
          << num(v.x(l.at.x + dx * end)) << "\" y2=\"" << num(v.y(l.at.y + dy * end)) << "\"/>\n";
    }
    o << "</g>\n";
    // A white rim under each figure keeps it readable over the lines.
    o << "<g class=\"numbers\" font-size=\"" << num(s.font()) << "\" fill=\"#b00\" text-anchor=\"middle\" stroke=\"white\" "
      << "stroke-width=\"" << s.width(1.5) << "\" paint-order=\"stroke\">\n";
    for (const Label& l : labels)
        o << "<text x=\"" << num(v.x((l.box.minX + l.box.maxX) / 2)) << "\" y=\""
          << num(v.y((l.box.minY + l.box.maxY) / 2) + 0.35 * s.font()) << "\">" << l.text << "</text>\n";
    o << "</g>\n";
}

std::string pieceCaption(const PatternDoc& doc, int i) {
    Piece* piece = doc.piece(i);
    return std::to_string(i) + ": " + doc.pieceName(i) + " (" + std::to_string(piece->pointCount) + " points, " +
           std::to_string(piece->lineCount) + " lines)";
}

}  // namespace

double textWidth(const std::string& utf8, double fontSize) {
    double em = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) {
            // One character of several bytes: as wide as the font is high.
            if ((c & 0xC0) != 0x80) em += 1.0;
            continue;
        }
        if (c >= '0' && c <= '9') em += 0.64;
        else if (c == ' ' || c == ',' || c == '.' || c == ':' || c == ';' || c == '\'' || c == '!' || c == '|') em += 0.34;
        else if (c == 'i' || c == 'j' || c == 'l' || c == 'f' || c == 't' || c == 'r') em += 0.42;
        else if (c == 'm' || c == 'w') em += 1.0;
        else if (c == '(' || c == ')' || c == '[' || c == ']' || c == '-' || c == '/') em += 0.42;
        else if (c >= 'a' && c <= 'z') em += 0.64;
        else if (c == 'M' || c == 'W') em += 1.0;
        else em += 0.8;
    }
    return em * fontSize;
}

std::string renderSvg(const PatternDoc& doc, const SvgOptions& options) {
    auto older = [&](int piece) -> Piece* {
        if (!options.before) return nullptr;
        if (options.beforePieces.empty()) return options.before->piece(piece);
        const int b = piece >= 0 && piece < static_cast<int>(options.beforePieces.size())
                          ? options.beforePieces[static_cast<size_t>(piece)]
                          : -1;
        return b >= 0 ? options.before->piece(b) : nullptr;
    };
    std::vector<int> pieces = options.pieces;
    if (pieces.empty())
        for (int i = 0; i < doc.pieceCount(); ++i) pieces.push_back(i);
    std::vector<Panel> panels;
    for (int pi : pieces) {
        Piece* piece = doc.piece(pi);
        if (!piece) continue;
        Panel panel;
        panel.piece = pi;
        panel.caption = pieceCaption(doc, pi);
        addPiece(panel.shape, piece);
        if (Piece* old = older(pi)) addSamples(panel.shape, old);
        for (const PieceRef& also : options.alsoFit)
            if (Piece* p = also.doc ? also.doc->piece(also.piece) : nullptr) addPiece(panel.shape, p);
        if (panel.shape.empty()) panel.shape.add(0, 0);
        panels.push_back(panel);
    }
    Style style;
    const double top = kGap + (options.title.empty() ? 0.0 : kTitleHeight);
    Page page = layOut(panels, top, options.title, style);
    // Numbers go where they fit in their panel, in piece coordinates; a
    // caption that now says how many found no room may widen its panel.
    std::vector<std::vector<Label>> numbers(panels.size());
    for (size_t k = 0; k < panels.size() && options.numbers; ++k) {
        size_t leftOut = 0;
        numbers[k] = placeNumbers(doc.piece(panels[k].piece), panels[k].box, style, leftOut);
        if (leftOut > 0) panels[k].caption += "; " + std::to_string(leftOut) + " numbers left out where points crowd";
    }
    page = fitCaptions(panels, top * style.unit, options.title, style);
    std::ostringstream o;
    openSvg(o, page, options.title, style);
    for (size_t k = 0; k < panels.size(); ++k) {
        const Panel& panel = panels[k];
        Piece* piece = doc.piece(panel.piece);
        const PanelView v(panel, style);
        o << "<g class=\"piece\" id=\"piece-" << panel.piece << "\">\n";
        writePanelFrame(o, panel, style);
        // The piece before: its lines, wide and pale, under everything else.
        if (Piece* old = older(panel.piece)) {
            o << "<g class=\"before\" fill=\"none\" stroke=\"#f2a65a\" stroke-width=\"" << style.width(3)
              << "\" stroke-opacity=\"0.5\">\n";
            for (const Polyline& l : modelLines(old, 0, 0))
                o << "<polyline points=\"" << v.points(simplified(l)) << "\"/>\n";
            o << "</g>\n";
        }
        writeCutLines(o, piece, v, style);
        writeLines(o, piece, v, kPiecePens, style);
        writePoints(o, piece, v, style);
        writeNumbers(o, numbers[k], v, style);
        o << "</g>\n";
    }
    o << "</svg>\n";
    return o.str();
}

namespace {

// A nest's pens, in the sizes' order: the base bold and black, every other
// size thin in a colour of its own (taken again from the first after the
// eighth).
constexpr LinePens kBasePens{"black", 1.6, "black", 1.0};
constexpr const char* kSizeColours[] = {"#d62728", "#1f77b4", "#2ca02c", "#ff7f0e",
                                        "#9467bd", "#8c564b", "#e377c2", "#17becf"};

std::vector<LinePens> nestPens(const std::vector<NestSize>& sizes) {
    std::vector<LinePens> pens;
    size_t others = 0;
    for (const NestSize& s : sizes) {
        const char* colour = kSizeColours[others % (sizeof kSizeColours / sizeof kSizeColours[0])];
        pens.push_back(s.base ? kBasePens : LinePens{colour, 0.7, colour, 0.5});
        others += s.base ? 0 : 1;
    }
    return pens;
}

constexpr double kLegendHeight = 20.0;
constexpr double kLegendSwatch = 20.0;  // mm of line before each name
constexpr double kLegendFont = 12.0;

// One entry per size: a stretch of its outline pen and its name; returns
// the legend's width.
double writeLegend(std::ostream& o, const std::vector<NestSize>& sizes, const std::vector<LinePens>& pens,
                   double top, const Style& s) {
    double x = s.gap();
    const double y = top + kLegendHeight * s.unit / 2, font = kLegendFont * s.unit;
    o << "<g class=\"legend\" font-size=\"" << num(font) << "\">\n";
    for (size_t k = 0; k < sizes.size(); ++k) {
        const std::string name = sizes[k].name + (sizes[k].base ? " (base)" : "");
        o << "<line x1=\"" << num(x) << "\" y1=\"" << num(y) << "\" x2=\"" << num(x + kLegendSwatch * s.unit)
          << "\" y2=\"" << num(y) << "\" stroke=\"" << pens[k].outline << "\" stroke-width=\""
          << s.width(pens[k].outlineWidth) << "\"/>\n<text x=\"" << num(x + (kLegendSwatch + 4) * s.unit) << "\" y=\""
          << num(y + font / 3) << "\">" << xmlEscape(name) << "</text>\n";
        x += (kLegendSwatch + 4) * s.unit + textWidth(name, font) + s.gap();
    }
    o << "</g>\n";
    return x;
}

}  // namespace

std::string renderNestSvg(const std::vector<NestSize>& sizes, const SvgOptions& options) {
    if (sizes.empty()) return std::string();
    const PatternDoc& first = *sizes.front().doc;
    std::vector<int> pieces = options.pieces;
    if (pieces.empty())
        for (int i = 0; i < first.pieceCount(); ++i) pieces.push_back(i);
    std::vector<Panel> panels;
    for (int pi : pieces) {
        if (!first.piece(pi)) continue;
        Panel panel;
        panel.piece = pi;
        panel.caption = std::to_string(pi) + ": " + first.pieceName(pi);
        for (const NestSize& size : sizes)
            if (Piece* p = size.doc->piece(pi)) addPiece(panel.shape, p);
        panels.push_back(panel);
    }
    Style style;
    const double titled = kGap + (options.title.empty() ? 0.0 : kTitleHeight);
    Page page = layOut(panels, titled + kLegendHeight + kGap, options.title, style);
    const std::vector<LinePens> pens = nestPens(sizes);
    std::ostringstream legend;
    page.width = std::max(page.width, writeLegend(legend, sizes, pens, titled * style.unit, style));
    std::ostringstream o;
    openSvg(o, page, options.title, style);
    o << legend.str();
    for (const Panel& panel : panels) {
        const PanelView v(panel, style);
        o << "<g class=\"piece\" id=\"piece-" << panel.piece << "\">\n";
        writePanelFrame(o, panel, style);
        // The base first, so that the thin lines of the other sizes stay
        // visible where they run along it.
        for (bool base : {true, false})
            for (size_t k = 0; k < sizes.size(); ++k) {
                Piece* piece = sizes[k].base == base ? sizes[k].doc->piece(panel.piece) : nullptr;
                if (!piece) continue;
                o << "<g class=\"size\" data-size=\"" << xmlEscape(sizes[k].name) << "\">\n";
                writeLines(o, piece, v, pens[k], style);
                o << "</g>\n";
            }
        o << "</g>\n";
    }
    o << "</svg>\n";
    return o.str();
}

}  // namespace host
