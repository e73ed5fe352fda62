// Fuzzes the round trip: the fuzz bytes shape a mesh that meets the round-trip conditions
// (groups cover the triangles in order from triangle 0, their vertex spans follow each other
// from vertex 0, every vertex is used so each group uses the first and last vertex of its span,
// and both matrix tables are non-empty, with matrix values below 10 in magnitude so that every
// matrix row fits one 255-character piece). The mesh is saved, exported by quillout to OBJ and
// a side file, imported by quillin, and loaded again. Groups, triangles, the group-to-matrix
// table must come back exactly; vertices and matrices up to the 24 printed decimals. The
// importer reads the OBJ file in one stretch or, as it does large files, in two stretches on
// two threads, as the fuzz bytes choose.
#include "fuzz_scratch.h"
#include "msh.h"
#include "quillin/run.h"
#include "quillout/run.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr uint32_t maxGroups = 6;
constexpr uint32_t maxSpan = 48;
constexpr uint32_t maxExtraTriangles = 8;
constexpr uint32_t maxPairs = 6;
constexpr uint32_t maxMatrices = 3;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "round trip changed the mesh: %s\n", what);
    std::abort();
}

float anyFloat(FuzzedDataProvider& fuzz) {
    return std::bit_cast<float>(fuzz.ConsumeIntegral<uint32_t>());
}

float matrixFloat(FuzzedDataProvider& fuzz) {
    const float value = anyFloat(fuzz);
    return std::isfinite(value) && std::fabs(value) >= 10.0f ? std::fmod(value, 10.0f) : value;
}

// Every vertex of the span once (in an order the fuzz bytes shuffle), padded to whole
// triangles, then a few more triangles over any vertices of the span.
std::vector<uint16_t> groupIndices(FuzzedDataProvider& fuzz, uint32_t span) {
    std::vector<uint16_t> indices(span);
    for (uint32_t i = 0; i < span; ++i)
        indices[i] = static_cast<uint16_t>(i);
    for (uint32_t i = span; i > 1; --i)
        std::swap(indices[i - 1], indices[fuzz.ConsumeIntegralInRange<uint32_t>(0, i - 1)]);
    const uint32_t extra = fuzz.ConsumeIntegralInRange<uint32_t>(0, maxExtraTriangles);
    while (indices.size() % 3 != 0 || indices.size() < size_t(span) + 3 * extra)
        indices.push_back(
            static_cast<uint16_t>(fuzz.ConsumeIntegralInRange<uint32_t>(0, span - 1)));
    return indices;
}

MeshHandle makeMesh(FuzzedDataProvider& fuzz) {
    const uint32_t groupCount = fuzz.ConsumeIntegralInRange<uint32_t>(1, maxGroups);
    std::vector<uint32_t> spans(groupCount);
    std::vector<std::vector<uint16_t>> indices(groupCount);
    uint32_t vertexCount = 0;
    uint32_t triangleCount = 0;
    for (uint32_t g = 0; g < groupCount; ++g) {
        spans[g] = fuzz.ConsumeIntegralInRange<uint32_t>(1, maxSpan);
        indices[g] = groupIndices(fuzz, spans[g]);
        vertexCount += spans[g];
        triangleCount += static_cast<uint32_t>(indices[g].size() / 3);
    }
    const uint32_t pairCount = fuzz.ConsumeIntegralInRange<uint32_t>(1, maxPairs);
    const uint32_t matrixCount = fuzz.ConsumeIntegralInRange<uint32_t>(1, maxMatrices);
    MeshHandle mesh(mshCreate(vertexCount, triangleCount, groupCount, pairCount, matrixCount));
    if (!mesh)
        std::abort();
    uint32_t base = 0;
    uint32_t triangle = 0;
    for (uint32_t g = 0; g < groupCount; ++g) {
        const uint32_t n = static_cast<uint32_t>(indices[g].size() / 3);
        mesh->groups[g] =
            MeshGroup{fuzz.ConsumeIntegral<uint32_t>(), 3 * n, base, spans[g], 3 * triangle};
        for (uint32_t k = 0; k < n; ++k, ++triangle)
            mesh->triangles[triangle] =
                MeshTriangle{{indices[g][3 * k], indices[g][3 * k + 1], indices[g][3 * k + 2]}};
        base += spans[g];
    }
    for (uint32_t j = 0; j < pairCount; ++j)
        mesh->groupMatrix[j] = fuzz.ConsumeIntegral<uint32_t>();
    for (uint32_t m = 0; m < matrixCount; ++m)
        for (float& value : mesh->matrices[m].value)
            value = matrixFloat(fuzz);
    for (uint32_t k = 0; k < vertexCount; ++k) {
        MeshVertex& v = mesh->vertices[k];
        for (float* f : {&v.x, &v.y, &v.z, &v.nx, &v.ny, &v.nz, &v.u, &v.v})
            *f = anyFloat(fuzz);
    }
    return mesh;
}

template <typename Program>
int run(Program program, std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return program(static_cast<int>(arguments.size()), argv.data());
}

// A float printed with 24 decimals and read back is within 1e-24 of the original (half a unit
// of the last decimal, plus at most as much again when rounding to the nearest float), which
// is exact for every magnitude above about 1e-15. NaN comes back as a NaN.
bool sameDecimalFloat(float original, float back) {
    if (std::isnan(original) || std::isnan(back))
        return std::isnan(original) && std::isnan(back);
    return original == back || std::fabs(double(original) - double(back)) <= 1.1e-24;
}

void compareMeshes(const Mesh& a, const Mesh& b) {
    if (a.vertexCount != b.vertexCount)
        fail("vertex count");
    for (uint32_t k = 0; k < a.vertexCount; ++k) {
        const MeshVertex& v = a.vertices[k];
        const MeshVertex& w = b.vertices[k];
        const float x[] = {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v};
        const float y[] = {w.x, w.y, w.z, w.nx, w.ny, w.nz, w.u, w.v};
        for (int i = 0; i < 8; ++i)
            if (!sameDecimalFloat(x[i], y[i]))
                fail("vertex");
    }
    if (a.triangleCount != b.triangleCount ||
        !std::equal(a.triangles, a.triangles + a.triangleCount, b.triangles,
                    [](const MeshTriangle& s, const MeshTriangle& t) {
                        return std::equal(s.index, s.index + 3, t.index);
                    }))
        fail("triangles");
    if (a.groupCount != b.groupCount || !std::equal(a.groups, a.groups + a.groupCount, b.groups,
                                                    [](const MeshGroup& g, const MeshGroup& h) {
                                                        return g.id == h.id &&
                                                               g.indexCount == h.indexCount &&
                                                               g.baseVertex == h.baseVertex &&
                                                               g.vertexCount == h.vertexCount &&
                                                               g.firstIndex == h.firstIndex;
                                                    }))
        fail("groups");
    if (a.groupMatrixCount != b.groupMatrixCount ||
        !std::equal(a.groupMatrix, a.groupMatrix + a.groupMatrixCount, b.groupMatrix))
        fail("group-to-matrix table");
    if (a.matrixCount != b.matrixCount)
        fail("matrix count");
    for (uint32_t m = 0; m < a.matrixCount; ++m)
        for (int i = 0; i < 9; ++i)
            if (!sameDecimalFloat(a.matrices[m].value[i], b.matrices[m].value[i]))
                fail("matrix");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fuzz(data, size);
    const quillin::ReadMode mode =
        fuzz.ConsumeBool() ? quillin::ReadMode::twoStretches : quillin::ReadMode::oneStretch;
    const MeshHandle mesh = makeMesh(fuzz);
    ScratchDir scratch("quill-round-trip");
    const std::string msh = scratch.file("in.msh");
    const std::string obj = scratch.file("out.obj");
    const std::string side = scratch.file("out.matrix");
    const std::string imported = scratch.file("back.msh");
    if (mshSave(msh.c_str(), mesh.get()) != 1)
        fail("could not save the input mesh");
    if (run(quillout::runQuillout, {"quillout", msh, obj}) != 0)
        fail("quillout failed");
    const auto quillin = [mode](int argc, char** argv) {
        return quillin::runQuillinWith(argc, argv, mode);
    };
    if (run(quillin, {"quillin", obj, imported, side}) != 0)
        fail("quillin failed");
    const MeshHandle back(mshLoad(imported.c_str()));
    if (!back)
        fail("could not load the imported mesh");
    compareMeshes(*mesh, *back);
    return 0;
}
