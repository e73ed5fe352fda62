// A scratch directory for the one run of a fuzz target that needs files, made at the start of
// the run and removed with its files at the end, so that nothing is left behind however the
// fuzzer exits. It lies in memory when the machine has /dev/shm, so that no run waits for a
// disk; otherwise under TMPDIR or /tmp.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class ScratchDir {
public:
    explicit ScratchDir(const char* name) {
        std::string pattern = root() + "/" + name + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        directory_ = pattern;
    }
    ~ScratchDir() {
        for (const std::string& file : files_)
            std::remove(file.c_str());
        rmdir(directory_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The path of a file in the directory, removed with it.
    std::string file(const char* name) {
        files_.push_back(directory_ + "/" + name);
        return files_.back();
    }

private:
    static std::string root() {
        if (access("/dev/shm", W_OK) == 0)
            return "/dev/shm";
        const char* tmp = std::getenv("TMPDIR");
        return tmp != nullptr ? tmp : "/tmp";
    }

    std::string directory_;
    std::vector<std::string> files_;
};
