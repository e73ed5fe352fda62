// Assembly in two shares on two threads must give the mesh that one share gives, whatever the
// order in which corners name vertices, across polygons, seams, groups and faces before the
// first group.
#include "quillin/assemble.h"

#include "quillin_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using quillin::assembleMesh;
using quillin::assembleMeshWith;
using quillin::MeshPlan;
using quillin::ObjTables;
using quillin::planMesh;
using quillin::plannedVertexCount;
using quillin::releaseMeshPlan;
using quillin::SideTables;

namespace {

std::string randomFaces(std::mt19937& random) {
    const int vertices = 1 + static_cast<int>(random() % 60);
    std::string text;
    unsigned texcoords = 1, normals = 1;
    text += "vt 0 0\nvn 0 0 1\n";
    for (int k = 0; k < vertices; ++k) {
        text += "v " + std::to_string(k) + " " + std::to_string(random() % 7) + " 2\n";
        if (random() % 3 != 0)
            text += "vt 0." + std::to_string(random() % 100) + " 1\n", ++texcoords;
        if (random() % 3 != 0)
            text += "vn 0 " + std::to_string(random() % 9) + " 1\n", ++normals;
    }
    const auto number = [&] { return std::to_string(1 + random() % vertices); };
    const auto texcoord = [&] { return std::to_string(1 + random() % texcoords); };
    const auto normal = [&] { return std::to_string(1 + random() % normals); };
    for (int line = static_cast<int>(random() % 80); line > 0; --line) {
        if (random() % 10 == 0) {
            text += "g g" + std::to_string(line) + "/" + std::to_string(random() % 5) + "\n";
            continue;
        }
        text += "f";
        for (int c = 0, corners = 3 + static_cast<int>(random() % 3); c < corners; ++c) {
            switch (random() % 4) {
            case 0:
                text += " " + number();
                break;
            case 1:
                text += " " + number() + "/" + texcoord();
                break;
            case 2:
                text += " " + number() + "//" + normal();
                break;
            default:
                text += " " + number() + "/" + texcoord() + "/" + normal();
            }
        }
        text += "\n";
    }
    return text;
}

std::string meshBytes(const Mesh& mesh) {
    std::string bytes(reinterpret_cast<const char*>(mesh.vertices),
                      sizeof(MeshVertex) * mesh.vertexCount);
    bytes.append(reinterpret_cast<const char*>(mesh.triangles),
                 sizeof(MeshTriangle) * mesh.triangleCount);
    bytes.append(reinterpret_cast<const char*>(mesh.groups), sizeof(MeshGroup) * mesh.groupCount);
    return bytes;
}

TEST(AssembleMesh, TwoSharesGiveWhatOneShareGives) {
    std::mt19937 random(4242);
    const SideTables noSide{};
    int compared = 0;
    for (int round = 0; round < 400; ++round) {
        quillintest::ObjRead read;
        quillintest::readObjText(randomFaces(random), read);
        if (!read.parsed)
            continue;
        const ObjTables& obj = read.tables;
        MeshPlan plan{};
        ASSERT_TRUE(planMesh(obj, noSide, plan));
        const auto create = [&plan] {
            return MeshHandle(
                mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount, 0, 0));
        };
        const MeshHandle one = create(), two = create();
        EXPECT_TRUE(assembleMeshWith(obj, noSide, plan, *one, UINT64_MAX));
        EXPECT_TRUE(assembleMeshWith(obj, noSide, plan, *two, 0));
        releaseMeshPlan(plan);
        ASSERT_TRUE(meshBytes(*one) == meshBytes(*two)) << "round " << round;
        ++compared;
    }
    EXPECT_EQ(compared, 400);
}

// Corners that name their positions' own numbers (or none) are their positions' own vertices,
// which the plan takes without looking at each corner: the same mesh as when it does look.
TEST(AssembleMesh, CornersNamingTheirOwnNumbersSkipNothing) {
    std::mt19937 random(77);
    const SideTables noSide{};
    for (int round = 0; round < 50; ++round) {
        std::string text;
        const int vertices = 3 + static_cast<int>(random() % 40);
        for (int k = 0; k < vertices; ++k)
            text += "v " + std::to_string(k) + " " + std::to_string(random() % 5) + " 1\nvt 0." +
                    std::to_string(k) + " 1\nvn 0 1 " + std::to_string(k) + "\n";
        for (int face = static_cast<int>(random() % 30); face > 0; --face) {
            text += random() % 8 == 0 ? "g part/" + std::to_string(face) + "\nf" : "f";
            for (int c = 0, corners = 3 + static_cast<int>(random() % 3); c < corners; ++c) {
                const std::string n = std::to_string(1 + random() % vertices);
                text += random() % 3 == 0 ? " " + n : " " + n + "/" + n + "/" + n;
            }
            text += "\n";
        }
        quillintest::ObjRead read;
        quillintest::readObjText(text, read);
        ASSERT_TRUE(read.parsed) << text;
        ASSERT_TRUE(read.tables.cornersNameOwnNumbers) << text;
        std::string bytes[2];
        for (int look = 0; look < 2; ++look) {
            read.tables.cornersNameOwnNumbers = look == 0;
            MeshPlan plan{};
            ASSERT_TRUE(planMesh(read.tables, noSide, plan));
            const MeshHandle mesh(
                mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount, 0, 0));
            ASSERT_TRUE(assembleMesh(read.tables, noSide, plan, *mesh));
            releaseMeshPlan(plan);
            bytes[look] = meshBytes(*mesh);
        }
        EXPECT_TRUE(bytes[0] == bytes[1]) << text;
    }
}

} // namespace
