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
#include <span>
#include <string_view>

#include "cache/CacheReader.h"

namespace snapsift {

// The kinds of record the blocks hold.
enum class IndexDatRecordKind { Url, Redirect, Leak };

// The index.dat `name` of `files`, read whole: each URL and LEAK record an entry (a REDR record
// keeps only a redirected URL, and is passed over), the version and the cache-folder table as the
// cache's own facts. An entry's body is its cached file, "<folder>/<name>" as a whole, of the size
// the record gives; created is never set, lastModified is the server's Last-Modified, lastUsed the
// last access, fetchCount the hit count. A LEAK record, one reached only through a hash-table entry
// the browser let go of (whose hash is 1 and whose offset still leads to the record), and one in
// blocks set free are deleted. The entries come each once: in the order the hash-table chain
// reaches them, those of live entries, then those only entries let go of reach; then, by offset,
// those only the walk of the blocks reaches. A record in blocks set free is read up to the next
// block in use or the next record's start, whatever its length says (one written over in part
// says so in its findings).
//
// Never throws. Why the file is not held whole is the first of the findings. Every offset, length
// and count is checked against the bytes: a table or record that lies outside them, a hash-table chain that comes back on itself, a record
// of no blocks are passed over with a note; a record cut by the file's end gives what lies inside
// it. An unknown version is read as 5.2, with a note.
//
// The blocks are walked once, from the first: in blocks in use, a record (URL, REDR, LEAK) or a
// hash table of a plausible length is passed over whole, whatever its blocks hold; any other block
// in use is passed over alone. In blocks set free every block is looked at, as a record may start
// inside one written before it. A file longer than the bitmap covers is walked as far as it covers
// it, with a note.
CacheContents ReadIndexDat(CacheSource& files, std::string_view name);

// The bytes an index.dat begins with, "Client UrlCache MMF Ver ", before its version.
inline constexpr std::size_t kIndexDatSignatureSize = 24;
// Whether bytes begin as an index.dat does.
bool IsIndexDatStart(std::span<const std::uint8_t> head);

}  // namespace snapsift
