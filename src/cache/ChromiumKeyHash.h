// The 32-bit hash Chromium keeps beside a cache key: its "persistent hash", Paul Hsieh's
// SuperFastHash of the key's bytes. A blockfile entry stores it in its first field, and the
// SQL cache in `resources.cache_key_hash` (as a signed 32-bit number); the same value in both.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace snapsift {

// 0 for no bytes, as Chromium gives it.
std::uint32_t ChromiumKeyHash(std::span<const std::uint8_t> bytes);
std::uint32_t ChromiumKeyHash(std::string_view text);

}  // namespace snapsift
