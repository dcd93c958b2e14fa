// Helpers shared by the MD5 tests: reaching the engine's byte counter, and making large
// files cheaply (sparse) on each platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "hash/MD5.h"

namespace snapsift {

struct MD5TestAccess {
    static std::int32_t& TotalBytes(MD5& md5) { return md5.TotalBytes; }
};

namespace test {

// Makes a file of `size` zero bytes without writing them.
void MakeSparseFile(const std::filesystem::path& path, std::int64_t size);

inline std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace test
}  // namespace snapsift
