// Internet Explorer's record of its cache, Content.IE5\index.dat (also below INetCache\IE and
// INetCache\Low\IE), read from its bytes. The cached files themselves lie in the 8-character
// folders beside it, named like "photo[1].jpg".
//
// All numbers are little-endian. The file starts with a 28-byte signature ("Client UrlCache MMF
// Ver 5.2", NUL-ended), the file's size, the offset of the first hash table, the number of 128-byte
// blocks after the first 16 KiB and how many are in use; at 72 the number of cache folders, then
// up to 32 entries of 12 bytes (the folder's file count, its 8-character name). From 0x4000 on the
// file is cut in blocks of 128 bytes; every record starts on a block with a 4-byte signature and
// its length in blocks. A hash table ("HASH") holds, after a 16-byte head (signature, blocks, the
// next table's offset, its sequence number), 8-byte entries: a hash of the URL and the offset of
// its record. A "URL " record keeps the times, the counts and the offsets (from the record's start)
// of its URL, its file's name and the stored response headers; a "REDR" record a redirected URL;
// a "LEAK" record is a URL record the browser let go of without removing its file.
//
// The allocation bitmap at 0x250 holds a bit per block (the lowest bit of its first byte for the
// first block): set where the block is in use. Many records that the blocks in use hold are
// reached by no hash table, and blocks set free keep what was written in them until they are
// used again: the blocks are walked too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cache/CacheFindings.h"
#include "text/DateTime.h"

namespace snapsift {

enum class IndexDatRecordKind { Url, Redirect, Leak };

// One entry of the cache-folder table.
struct IndexDatFolder {
    std::string name;             // as stored: 8 characters, fewer when a NUL ends it early
    std::uint32_t fileCount = 0;  // the files the browser counts in it
};

// One record the hash tables or the walk of the blocks reach. A redirect gives its URL only.
struct IndexDatRecord {
    IndexDatRecordKind kind = IndexDatRecordKind::Url;
    std::uint64_t offset = 0;  // where the record starts in index.dat
    std::string url;           // as stored
    // The cached file: its name in its folder ("photo[1].jpg"), the folder's name from the table
    // and the file's size as recorded. Empty (and 0) when the record keeps no file; the folder stays
    // empty when its index lies outside the table (the note says so).
    std::string fileName, folder;
    std::uint64_t fileSize = 0;
    // The server's Last-Modified and the last access (FILETIMEs, in UTC); the expiry (a FILETIME in
    // version 4.7, a FAT date and time since 5.2) and the last check against the server (a FAT date
    // and time, to two seconds), as the browser wrote them. Empty when 0 or not a valid date.
    std::optional<DateTime> lastModified, lastAccessed, expires, lastChecked;
    std::optional<std::uint32_t> hitCount;
    std::uint32_t flags = 0;  // the cache-entry flags as stored
    // From the stored response headers: the status line ("HTTP/1.1 200 OK"), Content-Type and
    // Content-Encoding as sent; empty when the record keeps no HTTP response.
    std::string statusLine, contentType, contentEncoding;
    // A LEAK record, one reached only through a hash-table entry the browser let go of (whose
    // hash is 1 and whose offset still leads to the record), or one in blocks set free.
    bool deleted = false;
    // Reached through no hash table, only by walking the blocks: a record in blocks the allocation
    // bitmap marks in use, or one in blocks it marks free (below).
    bool unreachedByHashTable = false;
    // In blocks the allocation bitmap marks free, its signature intact: what the browser let go of
    // and has not written over. Read up to the next block in use or the next record's start,
    // whatever its length says (a record written over in part says so in its note). Always
    // unreachedByHashTable and deleted.
    bool inFreeBlocks = false;
    Findings findings;     // what of the record could not be read, and why; empty when all was
};

struct IndexDatContents {
    std::string version;  // from the signature: "5.2", "4.7"
    std::vector<IndexDatFolder> folders;
    // Each once: in the order the hash-table chain reaches them, those of live entries, then those
    // only entries let go of reach; then, by offset, those only the walk of the blocks reaches.
    std::vector<IndexDatRecord> records;
    Findings findings;                    // what of the file could not be read, or how it was read
};

// The whole file. Never throws. Every offset, length and count is checked against the bytes: a
// table or record that lies outside them, a hash-table chain that comes back on itself, a record
// of no blocks are passed over with a note; a record cut by the file's end gives what lies inside
// it. An unknown version is read as 5.2, with a note.
//
// The blocks are walked once, from the first: in blocks in use, a record (URL, REDR, LEAK) or a
// hash table of a plausible length is passed over whole, whatever its blocks hold; any other block
// in use is passed over alone. In blocks set free every block is looked at, as a record may start
// inside one written before it. A file longer than the bitmap covers is walked as far as it covers
// it, with a note.
IndexDatContents ReadIndexDat(std::span<const std::uint8_t> bytes);

// The bytes an index.dat begins with, "Client UrlCache MMF Ver ", before its version.
inline constexpr std::size_t kIndexDatSignatureSize = 24;
// Whether bytes begin as an index.dat does.
bool IsIndexDatStart(std::span<const std::uint8_t> head);

}  // namespace snapsift
