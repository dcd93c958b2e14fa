// What the cache readers share: little- and big-endian numbers read from a cache file's bytes,
// CRC-32, Chromium's times, and the Content-Type and Content-Encoding taken from the
// stored response's header lines. For the readers in this folder only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <zlib.h>

#include "cache/CacheEntry.h"
#include "text/DateTime.h"

namespace snapsift::cachebytes {

using Bytes = std::span<const std::uint8_t>;
using enum Severity;  // Damaged, Note: the weight of what a reader finds

// Little-endian numbers at an offset the caller has checked against the bytes' size.
inline std::uint32_t LittleEndian32(Bytes bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}
inline std::uint64_t LittleEndian64(Bytes bytes, std::size_t at) {
    return LittleEndian32(bytes, at) | std::uint64_t{LittleEndian32(bytes, at + 4)} << 32;
}

// Big-endian numbers at an offset the caller has checked against the bytes' size.
inline std::uint16_t BigEndian16(Bytes bytes, std::uint64_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}
inline std::uint32_t BigEndian32(Bytes bytes, std::uint64_t at) {
    return std::uint32_t{BigEndian16(bytes, at)} << 16 | BigEndian16(bytes, at + 2);
}

// CRC-32 of the bytes, carried on from `crc` (zlib's, which takes lengths of an unsigned int: the
// bytes go in pieces of 1 GiB).
inline std::uint32_t Crc32(Bytes bytes, std::uint32_t crc = 0) {
    uLong sum = crc;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto length = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        sum = crc32(sum, bytes.data() + at, length);
        at += length;
    }
    return static_cast<std::uint32_t>(sum);
}

// The same at any offset: nothing when the bytes do not hold the whole number there.
inline std::optional<std::uint32_t> CheckedLittleEndian32(Bytes bytes, std::uint64_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
    return LittleEndian32(bytes, static_cast<std::size_t>(at));
}
inline std::optional<std::uint64_t> CheckedLittleEndian64(Bytes bytes, std::uint64_t at) {
    if (at > bytes.size() || bytes.size() - at < 8) return std::nullopt;
    return LittleEndian64(bytes, static_cast<std::size_t>(at));
}

// Chromium's time: microseconds since 1601-01-01 UTC. Nothing for 0 (never set), or for a value
// whose FILETIME would not fit 64 bits (negative ones among them).
inline std::optional<DateTime> ChromiumTime(std::uint64_t microseconds) {
    if (microseconds == 0 || microseconds > std::numeric_limits<std::uint64_t>::max() / 10) return std::nullopt;
    return FileTimeToDate(microseconds * 10);
}

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// Without the spaces and tabs around it.
inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A stored response's head: lines ended by `separator` (a NUL in Chromium's caches, LF in
// Firefox's; a CR before it is dropped), the status line first, then "Name: value" lines. The
// first of each header the entry keeps is taken; a line without a colon is passed over.
inline void ReadResponseHeaderLines(std::string_view head, char separator, CacheEntry& entry) {
    bool first = true;
    while (!head.empty()) {
        const std::size_t end = std::min(head.find(separator), head.size());
        std::string_view line = head.substr(0, end);
        head.remove_prefix(std::min(end + 1, head.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            entry.statusLine = std::string(line);
            first = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = TrimBlanks(line.substr(0, colon));
        const std::string_view value = TrimBlanks(line.substr(colon + 1));
        if (EqualsNoCase(name, "Content-Type") && entry.contentType.empty()) entry.contentType = value;
        if (EqualsNoCase(name, "Content-Encoding") && entry.contentEncoding.empty()) entry.contentEncoding = value;
        if (EqualsNoCase(name, "Content-Length") && entry.contentLength.empty()) entry.contentLength = value;
        if (EqualsNoCase(name, "Date") && entry.date.empty()) entry.date = value;
        if (EqualsNoCase(name, "Last-Modified") && entry.serverLastModified.empty()) entry.serverLastModified = value;
        if (EqualsNoCase(name, "Server") && entry.server.empty()) entry.server = value;
        if (EqualsNoCase(name, "ETag") && entry.etag.empty()) entry.etag = value;
    }
}

}  // namespace snapsift::cachebytes
