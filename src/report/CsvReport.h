// The report's entries as a spreadsheet reads them: "Quorvia JPG Files.csv" beside the HTML
// report, one row per entry written when its HTML entry is, in RFC 4180's form (fields quoted
// where they need it, CR LF line ends), UTF-8 after a byte-order mark, under a header row.
// Text is escaped as the report escapes it, so that no field holds a byte that is not UTF-8 or
// a control character; a field that a spreadsheet would take for a formula (a first character
// "=", "+", "-" or "@") has that character written as "\xHH".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/Report.h"

namespace snapsift {

inline constexpr std::string_view kCsvFileName = "Quorvia JPG Files.csv";

// The columns, in their order.
inline constexpr std::string_view kCsvColumns[] = {
    "entry",  "full_path", "short_name", "status",     "created",      "modified",      "accessed",
    "md5",    "sha256",    "user_id",    "profile_url", "copy",        "source_url",    "cache_format",
    "cache_created", "cache_last_used", "times_of", "http_status", "response_date", "response_last_modified",
    "response_server", "response_etag", "response_content_length"};

// A field as a spreadsheet may take it: one that it would run as a formula (a first character
// "=", "+", "-" or "@") has that character written as "\xHH"; any other is as it is. The CSV and
// the cache listing (snapsift-cli --list-cache) write every field through it.
std::string SpreadsheetSafe(std::string field);

// A file of rows in this form: the byte-order mark, then each row's fields, every field through
// SpreadsheetSafe and quoted where it needs it, each row ended by CR LF.
std::string CsvText(const std::vector<std::vector<std::string>>& rows);

// Creates (or empties) the file with the byte-order mark and the header row. False when it
// cannot be made or written.
bool WriteCsvHeader(const std::string& csvPath);
// The entry's row, CR LF at its end.
std::string FormatCsvRow(const ReportEntry& entry);
// Appends the entry's row in a single write; false when it cannot be written whole (nothing of
// it then stays in the file).
bool AppendCsvRow(const std::string& csvPath, const ReportEntry& entry);

// A name field's text back to the name's bytes: "\xHH" to its byte, "\\" to one backslash.
std::string UnescapedName(std::string_view text);

// Reads a file written as above back into its rows of fields (the header row first), undoing
// the quoting but not the escapes. Nothing when the text is not in that form (no byte-order
// mark, a quote left open, a row not ended by CR LF).
std::optional<std::vector<std::vector<std::string>>> ReadCsvRows(std::string_view text);

}  // namespace snapsift
