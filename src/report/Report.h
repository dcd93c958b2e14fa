// The HTML report "Quorvia JPG Files.htm": its lines, and the kinds of write (header, entry,
// warning, tail), each of which opens the file, writes and closes it again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <string_view>
#include <utility>

#include "text/DateTime.h"
#include "text/PathText.h"
#include "report/ImageFacts.h"

namespace snapsift {

inline constexpr std::string_view kReportFileName = "Quorvia JPG Files.htm";
inline constexpr std::string_view kProfileSiteHost = "www.quorvia.com";

// What a browser's cache records about the entry a photo was found in. Text as in ReportEntry.
struct CacheRecord {
    std::string url;     // as stored
    std::string format;  // "Chromium blockfile cache", ..., "Internet Explorer index.dat"
    std::optional<DateTime> created, lastUsed, lastModified, requestTime, responseTime;
    std::optional<std::uint32_t> fetchCount;
    std::optional<std::uint32_t> reuseCount;  // Chromium's blockfile: the uses after the first fetch
    // What the old cache's index.dat keeps of a file: the server's Last-Modified, the last access,
    // the expiry, the last check against the server, and the hits.
    std::optional<DateTime> serverLastModified, lastAccessed, expires, lastChecked;
    std::optional<std::uint32_t> hitCount;
    std::string statusLine, contentType, contentEncoding;  // empty: not stored
    // The stored response's Date, Last-Modified, Server, ETag and Content-Length as sent.
    std::string date, lastModifiedHeader, server, etag, contentLength;
    std::string storedDigest;  // the stored bytes' MD5 when the body was decoded; else empty
};

// What one report entry says about one recognised file. Text is UTF-8 (or the raw bytes
// of a name that is not valid UTF-8); the writer escapes and encodes it.
struct ReportEntry {
    std::string fullPath;
    std::string fileName;
    bool timesAvailable = false;             // false: all three "Unable to determine"
    bool timesNotRead = false;               // with it: the file could not be opened, so its times were not read
    std::optional<DateTime> timeCreated;     // empty alone: only the created time unknown
    DateTime timeModified;
    DateTime timeAccessed;
    std::optional<std::string> md5;          // 32 hex digits; none when the file could not be read whole
    std::string userId;
    std::optional<std::string> copyFileName; // set when the image line is written
    bool copyMade = false;                   // the copy was made whole
    std::string status = {};                 // what became of a deleted file; empty for a present one
    char separator = kSeparator;             // between the names of fullPath
    std::optional<CacheRecord> cache;        // set for a photo found in a browser's cache
    std::int32_t number = 0;                 // the entry's number in the run, from 1
    std::string sha256;                      // 64 lower-case hexadecimal digits; empty when none
    // Whose times the three time rows are when they are not the photo's own file's: a cache file
    // that holds the bodies of several entries ("data_2, shared by 7 entries"). Empty for a file
    // of its own.
    std::string timesOf;
    // The number of the run's first entry with the same SHA-256, for an entry that repeats one;
    // 0 for the first of its bytes.
    std::int32_t sameBytesAs = 0;
};

// What the report says of the run itself, in a block after its header lines: what was searched
// and how, when it began (UTC), by which program, on which host and as whom. How it ended is
// said at the end of the report, so that a report cut short never claims to have finished.
struct RunFacts {
    std::string source;   // the drive, folder or image searched
    std::string mode;     // "the profile folders (Users, Documents and Settings)", "the folder and its subfolders"
    std::string options;  // "photos copied; deleted cache entries not reported"
    DateTime started;     // UTC
    std::string program, host, user;
};
// How the run ended, for the report's last lines.
struct RunEnd {
    DateTime ended;      // UTC
    std::string result;  // "complete", "not complete: see the lines above", "aborted after entry 12"
};
// A closing line: a count's text and, under it, the names of what it counts (each with the
// separator between the names of its path).
struct ClosingLine {
    std::string text;
    std::vector<std::pair<std::string, char>> names;
    std::uint64_t unnamed = 0;  // counted but not named (past the names kept)
};

// Creates (or empties) the report and writes its header line, followed, for a disk image, by
// the line that names the image, and the run's facts. False when it cannot be made or the
// header cannot be written.
bool WriteReportHeader(const std::string& reportPath, const ImageFacts* image = nullptr,
                       const RunFacts* run = nullptr);
// The run-facts block's lines.
std::string FormatRunFacts(const RunFacts& run);
// The line that names a disk image: its path, its size, its number of files when more than
// one, and for a format that keeps one, the MD5 digest stored in it.
std::string FormatImageLine(const ImageFacts& image);
// Appends one entry in a single write. False when the report cannot be opened for appending
// or the entry cannot be written whole (then nothing of it stays in the file).
bool AppendReportEntry(const std::string& reportPath, const ReportEntry& entry);
// Appends the warning that `damagedParts` parts of the disk image were read as zeros, before the
// tail. False when it cannot be written whole.
bool AppendImageDamageWarning(const std::string& reportPath, std::uint64_t damagedParts);
// Appends the tail (aborted or completed form, totals, and under them what only happened, each
// with the names it counts; then how the run ended); with problems, the lines
// saying what the run could not do come under the totals, before the closing line. False when it
// cannot be written whole: the report then ends after its last entry, with no word of how the
// run ended.
bool AppendReportTail(const std::string& reportPath, bool aborted, std::int32_t filesFound,
                      const std::vector<ClosingLine>& problems = {}, const std::vector<ClosingLine>& facts = {},
                      const RunEnd* end = nullptr);

// The anchor of an entry's first line ("entry-12"), to which the summary links.
std::string ReportEntryAnchor(std::int32_t number);
// The program's own text (a time, a count, a name already shown as text) for a page: markup
// escaped, into the report's code page.
std::string ReportPlainText(std::string_view utf8);

// The profile link's target for a user ID: the user ID percent-encoded as the report's link
// writes it.
std::string ProfileUrl(std::string_view userId);

// The entry's lines, each ending in CR LF, already in the report's code page. The profile
// link's target holds the user ID with "%" and every byte that ReportText would write as
// "\xHH" percent-encoded, its backslashes single; the link's text is ReportText.
std::string FormatReportEntry(const ReportEntry& entry);
// A name (a path, a file name, a user ID) as the report's text: HTML-escaped ("&amp;", "&lt;",
// "&gt;", "&quot;") and encoded into the report's code page, characters it cannot hold as
// numeric references. What cannot be shown as itself is written "\xHH" for each of its bytes,
// two upper-case hex digits, the backslash as the reference "&#92;": bytes that are not valid
// UTF-8, the characters IsUnshowable (text/Utf8.h) names (controls, C1 controls, bidirectional controls,
// invisible format characters, white space other than the plain space), and a plain space
// that follows another. Where a backslash is no separator (everywhere but Windows) a name's
// own backslash is written as two, "&#92;&#92;", so that read left to right "\\" is one
// backslash and "\xHH" one byte; on Windows a backslash is written as itself. `separator`
// names the separator between the names of a path: where it is "\" (Windows, disk images)
// a backslash is written as itself.
std::string ReportText(std::string_view utf8, char separator = kSeparator);
// A copy's file name as the src of an image line: "%", "#", "?", "\" and every byte that
// ReportText would write as "\xHH" percent-encoded ("%HH"), so that the browser asks for the
// file's own bytes; then as text.
std::string ReportImageSource(std::string_view fileName);

}  // namespace snapsift
