// mshCreate and mshFree: which tables are present, zero-filled contents, and clean failure
// at every allocation.
#include "msh.h"
#include "msh_alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char* const createFailure = "mshCreate(): ERROR: Could not allocate needed memory\n";

bool allBytesZero(const void* memory, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(memory);
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

TEST(MeshCreate, AllCountsZeroGivesFiveAbsentTables) {
    MeshHandle mesh(mshCreate(0, 0, 0, 0, 0));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->vertices, nullptr);
    EXPECT_EQ(mesh->triangles, nullptr);
    EXPECT_EQ(mesh->groups, nullptr);
    EXPECT_EQ(mesh->groupMatrix, nullptr);
    EXPECT_EQ(mesh->matrices, nullptr);
    EXPECT_EQ(mesh->vertexCount + mesh->triangleCount + mesh->groupCount + mesh->groupMatrixCount +
                  mesh->matrixCount,
              0u);
}

TEST(MeshCreate, EachCountMakesOnlyItsOwnTablePresent) {
    for (int which = 0; which < 5; ++which) {
        SCOPED_TRACE(which);
        const uint32_t n = 3 + uint32_t(which);
        MeshHandle mesh(mshCreate(which == 0 ? n : 0, which == 1 ? n : 0, which == 2 ? n : 0,
                                  which == 3 ? n : 0, which == 4 ? n : 0));
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->vertices != nullptr, which == 0);
        EXPECT_EQ(mesh->triangles != nullptr, which == 1);
        EXPECT_EQ(mesh->groups != nullptr, which == 2);
        EXPECT_EQ(mesh->groupMatrix != nullptr, which == 3);
        EXPECT_EQ(mesh->matrices != nullptr, which == 4);
        EXPECT_EQ(mesh->vertexCount, which == 0 ? n : 0u);
        EXPECT_EQ(mesh->triangleCount, which == 1 ? n : 0u);
        EXPECT_EQ(mesh->groupCount, which == 2 ? n : 0u);
        EXPECT_EQ(mesh->groupMatrixCount, which == 3 ? n : 0u);
        EXPECT_EQ(mesh->matrixCount, which == 4 ? n : 0u);
    }
}

// Uninitialised memory must never reach a file, so every table starts zero-filled.
TEST(MeshCreate, TablesAreZeroFilled) {
    MeshHandle mesh(mshCreate(1000, 700, 30, 20, 10));
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(allBytesZero(mesh->vertices, 1000 * sizeof(MeshVertex)));
    EXPECT_TRUE(allBytesZero(mesh->triangles, 700 * sizeof(MeshTriangle)));
    EXPECT_TRUE(allBytesZero(mesh->groups, 30 * sizeof(MeshGroup)));
    EXPECT_TRUE(allBytesZero(mesh->groupMatrix, 20 * sizeof(uint32_t)));
    EXPECT_TRUE(allBytesZero(mesh->matrices, 10 * sizeof(MeshMatrix)));
}

// The record and the five tables are six allocations; each one failing in turn gives one
// message and no mesh (the leak checker of the sanitizer build sees anything kept).
TEST(MeshCreate, EveryAllocationFailureIsReportedOnceAndReleasesTheRest) {
    for (uint64_t nth = 1; nth <= 6; ++nth) {
        SCOPED_TRACE(nth);
        mshFailAllocation(nth);
        testing::internal::CaptureStderr();
        Mesh* mesh = mshCreate(4, 3, 2, 2, 1);
        const std::string errors = testing::internal::GetCapturedStderr();
        mshFailAllocation(0);
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(errors, createFailure);
        mshFree(mesh);
    }
    mshFailAllocation(7);
    MeshHandle mesh(mshCreate(4, 3, 2, 2, 1));
    mshFailAllocation(0);
    EXPECT_NE(mesh, nullptr);
}

TEST(MeshCreate, AbsentTablesAreNotAllocated) {
    const uint64_t before = mshAllocationCount();
    MeshHandle mesh(mshCreate(0, 5, 0, 0, 2));
    EXPECT_EQ(mshAllocationCount() - before, 3u);
}

// Growing keeps the bytes held; every refusal leaves the block to its owner, who releases it.
TEST(MshGrow, KeepsTheBytesAndRefusesWhatItCannotGive) {
    char* memory = mshAllocateArray<char>(4);
    ASSERT_NE(memory, nullptr);
    std::memcpy(memory, "abcd", 4);
    char* grown = static_cast<char*>(mshGrow(memory, 4, 1 << 20, 1));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::string(grown, 4), "abcd");
    const struct {
        const char* what;
        size_t count;
        size_t size;
        uint64_t failNext;
    } refusals[] = {
        {"a product past SIZE_MAX", SIZE_MAX / 2, 3, 0},
        {"a smaller size", 16, 1, 0},
        {"an injected failure", 1 << 21, 1, 1},
    };
    for (const auto& r : refusals) {
        mshFailAllocation(r.failNext);
        EXPECT_EQ(mshGrow(grown, 1 << 20, r.count, r.size), nullptr) << r.what;
        mshFailAllocation(0);
        EXPECT_EQ(std::string(grown, 4), "abcd") << r.what;
    }
    mshRelease(grown);
}

TEST(MeshFree, NullIsAccepted) {
    testing::internal::CaptureStderr();
    mshFree(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
