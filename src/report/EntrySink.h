// Where a run's report entries go as they are made, one at a time.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "report/Report.h"
#include "report/UserSummary.h"

namespace snapsift {

// What became of an entry handed to a sink.
enum class EntryWritten { Whole, NotInReport, NotInCsv };

class EntrySink {
public:
    virtual ~EntrySink() = default;
    virtual EntryWritten Append(const ReportEntry& entry) = 0;
};

// The run folder's report and CSV: the HTML entry, then its row, so that a run cut short leaves
// the same entries in both; an entry the report could not take gets no row either. An entry
// whose bytes are those of an earlier entry in the report says which; every entry in the report
// is kept for the summary by user ID, written when the run ends.
class RunFolderEntries final : public EntrySink {
public:
    // runFolder ends in the separator.
    explicit RunFolderEntries(const std::string& runFolder);
    EntryWritten Append(const ReportEntry& entry) override;
    // The summary's two files of the entries so far; false when either cannot be written whole.
    bool WriteSummary() const;

private:
    std::string runFolder_, reportPath_, csvPath_;
    std::map<std::string, std::int32_t> firstOfBytes_;  // SHA-256 to the first entry with those bytes
    std::vector<SummaryEntry> summary_;
};

}  // namespace snapsift
