#!/usr/bin/python3
"""qpkit export read by an independent reader, ezdxf (Debian's python3-ezdxf).

Usage: dxf_check.py QPKIT EXAMPLES_DIR WORK_DIR

Exports every example pattern (and the bodice after the point-increase
notch script, for a notch) in the three forms, at its own measurements and
as the three-size nest of examples/sizes.csv, reads the demo page's DXF of
each tool's result, and checks each file against
the pattern as qpkit itself reads it (the records form, graded to each
size): ezdxf's audit finds no error; every entity's layer is in the table;
every block is inserted and carries its texts; every turn, curve, notch and
drill point of the pattern is there on its layer, within 0.01 mm, and lies
on a polyline of its line's layer within 0.01 mm; a piece has its outline
closed on layer 1 (the sew line on 14 and the cut line around it on 1 when
it has seam allowances) as long as qpkit info says, its internal lines open
on layer 8 and a grain line on 7; a plain file holds one closed polyline per
outline and nothing but polylines.
"""
import json
import math
import os
import subprocess
import sys

import ezdxf

TOL = 0.01  # mm
QPKIT, EXAMPLES, WORK = sys.argv[1:4]
CHART = os.path.join(EXAMPLES, "sizes.csv")
failures = []


def qpkit(*args):
    r = subprocess.run([QPKIT, *args], capture_output=True, text=True)
    if r.returncode != 0:
        raise SystemExit("qpkit %s: status %d: %s" % (" ".join(args), r.returncode, r.stdout + r.stderr))
    return r.stdout


def fail(where, what):
    failures.append("%s: %s" % (where, what))


def seg_dist(p, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    L2 = dx * dx + dy * dy
    t = 0.0 if L2 == 0 else max(0.0, min(1.0, ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / L2))
    return math.hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy)


def vertices(pl):
    pts = [(v.dxf.location[0], v.dxf.location[1]) for v in pl.vertices]
    return pts + pts[:1] if pl.is_closed else pts


def on_polylines(p, polylines):
    return min((seg_dist(p, a, b) for pts in polylines for a, b in zip(pts, pts[1:])), default=1e9)


def length(pts):
    return sum(math.dist(a, b) for a, b in zip(pts, pts[1:]))


def area(pts):
    return abs(sum(a[0] * b[1] - b[0] * a[1] for a, b in zip(pts, pts[1:]))) / 2


def pieces_of(records_json):
    """Per piece: name, points by kind, outline and inner segment counts, allowances."""
    out = []
    for p in json.load(open(records_json))["pieces"]:
        pts, lines, segs = p["points"], p["lines"], p["segments"]
        kinds = {"2": [], "3": [], "4": [], "13": [], "2i": [], "3i": []}
        for q in pts:
            t = q["type"]
            at = (q["x"], q["y"])
            if t in "SK":
                kinds["2"].append(at)
            elif t in "CM":
                kinds["3"].append(at)
            elif t in "sk":
                kinds["2i"].append(at)
            elif t in "cm":
                kinds["3i"].append(at)
            elif t == "v":
                kinds["4"].append(at)
            elif t in "ogp":
                kinds["13"].append(at)
        line_segs = [s for s in segs if not s["markFlag"]]
        out.append({
            "name": p.get("name", ""),
            "kinds": kinds,
            "outlines": sum(1 for s in line_segs if s["code"] in (1, 3)),
            "inner": sum(1 for s in line_segs if s["code"] in (2, 4)),
            "allowances": len(p.get("seamAllowances", [])) > 0,
        })
    return out


def check_file(dxf_path, form, sizes):
    """sizes: [(size name or '', records json, info json)]"""
    where = os.path.basename(dxf_path)
    doc = ezdxf.readfile(dxf_path)
    auditor = doc.audit()
    for e in auditor.errors:
        fail(where, "audit: " + e.message)
    layers = {l.dxf.name for l in doc.layers}
    for space in [doc.modelspace(), *doc.blocks]:
        for e in space:
            if e.dxf.layer not in layers:
                fail(where, "%s on layer %s, which the table lacks" % (e.dxftype(), e.dxf.layer))
    msp = doc.modelspace()
    if form == "plain":
        kinds = {e.dxftype() for e in msp}
        if kinds != {"POLYLINE"}:
            fail(where, "plain modelspace holds %s" % sorted(kinds))
        closed = [e for e in msp if e.is_closed]
        want = sum(p["outlines"] for _, rec, _ in sizes for p in pieces_of(rec))
        if len(closed) != want:
            fail(where, "%d closed polylines for %d outlines" % (len(closed), want))
        want_len = sorted(p["outlineLength"] for _, _, info in sizes for p in json.load(open(info))["pieces"])
        got_len = sorted(length(vertices(e)) for e in closed)
        if len(closed) == len(want_len) and any(abs(a - b) > max(TOL, 1e-4 * b) for a, b in zip(got_len, want_len)):
            fail(where, "outline lengths %s, info says %s" % (got_len, want_len))
        return
    inserted = {e.dxf.name for e in msp.query("INSERT")}
    for size, rec, info in sizes:
        lengths = [p["outlineLength"] for p in json.load(open(info))["pieces"]]
        for i, piece in enumerate(pieces_of(rec)):
            blocks = [b for b in doc.blocks if not b.name.startswith("*") and any(
                t.dxf.text == "Piece Name: " + piece["name"] for t in b.query("TEXT"))
                and any(t.dxf.text == "Size: " + (size or "base") for t in b.query("TEXT"))]
            bw = "%s: piece %d (%s) size %s" % (where, i, piece["name"], size or "base")
            if len(blocks) != 1:
                failures.append("%s: %d blocks" % (bw, len(blocks)))
                continue
            b = blocks[0]
            if size and not b.name.endswith("-" + size):
                fail(bw, "block name %s does not end with -%s" % (b.name, size))
            if b.name not in inserted:
                fail(bw, "block %s is not inserted" % b.name)
            if not any(t.dxf.text == "Quantity: 1" for t in b.query("TEXT")):
                fail(bw, "no Quantity: text")
            poly = {}
            for e in b.query("POLYLINE"):
                poly.setdefault(e.dxf.layer, []).append(e)
            sew_layer = "14" if piece["allowances"] else "1"
            sew = [vertices(e) for e in poly.get(sew_layer, []) if e.is_closed]
            inner = [vertices(e) for e in poly.get("8", []) if not e.is_closed]
            if len(sew) != piece["outlines"]:
                fail(bw, "%d closed polylines on layer %s for %d outlines" % (len(sew), sew_layer, piece["outlines"]))
            if len(inner) != piece["inner"]:
                fail(bw, "%d open polylines on layer 8 for %d internal lines" % (len(inner), piece["inner"]))
            drawn = sum(length(s) for s in sew)
            if abs(drawn - lengths[i]) > max(TOL, 1e-4 * lengths[i]):
                fail(bw, "outline %.3f mm long on layer %s, info says %.3f" % (drawn, sew_layer, lengths[i]))
            if piece["allowances"]:
                cut = [vertices(e) for e in poly.get("1", []) if e.is_closed]
                if len(cut) != piece["outlines"] or sum(map(area, cut)) <= sum(map(area, sew)):
                    fail(bw, "no cut line around the sew line on layer 1")
            if form == "astm":
                cut_or_sew = [vertices(e) for e in poly.get("1", []) if e.is_closed]
                checks = [("84", cut_or_sew), ("85", inner)] + ([("87", sew)] if piece["allowances"] else [])
                for check, of in checks:
                    if len(poly.get(check, [])) != len(of):
                        fail(bw, "layer %s has %d polylines for %d" % (check, len(poly.get(check, [])), len(of)))
            points = {}
            for e in b.query("POINT"):
                points.setdefault(e.dxf.layer, []).append((e.dxf.location[0], e.dxf.location[1]))
            notches = [((e.dxf.start[0], e.dxf.start[1]), (e.dxf.end[0], e.dxf.end[1])) for e in b.query("LINE")
                       if e.dxf.layer == "4"]
            k = piece["kinds"]
            expect = {"2": (k["2"] + k["2i"], sew + inner), "3": (k["3"] + k["3i"], sew + inner),
                      "13": (k["13"], None)}
            for lay, (want, lines) in expect.items():
                got = points.get(lay, [])
                if len(got) != len(want):
                    fail(bw, "layer %s holds %d points for %d" % (lay, len(got), len(want)))
                for p in want:
                    if min((math.dist(p, g) for g in got), default=1e9) > TOL:
                        fail(bw, "point (%.3f, %.3f) missing on layer %s" % (p[0], p[1], lay))
                for g in got if lines else []:
                    d = on_polylines(g, lines)
                    if d > TOL:
                        fail(bw, "layer %s point (%.3f, %.3f) lies %.4f mm off its line" % (lay, g[0], g[1], d))
            if len(notches) != len(k["4"]):
                fail(bw, "%d notch lines for %d notches" % (len(notches), len(k["4"])))
            for p in k["4"]:
                if min((math.dist(p, n[0]) for n in notches), default=1e9) > TOL:
                    fail(bw, "notch (%.3f, %.3f) has no line starting there" % p)
            if len([e for e in b.query("LINE") if e.dxf.layer == "7"]) != 1:
                fail(bw, "no grain line on layer 7")


def main():
    os.makedirs(WORK, exist_ok=True)
    patterns = [os.path.join(EXAMPLES, f) for f in sorted(os.listdir(EXAMPLES))
                if f.endswith(".json") and f != "corpus.json"]
    notched = os.path.join(WORK, "basic-block-notch.json")
    qpkit("run", os.path.join(EXAMPLES, "basic-block.json"), os.path.join(EXAMPLES, "increase-notch.txt"),
          "-o", notched)
    patterns.append(notched)
    chart_sizes = [line.split(",")[0] for line in open(CHART).read().split("\n")[1:] if line.strip()]
    files = 0
    for pattern in patterns:
        stem = os.path.splitext(os.path.basename(pattern))[0]
        base_rec, base_info = os.path.join(WORK, stem + ".rec.json"), os.path.join(WORK, stem + ".info.json")
        qpkit("run", pattern, os.devnull, "-o", base_rec)
        open(base_info, "w").write(qpkit("info", pattern, "--json"))
        graded = []
        for size in chart_sizes:
            rec, info = (os.path.join(WORK, "%s.%s.%s.json" % (stem, size, k)) for k in ("rec", "info"))
            qpkit("grade", pattern, "--sizes", CHART, "--size", size, "-o", rec)
            open(info, "w").write(qpkit("info", rec, "--json"))
            graded.append((size, rec, info))
        for form in ("aama", "astm", "plain"):
            for nest in (False, True):
                out = os.path.join(WORK, "%s.%s%s.dxf" % (stem, form, ".nest" if nest else ""))
                qpkit("export", pattern, "-o", out, "--" + form, *(["--sizes", CHART] if nest else []))
                check_file(out, form, graded if nest else [("", base_rec, base_info)])
                files += 1
    # The demo page's DXF of each tool's result.
    demo = os.path.join(WORK, "demo")
    qpkit("demo", "--out", demo)
    for f in sorted(os.listdir(demo)):
        if f.endswith("-after.dxf"):
            rec = os.path.join(demo, f[:-4] + ".json")
            info = os.path.join(WORK, f[:-4] + ".info.json")
            open(info, "w").write(qpkit("info", rec, "--json"))
            check_file(os.path.join(demo, f), "aama", [("", rec, info)])
            files += 1
    for f in failures:
        print(f)
    print("dxf_check: %d files, %d failures" % (files, len(failures)))
    return 1 if failures else 0


sys.exit(main())
