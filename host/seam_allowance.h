// Seam allowances: the cut line of a piece, its outline offset outward by
// the widths of its Extwid records and joined at its corners as its Cutangl
// records say. Built here once, for the pictures and for every exchange
// format that writes a cut line or reads one back.
//
// The records say which stretch has which width and which corner has which
// kind; the rest is the host's rule, chosen here and used everywhere:
//
//  * Widths. A piece without Extwid records has no allowance: its outline is
//    its cut line, and cutLines gives nothing. Record 0 is the piece's own
//    allowance: its fromWidth all round every outline chain (its points and
//    toWidth are not read, as the tools leave record 0 alone when they
//    renumber). Each later record is a stretch, from point fromPoint forward
//    along its outline chain in point order to point toPoint (on past the
//    chain's closing point when toPoint comes first), its width going from
//    fromWidth to toWidth in proportion to the length along the outline. A
//    later record wins where stretches overlap. A record whose two points
//    are not on one outline chain, or are one point, is not read; a
//    negative width counts as none.
//  * Outward is away from the area the chain encloses. A chain whose end is
//    not its start is closed by a straight line.
//  * Corners. Where the outline turns outward, the two offset lines meet at
//    their intersection (a mitre), or, when that lies more than kMitreLimit
//    widths from the corner, are joined straight across (a bevel). Where it
//    turns inward they meet at their intersection, and the loops an offset
//    makes at turns tighter than its width are cut out. A Cutangl record at
//    a point squares its corner instead: side 1 to the stretch that comes
//    in (the cut leaves the incoming allowance perpendicular to the incoming
//    stretch, at the point where the outgoing allowance line crosses the
//    incoming stretch's line), side 2 to the stretch that goes out (the
//    same with the two exchanged); other sides, and corners the square cut
//    cannot reach (an inward turn), take the mitre. Its first and second
//    values are kept for the tools and not read here.
//
// Memory: reads the piece through the store's getters and the geometry
// service's samples, keeps nothing. Units: piece millimetres, y up.
#pragma once

#include <vector>

#include "frame/records.h"
#include "host/piece_geometry.h"

namespace host {

// Beyond this many widths from its corner, a mitre is cut straight across.
constexpr double kMitreLimit = 4.0;

// What one stretch of a cut line belongs to: the outline line whose
// allowance it is, or, for the joins at a corner, the corner's point.
struct CutPart {
    short line = -1;
    short corner = -1;
};

// The cut line around one outline chain: closed (its last point is its
// first), turning the same way as the outline, and parts[i] says what its
// stretch points[i] .. points[i + 1] belongs to.
struct CutLine {
    short segment = -1;  // the outline segment (code 1 or 3) it surrounds
    Polyline points;
    std::vector<CutPart> parts;
};

// One per outline segment with an allowance; nothing for a piece without
// Extwid records.
std::vector<CutLine> cutLines(Piece* piece);

}  // namespace host
