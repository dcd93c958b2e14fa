#include "report/Report.h"

#include "hash/MD5.h"
#include "platform/CodePage.h"
#include "platform/LocaleText.h"
#include "platform/OutputFile.h"
#include "text/Hex.h"
#include "text/PathText.h"
#include "text/ShownText.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

constexpr std::string_view kHeaderLine =
    "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
    "<h1>Possible Quorvia JPG files and ID's</h1><br>";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUnable = "Unable to determine<br>";
// The text for a page: markup escaped, what the show rule writes out as "&#92;xHH" per byte (and
// a doubled backslash as "&#92;&#92;"), then into the report's code page. As a name's text
// (`name`), the rule's for names; the program's own text (times, a link's target) keeps its
// other characters as they are.
std::string HtmlText(std::string_view utf8, bool name, char separator = kSeparator) {
    std::string escaped;
    escaped.reserve(utf8.size());
    ForEachShownCharacter(utf8, ShowRule{name, separator}, [&](std::string_view bytes, ShownAs how) {
        if (how == ShownAs::BytesWrittenOut) {
            for (const char c : bytes) {
                escaped += "&#92;x";
                AppendHexByte(escaped, static_cast<unsigned char>(c));
            }
            return;
        }
        if (how == ShownAs::DoubledBackslash) {
            escaped += "&#92;&#92;";
            return;
        }
        switch (bytes[0]) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += bytes;
        }
    });
    return ToReportCodePageHtml(escaped);
}

// The text as part of a URL: every byte that a name's text would write out, and every character
// of `also`, as "%HH"; the rest as it is (a backslash too: it is the URL's own character).
std::string PercentEncoded(std::string_view text, std::string_view also) {
    std::string encoded;
    ForEachShownCharacter(text, ShowRule{true, '\\'}, [&](std::string_view bytes, ShownAs how) {
        if (how == ShownAs::Itself && !(bytes.size() == 1 && also.find(bytes[0]) != std::string_view::npos)) {
            encoded += bytes;
            return;
        }
        for (const char c : bytes) {
            encoded += '%';
            AppendHexByte(encoded, static_cast<unsigned char>(c));
        }
    });
    return encoded;
}

void AppendTimeLine(std::string& out, std::string_view label, const std::optional<DateTime>& value) {
    out += "<b>";
    out += label;
    out += ":</b> ";
    if (value) {
        out += HtmlText(FormatReportDateTime(*value), false);
        out += " (UTC) <br>";
    } else {
        out += kUnable;
    }
    out += kLineEnd;
}

// The rows of a photo found in a cache: where it was fetched from, as text and never as a link
// (whoever served it chose the URL), and what the cache keeps about it. Escaped as names are,
// a backslash always written as two: none of this text is a path of the volume.
void AppendCacheRows(std::string& out, const CacheRecord& cache) {
    const auto row = [&](std::string_view label, const std::string& text) {
        if (text.empty()) return;
        out += "<b>";
        out += label;
        out += ":</b> " + ReportText(text, '/') + "<br>";
        out += kLineEnd;
    };
    const auto timeRow = [&](std::string_view label, const std::optional<DateTime>& value) {
        if (value) AppendTimeLine(out, label, value);
    };
    row("Cached from", cache.url);
    row("Cache", cache.format);
    timeRow("Cache entry created", cache.created);
    timeRow("Cache entry last used", cache.lastUsed);
    timeRow("Cache entry last modified", cache.lastModified);
    timeRow("Request time", cache.requestTime);
    timeRow("Response time", cache.responseTime);
    if (cache.fetchCount) row("Fetch count", std::to_string(*cache.fetchCount));
    if (cache.reuseCount) row("Reuse count", std::to_string(*cache.reuseCount));
    timeRow("Last modified (server)", cache.serverLastModified);
    timeRow("Last accessed", cache.lastAccessed);
    timeRow("Expires", cache.expires);
    timeRow("Last checked", cache.lastChecked);
    if (cache.hitCount) row("Hit count", std::to_string(*cache.hitCount));
    row("HTTP status", cache.statusLine);
    row("Content-Type", cache.contentType);
    row("Content-Encoding", cache.contentEncoding);
    row("Content-Length", cache.contentLength);
    row("Date", cache.date);
    row("Last-Modified", cache.lastModifiedHeader);
    row("Server", cache.server);
    row("ETag", cache.etag);
    row("MD5 of the stored bytes", LowerAscii(cache.storedDigest));
}

}  // namespace

std::string ReportText(std::string_view utf8, char separator) { return HtmlText(utf8, true, separator); }

std::string ReportPlainText(std::string_view utf8) { return HtmlText(utf8, false); }

std::string ReportEntryAnchor(std::int32_t number) { return "entry-" + std::to_string(number); }

std::string ProfileUrl(std::string_view userId) {
    return "http://" + std::string(kProfileSiteHost) + "/home.php?#/profile.php?id=" + PercentEncoded(userId, "%");
}

std::string ReportImageSource(std::string_view fileName) {
    return ReportText(PercentEncoded(fileName, "%#?\\"));
}

std::string FormatReportEntry(const ReportEntry& entry) {
    std::string out;
    out.reserve(1024);
    out += "<hr id=\"" + ReportEntryAnchor(entry.number) + "\">";
    out += kLineEnd;
    out += "<b>Full path:</b> " + ReportText(entry.fullPath, entry.separator) + "<br>";
    out += kLineEnd;
    out += "<b>Short name:</b> " + ReportText(entry.fileName, entry.separator) + "<br>";
    out += kLineEnd;
    if (entry.cache) AppendCacheRows(out, *entry.cache);
    if (!entry.status.empty()) {
        out += "<b>Status:</b> " + HtmlText(entry.status, false) + "<br>";
        out += kLineEnd;
    }
    // A shared cache file's times are labelled as that file's: they are the same for every
    // entry whose body it holds.
    const std::string of = entry.timesOf.empty() ? std::string() : " (of " + ReportText(entry.timesOf, '/') + ")";
    const auto timeLine = [&](std::string_view label, const std::optional<DateTime>& value) {
        // "Unable to determine" is what a file system does not keep; a file not opened says so.
        if (!entry.timesAvailable && entry.timesNotRead) {
            out += "<b>" + std::string(label) + of + ":</b> Not read (see Status)<br>";
            out += kLineEnd;
            return;
        }
        AppendTimeLine(out, std::string(label) + of, entry.timesAvailable ? value : std::nullopt);
    };
    timeLine("Created time", entry.timeCreated);
    timeLine("Modified time", entry.timeModified);
    timeLine("Last Accessed time", entry.timeAccessed);
    if (entry.sameBytesAs != 0) {
        const std::string first = std::to_string(entry.sameBytesAs);
        out += "<b>Same bytes as entry</b> <a href=\"#" + ReportEntryAnchor(entry.sameBytesAs) + "\">" + first + "</a><br>";
        out += kLineEnd;
    }
    out += "<b>MD5:</b> " + ReportText(LowerAscii(entry.md5 ? *entry.md5 : std::string(MD5::kFileFailureText))) + "<br>----<br>";
    out += kLineEnd;
    out += "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://";
    out += kProfileSiteHost;
    out += "/home.php?#/profile.php?id=" + HtmlText(PercentEncoded(entry.userId, "%"), false) + "\">" +
           ReportText(entry.userId) + "</a><br><br>";
    out += kLineEnd;
    if (entry.copyFileName) {
        out += "<img src=\"" + ReportImageSource(*entry.copyFileName) + "\"><br><br>";
        out += kLineEnd;
    }
    return out;
}

std::string FormatImageLine(const ImageFacts& image) {
    std::string line = "<b>Disk image:</b> " + ReportText(image.path) + " (";
    if (image.files > 1) line += std::to_string(image.files) + " files, ";
    line += std::to_string(image.bytes) + " bytes";
    using Check = ImageFacts::DataCheck;
    const auto checked = [&](const std::string& name, const std::string& data) {
        if (image.dataCheck == Check::Matches) return std::string(", checked: it matches the image's data");
        return ", checked: it does NOT match (the data's " + name + " is " + ReportText(data) + ")";
    };
    if (image.hasStoredMd5)
        line += image.storedMd5.empty() ? "; no MD5 stored in the image"
                                        : "; MD5 stored in the image: " + ReportText(image.storedMd5);
    if (image.dataCheck == Check::Matches || image.dataCheck == Check::DoesNotMatch)
        line += image.storedMd5.empty()
                    ? "; SHA-1 stored in the image: " + ReportText(image.storedSha1) + checked("SHA-1", image.dataSha1)
                    : checked("MD5", image.dataMd5);
    else if (image.dataCheck == Check::NothingStored)
        line += std::string(image.hasStoredMd5 ? "" : "; no digest stored in the image") +
                ", so its data could not be checked; the data's MD5 is " + ReportText(image.dataMd5);
    else if (image.dataCheck == Check::Unreadable)
        line += "; its data could not be read whole, so it was not checked";
    else if (!image.storedMd5.empty())
        line += ", not checked against the image's data";
    line += ")<br>";
    line += kLineEnd;
    return line;
}

std::string FormatRunFacts(const RunFacts& run) {
    std::string block;
    const auto row = [&](std::string_view label, const std::string& text) {
        block += "<b>";
        block += label;
        block += ":</b> " + ReportText(text) + "<br>";
        block += kLineEnd;
    };
    row("Source", run.source);
    row("Searched", run.mode);
    row("Options", run.options);
    AppendTimeLine(block, "Run started", run.started);
    row("Program", run.program);
    row("Host", run.host);
    row("User", run.user);
    block += "<b>Result:</b> written at the end of this report when the run ends; a report without it did not "
             "finish<br>";
    block += kLineEnd;
    return block;
}

bool WriteReportHeader(const std::string& reportPath, const ImageFacts* image, const RunFacts* run) {
    std::string header(kHeaderLine);
    header += kLineEnd;
    if (image != nullptr) header += FormatImageLine(*image);
    if (run != nullptr) header += FormatRunFacts(*run);
    return WriteOutputFile(reportPath, header, OutputWrite::Create);
}

bool AppendReportEntry(const std::string& reportPath, const ReportEntry& entry) {
    return WriteOutputFile(reportPath, FormatReportEntry(entry), OutputWrite::Append);
}

bool AppendImageDamageWarning(const std::string& reportPath, std::uint64_t damagedParts) {
    std::string line = "<b>Warning:</b> damaged parts of the disk image, read as zeros: " +
                       std::to_string(damagedParts) + ". What lay in them may be missing from this report.<br>";
    line += kLineEnd;
    return WriteOutputFile(reportPath, line, OutputWrite::Append);
}

namespace {

// A closing line, then the names it counts, one to a line, escaped as names are.
void AppendClosingLine(std::string& out, const ClosingLine& line) {
    out += HtmlText(line.text, false) + "<br>";
    out += kLineEnd;
    for (const auto& [name, separator] : line.names) {
        out += "&nbsp;&nbsp;&nbsp;&nbsp;" + ReportText(name, separator) + "<br>";
        out += kLineEnd;
    }
    if (line.unnamed != 0) {
        out += "&nbsp;&nbsp;&nbsp;&nbsp;and " + std::to_string(line.unnamed) + " more, not named here<br>";
        out += kLineEnd;
    }
}

}  // namespace

bool AppendReportTail(const std::string& reportPath, bool aborted, std::int32_t filesFound,
                      const std::vector<ClosingLine>& problems, const std::vector<ClosingLine>& facts,
                      const RunEnd* end) {
    std::string tail(aborted ? "<br><Br><hr>Operation was aborted before completion.<br>"
                             : "<hr>End of Report<br>");
    tail += kLineEnd;
    tail += "Total files found: " + std::to_string(filesFound) + "<hr>";
    tail += kLineEnd;
    if (!problems.empty()) {
        tail += "<b>This report is not complete:</b><br>";
        tail += kLineEnd;
        for (const ClosingLine& problem : problems) AppendClosingLine(tail, problem);
    }
    if (!facts.empty()) {
        tail += "<b>Notes:</b><br>";
        tail += kLineEnd;
        for (const ClosingLine& fact : facts) AppendClosingLine(tail, fact);
    }
    if (end != nullptr) {
        AppendTimeLine(tail, "Run ended", end->ended);
        tail += "<b>Result:</b> " + HtmlText(end->result, false) + "<br>";
        tail += kLineEnd;
    }
    tail += "</body></html>";
    tail += kLineEnd;
    return WriteOutputFile(reportPath, tail, OutputWrite::Append);
}

}  // namespace snapsift
