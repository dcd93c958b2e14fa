#include "cache/FirefoxLegacyCache.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <set>
#include <utility>

#include "cache/CacheBytes.h"

namespace snapsift {

namespace {

using namespace cachebytes;

constexpr std::string_view kMapName = "_CACHE_MAP_";
constexpr std::uint64_t kMapHeaderSize = 276, kRecordSize = 16, kBuckets = 32;
constexpr std::uint64_t kRecordCountAt = 16, kDirtyAt = 12, kUsageAt = 20 + 4 * kBuckets;
constexpr std::uint64_t kMetaHeaderSize = 36;
constexpr std::uint32_t kBlockFiles = 3, kMaxBlocks = 4;
constexpr std::uint32_t kNestedFromMinor = 19;  // map version 1.19: separate files in subfolders, smaller bitmaps

constexpr std::uint32_t kGiven = 0x80000000u, kReserved = 0x4C000000u;

std::string BlockFileName(std::uint32_t file) {
    char name[16];
    std::snprintf(name, sizeof name, "_CACHE_%03u_", static_cast<unsigned>(file));
    return name;
}

std::uint64_t BlockSize(std::uint32_t file) { return std::uint64_t{256} << (2 * (file - 1)); }
// The bitmap's bytes in a block file of either layout.
std::uint64_t BitmapSize(std::uint32_t file, bool nested) { return nested ? (std::uint64_t{16384} >> (2 * (file - 1))) : 4096; }

struct Location {
    bool given = false;
    std::uint32_t file = 0;  // 0: a separate file; 1 to 3: a block file
    std::uint32_t block = 0, blocks = 0;
    std::uint32_t generation = 0;
};

Location LocationOf(std::uint32_t word) {
    Location at;
    at.given = (word & kGiven) != 0;
    at.file = (word >> 28) & 3;
    at.block = word & 0x00FFFFFF;
    at.blocks = ((word >> 24) & 3) + 1;
    at.generation = word & 0xFF;
    return at;
}

std::optional<DateTime> FromUnixSeconds(std::uint32_t seconds) {
    if (seconds == 0 || seconds == 0xFFFFFFFFu) return std::nullopt;  // never set, or never
    const auto fileTime = FileTimeFromUnixTime(seconds, 0);
    return fileTime ? FileTimeToDate(*fileTime) : std::nullopt;
}

std::string SeparateFileName(std::uint32_t hash, char type, std::uint32_t generation, bool nested) {
    char name[32];
    if (nested)
        std::snprintf(name, sizeof name, "%X/%02X/%05X%c%02X", static_cast<unsigned>(hash >> 28),
                      static_cast<unsigned>((hash >> 20) & 0xFF), static_cast<unsigned>(hash & 0xFFFFF), type,
                      static_cast<unsigned>(generation));
    else
        std::snprintf(name, sizeof name, "%08X%c%02X", static_cast<unsigned>(hash), type,
                      static_cast<unsigned>(generation));
    return name;
}

std::string_view AsText(Bytes bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

// The metadata's header, key and elements read into `entry`. Strict: only metadata as the browser
// writes it is taken, with nothing noted (the walk of the blocks, where most blocks hold none);
// else what a damaged one still gives is kept, with what could not be read. The data size, or
// nothing when no entry was read.
std::optional<std::uint32_t> ReadMetadata(Bytes meta, bool strict, CacheEntry& entry) {
    if (meta.size() < kMetaHeaderSize) {
        if (!strict) entry.findings.Add(Damaged, "its metadata is too short for its header");
        return std::nullopt;
    }
    const std::uint32_t version = BigEndian32(meta, 0);
    if (version >> 16 != 1 || (version & 0xFFFF) > 0xFF) {
        if (!strict) entry.findings.Add(Damaged, "its metadata's version " + std::to_string(version >> 16) + "." +
                                        std::to_string(version & 0xFFFF) + " is not one of 1.x");
        return std::nullopt;
    }
    const std::uint32_t keySize = BigEndian32(meta, 28), elementsSize = BigEndian32(meta, 32);
    const std::string_view rest = AsText(meta.subspan(kMetaHeaderSize));
    const bool keyFits = keySize >= 1 && keySize <= rest.size();
    const bool keyEnded = keyFits && rest[keySize - 1] == '\0';
    const bool elementsFit = keyFits && elementsSize <= rest.size() - keySize;
    if (strict) {
        if (!keyEnded || keySize < 3 || !elementsFit || rest.substr(0, keySize - 1).find('\0') != std::string_view::npos ||
            rest.substr(0, keySize).find(':') == std::string_view::npos ||
            (elementsSize > 0 && rest[keySize + elementsSize - 1] != '\0'))
            return std::nullopt;
    }
    entry.fetchCount = BigEndian32(meta, 8);
    entry.lastUsed = FromUnixSeconds(BigEndian32(meta, 12));
    entry.lastModified = FromUnixSeconds(BigEndian32(meta, 16));
    entry.expires = FromUnixSeconds(BigEndian32(meta, 20));
    std::string_view elements;
    if (!keyFits) {
        entry.key = rest.substr(0, std::min(rest.find('\0'), rest.size()));
        entry.findings.Add(Damaged, "its key's size " + std::to_string(keySize) +
                           " runs past its metadata: the key is read up to its first NUL");
    } else {
        entry.key = rest.substr(0, keySize - (keyEnded ? 1 : 0));
        if (!keyEnded) entry.findings.Add(Damaged, "no NUL ends its key");
        elements = rest.substr(keySize, std::min<std::uint64_t>(elementsSize, rest.size() - keySize));
        if (!elementsFit) entry.findings.Add(Damaged, "its metadata's elements run past its end: what lies before it is read");
    }
    // Name, NUL, value, NUL: the response's head is the one element read.
    for (std::size_t at = 0; at < elements.size();) {
        const std::size_t nameEnd = std::min(elements.find('\0', at), elements.size());
        const std::size_t valueEnd = nameEnd < elements.size() ? std::min(elements.find('\0', nameEnd + 1), elements.size())
                                                               : elements.size();
        if (EqualsNoCase(elements.substr(at, nameEnd - at), "response-head") && nameEnd < elements.size())
            ReadResponseHeaderLines(elements.substr(nameEnd + 1, valueEnd - nameEnd - 1), '\n', entry);
        at = valueEnd + 1;
    }
    if (const auto url = FirefoxLegacyKeyUrl(entry.key); url && !url->empty())
        entry.url = *url;
    else
        entry.findings.Add(Damaged, "its key holds no URL");
    return BigEndian32(meta, 24);
}

class Reader {
public:
    Reader(CacheSource& files, const CacheWanted& wanted, CacheContents& contents)
        : files_(files), wanted_(wanted), contents_(contents) {}

    void Read() {
        const CacheFile map = files_.Read(kMapName);
        for (std::uint32_t file = 1; file <= kBlockFiles; ++file) {
            blockFiles_[file - 1] = files_.Read(BlockFileName(file));
            if (!blockFiles_[file - 1].opened && !blockFiles_[file - 1].missing)
                contents_.findings.Add(Damaged, BlockFileName(file) + ": " + blockFiles_[file - 1].problem);
        }
        const bool mapRead = map.opened && ReadMapHeader(map.bytes);
        if (!mapRead) ChooseLayout();
        if (mapRead) ReadMapRecords(map.bytes);
        for (std::uint32_t file = 1; file <= kBlockFiles; ++file) WalkBlocks(file);
        const bool anyFound = !contents_.entries.empty();
        if (!mapRead && (anyFound || (!map.opened && !map.missing))) {
            const std::string why = map.missing  ? "is missing"
                                    : !map.opened ? "could not be read: " + map.problem
                                                  : "is not a map this program reads";
            contents_.findings.Add(Damaged, std::string(kMapName) + " " + why +
                                   ": every entry was found by walking the block files, as deleted");
        }
    }

private:
    bool ReadMapHeader(Bytes map) {
        if (map.size() < kMapHeaderSize || BigEndian32(map, 0) >> 16 != 1) return false;
        const std::uint32_t minor = BigEndian32(map, 0) & 0xFFFF;
        if (minor > 0xFF) return false;
        nested_ = minor >= kNestedFromMinor;
        contents_.version = std::to_string(BigEndian32(map, 0) >> 16) + "." + std::to_string(minor);
        contents_.crashed = BigEndian32(map, kDirtyAt) != 0;
        return true;
    }

    // Without a map, the bitmaps' size is what finds more entries in _CACHE_001_ and _CACHE_003_.
    void ChooseLayout() {
        std::size_t older = 0, newer = 0;
        for (const std::uint32_t file : {1u, 3u}) {
            nested_ = false;
            older += CountEntries(file);
            nested_ = true;
            newer += CountEntries(file);
        }
        nested_ = newer >= older;
    }

    std::size_t CountEntries(std::uint32_t file) {
        std::size_t found = 0;
        for (std::uint64_t block = 0; block < Blocks(file); ++block) {
            CacheEntry probe;
            if (ReadMetadata(BlockBytes(file, block, kMaxBlocks), true, probe)) ++found;
        }
        return found;
    }

    std::uint64_t Blocks(std::uint32_t file) const {
        const Bytes bytes = blockFiles_[file - 1].bytes;
        const std::uint64_t bitmap = BitmapSize(file, nested_);
        return bytes.size() <= bitmap ? 0 : (bytes.size() - bitmap) / BlockSize(file);
    }

    // Up to `count` blocks from `block` on, as far as the file holds them.
    Bytes BlockBytes(std::uint32_t file, std::uint64_t block, std::uint32_t count) const {
        const Bytes bytes = blockFiles_[file - 1].bytes;
        const std::uint64_t at = BitmapSize(file, nested_) + block * BlockSize(file);
        if (at >= bytes.size()) return {};
        return bytes.subspan(at, std::min<std::uint64_t>(count * BlockSize(file), bytes.size() - at));
    }

    bool InUse(std::uint32_t file, std::uint64_t block) const {
        const Bytes bytes = blockFiles_[file - 1].bytes;
        const std::uint64_t byte = block / 32 * 4 + 3 - block % 32 / 8;
        return byte < BitmapSize(file, nested_) && byte < bytes.size() && (bytes[byte] >> (block % 8) & 1) != 0;
    }

    void ReadMapRecords(Bytes map) {
        const std::uint32_t recordCount = BigEndian32(map, kRecordCountAt);
        const std::uint64_t perBucket = recordCount / kBuckets;
        const std::uint64_t held = (map.size() - kMapHeaderSize) / kRecordSize;
        if (recordCount % kBuckets != 0 || std::uint64_t{recordCount} > held)
            contents_.findings.Add(Damaged, "the map's " + std::to_string(recordCount) + " records do not fit its " +
                                   std::to_string(held) + " records' room: those it holds are read");
        const std::uint64_t records = std::min<std::uint64_t>(recordCount, held);
        // The records in use first, so that a slot an evicted record left never stands for blocks
        // a record in use reaches.
        for (const bool evictedPass : {false, true})
            for (std::uint64_t index = 0; index < records; ++index) {
                const std::uint64_t bucket = perBucket == 0 ? 0 : index / perBucket;
                const std::uint32_t usage = bucket < kBuckets ? BigEndian32(map, kUsageAt + 4 * bucket) : 0;
                const bool evicted = perBucket == 0 || index % perBucket >= usage;
                if (evicted == evictedPass) ReadRecord(map.subspan(kMapHeaderSize + index * kRecordSize, kRecordSize), evicted);
            }
    }

    void ReadRecord(Bytes record, bool evicted) {
        const std::uint32_t hash = BigEndian32(record, 0);
        const std::uint32_t dataWord = BigEndian32(record, 8), metaWord = BigEndian32(record, 12);
        const Location meta = LocationOf(metaWord), data = LocationOf(dataWord);
        if (hash == 0 || !meta.given) return;  // a slot never used
        if (evicted && meta.file != 0 && reached_.contains({meta.file, meta.block})) return;  // read through a record in use
        CacheEntry entry;
        entry.format = CacheFormat::FirefoxLegacy;
        entry.deleted = evicted;
        if (evicted) entry.findings.Add(Note, "its map record lies past its bucket's records in use: evicted");
        if ((dataWord & kReserved) != 0 || (metaWord & kReserved) != 0)
            entry.findings.Add(Damaged, "its map record sets bits no location uses");
        Bytes bytes;
        if (meta.file == 0) {
            const std::string name = SeparateFileName(hash, 'm', meta.generation, nested_);
            const CacheFile file = files_.Read(name);
            if (!file.opened)
                entry.findings.Add(Damaged, "its metadata's file " + name + " " +
                                   (file.missing ? std::string("is missing") : file.problem));
            bytes = file.bytes;
        } else {
            bytes = BlockBytes(meta.file, meta.block, meta.blocks);
            if (bytes.empty()) entry.findings.Add(Damaged, PastTheEnd("its metadata", meta));
            else if (bytes.size() < meta.blocks * BlockSize(meta.file))
                entry.findings.Add(Damaged, "its metadata's blocks run past the end of " + BlockFileName(meta.file));
            if (!bytes.empty() && !evicted && !InUse(meta.file, meta.block))
                entry.findings.Add(Note, "the allocation bitmap marks its metadata's blocks free");
        }
        if (evicted && bytes.empty()) return;
        // An evicted record's metadata may have been written over since: only metadata as the
        // browser writes it is taken there.
        const std::optional<std::uint32_t> dataSize = bytes.empty() ? std::nullopt : ReadMetadata(bytes, evicted, entry);
        if (evicted && !dataSize) return;
        if (meta.file != 0)
            for (std::uint32_t i = 0; i < meta.blocks; ++i) reached_.insert({meta.file, meta.block + i});
        PlaceBody(entry, hash, data, dataSize);
        contents_.entries.push_back(std::move(entry));
    }

    // Why a location's first block is not in its block file.
    std::string PastTheEnd(const std::string& what, const Location& at) const {
        const CacheFile& file = blockFiles_[at.file - 1];
        if (!file.opened)
            return what + " lies in " + BlockFileName(at.file) + ", which " +
                   (file.missing ? "is missing" : "could not be read");
        return what + "'s block " + std::to_string(at.block) + " lies past the end of " + BlockFileName(at.file);
    }

    // The body's place from the data's location and size; its file read for a wanted entry.
    void PlaceBody(CacheEntry& entry, std::uint32_t hash, const Location& data, std::optional<std::uint32_t> size) {
        if (!size || *size == 0) return;
        if (!data.given) {
            entry.findings.Add(Damaged, "its map record gives no place for its " + std::to_string(*size) + " bytes of data");
            return;
        }
        if (data.file == 0) {
            entry.body = BodyPlace{SeparateFileName(hash, 'd', data.generation, nested_), 0, *size, std::nullopt};
        } else {
            const std::string name = BlockFileName(data.file);
            const std::uint64_t room = std::uint64_t{data.blocks} * BlockSize(data.file);
            const std::uint64_t at = BitmapSize(data.file, nested_) + std::uint64_t{data.block} * BlockSize(data.file);
            if (at >= blockFiles_[data.file - 1].bytes.size()) {
                entry.findings.Add(Damaged, PastTheEnd("its data", data));
                return;
            }
            if (*size > room)
                entry.findings.Add(Damaged, "its data's " + std::to_string(*size) + " bytes are more than its " +
                                   std::to_string(data.blocks) + " block(s) hold: the blocks are read");
            entry.body = BodyPlace{name, at, std::min<std::uint64_t>(*size, room), data.block};
            // An evicted record's data blocks may hold another entry's metadata since: the walk looks at them.
            for (std::uint32_t i = 0; i < data.blocks && !entry.deleted; ++i) reached_.insert({data.file, data.block + i});
        }
        if (wanted_ && !wanted_(entry)) return;
        const CacheFile file = files_.Read(entry.body->file);
        if (file.missing) entry.findings.Add(Damaged, "its data's file " + entry.body->file + " is missing");
    }

    // Every block not reached through the map, looked at for metadata as the browser writes it.
    void WalkBlocks(std::uint32_t file) {
        for (std::uint64_t block = 0; block < Blocks(file); ++block) {
            if (reached_.contains({file, block})) continue;
            CacheEntry entry;
            entry.format = CacheFormat::FirefoxLegacy;
            const Bytes bytes = BlockBytes(file, block, kMaxBlocks);
            if (!ReadMetadata(bytes, true, entry)) continue;
            const std::uint64_t used = kMetaHeaderSize + BigEndian32(bytes, 28) + BigEndian32(bytes, 32);
            const std::uint64_t blocks = (used + BlockSize(file) - 1) / BlockSize(file);
            entry.deleted = true;
            entry.reached = InUse(file, block) ? EntryReached::ByWalkInUse : EntryReached::ByWalkInFreeBlocks;
            entry.findings.Add(Note, std::string("no map record in use reaches it: found in ") + BlockFileName(file) +
                               ", block " + std::to_string(block) +
                               (InUse(file, block) ? ", marked in use" : ", which the allocation bitmap marks free") +
                               "; where its body lies is not known");
            contents_.entries.push_back(std::move(entry));
            block += blocks - 1;
        }
    }

    CacheSource& files_;
    const CacheWanted& wanted_;
    CacheContents& contents_;
    CacheFile blockFiles_[kBlockFiles];
    bool nested_ = true;
    std::set<std::pair<std::uint32_t, std::uint64_t>> reached_;
};

}  // namespace

bool IsFirefoxLegacyCacheFileName(std::string_view name) {
    return name == kMapName || name == "_CACHE_001_" || name == "_CACHE_002_" || name == "_CACHE_003_";
}

std::optional<std::string> FirefoxLegacyKeyUrl(std::string_view key) {
    const std::size_t colon = key.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view url = key.substr(colon + 1);
    // An anonymous load's key and a POST's: "anon&", "id=<post id>&", or both, then "uri=<url>".
    if (url.starts_with("anon&") || url.starts_with("id=")) {
        const std::size_t uri = url.find("&uri=");
        if (uri != std::string_view::npos) url.remove_prefix(uri + 5);
    }
    return std::string(url);
}

CacheContents ReadFirefoxLegacyCache(CacheSource& files, const CacheWanted& wanted) {
    CacheContents contents;
    try {
        Reader(files, wanted, contents).Read();
    } catch (const std::exception& error) {  // memory running out: what was read so far is kept
        contents.findings.Add(Damaged, std::string("the cache could not be read whole: ") + error.what());
    }
    return contents;
}

}  // namespace snapsift
