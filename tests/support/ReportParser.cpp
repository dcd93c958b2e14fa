#include "support/ReportParser.h"

#include <regex>

namespace snapsift::test {

ParsedReport ParseReport(const std::string& report) {
    static const std::regex kEntry(
        "<hr id=\"entry-[1-9][0-9]*\">\r\n<b>Full path:</b> ([^\r\n]*)<br>\r\n<b>Short name:</b> ([^\r\n]*)<br>\r\n"
        // A photo found in a browser's cache: the rows of what the cache records.
        "((?:<b>(?!Status:|Created time)[^<\r\n]*:</b> [^\r\n]*<br>\r\n)*)"
        "(?:<b>Status:</b> ([^\r\n]*)<br>\r\n)?"
        // The times of a file shared by several cache entries are labelled as that file's.
        "<b>Created time(?: \\(of [^)<\r\n]*\\))?:</b> ([^\r\n]*?) ?<br>\r\n"
        "<b>Modified time(?: \\(of [^)<\r\n]*\\))?:</b> ([^\r\n]*?) ?<br>\r\n"
        "<b>Last Accessed time(?: \\(of [^)<\r\n]*\\))?:</b> ([^\r\n]*?) ?<br>\r\n"
        // An entry whose bytes an earlier entry has: a link to that one.
        "(?:<b>Same bytes as entry</b> <a href=\"#entry-([0-9]+)\">\\8</a><br>\r\n)?<b>MD5:</b> ([^\r\n<]*)<br>----<br>\r\n"
        "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"([^\"\r\n]*)\">([^\r\n]*)</a><br><br>\r\n"
        "(?:<img src=\"([^\"\r\n]*)\"><br><br>\r\n)?");
    ParsedReport parsed;
    std::size_t at = 0;
    while (at < report.size() && report.compare(at, 3, "<hr") != 0 && report.compare(at, 8, "<br><Br>") != 0) {
        const std::size_t end = report.find("\r\n", at);
        at = end == std::string::npos ? report.size() : end + 2;
    }
    parsed.header = report.substr(0, at);
    // The run's facts close the opening lines, from "Source:" to the "Result:" line.
    if (const std::size_t facts = parsed.header.find("<b>Source:</b> "); facts != std::string::npos) {
        parsed.runFacts = parsed.header.substr(facts);
        parsed.header.resize(facts);
    }
    static const std::regex kRow("<b>([^<\r\n]*):</b> ([^\r\n]*)<br>\r\n"), kAmp("&amp;");
    auto from = report.cbegin() + static_cast<std::ptrdiff_t>(at);
    for (std::smatch m; std::regex_search(from, report.cend(), m, kEntry, std::regex_constants::match_continuous);
         from = m[0].second) {
        parsed.entries.push_back({m[1], m[2], m[4], m[5], m[6], m[7], m[9], m[10], m[11], m[12], {}, m[8]});
        const std::string rows = m[3];
        for (std::sregex_iterator row(rows.begin(), rows.end(), kRow), end; row != end; ++row)
            parsed.entries.back().rows[(*row)[1]] = std::regex_replace(std::string((*row)[2]), kAmp, "&");
    }
    parsed.rest.assign(from, report.cend());
    // How the run ended: its last lines before "</body></html>".
    if (const std::size_t ended = parsed.rest.find("<b>Run ended:</b> "); ended != std::string::npos) {
        const std::size_t close = parsed.rest.find("</body></html>", ended);
        parsed.runEnd = parsed.rest.substr(ended, close == std::string::npos ? std::string::npos : close - ended);
        parsed.rest.erase(ended, parsed.runEnd.size());
    }
    return parsed;
}

}  // namespace snapsift::test
