// Runs a program's whole run in-process, as its main would, with the standard output and
// standard error streams captured for byte-exact checks.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quilltest {

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

// `arguments` is the whole argument vector, the program name first.
inline RunResult runCaptured(int (*program)(int, char**), std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = program(static_cast<int>(arguments.size()), argv.data());
    RunResult result{status, "", ""};
    result.err = testing::internal::GetCapturedStderr();
    result.out = testing::internal::GetCapturedStdout();
    return result;
}

} // namespace quilltest
