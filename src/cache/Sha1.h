// SHA-1 (FIPS 180-4) of a message held whole in memory: Firefox's disk cache names each entry
// file by the SHA-1 of its key, and a reader checks the name against the key it holds.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace snapsift {

std::array<std::uint8_t, 20> Sha1(std::span<const std::uint8_t> message);

// The digest as 40 upper-case hexadecimal digits.
std::string Sha1Hex(std::span<const std::uint8_t> message);

}  // namespace snapsift
