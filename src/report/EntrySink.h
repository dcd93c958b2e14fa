// Where a run's report entries go as they are made, one at a time.
#pragma once

#include <string>

#include "report/Report.h"

namespace snapsift {

// What became of an entry handed to a sink.
enum class EntryWritten { Whole, NotInReport, NotInCsv };

class EntrySink {
public:
    virtual ~EntrySink() = default;
    virtual EntryWritten Append(const ReportEntry& entry) = 0;
};

// The run folder's report and CSV: the HTML entry, then its row, so that a run cut short leaves
// the same entries in both; an entry the report could not take gets no row either.
class RunFolderEntries final : public EntrySink {
public:
    // runFolder ends in the separator.
    explicit RunFolderEntries(const std::string& runFolder);
    EntryWritten Append(const ReportEntry& entry) override;

private:
    std::string reportPath_, csvPath_;
};

}  // namespace snapsift
