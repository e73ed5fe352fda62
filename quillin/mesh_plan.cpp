#include "mesh_plan.h"

#include "msh_alloc.h"
#include "triangulate.h"

#include <algorithm>
#include <cstring>

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
    T* grown = mshAllocateArray<T>(static_cast<size_t>(wanted));
    if (grown == nullptr)
        return false;
    if (capacity != 0)
        std::memcpy(grown, array, sizeof(T) * capacity);
    mshRelease(array);
    array = grown;
    capacity = static_cast<uint32_t>(wanted);
    return true;
}

uint32_t hashVertex(uint32_t position, uint32_t texcoord, uint32_t normal) {
    uint64_t h = (uint64_t{position} * 0x9E3779B97F4A7C15ull) ^ (uint64_t{texcoord} * 0xC2B2AE3D27D4EB4Full) ^
                 (uint64_t{normal} * 0x165667B19E3779F9ull);
    h ^= h >> 29;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

bool growSlots(MeshPlan& plan) {
    const uint64_t count = plan.slotCount == 0 ? 1024 : uint64_t{plan.slotCount} * 2;
    if (count > (uint64_t{1} << 31))
        return false;
    uint32_t* slots = mshAllocateArray<uint32_t>(static_cast<size_t>(count));
    if (slots == nullptr)
        return false;
    const uint32_t mask = static_cast<uint32_t>(count - 1);
    for (uint32_t i = 0; i < plan.extraCount; ++i) {
        const ExtraVertex& e = plan.extras[i];
        uint32_t at = hashVertex(e.position, e.texcoord, e.normal) & mask;
        while (slots[at] != 0)
            at = (at + 1) & mask;
        slots[at] = i + 1;
    }
    mshRelease(plan.extraSlots);
    plan.extraSlots = slots;
    plan.slotCount = static_cast<uint32_t>(count);
    return true;
}

// The vertex of a position with a texture coordinate and normal other than those its own vertex
// carries: found among the extra vertices, or added to them. UINT32_MAX when memory runs out.
uint32_t extraVertex(MeshPlan& plan, uint32_t position, uint32_t texcoord, uint32_t normal) {
    if (uint64_t{plan.extraCount + 1} * 2 > plan.slotCount && !growSlots(plan))
        return UINT32_MAX;
    const uint32_t mask = plan.slotCount - 1;
    uint32_t at = hashVertex(position, texcoord, normal) & mask;
    for (; plan.extraSlots[at] != 0; at = (at + 1) & mask) {
        const ExtraVertex& e = plan.extras[plan.extraSlots[at] - 1];
        if (e.position == position && e.texcoord == texcoord && e.normal == normal)
            return plan.baseVertexCount + plan.extraSlots[at] - 1;
    }
    if (uint64_t{plan.baseVertexCount} + plan.extraCount >= UINT32_MAX ||
        !growArray(plan.extras, plan.extraCapacity, uint64_t{plan.extraCount} + 1))
        return UINT32_MAX;
    plan.extras[plan.extraCount] = ExtraVertex{position, texcoord, normal};
    plan.extraSlots[at] = ++plan.extraCount;
    return plan.baseVertexCount + plan.extraCount - 1;
}

// The vertex a corner becomes: its position's own vertex when each part the corner names is the
// one that vertex carries or still open (the part is then fixed), else an extra vertex. A part
// the corner does not name agrees with anything.
uint32_t cornerVertex(MeshPlan& plan, const ObjCorner& corner) {
    uint64_t& held = plan.claims[corner.position];
    const uint64_t claim = held ^ kClaimMask;
    uint32_t texcoord = static_cast<uint32_t>(claim);
    uint32_t normal = static_cast<uint32_t>(claim >> 32);
    if (!partAgrees(corner.texcoord, texcoord) || !partAgrees(corner.normal, normal))
        return extraVertex(plan, corner.position, corner.texcoord, corner.normal);
    if (corner.texcoord != kNoIndex)
        texcoord = corner.texcoord;
    if (corner.normal != kNoIndex)
        normal = corner.normal;
    held = packClaim(texcoord, normal);
    return corner.position;
}

PolygonPoint pointOf(const ObjTables& obj, const ObjCorner& corner) {
    const ObjVec3& p = obj.positions[corner.position];
    return PolygonPoint{p.x, p.y, p.z};
}

// Working memory for one polygon at a time, sized for the largest, in one block.
struct PolygonScratch {
    void* block;
    PolygonPoint* points;
    uint32_t* vertices;
    uint32_t* triangles;
    TriangulationScratch triangulation;
};

constexpr size_t kScratchBytesPerCorner = sizeof(PolygonPoint) + 2 * sizeof(double) + (1 + 3 + 2) * sizeof(uint32_t);

bool reservePolygons(const ObjTables& obj, PolygonScratch& scratch) {
    uint32_t largest = 3;
    for (uint32_t i = 0; i < obj.storedFaces; ++i)
        largest = std::max(largest, obj.faces[i].cornerCount);
    scratch.block = mshAllocate(largest, kScratchBytesPerCorner);
    if (scratch.block == nullptr)
        return false;
    // The doubles first, so that each array is aligned for its type.
    scratch.points = static_cast<PolygonPoint*>(scratch.block);
    scratch.triangulation.planar = reinterpret_cast<double*>(scratch.points + largest);
    scratch.vertices = reinterpret_cast<uint32_t*>(scratch.triangulation.planar + 2 * size_t{largest});
    scratch.triangles = scratch.vertices + largest;
    scratch.triangulation.links = scratch.triangles + 3 * size_t{largest};
    return true;
}

// Gives every corner its vertex, in file order, and writes the triangles of every face.
bool planTriangles(const ObjTables& obj, MeshPlan& plan) {
    PolygonScratch scratch{};
    bool ok = reservePolygons(obj, scratch);
    uint32_t* out = plan.triangleVertices;
    for (uint32_t i = 0; ok && i < obj.storedFaces; ++i) {
        const ObjFace& face = obj.faces[i];
        const ObjCorner* corners = obj.corners + face.firstCorner;
        const uint32_t n = face.cornerCount;
        for (uint32_t k = 0; k < n; ++k) {
            scratch.vertices[k] = cornerVertex(plan, corners[k]);
            ok = ok && scratch.vertices[k] != UINT32_MAX;
        }
        if (n == 3) {
            std::memcpy(out, scratch.vertices, 3 * sizeof(uint32_t));
            out += 3;
            continue;
        }
        for (uint32_t k = 0; k < n; ++k)
            scratch.points[k] = pointOf(obj, corners[k]);
        triangulatePolygon(scratch.points, n, scratch.triangulation, scratch.triangles);
        for (uint32_t k = 0; k < 3 * (n - 2); ++k)
            *out++ = scratch.vertices[scratch.triangles[k]];
    }
    mshRelease(scratch.block);
    return ok;
}

// Where the triangles of face i begin: every face before it gave its corners less two.
uint32_t firstTriangleOf(const ObjTables& obj, const MeshPlan& plan, uint32_t face) {
    return face < obj.storedFaces ? obj.faces[face].firstCorner - 2 * face : plan.triangleCount;
}

bool addRecord(MeshPlan& plan, uint32_t id, uint32_t line, uint32_t firstTriangle, uint32_t endTriangle,
               uint32_t baseVertex, uint32_t vertexCount) {
    if (!growArray(plan.records, plan.recordCapacity, uint64_t{plan.recordCount} + 1))
        return false;
    plan.records[plan.recordCount++] = PlannedRecord{
        MeshGroup{id, 3 * (endTriangle - firstTriangle), baseVertex, vertexCount, 3 * firstTriangle}, line};
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
    const uint32_t vertices = plan.baseVertexCount + plan.extraCount;
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
        fresh += set.stamps[triangle[c]] != set.stamp &&
                 (c == 0 || triangle[c] != triangle[0]) && (c < 2 || triangle[c] != triangle[1]);
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
            set.copyOf[vertex] = plan.baseVertexCount + plan.extraCount + plan.copyCount++;
            ++set.size;
        }
        triangle[c] = set.copyOf[vertex];
    }
    return true;
}

// One "g" record's triangles [first, end) as group records: runs whose vertices fit one span
// draw on the vertices as they are; a triangle that fits no span starts a run of copies.
bool planGroup(MeshPlan& plan, CopySet& set, uint32_t id, uint32_t line, uint32_t first, uint32_t end) {
    if (first == end) {
        const MeshGroup* before = plan.recordCount != 0 ? &plan.records[plan.recordCount - 1].group : nullptr;
        const uint32_t base = before != nullptr ? before->baseVertex + before->vertexCount : 0;
        return addRecord(plan, id, line, first, end, base, 0);
    }
    uint32_t runStart = first;
    bool copying = false;
    uint32_t low = UINT32_MAX, high = 0;
    auto closeRun = [&](uint32_t at) {
        return copying ? addRecord(plan, id, line, runStart, at, plan.baseVertexCount + plan.extraCount + set.firstCopy,
                                   set.size)
                       : addRecord(plan, id, line, runStart, at, low, high - low + 1);
    };
    for (uint32_t t = first; t < end; ++t) {
        uint32_t* triangle = plan.triangleVertices + 3 * size_t{t};
        const uint32_t triangleLow = std::min({triangle[0], triangle[1], triangle[2]});
        const uint32_t triangleHigh = std::max({triangle[0], triangle[1], triangle[2]});
        const bool near = triangleHigh - triangleLow < kRecordSpan;
        bool fits;
        if (copying)
            fits = !near && set.size + newCopiesOf(set, triangle) <= kRecordSpan;
        else
            fits = near && std::max(high, triangleHigh) - std::min(low, triangleLow) < kRecordSpan;
        if (!fits && t != runStart) {
            if (!closeRun(t))
                return false;
            runStart = t;
        }
        if (t == runStart) {
            copying = !near;
            low = UINT32_MAX, high = 0;
            if (copying && !startCopySet(plan, set))
                return false;
        }
        if (copying) {
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
    bool ok = ungrouped == 0 || planGroup(plan, set, 0, UINT32_MAX, 0, firstTriangleOf(obj, plan, ungrouped));
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
    const uint32_t storedCorners =
        obj.storedFaces == 0 ? 0 : obj.faces[obj.storedFaces - 1].firstCorner + obj.faces[obj.storedFaces - 1].cornerCount;
    plan.triangleCount = storedCorners - 2 * obj.storedFaces;
    plan.claims = mshAllocateArray<uint64_t>(obj.positionCount);
    plan.triangleVertices = mshAllocateArray<uint32_t>(size_t{3} * plan.triangleCount);
    const bool ok = plan.claims != nullptr && plan.triangleVertices != nullptr && planTriangles(obj, plan) &&
                    planRecords(obj, plan);
    if (!ok) {
        releaseMeshPlan(plan);
        return false;
    }
    // The side file's table rows name groups by the place of their "g" record; they name the
    // mesh's groups the same way unless a group record was added or split.
    plan.recordsAreGroups = recordsAreGroups(obj, plan);
    plan.groupMatrixCount = side.pairCount == 0 ? 0 : plan.recordsAreGroups ? side.pairCount : plan.recordCount;
    return true;
}

void releaseMeshPlan(MeshPlan& plan) {
    mshRelease(plan.claims);
    mshRelease(plan.extras);
    mshRelease(plan.extraSlots);
    mshRelease(plan.copies);
    mshRelease(plan.triangleVertices);
    mshRelease(plan.records);
    plan = MeshPlan{};
}

void claimedAttributes(const ObjTables& obj, const MeshPlan& plan, uint32_t position, uint32_t& texcoord,
                       uint32_t& normal) {
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
