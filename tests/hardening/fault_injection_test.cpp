// Every allocation of a run is made to fail in turn, through the allocation seam, until a run
// no longer reaches the injected failure. Each failing allocation must end the run with its
// exact message and status -1 and leave no output file behind (unless the site has a fallback);
// LeakSanitizer, in the asan preset, checks that everything allocated before the failure is
// released.
#include "hardening_support.h"

#include "msh_alloc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using hardening::RunResult;
using quilltest::fileExists;
using quilltest::readFile;
using quilltest::TempDir;

// What an injected failure at one allocation site leaves behind.
enum class Left {
    nothing,    // no output file at all
    everything, // the site has a fallback: the run succeeds with the same output
};

struct Site {
    const char* what;
    const char* message;
    int status;
    Left left;
};

constexpr char loaderMessage[] = "mshLoad(): ERROR: Could not allocate needed memory\n";
constexpr char createMessage[] = "mshCreate(): ERROR: Could not allocate needed memory\n";
constexpr char programMessage[] = "ERROR: Could not allocate needed memory\n";

// Makes allocation n of `run` fail. Returns false when the run made fewer than n allocations,
// so the injection never took effect.
template <typename Run>
bool runWithFailure(uint64_t n, Run run, RunResult& result) {
    const uint64_t before = mshAllocationCount();
    mshFailAllocation(n);
    result = run();
    mshFailAllocation(0);
    return mshAllocationCount() - before >= n;
}

struct Outputs {
    std::vector<std::string> paths;
};

void removeOutputs(const Outputs& outputs) {
    for (const std::string& path : outputs.paths)
        std::remove(path.c_str());
}

// Runs with every allocation failing in turn and checks each against `sites`, in order; the
// run after the last site must succeed untouched. `reference` holds the files of a clean run.
template <typename Run>
void checkEverySite(const std::vector<Site>& sites, const Outputs& outputs,
                    const std::vector<std::string>& reference, Run run) {
    for (uint64_t n = 1;; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        removeOutputs(outputs);
        RunResult result;
        if (!runWithFailure(n, run, result)) {
            EXPECT_EQ(n - 1, sites.size()) << "allocation sites reached";
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.err, "");
            for (size_t i = 0; i < outputs.paths.size(); ++i)
                EXPECT_EQ(readFile(outputs.paths[i]), reference[i]);
            return;
        }
        ASSERT_LE(n, sites.size()) << "more allocation sites than expected";
        const Site& site = sites[n - 1];
        SCOPED_TRACE(site.what);
        EXPECT_EQ(result.status, site.status);
        EXPECT_EQ(result.err, site.message);
        EXPECT_EQ(result.out, "");
        for (size_t i = 0; i < outputs.paths.size(); ++i) {
            const bool kept = site.left == Left::everything;
            EXPECT_EQ(fileExists(outputs.paths[i]), kept) << outputs.paths[i];
            if (kept) {
                EXPECT_EQ(readFile(outputs.paths[i]), reference[i]) << outputs.paths[i];
            }
        }
    }
}

std::vector<std::string> cleanRun(const Outputs& outputs, int status) {
    std::vector<std::string> files;
    EXPECT_EQ(status, 0);
    for (const std::string& path : outputs.paths) {
        EXPECT_TRUE(fileExists(path)) << path;
        files.push_back(readFile(path));
    }
    return files;
}

TEST(AllocationFailures, QuilloutReleasesAndReportsAtEverySite) {
    TempDir dir;
    const std::string msh = hardening::saveSmallMesh(dir);
    const Outputs outputs{{dir.file("out.obj"), dir.file("out.matrix")}};
    const auto run = [&] { return hardening::runQuillout(msh, outputs.paths[0]); };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    const std::vector<Site> sites = {
        {"loader read buffer", loaderMessage, -1, Left::nothing},
        {"mesh record", loaderMessage, -1, Left::nothing},
        {"vertex table", loaderMessage, -1, Left::nothing},
        {"triangle table", loaderMessage, -1, Left::nothing},
        {"group table", loaderMessage, -1, Left::nothing},
        {"group-to-matrix table", loaderMessage, -1, Left::nothing},
        {"matrix table", loaderMessage, -1, Left::nothing},
        {"side file path", programMessage, -1, Left::nothing},
        {"output buffer", programMessage, -1, Left::nothing},
    };
    checkEverySite(sites, outputs, reference, run);
}

// OBJ text and side file as the exporter writes them for the small mesh.
struct ImporterInputs {
    std::string obj;
    std::string side;
};

ImporterInputs exportSmallMesh(const TempDir& dir) {
    const std::string msh = hardening::saveSmallMesh(dir);
    const ImporterInputs inputs{dir.file("in.obj"), dir.file("in.matrix")};
    EXPECT_EQ(hardening::runQuillout(msh, inputs.obj).status, 0);
    return inputs;
}

const std::vector<Site> quillinWithSideFileSites = {
    {"read buffer", programMessage, -1, Left::nothing},
    {"positions", programMessage, -1, Left::nothing},
    {"texture coordinates", programMessage, -1, Left::nothing},
    {"normals", programMessage, -1, Left::nothing},
    {"faces", programMessage, -1, Left::nothing},
    {"corners", programMessage, -1, Left::nothing},
    {"groups", programMessage, -1, Left::nothing},
    {"pair table", programMessage, -1, Left::nothing},
    {"matrix table", programMessage, -1, Left::nothing},
    {"vertex claims", programMessage, -1, Left::nothing},
    {"corner vertices", programMessage, -1, Left::nothing},
    {"group records", programMessage, -1, Left::nothing},
    {"mesh record", createMessage, -1, Left::nothing},
    {"mesh vertices", createMessage, -1, Left::nothing},
    {"mesh triangles", createMessage, -1, Left::nothing},
    {"mesh groups", createMessage, -1, Left::nothing},
    {"mesh group-to-matrix table", createMessage, -1, Left::nothing},
    {"mesh matrices", createMessage, -1, Left::nothing},
    {"writer buffer (falls back to a small one)", "", 0, Left::everything},
};

TEST(AllocationFailures, QuillinWithSideFileReleasesAndReportsAtEverySite) {
    TempDir dir;
    const ImporterInputs in = exportSmallMesh(dir);
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] { return hardening::runQuillin(in.obj, outputs.paths[0], in.side); };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    // The result is the mesh the exporter was given.
    EXPECT_EQ(reference[0], readFile(dir.file("small.msh")));
    checkEverySite(quillinWithSideFileSites, outputs, reference, run);
}

// The two-thread reading allocates the same tables, once, whichever stretch fails.
TEST(AllocationFailures, QuillinReadingTwoStretchesReleasesAndReportsAtEverySite) {
    TempDir dir;
    const ImporterInputs in = exportSmallMesh(dir);
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] {
        return hardening::runQuillinInTwoStretches(in.obj, outputs.paths[0], in.side);
    };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    EXPECT_EQ(reference[0], readFile(dir.file("small.msh")));
    checkEverySite(quillinWithSideFileSites, outputs, reference, run);
}

// `sites` without the ones named in `left`.
std::vector<Site> withoutSites(const std::vector<Site>& sites,
                               std::initializer_list<std::string_view> left) {
    std::vector<Site> kept;
    for (const Site& site : sites)
        if (std::find(left.begin(), left.end(), site.what) == left.end())
            kept.push_back(site);
    return kept;
}

// Without a side file there is no side table to read and no matrix table in the mesh.
const std::vector<Site> quillinWithoutSideFileSites =
    withoutSites(quillinWithSideFileSites,
                 {"pair table", "matrix table", "mesh group-to-matrix table", "mesh matrices"});

TEST(AllocationFailures, QuillinWithoutSideFileReleasesAndReportsAtEverySite) {
    TempDir dir;
    const ImporterInputs in = exportSmallMesh(dir);
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] { return hardening::runQuillin(in.obj, outputs.paths[0]); };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    checkEverySite(quillinWithoutSideFileSites, outputs, reference, run);
}

// An empty OBJ file still allocates its six (empty) working tables and its plan; an empty mesh
// none.
TEST(AllocationFailures, QuillinOnEmptyObjReleasesAndReportsAtEverySite) {
    TempDir dir;
    const std::string obj = dir.file("empty.obj");
    quilltest::writeFile(obj, "");
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] { return hardening::runQuillin(obj, outputs.paths[0]); };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    EXPECT_EQ(reference[0], "");
    // No faces: no group records to make, and a mesh record without tables.
    const std::vector<Site> sites =
        withoutSites(quillinWithoutSideFileSites,
                     {"group records", "mesh vertices", "mesh triangles", "mesh groups"});
    checkEverySite(sites, outputs, reference, run);
}

// A number field of 128 bytes or more that only the C library reads is copied through the
// allocation seam while the faces' tables are already held.
TEST(AllocationFailures, QuillinLongNumberFieldReleasesAndReportsAtEverySite) {
    TempDir dir;
    const std::string obj = dir.file("long.obj");
    quilltest::writeFile(obj,
                         "v 0x1." + std::string(150, '0') + "p0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] { return hardening::runQuillin(obj, outputs.paths[0]); };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    // The copy comes after the working tables; a file without "g" has its group records
    // numbered again for the (empty) matrix table after the mesh is made.
    std::vector<Site> sites = quillinWithoutSideFileSites;
    sites.insert(sites.begin() + 7, {"copy of the long field", programMessage, -1, Left::nothing});
    sites.insert(sites.end() - 1,
                 {"matrix numbers of the group records", programMessage, -1, Left::nothing});
    checkEverySite(sites, outputs, reference, run);
}

#ifndef _WIN32
// Pipes named by a path (/dev/fd) exist on POSIX systems only.

// A pipe holding `text`, its writing end closed, named by its /dev/fd path. The text must fit
// in the pipe (64 KiB).
class FilledPipe {
public:
    explicit FilledPipe(const std::string& text) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        EXPECT_EQ(::write(ends[1], text.data(), text.size()), ssize_t(text.size()));
        ::close(ends[1]);
        readEnd_ = ends[0];
    }
    FilledPipe(const FilledPipe&) = delete;
    FilledPipe& operator=(const FilledPipe&) = delete;
    ~FilledPipe() { ::close(readEnd_); }
    std::string path() const { return "/dev/fd/" + std::to_string(readEnd_); }

private:
    int readEnd_ = -1;
};

// Both files from pipes, read into memory: the OBJ text, padded past the first 16 KiB block so
// that its memory grows once, and the side file in one block.
TEST(AllocationFailures, QuillinFromPipesReleasesAndReportsAtEverySite) {
    TempDir dir;
    const ImporterInputs in = exportSmallMesh(dir);
    const std::string obj = readFile(in.obj) + "# " + std::string(20000, 'x') + "\n";
    const std::string side = readFile(in.side);
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] {
        const FilledPipe objPipe(obj);
        const FilledPipe sidePipe(side);
        return hardening::runQuillin(objPipe.path(), outputs.paths[0], sidePipe.path());
    };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    EXPECT_EQ(reference[0], readFile(dir.file("small.msh")));
    std::vector<Site> sites = quillinWithSideFileSites;
    sites.insert(sites.begin() + 1,
                 {{"OBJ text in memory", programMessage, -1, Left::nothing},
                  {"OBJ text in larger memory", programMessage, -1, Left::nothing}});
    sites.insert(sites.begin() + 9, {"side file in memory", programMessage, -1, Left::nothing});
    checkEverySite(sites, outputs, reference, run);
}
#endif

// A line longer than the read buffer takes a larger one, in each of the two passes.
TEST(AllocationFailures, QuillinWithLongLineReleasesAndReportsAtEverySite) {
    TempDir dir;
    const ImporterInputs in = exportSmallMesh(dir);
    const std::string obj = dir.file("long.obj");
    quilltest::writeFile(obj, "# " + std::string(size_t{3} << 19, 'x') + "\n" + readFile(in.obj));
    const Outputs outputs{{dir.file("back.msh")}};
    const auto run = [&] { return hardening::runQuillin(obj, outputs.paths[0], in.side); };
    const std::vector<std::string> reference = cleanRun(outputs, run().status);
    EXPECT_EQ(reference[0], readFile(dir.file("small.msh")));
    std::vector<Site> sites = quillinWithSideFileSites;
    sites.insert(sites.begin() + 1, {"larger buffer, counting", programMessage, -1, Left::nothing});
    sites.insert(sites.begin() + 8, {"larger buffer, parsing", programMessage, -1, Left::nothing});
    checkEverySite(sites, outputs, reference, run);
}

} // namespace
