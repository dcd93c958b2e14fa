#include "ScanRunFixture.h"

#include "platform/LocaleText.h"

namespace snapsift::test {

std::int64_t UnixSeconds(const DateTime& value) {
    int year = value.year;
    const int month = value.month;
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + value.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + value.hour * 3600 + value.minute * 60 + value.second;
}

namespace {

std::string TimeLine(const char* label, const std::optional<DateTime>& value) {
    if (!value) return std::string("<b>") + label + ":</b> Unable to determine<br>\r\n";
    return std::string("<b>") + label + ":</b> " + FormatReportDateTime(*value) + " (UTC) <br>\r\n";
}

}  // namespace

std::string EntryLines(const ExpectedEntry& entry) {
    std::string lines = "<hr>\r\n<b>Full path:</b> " + entry.pathText + "<br>\r\n<b>Short name:</b> " +
                        entry.nameText + "<br>\r\n";
    if (entry.timesAvailable) {
        lines += TimeLine("Created time", entry.created);
        lines += TimeLine("Modified time", entry.modified);
        lines += TimeLine("Last Accessed time", entry.accessed);
    } else {
        lines += TimeLine("Created time", std::nullopt);
        lines += TimeLine("Modified time", std::nullopt);
        lines += TimeLine("Last Accessed time", std::nullopt);
    }
    lines += "<b>MD5:</b> " + entry.digest + "<br>----<br>\r\n";
    lines += "<b>This photo possibly belongs to Quorvia user ID #</b> <a href=\"http://www.quorvia.com"
             "/home.php?#/profile.php?id=" + entry.userId + "\">" + entry.userId + "</a><br><br>\r\n";
    if (entry.imageSource) lines += "<img src=\"" + *entry.imageSource + "\"><br><br>\r\n";
    return lines;
}

ExpectedEntry EntryFor(const std::string& fullPath, const std::string& fileName, const std::string& userId,
                       const std::string& digest, const DateTime& accessed, const DateTime& modified) {
    ExpectedEntry entry;
    entry.pathText = fullPath;
    entry.nameText = fileName;
    entry.userId = userId;
    entry.digest = digest;
    entry.accessed = accessed;
    entry.modified = modified;
    DateTime readAccessed, readModified;
    GetFileTimes(fullPath, entry.created, readAccessed, readModified);
    return entry;
}

}  // namespace snapsift::test
