// Words read from and written to bytes in little-endian order (the first byte the lowest) on any
// host: the word-at-a-time text scans of both programs count on the first character being the
// low byte. On a little-endian host each is one plain load or store; a big-endian host adds a
// byte swap. Internal to the library and the programs, like msh_alloc.h.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>

namespace msh {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "bytes are either little-endian or big-endian within a word");

// The word with its bytes in the opposite order. The shifts and masks are the portable
// spelling; compilers turn them into their byte-swap instruction.
constexpr uint32_t byteSwapped(uint32_t word) {
    word = ((word & 0x00FF00FFu) << 8) | ((word >> 8) & 0x00FF00FFu);
    return (word << 16) | (word >> 16);
}

constexpr uint64_t byteSwapped(uint64_t word) {
    word = ((word & 0x00FF00FF00FF00FFu) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFu);
    word = ((word & 0x0000FFFF0000FFFFu) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFu);
    return (word << 32) | (word >> 32);
}

// The sizeof(Word) bytes at `bytes` as a word whose lowest byte is the first.
template <typename Word>
requires std::same_as<Word, uint32_t> || std::same_as<Word, uint64_t>
inline Word loadLittleEndian(const void* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = byteSwapped(word);
    return word;
}

// Stores the word's bytes at `bytes`, its lowest byte first.
template <typename Word>
requires std::same_as<Word, uint32_t> || std::same_as<Word, uint64_t>
inline void storeLittleEndian(void* bytes, Word word) {
    if constexpr (std::endian::native == std::endian::big)
        word = byteSwapped(word);
    std::memcpy(bytes, &word, sizeof word);
}

} // namespace msh
