// DXF export and import: every example through our own file and back, and
// a peer's real files (tests/data/peer-dxf) against the figures measured on
// the peer's own SVG of the same pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include <nlohmann/json.hpp>

#include "frame/siblings.h"
#include "host/dxf_export.h"
#include "host/dxf_import.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/seam_allowance.h"
#include "tests/host/host_test_util.h"

using namespace host;

namespace {

#if QP_HAVE_DIME

const std::string kPeer = std::string(QP_SOURCE_DIR) + "/tests/data/peer-dxf/";

// Exports `doc` in `form`, imports the file and loads what import wrote.
PatternDoc throughDxf(const PatternDoc& doc, DxfForm form, std::string* printed = nullptr) {
    hosttest::TempDir dir;
    dxf::writeDrawing(exportDrawing({DxfSize{"", &doc}}, form), dir.file("p.dxf"));
    std::ostringstream out;
    cmdImport(dir.file("p.dxf"), dir.file("p.json"), "", out);
    if (printed) *printed = out.str();
    return loadPattern(dir.file("p.json"));
}

double worstApart(const Polyline& from, const Polyline& to) {
    double worst = 0;
    for (const Pt& p : from) {
        double best = 1e300;
        for (size_t i = 0; i + 1 < to.size(); ++i) {
            const Pt& a = to[i];
            const Pt& b = to[i + 1];
            const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
            const double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0.0;
            best = std::min(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
        }
        worst = std::max(worst, best);
    }
    return worst;
}

// Everything a DXF carries of a piece is back within 0.01 mm: every point
// with its type and place, the lines, the marks on their lines, the
// placement, and the cut line the seam allowances give.
void expectSamePiece(Piece* was, Piece* now, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_EQ(now->pointCount, was->pointCount);
    for (short i = 0; i < was->pointCount; ++i) {
        Point *a = nullptr, *b = nullptr;
        qpGetPointLptr(was, i, &a);
        qpGetPointLptr(now, i, &b);
        double ax, ay, bx, by;
        ASSERT_TRUE(pointPosition(was, i, ax, ay) && pointPosition(now, i, bx, by));
        EXPECT_EQ(b->type, a->type) << "point " << i;
        EXPECT_NEAR(bx, ax, 0.01) << "point " << i;
        EXPECT_NEAR(by, ay, 0.01) << "point " << i;
        if (typeLetter(a->type) == 'V') { EXPECT_NEAR(b->lineOut, a->lineOut, 1) << "notch " << i; }
    }
    ASSERT_EQ(now->lineCount, was->lineCount);
    for (short li = 0; li < was->lineCount; ++li) {
        Line *a = nullptr, *b = nullptr;
        qpGetLineLptr(was, li, &a);
        qpGetLineLptr(now, li, &b);
        EXPECT_EQ(b->firstPoint, a->firstPoint) << "line " << li;
        EXPECT_EQ(b->pointCount, a->pointCount) << "line " << li;
        EXPECT_EQ(b->kind, a->kind) << "line " << li;
        EXPECT_EQ(b->flags, a->flags) << "line " << li;
    }
    ASSERT_EQ(now->sPointCount, was->sPointCount);
    for (short k = 0; k < was->sPointCount; ++k) {
        SPoint *a = nullptr, *b = nullptr;
        qpGetSPointLptr(was, k, &a);
        qpGetSPointLptr(now, k, &b);
        EXPECT_EQ(b->lineIndex, a->lineIndex);
        EXPECT_NEAR(b->position, a->position, 0.01);
        EXPECT_NEAR(b->size, a->size, 0.01);
    }
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(now->placement[k], was->placement[k], 1e-5);
    const std::vector<CutLine> cutWas = cutLines(was), cutNow = cutLines(now);
    ASSERT_EQ(cutNow.size(), cutWas.size());
    for (size_t c = 0; c < cutWas.size(); ++c) {
        EXPECT_LT(worstApart(cutWas[c].points, cutNow[c].points), 0.01);
        EXPECT_LT(worstApart(cutNow[c].points, cutWas[c].points), 0.01);
    }
}

TEST(Dxf, EveryExampleComesBackThroughExportAndImport) {
    for (const char* name : {"basic-block.json", "group-backs.json", "sleeve.json"}) {
        PatternModel model = readPatternFile(hosttest::examplesDir() + "/" + name);
        // A placement of its own: turned a third of the way round, moved.
        const float c = std::cos(2.0f), s = std::sin(2.0f);
        model.pieces[0].placement = {c, s, 0, -s, c, 0, 120.5f, -40.25f, 1};
        PatternDoc doc = buildPattern(model, name);
        for (DxfForm form : {DxfForm::kAama, DxfForm::kAstm}) {
            PatternDoc back = throughDxf(doc, form);
            ASSERT_EQ(back.pieceCount(), doc.pieceCount());
            for (int i = 0; i < doc.pieceCount(); ++i) {
                EXPECT_EQ(back.pieceName(i), doc.pieceName(i));
                expectSamePiece(doc.piece(i), back.piece(i), std::string(name) + " piece " + std::to_string(i));
            }
            EXPECT_TRUE(hosttest::patternConsistent(back));
        }
    }
}

TEST(Dxf, NotchesComeBackOnTheirLineWithTheirDirection) {
    PatternDoc doc = loadPattern(hosttest::examplesDir() + "/basic-block.json");
    {
        HostSession session(doc, nullptr);
        session.play(readScriptFile(hosttest::examplesDir() + "/increase-notch.txt"), "increase-notch.txt");
    }
    PatternDoc back = throughDxf(doc, DxfForm::kAama);
    for (int i = 0; i < doc.pieceCount(); ++i)
        expectSamePiece(doc.piece(i), back.piece(i), "notched piece " + std::to_string(i));
    EXPECT_TRUE(hosttest::patternConsistent(back));
}

// The figures of the peer's SVG (figures.json) are in millimetres, y up,
// from the lower left corner of the sew line's box; the sew line is the
// closed line on 14, else on 8, else on 1 (plain: the second largest closed
// line with a seam allowance, else the largest).
Pt sewLineCorner(const dxf::Drawing& d, bool plain, bool allowance) {
    std::vector<Polyline> candidates;
    for (const char* layer : {"14", "8", "1"}) {
        for (const dxf::Block& b : d.blocks)
            for (const dxf::Entity& e : b.entities)
                if (e.kind == dxf::Entity::kPolyline && e.closed && e.layer == layer) candidates.push_back(e.points);
        if (!candidates.empty()) break;
    }
    if (plain) {
        for (const dxf::Entity& e : d.entities)
            if (e.kind == dxf::Entity::kPolyline && e.closed) candidates.push_back(e.points);
        const auto area = [](const Polyline& r) {
            double t = 0;
            for (size_t i = 0; i < r.size(); ++i)
                t += r[i].x * r[(i + 1) % r.size()].y - r[(i + 1) % r.size()].x * r[i].y;
            return std::fabs(t);
        };
        std::sort(candidates.begin(), candidates.end(), [&](auto& a, auto& b) { return area(a) > area(b); });
        candidates = {candidates.at(allowance ? 1 : 0)};
    }
    Pt corner{1e300, 1e300};
    for (const Pt& p : candidates.at(0)) corner = Pt{std::min(corner.x, p.x), std::min(corner.y, p.y)};
    return corner;
}

TEST(Dxf, APeersFilesImportAsItsOwnPicturesMeasureThem) {
    const nlohmann::json figures = nlohmann::json::parse(hosttest::slurp(kPeer + "figures.json"))["pieces"];
    for (const auto& [name, fig] : figures.items()) {
        for (const char* form : {"aama-r12", "aama-r2000", "astm-r12", "plain-r12"}) {
            const std::string file = name + "-" + form + ".dxf";
            SCOPED_TRACE(file);
            const bool plain = std::string(form) == "plain-r12", astm = std::string(form) == "astm-r12";
            hosttest::TempDir dir;
            std::ostringstream printed;
            cmdImport(kPeer + file, dir.file("p.json"), "", printed);
            PatternDoc doc = loadPattern(dir.file("p.json"));
            EXPECT_TRUE(hosttest::patternConsistent(doc));
            ASSERT_EQ(doc.pieceCount(), 1) << printed.str();
            Piece* piece = doc.piece(0);
            const double length = outlineLength(piece), area = std::fabs(outlineArea(piece));
            EXPECT_NEAR(length / fig["sew_line"]["length_mm"].get<double>(), 1.0, 0.001);
            EXPECT_NEAR(area / fig["sew_line"]["area_mm2"].get<double>(), 1.0, 0.001);
            const Pt o = sewLineCorner(dxf::readDrawing(kPeer + file), plain, fig["seam_allowance"].get<bool>());
            std::vector<Pt> notches, drills;
            for (short i = 0; i < piece->pointCount; ++i) {
                Point* p = nullptr;
                qpGetPointLptr(piece, i, &p);
                Pt at;
                pointPosition(piece, i, at.x, at.y);
                at = Pt{at.x - o.x, at.y - o.y};
                if (typeLetter(p->type) == 'V') notches.push_back(at);
                if (typeLetter(p->type) == 'O') drills.push_back(at);
            }
            const auto near = [](const std::vector<Pt>& ours, const nlohmann::json& at) {
                const Pt want{at[0].get<double>(), at[1].get<double>()};
                double best = 1e300;
                for (const Pt& p : ours) best = std::min(best, std::hypot(p.x - want.x, p.y - want.y));
                return best;
            };
            if (!plain) {
                // A notch line each (AAMA), a point each (ASTM), where it
                // meets the sew line.
                size_t want = 0;
                for (const auto& n : fig["notches"]) {
                    if (astm) { EXPECT_LT(near(notches, n["at"]), 0.1) << n["node"]; }
                    for (const auto& l : n["lines"]) {
                        if (!astm) { EXPECT_LT(near(notches, l["on_sew_line"]), 0.1) << n["node"]; }
                        want += astm ? 0 : 1;
                    }
                    want += astm ? 1 : 0;
                }
                EXPECT_EQ(notches.size(), want);
            }
            EXPECT_EQ(drills.size(), fig["drill_holes"].size());
            for (const auto& d : fig["drill_holes"]) EXPECT_LT(near(drills, d["at"]), 0.1) << d["node"];
            // Internal lines: a point of one at each end.
            for (const auto& l : fig["internal_lines"]) {
                std::vector<Pt> inner;
                for (short i = 0; i < piece->pointCount; ++i) {
                    Point* p = nullptr;
                    qpGetPointLptr(piece, i, &p);
                    Pt at;
                    pointPosition(piece, i, at.x, at.y);
                    const char t = p->type;
                    if (t == 's' || t == 'k' || t == 'c') inner.push_back(Pt{at.x - o.x, at.y - o.y});
                }
                EXPECT_LT(near(inner, l["start"]), 0.1) << l["name"];
                EXPECT_LT(near(inner, l["end"]), 0.1) << l["name"];
            }
        }
    }
}

TEST(Dxf, TheDartTransferWorksOnAnImportedPeerBodice) {
    const dxf::Drawing d = dxf::readDrawing(kPeer + "bodice-aama-r12.dxf");
    ImportResult imported = importDrawing(d, 1.0, "bodice-aama-r12.dxf");
    ASSERT_EQ(imported.model.pieces.size(), 1u);
    PieceModel& bodice = imported.model.pieces[0];
    // The peer draws the waist dart into the outline (D2, apex DA, D1); our
    // tools take a dart as two legs over an outline that runs straight
    // across its opening: the apex leaves the outline for two internal
    // lines, and a third runs from the armhole's foot (SU) to the apex, where
    // the dart goes.
    std::vector<ChainPoint>& outline = bodice.outline[0];
    const auto find = [&](double x, double y) {
        for (size_t i = 0; i < outline.size(); ++i)
            if (std::hypot(outline[i].x - x, outline[i].y - y) < 1.0) return outline[i];
        ADD_FAILURE() << "no outline point at " << x << ", " << y;
        return ChainPoint{};
    };
    const Pt o = sewLineCorner(d, false, false);
    const ChainPoint su = find(o.x + 230, o.y + 200), d1 = find(o.x + 80, o.y), d2 = find(o.x + 110, o.y),
                     apex = find(o.x + 95, o.y + 160);
    outline.erase(std::remove_if(outline.begin(), outline.end(),
                                 [&](const ChainPoint& c) { return c.x == apex.x && c.y == apex.y; }),
                  outline.end());
    const auto inner = [](ChainPoint from, ChainPoint to) {
        from.type = 's';
        to.type = 'k';
        return std::vector<ChainPoint>{from, to};
    };
    bodice.inner.push_back(inner(d2, apex));
    bodice.inner.push_back(inner(d1, apex));
    bodice.inner.push_back(inner(su, apex));
    PatternDoc doc = buildPattern(imported.model, "bodice");
    const int lines = doc.piece(0)->lineCount, pointsBefore = doc.piece(0)->pointCount;
    const std::string script = "piece 0\ntool dart-transfer\nclick line " + std::to_string(lines - 3) +
                               "\nclick line " + std::to_string(lines - 2) + "\nclick line " +
                               std::to_string(lines - 1) + "\n";
    ReplayResult result;
    {
        HostSession session(doc, nullptr);
        result = session.play(parseScript(script, "transfer.txt"), "transfer.txt");
    }
    EXPECT_TRUE(result.runFinished);
    for (const RunNote& n : result.notes) ADD_FAILURE() << "line " << n.line << ": " << n.what;
    EXPECT_GT(doc.piece(0)->pointCount, pointsBefore);  // the new dart's legs
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

TEST(Dxf, AFileWithoutAPieceIsAnErrorThatSaysWhy) {
    hosttest::TempDir dir;
    dxf::Drawing empty;
    empty.layers = {"0"};
    dxf::Entity open;
    open.kind = dxf::Entity::kPolyline;
    open.layer = "0";
    open.points = {{0, 0}, {10, 0}};
    empty.entities = {open};
    dxf::writeDrawing(empty, dir.file("e.dxf"));
    std::ostringstream out;
    try {
        cmdImport(dir.file("e.dxf"), dir.file("e.json"), "", out);
        ADD_FAILURE() << "imported a file without a piece";
    } catch (const UserError& e) {
        EXPECT_NE(e.oneLine().find("holds no piece"), std::string::npos) << e.oneLine();
    }
    EXPECT_FALSE(hosttest::fileExists(dir.file("e.json")));
}

#else

TEST(Dxf, LeftOut) { GTEST_SKIP() << "this build has no libdime: DXF export and import are left out"; }

#endif

}  // namespace
