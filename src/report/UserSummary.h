// The run's summary by Quorvia user ID, beside its report: "Quorvia user IDs.csv" (in the CSV's
// form, one row per user ID) and "Quorvia user IDs.htm" (the same rows, each entry number a link
// to its entry in the report, and a small picture of each distinct photo where the run made
// copies). A case's summary over several run folders has the same two files, with a first
// column naming each run, and a row per user ID and run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/Report.h"

namespace snapsift {

inline constexpr std::string_view kSummaryFileName = "Quorvia user IDs.htm";
inline constexpr std::string_view kSummaryCsvFileName = "Quorvia user IDs.csv";

// The columns of a summary row, in their order; a case's summary puts "run" before them.
inline constexpr std::string_view kSummaryColumns[] = {"user_id",  "entries",   "distinct_photos", "caches",
                                                      "profiles", "first_seen", "last_seen",       "entry_numbers"};

// What the summary keeps of one report entry, as text the CSV shows.
struct SummaryEntry {
    std::int32_t number = 0;
    std::string userId;       // as the CSV shows it
    std::string sha256;       // empty when the photo could not be read
    std::string cache;        // "Chromium simple cache (Chrome)"; the browser alone for a file in its folders; or empty
    std::string profile;      // the folder under Users or Documents and Settings; or empty
    std::string first, last;  // ISO 8601 UTC of the times it was fetched or used; empty when none is known
    std::string copy;         // the copy's file name when the copy was made whole
};

// The entry's summary facts: the cache's times of fetching and use (entry created, last used and
// modified, request and response, the old cache's last access and check), or for a photo that is
// a file of its own, that file's times.
SummaryEntry SummaryEntryOf(const ReportEntry& entry);

// One row of a summary: the columns' text, the entries it counts, and the copy of each distinct
// photo among them (by file name, as seen from the summary's folder).
struct SummaryRow {
    std::string run;         // a case's: the run's source; else empty
    std::string runFolder;   // a case's: the run folder as seen from the case's folder, ending in "/"
    std::vector<std::string> fields;  // kSummaryColumns' text
    std::vector<std::int32_t> numbers;
    std::vector<std::string> pictures;  // copies' file names in the run folder
};

// A row per user ID of the entries, in user ID order (numbers by their value).
std::vector<SummaryRow> SummaryRows(const std::vector<SummaryEntry>& entries);

// Writes both files into the folder (which ends in the separator); `caseSummary` adds the run
// column. False when either cannot be written whole.
bool WriteSummaryFiles(const std::string& folder, std::vector<SummaryRow> rows, bool caseSummary);

// A run folder's summary rows read back from its summary's CSV, with the copies from the run's
// CSV and the run's source from its report's run facts (the folder's name where it has none).
// `seenFrom` is the run folder as a link from the case's folder, ending in "/". Nothing when
// either CSV cannot be read.
std::optional<std::vector<SummaryRow>> ReadRunSummary(const std::string& runFolder, const std::string& seenFrom);

// The source that the report's run facts name, as its text was before the report wrote it;
// nothing when it names none.
std::optional<std::string> ReportSource(std::string_view report);

}  // namespace snapsift
