#include "report/RunFiles.h"

#include <algorithm>
#include "text/Hex.h"
#include <array>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <system_error>

#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "hash/Sha256.h"
#include "platform/OutputFile.h"
#include "platform/RunFolderFile.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "report/UserSummary.h"
#include "text/PathText.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return std::nullopt;
    return bytes;
}

// Hands the file's bytes to `consume` piece by piece; false when it cannot be opened or read.
template <class Consume>
bool ReadInPieces(const std::string& path, Consume consume) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    if (!in) return false;
    std::string buffer(1 << 16, '\0');
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        consume(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    return !in.bad();
}

// The spreadsheet form's rows under its header, with their fields found by column name.
struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    std::size_t Column(std::string_view name) const {
        const auto found = std::find(header.begin(), header.end(), name);
        return found == header.end() ? std::string_view::npos : static_cast<std::size_t>(found - header.begin());
    }
    // The field, or nothing where the column or the row's field is missing.
    static std::string_view Field(const std::vector<std::string>& row, std::size_t column) {
        return column < row.size() ? std::string_view(row[column]) : std::string_view();
    }
};

// The spreadsheet form's text as a table. A last row cut short (the run killed while it was
// written) is left out, and cutShort says so.
std::optional<CsvTable> ParseCsvTable(std::string_view text, bool* cutShort = nullptr) {
    auto rows = ReadCsvRows(text);
    if (!rows) {
        const std::size_t lastEnd = text.rfind("\r\n");
        if (lastEnd != std::string::npos) rows = ReadCsvRows(text.substr(0, lastEnd + 2));
        if (rows && cutShort != nullptr) *cutShort = true;
    }
    if (!rows || rows->empty() || rows->front().empty() || rows->front().front() != kCsvColumns[0]) return std::nullopt;
    CsvTable table;
    table.header = std::move(rows->front());
    table.rows.assign(std::make_move_iterator(rows->begin() + 1), std::make_move_iterator(rows->end()));
    return table;
}

// The run's spreadsheet form, read from its file.
std::optional<CsvTable> ReadCsvTable(const std::string& runFolder) {
    const auto text = ReadWhole(PathFromText(runFolder + std::string(kCsvFileName)));
    if (!text) return std::nullopt;
    return ParseCsvTable(*text);
}

// Appends the text as a JSON string: the fields of the spreadsheet form hold no control
// character, but quotes and backslashes are escaped all the same, as any control would be.
void AppendJsonString(std::string& json, std::string_view text) {
    static constexpr auto kEscaped = [] {
        std::array<bool, 256> escaped{};
        for (int c = 0; c < 0x20; ++c) escaped[c] = true;
        escaped['"'] = escaped['\\'] = true;
        return escaped;
    }();
    json += '"';
    std::size_t plainFrom = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (!kEscaped[static_cast<unsigned char>(c)]) continue;
        json.append(text.substr(plainFrom, at - plainFrom));
        plainFrom = at + 1;
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else {
            json += "\\u00";
            AppendHexByte(json, static_cast<unsigned char>(c), HexCase::Lower);
        }
    }
    json.append(text.substr(plainFrom));
    json += '"';
}

// The timeline: one line per time of every row, in time order.
std::string TimelineText(const CsvTable& table) {
    static constexpr std::pair<std::string_view, std::string_view> kTimes[] = {
        {"created", "Created time"},
        {"modified", "Modified time"},
        {"accessed", "Last Accessed time"},
        {"cache_created", "Cache entry created"},
        {"cache_last_used", "Cache entry last used"}};
    struct Event {
        std::string_view when;  // "2026-12-07T12:34:56Z": sorts as time does
        std::size_t row, kind;
    };
    // The first three are the photo's own file's times; a row whose times are those of a file
    // shared by several cache entries ("times_of") has no event of them.
    constexpr std::size_t kOwnFileTimes = 3;
    const std::size_t timesOfColumn = table.Column("times_of");
    std::vector<Event> events;
    for (std::size_t k = 0; k < std::size(kTimes); ++k) {
        const std::size_t column = table.Column(kTimes[k].first);
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            if (k < kOwnFileTimes && !CsvTable::Field(table.rows[r], timesOfColumn).empty()) continue;
            if (const std::string_view when = CsvTable::Field(table.rows[r], column); !when.empty())
                events.push_back({when, r, k});
        }
    }
    // Equal times keep the entry's order, then created, modified, accessed.
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.when != b.when ? a.when < b.when : a.row != b.row ? a.row < b.row : a.kind < b.kind;
    });
    const std::size_t entryColumn = table.Column("entry"), pathColumn = table.Column("full_path"),
                      md5Column = table.Column("md5"), shaColumn = table.Column("sha256"),
                      userColumn = table.Column("user_id");
    // What a row's events share, escaped once: the path for the message, and the attributes.
    struct RowText {
        std::string path, attributes;
    };
    std::vector<std::optional<RowText>> rowTexts(table.rows.size());
    const auto rowText = [&](std::size_t r) -> const RowText& {
        if (!rowTexts[r]) {
            const auto& row = table.rows[r];
            RowText text;
            std::string quotedPath;
            AppendJsonString(quotedPath, CsvTable::Field(row, pathColumn));
            text.path = quotedPath.substr(1, quotedPath.size() - 2);
            text.attributes = ",\"entry\":";
            AppendJsonString(text.attributes, CsvTable::Field(row, entryColumn));
            text.attributes += ",\"full_path\":" + quotedPath + ",\"md5\":";
            AppendJsonString(text.attributes, CsvTable::Field(row, md5Column));
            text.attributes += ",\"sha256\":";
            AppendJsonString(text.attributes, CsvTable::Field(row, shaColumn));
            text.attributes += ",\"user_id\":";
            AppendJsonString(text.attributes, CsvTable::Field(row, userColumn));
            text.attributes += "}\n";
            rowTexts[r] = std::move(text);
        }
        return *rowTexts[r];
    };
    std::string timeline;
    timeline.reserve(events.size() * 448);
    for (const Event& event : events) {
        const RowText& text = rowText(event.row);
        const std::string_view description = kTimes[event.kind].second;
        std::string_view when = event.when;
        const bool utc = when.ends_with('Z');
        if (utc) when.remove_suffix(1);
        timeline += "{\"message\":\"";
        timeline += description;
        timeline += ": ";
        timeline += text.path;
        timeline += "\",\"datetime\":";
        AppendJsonString(timeline, when);
        if (utc) timeline.insert(timeline.size() - 1, "+00:00");
        timeline += ",\"timestamp_desc\":\"";
        timeline += description;
        timeline += '"';
        timeline += text.attributes;
    }
    return timeline;
}

}  // namespace

std::string DigestListLine(std::string_view sha256, std::string_view name) {
    std::string escaped;
    bool needsEscape = false;
    for (const char c : name) {
        switch (c) {
        case '\\': escaped += "\\\\"; needsEscape = true; break;
        case '\n': escaped += "\\n"; needsEscape = true; break;
        case '\r': escaped += "\\r"; needsEscape = true; break;
        default: escaped += c;
        }
    }
    return (needsEscape ? "\\" : "") + std::string(sha256) + "  " + escaped + "\n";
}

std::vector<std::optional<std::pair<std::string, std::string>>> ReadDigestList(std::string_view text) {
    std::vector<std::optional<std::pair<std::string, std::string>>> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const bool escaped = line.starts_with('\\');
        if (escaped) line.remove_prefix(1);
        if (line.size() < 66 || line.substr(64, 2) != "  " ||
            line.substr(0, 64).find_first_not_of("0123456789abcdef") != std::string_view::npos) {
            lines.emplace_back();
            continue;
        }
        std::string name;
        bool good = true;
        for (std::size_t i = 66; i < line.size(); ++i) {
            if (!escaped || line[i] != '\\') {
                name += line[i];
                continue;
            }
            if (++i == line.size()) {
                good = false;
                break;
            }
            switch (line[i]) {
            case '\\': name += '\\'; break;
            case 'n': name += '\n'; break;
            case 'r': name += '\r'; break;
            default: good = false;
            }
        }
        if (good)
            lines.emplace_back(std::pair(std::string(line.substr(0, 64)), std::move(name)));
        else
            lines.emplace_back();
    }
    return lines;
}

std::optional<std::string> FileSha256(const std::string& path) {
    Sha256 sha;
    if (!ReadInPieces(path, [&](std::string_view piece) { sha.Update(piece); })) return std::nullopt;
    return sha.Final();
}

namespace {

// The names of the regular files in the run folder; nothing when it cannot be listed.
std::optional<std::vector<std::string>> RunFolderFileNames(const std::string& runFolder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(PathFromText(runFolder), error)) {
        if (!file.is_regular_file(error)) continue;
        const std::u8string name = file.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    if (error) return std::nullopt;
    return names;
}

// Writes the digest list of the named files (the list itself left out). `known` holds digests
// already known by file name, to which those of the copies made whole, from their rows, are
// added; every other file is read.
bool WriteDigestList(const std::string& runFolder, std::vector<std::string> names, const std::optional<CsvTable>& table,
                     std::map<std::string, std::string> known) {
    if (table) {
        const std::size_t copyColumn = table->Column("copy"), shaColumn = table->Column("sha256");
        for (const auto& row : table->rows) {
            const std::string_view copy = CsvTable::Field(row, copyColumn), sha256 = CsvTable::Field(row, shaColumn);
            if (!copy.empty() && !sha256.empty()) known[UnescapedName(copy)] = std::string(sha256);
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::string list;
    bool whole = true;
    for (const std::string& name : names) {
        if (name == kDigestListFileName) continue;
        const auto entryDigest = known.find(name);
        std::optional<std::string> sha256 =
            entryDigest != known.end() ? std::optional(entryDigest->second) : FileSha256(runFolder + name);
        if (!sha256) {
            whole = false;
            continue;
        }
        list += DigestListLine(*sha256, name);
    }
    return WriteOutputFile(runFolder + std::string(kDigestListFileName), list, OutputWrite::Create) && whole;
}

}  // namespace

int WriteTimelineAndDigestList(const std::string& runFolder) {
    // The report and the spreadsheet form are finished: their digests, and the folder's list of
    // files, are taken on another thread while the timeline is made (or here, when no thread can
    // be started). The timeline, which may not be there yet when the folder is listed, is added
    // by its name.
    struct FinishedFiles {
        std::optional<std::string> reportDigest, csvDigest;
        std::optional<std::vector<std::string>> names;
    };
    const auto finishedFiles = [&runFolder] {
        return FinishedFiles{FileSha256(runFolder + std::string(kReportFileName)),
                             FileSha256(runFolder + std::string(kCsvFileName)), RunFolderFileNames(runFolder)};
    };
    std::future<FinishedFiles> finished;
    try {
        finished = std::async(std::launch::async, finishedFiles);
    } catch (const std::system_error&) {
        finished = std::async(std::launch::deferred, finishedFiles);
    }
    int notWhole = 0;
    std::map<std::string, std::string> known;
    bool timelineWritten = false;
    const std::optional<CsvTable> table = ReadCsvTable(runFolder);
    if (!table) {
        ++notWhole;
    } else {
        const std::string timeline = TimelineText(*table);
        timelineWritten = WriteOutputFile(runFolder + std::string(kTimelineFileName), timeline, OutputWrite::Create);
        if (timelineWritten)
            known[std::string(kTimelineFileName)] = Sha256::Of(timeline);
        else
            ++notWhole;
    }
    FinishedFiles files = finished.get();
    // A file that could not be read there is tried once more with the rest.
    if (files.reportDigest) known[std::string(kReportFileName)] = *files.reportDigest;
    if (files.csvDigest) known[std::string(kCsvFileName)] = *files.csvDigest;
    if (!files.names) {
        ++notWhole;
    } else {
        if (timelineWritten) files.names->emplace_back(kTimelineFileName);
        if (!WriteDigestList(runFolder, std::move(*files.names), table, std::move(known))) ++notWhole;
    }
    return notWhole;
}

namespace {

// What a check keeps of a file's bytes besides its digests.
enum class Keep { Nothing, Whole, TotalLine };

// The report's tail starts so, completed or aborted, and says "Total files found" on its next
// line. No entry holds such a line: an entry's text is escaped ("<" as "&lt;").
constexpr std::string_view kTailStarts[] = {"<hr>End of Report<br>\r\n",
                                            "<hr>Operation was aborted before completion.<br>\r\n"};
constexpr std::size_t kLongestTailStart = std::max(kTailStarts[0].size(), kTailStarts[1].size());
// What is kept after the tail's start: enough for the total's line.
constexpr std::size_t kTotalLineBytes = 64;

// Keeps what follows the last start of a tail in bytes given piece by piece, a start split
// between two pieces included.
class TailStartFinder {
public:
    void Take(std::string_view piece) {
        if (found_ && after_.size() < kTotalLineBytes) after_.append(piece.substr(0, kTotalLineBytes - after_.size()));
        window_.append(piece);
        std::size_t end = std::string::npos;
        for (const std::string_view start : kTailStarts)
            if (const std::size_t at = window_.rfind(start); at != std::string::npos)
                end = end == std::string::npos ? at + start.size() : std::max(end, at + start.size());
        if (end != std::string::npos) {
            found_ = true;
            after_ = window_.substr(end, kTotalLineBytes);
        }
        window_.erase(0, window_.size() - std::min(window_.size(), kLongestTailStart - 1));
    }
    bool Found() const { return found_; }
    std::string& After() { return after_; }

private:
    std::string window_, after_;
    bool found_ = false;
};

// One file of the run folder, read once.
struct FileRead {
    std::optional<RunEntryKind> kind;  // what is there; nothing when it could not be looked at or opened
    bool read = false;                 // a regular file, read to its size at the open without a failure
    bool whole = false;                // read, and neither shorter nor longer now than at the open
    std::string md5, sha256;           // lower-case hexadecimal; md5 only when asked for
    std::string kept;                  // Whole: the bytes; TotalLine: what follows the tail's start
    bool tailFound = false;            // TotalLine: the report has a tail
};

FileRead ReadRunFile(const RunFolder& folder, const std::string& name, bool withMd5, Keep keep) {
    FileRead result;
    RunFolderFile file;
    result.kind = file.Open(folder, name);
    if (result.kind != RunEntryKind::File) return result;
    Md5Sha256 engine;
    TailStartFinder tail;
    std::string buffer(1 << 16, '\0');
    std::uint64_t total = 0;
    for (;;) {
        const std::int64_t got = file.Read(buffer.data(), buffer.size());
        if (got < 0) return result;
        if (got == 0) break;
        const std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
        engine.Update(std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
        total += static_cast<std::uint64_t>(got);
        if (keep == Keep::Whole) result.kept += piece;
        if (keep == Keep::TotalLine) tail.Take(piece);
    }
    if (keep == Keep::TotalLine) {
        result.tailFound = tail.Found();
        result.kept = std::move(tail.After());
    }
    result.read = true;
    result.whole = total == file.Size() && file.SizeUnchanged();
    Md5Sha256::Digests digests = engine.Final();
    result.sha256 = std::move(digests.sha256);
    if (withMd5 && digests.md5) result.md5 = LowerAscii(*digests.md5);
    return result;
}

// Names a file that was not read for why; true for one that was.
bool Accounted(RunCheck& check, const std::string& name, const FileRead& file) {
    if (!file.kind) {
        check.unreadable.push_back(name);
        return false;
    }
    switch (*file.kind) {
    case RunEntryKind::File:
        if (!file.read) check.unreadable.push_back(name);
        return file.read;
    case RunEntryKind::Missing: check.missing.push_back(name); break;
    case RunEntryKind::Link: check.notFiles.push_back({NotAFile::Why::Link, name}); break;
    case RunEntryKind::Folder: check.notFiles.push_back({NotAFile::Why::Folder, name}); break;
    case RunEntryKind::Special: check.notFiles.push_back({NotAFile::Why::Special, name}); break;
    }
    return false;
}

// The report's "Total files found" from what follows its tail's start: the number, then the
// next fact ("<br>") or the rule ("<hr>"). No tail at all is a run killed before its end.
void ReadReportTotal(const FileRead& report, RunCheck& check) {
    if (!report.tailFound) return;
    constexpr std::string_view kTotal = "Total files found: ";
    const std::string_view line = report.kept;
    const std::size_t end = line.starts_with(kTotal) ? line.find_first_not_of("0123456789", kTotal.size())
                                                     : std::string_view::npos;
    if (end == std::string_view::npos || end == kTotal.size() || end - kTotal.size() > 18 ||
        !(line.substr(end).starts_with("<br>") || line.substr(end).starts_with("<hr>"))) {
        check.reportTotalUnreadable = true;
        return;
    }
    check.reportTotal = std::stoull(std::string(line.substr(kTotal.size(), end - kTotal.size())));
}

}  // namespace

RunCheck CheckRunFolder(const std::string& runFolder) {
    RunCheck check;
    RunFolder folder;
    std::optional<std::vector<RunEntry>> entries;
    if (!folder.Open(runFolder) || !(entries = folder.Entries())) return check;
    std::map<std::string, RunEntryKind> kinds;
    for (const RunEntry& entry : *entries) kinds.emplace(entry.name, entry.kind);
    // Only a name that the folder lists as a regular file is opened.
    const auto read = [&](const std::string& name, bool withMd5, Keep keep) {
        const auto listed = kinds.find(name);
        if (listed != kinds.end() && listed->second == RunEntryKind::File) return ReadRunFile(folder, name, withMd5, keep);
        FileRead notRead;
        notRead.kind = listed == kinds.end() ? RunEntryKind::Missing : listed->second;
        return notRead;
    };
    const std::string csvName(kCsvFileName), listName(kDigestListFileName), reportName(kReportFileName);

    const FileRead csv = read(csvName, false, Keep::Whole);
    const auto table = csv.read ? ParseCsvTable(csv.kept, &check.csvCutShort) : std::nullopt;
    if (!table) return check;
    check.runFolder = true;

    // What each file should be: the copies by their rows, the listed files by their lines. A
    // name given two different digests is a mismatch of its own; the file is checked against
    // the first.
    struct Expected {
        std::string md5, sha256, listedSha256;
        bool copy = false, listed = false, conflict = false;
    };
    std::map<std::string, Expected> expected;
    const std::size_t entryColumn = table->Column("entry"), copyColumn = table->Column("copy"),
                      md5Column = table->Column("md5"), shaColumn = table->Column("sha256");
    check.csvRows = table->rows.size();
    for (std::size_t r = 0; r < table->rows.size(); ++r) {
        const auto& row = table->rows[r];
        if (!check.misnumberedRow && CsvTable::Field(row, entryColumn) != std::to_string(r + 1))
            check.misnumberedRow = r + 1;
        const std::string_view copy = CsvTable::Field(row, copyColumn);
        if (copy.empty()) continue;
        Expected& file = expected[UnescapedName(copy)];
        const std::string_view md5 = CsvTable::Field(row, md5Column), sha256 = CsvTable::Field(row, shaColumn);
        if (file.copy) {
            file.conflict = file.conflict || file.md5 != md5 || file.sha256 != sha256;
            continue;
        }
        file.copy = true;
        file.md5 = md5;
        file.sha256 = sha256;
    }
    const FileRead list = read(listName, false, Keep::Whole);
    check.digestListMissing = list.kind == RunEntryKind::Missing;
    if (!check.digestListMissing && Accounted(check, listName, list)) {
        check.finished = true;
        check.digestListSha256 = list.sha256;
        if (!list.whole) check.changed.push_back(listName);
        for (auto& line : ReadDigestList(list.kept)) {
            if (!line) {
                ++check.unreadableLines;
                continue;
            }
            Expected& file = expected[line->second];
            if (file.listed) {
                file.conflict = file.conflict || file.listedSha256 != line->first;
                continue;
            }
            file.listed = true;
            file.listedSha256 = std::move(line->first);
        }
    }

    FileRead report;
    for (const auto& [name, file] : expected) {
        if (file.conflict) check.conflicting.push_back(name);
        if (!IsSingleName(name)) {
            check.notFiles.push_back({NotAFile::Why::Path, name});
            continue;
        }
        // The spreadsheet form was read already; the report is read for its tail as well.
        FileRead other;
        if (name != csvName)
            other = read(name, file.copy && !file.md5.empty(), name == reportName ? Keep::TotalLine : Keep::Nothing);
        const FileRead& got = name == csvName ? csv : other;
        if (!Accounted(check, name, got)) continue;
        ++check.filesChecked;
        const bool same = got.whole && (!file.listed || got.sha256 == file.listedSha256) &&
                          (!file.copy || file.sha256.empty() || got.sha256 == file.sha256) &&
                          (!file.copy || file.md5.empty() || got.md5 == file.md5);
        if (!same) check.changed.push_back(name);
        if (name == reportName) report = std::move(other);
    }
    // Without a digest list, the report is read for its total alone.
    if (!expected.contains(reportName)) report = read(reportName, false, Keep::TotalLine);
    ReadReportTotal(report, check);

    // Without a digest list, the run's own files are accounted for by their names. A name the
    // folder lists twice (under Wine, Linux names that are not UTF-8 all show U+FFFD in their
    // place) is another file each time after the first, and that file is not listed.
    std::set<std::string_view> seen;
    for (const RunEntry& entry : *entries) {
        if (seen.insert(entry.name).second) {
            if (entry.name == listName || expected.contains(entry.name)) continue;
            if (!check.finished && (entry.name == reportName || entry.name == csvName || entry.name == kTimelineFileName ||
                                    entry.name == kSummaryFileName || entry.name == kSummaryCsvFileName))
                continue;
        }
        check.notListed.push_back(entry.name);
    }
    std::sort(check.notListed.begin(), check.notListed.end());
    return check;
}

}  // namespace snapsift
