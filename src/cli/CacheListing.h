// Every entry a browser's cache holds, photo or not, read from a cache folder: what an examiner
// reads to see what a cache holds and why an entry was not reported.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cache/CacheEntry.h"
#include "volume/Volume.h"

namespace snapsift {

struct CacheListingRow {
    CacheEntry entry;
    std::optional<std::uint64_t> storedBytes;  // the body's stored length, when it is placed
    std::optional<std::string> bodyMd5;        // of the body as received (decoded); none when unreadable
    std::string source;                        // the file holding the body (or the entry), and where in it
    // What the note column says: why something is missing (damage), and notes that lose nothing:
    // how the entry was read, where it was found, or what is left of one in space its cache set
    // free (an index.dat's record that no hash table reaches).
    Findings findings;
};

struct CacheListing {
    bool isCache = false;             // false: the folder holds no cache this reader knows
    std::vector<CacheListingRow> rows;
    std::vector<std::string> notEntries;  // files of a cache2 entries/ folder that are no entry
    // What of the cache as a whole could not be read; with isCache false, why the folder (or the
    // index.dat) could not be read, or a file that will not open and may be the cache's index.
    Findings problem;
    // True when every entry and the cache itself were read whole (a row's notes aside).
    bool Whole() const;
};

// The cache in folderPath (a Chromium cache folder, a Firefox cache2 folder or its entries/):
// a blockfile cache's entries in its index's hash-table order, a simple cache's and cache2's
// entry files in the folder's listing order (cache2: entries/, then doomed/).
CacheListing ListCache(Volume& volume, const std::string& folderPath);

// The old cache's index.dat `fileName` in folderPath, under any name (recognised by its first
// bytes): every URL and LEAK record (LEAK records as deleted), in the order its hash tables reach
// them, then those only the walk of its blocks reaches, by offset: in blocks in use, noted
// "reached through the allocation bitmap only"; in blocks set free, as deleted and noted "found in
// blocks the allocation bitmap marks free" (what of such a record could not be read is noted, and
// is no fault of the listing). Created is the record's Last-Modified, last used its last access,
// the source the cached file as "<folder>\<name>", and the body's digest that of the cached file
// when it is there.
CacheListing ListIndexDat(Volume& volume, const std::string& folderPath, const std::string& fileName);

}  // namespace snapsift
