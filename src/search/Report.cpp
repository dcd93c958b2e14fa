#include "search/Report.h"

#include "platform/CodePage.h"
#include "platform/LocaleText.h"
#include "platform/OutputFile.h"
#include "platform/Utf8.h"

namespace snapsift {

namespace {

constexpr std::string_view kHeaderLine =
    "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
    "<h1>Possible Quorvia JPG files and ID's</h1><br>";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUnable = "Unable to determine<br>";
constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, unsigned char c) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0x0F];
}

void AppendTimeLine(std::string& out, std::string_view label, const std::optional<DateTime>& value) {
    out += "<b>";
    out += label;
    out += ":</b> ";
    if (value) {
        out += ReportText(FormatReportDateTime(*value));
        out += " (UTC) <br>";
    } else {
        out += kUnable;
    }
    out += kLineEnd;
}

}  // namespace

std::string ReportText(std::string_view utf8) {
    std::string out;
    std::string run;  // escaped, valid UTF-8 waiting for the code-page conversion
    const auto flush = [&] {
        if (run.empty()) return;
        out += ToReportCodePageHtml(run);
        run.clear();
    };
    for (std::size_t at = 0; at < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[at]);
        const Utf8Character character = DecodeUtf8(utf8, at);
        if (character.codePoint == kNotUtf8 || IsAsciiControl(c)) {
            flush();
            out += "&#92;x";
            AppendHex(out, c);
            ++at;
            continue;
        }
        switch (c) {
        case '&': run += "&amp;"; break;
        case '<': run += "&lt;"; break;
        case '>': run += "&gt;"; break;
        case '"': run += "&quot;"; break;
        default: run.append(utf8.substr(at, character.length));
        }
        at += character.length;
    }
    flush();
    return out;
}

std::string ReportImageSource(std::string_view fileName) {
    std::string encoded;
    for (std::size_t at = 0; at < fileName.size();) {
        const auto c = static_cast<unsigned char>(fileName[at]);
        const Utf8Character character = DecodeUtf8(fileName, at);
        if (character.codePoint == kNotUtf8 || IsAsciiControl(c) || c == '%' || c == '#' || c == '?' || c == '\\') {
            encoded += '%';
            AppendHex(encoded, c);
            ++at;
        } else {
            encoded.append(fileName.substr(at, character.length));
            at += character.length;
        }
    }
    return ReportText(encoded);
}

std::string FormatReportEntry(const ReportEntry& entry) {
    std::string out;
    out.reserve(1024);
    out += "<hr>";
    out += kLineEnd;
    out += "<b>Full path:</b> " + ReportText(entry.fullPath) + "<br>";
    out += kLineEnd;
    out += "<b>Short name:</b> " + ReportText(entry.fileName) + "<br>";
    out += kLineEnd;
    if (entry.timesAvailable) {
        AppendTimeLine(out, "Created time", entry.timeCreated);
        AppendTimeLine(out, "Modified time", entry.timeModified);
        AppendTimeLine(out, "Last Accessed time", entry.timeAccessed);
    } else {
        AppendTimeLine(out, "Created time", std::nullopt);
        AppendTimeLine(out, "Modified time", std::nullopt);
        AppendTimeLine(out, "Last Accessed time", std::nullopt);
    }
    out += "<b>MD5:</b> " + ReportText(LowerAscii(entry.digest)) + "<br>----<br>";
    out += kLineEnd;
    const std::string userId = ReportText(entry.userId);
    out += "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://";
    out += kProfileSiteHost;
    out += "/home.php?#/profile.php?id=" + userId + "\">" + userId + "</a><br><br>";
    out += kLineEnd;
    if (entry.copyFileName) {
        out += "<img src=\"" + ReportImageSource(*entry.copyFileName) + "\"><br><br>";
        out += kLineEnd;
    }
    return out;
}

bool WriteReportHeader(const std::string& reportPath) {
    std::string header(kHeaderLine);
    header += kLineEnd;
    return WriteOutputFile(reportPath, header, OutputWrite::Create);
}

bool AppendReportEntry(const std::string& reportPath, const ReportEntry& entry) {
    return WriteOutputFile(reportPath, FormatReportEntry(entry), OutputWrite::Append);
}

void AppendReportTail(const std::string& reportPath, bool aborted, std::int32_t filesFound) {
    std::string tail(aborted ? "<br><Br><hr>Operation was aborted before completion.<br>"
                             : "<hr>End of Report<br>");
    tail += kLineEnd;
    tail += "Total files found: " + std::to_string(filesFound) + "<hr>";
    tail += kLineEnd;
    tail += "</body></html>";
    tail += kLineEnd;
    WriteOutputFile(reportPath, tail, OutputWrite::Append);
}

}  // namespace snapsift
