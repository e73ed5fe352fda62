#include "quillout/side_file_writer.h"

#include "msh_alloc.h"
#include "platform_file.h"
#include "quillout/format_decimal.h"
#include "quillout/format_fixed24.h"

#include <cstring>

namespace quillout {
namespace {

constexpr char kSideExtension[] = ".matrix";

// Length of the part of the path kept before ".matrix".
size_t keptLength(const char* path, size_t length) {
    size_t componentStart = length;
    while (componentStart > 0 && !mshEndsDirectory(path[componentStart - 1]))
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
    char* path = static_cast<char*>(mshAllocate(kept + sizeof kSideExtension, 1));
    if (path == nullptr)
        return nullptr;
    std::memcpy(path, objPath, kept);
    std::memcpy(path + kept, kSideExtension, sizeof kSideExtension);
    return path;
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
    static constexpr char kTableHeader[] = "\n\n# Group to Matrix table\n";
    static constexpr char kMatricesHeader[] = "\n# Matrices\n";
    outputText(out, "# ", 2);
    outputText(out, sidePath, std::strlen(sidePath));
    outputText(out, kTableHeader, sizeof kTableHeader - 1);
    writeTableRows(mesh, out);
    outputText(out, kMatricesHeader, sizeof kMatricesHeader - 1);
    for (uint32_t i = 0; i < mesh.matrixCount; ++i)
        outputCommit(
            out, formatMatrixRecord(mesh.matrices[i], outputSpace(out, kMatrixRecordMaxLength)));
}

bool writeSideFile(const Mesh& mesh, const char* sidePath, OutputBuffer& out) {
    if (!outputOpen(out, sidePath))
        return false;
    writeSideText(mesh, sidePath, out);
    return outputClose(out);
}

} // namespace quillout
