// The caches real browsers wrote (tests/caches/fixtures.tar.xz, unpacked by the build into
// SNAPSIFT_CACHE_FIXTURES) and the manifest of what was served into them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/CacheEntry.h"
#include "support/TempTree.h"  // ReadBytes

namespace snapsift::test {

struct Served {
    std::string url, md5, contentEncoding, contentType;  // md5: of the body before its encoding
    std::uint64_t sentSize = 0;                           // as sent, and as cached
};

// Every row of manifest.tsv; the test fails when there are none.
const std::vector<Served>& ServedRows();
const Served* FindServed(std::string_view url);

std::filesystem::path FixturePath(std::string_view relative);  // "chromium-simple/index"
std::string FixtureFile(std::string_view relative);            // its bytes

inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
// Little-endian or big-endian 32-bit writes into a copy of a file, for damaged variants.
void PutLittleEndian32(std::string& bytes, std::size_t at, std::uint32_t value);
void PutBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value);

// An entry read from a fixture cache is the served response: its key is `keyPrefix` and a
// served URL, with that URL's status line, Content-Type and Content-Encoding; `stored` (the
// bytes its body place names) are the body as sent, which decodes to the served MD5; and every
// time it gives falls in the minute the caches were made.
void ExpectAsServed(const CacheEntry& entry, std::string_view stored, std::string_view keyPrefix);

}  // namespace snapsift::test
