// The .msh byte layout shared by the loader and the writer: section tags, record sizes and
// explicit little-endian reading and writing of single values.
//
// The file's vertex record differs from MeshVertex: it holds position, a constant word, the
// texture coordinate twice, and no normal; the normals follow in a block of their own after
// all vertex records of the section.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace msh {

// A tag is the little-endian number formed by its four ASCII bytes.
constexpr uint32_t tagValue(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) | uint32_t(uint8_t(name[1])) << 8 |
           uint32_t(uint8_t(name[2])) << 16 | uint32_t(uint8_t(name[3])) << 24;
}

constexpr uint32_t kTagVertices = tagValue("VERT");
constexpr uint32_t kTagIndices = tagValue("INDL");
constexpr uint32_t kTagGroups = tagValue("GRPL");
constexpr uint32_t kTagGroupMatrix = tagValue("GTOM");
constexpr uint32_t kTagMatrices = tagValue("MATL");
constexpr uint32_t kTagEndA = tagValue("AVW2");
constexpr uint32_t kTagEndB = tagValue("SVWL");

constexpr size_t kSectionHeaderSize = 8;
constexpr size_t kVertexRecordSize = 32;
constexpr size_t kNormalRecordSize = 12;
constexpr size_t kTriangleRecordSize = 6;
constexpr size_t kGroupRecordSize = 20;
constexpr size_t kGroupMatrixRecordSize = 4;
constexpr size_t kMatrixRecordSize = 36;

constexpr uint32_t kVertexConstantWord = 0xFFFFFFFFu;

// Tables whose in-memory element is byte for byte the file record on a little-endian host,
// so whole blocks may be copied there.
constexpr bool kHostIsLittleEndian = std::endian::native == std::endian::little;

inline uint16_t loadU16(const unsigned char* bytes) { return uint16_t(bytes[0] | bytes[1] << 8); }

inline uint32_t loadU32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

inline float loadF32(const unsigned char* bytes) { return std::bit_cast<float>(loadU32(bytes)); }

inline void storeU16(unsigned char* bytes, uint16_t value) {
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
}

inline void storeU32(unsigned char* bytes, uint32_t value) {
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
    bytes[2] = uint8_t(value >> 16);
    bytes[3] = uint8_t(value >> 24);
}

inline void storeF32(unsigned char* bytes, float value) {
    storeU32(bytes, std::bit_cast<uint32_t>(value));
}

} // namespace msh
