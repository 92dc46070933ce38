#!/usr/bin/python3
"""Figures a DXF import must meet, measured on Valentina's own SVG export.

    figures.py write          measure NAME.svg for each pattern here
                              (sleeve, bodice, pocket), write figures.json
    figures.py check          read every DXF here with ezdxf and compare it
                              with figures.json (0.1 % on lengths and areas,
                              0.1 mm on positions); prints one line per file,
                              exits 1 on a miss

Valentina writes the SVG at 96 px per inch: path coordinates are the
pattern's own coordinates (y down) times 96/25.4 px per mm, moved by the
translate() of the enclosing group. `write` finds the scale again from each
pattern's designed width (the x extent of the piece's points in the .val)
and refuses to go on if it is not 96 dpi; it also checks that every corner
it finds by angle, every notch and every drill hole sits on its node.

Every position in figures.json is in millimetres, y up, with the origin at
the lower left corner of the sew line's bounding box, so that a reader can
compare it with an import whatever offset the file's placement added.

Needs only Debian's python3 (and python3-ezdxf for `check`).
"""

import json
import math
import os
import re
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
PX_PER_MM = 96 / 25.4
PATTERNS = ("sleeve", "bodice", "pocket")
# The DXF forms make.sh writes, as NAME-FORM.dxf.
FORMS = ("aama-r12", "aama-r2000", "astm-r12", "plain-r12")
LINES_PER_PASSMARK = {"one": 1, "two": 2, "three": 3}
PLACE_LABEL_KINDS = {"8": "button", "9": "circle"}
POSITION_TOL_MM = 0.1
# Valentina flattens curves into chords that turn at most about 9 degrees at
# a vertex; the corners of these pieces turn 73 degrees or more.
CORNER_DEG = 30
RATIO_TOL = 0.001


# --- plane geometry on lists of (x, y) -------------------------------------

def polyline_length(points, closed):
    pairs = zip(points, points[1:] + points[:1] if closed else points[1:])
    return sum(math.dist(a, b) for a, b in pairs)


def polygon_area(points):
    """Unsigned shoelace area."""
    twice = sum(a[0] * b[1] - b[0] * a[1]
                for a, b in zip(points, points[1:] + points[:1]))
    return abs(twice) / 2


def bbox(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def drop_closing_vertex(points):
    """A closed ring listed with its first vertex repeated at the end."""
    if len(points) > 2 and math.dist(points[0], points[-1]) < 1e-9:
        return points[:-1]
    return points


def line_hits_polygon(a, b, ring):
    """Points where the infinite line through a and b crosses the closed ring."""
    hits = []
    dx, dy = b[0] - a[0], b[1] - a[1]
    for p, q in zip(ring, ring[1:] + ring[:1]):
        ex, ey = q[0] - p[0], q[1] - p[1]
        den = dx * ey - dy * ex
        if abs(den) < 1e-12:
            continue
        s = ((p[0] - a[0]) * ey - (p[1] - a[1]) * ex) / den
        t = ((p[0] - a[0]) * dy - (p[1] - a[1]) * dx) / den
        if -1e-9 <= t <= 1 + 1e-9:
            hits.append((a[0] + s * dx, a[1] + s * dy))
    return hits


def turns(ring):
    """Degrees the closed ring turns at each vertex (0 on a straight run)."""
    out = []
    for a, b, c in zip(ring[-1:] + ring[:-1], ring, ring[1:] + ring[:1]):
        h = math.atan2(c[1] - b[1], c[0] - b[0]) - math.atan2(b[1] - a[1], b[0] - a[0])
        out.append(abs((math.degrees(h) + 180) % 360 - 180))
    return out


def rounded(point):
    return [round(point[0], 3), round(point[1], 3)]


# --- the pattern as designed (.val) ----------------------------------------

class Design:
    """What the .val says the single piece holds, in the pattern's millimetres."""

    def __init__(self, path):
        root = ET.parse(path).getroot()
        unit = root.findtext("unit")
        self.unit = unit
        to_mm = {"mm": 1.0, "cm": 10.0, "inch": 25.4}[unit]
        points = {}
        for p in root.iter("point"):
            if p.get("type") == "single":
                points[p.get("id")] = (p.get("name"),
                                       float(p.get("x")) * to_mm,
                                       float(p.get("y")) * to_mm)
        modeling = {}
        for m in root.iter("modeling"):
            for item in m:
                modeling[item.get("id")] = item
        details = list(root.iter("detail"))
        if len(details) != 1:
            raise SystemExit(f"{path}: expected one piece, found {len(details)}")
        detail = details[0]
        self.name = detail.get("name")
        self.seam_allowance = detail.get("seamAllowance") == "true"

        def point_of(modeling_id):
            return points[modeling[modeling_id].get("idObject")]

        self.node_points = []      # (name, x, y) of every point node, in order
        self.passmarks = []        # (name, x, y, lines)
        for node in detail.find("nodes"):
            if node.get("type") != "NodePoint":
                continue
            name, x, y = point_of(node.get("idObject"))
            self.node_points.append((name, x, y))
            if node.get("passmark") == "true":
                self.passmarks.append(
                    (name, x, y, LINES_PER_PASSMARK[node.get("passmarkLine")]))
        self.internal_lines = [modeling[r.get("path")].get("name")
                               for r in detail.iterfind("iPaths/record")]
        self.place_labels = []     # (kind, name, x, y)
        for record in detail.iterfind("placeLabels/record"):
            label = modeling[record.text]
            kind = PLACE_LABEL_KINDS.get(label.get("placeLabelType"))
            if kind is None:
                # Other shapes land on layer 8 as lines, not on 13 as points.
                raise SystemExit(f"{path}: place label {record.text} is not a "
                                 "button or a circle")
            name, x, y = points[label.get("idObject")]
            self.place_labels.append((kind, name, x, y))

    def width_mm(self):
        """The x extent of the piece's point nodes: its width, as long as no
        curve bulges past its end points sideways (true of these pieces)."""
        xs = [x for _, x, _ in self.node_points]
        return max(xs) - min(xs)


# --- Valentina's SVG ---------------------------------------------------------

SVG_NS = "{http://www.w3.org/2000/svg}"
NUMBER = r"-?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?"


def parse_path(d):
    """Subpaths of a path that uses only absolute M and L (all Valentina writes)."""
    if re.search(r"[^ML\d\s.,eE+-]", d):
        raise SystemExit(f"path with commands other than absolute M/L: {d[:60]}")
    subpaths = []
    for command, x, y in re.findall(rf"([ML])\s*({NUMBER})[\s,]+({NUMBER})", d):
        if command == "M":
            subpaths.append([])
        subpaths[-1].append((float(x), float(y)))
    return subpaths


def svg_elements(path):
    """(kind, subpaths or text, (tx, ty)) in document order: kind is 'stroke',
    'fill' or 'text'; subpaths are in the group's own px coordinates."""
    out = []
    for group in ET.parse(path).getroot().iter(SVG_NS + "g"):
        m = re.fullmatch(rf"matrix\(1,0,0,1,({NUMBER}),({NUMBER})\)",
                         group.get("transform", "matrix(1,0,0,1,0,0)"))
        if not m:
            raise SystemExit(f"{path}: unexpected transform {group.get('transform')}")
        shift = (float(m.group(1)), float(m.group(2)))
        for child in group:
            if child.tag == SVG_NS + "path" and child.get("d"):
                kind = "fill" if group.get("fill", "none") != "none" else "stroke"
                out.append((kind, parse_path(child.get("d")), shift))
            elif child.tag == SVG_NS + "text":
                out.append(("text", child.text.strip(), shift))
    return out


def measure(name):
    design = Design(os.path.join(HERE, name + ".val"))
    elements = svg_elements(os.path.join(HERE, name + ".svg"))
    strokes = [e for e in elements if e[0] == "stroke"]
    fills = [e for e in elements if e[0] == "fill"]
    texts = [e[1] for e in elements if e[0] == "text"]
    # Valentina draws the piece first (sew line, then cut line and notches as
    # subpaths of the same path), then each internal path, then each place
    # label, in the piece's order; the grain line is the one filled path.
    expected = 1 + len(design.internal_lines) + len(design.place_labels)
    if len(strokes) != expected or len(fills) != 1:
        raise SystemExit(f"{name}.svg: {len(strokes)} stroked paths and "
                         f"{len(fills)} filled, expected {expected} and 1")
    piece, shift = strokes[0][1], strokes[0][2]

    sew_px = drop_closing_vertex(piece[0])
    x0, _, x1, _ = bbox(sew_px)
    scale = (x1 - x0) / design.width_mm()
    if abs(scale / PX_PER_MM - 1) > 1e-4:
        raise SystemExit(f"{name}.svg: {scale} px per mm, not 96 dpi")

    def to_page(p, s=shift):  # px in a group moved by s -> mm, y up
        return ((p[0] + s[0]) / PX_PER_MM, -(p[1] + s[1]) / PX_PER_MM)

    sew_page = [to_page(p) for p in sew_px]
    left, bottom, right, top = bbox(sew_page)

    def frame(p, s=shift):  # px in a group moved by s -> piece frame
        q = to_page(p, s)
        return (q[0] - left, q[1] - bottom)

    def design_frame(x, y):  # the .val's mm (y down) -> piece frame
        return frame((x * PX_PER_MM, y * PX_PER_MM))

    sew = [frame(p) for p in sew_px]
    fig = {
        "piece_name": design.name,
        "pattern_units": design.unit,
        "scale": {
            "designed_width_mm": round(design.width_mm(), 3),
            "svg_width_px": round(x1 - x0, 3),
            "px_per_mm": round(scale, 5),
        },
        "seam_allowance": design.seam_allowance,
        "bbox_mm": [round(right - left, 3), round(top - bottom, 3)],
        "sew_line": {
            "length_mm": round(polyline_length(sew, True), 3),
            "area_mm2": round(polygon_area(sew), 1),
            "vertices": len(sew),
        },
    }
    # Corners, found by angle on the sew line, must each be a node of the piece.
    corners = []
    for p, turn in zip(sew, turns(sew)):
        if turn < CORNER_DEG:
            continue
        node = min(design.node_points, key=lambda n: math.dist(p, design_frame(n[1], n[2])))
        if math.dist(p, design_frame(node[1], node[2])) > 0.05:
            raise SystemExit(f"{name}.svg: a corner at {p} is no node of the piece")
        corners.append({"node": node[0], "at": rounded(p), "turn_deg": round(turn, 1)})
    fig["corners"] = corners
    fig["largest_smooth_turn_deg"] = round(max(t for t in turns(sew) if t < CORNER_DEG), 2)
    rest = piece[1:]
    if design.seam_allowance:
        cut = [frame(p) for p in drop_closing_vertex(rest[0])]
        rest = rest[1:]
        fig["cut_line"] = {
            "length_mm": round(polyline_length(cut, True), 3),
            "area_mm2": round(polygon_area(cut), 1),
            "vertices": len(cut),
        }

    # Valentina 0.7.52 draws passmarks on the cut line only: a piece without
    # seam allowance loses them (in the SVG and in every DXF form alike).
    wanted = sum(n for *_, n in design.passmarks) if design.seam_allowance else 0
    if len(rest) != wanted or any(len(s) != 2 for s in rest):
        raise SystemExit(f"{name}.svg: {len(rest)} notch lines, expected {wanted}")
    notches = []
    lines = iter(rest)
    for node, x, y, count in (design.passmarks if design.seam_allowance else []):
        found = []
        for _ in range(count):
            outer, inner = (frame(p) for p in next(lines))
            hits = line_hits_polygon(outer, inner, sew)
            on_sew = min(hits, key=lambda h: math.dist(h, inner))
            found.append({"outer": rounded(outer), "inner": rounded(inner),
                          "length_mm": round(math.dist(outer, inner), 3),
                          "on_sew_line": rounded(on_sew)})
        at = (sum(f["on_sew_line"][0] for f in found) / count,
              sum(f["on_sew_line"][1] for f in found) / count)
        miss = math.dist(at, design_frame(x, y))
        if miss > 0.05:
            raise SystemExit(f"{name}.svg: notch {node} meets the sew line "
                             f"{miss:.3f} mm from its node")
        # ASTM files give a notch as one point on the cut line (the middle
        # of its lines' outer ends) with the depth as z.
        outer = (sum(f["outer"][0] for f in found) / count,
                 sum(f["outer"][1] for f in found) / count)
        notches.append({"node": node, "lines": found, "at": rounded(at),
                        "on_cut_line": rounded(outer)})
    fig["notches"] = notches

    internal = []
    for title, (_, subpaths, moved) in zip(
            design.internal_lines, strokes[1:1 + len(design.internal_lines)]):
        if len(subpaths) != 1:
            raise SystemExit(f"{name}.svg: internal line {title} in "
                             f"{len(subpaths)} pieces")
        line = [frame(p, moved) for p in subpaths[0]]
        internal.append({"name": title, "vertices": len(line),
                         "length_mm": round(polyline_length(line, False), 3),
                         "start": rounded(line[0]), "end": rounded(line[-1])})
    fig["internal_lines"] = internal

    holes = []
    for (kind, node, x, y), (_, subpaths, moved) in zip(
            design.place_labels, strokes[1 + len(design.internal_lines):]):
        # Circles and buttons are drawn symmetric about their point.
        bx0, by0, bx1, by1 = bbox([frame(p, moved) for s in subpaths for p in s])
        at = ((bx0 + bx1) / 2, (by0 + by1) / 2)
        miss = math.dist(at, design_frame(x, y))
        if miss > 0.05:
            raise SystemExit(f"{name}.svg: {kind} {node} drawn {miss:.3f} mm "
                             "from its point")
        holes.append({"node": node, "drawn_as": kind, "at": rounded(at)})
    fig["drill_holes"] = holes

    # The grain line is drawn with an arrowhead at each end: the tips are the
    # first vertex and the vertex where the shaft ends.
    _, (arrow, *_), moved = fills[0]
    fig["grain_line"] = {"start": rounded(frame(arrow[0], moved)),
                         "end": rounded(frame(arrow[4], moved))}
    fig["texts"] = texts
    return fig


def write():
    pieces = {name: measure(name) for name in PATTERNS}
    for name, fig in pieces.items():
        fig["files"] = {form: f"{name}-{form}.dxf" for form in FORMS}
        fig["files"]["svg"] = f"{name}.svg"
    out = {
        "made_by": "Valentina 0.7.52, --exportOnlyDetails; see README.md",
        "svg_px_per_mm": round(PX_PER_MM, 9),
        "svg_dpi": 96,
        "frame": "millimetres, y up, origin at the lower left corner of the "
                 "sew line's bounding box",
        "tolerances": {"length_and_area_ratio": RATIO_TOL,
                       "position_mm": POSITION_TOL_MM},
        "pieces": pieces,
    }
    with open(os.path.join(HERE, "figures.json"), "w") as f:
        json.dump(out, f, indent=1)
        f.write("\n")


# --- the DXF files, read with ezdxf ------------------------------------------

def dxf_entities(doc, form):
    """The piece's entities: the one block's for AAMA/ASTM, modelspace for plain."""
    if form.startswith("plain"):
        return list(doc.modelspace())
    blocks = [b for b in doc.blocks if not b.name.startswith("*")]
    if len(blocks) != 1:
        raise ValueError(f"{len(blocks)} piece blocks")
    return list(blocks[0])


def vertices(e):
    if e.dxftype() == "LWPOLYLINE":
        return [tuple(p) for p in e.get_points("xy")], e.closed
    return [(v.x, v.y) for v in e.points()], e.is_closed


def check_file(name, form, fig):
    import ezdxf
    doc = ezdxf.readfile(os.path.join(HERE, f"{name}-{form}.dxf"))
    problems = []
    polylines = []
    for e in dxf_entities(doc, form):
        if e.dxftype() in ("POLYLINE", "LWPOLYLINE"):
            pts, closed = vertices(e)
            polylines.append((e.dxf.layer, drop_closing_vertex(pts) if closed else pts,
                              closed))
    closed = [p for p in polylines if p[2]]
    if form.startswith("plain"):
        # Everything is on layer 0: the outlines are the two largest closed
        # polylines (cut line outside the sew line); circles are closed too.
        closed.sort(key=lambda p: -polygon_area(p[1]))
        outlines = [p[1] for p in closed[:2 if fig["seam_allowance"] else 1]]
        sew = outlines[-1]
        cut = outlines[0] if fig["seam_allowance"] else None
    else:
        # The sew line is on 14 (ASTM) or closed on 8 (AAMA) when the piece
        # has a seam allowance; otherwise layer 1 holds the only outline.
        on = {layer: [p[1] for p in closed if p[0] == layer] for layer in ("1", "8", "14")}
        sewn = on["14"] + on["8"]
        cut = on["1"][0] if sewn else None
        sew = sewn[0] if sewn else on["1"][0]
    left, bottom, _, _ = bbox(sew)

    def frame(p):
        return (p[0] - left, p[1] - bottom)

    def ratio(what, got, want):
        if abs(got / want - 1) > RATIO_TOL:
            problems.append(f"{what} {got:.3f} vs {want:.3f}")
        return got / want - 1

    deviations = [ratio("sew length", polyline_length(sew, True), fig["sew_line"]["length_mm"]),
                  ratio("sew area", polygon_area(sew), fig["sew_line"]["area_mm2"])]
    if cut is not None:
        deviations += [ratio("cut length", polyline_length(cut, True), fig["cut_line"]["length_mm"]),
                       ratio("cut area", polygon_area(cut), fig["cut_line"]["area_mm2"])]
    worst_position = 0.0
    if not form.startswith("plain"):
        entities = dxf_entities(doc, form)
        if form.startswith("astm"):
            got = [(frame(e.dxf.location), e.dxf.location.z) for e in entities
                   if e.dxftype() == "POINT" and e.dxf.layer == "4"]
            want = [(n["on_cut_line"], n["lines"][0]["length_mm"]) for n in fig["notches"]]
            depth = max([abs(g[1] - w[1]) for g, w in zip(got, want)], default=0)
            if depth > POSITION_TOL_MM:
                problems.append(f"a notch depth {depth:.3f} mm off")
            pairs = [(g[0], w[0]) for g, w in zip(got, want)]
        else:
            got = [(frame(e.dxf.start), frame(e.dxf.end)) for e in entities
                   if e.dxftype() == "LINE" and e.dxf.layer == "4"]
            want = [(l["outer"], l["inner"]) for n in fig["notches"] for l in n["lines"]]
            pairs = [p for g, w in zip(got, want) for p in zip(g, w)]
        if len(got) != len(want):
            problems.append(f"{len(got)} notches on layer 4, want {len(want)}")
        for g, w in pairs:
            worst_position = max(worst_position, math.dist(g, w))
        holes = [frame(e.dxf.location) for e in entities
                 if e.dxftype() == "POINT" and e.dxf.layer == "13"]
        if len(holes) != len(fig["drill_holes"]):
            problems.append(f"{len(holes)} drill holes, want {len(fig['drill_holes'])}")
        for got, w in zip(holes, fig["drill_holes"]):
            worst_position = max(worst_position, math.dist(got, w["at"]))
        internal = [p for p in polylines if p[0] == "8" and not p[2]]
        if len(internal) != len(fig["internal_lines"]):
            problems.append(f"{len(internal)} internal lines, want "
                            f"{len(fig['internal_lines'])}")
        for got, w in zip(internal, fig["internal_lines"]):
            worst_position = max(worst_position, math.dist(frame(got[1][0]), w["start"]),
                                 math.dist(frame(got[1][-1]), w["end"]))
        if worst_position > POSITION_TOL_MM:
            problems.append(f"a position {worst_position:.3f} mm off")
    worst_ratio = max(abs(d) for d in deviations)
    audit = doc.audit()
    return problems, worst_ratio, worst_position, len(audit.errors), len(audit.fixes)


def check():
    with open(os.path.join(HERE, "figures.json")) as f:
        figures = json.load(f)["pieces"]
    failed = False
    for name, fig in figures.items():
        for form in FORMS:
            problems, ratio, position, errors, fixes = check_file(name, form, fig)
            where = ("positions not compared (one layer)" if form.startswith("plain")
                     else f"positions within {position:.4f} mm")
            print(f"{name}-{form}.dxf: lengths/areas within {ratio * 100:.4f} %, "
                  f"{where}; ezdxf audit: {errors} "
                  f"errors, {fixes} fixes" + ("" if not problems else
                                              "; MISS: " + "; ".join(problems)))
            failed |= bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1:] == ["write"]:
        write()
    elif sys.argv[1:] == ["check"]:
        sys.exit(check())
    else:
        sys.exit(__doc__)
