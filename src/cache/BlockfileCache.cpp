#include "cache/BlockfileCache.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <map>
#include <set>
#include <unordered_set>
#include <utility>

#include "cache/CacheBytes.h"
#include "cache/ChromiumKeyHash.h"
#include "cache/ResponseInfo.h"

namespace snapsift {

namespace {

using namespace cachebytes;

// The index: a 368-byte header (the LRU lists at its end), then the hash table of addresses.
constexpr std::uint32_t kIndexMagic = 0xC103CAC3;  // c3 ca 03 c1
constexpr std::size_t kIndexHeaderSize = 368;
constexpr std::uint32_t kDefaultTableLength = 0x10000;  // a table length of 0 means this
// A block file: an 8 KiB header (its allocation bitmap last), then the blocks.
constexpr std::uint32_t kBlockMagic = 0xC104CAC3;  // c3 ca 04 c1
constexpr std::uint64_t kBlockHeaderSize = 8192;
constexpr std::size_t kNextFileOffset = 10;         // the file that takes over when this one is full
constexpr std::size_t kAllocationMapOffset = 80;    // a bit per block, 32 blocks to a word
constexpr unsigned kMaxBlockFile = 255;             // an address has 8 bits for the file's number
constexpr std::uint64_t kMaxBlocksPerFile = (kBlockHeaderSize - kAllocationMapOffset) * 8;
// An entry: 96 bytes of fields, then its key, over one to four 256-byte blocks. A key kept
// inline ends in a NUL; a longer one lies at the long-key address.
constexpr std::size_t kEntryFieldsSize = 96;
constexpr unsigned kEntryFile = 1;  // data_1, the first file of 256-byte blocks
constexpr std::uint32_t kEntryBlockSize = 256;
constexpr std::int64_t kMaxInlineKeyLength = 4 * kEntryBlockSize - kEntryFieldsSize - 1;
constexpr std::size_t kRankingsNodeSize = 36;

enum : unsigned { kExternal = 0, kRankings = 1, kBlock256 = 2 };
constexpr std::array<std::uint32_t, 8> kBlockSizes = {0, 36, 256, 1024, 4096, 8, 104, 48};

std::int32_t Signed(std::uint32_t value) { return static_cast<std::int32_t>(value); }

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

// A cache address: initialized bit, file type, then either an external file's number or a
// block file's number, block count and first block.
struct Address {
    std::uint32_t value = 0;
    bool Initialized() const { return (value & 0x80000000u) != 0; }
    unsigned Type() const { return (value >> 28) & 7; }
    std::uint32_t ExternalNumber() const { return value & 0x0FFFFFFFu; }
    unsigned FileNumber() const { return (value >> 16) & 0xFF; }
    unsigned BlockCount() const { return ((value >> 24) & 3) + 1; }
    std::uint32_t FirstBlock() const { return value & 0xFFFF; }
    bool ReservedBitsSet() const { return Type() != kExternal && (value & 0x0C000000u) != 0; }
    std::uint32_t BlockSize() const { return kBlockSizes[Type()]; }
};

// Where the bytes an address holds lie, and those of them the file has.
struct Placed {
    std::string file;
    std::uint64_t offset = 0;
    std::optional<std::uint32_t> block;
    Bytes bytes;  // what the file holds of the wanted length
};

class Reader {
public:
    Reader(CacheSource& files, const CacheWanted& wanted) : files_(files), wanted_(wanted) {}

    CacheContents Read();

private:
    struct BlockFile {
        std::optional<Bytes> bytes;
        std::string problem;  // what is wrong with its header; said on each entry that uses it
        bool usable = false;
    };

    std::optional<Bytes> File(std::string_view name) {
        const CacheFile file = files_.Read(name);
        if (file.opened) return file.bytes;
        if (!file.missing) unopened_[std::string(name)] = file.problem;
        return std::nullopt;
    }
    // "data_2 is missing", or why the file could not be opened.
    std::string Missing(std::string_view name) const {
        const auto why = unopened_.find(name);
        return std::string(name) + (why == unopened_.end() ? " is missing" : ": " + why->second);
    }
    const BlockFile& BlockFileOf(unsigned number, std::uint32_t blockSize);
    std::optional<Placed> Place(Address address, std::uint64_t length, const std::string& what,
                                Findings& findings);
    // `bucket`: the hash table's bucket that led to the entry; none when the blocks were scanned.
    // `index`: the entry's place among the entries found.
    CacheEntry ReadEntry(Address address, std::optional<std::uint64_t> bucket, Address& next, std::size_t index);
    // Places the bodies of the entries not wanted that lie in the block files read.
    void PlaceUnwantedBodies(CacheContents& cache);
    bool ReadKey(Bytes fields, Address address, CacheEntry& entry);
    void ReadLastUsed(std::uint32_t rankings, Address address, CacheEntry& entry);
    void ReadIndexTable(Bytes index, CacheContents& cache);
    void ScanEntryBlocks(CacheContents& cache);
    void ScanBlockFile(unsigned number, Bytes bytes, bool soundHeader, CacheContents& cache);
    unsigned EntryBlocksAt(Bytes bytes, std::uint64_t block);

    CacheSource& files_;
    const CacheWanted& wanted_;
    std::map<std::string, std::string, std::less<>> unopened_;  // why each file that would not open
    std::map<unsigned, BlockFile> blockFiles_;
    // The bodies of entries not wanted, by the entry's place: the address and size of stream 1.
    struct UnreadBody {
        std::size_t index;
        Address address;
        std::uint64_t size;
    };
    std::vector<UnreadBody> unreadBodies_;
    std::optional<std::uint32_t> hashMask_;  // none when the header's table length is no power of two
    // Long-key addresses the block scan has hashed the key of: each is tried once, so that
    // blocks naming the same long key over and over cost no more than one reading of it.
    std::unordered_set<std::uint32_t> scannedLongKeys_;
};

const Reader::BlockFile& Reader::BlockFileOf(unsigned number, std::uint32_t blockSize) {
    const auto found = blockFiles_.find(number);
    if (found != blockFiles_.end()) return found->second;
    BlockFile& file = blockFiles_[number];
    const std::string name = "data_" + std::to_string(number);
    file.bytes = File(name);
    if (!file.bytes) {
        file.problem = Missing(name);
        return file;
    }
    const Bytes bytes = *file.bytes;
    if (bytes.size() < kBlockHeaderSize) {
        file.problem = name + " is " + std::to_string(bytes.size()) + " bytes, shorter than its header";
        return file;
    }
    // A damaged header does not move the blocks: they are read where the address puts them.
    file.usable = true;
    if (*CheckedLittleEndian32(bytes, 0) != kBlockMagic)
        file.problem = name + " has magic " + Hex(*CheckedLittleEndian32(bytes, 0)) + ", not that of a block file";
    else if (static_cast<std::int16_t>(*CheckedLittleEndian32(bytes, 8) & 0xFFFF) != static_cast<int>(number))
        file.problem = name + " calls itself file " + std::to_string(*CheckedLittleEndian32(bytes, 8) & 0xFFFF);
    else if (*CheckedLittleEndian32(bytes, 12) != blockSize)
        file.problem = name + " has blocks of " + std::to_string(*CheckedLittleEndian32(bytes, 12)) + " bytes, not " +
                       std::to_string(blockSize);
    return file;
}

std::optional<Placed> Reader::Place(Address address, std::uint64_t length, const std::string& what,
                                    Findings& findings) {
    Placed placed;
    Bytes bytes;
    if (address.Type() == kExternal) {
        placed.file = BlockfileExternalName(address.ExternalNumber());
        const auto file = File(placed.file);
        if (!file) {
            findings.Add(Damaged, what + ": " + Missing(placed.file));
            return std::nullopt;
        }
        bytes = *file;
    } else {
        if (address.ReservedBitsSet()) {
            findings.Add(Damaged, what + ": address " + Hex(address.value) + " has reserved bits set");
            return std::nullopt;
        }
        const std::uint64_t blockSize = address.BlockSize();
        const std::uint64_t span = blockSize * address.BlockCount();
        if (length > span) {
            findings.Add(Damaged, what + ": " + std::to_string(length) + " bytes do not fit its " +
                         std::to_string(span) + "-byte blocks; " + std::to_string(span) + " read");
            length = span;
        }
        placed.file = "data_" + std::to_string(address.FileNumber());
        placed.block = address.FirstBlock();
        placed.offset = kBlockHeaderSize + blockSize * address.FirstBlock();
        const BlockFile& file = BlockFileOf(address.FileNumber(), address.BlockSize());
        if (!file.problem.empty()) findings.Add(Damaged, what + ": " + file.problem);
        if (!file.usable) return std::nullopt;
        bytes = *file.bytes;
    }
    if (placed.offset >= bytes.size() && length > 0) {
        findings.Add(Damaged,
                     what + ": " + placed.file + (placed.block ? " block " + std::to_string(*placed.block) : "") +
                     " lies past the end of the file (" + std::to_string(bytes.size()) + " bytes)");
        return std::nullopt;
    }
    const std::uint64_t held = std::min<std::uint64_t>(length, bytes.size() - std::min<std::uint64_t>(placed.offset, bytes.size()));
    if (held < length)
        findings.Add(Damaged, what + " is cut: " + std::to_string(held) + " of " + std::to_string(length) +
                     " bytes in " + placed.file);
    placed.bytes = bytes.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(placed.offset, bytes.size())),
                                 static_cast<std::size_t>(held));
    return placed;
}

// Whether the key was read to the length the entry gives it.
bool Reader::ReadKey(Bytes fields, Address address, CacheEntry& entry) {
    const std::int32_t keyLength = Signed(*CheckedLittleEndian32(fields, 32));
    const Address longKey{*CheckedLittleEndian32(fields, 36)};
    if (keyLength < 0) {
        entry.findings.Add(Damaged, "key length " + std::to_string(keyLength) + " is negative");
        return false;
    }
    Bytes key;
    if (longKey.Initialized()) {
        const auto placed = Place(longKey, static_cast<std::uint64_t>(keyLength), "long key", entry.findings);
        if (!placed) return false;
        key = placed->bytes;
    } else {
        const Bytes inlineKey = fields.subspan(kEntryFieldsSize);
        const std::uint64_t room = std::uint64_t{address.BlockCount()} * 256 - kEntryFieldsSize;
        key = inlineKey.first(std::min<std::size_t>(inlineKey.size(), static_cast<std::size_t>(keyLength)));
        if (static_cast<std::uint64_t>(keyLength) > inlineKey.size()) {
            entry.findings.Add(Damaged, "key length " + std::to_string(keyLength) +
                               (static_cast<std::uint64_t>(keyLength) >= room ? " runs past the entry"
                                                                               : " runs past the bytes held") +
                               "; " + std::to_string(key.size()) + " read");
            // A key read past its end stops at its terminating NUL.
            const auto nul = std::find(key.begin(), key.end(), std::uint8_t{0});
            key = key.first(static_cast<std::size_t>(nul - key.begin()));
        }
    }
    entry.key.assign(reinterpret_cast<const char*>(key.data()), key.size());
    entry.url = UrlFromChromiumKey(entry.key);
    return key.size() == static_cast<std::uint64_t>(keyLength);
}

void Reader::ReadLastUsed(std::uint32_t rankings, Address address, CacheEntry& entry) {
    const Address node{rankings};
    if (!node.Initialized()) return;
    if (node.Type() != kRankings) {
        entry.findings.Add(Damaged, "rankings node address " + Hex(rankings) + " is not of a rankings block");
        return;
    }
    const auto placed = Place(node, kRankingsNodeSize, "rankings node", entry.findings);
    if (!placed || placed->bytes.size() < kRankingsNodeSize) return;
    // Last used, last modified, next, previous, the entry's address, dirty mark, hash.
    if (*CheckedLittleEndian32(placed->bytes, 24) != address.value) {
        entry.findings.Add(Damaged, "rankings node " + Hex(rankings) + " belongs to entry " +
                           Hex(*CheckedLittleEndian32(placed->bytes, 24)));
        return;
    }
    entry.lastUsed = ChromiumTime(*CheckedLittleEndian64(placed->bytes, 0));
}

CacheEntry Reader::ReadEntry(Address address, std::optional<std::uint64_t> bucket, Address& next, std::size_t index) {
    CacheEntry entry;
    entry.format = CacheFormat::ChromiumBlockfile;
    next = Address{};
    const std::string where = "entry " + Hex(address.value);
    if (address.Type() != kBlock256) {
        entry.findings.Add(Damaged, where + " is not an address of 256-byte blocks");
        return entry;
    }
    const auto placed = Place(address, std::uint64_t{address.BlockCount()} * 256, "entry", entry.findings);
    if (!placed) return entry;
    const Bytes fields = placed->bytes;
    if (fields.size() < kEntryFieldsSize) {
        entry.findings.Add(Damaged, where + ": " + std::to_string(fields.size()) + " bytes, too few for its fields");
        return entry;
    }
    // Hash, next, rankings node, reuse count, refetch count, state, creation time, key length,
    // long key, stream sizes[4], stream addresses[4], flags, padding, self hash, key.
    next = Address{*CheckedLittleEndian32(fields, 4)};
    // The table's length is a power of two, and the key's hash picks the bucket.
    const std::uint32_t hash = *CheckedLittleEndian32(fields, 0);
    if (hashMask_ && bucket && (hash & *hashMask_) != *bucket)
        entry.findings.Add(Damaged,
                           where + ": hash " + Hex(hash) + " does not belong in bucket " + std::to_string(*bucket));
    const std::int32_t reuseCount = Signed(*CheckedLittleEndian32(fields, 12));
    const std::uint32_t state = *CheckedLittleEndian32(fields, 20);
    entry.created = ChromiumTime(*CheckedLittleEndian64(fields, 24));
    // The uses after the first fetch, as the browser counts them.
    if (reuseCount >= 0) entry.reuseCount = static_cast<std::uint32_t>(reuseCount);
    if (state > 2) entry.findings.Add(Damaged, "state " + std::to_string(state) + " is unknown");
    entry.deleted = state == 1 || state == 2;  // evicted, doomed

    const bool wholeKey = ReadKey(fields, address, entry);
    if (entry.key.empty() && entry.findings.Empty()) entry.findings.Add(Damaged, where + " holds no key");
    else if (wholeKey && ChromiumKeyHash(entry.key) != hash)
        entry.findings.Add(Damaged, "the key does not match its stored hash " + Hex(hash));

    std::array<std::int32_t, 4> sizes{};
    std::array<Address, 4> streams{};
    for (std::size_t i = 0; i < 4; ++i) {
        sizes[i] = Signed(*CheckedLittleEndian32(fields, 40 + 4 * i));
        streams[i] = Address{*CheckedLittleEndian32(fields, 56 + 4 * i)};
    }
    if (wanted_ && !wanted_(entry)) {
        // Nothing more is read for it; a body in a block file is placed once the wanted are read.
        if (sizes[1] == 0)
            entry.body = BodyPlace{placed->file, placed->offset, 0, placed->block};
        else if (sizes[1] > 0 && streams[1].Initialized() && streams[1].Type() != kExternal)
            unreadBodies_.push_back({index, streams[1], static_cast<std::uint64_t>(sizes[1])});
        return entry;
    }
    const auto stream = [&](std::size_t i) -> std::optional<Placed> {
        const std::string what = "stream " + std::to_string(i);
        if (sizes[i] < 0) {
            entry.findings.Add(Damaged, what + " size " + std::to_string(sizes[i]) + " is negative");
            return std::nullopt;
        }
        if (sizes[i] == 0) return std::nullopt;
        if (!streams[i].Initialized()) {
            entry.findings.Add(Damaged, what + " holds " + std::to_string(sizes[i]) + " bytes at no address");
            return std::nullopt;
        }
        return Place(streams[i], static_cast<std::uint64_t>(sizes[i]), what, entry.findings);
    };
    if (const auto headers = stream(0)) ReadChromiumResponseInfo(headers->bytes, "stream 0", entry);
    if (sizes[1] == 0) {
        // A response without a body (a redirect, say): an empty body, placed at the entry itself.
        entry.body = BodyPlace{placed->file, placed->offset, 0, placed->block};
    } else if (const auto body = stream(1)) {
        entry.body = BodyPlace{body->file, body->offset, body->bytes.size(), body->block};
    }

    ReadLastUsed(*CheckedLittleEndian32(fields, 8), address, entry);
    return entry;
}

// Why the index cannot lead to the entries; nothing when it can.
std::optional<std::string> WhyIndexIsUnusable(const std::optional<Bytes>& index, const std::string& missing) {
    if (!index) return missing;
    if (index->size() < kIndexHeaderSize)
        return "index is " + std::to_string(index->size()) + " bytes, shorter than its header";
    if (std::all_of(index->begin(), index->end(), [](std::uint8_t byte) { return byte == 0; }))
        return "index is all zeros";
    if (const std::uint32_t magic = *CheckedLittleEndian32(*index, 0); magic != kIndexMagic)
        return "index has magic " + Hex(magic) + ", not that of a blockfile index";
    return std::nullopt;
}

CacheContents Reader::Read() {
    CacheContents cache;
    const auto index = File("index");
    if (const auto why = WhyIndexIsUnusable(index, Missing("index"))) {
        cache.indexUnusable = *why + ": entries read from data_1 block by block";
        ScanEntryBlocks(cache);
    } else {
        ReadIndexTable(*index, cache);
    }
    PlaceUnwantedBodies(cache);
    return cache;
}

// As the entry's own reading would have placed them, from the block files as they were read.
void Reader::PlaceUnwantedBodies(CacheContents& cache) {
    for (const UnreadBody& unread : unreadBodies_) {
        if (!blockFiles_.contains(unread.address.FileNumber()) || unread.index >= cache.entries.size()) continue;
        Findings ignored;
        if (const auto body = Place(unread.address, unread.size, "stream 1", ignored))
            cache.entries[unread.index].body = BodyPlace{body->file, body->offset, body->bytes.size(), body->block};
    }
}

void Reader::ReadIndexTable(Bytes header, CacheContents& cache) {
    const std::uint32_t entryCount = *CheckedLittleEndian32(header, 8);
    cache.crashed = *CheckedLittleEndian32(header, 32) != 0;
    std::uint64_t tableLength = *CheckedLittleEndian32(header, 28);
    if (tableLength == 0) tableLength = kDefaultTableLength;
    if ((tableLength & (tableLength - 1)) == 0) hashMask_ = static_cast<std::uint32_t>(tableLength - 1);
    const std::uint64_t held = (header.size() - kIndexHeaderSize) / 4;
    if (tableLength > held) {
        cache.findings.Add(Damaged,
                           "hash table of " + std::to_string(tableLength) + " buckets, " + std::to_string(held) +
                           " in the index");
        tableLength = held;
    }

    // Every bucket's chain, each entry once: a chain that comes back to a read entry stops there.
    // Each step reads a new address that names a readable block, so the walk ends.
    std::unordered_set<std::uint32_t> seen;
    for (std::uint64_t bucket = 0; bucket < tableLength; ++bucket) {
        Address address{*CheckedLittleEndian32(header, kIndexHeaderSize + 4 * bucket)};
        while (address.Initialized() && seen.insert(address.value).second) {
            Address next;
            try {
                cache.entries.push_back(ReadEntry(address, bucket, next, cache.entries.size()));
            } catch (const std::exception& error) {
                CacheEntry failed;
                failed.format = CacheFormat::ChromiumBlockfile;
                failed.findings.Add(Damaged, "entry " + Hex(address.value) + " could not be read: " + error.what());
                cache.entries.push_back(std::move(failed));
            }
            address = next;
        }
    }
    if (cache.entries.size() != entryCount)
        cache.findings.Add(Damaged,
                           "index counts " + std::to_string(entryCount) + " entries, its table reaches " +
                           std::to_string(cache.entries.size()));
}

// Without the index, the entries are found where they lie: in data_1, and in the files of
// 256-byte blocks its header chains on to when it fills up.
void Reader::ScanEntryBlocks(CacheContents& cache) {
    std::set<unsigned> scanned;
    for (unsigned number = kEntryFile; scanned.insert(number).second;) {
        const BlockFile& file = BlockFileOf(number, kEntryBlockSize);
        // Read for a stream first, a file is checked against that stream's block size.
        std::string problem = file.problem;
        if (problem.empty() && file.usable && LittleEndian32(*file.bytes, 12) != kEntryBlockSize)
            problem = "data_" + std::to_string(number) + " has blocks of " +
                      std::to_string(LittleEndian32(*file.bytes, 12)) + " bytes, not " + std::to_string(kEntryBlockSize);
        if (!problem.empty()) cache.findings.Add(Damaged, problem);
        // data_1 is read whatever its header says; a file it links to only when it is one of
        // 256-byte blocks. A damaged header's link to a next file is not followed.
        const bool soundHeader = file.usable && problem.empty();
        if (!file.usable || (number != kEntryFile && !soundHeader)) return;
        ScanBlockFile(number, *file.bytes, soundHeader, cache);
        const std::uint32_t nextFile = *CheckedLittleEndian32(*file.bytes, kNextFileOffset) & 0xFFFF;
        if (!soundHeader || nextFile == 0 || nextFile > kMaxBlockFile) return;
        number = nextFile;
    }
}

// The allocation bitmap of a damaged header is not taken at its word.
void Reader::ScanBlockFile(unsigned number, Bytes bytes, bool soundHeader, CacheContents& cache) {
    const std::string name = "data_" + std::to_string(number);
    const std::uint64_t blocks =
        std::min((bytes.size() - kBlockHeaderSize + kEntryBlockSize - 1) / kEntryBlockSize, kMaxBlocksPerFile);
    for (std::uint64_t block = 0; block < blocks;) {
        const unsigned count = EntryBlocksAt(bytes, block);
        if (count == 0) {
            ++block;
            continue;
        }
        const Address address{0x80000000u | kBlock256 << 28 | (count - 1) << 24 | number << 16 |
                              static_cast<std::uint32_t>(block)};
        Address next;
        try {
            cache.entries.push_back(ReadEntry(address, std::nullopt, next, cache.entries.size()));
        } catch (const std::exception& error) {
            CacheEntry failed;
            failed.format = CacheFormat::ChromiumBlockfile;
            failed.findings.Add(Damaged, "entry " + Hex(address.value) + " could not be read: " + error.what());
            cache.entries.push_back(std::move(failed));
        }
        const std::uint32_t inUse = *CheckedLittleEndian32(bytes, kAllocationMapOffset + 4 * (block / 32));
        if (soundHeader && (inUse >> (block % 32) & 1) == 0) {
            CacheEntry& entry = cache.entries.back();
            entry.deleted = true;
            entry.findings.Add(Damaged,
                               name + " marks the entry's blocks free: an entry let go of, whose streams' blocks "
                               "may hold other data since");
        }
        block += count;
    }
}

// How many blocks the entry that starts at this block takes; 0 when none starts there. Its
// fields must be plausible and its key must hash to the hash it keeps, so that the remains of
// other data are not taken for an entry.
unsigned Reader::EntryBlocksAt(Bytes bytes, std::uint64_t block) {
    const std::uint64_t at = kBlockHeaderSize + kEntryBlockSize * block;
    const Bytes fields = bytes.subspan(static_cast<std::size_t>(at),
                                       std::min<std::size_t>(bytes.size() - at, 4 * kEntryBlockSize));
    if (fields.size() < kEntryFieldsSize) return 0;
    const std::uint32_t state = LittleEndian32(fields, 20);
    const std::int64_t keyLength = Signed(LittleEndian32(fields, 32));
    const Address longKey{LittleEndian32(fields, 36)};
    if (state > 2 || keyLength <= 0) return 0;
    for (std::size_t i = 0; i < 4; ++i)
        if (Signed(LittleEndian32(fields, 40 + 4 * i)) < 0) return 0;
    unsigned count = 1;
    Bytes key;
    if (longKey.Initialized()) {
        if (!scannedLongKeys_.insert(longKey.value).second) return 0;
        Findings ignored;
        const auto placed = Place(longKey, static_cast<std::uint64_t>(keyLength), "long key", ignored);
        if (!placed || placed->bytes.size() != static_cast<std::uint64_t>(keyLength)) return 0;
        key = placed->bytes;
    } else {
        if (keyLength > kMaxInlineKeyLength) return 0;
        // The key and its NUL after the fields: the rest of the first block, then whole blocks.
        constexpr std::int64_t firstBlockRoom = kEntryBlockSize - kEntryFieldsSize;
        if (keyLength >= firstBlockRoom)
            count = static_cast<unsigned>((keyLength - firstBlockRoom) / kEntryBlockSize + 2);
        if (fields.size() - kEntryFieldsSize < static_cast<std::uint64_t>(keyLength)) return 0;
        key = fields.subspan(kEntryFieldsSize, static_cast<std::size_t>(keyLength));
    }
    return ChromiumKeyHash(key) == LittleEndian32(fields, 0) ? count : 0;
}

}  // namespace

bool IsBlockfileIndexStart(std::span<const std::uint8_t> head) { return CheckedLittleEndian32(head, 0) == kIndexMagic; }

bool IsBlockfileDataStart(std::span<const std::uint8_t> head) { return CheckedLittleEndian32(head, 0) == kBlockMagic; }

std::string BlockfileExternalName(std::uint32_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "f_%06x", static_cast<unsigned>(number & 0x0FFFFFFFu));
    return name;
}

CacheContents ReadBlockfileCache(CacheSource& files, const CacheWanted& wanted) {
    try {
        return Reader(files, wanted).Read();
    } catch (const std::exception& error) {
        CacheContents cache;
        cache.findings.Add(Damaged, std::string("cache could not be read: ") + error.what());
        return cache;
    }
}

}  // namespace snapsift
