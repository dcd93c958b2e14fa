#include "search/EvidenceEntry.h"

#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "platform/FileTimes.h"
#include "search/Recognition.h"
#include "search/Report.h"

namespace snapsift {

void EvidenceEntry::ProcessCandidate(const std::string& fullPath, const std::string& fileName,
                                     std::int16_t nameStyle) {
    // The walk has applied the name filter; its style comes with the name.
    const std::optional<std::string_view> userId = RecognizeCandidate(fileName, nameStyle);
    if (!userId) return;
    RecordEvidence(fullPath, fileName, std::string(*userId));
}

void EvidenceEntry::RecordEvidence(const std::string& fullPath, const std::string& fileName,
                                   const std::string& userId) {
    ReportEntry entry;
    entry.fullPath = fullPath;
    entry.fileName = fileName;
    entry.userId = userId;

    // The times come first: reading the contents afterwards cannot change the last-access
    // time that the entry reports.
    try {
        entry.timesAvailable =
            GetFileTimes(fullPath, entry.timeCreated, entry.timeAccessed, entry.timeModified);
    } catch (...) {
        entry.timesAvailable = false;
    }

    try {
        entry.digest = MD5().DigestFileToHexStr(fullPath);
    } catch (...) {
        entry.digest = MD5::kFileFailureText;
    }

    const std::int32_t number = ++filesFound_;
    const std::string copyName =
        fileName.substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0) + "-" +
        std::to_string(number) + ".jpg";

    const bool includePhotos = host_.IncludePhotos();
    if (includePhotos) {
        const long error = CopyEvidenceFile(fullPath, outputFolder_ + copyName);
        if (error != 0)
            host_.ShowMessage("Error copying file: " + fullPath + ". Error number: " +
                                  std::to_string(error) + ". Click OK to continue.",
                              MessageKind::FileProblem);
    }

    if (includePhotos) entry.copyFileName = copyName;
    if (!AppendReportEntry(outputFolder_ + std::string(kReportFileName), entry))
        host_.ShowMessage("Error writing to HTML report for file: " + fullPath +
                              ". Click OK to continue.",
                          MessageKind::FileProblem);
}

}  // namespace snapsift
