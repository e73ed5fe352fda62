// Real-world OBJ files: each converts with status 0, or stops with one clear "ERROR: " line and
// writes nothing. Skipped when the corpus folder is absent.
#include "quillin_test_support.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(QuillinCorpus, EveryFileConvertsOrFailsClearly) {
    const std::vector<std::filesystem::path> files = quilltest::corpusObjFiles();
    if (files.empty())
        GTEST_SKIP() << "no corpus at " << QUILL_CORPUS_DIR;
    quilltest::TempDir dir;
    const std::string out = dir.file("out.msh");
    int converted = 0;
    for (const auto& file : files) {
        std::filesystem::remove(out);
        const auto outcome = quillintest::runImporter({file.string(), out});
        if (outcome.status == 0) {
            ++converted;
            EXPECT_EQ(outcome.err, "") << file;
            EXPECT_TRUE(quilltest::fileExists(out)) << file;
            continue;
        }
        EXPECT_EQ(outcome.status, -1) << file;
        EXPECT_EQ(outcome.err.rfind("ERROR: ", 0), 0u) << file << ": " << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1)
            << file << ": " << outcome.err;
        EXPECT_FALSE(quilltest::fileExists(out)) << file;
    }
    EXPECT_GT(converted, 0);
}

} // namespace
