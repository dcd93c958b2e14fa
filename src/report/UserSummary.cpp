#include "report/UserSummary.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <set>

#include "platform/CodePage.h"
#include "platform/OutputFile.h"
#include "report/CsvReport.h"
#include "text/DateText.h"
#include "text/PathText.h"
#include "text/ShownText.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The browser whose folder a cache or photo lies in, by the folders each browser keeps its
// profiles in; empty for none known.
std::string BrowserOf(std::string path) {
    static constexpr std::pair<std::string_view, std::string_view> kFolders[] = {
        {"/google/chrome/", "Chrome"},        {"/google-chrome/", "Chrome"},
        {"/microsoft/edge/", "Edge"},         {"/microsoft-edge/", "Edge"},
        {"/mozilla/firefox/", "Firefox"},     {"/.mozilla/firefox/", "Firefox"},
        {"/bravesoftware/", "Brave"},         {"/opera software/", "Opera"},
        {"/vivaldi/", "Vivaldi"},             {"/chromium/", "Chromium"},
        {"/temporary internet files/", "Internet Explorer"}, {"/inetcache/", "Internet Explorer"}};
    std::replace(path.begin(), path.end(), '\\', '/');
    path = LowerAscii(std::move(path));
    for (const auto& [folder, browser] : kFolders)
        if (path.find(folder) != std::string::npos) return std::string(browser);
    return {};
}

bool SameAsciiName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The folder under the last "Users" or "Documents and Settings" of the path, when the path goes
// on below it: the last, as a volume may be mounted in a folder below another's Users.
std::string ProfileOf(std::string_view path, char separator) {
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find(separator, at), path.size());
        names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    for (std::size_t i = names.size(); i-- > 0;)
        if (SameAsciiName(names[i], "Users") || SameAsciiName(names[i], "Documents and Settings"))
            return i + 2 < names.size() ? std::string(names[i + 1]) : std::string();
    return {};
}

std::string Joined(const std::set<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) {
        if (!joined.empty()) joined += "; ";
        joined += text;
    }
    return joined;
}

// User IDs are numbers, mostly: those in their value's order, before any other text.
bool UserIdBefore(const std::string& a, const std::string& b) {
    const auto digits = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    if (digits(a) != digits(b)) return digits(a);
    if (digits(a) && a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}


// A table's rows under a header that begins with `first`; nothing for another file.
std::optional<std::vector<std::vector<std::string>>> CsvBody(const std::string& path, std::string_view first) {
    const auto text = ReadText(path);
    auto rows = text ? ReadCsvRows(*text) : std::nullopt;
    if (!rows || rows->empty() || rows->front().empty() || rows->front().front() != first) return std::nullopt;
    rows->erase(rows->begin());
    return rows;
}

std::string SummaryPage(const std::vector<SummaryRow>& rows, bool caseSummary) {
    std::string page =
        "<html><head><title>Quorvia user IDs</title><style>table{border-collapse:collapse}td,th{border:1px solid "
        "#999;padding:2px 4px;vertical-align:top}img{max-width:64px;max-height:64px;margin:1px}</style></head><body>";
    page += kLineEnd;
    page += "<h1>Quorvia user IDs</h1><table><tr>";
    if (caseSummary) page += "<th>Run</th>";
    page += "<th>User ID</th><th>Entries</th><th>Distinct photos</th><th>Caches</th><th>Profiles</th>"
            "<th>First seen (UTC)</th><th>Last seen (UTC)</th><th>Entry numbers</th><th>Photos</th></tr>";
    page += kLineEnd;
    for (const SummaryRow& row : rows) {
        page += "<tr>";
        if (caseSummary) page += "<td>" + ReportPlainText(row.run) + "</td>";
        const std::string& userId = row.fields[0];
        page += "<td><a href=\"" + ReportPlainText(ProfileUrl(UnescapedName(userId))) + "\">" + ReportPlainText(userId) +
                "</a></td>";
        for (std::size_t column = 1; column + 1 < row.fields.size(); ++column)
            page += "<td>" + ReportPlainText(row.fields[column]) + "</td>";
        page += "<td>";
        const std::string report = ReportImageSource(row.runFolder + std::string(kReportFileName));
        for (const std::int32_t number : row.numbers)
            page += "<a href=\"" + report + "#" + ReportEntryAnchor(number) + "\">" + std::to_string(number) + "</a> ";
        page += "</td><td>";
        for (const std::string& picture : row.pictures)
            page += "<img src=\"" + ReportImageSource(row.runFolder + picture) + "\">";
        page += "</td></tr>";
        page += kLineEnd;
    }
    page += "</table></body></html>";
    page += kLineEnd;
    return page;
}

}  // namespace

SummaryEntry SummaryEntryOf(const ReportEntry& entry) {
    SummaryEntry summary;
    summary.number = entry.number;
    summary.userId = ShownText(entry.userId, ShowRule{true, entry.separator});
    summary.sha256 = entry.sha256;
    summary.profile = ShownText(ProfileOf(entry.fullPath, entry.separator), ShowRule{true, entry.separator});
    const std::string browser = BrowserOf(entry.fullPath);
    std::vector<std::optional<DateTime>> times;
    if (entry.cache) {
        const CacheRecord& cache = *entry.cache;
        summary.cache = browser.empty() ? cache.format : cache.format + " (" + browser + ")";
        times = {cache.created, cache.lastUsed, cache.lastModified, cache.requestTime, cache.responseTime,
                 cache.lastAccessed, cache.lastChecked};
    } else {
        summary.cache = browser;
        if (entry.timesAvailable && entry.timesOf.empty())
            times = {entry.timeCreated, entry.timeModified, entry.timeAccessed};
    }
    for (const auto& time : times) {
        if (!time) continue;
        const std::string text = IsoUtcText(*time);
        if (summary.first.empty() || text < summary.first) summary.first = text;
        if (summary.last.empty() || text > summary.last) summary.last = text;
    }
    if (entry.copyFileName && entry.copyMade) summary.copy = *entry.copyFileName;
    return summary;
}

std::vector<SummaryRow> SummaryRows(const std::vector<SummaryEntry>& entries) {
    std::map<std::string, std::vector<const SummaryEntry*>> byUser;
    for (const SummaryEntry& entry : entries) byUser[entry.userId].push_back(&entry);
    std::vector<SummaryRow> rows;
    rows.reserve(byUser.size());
    for (const auto& [userId, ofUser] : byUser) {
        SummaryRow row;
        std::set<std::string> photos, pictured, caches, profiles;
        std::string first, last, numbers;
        for (const SummaryEntry* entry : ofUser) {
            if (!entry->cache.empty()) caches.insert(entry->cache);
            if (!entry->profile.empty()) profiles.insert(entry->profile);
            if (!entry->first.empty() && (first.empty() || entry->first < first)) first = entry->first;
            if (entry->last > last) last = entry->last;
            if (!numbers.empty()) numbers += ' ';
            numbers += std::to_string(entry->number);
            row.numbers.push_back(entry->number);
            if (!entry->sha256.empty()) photos.insert(entry->sha256);
            // A photo's picture is its first copy.
            if (!entry->sha256.empty() && !entry->copy.empty() && pictured.insert(entry->sha256).second)
                row.pictures.push_back(entry->copy);
        }
        row.fields = {userId, std::to_string(ofUser.size()), std::to_string(photos.size()), Joined(caches),
                      Joined(profiles), first, last, numbers};
        rows.push_back(std::move(row));
    }
    return rows;
}

bool WriteSummaryFiles(const std::string& folder, std::vector<SummaryRow> rows, bool caseSummary) {
    std::stable_sort(rows.begin(), rows.end(), [](const SummaryRow& a, const SummaryRow& b) {
        if (a.fields[0] != b.fields[0]) return UserIdBefore(a.fields[0], b.fields[0]);
        return a.run < b.run;
    });
    std::vector<std::vector<std::string>> table;
    table.reserve(rows.size() + 1);
    table.emplace_back(std::begin(kSummaryColumns), std::end(kSummaryColumns));
    if (caseSummary) table.back().insert(table.back().begin(), "run");
    for (const SummaryRow& row : rows) {
        table.push_back(row.fields);
        if (caseSummary) table.back().insert(table.back().begin(), row.run);
    }
    const bool csv = WriteOutputFile(folder + std::string(kSummaryCsvFileName), CsvText(table), OutputWrite::Create);
    const bool page =
        WriteOutputFile(folder + std::string(kSummaryFileName), SummaryPage(rows, caseSummary), OutputWrite::Create);
    return csv && page;
}

std::optional<std::string> ReportSource(std::string_view report) {
    constexpr std::string_view kSource = "\r\n<b>Source:</b> ";
    const std::size_t start = report.find(kSource);
    if (start == std::string_view::npos) return std::nullopt;
    std::string_view text = report.substr(start + kSource.size());
    text = text.substr(0, text.find("<br>\r\n"));
    const CodePageUpperHalf& upper = detail::ReportCodePageUpperHalf();
    std::string source;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x80) {
            AppendUtf8(source, upper[byte - 0x80] != 0 ? upper[byte - 0x80] : U'\uFFFD');
            continue;
        }
        const std::size_t end = text.find(';', at);
        const std::string_view entity = byte == '&' && end != std::string_view::npos ? text.substr(at, end - at + 1) : "";
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
        const auto named = std::find_if(std::begin(kNamed), std::end(kNamed), [&](const auto& e) { return e.first == entity; });
        std::uint32_t code = 0;
        const bool hex = entity.starts_with("&#x");
        const std::string_view digits = entity.size() > 3 ? entity.substr(hex ? 3 : 2, entity.size() - (hex ? 4 : 3)) : "";
        if (named != std::end(kNamed)) {
            source += named->second;
        } else if (entity.starts_with("&#") && !digits.empty() &&
                   std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10).ptr ==
                       digits.data() + digits.size() &&
                   code <= 0x10FFFF) {
            AppendUtf8(source, code);
        } else {
            source += text[at];
            continue;
        }
        at = end;
    }
    return source;
}

std::optional<std::vector<SummaryRow>> ReadRunSummary(const std::string& runFolder, const std::string& seenFrom) {
    const auto summary = CsvBody(runFolder + std::string(kSummaryCsvFileName), kSummaryColumns[0]);
    const auto entries = CsvBody(runFolder + std::string(kCsvFileName), kCsvColumns[0]);
    if (!summary || !entries) return std::nullopt;
    // Each entry's copy and digest by its number, from the run's CSV.
    const auto column = [](std::string_view name) {
        return static_cast<std::size_t>(std::find(std::begin(kCsvColumns), std::end(kCsvColumns), name) - std::begin(kCsvColumns));
    };
    const std::size_t copyColumn = column("copy"), shaColumn = column("sha256");
    std::map<std::int32_t, std::pair<std::string, std::string>> copies;
    for (const auto& row : *entries) {
        std::int32_t number = 0;
        if (row.size() <= std::max(copyColumn, shaColumn) || !row[copyColumn].size() ||
            std::from_chars(row[0].data(), row[0].data() + row[0].size(), number).ec != std::errc())
            continue;
        copies[number] = {UnescapedName(row[copyColumn]), row[shaColumn]};
    }
    std::string run = std::string(WithoutTrailingSeparators(runFolder));
    run = run.substr(run.find_last_of(std::string("/") + kSeparator) + 1);
    if (const auto report = ReadText(runFolder + std::string(kReportFileName)))
        if (auto source = ReportSource(*report)) run = std::move(*source);
    std::vector<SummaryRow> rows;
    for (auto& fields : *summary) {
        if (fields.size() != std::size(kSummaryColumns)) return std::nullopt;
        SummaryRow row;
        row.run = run;
        row.runFolder = seenFrom;
        std::set<std::string> photos;
        for (std::string_view numbers = fields.back(); !numbers.empty();) {
            std::int32_t number = 0;
            const auto [end, error] = std::from_chars(numbers.data(), numbers.data() + numbers.size(), number);
            if (error != std::errc()) return std::nullopt;
            numbers.remove_prefix(static_cast<std::size_t>(end - numbers.data()));
            if (numbers.starts_with(' ')) numbers.remove_prefix(1);
            row.numbers.push_back(number);
            const auto copy = copies.find(number);
            if (copy != copies.end() && !copy->second.second.empty() && photos.insert(copy->second.second).second)
                row.pictures.push_back(copy->second.first);
        }
        row.fields = std::move(fields);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace snapsift
