// The caches real browsers wrote (tests/caches/fixtures.tar.xz, unpacked by the build into
// SNAPSIFT_CACHE_FIXTURES) and the manifest of what was served into them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cache/CacheReader.h"
#include "support/TempTree.h"  // ReadBytes

namespace snapsift::test {

struct Served {
    std::string url, md5, contentEncoding, contentType;  // md5: of the body before its encoding
    std::uint64_t sentSize = 0;                           // as sent, and as cached
};

const std::vector<Served>& ServedRows();                         // manifest.tsv's rows
std::filesystem::path FixturePath(std::string_view relative);  // "chromium-simple/index"
std::string FixtureFile(std::string_view relative);            // its bytes

inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
// Damage done to a copy of a file: cut to a size, a 32-bit number written at an offset (counted
// from the end when negative), a byte's lowest bit flipped.
using Damage = std::function<void(std::string&)>;
Damage CutTo(std::size_t size);
Damage PutLittleEndian32(std::ptrdiff_t at, std::uint32_t value);
Damage PutBigEndian32(std::ptrdiff_t at, std::uint32_t value);
Damage FlipBit(std::size_t at);

// The severity of the first finding whose text holds `part`; none when no finding does.
inline std::optional<Severity> SeverityOf(const Findings& findings, std::string_view part) {
    for (const Finding& finding : findings.All())
        if (finding.text.find(part) != std::string::npos) return finding.severity;
    return std::nullopt;
}

// An entry read from a fixture cache is the served response: its key is `keyPrefix` and a
// served URL, with that URL's status line, Content-Type and Content-Encoding; its body place
// lies in `bodyFile` (the bytes of the file it names) and holds the body as sent, which decodes
// to the served MD5; and every time it gives falls in the minute the caches were made.
void ExpectAsServed(const CacheEntry& entry, std::string_view bodyFile, std::string_view keyPrefix);

}  // namespace snapsift::test
