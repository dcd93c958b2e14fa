#include "report/EntrySink.h"

#include "report/CsvReport.h"

namespace snapsift {

RunFolderEntries::RunFolderEntries(const std::string& runFolder)
    : reportPath_(runFolder + std::string(kReportFileName)), csvPath_(runFolder + std::string(kCsvFileName)) {}

EntryWritten RunFolderEntries::Append(const ReportEntry& entry) {
    if (!AppendReportEntry(reportPath_, entry)) return EntryWritten::NotInReport;
    if (!AppendCsvRow(csvPath_, entry)) return EntryWritten::NotInCsv;
    return EntryWritten::Whole;
}

}  // namespace snapsift
