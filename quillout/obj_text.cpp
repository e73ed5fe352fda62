#include "quillout/obj_text.h"

#include "quillout/format_decimal.h"
#include "quillout/obj_records.h"

#include <algorithm>
#include <cstring>

namespace quillout {
namespace {

template <size_t N>
char* appendLiteral(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// "# <count><suffix>"
template <size_t N>
char* formatCountRecord(uint32_t count, const char (&suffix)[N], char* out) {
    return appendLiteral(writeUnsigned(count, appendLiteral(out, "# ")), suffix);
}

char* formatGroupRecord(uint32_t position, uint32_t id, char* out) {
    out = writeUnsigned(position, appendLiteral(out, "g "));
    *out++ = '/';
    out = writeUnsigned(id, out);
    *out++ = '\n';
    return out;
}

void nextSection(ObjCursor& cursor) {
    cursor.section = ObjSection(uint8_t(cursor.section) + 1);
    cursor.index = 0;
}

// One record that stands alone in its section (the header and the count comments).
template <bool Format>
char* walkSingleRecord(const Mesh& mesh, ObjCursor& cursor, size_t& records, char* out) {
    if constexpr (Format) {
        switch (cursor.section) {
        case ObjSection::header:
            out = appendLiteral(out, "# Wavefront OBJ exported by quillout.exe\n\n");
            break;
        case ObjSection::positionCount:
        case ObjSection::texcoordCount:
            out = formatCountRecord(mesh.vertexCount, " vertices\n\n", out);
            break;
        case ObjSection::normalCount:
            out = formatCountRecord(mesh.vertexCount, " normals\n\n", out);
            break;
        default:
            out = formatCountRecord(mesh.triangleCount, " triangles total\n", out);
            break;
        }
    }
    --records;
    nextSection(cursor);
    return out;
}

template <bool Format, char* (*formatRecord)(const MeshVertex&, char*)>
char* walkVertexRecords(const Mesh& mesh, ObjCursor& cursor, size_t& records, char* out) {
    const uint32_t count = uint32_t(std::min<size_t>(records, mesh.vertexCount - cursor.index));
    if constexpr (Format) {
        for (uint32_t i = cursor.index; i < cursor.index + count; ++i)
            out = formatRecord(mesh.vertices[i], out);
    }
    records -= count;
    cursor.index += count;
    if (cursor.index == mesh.vertexCount)
        nextSection(cursor);
    return out;
}

template <bool Format>
char* walkGroupRecords(const Mesh& mesh, ObjCursor& cursor, size_t& records, char* out) {
    if (cursor.group == mesh.groupCount) {
        nextSection(cursor);
        return out;
    }
    const MeshGroup& group = mesh.groups[cursor.group];
    const uint32_t faceCount = group.indexCount / 3;
    if (cursor.index == 0) {
        if constexpr (Format)
            out = formatGroupRecord(cursor.group, group.id, out);
        --records;
        cursor.index = 1;
    } else if (cursor.index <= faceCount) {
        const uint32_t done = cursor.index - 1;
        const uint32_t count = uint32_t(std::min<size_t>(records, faceCount - done));
        if constexpr (Format) {
            const MeshTriangle* triangle = mesh.triangles + group.firstIndex / 3 + done;
            for (uint32_t k = 0; k < count; ++k)
                out = formatFaceRecord(triangle[k], group.baseVertex, out);
        }
        records -= count;
        cursor.index += count;
    } else {
        if constexpr (Format)
            out = formatCountRecord(faceCount, " triangles in group\n\n", out);
        --records;
        cursor.index = 0;
        ++cursor.group;
    }
    return out;
}

template <bool Format>
char* walkObjRecords(const Mesh& mesh, ObjCursor& cursor, size_t records, char* out) {
    while (records != 0 && cursor.section != ObjSection::end) {
        switch (cursor.section) {
        case ObjSection::positions:
            out = walkVertexRecords<Format, formatPositionRecord>(mesh, cursor, records, out);
            break;
        case ObjSection::texcoords:
            out = walkVertexRecords<Format, formatTexcoordRecord>(mesh, cursor, records, out);
            break;
        case ObjSection::normals:
            out = walkVertexRecords<Format, formatNormalRecord>(mesh, cursor, records, out);
            break;
        case ObjSection::groups:
            out = walkGroupRecords<Format>(mesh, cursor, records, out);
            break;
        default:
            out = walkSingleRecord<Format>(mesh, cursor, records, out);
            break;
        }
    }
    return out;
}

} // namespace

size_t objRecordMaxLength() {
    return std::max({kPositionRecordMaxLength, kNormalRecordMaxLength, kTexcoordRecordMaxLength,
                     kFaceRecordMaxLength});
}

char* formatObjRecords(const Mesh& mesh, ObjCursor& cursor, size_t records, char* out) {
    return walkObjRecords<true>(mesh, cursor, records, out);
}

void skipObjRecords(const Mesh& mesh, ObjCursor& cursor, size_t records) {
    walkObjRecords<false>(mesh, cursor, records, nullptr);
}

} // namespace quillout
