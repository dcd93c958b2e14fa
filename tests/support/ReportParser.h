// The HTML report read back: its opening lines, each whole entry's fields in the order the
// report writes them, and everything after the last whole entry. A line out of its place ends
// the entries, so a report with lines swapped or cut in the middle of an entry shows it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift::test {

// Times are the text before "<br>" without the space: "3/15/2010 2:05:09 PM (UTC)" or
// "Unable to determine". status and image are "" when the entry has no such line. rows: the
// rows of what a browser's cache records of the photo, label to text ("&amp;" read as "&").
// Each entry's first line carries its anchor.
struct ParsedEntry {
    std::string path, name, status, created, modified, accessed, md5, link, userId, image;
    std::map<std::string, std::string> rows;
    std::string sameBytesAs;  // the number of the earlier entry of the same bytes; "" for none
    bool operator==(const ParsedEntry&) const = default;
};

struct ParsedReport {
    std::string header;  // the title line and any disk-image line, with their line ends
    std::vector<ParsedEntry> entries;
    std::string rest;    // the tail of a finished report; "" for one cut after a whole entry
    // The run-facts block after the opening lines, and the lines of how the run ended ("Run
    // ended:", "Result:"), each taken out of the header and the rest; "" where there are none.
    std::string runFacts, runEnd;
    // Two reports of the same evidence are equal whoever ran them, when and how they ended.
    bool operator==(const ParsedReport& other) const {
        return header == other.header && entries == other.entries && rest == other.rest;
    }
};

ParsedReport ParseReport(const std::string& report);

}  // namespace snapsift::test
