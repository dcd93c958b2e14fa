#include "cache/Carving.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "cache/CacheBytes.h"
#include "cache/FirefoxCache.h"
#include "cache/ResponseInfo.h"
#include "cache/SimpleCache.h"
#include "hash/Sha256.h"

namespace snapsift {

namespace {

using namespace cachebytes;

// The simple cache's entry file: header (magic, version, key length, key hash, padding), the key,
// stream 1, its end record, stream 0, the key's SHA-256 when the last end record's flag says so,
// and the last end record (magic, flags, CRC-32, stream size, padding).
constexpr std::uint64_t kSimpleFinalMagic = 0xf4fa6f45970d41d8ull;
constexpr std::size_t kSimpleHeader = 24, kSimpleEof = 24, kKeySha256 = 32;
constexpr std::uint32_t kEofHasKeySha256 = 2;
// A key longer than this is no entry's (a URL and its few prefixes).
constexpr std::uint32_t kLongestKey = 64 * 1024;
// The end records tried after a key as the last one: stream 1's own comes first, then stream 0's.
constexpr int kEndRecordsTried = 8;
// cache2: the chunk its hashes cover, the trailer's flag of an encrypted entry, the metadata
// version that puts a copy of itself before the offset, and the smallest metadata (hash, header
// of version 1, the key's NUL).
constexpr std::uint64_t kChunk = 256 * 1024;
constexpr std::uint32_t kEncrypted = 0x80000000u, kTrailerVersion = 4;
constexpr std::uint64_t kSmallestMetadata = 4 + 28 + 1;
// The reading of candidates stops once it has read this many times the run's bytes.
constexpr std::uint64_t kWorkPasses = 8;
// The cache2 candidates held at once, from the first pass; more are no ordinary cache's.
constexpr std::size_t kMostCache2Candidates = 1 << 16;
constexpr std::string_view kCarvedName = "carved";

// The bytes of one candidate as the file `kCarvedName` of a cache folder.
class CandidateSource : public CacheSource {
public:
    explicit CandidateSource(Bytes bytes) : bytes_(bytes) {}
    CacheFile Read(std::string_view name, std::size_t upTo) override {
        CacheFile file;
        file.missing = name != kCarvedName;
        if (file.missing) return file;
        file.opened = true;
        file.size = static_cast<std::int64_t>(bytes_.size());
        file.bytes = bytes_.first(std::min(upTo, bytes_.size()));
        return file;
    }

private:
    Bytes bytes_;
};

std::string HexOf(Bytes bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

class Carver {
public:
    Carver(Bytes run, std::size_t cluster, std::uint64_t startsBefore, const CacheWanted& wanted)
        : run_(run.first(std::min<std::size_t>(run.size(), std::numeric_limits<std::uint32_t>::max()))),
          cluster_(std::max<std::size_t>(cluster, 1)),
          startsBefore_(std::min<std::uint64_t>(startsBefore, run_.size())),
          wanted_(wanted),
          budget_(kWorkPasses * run_.size() + kLargestCarvedEntry) {}

    CarvedContents Carve() {
        FindCache2Candidates();
        std::uint64_t free = 0;  // where the last entry taken ends
        for (std::uint64_t start = 0; start < startsBefore_ && !outOfWork_; start += cluster_) {
            if (start < free) continue;
            std::uint64_t end = 0;
            if (IsSimpleEntryStart(run_.subspan(start))) end = TakeSimple(start);
            for (auto [at, last] = cache2_.equal_range(start); end == 0 && at != last && !outOfWork_; ++at)
                end = TakeCache2(start, at->second);
            free = std::max(free, end);
        }
        return std::move(carved_);
    }

private:
    // Reads the candidate's bytes with its format's reader: the entry, when nothing is wrong with it.
    template <typename Read>
    std::optional<CacheEntry> ReadCandidate(std::uint64_t start, std::uint64_t end, Read read) {
        if (!Spend(end - start)) return std::nullopt;
        CandidateSource source(run_.subspan(start, end - start));
        CacheContents contents = read(source);
        if (contents.entries.size() != 1) return std::nullopt;
        CacheEntry& entry = contents.entries.front();
        if (!entry.findings.Empty() || entry.url.empty() || !entry.body) return std::nullopt;
        return std::move(entry);
    }

    bool Spend(std::uint64_t bytes) {
        if (bytes <= budget_) {
            budget_ -= bytes;
            return true;
        }
        outOfWork_ = true;
        carved_.contents.findings.Add(Damaged, "the search for cache entries stopped early: the bytes hold too many "
                                                "entries' beginnings that lead nowhere");
        return false;
    }

    // Where the entry taken at `start` ends; 0 when there is none.
    std::uint64_t Take(std::uint64_t start, std::uint64_t end, CacheEntry entry) {
        entry.deleted = false;
        if (!wanted_ || wanted_(entry)) {
            const Bytes body = run_.subspan(start + entry.body->offset, entry.body->length);
            entry.body = BodyPlace{std::string(), start + entry.body->offset, body.size(), std::nullopt};
            entry.bodyBytes.emplace(reinterpret_cast<const char*>(body.data()), body.size());
            carved_.contents.entries.push_back(std::move(entry));
            carved_.places.push_back({start, end - start});
        }
        return end;
    }

    // The simple-cache entry whose header is at `start`: its end is the first end record after
    // the key that, read as the last one, places stream 1's end record where one is.
    std::uint64_t TakeSimple(std::uint64_t start) {
        const Bytes from = run_.subspan(start, std::min<std::uint64_t>(run_.size() - start, kLargestCarvedEntry));
        if (from.size() < kSimpleHeader + 2 * kSimpleEof) return 0;
        const std::uint32_t keyLength = LittleEndian32(from, 12);
        if (keyLength > kLongestKey || keyLength > from.size() - kSimpleHeader - 2 * kSimpleEof) return 0;
        const std::uint64_t keyEnd = kSimpleHeader + keyLength;
        const std::string key(reinterpret_cast<const char*>(from.data() + kSimpleHeader), keyLength);
        if (wanted_) {
            CacheEntry keyOnly;
            keyOnly.key = key;
            keyOnly.url = UrlFromChromiumKey(key);
            if (!wanted_(keyOnly)) return 0;
        }
        std::uint64_t next = start + keyEnd;
        for (int tried = 0; tried < kEndRecordsTried; ++tried) {
            const std::optional<std::uint64_t> found = EndRecordFrom(next, start + from.size());
            if (!found) break;
            next = *found + 1;
            const std::uint64_t record = *found - start;
            if (record + kSimpleEof > from.size()) break;
            const std::uint32_t flags = LittleEndian32(from, record + 8);
            const std::uint64_t size0 = LittleEndian32(from, record + 16);
            const std::uint64_t tail = (flags & kEofHasKeySha256) ? kKeySha256 : 0;
            // stream 1's end record, stream 0 and the key's SHA-256 before this one.
            if (record < keyEnd + kSimpleEof + size0 + tail) continue;
            const std::uint64_t stream1Record = record - tail - size0 - kSimpleEof;
            if (LittleEndian64(from, stream1Record) != kSimpleFinalMagic) continue;
            if (tail != 0 && HexOf(from.subspan(record - tail, tail)) != Sha256::Of(key)) return 0;
            const std::uint64_t end = start + record + kSimpleEof;
            auto entry = ReadCandidate(start, end, [](CacheSource& source) { return ReadSimpleCache(source, kCarvedName); });
            return entry ? Take(start, end, std::move(*entry)) : 0;
        }
        return 0;
    }

    std::uint64_t TakeCache2(std::uint64_t start, std::uint64_t end) {
        if (end > run_.size()) return 0;
        auto entry = ReadCandidate(start, end, [](CacheSource& source) {
            return ReadCache2(source, kCarvedName, Cache2Folder::Doomed);
        });
        return entry ? Take(start, end, std::move(*entry)) : 0;
    }

    // The first of the simple cache's end records from `at` on that begins before `limit`. The
    // run is searched for them as far as the entries need, each byte once as long as `at` does
    // not go back before where the bytes searched begin (only a long key's entry lets it).
    std::optional<std::uint64_t> EndRecordFrom(std::uint64_t at, std::uint64_t limit) {
        constexpr std::uint64_t kStep = 4096;
        if (at < searchedFrom_ || at > searched_) {
            finals_.clear();
            searchedFrom_ = searched_ = at;
        }
        const auto known = std::lower_bound(finals_.begin(), finals_.end(), at);
        if (known != finals_.end()) return *known < limit ? std::optional<std::uint64_t>(*known) : std::nullopt;
        std::uint8_t magic[8];
        for (int i = 0; i < 8; ++i) magic[i] = static_cast<std::uint8_t>(kSimpleFinalMagic >> (8 * i));
        const std::uint8_t* const begin = run_.data();
        limit = std::min<std::uint64_t>(limit, run_.size() >= 8 ? run_.size() - 7 : 0);
        while (searched_ < limit) {
            const std::uint8_t* const last = begin + std::min(searched_ + kStep, limit);
            const std::size_t before = finals_.size();
            for (const std::uint8_t* p = begin + searched_; p < last; ++p) {
                p = static_cast<const std::uint8_t*>(std::memchr(p, magic[0], static_cast<std::size_t>(last - p)));
                if (p == nullptr) break;
                if (std::memcmp(p, magic, 8) == 0) finals_.push_back(static_cast<std::uint32_t>(p - begin));
            }
            searched_ = static_cast<std::uint64_t>(last - begin);
            if (finals_.size() > before) return finals_[before];
        }
        return std::nullopt;
    }

    // Each place where a cache2 entry file could end: its last word is the offset of the
    // metadata, the length of a body that begins at a cluster boundary, with the metadata (of a
    // version from 1 to 4, its key ended by a NUL) filling the bytes between them.
    // An offset's first byte is at most kLargestCarvedEntry's, and the byte before it ends the
    // metadata (a NUL) or the trailer's version (4): both are looked for in seven offsets at a
    // time, from the eight bytes that begin one before them, each byte's test exact.
    void FindCache2Candidates() {
        constexpr std::uint64_t kOnes = ~std::uint64_t{0} / 255, kLow7 = kOnes * 0x7f, kHigh = kOnes * 0x80;
        constexpr std::uint64_t kTopByte = kLargestCarvedEntry >> 24;
        static_assert(kTopByte < 0x7f && std::endian::native == std::endian::little);
        const auto atMost = [](std::uint64_t eight, std::uint64_t most) {
            return ~(((eight & kLow7) + kOnes * (0x7f - most)) | eight) & kHigh;
        };
        const auto zero = [](std::uint64_t eight) { return ~(((eight & kLow7) + kLow7) | eight) & kHigh; };
        const std::uint64_t size = run_.size();
        std::uint64_t before = 3;  // the byte before the next offset looked at
#ifdef __SSE2__
        // Sixteen offsets at a time, where the processor has the instructions.
        const __m128i top = _mm_set1_epi8(static_cast<char>(kTopByte)), nothing = _mm_setzero_si128(),
                      trailer = _mm_set1_epi8(static_cast<char>(kTrailerVersion));
        for (; before + 17 <= size; before += 16) {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run_.data() + before + 1));
            const __m128i previous = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run_.data() + before));
            const __m128i zeros = _mm_cmpeq_epi8(first, nothing);
            if (_mm_movemask_epi8(zeros) == 0xffff) {  // no offset in the next thirteen
                before -= 3;
                continue;
            }
            const __m128i small = _mm_cmpeq_epi8(_mm_min_epu8(first, top), first);
            const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(previous, nothing), _mm_cmpeq_epi8(previous, trailer));
            // Bit i set: the offset at before + 1 + i may be one.
            for (unsigned may = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(small, ends))); may != 0; may &= may - 1)
                if (!Cache2CandidatesEndingAt(before + 1 + static_cast<std::uint64_t>(std::countr_zero(may)))) return;
        }
#endif
        for (; before + 8 <= size; before += 7) {
            std::uint64_t eight;
            std::memcpy(&eight, run_.data() + before, 8);
            if (eight == 0) {  // no offset in the next four
                before -= 3;
                continue;
            }
            // Bit 8i + 7 set: the offset at before + i may be one (i from 1 to 7).
            std::uint64_t may = atMost(eight, kTopByte) & (zero(eight) | zero(eight ^ (kOnes * kTrailerVersion))) << 8;
            for (; may != 0; may &= may - 1)
                if (!Cache2CandidatesEndingAt(before + static_cast<std::uint64_t>(std::countr_zero(may)) / 8)) return;
        }
        for (std::uint64_t offsetAt = before + 1; offsetAt + 4 <= size; ++offsetAt)
            if (!Cache2CandidatesEndingAt(offsetAt)) return;
    }

    // The candidates whose offset of the metadata is at offsetAt; false once there are too many.
    bool Cache2CandidatesEndingAt(std::uint64_t offsetAt) {
        {
            // The searches above may name an offset whose word runs past the run's end.
            if (offsetAt + 4 > run_.size()) return true;
            const std::uint32_t word = BigEndian32(run_, offsetAt);
            if (word == 0 || word > kLargestCarvedEntry || (word & kEncrypted) || word > offsetAt) return true;
            const std::uint64_t body = word;
            const std::uint64_t metaEnd =
                offsetAt >= 4 && BigEndian32(run_, offsetAt - 4) == kTrailerVersion ? offsetAt - 4 : offsetAt;
            // The metadata ends with the NUL of its key, or of its last element's value.
            if (metaEnd <= body || run_[metaEnd - 1] != 0) return true;
            const std::uint64_t hashes = 4 + 2 * ((body + kChunk - 1) / kChunk);
            // The metadata's length m: the body's start (metaEnd - m - body) at a cluster boundary.
            const std::uint64_t room = std::min(metaEnd - body, kLargestCarvedMetadata);
            for (std::uint64_t m = (metaEnd - body) % cluster_; m <= room; m += cluster_) {
                if (m < hashes + kSmallestMetadata) continue;
                const std::uint64_t meta = metaEnd - m, start = meta - body;
                if (start >= startsBefore_) continue;
                const std::uint32_t version = BigEndian32(run_, meta + hashes);
                if (version < 1 || version > 4) continue;
                const std::uint64_t header = version == 1 ? 28 : 32;
                if (hashes + header >= m) continue;
                const std::uint64_t keySize = BigEndian32(run_, meta + hashes + 24);
                if (keySize >= m - hashes - header || run_[meta + hashes + header + keySize] != 0) continue;
                if (cache2_.size() == kMostCache2Candidates) {
                    carved_.contents.findings.Add(Damaged, "too many places look like the end of a cache2 entry: "
                                                           "those after the first " +
                                                           std::to_string(kMostCache2Candidates) + " are left");
                    return false;
                }
                cache2_.emplace(start, offsetAt + 4);
            }
        }
        return true;
    }

    const Bytes run_;
    const std::uint64_t cluster_;
    const std::uint64_t startsBefore_;
    const CacheWanted& wanted_;
    std::uint64_t budget_;
    bool outOfWork_ = false;
    std::uint64_t searchedFrom_ = 0, searched_ = 0;  // the bytes searched for end records
    std::vector<std::uint32_t> finals_;  // the end records found, in order
    std::multimap<std::uint64_t, std::uint64_t> cache2_;  // start -> end, the nearest end first
    CarvedContents carved_;
};

}  // namespace

CarvedContents CarveCacheEntries(Bytes run, std::size_t clusterSize, std::uint64_t startsBefore,
                                 const CacheWanted& wanted) {
    try {
        return Carver(run, clusterSize, startsBefore, wanted).Carve();
    } catch (const std::exception& e) {  // memory running out
        CarvedContents carved;
        carved.contents.findings.Add(Damaged, std::string("the search for cache entries stopped: ") + e.what());
        return carved;
    }
}

}  // namespace snapsift
