#include "quillin/triangulate.h"

#include <cmath>

namespace quillin {

namespace {

PolygonPoint minus(const PolygonPoint& a, const PolygonPoint& b) {
    return PolygonPoint{a.x - b.x, a.y - b.y, a.z - b.z};
}

PolygonPoint cross(const PolygonPoint& a, const PolygonPoint& b) {
    return PolygonPoint{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double dot(const PolygonPoint& a, const PolygonPoint& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

void put(uint32_t*& out, uint32_t a, uint32_t b, uint32_t c) {
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out += 3;
}

// A quadrilateral: the diagonal 0-2 when both its triangles face the quad's way, else 1-3.
void splitQuad(const PolygonPoint* p, uint32_t* out) {
    const PolygonPoint normal = cross(minus(p[2], p[0]), minus(p[3], p[1]));
    const double first = dot(cross(minus(p[1], p[0]), minus(p[2], p[0])), normal);
    const double second = dot(cross(minus(p[2], p[0]), minus(p[3], p[0])), normal);
    if (first >= 0 && second >= 0) {
        put(out, 0, 1, 2);
        put(out, 0, 2, 3);
    } else {
        put(out, 1, 2, 3);
        put(out, 1, 3, 0);
    }
}

PolygonPoint newellNormal(const PolygonPoint* p, uint32_t n) {
    PolygonPoint normal{0, 0, 0};
    for (uint32_t i = 0; i < n; ++i) {
        const PolygonPoint& a = p[i];
        const PolygonPoint& b = p[i + 1 == n ? 0 : i + 1];
        normal.x += (a.y - b.y) * (a.z + b.z);
        normal.y += (a.z - b.z) * (a.x + b.x);
        normal.z += (a.x - b.x) * (a.y + b.y);
    }
    return normal;
}

// Projects the corners onto the coordinate plane the normal is most upright to, ordered so that
// the polygon runs counter-clockwise there.
void project(const PolygonPoint* p, uint32_t n, const PolygonPoint& normal, double* planar) {
    const double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
    for (uint32_t i = 0; i < n; ++i) {
        double u, v;
        if (az >= ax && az >= ay) {
            u = p[i].x, v = p[i].y;
            if (normal.z < 0)
                v = -v;
        } else if (ax >= ay) {
            u = p[i].y, v = p[i].z;
            if (normal.x < 0)
                v = -v;
        } else {
            u = p[i].z, v = p[i].x;
            if (normal.y < 0)
                v = -v;
        }
        planar[2 * i] = u;
        planar[2 * i + 1] = v;
    }
}

double turn(const double* planar, uint32_t a, uint32_t b, uint32_t c) {
    const double* pa = planar + 2 * a;
    const double* pb = planar + 2 * b;
    const double* pc = planar + 2 * c;
    return (pb[0] - pa[0]) * (pc[1] - pa[1]) - (pb[1] - pa[1]) * (pc[0] - pa[0]);
}

bool isConvex(const double* planar, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (turn(planar, i, (i + 1) % n, (i + 2) % n) < 0)
            return false;
    return true;
}

void fan(const uint32_t* links, uint32_t start, uint32_t remaining, uint32_t*& out) {
    uint32_t b = links[2 * start + 1];
    for (uint32_t k = 2; k < remaining; ++k) {
        const uint32_t c = links[2 * b + 1];
        put(out, start, b, c);
        b = c;
    }
}

bool samePoint(const double* planar, uint32_t a, uint32_t b) {
    return planar[2 * a] == planar[2 * b] && planar[2 * a + 1] == planar[2 * b + 1];
}

// Whether the corner `ear` (between `before` and `after`) can be cut off: it turns the
// polygon's way and no other remaining corner lies in the triangle it spans.
bool isEar(const double* planar, const uint32_t* links, uint32_t before, uint32_t ear,
           uint32_t after, uint64_t& budget) {
    if (turn(planar, before, ear, after) <= 0)
        return false;
    for (uint32_t r = links[2 * after + 1]; r != before; r = links[2 * r + 1]) {
        if (budget != 0)
            --budget;
        if (samePoint(planar, r, before) || samePoint(planar, r, ear) ||
            samePoint(planar, r, after))
            continue;
        if (turn(planar, before, ear, r) >= 0 && turn(planar, ear, after, r) >= 0 &&
            turn(planar, after, before, r) >= 0)
            return false;
    }
    return true;
}

// The most corner tests one polygon may take; a polygon that needs more (a huge, badly shaped
// one) has the rest of it cut as a fan, so that no input can stall the run.
constexpr uint64_t kEarTestBudget = uint64_t{1} << 26;

void clipEars(const double* planar, uint32_t n, uint32_t* links, uint32_t* out) {
    for (uint32_t i = 0; i < n; ++i) {
        links[2 * i] = i == 0 ? n - 1 : i - 1;
        links[2 * i + 1] = i + 1 == n ? 0 : i + 1;
    }
    uint64_t budget = kEarTestBudget;
    uint32_t remaining = n;
    uint32_t at = 0;
    uint32_t misses = 0;
    while (remaining > 3 && budget != 0) {
        const uint32_t before = links[2 * at];
        const uint32_t after = links[2 * at + 1];
        // After a whole round without an ear (a degenerate or self-crossing polygon) the
        // current corner is cut off anyway.
        if (misses < remaining && !isEar(planar, links, before, at, after, budget)) {
            ++misses;
            at = after;
            continue;
        }
        put(out, before, at, after);
        links[2 * before + 1] = after;
        links[2 * after] = before;
        --remaining;
        misses = 0;
        at = after;
    }
    fan(links, links[2 * at], remaining, out);
}

} // namespace

void triangulatePolygon(const PolygonPoint* points, uint32_t n, TriangulationScratch& scratch,
                        uint32_t* triangles) {
    if (n == 3) {
        put(triangles, 0, 1, 2);
        return;
    }
    if (n == 4) {
        splitQuad(points, triangles);
        return;
    }
    project(points, n, newellNormal(points, n), scratch.planar);
    if (isConvex(scratch.planar, n)) {
        for (uint32_t k = 1; k + 1 < n; ++k)
            put(triangles, 0, k, k + 1);
        return;
    }
    clipEars(scratch.planar, n, scratch.links, triangles);
}

} // namespace quillin
