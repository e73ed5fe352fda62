// Whole-file properties of the importer's output, judged against the independent reader of
// obj_reference.h: each polygon becomes (corners - 2) triangles, in face order, made of its own
// corners and tiling it; the group records partition the triangles by the file's groups, each
// record within 16-bit indices; vertex k keeps position k; a file naming a missing record is
// refused with one message and no output.
#include "msh.h"
#include "obj_reference.h"
#include "quillin_test_support.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kMessagesPerFile = 10;

// The failures of one file: all are counted, the first few kept.
struct Findings {
    std::string file;
    uint64_t count = 0;
    std::string text;

    template <typename... Parts>
    void add(const Parts&... parts) {
        if (count++ >= kMessagesPerFile)
            return;
        std::ostringstream line;
        line << file << ": ";
        (line << ... << parts);
        text += line.str() + "\n";
    }
    std::string report() const {
        if (count <= kMessagesPerFile)
            return text;
        return text + file + ": ... and " + std::to_string(count - kMessagesPerFile) + " more\n";
    }
};

struct FileCheck {
    bool valid = true; // a UTF-8 file that the reference reads without fault
    uint64_t trianglesExpected = 0;
    uint64_t trianglesRight = 0; // in the records of their group, made of three polygon corners
    uint64_t cornersWrong = 0;   // triangle corners that are no corner of their polygon
    Findings findings;
};

using Vec3 = std::array<double, 3>;

Vec3 minus(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double largest(const Vec3& a) {
    return std::max({std::fabs(a[0]), std::fabs(a[1]), std::fabs(a[2])});
}

bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

std::string vertexText(const MeshVertex& v) {
    char text[200];
    std::snprintf(text, sizeof text, "(%.9g %.9g %.9g) uv (%.9g %.9g) n (%.9g %.9g %.9g)", v.x, v.y,
                  v.z, v.u, v.v, v.nx, v.ny, v.nz);
    return text;
}

uint64_t trianglesOf(const objref::Obj& obj, const objref::Group& group) {
    uint64_t triangles = 0;
    for (size_t f = group.firstFace; f < group.firstFace + group.faceCount; ++f)
        triangles += obj.faces[f].corners.size() - 2;
    return triangles;
}

std::string groupName(const objref::Group& group) {
    if (group.line == 0)
        return "the faces before the first \"g\"";
    return "the group of line " + std::to_string(group.line) + " (id " + std::to_string(group.id) +
           ")";
}

void expectRefused(const quilltest::RunResult& run, const std::string& mshPath,
                   const std::string& why, Findings& findings) {
    if (run.status != -1)
        findings.add("status ", run.status, ", expected -1: ", why);
    if (!(run.err.rfind("ERROR: ", 0) == 0 &&
          std::count(run.err.begin(), run.err.end(), '\n') == 1 && run.err.back() == '\n'))
        findings.add("expected one \"ERROR: \" line (", why, "), stderr \"", run.err.substr(0, 200),
                     "\"");
    if (quilltest::fileExists(mshPath))
        findings.add("an output file was written although ", why);
}

// The records follow each other through the index stream; each spans at most 65536 vertices of
// the mesh, and its indices stay below its vertexCount.
void checkRecords(const Mesh& mesh, Findings& findings) {
    uint64_t next = 0;
    for (uint32_t r = 0; r < mesh.groupCount; ++r) {
        const MeshGroup& g = mesh.groups[r];
        if (g.firstIndex != next)
            findings.add("record ", r, " (id ", g.id, ") starts at index ", g.firstIndex,
                         ", expected ", next);
        if (g.indexCount % 3 != 0)
            findings.add("record ", r, " has indexCount ", g.indexCount, ", not a multiple of 3");
        next = uint64_t{g.firstIndex} + g.indexCount;
        if (g.vertexCount > 65536)
            findings.add("record ", r, " spans ", g.vertexCount,
                         " vertices, more than 16-bit indices reach");
        if (uint64_t{g.baseVertex} + g.vertexCount > mesh.vertexCount)
            findings.add("record ", r, " spans vertices ", g.baseVertex, " + ", g.vertexCount,
                         ", the mesh has ", mesh.vertexCount);
        uint64_t outside = 0;
        for (uint64_t t = g.firstIndex / 3; t < std::min<uint64_t>(next / 3, mesh.triangleCount);
             ++t)
            for (const uint16_t index : mesh.triangles[t].index)
                outside += index >= g.vertexCount;
        if (outside != 0)
            findings.add("record ", r, " has ", outside, " indices not below its vertexCount ",
                         g.vertexCount);
    }
    if (next != 3 * uint64_t{mesh.triangleCount})
        findings.add("the records end at index ", next, ", the mesh has ",
                     3 * uint64_t{mesh.triangleCount});
}

std::string recordsText(const Mesh& mesh, uint32_t first, uint32_t end) {
    std::string text;
    for (uint32_t r = first; r < std::min({end, mesh.groupCount, first + 4}); ++r)
        text += " [record " + std::to_string(r) + ": id " + std::to_string(mesh.groups[r].id) +
                ", indices " + std::to_string(mesh.groups[r].firstIndex) + " + " +
                std::to_string(mesh.groups[r].indexCount) + ", vertices " +
                std::to_string(mesh.groups[r].baseVertex) + " + " +
                std::to_string(mesh.groups[r].vertexCount) + "]";
    return text.empty() ? " no record" : text;
}

// Each group of the file, in order, owns one or more consecutive records of its id holding
// exactly its triangles; an empty group owns one empty record. Returns which groups are right.
std::vector<bool> checkGroups(const objref::Obj& obj, const Mesh& mesh, Findings& findings) {
    std::vector<bool> right(obj.groups.size(), false);
    uint32_t r = 0;
    uint64_t first = 0; // the group's first index
    for (size_t gi = 0; gi < obj.groups.size(); ++gi) {
        const objref::Group& group = obj.groups[gi];
        const uint64_t indices = 3 * trianglesOf(obj, group);
        const uint32_t firstRecord = r;
        if (indices == 0) {
            const bool empty = r < mesh.groupCount && mesh.groups[r].id == group.id &&
                               mesh.groups[r].indexCount == 0 && mesh.groups[r].vertexCount == 0;
            r += empty;
            right[gi] = empty;
        } else {
            uint64_t held = 0;
            while (r < mesh.groupCount && held < indices && mesh.groups[r].id == group.id &&
                   mesh.groups[r].firstIndex == first + held)
                held += mesh.groups[r++].indexCount;
            right[gi] = held == indices;
        }
        if (!right[gi]) {
            findings.add(groupName(group), ": expected records of id ", group.id,
                         " holding indices ", first, " + ", indices, ", found",
                         recordsText(mesh, firstRecord, r + 1));
            while (r < mesh.groupCount && mesh.groups[r].firstIndex < first + indices)
                ++r;
            r += indices == 0 && r < mesh.groupCount && mesh.groups[r].indexCount == 0;
        }
        first += indices;
    }
    if (r < mesh.groupCount)
        findings.add(mesh.groupCount - r, " records more than the file's groups:",
                     recordsText(mesh, r, mesh.groupCount));
    return right;
}

// The record that holds each triangle, or -1.
std::vector<int64_t> recordOfTriangles(const Mesh& mesh) {
    std::vector<int64_t> recordOf(mesh.triangleCount, -1);
    for (uint32_t r = 0; r < mesh.groupCount; ++r) {
        const uint64_t end = (uint64_t{mesh.groups[r].firstIndex} + mesh.groups[r].indexCount) / 3;
        for (uint64_t t = mesh.groups[r].firstIndex / 3;
             t < std::min<uint64_t>(end, mesh.triangleCount); ++t)
            recordOf[t] = r;
    }
    return recordOf;
}

Vec3 positionOf(const objref::Obj& obj, const objref::Corner& corner) {
    const auto& p = obj.positions[static_cast<size_t>(corner.position)];
    return {p[0], p[1], p[2]};
}

bool cornerMatches(const objref::Obj& obj, const objref::Corner& corner, const MeshVertex& v) {
    const auto& p = obj.positions[static_cast<size_t>(corner.position)];
    if (!sameFloat(v.x, p[0]) || !sameFloat(v.y, p[1]) || !sameFloat(v.z, p[2]))
        return false;
    if (corner.texcoord != objref::kNone) {
        const auto& t = obj.texcoords[static_cast<size_t>(corner.texcoord)];
        if (!sameFloat(v.u, t[0]) || !sameFloat(v.v, t[1]))
            return false;
    }
    if (corner.normal != objref::kNone) {
        const auto& n = obj.normals[static_cast<size_t>(corner.normal)];
        if (!sameFloat(v.nx, n[0]) || !sameFloat(v.ny, n[1]) || !sameFloat(v.nz, n[2]))
            return false;
    }
    return true;
}

// Whether three different polygon corners can be chosen, one from each set of matches.
bool distinctCorners(const std::vector<size_t> (&matches)[3]) {
    for (const size_t a : matches[0])
        for (const size_t b : matches[1])
            for (const size_t c : matches[2])
                if (a != b && b != c && a != c)
                    return true;
    return false;
}

// Whether two edges of the polygon, seen along its normal, cross each other: then every set of
// triangles that covers it has one reversed.
bool crossesItself(const objref::Obj& obj, const objref::Face& face, const Vec3& normal) {
    const Vec3 across = cross(normal, std::fabs(normal[0]) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0});
    const Vec3 up = cross(normal, across);
    std::vector<std::array<double, 2>> flat;
    for (const objref::Corner& corner : face.corners)
        flat.push_back({dot(positionOf(obj, corner), across), dot(positionOf(obj, corner), up)});
    const auto side = [&](size_t o, size_t a, size_t b) {
        const double s = (flat[a][0] - flat[o][0]) * (flat[b][1] - flat[o][1]) -
                         (flat[a][1] - flat[o][1]) * (flat[b][0] - flat[o][0]);
        return (s > 0) - (s < 0);
    };
    const size_t k = flat.size();
    for (size_t i = 0; i < k; ++i)
        for (size_t j = i + 2; j < k && (j + 1) % k != i; ++j)
            if (side(i, (i + 1) % k, j) * side(i, (i + 1) % k, (j + 1) % k) < 0 &&
                side(j, (j + 1) % k, i) * side(j, (j + 1) % k, (i + 1) % k) < 0)
                return true;
    return false;
}

// The triangles (corner positions, three per triangle) cover the polygon's area along its
// Newell normal, none of them reversed (unless the polygon is degenerate or crosses itself).
void checkTiling(const objref::Obj& obj, const objref::Face& face, const std::vector<Vec3>& corners,
                 uint64_t firstTriangle, Findings& findings) {
    const size_t k = face.corners.size();
    const Vec3 origin = positionOf(obj, face.corners[0]);
    Vec3 newell{0, 0, 0};
    double extent = 0;
    double reach = 0;
    for (size_t i = 0; i < k; ++i) {
        const Vec3 a = positionOf(obj, face.corners[i]);
        const Vec3 b = positionOf(obj, face.corners[(i + 1) % k]);
        newell[0] += (a[1] - b[1]) * (a[2] + b[2]);
        newell[1] += (a[2] - b[2]) * (a[0] + b[0]);
        newell[2] += (a[0] - b[0]) * (a[1] + b[1]);
        extent = std::max(extent, largest(minus(a, origin)));
        reach = std::max(reach, largest(a));
    }
    const double length = std::sqrt(dot(newell, newell));
    if (!std::isfinite(length) || length == 0)
        return;
    const Vec3 normal{newell[0] / length, newell[1] / length, newell[2] / length};
    const double area = length / 2;
    const double slack = 1e-4 * area + 1e-9 * extent * (extent + reach);
    double covered = 0;
    size_t reversed = SIZE_MAX;
    double reversedArea = 0;
    for (size_t t = 0; t < corners.size() / 3; ++t) {
        const Vec3& a = corners[3 * t];
        const double part =
            dot(cross(minus(corners[3 * t + 1], a), minus(corners[3 * t + 2], a)), normal) / 2;
        covered += part;
        if (part < -slack && reversed == SIZE_MAX) {
            reversed = t;
            reversedArea = part;
        }
    }
    const bool degenerate = area <= 1e-7 * extent * extent;
    if (reversed != SIZE_MAX && !degenerate && !crossesItself(obj, face, normal))
        findings.add("face on line ", face.line, " (", k, " corners): triangle ",
                     firstTriangle + reversed, " is reversed, area ", reversedArea,
                     " along the polygon's normal");
    if (std::fabs(covered - area) > slack)
        findings.add("face on line ", face.line, " (", k, " corners): its triangles cover area ",
                     covered, ", the polygon has ", area);
}

// The triangles of one face, from `firstTriangle` on.
void checkFace(const objref::Obj& obj, const objref::Face& face, const Mesh& mesh,
               const std::vector<int64_t>& recordOf, uint64_t firstTriangle, bool recordsRight,
               FileCheck& check) {
    Findings& findings = check.findings;
    const size_t k = face.corners.size();
    std::vector<Vec3> corners;
    bool placed = true; // every corner of every triangle is a vertex of the mesh
    for (uint64_t t = firstTriangle; t < firstTriangle + k - 2; ++t) {
        if (t >= mesh.triangleCount || recordOf[t] < 0) {
            if (t < mesh.triangleCount)
                findings.add("face on line ", face.line, ": triangle ", t, " is in no record");
            placed = false;
            continue;
        }
        const MeshGroup& record = mesh.groups[recordOf[t]];
        std::vector<size_t> matches[3];
        bool right = true;
        for (int c = 0; c < 3; ++c) {
            const uint64_t vertex = uint64_t{record.baseVertex} + mesh.triangles[t].index[c];
            if (vertex >= mesh.vertexCount) {
                findings.add("face on line ", face.line, ": triangle ", t, " corner ", c,
                             " is vertex ", vertex, ", the mesh has ", mesh.vertexCount);
                right = placed = false;
                ++check.cornersWrong;
                continue;
            }
            const MeshVertex& v = mesh.vertices[vertex];
            for (size_t i = 0; i < k; ++i)
                if (cornerMatches(obj, face.corners[i], v))
                    matches[c].push_back(i);
            if (matches[c].empty()) {
                findings.add("face on line ", face.line, ": triangle ", t, " corner ", c,
                             " is vertex ", vertex, " ", vertexText(v),
                             ", which is no corner of the polygon");
                right = false;
                ++check.cornersWrong;
            }
            corners.push_back({v.x, v.y, v.z});
        }
        if (right && !distinctCorners(matches)) {
            findings.add("face on line ", face.line, ": triangle ", t,
                         " uses one polygon corner twice");
            right = false;
        }
        check.trianglesRight += right && recordsRight;
    }
    if (placed)
        checkTiling(obj, face, corners, firstTriangle, findings);
}

void checkPositionsKept(const objref::Obj& obj, const Mesh& mesh, Findings& findings) {
    if (mesh.vertexCount < obj.positions.size())
        findings.add("the mesh has ", mesh.vertexCount, " vertices, the file ",
                     obj.positions.size(), " positions");
    for (size_t k = 0; k < std::min<size_t>(mesh.vertexCount, obj.positions.size()); ++k) {
        const MeshVertex& v = mesh.vertices[k];
        const auto& p = obj.positions[k];
        if (!sameFloat(v.x, p[0]) || !sameFloat(v.y, p[1]) || !sameFloat(v.z, p[2]))
            findings.add("vertex ", k, " is ", vertexText(v), ", not position ", k + 1, " (", p[0],
                         " ", p[1], " ", p[2], ")");
    }
}

uint64_t trianglesOf(const objref::Obj& obj) {
    uint64_t triangles = 0;
    for (const objref::Face& face : obj.faces)
        triangles += face.corners.size() - 2;
    return triangles;
}

void checkMesh(const objref::Obj& obj, const Mesh& mesh, FileCheck& check) {
    check.trianglesExpected = trianglesOf(obj);
    if (mesh.triangleCount != check.trianglesExpected)
        check.findings.add("the mesh has ", mesh.triangleCount, " triangles, expected ",
                           check.trianglesExpected);
    checkRecords(mesh, check.findings);
    const std::vector<bool> groupRight = checkGroups(obj, mesh, check.findings);
    const std::vector<int64_t> recordOf = recordOfTriangles(mesh);
    uint64_t triangle = 0;
    for (size_t gi = 0; gi < obj.groups.size(); ++gi) {
        const objref::Group& group = obj.groups[gi];
        for (size_t f = group.firstFace; f < group.firstFace + group.faceCount; ++f) {
            checkFace(obj, obj.faces[f], mesh, recordOf, triangle, groupRight[gi], check);
            triangle += obj.faces[f].corners.size() - 2;
        }
    }
    checkPositionsKept(obj, mesh, check.findings);
}

// Runs the importer on one file and judges the outcome against the reference reader.
FileCheck checkImport(const std::string& name, const std::string& objPath,
                      const std::string& mshPath) {
    FileCheck check;
    check.findings.file = name;
    const std::string bytes = quilltest::readFile(objPath);
    const bool utf16 = objref::isUtf16(bytes);
    std::string text = bytes;
    if (utf16 && !objref::decodeAsciiUtf16(bytes, text))
        text = "f 0 0 0\n"; // any refusal is right for it
    const objref::Obj obj = objref::readObj(text);
    std::filesystem::remove(mshPath);
    const quilltest::RunResult run = quillintest::runImporter({objPath, mshPath});
    check.valid = obj.invalid.empty() && !utf16;
    if (!obj.invalid.empty() || (utf16 && run.status != 0)) {
        expectRefused(run, mshPath, obj.invalid.empty() ? "the file is UTF-16" : obj.invalid,
                      check.findings);
        return check;
    }
    check.trianglesExpected = trianglesOf(obj);
    if (run.status != 0 || !run.err.empty())
        check.findings.add("status ", run.status, ", stderr \"", run.err.substr(0, 200), "\"");
    if (run.status != 0)
        return check;
    const MeshHandle mesh(mshLoad(mshPath.c_str()));
    if (mesh == nullptr) {
        check.findings.add("the output does not load");
        return check;
    }
    checkMesh(obj, *mesh, check);
    return check;
}

std::string cornersText(const objref::Face& face) {
    const auto number = [](int64_t n) {
        return n == objref::kNone ? std::string("-") : std::to_string(n);
    };
    std::string text;
    for (const objref::Corner& c : face.corners)
        text += " " + number(c.position) + "/" + number(c.texcoord) + "/" + number(c.normal);
    return text;
}

TEST(ImportProperties, ReferenceReaderReadsTheSubset) {
    const objref::Obj obj =
        objref::readObj("\xEF\xBB\xBF# c\n\tv 1 2 \\\r\n3 # 4\nv 4 5\nvt 0.5\nvn 0 0 1\n"
                        "f 1/1 -1//1 2 # 3/4\ng a b/12\ng\nf -2 1/-1/1 2\n");
    EXPECT_EQ(obj.invalid, "");
    EXPECT_EQ(obj.positions, (std::vector<std::array<float, 3>>{{1, 2, 3}, {4, 5, 0}}));
    EXPECT_EQ(obj.texcoords, (std::vector<std::array<float, 2>>{{0.5f, 0}}));
    ASSERT_EQ(obj.faces.size(), 2u);
    EXPECT_EQ(cornersText(obj.faces[0]), " 0/0/- 1/-/0 1/-/-");
    EXPECT_EQ(cornersText(obj.faces[1]), " 0/-/- 0/0/0 1/-/-");
    EXPECT_EQ(obj.faces[1].line, 10u);
    ASSERT_EQ(obj.groups.size(), 3u);
    const std::vector<std::array<size_t, 4>> groups{{0, 0, 1, 0}, {12, 1, 0, 8}, {0, 1, 1, 9}};
    for (size_t g = 0; g < groups.size(); ++g)
        EXPECT_EQ((std::array<size_t, 4>{obj.groups[g].id, obj.groups[g].firstFace,
                                         obj.groups[g].faceCount, obj.groups[g].line}),
                  groups[g]);
    for (const char* bad :
         {"v 0 0 0\nf 1 1 0\n", "v 0 0 0\nf 1 -2 1\n", "v 0 0 0\nf 1 1\n", "v 0 0 0\nf 1/1 1 1\n"})
        EXPECT_NE(objref::readObj(bad).invalid, "") << bad;
}

struct MeshParts {
    std::vector<MeshVertex> vertices;
    std::vector<MeshTriangle> triangles;
    std::vector<MeshGroup> groups;
};

MeshHandle makeMesh(const MeshParts& parts) {
    MeshHandle mesh(mshCreate(static_cast<uint32_t>(parts.vertices.size()),
                              static_cast<uint32_t>(parts.triangles.size()),
                              static_cast<uint32_t>(parts.groups.size()), 0, 0));
    for (size_t i = 0; i < parts.vertices.size(); ++i)
        mesh->vertices[i] = parts.vertices[i];
    for (size_t i = 0; i < parts.triangles.size(); ++i)
        mesh->triangles[i] = parts.triangles[i];
    for (size_t i = 0; i < parts.groups.size(); ++i)
        mesh->groups[i] = parts.groups[i];
    return mesh;
}

// A dart (concave at its second corner) with a texture coordinate and a normal, an empty group,
// and a triangle; then a right mesh for it, by hand.
const char* const kDart = "v 2 0 0\nv 0 1 0\nv -2 0 0\nv 0 3 0\nvt 0.5 0.25\nvn 0 0 -1\n"
                          "g dart/3\nf 1 2/1 3 4//1\ng empty/4\ng tail/6\nf 1 3 4\n";

MeshParts rightDart() {
    return {{{2, 0, 0, 0, 0, 0, 0, 0},
             {0, 1, 0, 0, 0, 0, 0.5f, 0.25f},
             {-2, 0, 0, 0, 0, 0, 0, 0},
             {0, 3, 0, 0, 0, -1, 0, 0}},
            {{{1, 2, 3}}, {{1, 3, 0}}, {{0, 2, 3}}},
            {{3, 6, 0, 4, 0}, {4, 0, 0, 0, 6}, {6, 3, 0, 4, 6}}};
}

struct CheckerCase {
    const char* name;
    void (*change)(MeshParts&);
    bool right;
};

const CheckerCase kCheckerCases[] = {
    {"as made", [](MeshParts&) {}, true},
    {"group in two records",
     [](MeshParts& m) {
         m.groups = {{3, 3, 0, 4, 0}, {3, 3, 0, 4, 3}, {4, 0, 0, 0, 6}, {6, 3, 0, 4, 6}};
     },
     true},
    {"corner on a vertex of its own",
     [](MeshParts& m) {
         m.vertices.push_back(m.vertices[1]);
         m.vertices[1].u = 9;
         m.groups[0].vertexCount = 5;
         m.triangles[0].index[0] = 4;
         m.triangles[1].index[0] = 4;
     },
     true},
    {"fan across the concave corner",
     [](MeshParts& m) {
         m.triangles[0] = {{0, 1, 2}};
         m.triangles[1] = {{0, 2, 3}};
     },
     false},
    {"reversed triangle",
     [](MeshParts& m) {
         m.triangles[0] = {{1, 3, 2}};
     },
     false},
    {"corner used twice",
     [](MeshParts& m) {
         m.triangles[0] = {{1, 1, 3}};
     },
     false},
    {"texture coordinate lost", [](MeshParts& m) { m.vertices[1].u = 0; }, false},
    {"normal lost", [](MeshParts& m) { m.vertices[3].nz = 0; }, false},
    {"position moved", [](MeshParts& m) { m.vertices[2].x = -2.5f; }, false},
    {"vertex missing", [](MeshParts& m) { m.vertices.pop_back(); }, false},
    {"triangle missing",
     [](MeshParts& m) {
         m.triangles.pop_back();
         m.groups[2].indexCount = 0;
     },
     false},
    {"empty group left out", [](MeshParts& m) { m.groups.erase(m.groups.begin() + 1); }, false},
    {"empty group spans vertices", [](MeshParts& m) { m.groups[1].vertexCount = 1; }, false},
    {"wrong id", [](MeshParts& m) { m.groups[2].id = 7; }, false},
    {"gap between records", [](MeshParts& m) { m.groups[2].firstIndex = 9; }, false},
    {"index beyond its record", [](MeshParts& m) { m.groups[0].vertexCount = 3; }, false},
    {"record beyond 16 bits", [](MeshParts& m) { m.groups[0].vertexCount = 65537; }, false},
};

TEST(ImportProperties, CheckerAcceptsRightMeshesAndFindsEachFault) {
    const objref::Obj obj = objref::readObj(kDart);
    ASSERT_EQ(obj.invalid, "");
    for (const CheckerCase& c : kCheckerCases) {
        MeshParts parts = rightDart();
        c.change(parts);
        const MeshHandle mesh = makeMesh(parts);
        FileCheck check;
        check.findings.file = c.name;
        checkMesh(obj, *mesh, check);
        EXPECT_EQ(check.findings.count == 0, c.right) << c.name << "\n" << check.findings.report();
    }
}

TEST(ImportProperties, CorpusFiles) {
    const std::vector<std::filesystem::path> files = quilltest::corpusObjFiles();
    if (files.empty())
        GTEST_SKIP() << "no corpus at " << QUILL_CORPUS_DIR;
    quilltest::TempDir dir;
    uint64_t valid = 0, right = 0, expected = 0, kept = 0, cornersWrong = 0;
    for (const auto& file : files) {
        const FileCheck check =
            checkImport(file.filename().string(), file.string(), dir.file("out.msh"));
        valid += check.valid;
        right += check.findings.count == 0;
        expected += check.trianglesExpected;
        kept += check.trianglesRight;
        cornersWrong += check.cornersWrong;
        if (check.findings.count != 0)
            ADD_FAILURE() << check.findings.report();
    }
    std::ostringstream summary;
    summary << files.size() << " files (" << valid << " valid, " << files.size() - valid
            << " to refuse): " << right << " right, " << files.size() - right
            << " wrong; triangles expected " << expected << ", right in their records " << kept
            << ", lost " << expected - kept << "; corners wrong " << cornersWrong;
    std::cout << "[ corpus   ] " << summary.str() << "\n";
    RecordProperty("summary", summary.str());
}

std::string crlf(const std::string& text) {
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

std::string utf16(const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : text)
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

// One polygon through the given corners, on the tilted plane z = x/2 + y/4.
std::string tiltedPolygon(const std::vector<std::array<double, 2>>& corners) {
    std::string text;
    std::string face = "f";
    for (size_t i = 0; i < corners.size(); ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", corners[i][0], corners[i][1],
                      corners[i][0] / 2 + corners[i][1] / 4);
        text += line;
        face += " " + std::to_string(i + 1);
    }
    return text + face + "\n";
}

std::vector<std::array<double, 2>> circle(int corners) {
    std::vector<std::array<double, 2>> points;
    for (int i = 0; i < corners; ++i)
        points.push_back({10 * std::cos(2 * std::numbers::pi * i / corners),
                          10 * std::sin(2 * std::numbers::pi * i / corners)});
    return points;
}

const std::string kCubePositions =
    "v -1 -1 1\nv 1 -1 1\nv -1 1 1\nv 1 1 1\nv -1 1 -1\nv 1 1 -1\nv -1 -1 -1\nv 1 -1 -1\n";
const std::string kCubeTexcoords =
    "vt 0.375 0\nvt 0.625 0\nvt 0.375 0.25\nvt 0.625 0.25\nvt 0.375 0.5\nvt 0.625 0.5\n"
    "vt 0.375 0.75\nvt 0.625 0.75\nvt 0.375 1\nvt 0.625 1\nvt 0.875 0\nvt 0.875 0.25\n"
    "vt 0.125 0\nvt 0.125 0.25\n";
const std::string kCubeNormals = "vn 0 0 1\nvn 0 1 0\nvn 0 0 -1\nvn 0 -1 0\nvn 1 0 0\nvn -1 0 0\n";
const std::string kCubeQuads =
    "f 1/1/1 2/2/1 4/4/1 3/3/1\nf 3/3/2 4/4/2 6/6/2 5/5/2\nf 5/5/3 6/6/3 8/8/3 7/7/3\n"
    "f 7/7/4 8/8/4 2/10/4 1/9/4\nf 2/2/5 8/11/5 6/12/5 4/4/5\nf 7/13/6 1/1/6 3/3/6 5/14/6\n";
const std::string kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

std::string longComments() {
    std::string comment = "# v 1 2 3 ";
    comment.resize(255, '.');
    std::string afterVertex = "v 1 0 0 # ";
    afterVertex.resize(255, '.');
    return "v 0 0 0\n" + comment + "v 7 8 9\n" + afterVertex + "g x/9\nv 0 1 0\nf 1 2 3\n";
}

struct SmallFile {
    const char* name;
    std::string text;
};

std::vector<SmallFile> smallFiles() {
    return {
        {"cube_with_uv_seams",
         "# cube\n" + kCubePositions + kCubeTexcoords + kCubeNormals + "g cube\n" + kCubeQuads},
        {"empty_group_before_vertices",
         "mtllib cube.mtl\ng default\n" + kCubePositions + kCubeTexcoords + kCubeNormals +
             "s off\ng pCube1\nusemtl initialShadingGroup\n" + kCubeQuads},
        {"crlf_box",
         crlf("# object Box001\nv 0 0 0\nv 2 0 0\nv 0 1 0\nv 2 1 0\nv 0 0 3\nv 2 0 3\nv 0 1 3\nv 2 "
              "1 3\n"
              "# 8 vertices\nvn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 1 0 0\nvn 0 1 0\nvn -1 0 0\n"
              "g Box001\nusemtl wire_028089177\ns 2\nf 1//1 3//1 4//1 2//1\ns 4\nf 5//2 6//2 8//2 "
              "7//2\n"
              "f 1//3 2//3 6//3 5//3\nf 2//4 4//4 8//4 6//4\nf 4//5 3//5 7//5 8//5\nf 3//6 1//6 "
              "5//6 7//6\n"
              "# 6 polygons\n")},
        {"concave_l", tiltedPolygon({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 3}, {0, 3}})},
        {"concave_star", tiltedPolygon({{0, 3},
                                        {1, 1},
                                        {3, 1},
                                        {1.5, -0.5},
                                        {2, -3},
                                        {0, -1.5},
                                        {-2, -3},
                                        {-1.5, -0.5},
                                        {-3, 1},
                                        {-1, 1}})},
        {"concave_u",
         tiltedPolygon({{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}})},
        {"concave_dart", tiltedPolygon({{2, 0}, {0, 1}, {-2, 0}, {0, 3}})},
        {"circle_of_90_corners", tiltedPolygon(circle(90))},
        {"long_comments", longComments()},
        {"tabs_and_leading_spaces",
         "\tv\t0\t0\t0\n  v 1 0 0\nv\t1 1 0 \t\nv  0   1\t0\n  f 1 2 3\nf\t1\t3\t4\n"},
        {"utf8_byte_order_mark", "\xEF\xBB\xBF" + kTriangle + "f 1 2 3\n"},
        {"continued_lines", kSquare + "f 1 2 \\\n3 4\nv 1 2 \\\r\n0\r\nf 3 5 \\\r\n4\n"},
        {"comment_after_corners",
         kSquare + "vt 0 0\nvt 1 0\nvt 1 1\nf 1 2 3 4 # seen from +z/up\nf 1/1 2/2 3/3 # uv/3\n"},
        {"relative_numbers", kSquare + "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf -4/-4 -3/-3 -2/-2 -1/-1\n"
                                       "v 2 0 0\nv 2 1 0\nf -5 -2 -1 -4\n"},
        {"missing_position", kTriangle + "f 1 2 4\n"},
        {"missing_normal", kTriangle + "vn 0 0 1\nf 1//1 2//1 3//2\n"},
        {"two_corners", kTriangle + "f 1 2\n"},
        {"utf16_little_endian", utf16(kSquare + "f 1 2 3 4\n", false)},
        {"utf16_big_endian", utf16(kSquare + "f 1 2 3 4\n", true)},
        {"point_cloud", "v 0 0 0\nv 1 2 3\nv -1.5 2.25 1e-3\nv 4 5 6 0.5\nv 7 8 9\n"},
        {"group_ids_and_bare_g",
         kSquare + "g part one/12\nf 1 2 3\ng\nf 1 3 4\ng other/7 tail\nf 2 3 4\n"},
        {"faces_without_groups", kSquare + "f 1 2 3\nf 1 3 4\n"},
        {"empty_group_between", kSquare + "f 1 2 3\ng a/1\ng b/2\nf 1 3 4\n"},
    };
}

void PrintTo(const SmallFile& file, std::ostream* out) { *out << file.name; }

class ImportPropertiesSmall : public testing::TestWithParam<SmallFile> {};

TEST_P(ImportPropertiesSmall, KeepsEveryPolygon) {
    quilltest::TempDir dir;
    const std::string obj = dir.file("in.obj");
    quilltest::writeFile(obj, GetParam().text);
    const FileCheck check = checkImport(GetParam().name, obj, dir.file("out.msh"));
    EXPECT_EQ(check.findings.count, 0u) << check.findings.report();
}

INSTANTIATE_TEST_SUITE_P(ModellingToolStyles, ImportPropertiesSmall,
                         testing::ValuesIn(smallFiles()),
                         [](const testing::TestParamInfo<SmallFile>& info) {
                             return std::string(info.param.name);
                         });

// 321 x 321 positions in one group: more vertices than 16-bit indices reach, so the group must
// come out as several records of its id.
TEST(ImportProperties, GridBeyondSixteenBitsInOneGroup) {
    constexpr int kSide = 321;
    std::string text;
    char line[96];
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            std::snprintf(line, sizeof line, "v %d %d 0\nvt %.6g %.6g\n", column, row,
                          column / 320.0, row / 320.0);
            text += line;
        }
    text += "g grid/5\n";
    for (int row = 0; row + 1 < kSide; ++row)
        for (int column = 0; column + 1 < kSide; ++column) {
            const int a = row * kSide + column + 1;
            const int b = a + 1, c = a + kSide + 1, d = a + kSide;
            if (row % 2 == 0)
                std::snprintf(line, sizeof line, "f %d %d %d %d\n", a, b, c, d);
            else
                std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d %d/%d\n", a, a, b, b, c, c, d,
                              d);
            text += line;
        }
    quilltest::TempDir dir;
    const std::string obj = dir.file("grid.obj");
    quilltest::writeFile(obj, text);
    const FileCheck check = checkImport("grid.obj", obj, dir.file("grid.msh"));
    EXPECT_EQ(check.trianglesExpected, 2u * 320 * 320);
    EXPECT_EQ(check.findings.count, 0u) << check.findings.report();
}

} // namespace
