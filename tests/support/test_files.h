// Temporary directories and whole-file helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace quilltest {

inline long processId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

// Text as the exporter writes it on this platform: lines end with CR LF on Windows (its text
// mode) and with LF elsewhere. Files written for the importer need no such change: it reads both.
inline std::string platformText(std::string_view text) {
#ifdef _WIN32
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
#else
    return std::string(text);
#endif
}

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> serial{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "quill-";
        if (info != nullptr)
            name += std::string(info->test_suite_name()) + "-" + info->name();
        name += "-" + std::to_string(processId()) + "-" + std::to_string(serial++);
        for (char& c : name)
            if (c == '/' || c == '\\')
                c = '_';
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The path that a UTF-8 name gives on this system (on Windows a narrow string is read in the
// local code page instead).
inline std::filesystem::path utf8Path(std::string_view name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool fileExists(const std::filesystem::path& path) { return std::filesystem::exists(path); }

// The real-world OBJ files beside the project, in name order; empty when the folder is absent
// (a fresh clone without it), so that the tests that read them can skip.
inline std::vector<std::filesystem::path> corpusObjFiles() {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path corpus = QUILL_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus))
        return files;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
        if (entry.is_regular_file() && entry.path().extension() == ".obj")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace quilltest
