// The one shape of every cache reader: it gets the cache's files by name through a CacheSource,
// and gives back a CacheContents: the entries, what it found of the cache as a whole, and the few
// facts a format keeps of itself. Every byte a source gives is taken as hostile.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/CacheEntry.h"

namespace snapsift {

// One file of a cache as its source gives it.
struct CacheFile {
    bool opened = false;
    bool missing = false;  // not opened, as the name stands for no file
    // Why it could not be opened ("it could not be opened: " and the system's text), or why the
    // bytes held are not all of it; empty when they are (or its reading has not ended).
    std::string problem;
    std::span<const std::uint8_t> bytes;  // what is held of it, valid while the source lives
    std::int64_t size = 0;                // its size as it was opened
};

class CacheSource {
public:
    static constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();
    virtual ~CacheSource() = default;
    // The file `name` below the cache folder ("data_1", "index-dir/the-real-index"), read until
    // `upTo` bytes are held (0: opened only). Each file is opened once, when first asked for; a
    // later call reads on from what is held.
    virtual CacheFile Read(std::string_view name, std::size_t upTo = kWhole) = 0;
};

// A cache's files held in memory: a name not among `files` is missing, one among `unreadable`
// will not open, for the reason it maps to.
class MemoryCacheSource : public CacheSource {
public:
    std::map<std::string, std::string, std::less<>> files, unreadable;

    CacheFile Read(std::string_view name, std::size_t upTo = kWhole) override {
        CacheFile file;
        if (const auto failed = unreadable.find(name); failed != unreadable.end()) {
            file.problem = failed->second;
            return file;
        }
        const auto found = files.find(name);
        file.missing = found == files.end();
        if (file.missing) return file;
        file.opened = true;
        file.size = static_cast<std::int64_t>(found->second.size());
        file.bytes = {reinterpret_cast<const std::uint8_t*>(found->second.data()), std::min(upTo, found->second.size())};
        return file;
    }
};

// Whether an entry's streams (its stored response and its body) are wanted, asked once its key
// and the URL in it are read: an entry not wanted is given with what its key says. Every entry's
// are when it is empty.
using CacheWanted = std::function<bool(const CacheEntry& entry)>;

// One entry of the old cache's table of the folders its files lie in.
struct IndexDatFolder {
    std::string name;             // as stored: 8 characters, fewer when a NUL ends it early
    std::uint32_t fileCount = 0;  // the files the browser counts in it
};

struct CacheContents {
    std::vector<CacheEntry> entries;
    // Why the cache's index could not be used, its entries then found another way (blockfile:
    // read from data_1 block by block); empty when it was used. Damage, apart from `findings`.
    std::string indexUnusable;
    Findings findings;  // what else of the cache as a whole could not be read, or how it was read
    bool crashed = false;  // the browser did not close the cache cleanly (blockfile)
    // What a rollback journal beside the database holds: the browser stopped in the middle of a
    // change, and the main file may hold half of it (SQL). Empty when there is none, or it is empty.
    std::string unfinishedChange;
    // The old cache's index.dat: the version its signature gives ("5.2", "4.7"), and its table of
    // cache folders.
    std::string version;
    std::vector<IndexDatFolder> folders;
};

}  // namespace snapsift
