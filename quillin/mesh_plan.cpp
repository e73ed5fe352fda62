#include "quillin/mesh_plan.h"

#include "msh_alloc.h"
#include "quillin/huge_pages.h"
#include "quillin/triangulate.h"
#include "quillin/two_threads.h"

#include <algorithm>
#include <cstring>

namespace quillin {

namespace {

// The numbers of a 16-bit index: how many vertices one group record can reach.
constexpr uint32_t kRecordSpan = 65536;

// A part of a position's own vertex that no corner has named yet (no table holds 2^32 - 1
// records, so this is no record's number).
constexpr uint32_t kOpen = UINT32_MAX - 1;

// A claim is kept as its two numbers packed and flipped by this mask, so that the zero of a
// fresh table means both parts open.
constexpr uint64_t kClaimMask = uint64_t{kOpen} | (uint64_t{kOpen} << 32);

uint64_t packClaim(uint32_t texcoord, uint32_t normal) {
    return (uint64_t{texcoord} | (uint64_t{normal} << 32)) ^ kClaimMask;
}

bool partAgrees(uint32_t named, uint32_t held) {
    return named == kNoIndex || held == kOpen || held == named;
}

template <typename T>
bool growArray(T*& array, uint32_t& capacity, uint64_t needed) {
    if (needed <= capacity)
        return true;
    const uint64_t wanted = std::max<uint64_t>({needed, uint64_t{capacity} * 2, 64});
    if (wanted > UINT32_MAX)
        return false;
    // Entries past the count are written before they are read: the new ones need no zeros.
    T* grown = static_cast<T*>(mshGrow(array, sizeof(T) * capacity, wanted, sizeof(T)));
    if (grown == nullptr)
        return false;
    array = grown;
    capacity = static_cast<uint32_t>(wanted);
    return true;
}

uint32_t hashVertex(uint32_t position, uint32_t texcoord, uint32_t normal) {
    uint64_t h = (uint64_t{position} * 0x9E3779B97F4A7C15ull) ^
                 (uint64_t{texcoord} * 0xC2B2AE3D27D4EB4Full) ^
                 (uint64_t{normal} * 0x165667B19E3779F9ull);
    h ^= h >> 29;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

// The extra vertices found among the corners of one share of the positions, in order of first
// use, with an open-addressing table of their numbers + 1 by their three numbers.
struct ExtraSet {
    ExtraVertex* extras;
    uint32_t count;
    uint32_t capacity;
    uint32_t* slots;
    uint32_t slotCount;
    bool outOfMemory;
};

void releaseExtraSet(ExtraSet& set) {
    mshRelease(set.extras);
    mshRelease(set.slots);
    set = ExtraSet{};
}

bool growSlots(ExtraSet& set) {
    const uint64_t count = set.slotCount == 0 ? 1024 : uint64_t{set.slotCount} * 2;
    if (count > (uint64_t{1} << 31))
        return false;
    uint32_t* slots = mshAllocateArray<uint32_t>(static_cast<size_t>(count));
    if (slots == nullptr)
        return false;
    const uint32_t mask = static_cast<uint32_t>(count - 1);
    for (uint32_t i = 0; i < set.count; ++i) {
        const ExtraVertex& e = set.extras[i];
        uint32_t at = hashVertex(e.position, e.texcoord, e.normal) & mask;
        while (slots[at] != 0)
            at = (at + 1) & mask;
        slots[at] = i + 1;
    }
    mshRelease(set.slots);
    set.slots = slots;
    set.slotCount = static_cast<uint32_t>(count);
    return true;
}

// A corner's vertex is its position's own one.
constexpr uint32_t kOwnVertex = UINT32_MAX;

// The number, within its set, of the extra vertex of a position with a texture coordinate and
// normal other than those its own vertex carries: found, or added. kOwnVertex when memory runs
// out (and the set says so).
uint32_t extraVertex(ExtraSet& set, uint32_t position, uint32_t texcoord, uint32_t normal) {
    if ((uint64_t{set.count} + 1) * 2 > set.slotCount && !growSlots(set)) {
        set.outOfMemory = true;
        return kOwnVertex;
    }
    const uint32_t mask = set.slotCount - 1;
    uint32_t at = hashVertex(position, texcoord, normal) & mask;
    for (; set.slots[at] != 0; at = (at + 1) & mask) {
        const ExtraVertex& e = set.extras[set.slots[at] - 1];
        if (e.position == position && e.texcoord == texcoord && e.normal == normal)
            return set.slots[at] - 1;
    }
    if (!growArray(set.extras, set.capacity, uint64_t{set.count} + 1)) {
        set.outOfMemory = true;
        return kOwnVertex;
    }
    set.extras[set.count] = ExtraVertex{position, texcoord, normal};
    set.slots[at] = ++set.count;
    return set.count - 1;
}

// The vertex a corner becomes: its position's own vertex (kOwnVertex) when each part the corner
// names is the one that vertex carries or still open (the part is then fixed), else an extra
// vertex of the set. A part the corner does not name agrees with anything.
uint32_t cornerVertex(uint64_t* claims, ExtraSet& set, const ObjCorner& corner) {
    uint64_t& held = claims[corner.position];
    // Nearly always: the corner names both parts, as the vertex's claim already holds them.
    // A held part is open or a number, never kNoIndex, so a corner naming none never matches.
    if (held == packClaim(corner.texcoord, corner.normal))
        return kOwnVertex;
    const uint64_t claim = held ^ kClaimMask;
    uint32_t texcoord = static_cast<uint32_t>(claim);
    uint32_t normal = static_cast<uint32_t>(claim >> 32);
    if (!partAgrees(corner.texcoord, texcoord) || !partAgrees(corner.normal, normal))
        return extraVertex(set, corner.position, corner.texcoord, corner.normal);
    if (corner.texcoord != kNoIndex)
        texcoord = corner.texcoord;
    if (corner.normal != kNoIndex)
        normal = corner.normal;
    held = packClaim(texcoord, normal);
    return kOwnVertex;
}

// The corners of the positions [low, high), in file order: each gets its vertex number, its
// position for its own vertex, firstExtra + its number in `set` for an extra one. Shares of
// disjoint positions touch disjoint claims and corners.
void mapCorners(const ObjTables& obj, uint32_t corners, uint64_t* claims, uint32_t low,
                uint32_t high, uint32_t firstExtra, uint32_t* cornerVertices, ExtraSet& set) {
    const uint32_t span = high - low;
    for (uint32_t c = 0; c < corners && !set.outOfMemory; ++c) {
        const ObjCorner& corner = obj.corners[c];
        if (corner.position - low < span) {
            const uint32_t extra = cornerVertex(claims, set, corner);
            cornerVertices[c] = extra == kOwnVertex ? corner.position : firstExtra + extra;
        }
    }
}

PolygonPoint pointOf(const ObjTables& obj, const ObjCorner& corner) {
    const ObjVec3& p = obj.positions[corner.position];
    return PolygonPoint{p.x, p.y, p.z};
}

// Working memory for one polygon at a time, sized for the largest.
struct PolygonScratch {
    PolygonPoint* points;
    uint32_t* vertices;
    uint32_t* triangles;
    TriangulationScratch triangulation;
};

constexpr size_t kScratchBytesPerCorner =
    sizeof(PolygonPoint) + 2 * sizeof(double) + (1 + 3 + 2) * sizeof(uint32_t);

// Carves the scratch of one share out of `block`, which holds kScratchBytesPerCorner bytes per
// corner of the largest polygon.
PolygonScratch carvePolygonScratch(void* block, uint32_t largest) {
    PolygonScratch scratch{};
    // The doubles first, so that each array is aligned for its type.
    scratch.points = static_cast<PolygonPoint*>(block);
    scratch.triangulation.planar = reinterpret_cast<double*>(scratch.points + largest);
    scratch.vertices =
        reinterpret_cast<uint32_t*>(scratch.triangulation.planar + 2 * size_t{largest});
    scratch.triangles = scratch.vertices + largest;
    scratch.triangulation.links = scratch.triangles + 3 * size_t{largest};
    return scratch;
}

// The vertex numbers of the mesh for corners mapped by two shares of the positions split at
// `split`, both numbering their extra vertices from the first after the positions' own: the
// second share's follow the first share's.
struct CornerVertexNumbers {
    const uint32_t* cornerVertices;
    uint32_t split;
    uint32_t firstExtra;
    uint32_t firstShareExtras;

    uint32_t of(const ObjCorner& corner, uint32_t c) const {
        const uint32_t mapped = cornerVertices[c];
        return mapped >= firstExtra && corner.position >= split ? mapped + firstShareExtras
                                                                : mapped;
    }
};

// Renumbers the second share's extra vertices among the corners [first, end) in place.
void renumberSecondShare(const ObjTables& obj, const CornerVertexNumbers& numbers, uint32_t first,
                         uint32_t end, uint32_t* cornerVertices) {
    for (uint32_t c = first; c < end; ++c)
        cornerVertices[c] = numbers.of(obj.corners[c], c);
}

// Writes the triangles of the faces [first, end).
void planFaceTriangles(const ObjTables& obj, const CornerVertexNumbers& numbers, uint32_t first,
                       uint32_t end, PolygonScratch scratch, uint32_t* triangleVertices) {
    for (uint32_t i = first; i < end; ++i) {
        const ObjFace& face = obj.faces[i];
        const ObjCorner* corners = obj.corners + face.firstCorner;
        const uint32_t n = face.cornerCount;
        uint32_t* out = triangleVertices + 3 * size_t{face.firstCorner - 2 * i};
        if (n == 3) {
            for (uint32_t k = 0; k < 3; ++k)
                out[k] = numbers.of(corners[k], face.firstCorner + k);
            continue;
        }
        for (uint32_t k = 0; k < n; ++k) {
            scratch.vertices[k] = numbers.of(corners[k], face.firstCorner + k);
            scratch.points[k] = pointOf(obj, corners[k]);
        }
        triangulatePolygon(scratch.points, n, scratch.triangulation, scratch.triangles);
        for (uint32_t k = 0; k < 3 * (n - 2); ++k)
            out[k] = scratch.vertices[scratch.triangles[k]];
    }
}

// Joins the two shares' extra vertices into the plan's, the first share's first.
bool joinExtras(MeshPlan& plan, const ExtraSet sets[2]) {
    const uint64_t count = uint64_t{sets[0].count} + sets[1].count;
    if (uint64_t{plan.baseVertexCount} + count > UINT32_MAX)
        return false;
    if (count == 0)
        return true;
    plan.extras = mshAllocateArray<ExtraVertex>(static_cast<size_t>(count));
    if (plan.extras == nullptr)
        return false;
    plan.extraCount = static_cast<uint32_t>(count);
    if (sets[0].count != 0)
        std::memcpy(plan.extras, sets[0].extras, sizeof(ExtraVertex) * sets[0].count);
    if (sets[1].count != 0)
        std::memcpy(plan.extras + sets[0].count, sets[1].extras,
                    sizeof(ExtraVertex) * sets[1].count);
    return true;
}

// Writes the triangles of the faces into a table of their own, the polygons cut.
bool planPolygonTriangles(const ObjTables& obj, const CornerVertexNumbers& numbers,
                          uint32_t corners, MeshPlan& plan) {
    plan.triangleVertices = mshAllocateArray<uint32_t>(size_t{3} * plan.triangleCount);
    if (plan.triangleVertices == nullptr)
        return false;
    adviseHugePages(plan.triangleVertices, sizeof(uint32_t) * 3 * size_t{plan.triangleCount});
    uint32_t largest = 3;
    for (uint32_t i = 0; i < obj.storedFaces; ++i)
        largest = std::max(largest, obj.faces[i].cornerCount);
    void* scratch = mshAllocate(2 * size_t{largest}, kScratchBytesPerCorner);
    if (scratch == nullptr)
        return false;
    runShares(corners, kParallelAssemblyFrom, [&](int share) {
        const PolygonScratch mine = carvePolygonScratch(
            static_cast<char*>(scratch) + share * size_t{largest} * kScratchBytesPerCorner,
            largest);
        const ShareRange faces = shareOf(obj.storedFaces, share);
        planFaceTriangles(obj, numbers, faces.first, faces.end, mine, plan.triangleVertices);
    });
    mshRelease(scratch);
    return true;
}

// Gives every corner its vertex, in file order within each position's corners, and writes the
// triangles of every face. When every face is a triangle, the corners' vertex numbers are the
// triangles' already. The work is shared out the same way whether or not a second thread runs
// it, so the result never depends on threads. `corners`: the corners of the stored faces.
bool planTriangles(const ObjTables& obj, uint32_t corners, MeshPlan& plan) {
    uint32_t* cornerVertices = mshAllocateArray<uint32_t>(corners);
    if (cornerVertices == nullptr)
        return false;
    adviseHugePages(cornerVertices, sizeof(uint32_t) * corners);
    const uint32_t split = shareOf(obj.positionCount, 1).first;
    ExtraSet sets[2] = {};
    if (obj.cornersNameOwnNumbers) {
        // Every corner names its position's own numbers (or none): every corner is its
        // position's own vertex, which carries those numbers already.
        runShares(corners, kParallelAssemblyFrom, [&](int share) {
            const ShareRange mine = shareOf(corners, share);
            for (uint32_t c = mine.first; c < mine.end; ++c)
                cornerVertices[c] = obj.corners[c].position;
        });
    } else {
        runShares(corners, kParallelAssemblyFrom, [&](int share) {
            const ShareRange positions = shareOf(obj.positionCount, share);
            mapCorners(obj, corners, plan.claims, positions.first, positions.end,
                       plan.baseVertexCount, cornerVertices, sets[share]);
        });
    }
    const bool ok = !sets[0].outOfMemory && !sets[1].outOfMemory && joinExtras(plan, sets);
    const CornerVertexNumbers numbers{cornerVertices, split, plan.baseVertexCount, sets[0].count};
    const bool renumber = sets[0].count != 0 && sets[1].count != 0;
    releaseExtraSet(sets[0]);
    releaseExtraSet(sets[1]);
    if (!ok) {
        mshRelease(cornerVertices);
        return false;
    }
    if (corners != 3 * obj.storedFaces) {
        const bool planned = planPolygonTriangles(obj, numbers, corners, plan);
        mshRelease(cornerVertices);
        return planned;
    }
    if (renumber)
        runShares(corners, kParallelAssemblyFrom, [&](int share) {
            const ShareRange mine = shareOf(corners, share);
            renumberSecondShare(obj, numbers, mine.first, mine.end, cornerVertices);
        });
    plan.triangleVertices = cornerVertices;
    return true;
}

// Where the triangles of face i begin: every face before it gave its corners less two.
uint32_t firstTriangleOf(const ObjTables& obj, const MeshPlan& plan, uint32_t face) {
    return face < obj.storedFaces ? obj.faces[face].firstCorner - 2 * face : plan.triangleCount;
}

bool addRecord(MeshPlan& plan, uint32_t id, uint32_t line, uint32_t firstTriangle,
               uint32_t endTriangle, uint32_t baseVertex, uint32_t vertexCount) {
    if (!growArray(plan.records, plan.recordCapacity, uint64_t{plan.recordCount} + 1))
        return false;
    plan.records[plan.recordCount++] =
        PlannedRecord{MeshGroup{id, 3 * (endTriangle - firstTriangle), baseVertex, vertexCount,
                                3 * firstTriangle},
                      line};
    return true;
}

// The vertices of one record whose triangles reach too far apart for one span: each vertex it
// uses is copied once, in order of first use, and its triangles draw from the copies.
struct CopySet {
    uint32_t* stamps; // per vertex: the copy set that copied it last
    uint32_t* copyOf; // per vertex: the copy it got there
    uint32_t stamp;
    uint32_t firstCopy;
    uint32_t size;
};

bool startCopySet(const MeshPlan& plan, CopySet& set) {
    const uint32_t vertices = firstCopyVertex(plan);
    if (set.stamps == nullptr) {
        set.stamps = mshAllocateArray<uint32_t>(vertices);
        set.copyOf = mshAllocateArray<uint32_t>(vertices);
        if (set.stamps == nullptr || set.copyOf == nullptr)
            return false;
    }
    ++set.stamp;
    set.firstCopy = plan.copyCount;
    set.size = 0;
    return true;
}

uint32_t newCopiesOf(const CopySet& set, const uint32_t* triangle) {
    uint32_t fresh = 0;
    for (int c = 0; c < 3; ++c)
        fresh += set.stamps[triangle[c]] != set.stamp && (c == 0 || triangle[c] != triangle[0]) &&
                 (c < 2 || triangle[c] != triangle[1]);
    return fresh;
}

bool drawFromCopies(MeshPlan& plan, CopySet& set, uint32_t* triangle) {
    for (int c = 0; c < 3; ++c) {
        const uint32_t vertex = triangle[c];
        if (set.stamps[vertex] != set.stamp) {
            if (uint64_t{plannedVertexCount(plan)} >= UINT32_MAX ||
                !growArray(plan.copies, plan.copyCapacity, uint64_t{plan.copyCount} + 1))
                return false;
            plan.copies[plan.copyCount] = vertex;
            set.stamps[vertex] = set.stamp;
            set.copyOf[vertex] = firstCopyVertex(plan) + plan.copyCount++;
            ++set.size;
        }
        triangle[c] = set.copyOf[vertex];
    }
    return true;
}

// A run of copies also takes the few triangles that follow a far one, so that far and near
// triangles taking turns (a fan around a far vertex) share one run instead of a run each.
constexpr uint32_t kNearInCopies = 16;

// One "g" record's triangles [first, end) as group records: runs whose vertices fit one span
// draw on the vertices as they are; a triangle that fits no span starts a run of copies.
bool planGroup(MeshPlan& plan, CopySet& set, uint32_t id, uint32_t line, uint32_t first,
               uint32_t end) {
    if (first == end) {
        const MeshGroup* before =
            plan.recordCount != 0 ? &plan.records[plan.recordCount - 1].group : nullptr;
        const uint32_t base = before != nullptr ? before->baseVertex + before->vertexCount : 0;
        return addRecord(plan, id, line, first, end, base, 0);
    }
    // Nearly always the whole group fits one span: one record, found in one sweep.
    const uint32_t* vertices = plan.triangleVertices + 3 * size_t{first};
    uint32_t low = UINT32_MAX, high = 0;
    for (size_t k = 0; k < 3 * size_t{end - first}; ++k) {
        low = std::min(low, vertices[k]);
        high = std::max(high, vertices[k]);
    }
    if (high - low < kRecordSpan)
        return addRecord(plan, id, line, first, end, low, high - low + 1);
    uint32_t runStart = first;
    bool copying = false;
    uint32_t nearSinceFar = 0;
    low = UINT32_MAX, high = 0;
    auto closeRun = [&](uint32_t at) {
        return copying ? addRecord(plan, id, line, runStart, at,
                                   firstCopyVertex(plan) + set.firstCopy, set.size)
                       : addRecord(plan, id, line, runStart, at, low, high - low + 1);
    };
    for (uint32_t t = first; t < end; ++t) {
        uint32_t* triangle = plan.triangleVertices + 3 * size_t{t};
        const uint32_t triangleLow = std::min({triangle[0], triangle[1], triangle[2]});
        const uint32_t triangleHigh = std::max({triangle[0], triangle[1], triangle[2]});
        const bool near = triangleHigh - triangleLow < kRecordSpan;
        bool fits;
        if (copying)
            fits = (!near || nearSinceFar < kNearInCopies) &&
                   set.size + newCopiesOf(set, triangle) <= kRecordSpan;
        else
            fits = near && std::max(high, triangleHigh) - std::min(low, triangleLow) < kRecordSpan;
        if (!fits && t != runStart) {
            if (!closeRun(t))
                return false;
            runStart = t;
        }
        if (t == runStart) {
            copying = !near;
            nearSinceFar = 0;
            low = UINT32_MAX, high = 0;
            if (copying && !startCopySet(plan, set))
                return false;
        }
        if (copying) {
            nearSinceFar = near ? nearSinceFar + 1 : 0;
            if (!drawFromCopies(plan, set, triangle))
                return false;
        } else {
            low = std::min(low, triangleLow);
            high = std::max(high, triangleHigh);
        }
    }
    return closeRun(end);
}

bool planRecords(const ObjTables& obj, MeshPlan& plan) {
    CopySet set{};
    const uint32_t ungrouped = obj.storedGroups != 0 ? obj.groups[0].firstFace : obj.storedFaces;
    bool ok = ungrouped == 0 ||
              planGroup(plan, set, 0, UINT32_MAX, 0, firstTriangleOf(obj, plan, ungrouped));
    for (uint32_t j = 0; ok && j < obj.storedGroups; ++j) {
        const ObjGroup& group = obj.groups[j];
        ok = planGroup(plan, set, group.id, j, firstTriangleOf(obj, plan, group.firstFace),
                       firstTriangleOf(obj, plan, group.firstFace + group.faceCount));
    }
    mshRelease(set.stamps);
    mshRelease(set.copyOf);
    return ok;
}

bool recordsAreGroups(const ObjTables& obj, const MeshPlan& plan) {
    bool same = plan.recordCount == obj.groupCount;
    for (uint32_t r = 0; same && r < plan.recordCount; ++r)
        same = plan.records[r].line == r;
    return same;
}

} // namespace

bool planMesh(const ObjTables& obj, const SideTables& side, MeshPlan& plan) {
    plan = MeshPlan{};
    plan.baseVertexCount = std::max({obj.positionCount, obj.texcoordCount, obj.normalCount});
    const uint32_t storedCorners = obj.storedFaces == 0
                                       ? 0
                                       : obj.faces[obj.storedFaces - 1].firstCorner +
                                             obj.faces[obj.storedFaces - 1].cornerCount;
    plan.triangleCount = storedCorners - 2 * obj.storedFaces;
    plan.claims = mshAllocateArray<uint64_t>(obj.positionCount);
    adviseHugePages(plan.claims, sizeof(uint64_t) * obj.positionCount);
    const bool ok =
        plan.claims != nullptr && planTriangles(obj, storedCorners, plan) && planRecords(obj, plan);
    if (!ok) {
        releaseMeshPlan(plan);
        return false;
    }
    // The side file's table rows name groups by the place of their "g" record; they name the
    // mesh's groups the same way unless a group record was added or split.
    plan.recordsAreGroups = recordsAreGroups(obj, plan);
    plan.groupMatrixCount = side.pairCount == 0     ? 0
                            : plan.recordsAreGroups ? side.pairCount
                                                    : plan.recordCount;
    return true;
}

void releaseMeshPlan(MeshPlan& plan) {
    mshRelease(plan.claims);
    mshRelease(plan.extras);
    mshRelease(plan.copies);
    mshRelease(plan.triangleVertices);
    mshRelease(plan.records);
    plan = MeshPlan{};
}

void claimedAttributes(const ObjTables& obj, const MeshPlan& plan, uint32_t position,
                       uint32_t& texcoord, uint32_t& normal) {
    texcoord = position < obj.texcoordCount ? position : kNoIndex;
    normal = position < obj.normalCount ? position : kNoIndex;
    if (position >= obj.positionCount)
        return;
    const uint64_t claim = plan.claims[position] ^ kClaimMask;
    if (static_cast<uint32_t>(claim) != kOpen)
        texcoord = static_cast<uint32_t>(claim);
    if (static_cast<uint32_t>(claim >> 32) != kOpen)
        normal = static_cast<uint32_t>(claim >> 32);
}

} // namespace quillin
