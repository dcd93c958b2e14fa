// index.dat files written for the tests: the header with its cache-folder table and allocation
// bitmap, a chain of hash tables, and URL, REDR and LEAK records, laid out as the browser lays them:
// one after another, each reached through a hash-table entry and in blocks marked in use unless it
// says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cache/IndexDat.h"

namespace snapsift::test {

struct IndexDatRecordSource {
    IndexDatRecordKind kind = IndexDatRecordKind::Url;
    std::string url;
    std::string fileName;  // empty: the record keeps no file (its file-name offset is 0)
    std::uint8_t folderIndex = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t lastModified = 0, lastAccessed = 0;  // FILETIMEs
    std::uint64_t expires = 0;                         // a FILETIME in 4.7, a FAT date and time in 5.2
    std::uint32_t lastChecked = 0;                     // a FAT date and time
    std::uint32_t hits = 0;
    std::string headers;  // the stored response headers, written with a NUL after them
    bool letGo = false;   // its hash-table entry let go of: the hash 1, the offset kept
    bool inHashTable = true;  // false: no hash-table entry leads to it
    bool inUse = true;        // false: the allocation bitmap marks its blocks free
    // Fewer than its blocks: the next record was written over its blocks from this one on, while
    // its length still counts them all. 0: all are its own.
    std::uint32_t blocksKept = 0;
};

struct IndexDatSource {
    std::string version = "5.2";
    std::vector<IndexDatFolder> folders;
    std::vector<IndexDatRecordSource> records;
    std::size_t entriesPerTable = 510;  // fewer than a table's room make a longer chain
    std::uint32_t tableBlocks = 32;     // a hash table's length in blocks, its head included
    std::uint64_t blocksStart = 0x4000;  // where the tables and records begin: less makes a small file
                                         // (for fuzz seeds) with no allocation bitmap
};

struct WrittenIndexDat {
    std::string bytes;
    std::vector<std::uint64_t> tables, records;  // where each hash table and each record was put
};

WrittenIndexDat WriteIndexDat(const IndexDatSource& source);

// A FAT date and time as the cache keeps it: the date in the lower 16 bits, the time in the upper.
std::uint32_t FatDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace snapsift::test
