// Running both programs in-process with their output captured, and the small mesh the
// hardening tests feed them.
#pragma once

#include "msh.h"
#include "quillin/run.h"
#include "quillout/run.h"
#include "run_captured.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace hardening {

// Root reads and writes through file permissions, so permission cases cannot fail for it. No
// Windows account writes through a read-only attribute.
inline bool runningAsRoot() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

using quilltest::runCaptured;
using quilltest::RunResult;

// quillout <msh> <obj>
inline RunResult runQuillout(const std::string& msh, const std::string& obj) {
    return runCaptured(quillout::runQuillout, {"quillout", msh, obj});
}

// quillin <obj> <msh> [<side file>]
inline RunResult runQuillin(const std::string& obj, const std::string& msh,
                            const std::string& side = "") {
    if (side.empty())
        return runCaptured(quillin::runQuillin, {"quillin", obj, msh});
    return runCaptured(quillin::runQuillin, {"quillin", obj, msh, side});
}

// The same run with the OBJ file read in two stretches on two threads, however small it is.
inline RunResult runQuillinInTwoStretches(const std::string& obj, const std::string& msh,
                                          const std::string& side = "") {
    static constexpr auto twoStretches = [](int argc, char** argv) {
        return quillin::runQuillinWith(argc, argv, quillin::ReadMode::twoStretches);
    };
    if (side.empty())
        return runCaptured(twoStretches, {"quillin", obj, msh});
    return runCaptured(twoStretches, {"quillin", obj, msh, side});
}

// Seven vertices in two groups over four triangles, a group-to-matrix table of two entries and
// two matrices: every table present and non-empty, and the round-trip conditions met.
inline MeshHandle makeSmallMesh() {
    MeshHandle mesh(mshCreate(7, 4, 2, 2, 2));
    if (!mesh)
        return mesh;
    for (uint32_t i = 0; i < 7; ++i) {
        const float f = float(i);
        mesh->vertices[i] = MeshVertex{f, -0.5f * f, 0.25f * f, 0, 0, 1, f / 8.0f, 1.0f - f / 8.0f};
    }
    mesh->triangles[0] = MeshTriangle{{0, 1, 2}};
    mesh->triangles[1] = MeshTriangle{{0, 2, 3}};
    mesh->triangles[2] = MeshTriangle{{0, 1, 2}};
    mesh->triangles[3] = MeshTriangle{{2, 1, 0}};
    mesh->groups[0] = MeshGroup{7, 6, 0, 4, 0};
    mesh->groups[1] = MeshGroup{9, 6, 4, 3, 6};
    mesh->groupMatrix[0] = 1;
    mesh->groupMatrix[1] = 0;
    mesh->matrices[0] = MeshMatrix{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    mesh->matrices[1] = MeshMatrix{{0.5f, -0.25f, 0, 0.25f, 0.5f, 0, 0, 0, -2.0f}};
    return mesh;
}

// The small mesh saved as <dir>/small.msh; returns its path.
inline std::string saveSmallMesh(const quilltest::TempDir& dir) {
    const std::string path = dir.file("small.msh");
    const MeshHandle mesh = makeSmallMesh();
    EXPECT_TRUE(mesh);
    EXPECT_EQ(mshSave(path.c_str(), mesh.get()), 1);
    return path;
}

} // namespace hardening
