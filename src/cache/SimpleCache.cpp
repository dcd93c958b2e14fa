#include "cache/SimpleCache.h"

#include <algorithm>
#include <array>
#include <exception>

#include "cache/CacheBytes.h"
#include "cache/ResponseInfo.h"
#include "cache/Sha1.h"

namespace snapsift {

namespace {

constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ull;
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ull;
constexpr std::uint64_t kIndexMagic = 0x656e74657220796full;
constexpr std::uint32_t kEntryVersion = 5;
constexpr std::size_t kHeaderSize = 24;  // magic, version, key length, key hash, padding
constexpr std::size_t kEofSize = 24;     // magic, flags, CRC-32, stream size, padding
constexpr std::size_t kKeySha256Size = 32;
constexpr std::uint32_t kEofHasCrc32 = 1, kEofHasKeySha256 = 2;
constexpr std::string_view kToDelete = "todelete_";
// What an entry file is read for before its key says whether it is wanted: its header and the key
// (a few hundred bytes), with room to spare.
constexpr std::size_t kWantedHead = 16 * 1024;

using namespace cachebytes;

bool IsHex16(std::string_view text) {
    return text.size() == 16 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// A stream's bytes against the CRC-32 its end record at `eof` keeps, when it keeps one.
bool CrcDiffers(Bytes bytes, std::size_t eof, Bytes stream) {
    return (LittleEndian32(bytes, eof + 8) & kEofHasCrc32) && LittleEndian32(bytes, eof + 12) != Crc32(stream);
}

std::uint64_t EntryHashOfKey(std::string_view key) {
    const auto digest = Sha1({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()});
    return LittleEndian64(digest, 0);
}

// The first end record of a stream after `from`, found by its magic, for an entry whose last
// end record does not say where the streams lie.
std::optional<std::size_t> FindEndRecord(Bytes bytes, std::size_t from) {
    for (std::size_t at = from; bytes.size() >= kEofSize && at <= bytes.size() - kEofSize; ++at)
        if (LittleEndian64(bytes, at) == kFinalMagic) return at;
    return std::nullopt;
}

// What an entry file's name says: its entry hash (16 hex digits) when it carries one.
struct EntryName {
    bool entry = false;
    std::optional<std::string_view> hashDigits;
};

EntryName ParseEntryName(std::string_view name) {
    if (name.size() == 18 && name.ends_with("_0") && IsHex16(name.substr(0, 16))) return {true, name.substr(0, 16)};
    if (!name.starts_with(kToDelete)) return {};
    name.remove_prefix(kToDelete.size());
    // A file renamed before it is deleted, under a random number (Windows).
    if (name.size() == 16 && IsHex16(name)) return {true, std::nullopt};
    // A doomed entry: "<hash>_0_<doom generation>".
    const std::string_view generation = name.size() > 19 ? name.substr(19) : std::string_view{};
    if (IsHex16(name.substr(0, 16)) && name.substr(16, 3) == "_0_" && !generation.empty() && generation.size() <= 20 &&
        std::all_of(generation.begin(), generation.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {true, name.substr(0, 16)};
    return {};
}

}  // namespace

bool IsSimpleEntryName(std::string_view fileName) { return ParseEntryName(fileName).entry; }

std::optional<std::uint64_t> SimpleEntryHash(std::string_view fileName) {
    const auto digits = ParseEntryName(fileName).hashDigits;
    if (!digits) return std::nullopt;
    std::uint64_t hash = 0;
    for (char c : *digits) hash = hash << 4 | static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    return hash;
}

namespace {

CacheEntry ReadEntry(std::string_view fileName, Bytes bytes) {
    CacheEntry entry;
    entry.format = CacheFormat::ChromiumSimple;
    entry.deleted = fileName.starts_with(kToDelete);
    if (bytes.size() < kHeaderSize) {
        entry.findings.Add(Damaged, "cut short: " + std::to_string(bytes.size()) + " bytes, no whole header");
        return entry;
    }
    if (LittleEndian64(bytes, 0) != kInitialMagic) {
        entry.findings.Add(Damaged, "not a simple-cache entry: wrong magic");
        return entry;
    }
    if (const auto version = LittleEndian32(bytes, 8); version != kEntryVersion)
        entry.findings.Add(Note, "entry version " + std::to_string(version) + ", read as version 5");
    const std::uint32_t keyLength = LittleEndian32(bytes, 12);
    if (keyLength > bytes.size() - kHeaderSize) {
        entry.findings.Add(Damaged, "key length " + std::to_string(keyLength) + " runs past the end of the file");
        return entry;
    }
    const std::size_t keyEnd = kHeaderSize + keyLength;
    entry.key.assign(reinterpret_cast<const char*>(bytes.data() + kHeaderSize), keyLength);
    entry.url = UrlFromChromiumKey(entry.key);
    if (const auto named = SimpleEntryHash(fileName); named && *named != EntryHashOfKey(entry.key))
        entry.findings.Add(Damaged, "the key's hash does not match the file name");

    // The last end record gives stream 0's size; stream 0 ends before it (and before the key's
    // SHA-256 when its flag says so), stream 1 ends at the end record before stream 0. Stream 1's
    // own end record may say 0, so its size is what is left over.
    std::optional<std::size_t> stream1End, stream0Start, stream0End;
    bool placedByLastRecord = false;
    const std::size_t size = bytes.size();
    if (size - keyEnd >= 2 * kEofSize && LittleEndian64(bytes, size - kEofSize) == kFinalMagic) {
        const std::uint32_t flags = LittleEndian32(bytes, size - kEofSize + 8);
        const std::uint32_t size0 = LittleEndian32(bytes, size - kEofSize + 16);
        const std::size_t tail = kEofSize + ((flags & kEofHasKeySha256) ? kKeySha256Size : 0);
        const std::size_t room = size - keyEnd - kEofSize;  // for stream 1, its end record, stream 0...
        if (tail - kEofSize + size0 <= room - kEofSize) {
            const std::size_t start = size - tail - size0;
            if (LittleEndian64(bytes, start - kEofSize) == kFinalMagic) {
                stream1End = start - kEofSize;
                stream0Start = start;
                stream0End = size - tail;
                placedByLastRecord = true;
            } else {
                entry.findings.Add(Damaged, "no end record where stream 1 should end");
            }
        } else {
            entry.findings.Add(Damaged, "stream 0 size " + std::to_string(size0) + " does not fit in the file");
        }
    } else {
        entry.findings.Add(Damaged, "no end record at the end of the file");
    }
    if (!stream1End) {
        // Cut or damaged at its end: stream 1 ends at the first end record after the key, and
        // stream 0 follows it as far as the file goes; with none, the body runs to the end.
        if (const auto found = FindEndRecord(bytes, keyEnd)) {
            entry.findings.Add(Damaged, "stream 1 ends at the first end record after the key");
            stream1End = *found;
            stream0Start = *found + kEofSize;
            stream0End = size;
        } else {
            entry.findings.Add(Damaged, "cut short in the body: the body runs to the end of the file");
            stream1End = size;
        }
    }
    const std::uint32_t recorded1 = *stream1End + kEofSize <= size ? LittleEndian32(bytes, *stream1End + 16) : 0;
    if (recorded1 != 0 && recorded1 != *stream1End - keyEnd)
        entry.findings.Add(Damaged, "stream 1's end record gives size " + std::to_string(recorded1) + ", the file " +
                           std::to_string(*stream1End - keyEnd));
    entry.body = BodyPlace{std::string(fileName), keyEnd, *stream1End - keyEnd, std::nullopt};
    if (*stream1End + kEofSize <= size && CrcDiffers(bytes, *stream1End, bytes.subspan(keyEnd, entry.body->length)))
        entry.findings.Add(Damaged, "the body's CRC-32 does not match its end record");
    if (placedByLastRecord &&
        CrcDiffers(bytes, size - kEofSize, bytes.subspan(*stream0Start, *stream0End - *stream0Start)))
        entry.findings.Add(Damaged, "the stored response's CRC-32 does not match its end record");
    if (stream0Start)
        ReadChromiumResponseInfo(bytes.subspan(*stream0Start, *stream0End - *stream0Start), "stream 0", entry);
    else
        entry.findings.Add(Damaged, "no stored response");
    return entry;
}

SimpleIndex ReadIndex(Bytes bytes) {
    SimpleIndex index;
    // Pickle header (payload size, CRC), magic, version, entry count, cache size, reason.
    constexpr std::size_t kIndexHeader = 8 + 8 + 4 + 8 + 8 + 4, kRecord = 24, kTail = 8;
    if (bytes.size() < kIndexHeader) {
        index.findings.Add(Damaged, "cut short: no whole index header");
        return index;
    }
    if (LittleEndian64(bytes, 8) != kIndexMagic) {
        index.findings.Add(Damaged, "not a simple-cache index: wrong magic");
        return index;
    }
    if (const auto version = LittleEndian32(bytes, 16); version < 8 || version > 9)
        index.findings.Add(Note, "index version " + std::to_string(version) + ", read as version 9");
    std::size_t end = bytes.size();
    if (const std::uint32_t payload = LittleEndian32(bytes, 0); payload != bytes.size() - 8) {
        index.findings.Add(Damaged, "payload size " + std::to_string(payload) + " does not match the file");
        if (payload >= kIndexHeader - 8 && payload < bytes.size() - 8) end = std::size_t{payload} + 8;
    }
    const std::uint64_t count = LittleEndian64(bytes, 20);
    const std::size_t room = (end - kIndexHeader) / kRecord;
    std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, room));
    if (count > room) {
        index.findings.Add(Damaged, "entry count " + std::to_string(count) + " runs past the end, " +
                           std::to_string(room) + " read");
    }
    index.entries.reserve(take);
    for (std::size_t i = 0; i < take; ++i) {
        const std::size_t at = kIndexHeader + i * kRecord;
        index.entries.push_back({LittleEndian64(bytes, at), ChromiumTime(LittleEndian64(bytes, at + 8))});
    }
    const std::size_t after = kIndexHeader + take * kRecord;
    if (count <= room && end - after >= kTail) index.written = ChromiumTime(LittleEndian64(bytes, after));
    else if (count <= room) index.findings.Add(Damaged, "no time of writing after the entries");
    return index;
}

// An entry of which its key alone is read.
CacheEntry KeyOnly(const std::string& key) {
    CacheEntry entry;
    entry.key = key;
    entry.url = UrlFromChromiumKey(key);
    return entry;
}

}  // namespace

CacheContents ReadSimpleCache(CacheSource& files, std::string_view name, const CacheWanted& wanted) {
    CacheContents contents;
    CacheEntry entry;
    // Out of memory for a key or a note is the only exception the reader can meet.
    try {
        const CacheFile head = files.Read(name, wanted ? kWantedHead : CacheSource::kWhole);
        if (!head.opened) {
            entry.findings.Add(Damaged, head.problem);
        } else if (wanted && !IsSimpleEntryStart(head.bytes)) {
            // No entry, or one of which nothing could be read: said by the file's own problem.
            if (head.problem.empty()) return contents;
        } else if (const auto key = wanted ? SimpleEntryKey(head.bytes) : std::nullopt;
                   key && !wanted(KeyOnly(*key))) {
            return contents;
        } else {
            entry = ReadEntry(name, files.Read(name).bytes);
            const CacheFile index = files.Read("index-dir/the-real-index");
            const auto hash = SimpleEntryHash(name);
            for (const SimpleIndexEntry& used : index.opened && entry.body && hash ? ReadSimpleIndex(index.bytes).entries
                                                                                   : std::vector<SimpleIndexEntry>{}) {
                if (used.hash != *hash || !used.lastUsed) continue;
                entry.lastUsed = used.lastUsed;
                break;
            }
        }
    } catch (const std::exception& e) {
        entry = {};
        entry.findings.Add(Damaged, std::string("not read: ") + e.what());
    }
    contents.entries.push_back(std::move(entry));
    return contents;
}

SimpleIndex ReadSimpleIndex(Bytes bytes) {
    try {
        return ReadIndex(bytes);
    } catch (const std::exception& e) {
        SimpleIndex index;
        index.findings.Add(Damaged, std::string("not read: ") + e.what());
        return index;
    }
}

bool IsSimpleEntryStart(Bytes head) { return head.size() >= 8 && LittleEndian64(head, 0) == kInitialMagic; }

std::optional<std::string> SimpleEntryKey(Bytes head) {
    if (head.size() < kHeaderSize || LittleEndian64(head, 0) != kInitialMagic) return std::nullopt;
    const std::uint32_t keyLength = LittleEndian32(head, 12);
    if (keyLength > head.size() - kHeaderSize) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(head.data() + kHeaderSize), keyLength);
}

}  // namespace snapsift
