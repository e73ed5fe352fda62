#include "obj_writer.h"

#include "format_decimal.h"

#include <cstring>

namespace quillout {
namespace {

char* appendLiteral(char* out, const char* text, size_t length) {
    std::memcpy(out, text, length);
    return out + length;
}

template <size_t N>
char* appendLiteral(char* out, const char (&text)[N]) {
    return appendLiteral(out, text, N - 1);
}

char* formatThreeFloats(float a, float b, float c, char* out) {
    out = formatFixed24(a, out);
    *out++ = ' ';
    out = formatFixed24(b, out);
    *out++ = ' ';
    out = formatFixed24(c, out);
    *out++ = '\n';
    return out;
}

// "n/n/n": the number once, then copied twice. The copies store whole eight-byte words (the
// record's room covers them); each later store overwrites the excess of the one before.
char* formatCorner(uint32_t number, char* out) {
    if (number >= 100000000) [[unlikely]] {
        char* const start = out;
        out = writeUnsigned(number, out);
        const size_t length = size_t(out - start);
        *out++ = '/';
        std::memcpy(out, start, length);
        out += length;
        *out++ = '/';
        std::memcpy(out, start, length);
        return out + length;
    }
    const size_t length = size_t(writeUnsignedBelow100Million(number, out) - out);
    uint64_t digits;
    std::memcpy(&digits, out, 8);
    out[length] = '/';
    std::memcpy(out + length + 1, &digits, 8);
    out[2 * length + 1] = '/';
    std::memcpy(out + 2 * length + 2, &digits, 8);
    return out + 3 * length + 2;
}

// "<prefix>%u<suffix>" as a whole line of the text.
void writeCountLine(OutputBuffer& out, const char* prefix, uint32_t count, const char* suffix) {
    const size_t prefixLength = std::strlen(prefix);
    const size_t suffixLength = std::strlen(suffix);
    char* p = outputSpace(out, prefixLength + 10 + suffixLength);
    p = appendLiteral(p, prefix, prefixLength);
    p = writeUnsigned(count, p);
    outputCommit(out, appendLiteral(p, suffix, suffixLength));
}

void writeVertexRecords(const Mesh& mesh, OutputBuffer& out, size_t maxLength,
                        char* (*formatRecord)(const MeshVertex&, char*)) {
    for (uint32_t i = 0; i < mesh.vertexCount; ++i)
        outputCommit(out, formatRecord(mesh.vertices[i], outputSpace(out, maxLength)));
}

void writeGroup(const Mesh& mesh, uint32_t position, OutputBuffer& out) {
    const MeshGroup& group = mesh.groups[position];
    char* p = outputSpace(out, 2 + 10 + 1 + 10 + 1);
    p = appendLiteral(p, "g ");
    p = writeUnsigned(position, p);
    *p++ = '/';
    p = writeUnsigned(group.id, p);
    *p++ = '\n';
    outputCommit(out, p);
    const uint32_t count = group.indexCount / 3;
    const uint32_t first = group.firstIndex / 3;
    for (uint32_t k = 0; k < count; ++k)
        outputCommit(out, formatFaceRecord(mesh.triangles[first + k], group.baseVertex,
                                           outputSpace(out, faceRecordMaxLength)));
    writeCountLine(out, "# ", count, " triangles in group\n\n");
}

} // namespace

char* formatPositionRecord(const MeshVertex& vertex, char* out) {
    return formatThreeFloats(vertex.x, vertex.y, vertex.z, appendLiteral(out, "v "));
}

char* formatTexcoordRecord(const MeshVertex& vertex, char* out) {
    out = formatFixed24(vertex.u, appendLiteral(out, "vt "));
    *out++ = ' ';
    out = formatFixed24(vertex.v, out);
    *out++ = '\n';
    return out;
}

char* formatNormalRecord(const MeshVertex& vertex, char* out) {
    return formatThreeFloats(vertex.nx, vertex.ny, vertex.nz, appendLiteral(out, "vn "));
}

char* formatFaceRecord(const MeshTriangle& triangle, uint32_t baseVertex, char* out) {
    const uint32_t first = baseVertex + 1;
    out = formatCorner(triangle.index[0] + first, appendLiteral(out, "f "));
    *out++ = ' ';
    out = formatCorner(triangle.index[1] + first, out);
    *out++ = ' ';
    out = formatCorner(triangle.index[2] + first, out);
    *out++ = '\n';
    return out;
}

void writeObjText(const Mesh& mesh, OutputBuffer& out) {
    static const char header[] = "# Wavefront OBJ exported by quillout.exe\n\n";
    outputText(out, header, sizeof header - 1);
    writeVertexRecords(mesh, out, positionRecordMaxLength, formatPositionRecord);
    writeCountLine(out, "# ", mesh.vertexCount, " vertices\n\n");
    writeVertexRecords(mesh, out, texcoordRecordMaxLength, formatTexcoordRecord);
    writeCountLine(out, "# ", mesh.vertexCount, " vertices\n\n");
    writeVertexRecords(mesh, out, normalRecordMaxLength, formatNormalRecord);
    writeCountLine(out, "# ", mesh.vertexCount, " normals\n\n");
    for (uint32_t j = 0; j < mesh.groupCount; ++j)
        writeGroup(mesh, j, out);
    writeCountLine(out, "# ", mesh.triangleCount, " triangles total\n");
}

int writeObjFile(const Mesh& mesh, const char* path, OutputBuffer& out) {
    if (!outputOpen(out, path))
        return -1;
    writeObjText(mesh, out);
    return outputClose(out) ? 0 : -1;
}

} // namespace quillout
