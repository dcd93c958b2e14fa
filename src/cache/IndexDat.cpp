#include "cache/IndexDat.h"

#include <algorithm>
#include "text/Hex.h"
#include <exception>
#include <iterator>
#include <map>
#include <set>
#include <string_view>

#include "cache/CacheBytes.h"

namespace snapsift {

namespace {

using namespace cachebytes;

constexpr std::string_view kSignaturePrefix = "Client UrlCache MMF Ver ";
constexpr std::uint64_t kSignatureSize = 28;
constexpr std::uint64_t kFileSizeAt = 28, kHashTableAt = 32, kBlockCountAt = 36;
constexpr std::uint64_t kFolderCountAt = 72, kFolderTableAt = 76, kFolderEntrySize = 12, kFolderNameSize = 8;
constexpr std::uint32_t kMaxFolders = 32;  // the table's room, up to the header data at 0x1cc
constexpr std::uint64_t kBlockSize = 128;
constexpr std::uint64_t kBlocksStart = 0x4000;  // the blocks the header counts follow its first 16 KiB
// The allocation bitmap: a bit per block, from 0x250 to where the blocks start.
constexpr std::uint64_t kBitmapAt = 0x250, kBitmapBlocks = (kBlocksStart - kBitmapAt) * 8;
constexpr std::uint64_t kRecordHeadSize = 8;  // a signature and a length in blocks
constexpr std::uint64_t kHashHeadSize = 16, kHashEntrySize = 8;
// Far past any record the browser writes (a URL, a file name, some headers): a block count above it
// is damage, not a record.
constexpr std::uint32_t kMaxRecordBlocks = 8192;  // 1 MiB

// Hash-table entries that lead to no record: a free slot (3) and the fill patterns of slots never
// written. An entry the browser let go of has the hash 1 and may still hold its record's offset.
constexpr std::uint32_t kFreeEntry = 3, kLetGoEntry = 1;
constexpr std::uint32_t kFillPatterns[] = {0x0BADF00Du, 0xDEADBEEFu};

// Where a URL record keeps its fields: version 4.7 and version 5.2. A LEAK record, a URL record
// the browser let go of, keeps the 5.2 layout in either.
struct UrlLayout {
    bool expiresAsFileTime;  // 4.7: an 8-byte FILETIME; 5.2: a FAT date and time
    bool fileSize64;         // 5.2: the size's upper half follows it
    std::uint64_t location, folderIndex, fileName, flags, dataOffset, dataSize, lastChecked, hits;
    std::uint64_t fixedSize;  // the fields up to the first variable data
};
constexpr UrlLayout kLayout47{true, false, 56, 60, 64, 68, 72, 76, 84, 88, 104};
constexpr UrlLayout kLayout52{false, true, 52, 56, 60, 64, 68, 72, 80, 84, 96};
constexpr std::uint64_t kLastModifiedAt = 8, kLastAccessedAt = 16, kExpiresAt = 24, kFileSizeAtRecord = 32;


std::string_view AsText(Bytes bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

std::optional<DateTime> FromFileTime(std::uint64_t fileTime) {
    return fileTime == 0 ? std::nullopt : FileTimeToDate(fileTime);
}

// A FAT date and time as the cache stores it: the date in the lower 16 bits (day, month, years
// since 1980), the time in the upper (seconds halved, minutes, hours). 0 and all ones mean none.
std::optional<DateTime> FromFatDateTime(std::uint32_t value) {
    if (value == 0 || value == 0xFFFFFFFFu) return std::nullopt;
    const std::uint32_t date = value & 0xFFFF, time = value >> 16;
    return SystemTimeToDate(1980 + static_cast<int>(date >> 9), static_cast<int>((date >> 5) & 15),
                            static_cast<int>(date & 31), static_cast<int>(time >> 11),
                            static_cast<int>((time >> 5) & 63), static_cast<int>(time & 31) * 2);
}

// A NUL-ended string at an offset from the record's start. Nothing for an offset of 0 (not set).
std::string TextAt(Bytes record, std::uint32_t at, std::string_view what, CacheEntry& read) {
    if (at == 0) return {};
    if (at >= record.size()) {
        read.findings.Add(Damaged,
                          std::string(what) + "'s offset " + std::to_string(at) + " lies past the record's end");
        return {};
    }
    const std::string_view text = AsText(record.subspan(at));
    const std::size_t nul = text.find('\0');
    if (nul == std::string_view::npos) {
        read.findings.Add(Damaged, std::string(what) + " runs to the record's end with no NUL");
        return std::string(text);
    }
    return std::string(text.substr(0, nul));
}

// The stored response headers: "HTTP/1.1 200 OK\r\nContent-Type: ...\r\n\r\n", then the
// browser's own lines ("~U:user"). Only a head that starts as an HTTP status line is taken.
void ReadHeaders(Bytes record, std::uint32_t at, std::uint32_t size, CacheEntry& read) {
    if (at == 0 || size == 0) return;
    if (at >= record.size()) {
        read.findings.Add(Damaged, "the headers' offset " + std::to_string(at) + " lies past the record's end");
        return;
    }
    std::string_view head = AsText(record.subspan(at));
    if (size > head.size())
        read.findings.Add(Damaged, "the headers' " + std::to_string(size) + " bytes run past the record's end");
    head = head.substr(0, std::min<std::uint64_t>(size, head.size()));
    head = head.substr(0, std::min(head.find('\0'), head.size()));
    if (!head.starts_with("HTTP/")) return;
    for (const std::string_view end : {"\r\n\r\n", "\n\n"})
        if (const std::size_t blank = head.find(end); blank != std::string_view::npos) head = head.substr(0, blank);
    ReadResponseHeaderLines(head, '\n', read);
}

void ReadUrlRecord(Bytes record, const UrlLayout& layout, const std::vector<IndexDatFolder>& folders,
                   CacheEntry& read) {
    if (record.size() < layout.fixedSize) {
        read.findings.Add(Damaged, "the record ends before its fields do");
        return;
    }
    read.lastModified = FromFileTime(LittleEndian64(record, kLastModifiedAt));
    read.lastUsed = FromFileTime(LittleEndian64(record, kLastAccessedAt));
    read.expires = layout.expiresAsFileTime ? FromFileTime(LittleEndian64(record, kExpiresAt))
                                            : FromFatDateTime(LittleEndian32(record, kExpiresAt));
    read.lastChecked = FromFatDateTime(LittleEndian32(record, layout.lastChecked));
    read.fetchCount = LittleEndian32(record, layout.hits);
    read.url = TextAt(record, LittleEndian32(record, layout.location), "the URL", read);
    const std::string fileName = TextAt(record, LittleEndian32(record, layout.fileName), "the file name", read);
    if (!fileName.empty()) {
        // The folder stays empty when its index lies outside the table (a note says so).
        const std::uint8_t index = record[layout.folderIndex];
        read.body = BodyPlace{(index < folders.size() ? folders[index].name : std::string()) + '/' + fileName, 0,
                              layout.fileSize64 ? LittleEndian64(record, kFileSizeAtRecord)
                                                : LittleEndian32(record, kFileSizeAtRecord),
                              std::nullopt};
        if (index >= folders.size())
            read.findings.Add(Damaged, "the file's folder index " + std::to_string(index) + " lies past the table's " +
                              std::to_string(folders.size()) + " folder(s)");
    }
    ReadHeaders(record, LittleEndian32(record, layout.dataOffset), LittleEndian32(record, layout.dataSize), read);
}

std::optional<IndexDatRecordKind> KindOf(std::string_view signature) {
    if (signature == "URL ") return IndexDatRecordKind::Url;
    if (signature == "REDR") return IndexDatRecordKind::Redirect;
    if (signature == "LEAK") return IndexDatRecordKind::Leak;
    return std::nullopt;
}

class Reader {
public:
    Reader(Bytes bytes, CacheContents& contents) : bytes_(bytes), contents_(contents) {}

    void Read() {
        if (!ReadHeader()) return;
        ReadFolders();
        WalkHashTables();
        FollowEntries();
        WalkBlocks();
        ReportCounts();
    }

private:
    bool ReadHeader() {
        const std::uint64_t size = bytes_.size();
        const std::string_view signature = AsText(bytes_.first(std::min(size, kSignatureSize)));
        if (!signature.starts_with(kSignaturePrefix)) {
            contents_.findings.Add(Damaged,
                                   "the file does not start with \"Client UrlCache MMF Ver\": not a cache index");
            return false;
        }
        const std::string_view version = signature.substr(kSignaturePrefix.size());
        contents_.version = version.substr(0, std::min(version.find('\0'), version.size()));
        if (contents_.version == "4.7")
            layout_ = &kLayout47;
        else if (contents_.version != "5.2")
            contents_.findings.Add(Note, "version \"" + contents_.version + "\" is not 4.7 or 5.2: read as 5.2");
        if (size < kFolderCountAt + 4) {
            contents_.findings.Add(Damaged, "the file is too short to hold its header (" + std::to_string(size) +
                                   " bytes): cut short or damaged");
            return false;
        }
        const std::uint32_t statedSize = LittleEndian32(bytes_, kFileSizeAt);
        if (statedSize != size)
            contents_.findings.Add(Damaged, "the header gives the file " + std::to_string(statedSize) + " bytes, " +
                                   std::to_string(size) + " are here" +
                                   (statedSize > size ? ": cut short" : ""));
        const std::uint32_t blocks = LittleEndian32(bytes_, kBlockCountAt);
        if (blocks == 0 || kBlocksStart + std::uint64_t{blocks} * kBlockSize > size)
            contents_.findings.Add(Damaged, "the header's block count " + std::to_string(blocks) +
                                   " does not fit the file's " + std::to_string(size) + " bytes");
        return true;
    }

    void ReadFolders() {
        const std::uint32_t count = LittleEndian32(bytes_, kFolderCountAt);
        std::uint32_t readable = std::min(count, kMaxFolders);
        if (count > kMaxFolders)
            contents_.findings.Add(Damaged, "the header counts " + std::to_string(count) +
                                   " cache folders, its table holds " + std::to_string(kMaxFolders) +
                                   ": those are read");
        const std::uint64_t fit = (bytes_.size() - kFolderTableAt) / kFolderEntrySize;
        if (readable > fit) {
            readable = static_cast<std::uint32_t>(fit);
            contents_.findings.Add(Damaged, "the file ends inside the cache-folder table: " + std::to_string(fit) +
                                   " of its " + std::to_string(count) + " folders are read");
        }
        for (std::uint32_t i = 0; i < readable; ++i) {
            const std::uint64_t at = kFolderTableAt + i * kFolderEntrySize;
            std::string_view name = AsText(bytes_.subspan(at + 4, kFolderNameSize));
            name = name.substr(0, std::min(name.find('\0'), name.size()));
            contents_.folders.push_back({std::string(name), LittleEndian32(bytes_, at)});
        }
    }

    // The chain of hash tables from the header's offset. Each table is read once and no two may
    // overlap, so the walk reads each byte of the file as a table entry at most once.
    void WalkHashTables() {
        const std::uint64_t size = bytes_.size();
        std::map<std::uint64_t, std::uint64_t> tables;  // start -> end of each table read
        for (std::uint64_t at = LittleEndian32(bytes_, kHashTableAt); at != 0;) {
            const std::string where = "the hash table at offset " + HexNumber(at);
            if (tables.contains(at)) {
                contents_.findings.Add(Damaged, "the hash-table chain comes back to offset " + HexNumber(at) +
                                                    ": followed no further");
                return;
            }
            if (at > size || size - at < kHashHeadSize) {
                contents_.findings.Add(Damaged, where + " lies past the file's end");
                return;
            }
            if (AsText(bytes_.subspan(at, 4)) != "HASH") {
                contents_.findings.Add(Damaged, "no hash table at offset " + HexNumber(at) + ": the chain ends there");
                return;
            }
            const std::uint32_t blocks = LittleEndian32(bytes_, at + 4);
            std::uint64_t end = at + std::uint64_t{blocks} * kBlockSize;
            if (blocks == 0) {
                contents_.findings.Add(Damaged, where + " has no blocks: its entries are not read");
                end = at + kHashHeadSize;
            } else if (end > size) {
                contents_.findings.Add(Damaged,
                                       where + " runs past the file's end: its entries up to the end are read");
                end = size;
            }
            // An overlap with a table read before: its next neighbour starts inside this one, or
            // the one before it ends after this one's start.
            const auto after = tables.lower_bound(at);
            if ((after != tables.end() && after->first < end) ||
                (after != tables.begin() && std::prev(after)->second > at)) {
                contents_.findings.Add(Damaged, where + " overlaps one read before: the chain is followed no further");
                return;
            }
            tables.emplace(at, end);
            for (std::uint64_t entry = at + kHashHeadSize; entry < end && end - entry >= kHashEntrySize;
                 entry += kHashEntrySize) {
                const std::uint32_t hash = LittleEndian32(bytes_, entry), offset = LittleEndian32(bytes_, entry + 4);
                const auto isFill = [](std::uint32_t value) {
                    return std::find(std::begin(kFillPatterns), std::end(kFillPatterns), value) !=
                           std::end(kFillPatterns);
                };
                if (hash == offset || hash == kFreeEntry || isFill(hash) || isFill(offset)) continue;
                (hash == kLetGoEntry ? letGo_ : live_).push_back(offset);
            }
            at = LittleEndian32(bytes_, at + 8);
        }
    }

    // The records of live entries first: a record reached through one of them is live, whatever
    // else reaches it. An entry let go of may point at blocks used since for something else; what
    // it leads to is taken only when it is a record, and given as deleted.
    void FollowEntries() {
        for (const std::uint32_t offset : live_) FollowEntry(offset, false);
        for (const std::uint32_t offset : letGo_) FollowEntry(offset, true);
    }

    void FollowEntry(std::uint32_t offset, bool letGo) {
        if (!recordsRead_.insert(offset).second) return;  // reached before through another entry
        const std::uint64_t size = bytes_.size();
        if (offset > size || size - offset < 8) {
            if (!letGo) ++pointPastEnd_;
            return;
        }
        const auto kind = KindOf(AsText(bytes_.subspan(offset, 4)));
        if (!kind) {
            if (!letGo) ++pointAtNothing_;
            return;
        }
        const std::uint32_t blocks = LittleEndian32(bytes_, offset + 4);
        if (!PlausibleLength(blocks)) {
            contents_.findings.Add(Damaged,
                                   "the record at offset " + HexNumber(offset) + " gives " + std::to_string(blocks) +
                                   " blocks: passed over");
            return;
        }
        const std::uint64_t length = std::min<std::uint64_t>(std::uint64_t{blocks} * kBlockSize, size - offset);
        // Records of a sound file do not overlap; damaged ones that do may each be read whole only
        // while the bytes read stay within a few times the file's size.
        if (length > budget_) {
            stoppedByBudget_ = true;
            return;
        }
        budget_ -= length;
        CacheEntry read;
        read.deleted = letGo;
        ReadRecord(offset, *kind, blocks, length, std::move(read));
    }

    static bool PlausibleLength(std::uint32_t blocks) { return blocks != 0 && blocks <= kMaxRecordBlocks; }

    // The record of `kind` at offset, `blocks` long by its own count, read over its first `length`
    // bytes (fewer than its blocks where the file's end cuts it, or, in free blocks, what was written
    // there since): the marks already set in read are kept.
    void ReadRecord(std::uint64_t offset, IndexDatRecordKind kind, std::uint32_t blocks, std::uint64_t length,
                    CacheEntry read) {
        if (kind == IndexDatRecordKind::Redirect) return;  // a redirected URL, of no cached file
        read.format = CacheFormat::InternetExplorerIndexDat;
        read.deleted = read.deleted || kind == IndexDatRecordKind::Leak;
        if (length < std::uint64_t{blocks} * kBlockSize && offset + length == bytes_.size())
            read.findings.Add(Damaged, "the record's " + std::to_string(blocks) +
                              " blocks run past the file's end: what lies before it is read");
        ReadUrlRecord(bytes_.subspan(offset, length), kind == IndexDatRecordKind::Leak ? kLayout52 : *layout_,
                      contents_.folders, read);
        contents_.entries.push_back(std::move(read));
    }

    // A record's start in a block: the block, the record's kind and its length in blocks.
    struct BlockStart {
        std::uint64_t block;
        IndexDatRecordKind kind;
        std::uint32_t blocks;
    };

    // The blocks from the first on, each looked at once, for the records no hash table reaches.
    // Records in use are read over their own length, and the walk goes on after it; a run of free
    // blocks is looked at block by block, and each record found in it read up to the next one
    // found, or the run's end, whichever comes first (a record set free may be written over by the
    // next, in part). So the walk reads no byte as part of two records.
    void WalkBlocks() {
        const std::uint64_t size = bytes_.size();
        if (size <= kBlocksStart) return;
        const std::uint64_t fileBlocks = (size - kBlocksStart + kBlockSize - 1) / kBlockSize;
        const std::uint64_t blocks = std::min(fileBlocks, kBitmapBlocks);
        if (fileBlocks > blocks)
            contents_.findings.Add(Damaged, "the file's blocks past the " + std::to_string(kBitmapBlocks) +
                                   " that the allocation bitmap covers are not walked: only the records the "
                                   "hash tables reach are read there");
        const auto inUse = [&](std::uint64_t block) { return (bytes_[kBitmapAt + block / 8] >> (block % 8) & 1) != 0; };
        std::vector<BlockStart> freeRun;  // the records that start in the run of free blocks so far
        for (std::uint64_t block = 0; block < blocks;) {
            const std::uint64_t at = kBlocksStart + block * kBlockSize;
            if (size - at < kRecordHeadSize) break;
            const std::string_view signature = AsText(bytes_.subspan(at, 4));
            const std::uint32_t length = LittleEndian32(bytes_, at + 4);
            const auto kind = KindOf(signature);
            if (!inUse(block)) {
                if (kind && PlausibleLength(length)) freeRun.push_back({block, *kind, length});
                ++block;
                continue;
            }
            ReadFreeRun(freeRun, block, true);
            if ((kind || signature == "HASH") && PlausibleLength(length)) {
                if (kind && !recordsRead_.contains(at)) {
                    CacheEntry read;
                    read.reached = EntryReached::ByWalkInUse;
                    const std::uint64_t whole = std::uint64_t{length} * kBlockSize;
                    ReadRecord(at, *kind, length, std::min(whole, size - at), std::move(read));
                }
                block += length;
            } else {
                if (kind && !recordsRead_.contains(at)) ++implausibleInUse_;
                ++block;
            }
        }
        ReadFreeRun(freeRun, fileBlocks, false);
    }

    // The records found in a run of free blocks that ends at block `end` (one in use, or the file's
    // end); those a hash table reached were read then, and only end the record before them.
    void ReadFreeRun(std::vector<BlockStart>& run, std::uint64_t end, bool endInUse) {
        for (std::size_t i = 0; i < run.size(); ++i) {
            const BlockStart& start = run[i];
            const std::uint64_t at = kBlocksStart + start.block * kBlockSize;
            if (recordsRead_.contains(at)) continue;
            const std::uint64_t until = i + 1 < run.size() ? run[i + 1].block : end;
            const std::uint64_t kept = std::min<std::uint64_t>(start.blocks, until - start.block);
            CacheEntry read;
            read.reached = EntryReached::ByWalkInFreeBlocks;
            read.deleted = true;
            if (kept < start.blocks && (i + 1 < run.size() || endInUse))
                read.findings.Add(Damaged, "the record's " + std::to_string(start.blocks) +
                                  " blocks reach blocks written since: its first " + std::to_string(kept) +
                                  " are read");
            ReadRecord(at, start.kind, start.blocks, std::min(kept * kBlockSize, bytes_.size() - at), std::move(read));
        }
        run.clear();
    }

    void ReportCounts() {
        if (pointPastEnd_)
            contents_.findings.Add(Damaged,
                                   std::to_string(pointPastEnd_) + " hash-table entries point past the file's end");
        if (pointAtNothing_)
            contents_.findings.Add(Damaged, std::to_string(pointAtNothing_) +
                                   " hash-table entries point at no URL, REDR or LEAK record");
        if (stoppedByBudget_)
            contents_.findings.Add(Damaged, "records overlap so much that some were left unread");
        if (implausibleInUse_)
            contents_.findings.Add(Damaged,
                                   std::to_string(implausibleInUse_) + " blocks in use start a URL, REDR or LEAK "
                                   "record of no plausible length: passed over");
    }

    Bytes bytes_;
    CacheContents& contents_;
    const UrlLayout* layout_ = &kLayout52;
    std::vector<std::uint32_t> live_, letGo_;  // the record offsets of the hash tables' entries
    std::set<std::uint64_t> recordsRead_;  // every offset a hash-table entry leads to
    std::uint64_t pointPastEnd_ = 0, pointAtNothing_ = 0, implausibleInUse_ = 0;
    std::uint64_t budget_ = 2 * bytes_.size() + std::uint64_t{kMaxRecordBlocks} * kBlockSize;
    bool stoppedByBudget_ = false;
};

}  // namespace

bool IsIndexDatStart(std::span<const std::uint8_t> head) {
    constexpr std::string_view kSignature = "Client UrlCache MMF Ver ";
    static_assert(kSignature.size() == kIndexDatSignatureSize);
    return head.size() >= kSignature.size() &&
           std::string_view(reinterpret_cast<const char*>(head.data()), kSignature.size()) == kSignature;
}

CacheContents ReadIndexDat(CacheSource& files, std::string_view name) {
    CacheContents contents;
    const CacheFile file = files.Read(name);
    contents.findings.Add(Damaged, file.problem);
    try {
        Reader(file.bytes, contents).Read();
    } catch (const std::exception& error) {  // memory running out: what was read so far is kept
        contents.findings.Add(Damaged, std::string("the file could not be read whole: ") + error.what());
    }
    return contents;
}

}  // namespace snapsift
