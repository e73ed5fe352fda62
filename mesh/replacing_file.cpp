#include "replacing_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTemporaryMark[] = ".tmp-";
constexpr size_t kRandomLength = 6;
// How much a temporary file gathers before it is handed to the disk.
constexpr uint64_t kWritebackStretch = uint64_t(8) << 20;

// The directory part of `target`, ".", its file name and ".tmp-"; false when that and the
// random characters would not fit.
bool temporaryPrefix(const char* target, char* prefix, size_t& length) {
    const char* slash = std::strrchr(target, '/');
    const size_t directory = slash != nullptr ? size_t(slash - target) + 1 : 0;
    const size_t name = std::strlen(target + directory);
    length = directory + 1 + name + sizeof kTemporaryMark - 1;
    if (length + kRandomLength >= PATH_MAX)
        return false;
    std::memcpy(prefix, target, directory);
    prefix[directory] = '.';
    std::memcpy(prefix + directory + 1, target + directory, name);
    std::memcpy(prefix + directory + 1 + name, kTemporaryMark, sizeof kTemporaryMark);
    return true;
}

void randomCharacters(char* out) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomLength];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        // No entropy to hand: the clock and the process id still make a name unlikely to clash,
        // and a clash only costs another try.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t mixed = uint64_t(now.tv_nsec) * 0x9E3779B97F4A7C15u ^ uint64_t(::getpid());
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(mixed >> 56);
            mixed = mixed * 6364136223846793005u + 1442695040888963407u;
        }
    }
    for (size_t i = 0; i < kRandomLength; ++i)
        out[i] = kAlphabet[bytes[i] % (sizeof kAlphabet - 1)];
    out[kRandomLength] = '\0';
}

// Creates a new temporary file beside file.target with the given mode (the umask applies).
bool createTemporary(ReplacingFile& file, mode_t mode) {
    size_t length = 0;
    if (!temporaryPrefix(file.target, file.temporary, length))
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        randomCharacters(file.temporary + length);
        file.descriptor = ::open(file.temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (file.descriptor >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    file.temporary[0] = '\0';
    return false;
}

void removeTemporary(ReplacingFile& file) {
    ::close(file.descriptor);
    file.descriptor = -1;
    ::unlink(file.temporary);
    file.temporary[0] = '\0';
}

// The replacement takes the earlier file's permission bits, owner and group; where it cannot,
// the earlier file is written in place instead, so that nothing about it changes but its bytes.
bool matchEarlierFile(ReplacingFile& file, const struct stat& earlier) {
    struct stat created {};
    const bool matched = ::fstat(file.descriptor, &created) == 0 &&
                         ((created.st_uid == earlier.st_uid && created.st_gid == earlier.st_gid) ||
                          ::fchown(file.descriptor, earlier.st_uid, earlier.st_gid) == 0) &&
                         ::fchmod(file.descriptor, earlier.st_mode & 07777) == 0;
    if (!matched)
        removeTemporary(file);
    return matched;
}

bool copyTarget(ReplacingFile& file, const char* path) {
    const size_t length = std::strlen(path);
    if (length >= PATH_MAX)
        return false;
    std::memcpy(file.target, path, length + 1);
    return true;
}

// A temporary file for a regular file at the path (or where its link leads), after the same
// permission check that opening it for writing would make.
bool openReplacement(ReplacingFile& file, const char* path, const struct stat& earlier,
                     bool& refused) {
    struct stat own {};
    const bool linked = ::lstat(path, &own) == 0 && S_ISLNK(own.st_mode);
    if (linked ? ::realpath(path, file.target) == nullptr : !copyTarget(file, path))
        return false;
    if (::faccessat(AT_FDCWD, file.target, W_OK, AT_EACCESS) != 0) {
        refused = true;
        return false;
    }
    return createTemporary(file, 0600) && matchEarlierFile(file, earlier);
}

// A temporary file for a path where nothing stands yet (not even a link that leads nowhere).
bool openNewFile(ReplacingFile& file, const char* path) {
    struct stat own {};
    return ::lstat(path, &own) != 0 && errno == ENOENT && copyTarget(file, path) &&
           createTemporary(file, 0666);
}

} // namespace

bool replacingOpen(ReplacingFile& file, const char* path) {
    file.descriptor = -1;
    file.written = 0;
    file.writebackStarted = 0;
    file.target[0] = '\0';
    file.temporary[0] = '\0';
    struct stat earlier {};
    bool refused = false;
    if (::stat(path, &earlier) == 0
            ? S_ISREG(earlier.st_mode) && openReplacement(file, path, earlier, refused)
            : errno == ENOENT && openNewFile(file, path))
        return true;
    if (refused)
        return false;
    file.descriptor = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return file.descriptor >= 0;
}

// Starts (and does not wait for) the writing of what has gathered since the last stretch. Only
// a hint: a failure shows in a later write or the close if it matters.
void startWriteback(ReplacingFile& file) {
    if (file.temporary[0] == '\0' || file.written - file.writebackStarted < kWritebackStretch)
        return;
    ::sync_file_range(file.descriptor, off_t(file.writebackStarted),
                      off_t(file.written - file.writebackStarted), SYNC_FILE_RANGE_WRITE);
    file.writebackStarted = file.written;
}

bool replacingWrite(ReplacingFile& file, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size != 0) {
        const ssize_t written = ::write(file.descriptor, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
        file.written += uint64_t(written);
    }
    startWriteback(file);
    return true;
}

bool replacingClose(ReplacingFile& file, bool complete) {
    const bool closed = ::close(file.descriptor) == 0;
    file.descriptor = -1;
    if (file.temporary[0] == '\0')
        return complete && closed;
    const bool replaced = complete && closed && std::rename(file.temporary, file.target) == 0;
    if (!replaced)
        ::unlink(file.temporary);
    file.temporary[0] = '\0';
    return replaced;
}
