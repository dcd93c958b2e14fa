#include "report/EntrySink.h"

#include "report/CsvReport.h"

namespace snapsift {

RunFolderEntries::RunFolderEntries(const std::string& runFolder)
    : runFolder_(runFolder), reportPath_(runFolder + std::string(kReportFileName)),
      csvPath_(runFolder + std::string(kCsvFileName)) {}

EntryWritten RunFolderEntries::Append(const ReportEntry& entry) {
    const auto first = entry.sha256.empty() ? firstOfBytes_.end() : firstOfBytes_.find(entry.sha256);
    bool inReport = false;
    if (first != firstOfBytes_.end()) {
        ReportEntry repeat = entry;
        repeat.sameBytesAs = first->second;
        inReport = AppendReportEntry(reportPath_, repeat);
    } else {
        inReport = AppendReportEntry(reportPath_, entry);
        if (inReport && !entry.sha256.empty()) firstOfBytes_.emplace(entry.sha256, entry.number);
    }
    if (!inReport) return EntryWritten::NotInReport;
    summary_.push_back(SummaryEntryOf(entry));
    if (!AppendCsvRow(csvPath_, entry)) return EntryWritten::NotInCsv;
    return EntryWritten::Whole;
}

bool RunFolderEntries::WriteSummary() const { return WriteSummaryFiles(runFolder_, SummaryRows(summary_), false); }

}  // namespace snapsift
