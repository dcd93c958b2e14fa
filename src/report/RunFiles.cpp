#include "report/RunFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "hash/Sha256.h"
#include "platform/OutputFile.h"
#include "report/CsvReport.h"
#include "report/Report.h"
#include "text/PathText.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) return std::nullopt;
    return bytes;
}

// The spreadsheet form's rows, each with its fields by column name. A last row cut short (the
// run killed while it was written) is left out, and cutShort says so.
std::optional<std::vector<std::map<std::string, std::string>>> CsvEntries(const std::string& runFolder,
                                                                          bool* cutShort = nullptr) {
    const auto text = ReadWhole(PathFromText(runFolder + std::string(kCsvFileName)));
    if (!text) return std::nullopt;
    auto rows = ReadCsvRows(*text);
    if (!rows) {
        const std::size_t lastEnd = text->rfind("\r\n");
        if (lastEnd != std::string::npos) rows = ReadCsvRows(std::string_view(*text).substr(0, lastEnd + 2));
        if (rows && cutShort != nullptr) *cutShort = true;
    }
    if (!rows || rows->empty() || rows->front().empty() || rows->front().front() != kCsvColumns[0]) return std::nullopt;
    std::vector<std::map<std::string, std::string>> entries;
    for (std::size_t r = 1; r < rows->size(); ++r) {
        std::map<std::string, std::string> entry;
        for (std::size_t c = 0; c < (*rows)[0].size() && c < (*rows)[r].size(); ++c) entry[(*rows)[0][c]] = (*rows)[r][c];
        entries.push_back(std::move(entry));
    }
    return entries;
}

// A JSON string: the fields of the spreadsheet form hold no control character, but quotes and
// backslashes are escaped all the same, as any control would be.
std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            json += "\\u00";
            json += kHex[(c >> 4) & 0xF];
            json += kHex[c & 0xF];
        } else {
            json += c;
        }
    }
    return json + '"';
}

}  // namespace

bool WriteTimeline(const std::string& runFolder) {
    const auto entries = CsvEntries(runFolder);
    if (!entries) return false;
    struct Event {
        std::string when;  // "2026-12-07T12:34:56Z": sorts as time does
        std::size_t entry, kind;
    };
    static constexpr std::pair<std::string_view, std::string_view> kTimes[] = {
        {"created", "Created time"},
        {"modified", "Modified time"},
        {"accessed", "Last Accessed time"},
        {"cache_created", "Cache entry created"},
        {"cache_last_used", "Cache entry last used"}};
    std::vector<Event> events;
    for (std::size_t e = 0; e < entries->size(); ++e)
        for (std::size_t k = 0; k < std::size(kTimes); ++k)
            if (const auto time = (*entries)[e].find(std::string(kTimes[k].first));
                time != (*entries)[e].end() && !time->second.empty())
                events.push_back({time->second, e, k});
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.when < b.when; });
    std::string timeline;
    for (const Event& event : events) {
        const auto& entry = (*entries)[event.entry];
        const auto field = [&](const char* name) {
            const auto found = entry.find(name);
            return found == entry.end() ? std::string() : found->second;
        };
        std::string when = event.when;
        if (when.ends_with('Z')) when.replace(when.size() - 1, 1, "+00:00");
        timeline += "{\"message\":" + JsonString(std::string(kTimes[event.kind].second) + ": " + field("full_path")) +
                    ",\"datetime\":" + JsonString(when) +
                    ",\"timestamp_desc\":" + JsonString(kTimes[event.kind].second) +
                    ",\"entry\":" + JsonString(field("entry")) + ",\"full_path\":" + JsonString(field("full_path")) +
                    ",\"md5\":" + JsonString(field("md5")) + ",\"sha256\":" + JsonString(field("sha256")) +
                    ",\"user_id\":" + JsonString(field("user_id")) + "}\n";
    }
    return WriteOutputFile(runFolder + std::string(kTimelineFileName), timeline, OutputWrite::Create);
}

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
    std::ifstream in(PathFromText(path), std::ios::binary);
    if (!in) return std::nullopt;
    Sha256 sha;
    std::string buffer(1 << 16, '\0');
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        sha.Update(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) return std::nullopt;
    return sha.Final();
}

bool WriteDigestList(const std::string& runFolder) {
    // The copies made whole, by file name, with their entries' digests.
    std::map<std::string, std::string> known;
    if (const auto entries = CsvEntries(runFolder))
        for (const auto& entry : *entries) {
            const auto copy = entry.find("copy"), sha256 = entry.find("sha256");
            if (copy != entry.end() && sha256 != entry.end() && !copy->second.empty() && !sha256->second.empty())
                known[UnescapedName(copy->second)] = sha256->second;
        }
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(PathFromText(runFolder), error)) {
        if (!file.is_regular_file(error)) continue;
        const std::u8string name = file.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    if (error) return false;
    std::sort(names.begin(), names.end());
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

namespace {

struct FileDigests {
    std::string md5, sha256;  // lower-case hexadecimal
};

// Both digests of a file from one read; nothing when it cannot be read.
std::optional<FileDigests> ReadDigests(const std::string& path, bool withMd5) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    if (!in) return std::nullopt;
    Md5Sha256 engine;
    std::string buffer(1 << 16, '\0');
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        engine.Update(std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) return std::nullopt;
    Md5Sha256::Digests both = engine.Final();
    FileDigests digests{std::string(), std::move(both.sha256)};
    if (withMd5 && both.md5) digests.md5 = LowerAscii(*both.md5);
    return digests;
}

}  // namespace

RunCheck CheckRunFolder(const std::string& runFolder) {
    RunCheck check;
    const auto entries = CsvEntries(runFolder, &check.csvCutShort);
    if (!entries) return check;
    check.runFolder = true;

    // What each file should be: the copies by their rows, the listed files by their lines.
    struct Expected {
        std::string md5, sha256, listedSha256;
        bool copy = false, listed = false;
    };
    std::map<std::string, Expected> expected;
    for (const auto& entry : *entries) {
        const auto field = [&](const char* name) {
            const auto found = entry.find(name);
            return found == entry.end() ? std::string() : found->second;
        };
        if (field("copy").empty()) continue;
        Expected& file = expected[UnescapedName(field("copy"))];
        file.copy = true;
        file.md5 = field("md5");
        file.sha256 = field("sha256");
    }
    const auto list = ReadWhole(PathFromText(runFolder + std::string(kDigestListFileName)));
    check.finished = list.has_value();
    if (list) {
        for (const auto& line : ReadDigestList(*list)) {
            if (!line) {
                ++check.unreadableLines;
                continue;
            }
            Expected& file = expected[line->second];
            file.listed = true;
            file.listedSha256 = line->first;
        }
    }
    for (const auto& [name, file] : expected) {
        ++check.filesChecked;
        const auto digests = ReadDigests(runFolder + name, file.copy && !file.md5.empty());
        if (!digests) {
            check.missing.push_back(name);
            continue;
        }
        const bool same = (!file.listed || digests->sha256 == file.listedSha256) &&
                          (!file.copy || file.sha256.empty() || digests->sha256 == file.sha256) &&
                          (!file.copy || file.md5.empty() || digests->md5 == file.md5);
        if (!same) check.changed.push_back(name);
    }
    // Without a digest list, the run's own files are accounted for by their names.
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(PathFromText(runFolder), error)) {
        const std::u8string name8 = file.path().filename().u8string();
        const std::string name(name8.begin(), name8.end());
        if (name == kDigestListFileName || expected.contains(name)) continue;
        if (!list && (name == kReportFileName || name == kCsvFileName || name == kTimelineFileName)) continue;
        check.notListed.push_back(name);
    }
    std::sort(check.notListed.begin(), check.notListed.end());
    return check;
}

}  // namespace snapsift
