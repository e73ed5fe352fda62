// Starting a built program as a separate process through the platform's command processor
// (sh on POSIX, cmd.exe on Windows), with the emulator that runs a cross-built program put in
// front of it, and its exit status read back the same way everywhere.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#ifndef _WIN32
#include <sys/wait.h>
#endif

// The emulator that runs a program built for another Linux machine (qemu-user), as shell words;
// empty for a native build and on Windows, where a test starts the .exe directly.
#ifndef QUILL_TEST_LAUNCHER
#define QUILL_TEST_LAUNCHER ""
#endif

namespace quilltest {

// What `programStatus` gives when the program did not end through exit (a signal, a crash).
inline constexpr int kAbnormalEnd = -1000;

// One word of a command line, quoted for the command processor. Windows paths hold no `"`.
inline std::string quotedWord(std::string_view text) {
#ifdef _WIN32
    return "\"" + std::string(text) + "\"";
#else
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
#endif
}

// The start of a command line that runs `program`: the launcher, if any, and the quoted path.
inline std::string programCommand(std::string_view program) {
    const std::string_view launcher = QUILL_TEST_LAUNCHER;
    return launcher.empty() ? quotedWord(program)
                            : std::string(launcher) + " " + quotedWord(program);
}

// The exit status as a POSIX parent sees it, 0 to 255 (exit(-1) is 255), from what
// std::system returned; kAbnormalEnd when the program did not exit.
inline int programStatus(int raw) {
#ifdef _WIN32
    // cmd.exe hands back the whole 32-bit exit code: exit(-1) is -1, a crash an NTSTATUS.
    if (raw == -1)
        return 255;
    return raw >= 0 && raw <= 255 ? raw : kAbnormalEnd;
#else
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : kAbnormalEnd;
#endif
}

// Runs a whole command line (redirections included) and returns the program's exit status.
// The line is UTF-8, as the programs take their arguments on every system.
inline int runCommand(const std::string& command) {
#ifdef _WIN32
    // cmd.exe /c drops the first and the last quote of a line that starts with one; a pair
    // around the whole line keeps every quoted word intact. The wide form keeps every character.
    const std::u8string text(command.begin(), command.end());
    const std::wstring wide = std::filesystem::path(u8"\"" + text + u8"\"").wstring();
    return programStatus(::_wsystem(wide.c_str()));
#else
    return programStatus(std::system(command.c_str()));
#endif
}

} // namespace quilltest
