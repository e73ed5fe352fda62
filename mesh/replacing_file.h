// An output file that appears whole or not at all. The bytes go to a temporary file beside the
// target, ".<name>.tmp-XXXXXX", which is renamed over the target only when every write and the
// close have succeeded; on failure it is removed and the earlier file is untouched. A path that
// is a symbolic link replaces the file the link leads to and leaves the link in place, and a
// replaced file keeps its permission bits.
//
// Outputs that cannot be replaced by renaming are written in place, created or truncated as
// fopen "w" would: anything that is not a regular file (a device, a FIFO, a link that leads
// nowhere) and any file beside which no temporary file can be created.
//
// On Windows the same holds with the system's means: the temporary file is created exclusively
// and moved over the target in one step; a read-only file is refused as fopen "w" refuses it;
// a symbolic link is followed to its file; the replacement takes the access rules of its
// folder (Windows keeps no permission bits to carry over). Paths are UTF-8 (platform_file.h).
//
// Internal to the mesh library and the programs, like msh_alloc.h.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
// Room for a long path in UTF-8; a longer one is written in place.
inline constexpr size_t kReplacingPathCapacity = 4096;
#else
inline constexpr size_t kReplacingPathCapacity = PATH_MAX;
#endif

struct ReplacingFile {
    int descriptor;                      // -1 when closed
    char target[kReplacingPathCapacity]; // the file to replace: the path, or where its link leads
    char temporary[kReplacingPathCapacity]; // empty when writing in place
    uint64_t written;                       // bytes written so far
    uint64_t writebackStarted;              // bytes handed to the disk so far (see replacingWrite)
};

// Opens the output for writing. False, with errno set and nothing created, when the output
// cannot be opened as fopen "w" could not open it (including a replaced file that is not
// writable). `file` must stay where it is until it is finished or abandoned.
bool replacingOpen(ReplacingFile& file, const char* path);

// Writes all `size` bytes, or returns false. A temporary file has each completed stretch of
// some megabytes handed to the disk while the rest is still being made: the file system then
// places and writes the bytes along the way, rather than all at once when the file replaces the
// earlier one (ext4 does that inside the renaming) or when the cache fills.
bool replacingWrite(ReplacingFile& file, const void* data, size_t size);

// Closes the file. When `complete` (every write succeeded), a temporary file is renamed over
// the target, and the result says whether the close and the rename succeeded. Otherwise, or
// when either fails, a temporary file is removed and the result is false; an output written in
// place keeps what was written.
bool replacingClose(ReplacingFile& file, bool complete);
