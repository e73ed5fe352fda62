#include "quillout/obj_records.h"

#include "quillout/format_decimal.h"

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

} // namespace quillout
