#ifdef _WIN32
#define _CRT_RAND_S // declares rand_s
#endif
#include "replacing_file.h"

#include "platform_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char kTemporaryMark[] = ".tmp-";
constexpr size_t kRandomLength = 6;
// How much a temporary file gathers before it is handed to the disk.
constexpr uint64_t kWritebackStretch = uint64_t(8) << 20;

// The host system's part, one body per system: random bytes; the creation, writing, closing,
// moving and removal of a file by path; which character ends a directory.

#ifdef _WIN32

// The largest count one _write takes.
constexpr size_t kLargestWrite = size_t(1) << 30;

bool randomBytes(unsigned char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        unsigned int value = 0;
        if (::rand_s(&value) != 0)
            return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    return true;
}

uint64_t processNumber() { return uint64_t(::_getpid()); }

// Runs `use` with the UTF-16 form of `path`; false (errno set) when there is none.
template <typename Use>
bool withWidePath(const char* path, Use use) {
    WidePath wide;
    return mshWidePath(path, wide) && use(wide.text);
}

int openDescriptor(const char* path, int flags) {
    int descriptor = -1;
    withWidePath(path, [&](const wchar_t* wide) {
        descriptor = ::_wopen(wide, flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        return descriptor >= 0;
    });
    return descriptor;
}

int createExclusive(const char* path, unsigned) {
    return openDescriptor(path, _O_WRONLY | _O_CREAT | _O_EXCL);
}

int openInPlace(const char* path) { return openDescriptor(path, _O_WRONLY | _O_CREAT | _O_TRUNC); }

long long writeSome(int descriptor, const void* data, size_t size) {
    return ::_write(descriptor, data, unsigned(size < kLargestWrite ? size : kLargestWrite));
}

bool closeDescriptor(int descriptor) { return ::_close(descriptor) == 0; }

void removeFile(const char* path) {
    withWidePath(path, [](const wchar_t* wide) { return ::_wunlink(wide) == 0; });
}

bool moveOver(const char* from, const char* to) {
    return withWidePath(from, [&](const wchar_t* wideFrom) {
        return withWidePath(to, [&](const wchar_t* wideTo) {
            return ::MoveFileExW(wideFrom, wideTo,
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        });
    });
}

// Windows writes back as it sees fit; there is nothing to hint.
void startWriteback(ReplacingFile&) {}

#else

bool randomBytes(unsigned char* bytes, size_t size) {
    return ::getrandom(bytes, size, GRND_NONBLOCK) == ssize_t(size);
}

uint64_t processNumber() { return uint64_t(::getpid()); }

int createExclusive(const char* path, mode_t mode) {
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

int openInPlace(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

long long writeSome(int descriptor, const void* data, size_t size) {
    return ::write(descriptor, data, size);
}

bool closeDescriptor(int descriptor) { return ::close(descriptor) == 0; }

void removeFile(const char* path) { ::unlink(path); }

bool moveOver(const char* from, const char* to) { return std::rename(from, to) == 0; }

// Starts (and does not wait for) the writing of what has gathered since the last stretch. Only
// a hint: a failure shows in a later write or the close if it matters.
void startWriteback(ReplacingFile& file) {
    if (file.temporary[0] == '\0' || file.written - file.writebackStarted < kWritebackStretch)
        return;
    ::sync_file_range(file.descriptor, off_t(file.writebackStarted),
                      off_t(file.written - file.writebackStarted), SYNC_FILE_RANGE_WRITE);
    file.writebackStarted = file.written;
}

#endif

// Where the folder part of a path ends: a folder separator, or on Windows a drive prefix too
// ("C:name").
bool endsFolderPart(char c) {
#ifdef _WIN32
    if (c == ':')
        return true;
#endif
    return mshEndsDirectory(c);
}

// The directory part of `target`, ".", its file name and ".tmp-"; false when that and the
// random characters would not fit.
bool temporaryPrefix(const char* target, char* prefix, size_t& length) {
    const size_t total = std::strlen(target);
    size_t directory = total;
    while (directory > 0 && !endsFolderPart(target[directory - 1]))
        --directory;
    const size_t name = total - directory;
    length = directory + 1 + name + sizeof kTemporaryMark - 1;
    if (length + kRandomLength >= kReplacingPathCapacity)
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
    if (!randomBytes(bytes, sizeof bytes)) {
        // No entropy to hand: the clock and the process id still make a name unlikely to clash,
        // and a clash only costs another try.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        uint64_t mixed = uint64_t(now) * 0x9E3779B97F4A7C15u ^ processNumber();
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
bool createTemporary(ReplacingFile& file, unsigned mode) {
    size_t length = 0;
    if (!temporaryPrefix(file.target, file.temporary, length))
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        randomCharacters(file.temporary + length);
        file.descriptor = createExclusive(file.temporary, mode);
        if (file.descriptor >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    file.temporary[0] = '\0';
    return false;
}

bool copyTarget(ReplacingFile& file, const char* path) {
    const size_t length = std::strlen(path);
    if (length >= kReplacingPathCapacity)
        return false;
    std::memcpy(file.target, path, length + 1);
    return true;
}

#ifdef _WIN32

// Where the open handle's file is: the target of a path that is a link.
bool copyFinalPath(ReplacingFile& file, HANDLE handle) {
    WidePath wide;
    const DWORD length = ::GetFinalPathNameByHandleW(handle, wide.text, DWORD(kWidePathCapacity),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kWidePathCapacity)
        return false;
    const int copied = ::WideCharToMultiByte(CP_UTF8, 0, wide.text, -1, file.target,
                                             int(kReplacingPathCapacity), nullptr, nullptr);
    return copied > 0;
}

// A temporary file for the regular file the path names (or where its link leads), after the
// check that opening it for writing would make: a read-only file is refused. A path where
// nothing stands gets a temporary file too. Anything else (a device such as NUL or CON, a
// folder, a link that leads nowhere) is left to the writing in place.
bool openTemporary(ReplacingFile& file, const char* path, bool& refused) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD openError = ERROR_SUCCESS;
    withWidePath(path, [&](const wchar_t* wide) {
        attributes = ::GetFileAttributesW(wide);
        handle = ::CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        openError = ::GetLastError();
        return true;
    });
    if (handle == INVALID_HANDLE_VALUE)
        return attributes == INVALID_FILE_ATTRIBUTES && openError == ERROR_FILE_NOT_FOUND &&
               copyTarget(file, path) && createTemporary(file, 0);
    BY_HANDLE_FILE_INFORMATION earlier{};
    const bool regular = ::GetFileType(handle) == FILE_TYPE_DISK &&
                         ::GetFileInformationByHandle(handle, &earlier) != 0 &&
                         (earlier.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const bool linked = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool named = regular && (linked ? copyFinalPath(file, handle) : copyTarget(file, path));
    ::CloseHandle(handle);
    if (!named)
        return false;
    if ((earlier.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        refused = true;
        errno = EACCES;
        return false;
    }
    return createTemporary(file, 0);
}

#else

void removeTemporary(ReplacingFile& file) {
    closeDescriptor(file.descriptor);
    file.descriptor = -1;
    removeFile(file.temporary);
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

// A temporary file for a regular file or for a path where nothing stands; false for anything
// else, which is left to the writing in place.
bool openTemporary(ReplacingFile& file, const char* path, bool& refused) {
    struct stat earlier {};
    return ::stat(path, &earlier) == 0
               ? S_ISREG(earlier.st_mode) && openReplacement(file, path, earlier, refused)
               : errno == ENOENT && openNewFile(file, path);
}

#endif

} // namespace

bool replacingOpen(ReplacingFile& file, const char* path) {
    file.descriptor = -1;
    file.written = 0;
    file.writebackStarted = 0;
    file.target[0] = '\0';
    file.temporary[0] = '\0';
    bool refused = false;
    if (openTemporary(file, path, refused))
        return true;
    if (refused)
        return false;
    file.descriptor = openInPlace(path);
    return file.descriptor >= 0;
}

bool replacingWrite(ReplacingFile& file, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size != 0) {
        const long long written = writeSome(file.descriptor, bytes, size);
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
    const bool closed = closeDescriptor(file.descriptor);
    file.descriptor = -1;
    if (file.temporary[0] == '\0')
        return complete && closed;
    const bool replaced = complete && closed && moveOver(file.temporary, file.target);
    if (!replaced)
        removeFile(file.temporary);
    file.temporary[0] = '\0';
    return replaced;
}
