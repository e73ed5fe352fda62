// Cutting a polygon of n corners into n - 2 triangles that tile it, keeping its winding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillin {

struct PolygonPoint {
    double x, y, z;
};

// Working memory for polygons of up to n corners.
struct TriangulationScratch {
    double* planar;  // 2n: the corners projected onto the polygon's plane
    uint32_t* links; // 2n: the corners not yet cut off, as a ring
};

// Writes the n - 2 triangles of the polygon `points` (n >= 3, room reserved) as triples of
// corner numbers 0..n-1 into `triangles`. A triangle keeps its corners in polygon order. A
// quadrilateral is split along the diagonal that lies inside it (0-2 when both do), a convex
// polygon into a fan from corner 0, a concave one by cutting off ears in the polygon's plane.
// Degenerate polygons still give n - 2 triangles; the result depends on the points alone.
void triangulatePolygon(const PolygonPoint* points, uint32_t n, TriangulationScratch& scratch,
                        uint32_t* triangles);

} // namespace quillin
