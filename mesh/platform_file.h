// The files of the library and both programs as the host system offers them: opening by path,
// the kind, size and identity of a file, and reads at an offset. Paths are UTF-8 everywhere; on
// Windows they are turned into UTF-16 for the wide file functions, so that any name works.
// The POSIX bodies are in platform_file_posix.cpp, the Windows ones in
// platform_file_windows.cpp; the build picks one.
//
// Internal to the mesh library and the programs, like msh_alloc.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class FileKind {
    regular,
    pipe,      // a pipe or a socket: bytes that arrive once, in order
    directory, // a directory, where the system lets one be opened
    other,     // a device, a terminal, a console
};

struct FileStatus {
    FileKind kind;
    uint64_t size; // bytes of a regular file; 0 for any other kind
};

// What tells one file from another, however its path is spelled: the device and inode on POSIX
// systems, the volume serial number and file index on Windows.
struct FileIdentity {
    uint64_t volume;
    uint64_t index[2];

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Whether the character ends a folder in a path: '/' everywhere, '\\' too on Windows.
inline bool mshEndsDirectory(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// Opens a file as std::fopen does, with fopen's `mode`; null (errno set) when it cannot.
std::FILE* mshOpenFile(const char* path, const char* mode);

// The kind and size of an open file. False when the system cannot tell.
bool mshFileStatus(std::FILE* file, FileStatus& status);

// True when the path (after any links) names a directory.
bool mshIsDirectory(const char* path);

// The identity of the file the path names (after any links). False when it cannot be found.
bool mshFileIdentity(const char* path, FileIdentity& identity);

// Reads the bytes of an open regular file from `offset` on until `wanted` have arrived, the
// file ends or a read fails (then `failed` is set); returns how many arrived. Each read names
// its own offset and the stream's position is never used, so that several threads can read one
// file at their own offsets.
size_t mshReadFullyAt(std::FILE* file, uint64_t offset, char* into, size_t wanted, bool& failed);

#ifdef _WIN32
// The longest path the wide file functions take, in UTF-16 units with the terminating zero.
constexpr size_t kWidePathCapacity = 32768;

// A path in the UTF-16 form the wide file functions take. It lives on the caller's stack, so
// that naming a file never needs memory that could run out.
struct WidePath {
    wchar_t text[kWidePathCapacity];
};

// The UTF-16 form of a UTF-8 path; false (errno set) when the path is not valid UTF-8 or longer
// than any path the system takes.
bool mshWidePath(const char* path, WidePath& wide);

// Runs a program's `run` with the wide argument vector of wmain turned into UTF-8 strings, so
// that the program sees every path as UTF-8 whatever the console's code page; when memory for
// them runs out, prints with `printOutOfMemory` and returns -1.
int mshRunWithUtf8Arguments(int argc, wchar_t** wideArgv, int (*run)(int, char**),
                            void (*printOutOfMemory)());
#endif
