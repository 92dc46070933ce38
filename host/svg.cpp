// SVG pictures of pieces (see svg.h).
#include "host/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/piece_geometry.h"

namespace host {

namespace {

constexpr double kMargin = 30.0;     // mm around a piece inside its panel
constexpr double kGap = 30.0;        // mm between panels
constexpr double kTitleHeight = 24.0;
constexpr double kGrid = 50.0;       // mm between grid lines
constexpr double kFont = 9.0;        // point numbers, mm
constexpr double kMaxRowWidth = 2400.0;

std::string num(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f", v);
    std::string s = t;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// A line as the fewest points that stay within kSvgTolerance of the drawn
// samples (Douglas-Peucker): a straight stretch becomes one segment, a curve
// keeps the samples its bends need. The samples themselves lie within
// 0.005 mm of the curve model (kSampleScale), so the picture stays within
// 0.01 mm of it, and the polyline's length within a hair of `qpkit info`.
constexpr double kSvgTolerance = 0.005;  // mm

double distanceToChord(const Pt& p, const Pt& a, const Pt& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    if (len < 1e-12) return std::hypot(p.x - a.x, p.y - a.y);
    return std::fabs((p.x - a.x) * dy - (p.y - a.y) * dx) / len;
}

Polyline simplified(const Polyline& line) {
    if (line.size() < 3) return line;
    std::vector<bool> keep(line.size(), false);
    keep.front() = keep.back() = true;
    std::vector<std::pair<size_t, size_t>> spans{{0, line.size() - 1}};
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        size_t far = a;
        double worst = 0.0;
        for (size_t i = a + 1; i < b; ++i) {
            const double d = distanceToChord(line[i], line[a], line[b]);
            if (d > worst) {
                worst = d;
                far = i;
            }
        }
        if (worst > kSvgTolerance) {
            keep[far] = true;
            spans.push_back({a, far});
            spans.push_back({far, b});
        }
    }
    Polyline out;
    for (size_t i = 0; i < line.size(); ++i)
        if (keep[i]) out.push_back(line[i]);
    return out;
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
};

// The points drawnLines would keep, added to the box as they are drawn:
// a stretch's start counts once a line leaves it (a lone MoveToEx draws
// nothing). A 16k-point piece of straight lines draws some 650k samples,
// which the box need not hold.
void addDrawnPoints(Box& box, Piece* piece) {
    Pt start;
    bool starting = true;
    visitDrawnPoints(piece, 0, 0, [&](bool move, Pt p) {
        if (move) {
            start = p;
            starting = true;
            return;
        }
        if (starting) box.add(start.x, start.y);
        starting = false;
        box.add(p.x, p.y);
    });
}

struct Panel {
    int piece = 0;
    Box box;      // piece mm, margin included
    double ox = 0.0, oy = 0.0;  // panel's top left in the SVG
    double width() const { return box.maxX - box.minX; }
    double height() const { return box.maxY - box.minY + kTitleHeight; }
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

// The panels of the asked pieces of `doc` (empty: every piece), each boxed
// around the piece's points and drawing and whatever `alsoDrawn` adds for it
// (the older piece under a change, the other sizes of a nest), margin
// included.
std::vector<Panel> piecePanels(const PatternDoc& doc, const std::vector<int>& asked,
                               const std::function<void(int piece, Box& box)>& alsoDrawn) {
    std::vector<int> pieces = asked;
    if (pieces.empty())
        for (int i = 0; i < doc.pieceCount(); ++i) pieces.push_back(i);
    std::vector<Panel> panels;
    for (int pi : pieces) {
        Piece* piece = doc.piece(pi);
        if (!piece) continue;
        Panel panel;
        panel.piece = pi;
        for (short i = 0; i < piece->pointCount; ++i) {
            double x, y;
            if (pointPosition(piece, i, x, y)) panel.box.add(x, y);
        }
        addDrawnPoints(panel.box, piece);
        alsoDrawn(pi, panel.box);
        if (panel.box.empty()) panel.box.add(0, 0);
        panel.box.minX -= kMargin;
        panel.box.minY -= kMargin;
        panel.box.maxX += kMargin;
        panel.box.maxY += kMargin;
        panels.push_back(panel);
    }
    return panels;
}

// The picture's size once the panels are laid out in rows of at most
// kMaxRowWidth, from `top` down.
struct Page {
    double width = 0.0;
    double height = 0.0;
};

Page layOutPanels(std::vector<Panel>& panels, double top) {
    double x = kGap, y = top, rowHeight = 0.0, totalWidth = 0.0;
    for (Panel& p : panels) {
        if (x > kGap && x + p.width() > kMaxRowWidth) {
            x = kGap;
            y += rowHeight + kGap;
            rowHeight = 0.0;
        }
        p.ox = x;
        p.oy = y;
        x += p.width() + kGap;
        rowHeight = std::max(rowHeight, p.height());
        totalWidth = std::max(totalWidth, x);
    }
    return Page{std::max(totalWidth, 200.0), y + rowHeight + kGap};
}

void openSvg(std::ostream& o, const Page& page, const std::string& title) {
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(page.width) << "\" height=\""
      << num(page.height) << "\" viewBox=\"0 0 " << num(page.width) << " " << num(page.height)
      << "\" font-family=\"sans-serif\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    if (!title.empty())
        o << "<text x=\"" << num(kGap) << "\" y=\"" << num(kGap) << "\" font-size=\"14\">" << xmlEscape(title)
          << "</text>\n";
}

// Piece millimetres (y up) to SVG units (y down) inside a panel.
class PanelView {
public:
    explicit PanelView(const Panel& panel) : panel_(panel) {}
    double x(double px) const { return panel_.ox + (px - panel_.box.minX); }
    double y(double py) const { return panel_.oy + kTitleHeight + (panel_.box.maxY - py); }
    std::string points(const Polyline& l) const {
        std::string s;
        for (const Pt& p : l) s += num(x(p.x)) + "," + num(y(p.y)) + " ";
        if (!s.empty()) s.pop_back();
        return s;
    }

private:
    const Panel& panel_;
};

// The panel's caption, its frame, and the grid on multiples of 50 mm,
// labelled every 100 mm.
void writePanelFrame(std::ostream& o, const Panel& panel, const std::string& caption) {
    const PanelView v(panel);
    const Box& b = panel.box;
    o << "<text x=\"" << num(panel.ox) << "\" y=\"" << num(panel.oy + 14) << "\" font-size=\"14\">"
      << xmlEscape(caption) << "</text>\n";
    o << "<rect x=\"" << num(v.x(b.minX)) << "\" y=\"" << num(v.y(b.maxY)) << "\" width=\"" << num(b.maxX - b.minX)
      << "\" height=\"" << num(b.maxY - b.minY) << "\" fill=\"none\" stroke=\"#ccc\" stroke-width=\"0.5\"/>\n";
    o << "<g stroke=\"#eee\" stroke-width=\"0.5\">\n";
    for (double gx = std::ceil(b.minX / kGrid) * kGrid; gx <= b.maxX; gx += kGrid)
        o << "<line x1=\"" << num(v.x(gx)) << "\" y1=\"" << num(v.y(b.minY)) << "\" x2=\"" << num(v.x(gx))
          << "\" y2=\"" << num(v.y(b.maxY)) << "\"/>\n";
    for (double gy = std::ceil(b.minY / kGrid) * kGrid; gy <= b.maxY; gy += kGrid)
        o << "<line x1=\"" << num(v.x(b.minX)) << "\" y1=\"" << num(v.y(gy)) << "\" x2=\"" << num(v.x(b.maxX))
          << "\" y2=\"" << num(v.y(gy)) << "\"/>\n";
    o << "</g>\n<g fill=\"#999\" font-size=\"7\">\n";
    for (double gx = std::ceil(b.minX / 100.0) * 100.0; gx <= b.maxX; gx += 100.0)
        o << "<text x=\"" << num(v.x(gx) + 1) << "\" y=\"" << num(v.y(b.minY) - 2) << "\">" << num(gx) << "</text>\n";
    for (double gy = std::ceil(b.minY / 100.0) * 100.0; gy <= b.maxY; gy += 100.0)
        o << "<text x=\"" << num(v.x(b.minX) + 2) << "\" y=\"" << num(v.y(gy) - 1) << "\">" << num(gy) << "</text>\n";
    o << "</g>\n";
}

// How a piece's lines are drawn: the outline's pen and the inner lines'
// (dashed).
struct LinePens {
    const char* outline;
    const char* outlineWidth;
    const char* inner;
    const char* innerWidth;
};
constexpr LinePens kPiecePens{"black", "1.2", "#1f5fbf", "0.8"};

// Every line of the piece as the service draws it, simplified.
void writeLines(std::ostream& o, Piece* piece, const PanelView& v, const LinePens& pens) {
    std::vector<bool> inner = innerLines(piece);
    PieceHold hold(piece);  // every line is drawn: read the piece once
    for (short li = 0; li < piece->lineCount; ++li) {
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        if (!l || l->pointCount < 2) continue;
        bool in = inner[static_cast<size_t>(li)];
        for (const Polyline& part : drawnLines(piece, l->firstPoint, l->pointCount)) {
            o << "<polyline class=\"" << (in ? "inner" : "outline") << "\" data-line=\"" << li
              << "\" fill=\"none\" stroke=\"" << (in ? pens.inner : pens.outline) << "\" stroke-width=\""
              << (in ? pens.innerWidth : pens.outlineWidth) << "\"" << (in ? " stroke-dasharray=\"6,3\"" : "")
              << " points=\"" << v.points(simplified(part)) << "\"/>\n";
        }
    }
}

// Points: outline turning points filled, curve points open, inner points
// blue, marks red; then their numbers, coincident points sharing one label.
void writePoints(std::ostream& o, Piece* piece, const PanelView& v, bool numbers) {
    std::map<std::pair<long, long>, std::string> labels;
    std::vector<std::pair<long, long>> order;
    for (short i = 0; i < piece->pointCount; ++i) {
        double px, py;
        if (!pointPosition(piece, i, px, py)) continue;
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        char t = typeLetter(p->type);
        double cx = v.x(px), cy = v.y(py);
        if (isMark(p->type)) {
            if (t == 'V') {
                o << "<path class=\"notch\" d=\"M" << num(cx - 3) << "," << num(cy - 5) << " L" << num(cx) << ","
                  << num(cy) << " L" << num(cx + 3) << "," << num(cy - 5) << "\" fill=\"none\" stroke=\"#c00\" "
                  << "stroke-width=\"1\"/>\n";
            } else {
                o << "<circle class=\"mark\" cx=\"" << num(cx) << "\" cy=\"" << num(cy)
                  << "\" r=\"3\" fill=\"none\" stroke=\"#c00\" stroke-width=\"1\"/>\n";
            }
        } else {
            bool outline = isOutlineType(p->type);
            bool curve = t == 'C' || t == 'M';
            const char* colour = outline ? "black" : "#1f5fbf";
            o << "<circle class=\"point\" data-point=\"" << i << "\" cx=\"" << num(cx) << "\" cy=\"" << num(cy)
              << "\" r=\"" << (curve ? "1.6" : "2.2") << "\" fill=\"" << (curve ? "white" : colour)
              << "\" stroke=\"" << colour << "\" stroke-width=\"0.6\"/>\n";
        }
        if (numbers) {
            std::pair<long, long> key{std::lround(px * 10), std::lround(py * 10)};
            auto it = labels.find(key);
            if (it == labels.end()) {
                labels[key] = std::to_string(i);
                order.push_back(key);
            } else {
                it->second += "," + std::to_string(i);
            }
        }
    }
    o << "<g class=\"numbers\" font-size=\"" << num(kFont) << "\" fill=\"#b00\">\n";
    for (const auto& key : order)
        o << "<text x=\"" << num(v.x(key.first / 10.0) + 2.5) << "\" y=\"" << num(v.y(key.second / 10.0) - 2.5)
          << "\">" << labels[key] << "</text>\n";
    o << "</g>\n";
}

}  // namespace

std::string renderSvg(const PatternDoc& doc, const SvgOptions& options) {
    auto older = [&](int piece) -> Piece* {
        return options.before ? options.before->piece(options.beforePiece < 0 ? piece : options.beforePiece) : nullptr;
    };
    std::vector<Panel> panels = piecePanels(doc, options.pieces, [&](int piece, Box& box) {
        if (Piece* old = older(piece)) addDrawnPoints(box, old);
    });
    const Page page = layOutPanels(panels, kGap + (options.title.empty() ? 0.0 : kTitleHeight));
    std::ostringstream o;
    openSvg(o, page, options.title);
    for (const Panel& panel : panels) {
        Piece* piece = doc.piece(panel.piece);
        const PanelView v(panel);
        o << "<g class=\"piece\" id=\"piece-" << panel.piece << "\">\n";
        writePanelFrame(o, panel,
                        std::to_string(panel.piece) + ": " + doc.pieceName(panel.piece) + " (" +
                            std::to_string(piece->pointCount) + " points, " + std::to_string(piece->lineCount) +
                            " lines)");
        // The piece before: its lines, wide and pale, under everything else.
        if (Piece* old = older(panel.piece)) {
            o << "<g class=\"before\" fill=\"none\" stroke=\"#f2a65a\" stroke-width=\"3\" stroke-opacity=\"0.5\">\n";
            for (const Polyline& l : drawnLines(old, 0, 0)) o << "<polyline points=\"" << v.points(l) << "\"/>\n";
            o << "</g>\n";
        }
        writeLines(o, piece, v, kPiecePens);
        writePoints(o, piece, v, options.numbers);
        o << "</g>\n";
    }
    o << "</svg>\n";
    return o.str();
}

namespace {

// A nest's pens, in the sizes' order: the base bold and black, every other
// size thin in a colour of its own (taken again from the first after the
// eighth).
constexpr LinePens kBasePens{"black", "1.6", "black", "1"};
constexpr const char* kSizeColours[] = {"#d62728", "#1f77b4", "#2ca02c", "#ff7f0e",
                                        "#9467bd", "#8c564b", "#e377c2", "#17becf"};

std::vector<LinePens> nestPens(const std::vector<NestSize>& sizes) {
    std::vector<LinePens> pens;
    size_t others = 0;
    for (const NestSize& s : sizes) {
        const char* colour = kSizeColours[others % (sizeof kSizeColours / sizeof kSizeColours[0])];
        pens.push_back(s.base ? kBasePens : LinePens{colour, "0.7", colour, "0.5"});
        others += s.base ? 0 : 1;
    }
    return pens;
}

constexpr double kLegendHeight = 20.0;
constexpr double kLegendSwatch = 20.0;    // mm of line before each name
constexpr double kLegendCharWidth = 7.0;  // mm per character of a name, at font size 12

// One entry per size: a stretch of its outline pen and its name; returns
// the legend's width.
double writeLegend(std::ostream& o, const std::vector<NestSize>& sizes, const std::vector<LinePens>& pens,
                   double top) {
    double x = kGap;
    const double y = top + kLegendHeight / 2;
    o << "<g class=\"legend\" font-size=\"12\">\n";
    for (size_t k = 0; k < sizes.size(); ++k) {
        const std::string name = sizes[k].name + (sizes[k].base ? " (base)" : "");
        o << "<line x1=\"" << num(x) << "\" y1=\"" << num(y) << "\" x2=\"" << num(x + kLegendSwatch) << "\" y2=\""
          << num(y) << "\" stroke=\"" << pens[k].outline << "\" stroke-width=\"" << pens[k].outlineWidth
          << "\"/>\n<text x=\"" << num(x + kLegendSwatch + 4) << "\" y=\"" << num(y + 4) << "\">" << xmlEscape(name)
          << "</text>\n";
        x += kLegendSwatch + 4 + kLegendCharWidth * static_cast<double>(name.size()) + kGap;
    }
    o << "</g>\n";
    return x;
}

}  // namespace

std::string renderNestSvg(const std::vector<NestSize>& sizes, const SvgOptions& options) {
    if (sizes.empty()) return std::string();
    std::vector<Panel> panels = piecePanels(*sizes.front().doc, options.pieces, [&](int piece, Box& box) {
        for (size_t k = 1; k < sizes.size(); ++k)
            if (Piece* other = sizes[k].doc->piece(piece)) addDrawnPoints(box, other);
    });
    const double legendTop = kGap + (options.title.empty() ? 0.0 : kTitleHeight);
    Page page = layOutPanels(panels, legendTop + kLegendHeight + kGap);
    const std::vector<LinePens> pens = nestPens(sizes);
    std::ostringstream legend;
    page.width = std::max(page.width, writeLegend(legend, sizes, pens, legendTop));
    std::ostringstream o;
    openSvg(o, page, options.title);
    o << legend.str();
    for (const Panel& panel : panels) {
        const PanelView v(panel);
        o << "<g class=\"piece\" id=\"piece-" << panel.piece << "\">\n";
        writePanelFrame(o, panel, std::to_string(panel.piece) + ": " + sizes.front().doc->pieceName(panel.piece));
        // The base first, so that the thin lines of the other sizes stay
        // visible where they run along it.
        for (bool base : {true, false})
            for (size_t k = 0; k < sizes.size(); ++k) {
                Piece* piece = sizes[k].base == base ? sizes[k].doc->piece(panel.piece) : nullptr;
                if (!piece) continue;
                o << "<g class=\"size\" data-size=\"" << xmlEscape(sizes[k].name) << "\">\n";
                writeLines(o, piece, v, pens[k]);
                o << "</g>\n";
            }
        o << "</g>\n";
    }
    o << "</svg>\n";
    return o.str();
}

}  // namespace host
