#include "side_file_writer.h"

#include "format_decimal.h"
#include "format_fixed24.h"
#include "msh_alloc.h"

#include <cstdio>
#include <cstring>

namespace quillout {
namespace {

constexpr char sideExtension[] = ".matrix";

// Length of the part of the path kept before ".matrix".
size_t keptLength(const char* path, size_t length) {
    size_t componentStart = length;
    while (componentStart > 0 && path[componentStart - 1] != '/')
        --componentStart;
    for (size_t i = length; i > componentStart + 1; --i)
        if (path[i - 1] == '.')
            return i - 1;
    return length;
}

void writeTableRows(const Mesh& mesh, OutputBuffer& out) {
    for (uint32_t j = 0; j < mesh.groupMatrixCount; ++j) {
        char* p = outputSpace(out, 2 + 10 + 1 + 10 + 1);
        *p++ = 'g';
        *p++ = ' ';
        p = writeUnsigned(j, p);
        *p++ = ' ';
        p = writeUnsigned(mesh.groupMatrix[j], p);
        *p++ = '\n';
        outputCommit(out, p);
    }
}

} // namespace

char* sideFilePath(const char* objPath) {
    const size_t length = std::strlen(objPath);
    const size_t kept = keptLength(objPath, length);
    char* path = static_cast<char*>(mshAllocate(kept + sizeof sideExtension, 1));
    if (path == nullptr)
        return nullptr;
    std::memcpy(path, objPath, kept);
    std::memcpy(path + kept, sideExtension, sizeof sideExtension);
    return path;
}

size_t sideFileKeptLength(const char* objPath) { return keptLength(objPath, std::strlen(objPath)); }

bool sideFileReplacesObj(const char* objPath) {
    const size_t length = std::strlen(objPath);
    const size_t kept = keptLength(objPath, length);
    const size_t extensionLength = sizeof sideExtension - 1;
    return length - kept == extensionLength &&
           std::memcmp(objPath + kept, sideExtension, extensionLength) == 0;
}

char* formatMatrixRecord(const MeshMatrix& matrix, char* out) {
    *out++ = 'm';
    for (float value : matrix.value) {
        *out++ = ' ';
        out = formatFixed24(value, out);
    }
    *out++ = '\n';
    return out;
}

void writeSideText(const Mesh& mesh, const char* sidePath, OutputBuffer& out) {
    static const char tableHeader[] = "\n\n# Group to Matrix table\n";
    static const char matricesHeader[] = "\n# Matrices\n";
    outputText(out, "# ", 2);
    outputText(out, sidePath, std::strlen(sidePath));
    outputText(out, tableHeader, sizeof tableHeader - 1);
    writeTableRows(mesh, out);
    outputText(out, matricesHeader, sizeof matricesHeader - 1);
    for (uint32_t i = 0; i < mesh.matrixCount; ++i)
        outputCommit(out,
                     formatMatrixRecord(mesh.matrices[i], outputSpace(out, matrixRecordMaxLength)));
}

int writeSideFile(const Mesh& mesh, const char* objPath, OutputBuffer& out) {
    char* sidePath = sideFilePath(objPath);
    if (sidePath == nullptr) {
        std::fputs("ERROR: Could not allocate needed memory\n", stderr);
        return -1;
    }
    if (!outputOpen(out, sidePath)) {
        mshRelease(sidePath);
        return -1;
    }
    writeSideText(mesh, sidePath, out);
    const bool written = outputClose(out);
    mshRelease(sidePath);
    return written ? 0 : -1;
}

} // namespace quillout
