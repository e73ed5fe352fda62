// The file layer on POSIX systems (see platform_file.h).
#include "platform_file.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::regular;
    if (S_ISFIFO(mode) || S_ISSOCK(mode))
        return FileKind::pipe;
    return S_ISDIR(mode) ? FileKind::directory : FileKind::other;
}

} // namespace

std::FILE* mshOpenFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool mshFileStatus(std::FILE* file, FileStatus& status) {
    struct stat found {};
    if (::fstat(::fileno(file), &found) != 0)
        return false;
    status.kind = kindOf(found.st_mode);
    status.size =
        status.kind == FileKind::regular && found.st_size > 0 ? uint64_t(found.st_size) : 0;
    return true;
}

bool mshIsDirectory(const char* path) {
    struct stat found {};
    return ::stat(path, &found) == 0 && S_ISDIR(found.st_mode);
}

bool mshFileIdentity(const char* path, FileIdentity& identity) {
    struct stat found {};
    if (::stat(path, &found) != 0)
        return false;
    identity = FileIdentity{uint64_t(found.st_dev), {uint64_t(found.st_ino), 0}};
    return true;
}

size_t mshReadFullyAt(std::FILE* file, uint64_t offset, char* into, size_t wanted, bool& failed) {
    const int fd = ::fileno(file);
    size_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::pread(fd, into + got, wanted - got, static_cast<off_t>(offset + got));
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            failed = n < 0;
            break;
        }
    }
    return got;
}
