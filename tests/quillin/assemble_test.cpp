// Assembly in two shares on two threads must give the mesh that one share gives, whatever the
// order in which corners name vertices, across polygons, seams, groups and faces before the
// first group.
#include "assemble.h"

#include "quillin_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

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
    std::string bytes(reinterpret_cast<const char*>(mesh.vertices), sizeof(MeshVertex) * mesh.vertexCount);
    bytes.append(reinterpret_cast<const char*>(mesh.triangles), sizeof(MeshTriangle) * mesh.triangleCount);
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
        if (read.result != ParseResult::ok)
            continue;
        const ObjTables& obj = read.tables;
        MeshPlan plan{};
        ASSERT_TRUE(planMesh(obj, noSide, plan));
        const auto create = [&plan] {
            return MeshHandle(mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount, 0, 0));
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

} // namespace
