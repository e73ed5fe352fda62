// Assembly in two shares on two threads must give the mesh that one share gives, whatever the
// order in which corners name vertices, across groups and faces before the first group.
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
    for (int k = 0; k < vertices; ++k) {
        text += "v " + std::to_string(k) + " 1 2\n";
        if (random() % 3 != 0)
            text += "vt 0." + std::to_string(random() % 100) + " 1\n";
        if (random() % 3 != 0)
            text += "vn 0 " + std::to_string(random() % 9) + " 1\n";
    }
    const auto number = [&] { return std::to_string(1 + random() % vertices); };
    for (int line = static_cast<int>(random() % 80); line > 0; --line) {
        if (random() % 10 == 0) {
            text += "g g" + std::to_string(line) + "/" + std::to_string(random() % 5) + "\n";
            continue;
        }
        text += "f";
        for (int c = 0; c < 3; ++c) {
            switch (random() % 4) {
            case 0:
                text += " " + number();
                break;
            case 1:
                text += " " + number() + "/1";
                break;
            case 2:
                text += " " + number() + "//1";
                break;
            default:
                text += " " + number() + "/1/1";
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
        const MeshHandle one(mshCreate(meshVertexCount(obj), obj.faceCount, obj.groupCount, 0, 0));
        const MeshHandle two(mshCreate(meshVertexCount(obj), obj.faceCount, obj.groupCount, 0, 0));
        assembleMeshWith(obj, noSide, *one, UINT64_MAX);
        assembleMeshWith(obj, noSide, *two, 0);
        ASSERT_TRUE(meshBytes(*one) == meshBytes(*two)) << "round " << round;
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

} // namespace
