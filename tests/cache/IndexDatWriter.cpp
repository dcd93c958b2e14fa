#include "IndexDatWriter.h"

#include <algorithm>

namespace snapsift::test {

namespace {

constexpr std::uint64_t kBlock = 128;
constexpr std::uint64_t kBitmapAt = 0x250;

void Put32(std::string& bytes, std::uint64_t at, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}
void Put64(std::string& bytes, std::uint64_t at, std::uint64_t value) {
    Put32(bytes, at, value);
    Put32(bytes, at + 4, value >> 32);
}

// Text and its NUL, padded to 8 bytes.
void Append(std::string& record, const std::string& text) {
    record += text;
    record.resize((record.size() + 1 + 7) / 8 * 8, '\0');
}

// Any hash of the URL with the lower 6 bits (the flags) clear; 5 in them marks a redirect.
std::uint32_t HashOf(const IndexDatRecordSource& record) {
    std::uint32_t hash = 2166136261u;
    for (const char c : record.url) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return (hash & ~0x3Fu) | (record.kind == IndexDatRecordKind::Redirect ? 5u : 0u);
}

std::string RecordBytes(const IndexDatRecordSource& source, bool version47) {
    std::string record;
    version47 = version47 && source.kind == IndexDatRecordKind::Url;  // a LEAK record keeps the 5.2 layout
    if (source.kind == IndexDatRecordKind::Redirect) {
        record.assign(16, '\0');
        record.replace(0, 4, "REDR");
        Put32(record, 12, HashOf(source));
        Append(record, source.url);
    } else {
        record.assign(104, '\0');  // the fields, then 8 bytes the browser leaves unset in 5.2
        record.replace(0, 4, source.kind == IndexDatRecordKind::Leak ? "LEAK" : "URL ");
        Put64(record, 8, source.lastModified);
        Put64(record, 16, source.lastAccessed);
        if (version47)
            Put64(record, 24, source.expires);
        else
            Put32(record, 24, source.expires);
        if (version47)
            Put32(record, 32, source.fileSize);
        else
            Put64(record, 32, source.fileSize);
        const std::uint64_t location = version47 ? 56 : 52, folder = version47 ? 60 : 56, fileName = folder + 4,
                            flags = folder + 8, dataOffset = folder + 12, dataSize = folder + 16,
                            lastChecked = version47 ? 84 : 80, hits = lastChecked + 4;
        if (!version47) {
            Put32(record, 48, 96);
            record[58] = record[59] = 0x10;  // the record's format
        }
        Put32(record, flags, 1);  // a normal entry
        Put32(record, lastChecked, source.lastChecked);
        Put32(record, hits, source.hits);
        Put32(record, location, record.size());
        Append(record, source.url);
        if (!source.fileName.empty()) {
            record[folder] = static_cast<char>(source.folderIndex);
            Put32(record, fileName, record.size());
            Append(record, source.fileName);
        }
        if (!source.headers.empty()) {
            Put32(record, dataOffset, record.size());
            Put32(record, dataSize, source.headers.size());
            Append(record, source.headers);
        }
    }
    const std::uint64_t blocks = (record.size() + kBlock - 1) / kBlock;
    record.resize(blocks * kBlock, '\0');
    Put32(record, 4, blocks);
    return record;
}

}  // namespace

std::uint32_t FatDateTime(int year, int month, int day, int hour, int minute, int second) {
    const std::uint32_t date = static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
    const std::uint32_t time = static_cast<std::uint32_t>(hour << 11 | minute << 5 | second / 2);
    return date | time << 16;
}

WrittenIndexDat WriteIndexDat(const IndexDatSource& source) {
    WrittenIndexDat written;
    std::string& bytes = written.bytes;
    bytes.assign(source.blocksStart, '\0');
    const std::string signature = "Client UrlCache MMF Ver " + source.version;
    bytes.replace(0, signature.size(), signature);
    Put32(bytes, 72, source.folders.size());
    for (std::size_t i = 0; i < source.folders.size(); ++i) {
        Put32(bytes, 76 + 12 * i, source.folders[i].fileCount);
        bytes.replace(76 + 12 * i + 4, 8, source.folders[i].name.substr(0, 8));
    }

    // The hash tables, then the records.
    const std::size_t perTable = std::max<std::size_t>(source.entriesPerTable, 1);
    const std::size_t tableCount = std::max<std::size_t>((source.records.size() + perTable - 1) / perTable, 1);
    const std::uint64_t tableSize = source.tableBlocks * kBlock;
    for (std::size_t t = 0; t < tableCount; ++t) {
        const std::uint64_t at = bytes.size();
        written.tables.push_back(at);
        bytes.resize(at + tableSize, '\0');
        bytes.replace(at, 4, "HASH");
        Put32(bytes, at + 4, source.tableBlocks);
        Put32(bytes, at + 8, t + 1 < tableCount ? at + tableSize : 0);
        Put32(bytes, at + 12, t);
        for (std::uint64_t entry = at + 16; entry + 8 <= at + tableSize; entry += 8) {
            Put32(bytes, entry, 3);  // a free slot
            Put32(bytes, entry + 4, 3);
        }
    }
    std::vector<bool> inUse((bytes.size() - source.blocksStart) / kBlock, true);  // the tables'
    const bool version47 = source.version == "4.7";
    for (std::size_t i = 0; i < source.records.size(); ++i) {
        const IndexDatRecordSource& record = source.records[i];
        const std::uint64_t at = bytes.size();
        written.records.push_back(at);
        std::string recordBytes = RecordBytes(record, version47);
        if (record.blocksKept != 0)
            recordBytes.resize(std::min<std::uint64_t>(record.blocksKept * kBlock, recordBytes.size()));
        bytes += recordBytes;
        inUse.resize((bytes.size() - source.blocksStart) / kBlock, record.inUse);
        if (!record.inHashTable) continue;
        const std::uint64_t entry = written.tables[i / perTable] + 16 + 8 * (i % perTable);
        Put32(bytes, entry, record.letGo ? 1 : HashOf(record));
        Put32(bytes, entry + 4, at);
    }

    const std::uint64_t blocks = inUse.size();
    Put32(bytes, 28, bytes.size());
    Put32(bytes, 32, written.tables.front());
    Put32(bytes, 36, blocks);
    Put32(bytes, 40, std::count(inUse.begin(), inUse.end(), true));
    if (source.blocksStart == 0x4000)
        for (std::uint64_t block = 0; block < blocks; ++block)
            if (inUse[block]) bytes[kBitmapAt + block / 8] |= static_cast<char>(1 << (block % 8));
    return written;
}

}  // namespace snapsift::test
