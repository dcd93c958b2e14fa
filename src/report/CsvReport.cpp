#include "report/CsvReport.h"

#include <algorithm>

#include "platform/OutputFile.h"
#include "text/DateText.h"
#include "text/Hex.h"
#include "text/ShownText.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

// One field: a formula's first character escaped, then quoted where it holds a comma or a quote.
void AppendField(std::string& row, std::string field) {
    field = SpreadsheetSafe(std::move(field));
    if (!row.empty()) row += ',';
    if (std::none_of(field.begin(), field.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
        row += field;
        return;
    }
    row += '"';
    for (const char c : field) {
        if (c == '"') row += '"';
        row += c;
    }
    row += '"';
}

std::string TimeText(const std::optional<DateTime>& value) { return value ? IsoUtcText(*value) : std::string(); }

}  // namespace

std::string SpreadsheetSafe(std::string field) {
    if (!field.empty() && std::string_view("=+-@").find(field[0]) != std::string_view::npos) {
        std::string escaped = "\\x";
        AppendHexByte(escaped, static_cast<unsigned char>(field[0]));
        field.replace(0, 1, escaped);
    }
    return field;
}

std::string CsvText(const std::vector<std::vector<std::string>>& rows) {
    std::string text(kByteOrderMark);
    for (const auto& fields : rows) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            // Each field on its own, so that an empty first field still has its comma after it.
            std::string field;
            AppendField(field, fields[i]);
            if (i != 0) text += ',';
            text += field;
        }
        text += kLineEnd;
    }
    return text;
}

bool WriteCsvHeader(const std::string& csvPath) {
    std::string header(kByteOrderMark);
    std::string row;
    for (const std::string_view column : kCsvColumns) AppendField(row, std::string(column));
    header += row;
    header += kLineEnd;
    return WriteOutputFile(csvPath, header, OutputWrite::Create);
}

std::string FormatCsvRow(const ReportEntry& entry) {
    const auto name = [&](const std::string& text) { return ShownText(text, ShowRule{true, entry.separator}); };
    const auto time = [&](const std::optional<DateTime>& value) {
        return entry.timesAvailable ? TimeText(value) : std::string();
    };
    std::string row;
    AppendField(row, std::to_string(entry.number));
    AppendField(row, name(entry.fullPath));
    AppendField(row, name(entry.fileName));
    AppendField(row, ShownText(entry.status, ShowRule{}));
    AppendField(row, time(entry.timeCreated));
    AppendField(row, time(entry.timeModified));
    AppendField(row, time(entry.timeAccessed));
    AppendField(row, entry.md5 ? LowerAscii(*entry.md5) : std::string());
    AppendField(row, entry.sha256);
    AppendField(row, name(entry.userId));
    AppendField(row, ShownText(ProfileUrl(entry.userId), ShowRule{}));
    AppendField(row, entry.copyFileName && entry.copyMade ? name(*entry.copyFileName) : std::string());
    const CacheRecord* cache = entry.cache ? &*entry.cache : nullptr;
    AppendField(row, cache ? ShownText(cache->url, ShowRule{true, '/'}) : std::string());
    AppendField(row, cache ? cache->format : std::string());
    AppendField(row, cache ? TimeText(cache->created) : std::string());
    AppendField(row, cache ? TimeText(cache->lastUsed) : std::string());
    // Whose the three times are when not the photo's own file's; the timeline leaves those out.
    AppendField(row, ShownText(entry.timesOf, ShowRule{true, '/'}));
    // What the server sent, as it chose to write it: escaped as names are.
    const auto sent = [&](const std::string CacheRecord::*field) {
        return cache ? ShownText(cache->*field, ShowRule{true, '/'}) : std::string();
    };
    AppendField(row, sent(&CacheRecord::statusLine));
    AppendField(row, sent(&CacheRecord::date));
    AppendField(row, sent(&CacheRecord::lastModifiedHeader));
    AppendField(row, sent(&CacheRecord::server));
    AppendField(row, sent(&CacheRecord::etag));
    AppendField(row, sent(&CacheRecord::contentLength));
    row += kLineEnd;
    return row;
}

bool AppendCsvRow(const std::string& csvPath, const ReportEntry& entry) {
    return WriteOutputFile(csvPath, FormatCsvRow(entry), OutputWrite::Append);
}

std::string UnescapedName(std::string_view text) {
    const auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string name;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\\' && at + 1 < text.size() && text[at + 1] == '\\') {
            name += '\\';
            ++at;
        } else if (text[at] == '\\' && at + 3 < text.size() && text[at + 1] == 'x' && hexValue(text[at + 2]) >= 0 &&
                   hexValue(text[at + 3]) >= 0) {
            name += static_cast<char>(hexValue(text[at + 2]) * 16 + hexValue(text[at + 3]));
            at += 3;
        } else {
            name += text[at];
        }
    }
    return name;
}

std::optional<std::vector<std::vector<std::string>>> ReadCsvRows(std::string_view text) {
    if (!text.starts_with(kByteOrderMark)) return std::nullopt;
    text.remove_prefix(kByteOrderMark.size());
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, fieldStarted = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (quoted) {
            // Everything up to the next quote is the field's; a doubled quote is one quote.
            const std::size_t quote = text.find('"', at);
            if (quote == std::string_view::npos) return std::nullopt;
            field.append(text.substr(at, quote - at));
            at = quote;
            if (at + 1 < text.size() && text[at + 1] == '"') {
                field += '"';
                ++at;
            } else {
                quoted = false;
            }
            continue;
        }
        const std::size_t special = static_cast<std::size_t>(
            std::find_if(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                         [](char c) { return c == ',' || c == '\r' || c == '\n' || c == '"'; }) -
            text.begin());
        if (special != at) {
            field.append(text.substr(at, special - at));
            fieldStarted = true;
            if (special == text.size()) break;
            at = special;
        }
        const char c = text[at];
        if (c == '"' && field.empty() && !fieldStarted) {
            quoted = fieldStarted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
            fieldStarted = false;
        } else if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            row.push_back(std::move(field));
            rows.push_back(std::move(row));
            field.clear();
            row.clear();
            fieldStarted = false;
            ++at;
        } else {
            return std::nullopt;
        }
    }
    if (quoted || fieldStarted || !field.empty() || !row.empty()) return std::nullopt;
    return rows;
}

}  // namespace snapsift
