// The file layer on Windows (see platform_file.h): UTF-8 paths become UTF-16 for the wide
// functions, and the kind, size and identity of a file come from its handle.
#include "platform_file.h"

#include "msh_alloc.h"

#include <cerrno>
#include <io.h>
#include <windows.h>

namespace {

// The largest count one ReadFile takes here.
constexpr size_t kLargestRead = size_t(1) << 30;

HANDLE handleOf(std::FILE* file) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

uint64_t joined(DWORD high, DWORD low) { return uint64_t(high) << 32 | low; }

// Opens the path's file (after any links) only to ask about it.
HANDLE openForQuestions(const char* path) {
    WidePath wide;
    if (!mshWidePath(path, wide))
        return INVALID_HANDLE_VALUE;
    return ::CreateFileW(wide.text, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The wide arguments as UTF-8 strings: one block from the allocation seam, null when memory
// runs out.
char** utf8Arguments(int argc, wchar_t** wideArgv) {
    const size_t count = argc > 0 ? size_t(argc) : 0;
    // An argument that cannot be turned (none should) stays as an empty string of 1 byte.
    size_t textBytes = 0;
    for (size_t i = 0; i < count; ++i) {
        const int length =
            ::WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, nullptr, 0, nullptr, nullptr);
        textBytes += length > 0 ? size_t(length) : 1;
    }
    const size_t pointerBytes = (count + 1) * sizeof(char*);
    char** argv = static_cast<char**>(mshAllocate(pointerBytes + textBytes, 1));
    if (argv == nullptr)
        return nullptr;
    char* text = reinterpret_cast<char*>(argv) + pointerBytes;
    size_t room = textBytes;
    for (size_t i = 0; i < count; ++i) {
        argv[i] = text;
        int written =
            ::WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, text, int(room), nullptr, nullptr);
        if (written <= 0) {
            *text = '\0';
            written = 1;
        }
        text += written;
        room -= size_t(written);
    }
    argv[count] = nullptr;
    return argv;
}

} // namespace

bool mshWidePath(const char* path, WidePath& wide) {
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.text,
                                             int(kWidePathCapacity));
    if (length <= 0) {
        errno = ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ENAMETOOLONG : EINVAL;
        return false;
    }
    return true;
}

int mshRunWithUtf8Arguments(int argc, wchar_t** wideArgv, int (*run)(int, char**),
                            void (*printOutOfMemory)()) {
    char** argv = utf8Arguments(argc, wideArgv);
    if (argv == nullptr) {
        printOutOfMemory();
        return -1;
    }
    const int result = run(argc, argv);
    mshRelease(argv);
    return result;
}

std::FILE* mshOpenFile(const char* path, const char* mode) {
    wchar_t wideMode[8] = {};
    for (size_t i = 0; mode[i] != '\0' && i + 1 < sizeof wideMode / sizeof wideMode[0]; ++i)
        wideMode[i] = static_cast<wchar_t>(mode[i]);
    WidePath wide;
    if (!mshWidePath(path, wide))
        return nullptr;
    return ::_wfopen(wide.text, wideMode);
}

bool mshFileStatus(std::FILE* file, FileStatus& status) {
    const HANDLE handle = handleOf(file);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    status = FileStatus{FileKind::other, 0};
    switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION information{};
        if (::GetFileInformationByHandle(handle, &information) == 0)
            return false;
        if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            status.kind = FileKind::directory;
        } else {
            status.kind = FileKind::regular;
            status.size = joined(information.nFileSizeHigh, information.nFileSizeLow);
        }
        return true;
    }
    case FILE_TYPE_PIPE:
        status.kind = FileKind::pipe;
        return true;
    case FILE_TYPE_CHAR:
        return true;
    default:
        return ::GetLastError() == NO_ERROR;
    }
}

bool mshIsDirectory(const char* path) {
    WidePath wide;
    if (!mshWidePath(path, wide))
        return false;
    const DWORD attributes = ::GetFileAttributesW(wide.text);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool mshFileIdentity(const char* path, FileIdentity& identity) {
    const HANDLE handle = openForQuestions(path);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool found = ::GetFileInformationByHandle(handle, &information) != 0;
    ::CloseHandle(handle);
    if (found)
        identity = FileIdentity{information.dwVolumeSerialNumber,
                                {joined(information.nFileIndexHigh, information.nFileIndexLow), 0}};
    return found;
}

size_t mshReadFullyAt(std::FILE* file, uint64_t offset, char* into, size_t wanted, bool& failed) {
    // Each read names its offset; on a handle opened for synchronous reads the system takes
    // the reads of two threads one after the other, each at its own offset.
    const HANDLE handle = handleOf(file);
    size_t got = 0;
    while (got < wanted) {
        const size_t left = wanted - got;
        const uint64_t at = offset + got;
        OVERLAPPED position{};
        position.Offset = DWORD(at);
        position.OffsetHigh = DWORD(at >> 32);
        DWORD n = 0;
        if (::ReadFile(handle, into + got, DWORD(left < kLargestRead ? left : kLargestRead), &n,
                       &position) == 0) {
            failed = ::GetLastError() != ERROR_HANDLE_EOF;
            break;
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}
