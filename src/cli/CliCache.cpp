#include "cli/CliCache.h"

#include "cli/Console.h"
#include "cli/ConsoleText.h"
#include "platform/DirectoryListing.h"
#include "report/CsvReport.h"
#include "text/DateText.h"
#include "cli/CacheListing.h"
#include "text/PathText.h"
#include "text/Utf8.h"
#include "volume/LiveVolume.h"

namespace snapsift::cli {

namespace {

// A field as the terminal would show it, so that a tab, a line break or a control character in
// a URL can never split or hide a row, nor a URL's "\xFF" read as the byte; and as a spreadsheet
// may take it, since much of it is the server's text. separator: the one between the names of
// a path in the field (a URL's backslash is its own character, doubled).
std::string Field(std::string_view text, char separator = '/') {
    std::string field = TerminalText(text, false, separator);
    if (field.ends_with('\n')) field.pop_back();
    return SpreadsheetSafe(std::move(field));
}

std::string FormatText(CacheFormat format) {
    switch (format) {
    case CacheFormat::ChromiumBlockfile: return "chromium-blockfile";
    case CacheFormat::ChromiumSimple: return "chromium-simple";
    case CacheFormat::FirefoxCache2: return "firefox-cache2";
    case CacheFormat::ChromiumSql: return "chromium-sql";
    case CacheFormat::InternetExplorerIndexDat: return "ie-index.dat";
    case CacheFormat::FirefoxLegacy: return "firefox-legacy";
    }
    return {};
}

// "200" from "HTTP/1.1 200 OK"; the whole line when it has no such code.
std::string StatusCode(std::string_view statusLine) {
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) return std::string(statusLine);
    std::string_view rest = statusLine.substr(space + 1);
    return std::string(rest.substr(0, rest.find(' ')));
}

std::string TimeText(const std::optional<DateTime>& value) { return value ? IsoUtcText(*value) : std::string(); }

}  // namespace

int ListCacheFolder(const std::string& folder) {
    // The old cache's index.dat is named as a file, under any name: what is not a folder is read
    // as one when its first bytes are an index.dat's. The other caches are named by their folder.
    const std::string name = folder.substr(folder.find_last_of(kSeparator) + 1);
    const CacheListing listing = !FolderExists(folder)
                                     ? ListIndexDat(LiveVolume(), folder.substr(0, folder.size() - name.size()), name)
                                     : ListCache(LiveVolume(), folder);
    if (!listing.isCache) {
        Write(Stream::Err, TerminalText(listing.problem.Empty()
                                            ? "Not a browser cache that this program reads: " + folder
                                            : "The cache could not be read: " + folder + ": " + listing.problem.Text()));
        return 2;
    }
    std::string out =
        "url\tformat\thttp_status\tcontent_type\tcontent_encoding\tstored_bytes\tbody_md5\tcreated\tlast_used\tsource\tnote\n";
    for (const CacheListingRow& row : listing.rows) {
        const CacheEntry& entry = row.entry;
        std::string note = row.findings.Text();
        if (entry.deleted) note = note.empty() ? "deleted" : "deleted; " + note;
        const std::string fields[] = {entry.url,
                                      FormatText(entry.format),
                                      StatusCode(entry.statusLine),
                                      entry.contentType,
                                      entry.contentEncoding,
                                      row.storedBytes ? std::to_string(*row.storedBytes) : std::string(),
                                      row.bodyMd5 ? LowerAscii(*row.bodyMd5) : std::string(),
                                      TimeText(entry.created),
                                      TimeText(entry.lastUsed),
                                      row.source,
                                      note};
        constexpr std::size_t kSourceField = 9;
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i != 0) out += '\t';
            // The source names a file of the cache, an old cache's as "<folder>\<name>".
            out += Field(fields[i], i == kSourceField ? '\\' : '/');
        }
        out += '\n';
    }
    Write(Stream::Out, out);
    for (const std::string& name : listing.notEntries)
        Write(Stream::Err, TerminalText("Not a cache entry: " + name));
    if (!listing.problem.Empty())
        Write(Stream::Err, TerminalText("Part of the cache could not be read: " + listing.problem.Text()));
    return listing.Whole() ? 0 : 3;
}

}  // namespace snapsift::cli
