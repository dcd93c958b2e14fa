// Cache entries recovered from raw bytes: a run of a disk's clusters that no file holds any more,
// where the file of a cache entry that was deleted may still lie whole. Only the formats whose
// entries describe themselves (the URL beside the body) are carved: Chromium's simple cache,
// whose entry files begin with their magic, and Firefox's cache2, whose entry files begin with
// the body and end with the offset of the metadata after it. A file begins at a cluster boundary
// and lies in one piece; a fragmented one cannot be carved. Every byte is taken as hostile, and
// an entry is taken only when everything the format lets one check holds: a candidate that the
// reader of its format finds anything to say of (damage, or an unknown version) is no entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cache/CacheReader.h"

namespace snapsift {

// The largest entry file carved (its body, key and stored response): a larger one is left. The
// walk over a disk's clusters keeps this much of a run ahead of the entries it carves.
constexpr std::uint64_t kLargestCarvedEntry = std::uint64_t{32} << 20;
// The largest cache2 metadata (chunk hashes, key and response head) after a carved body.
constexpr std::uint64_t kLargestCarvedMetadata = std::uint64_t{64} << 10;

// Where an entry lies in the run it was carved from: its first byte, at a cluster boundary, and
// how many bytes its file spans.
struct CarvedPlace {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct CarvedContents {
    // The entries, in the order of their places: each one's body in bodyBytes (as stored), and
    // in body its place in the run (file empty). findings says when the work bound cut the run short.
    CacheContents contents;
    std::vector<CarvedPlace> places;  // one for each entry
};

// The entries whose files begin at a cluster boundary of `run` (which begins at one) before
// `startsBefore`, and end inside it. No two overlap: the first found of two wins. An entry whose
// key `wanted` does not want is passed over (its place still taken). The search for a cache2
// entry's end looks at most kLargestCarvedEntry past its start for a body and
// kLargestCarvedMetadata past the body for the metadata. The work is bounded by a few passes over
// the run whatever it holds. A run of 4 GiB or more is read up to that. Never throws.
CarvedContents CarveCacheEntries(std::span<const std::uint8_t> run, std::size_t clusterSize,
                                 std::uint64_t startsBefore, const CacheWanted& wanted = {});

}  // namespace snapsift
