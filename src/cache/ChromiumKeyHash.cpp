#include "cache/ChromiumKeyHash.h"

#include <limits>

namespace snapsift {

namespace {

std::uint32_t Low16(const std::uint8_t* at) { return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8; }

// The last odd bytes are added as signed chars, as the browser's C code does.
std::uint32_t SignedByte(std::uint8_t byte) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(byte)));
}

}  // namespace

std::uint32_t ChromiumKeyHash(std::span<const std::uint8_t> bytes) {
    // The browser takes the length as an int and gives 0 for none (and for more than an int holds).
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return 0;
    std::uint32_t hash = static_cast<std::uint32_t>(bytes.size());
    const std::uint8_t* at = bytes.data();
    for (std::size_t words = bytes.size() / 4; words > 0; --words, at += 4) {
        hash += Low16(at);
        const std::uint32_t mixed = (Low16(at + 2) << 11) ^ hash;
        hash = (hash << 16) ^ mixed;
        hash += hash >> 11;
    }
    switch (bytes.size() % 4) {
    case 3:
        hash += Low16(at);
        hash ^= hash << 16;
        hash ^= SignedByte(at[2]) << 18;
        hash += hash >> 11;
        break;
    case 2:
        hash += Low16(at);
        hash ^= hash << 11;
        hash += hash >> 17;
        break;
    case 1:
        hash += SignedByte(at[0]);
        hash ^= hash << 10;
        hash += hash >> 1;
        break;
    default: break;
    }
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

std::uint32_t ChromiumKeyHash(std::string_view text) {
    return ChromiumKeyHash(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace snapsift
