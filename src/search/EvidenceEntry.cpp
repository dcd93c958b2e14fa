#include "search/EvidenceEntry.h"

#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "search/Recognition.h"
#include "search/Report.h"

namespace snapsift {

void EvidenceEntry::ProcessCandidate(const DirectoryListing& folder, const std::string& fullPath,
                                     const std::string& fileName, std::int16_t nameStyle) {
    // The walk has applied the name filter; its style comes with the name.
    const std::optional<std::string_view> userId = RecognizeCandidate(fileName, nameStyle);
    if (!userId) return;
    RecordEvidence(folder, fullPath, fileName, std::string(*userId));
}

void EvidenceEntry::RecordEvidence(const DirectoryListing& folder, const std::string& fullPath,
                                   const std::string& fileName, const std::string& userId) {
    ReportEntry entry;
    entry.fullPath = fullPath;
    entry.fileName = fileName;
    entry.userId = userId;
    entry.digest = MD5::kFileFailureText;

    // One open gives the whole entry: the times as they were before any byte was read, then
    // the digest and the copy from a single pass over the bytes that were there at the open.
    EvidenceFile file;
    const bool opened = file.Open(folder, fileName, fullPath);
    if (opened && !file.AccessTimeKept()) host_.AccessTimeNotKept(fullPath);
    entry.timesAvailable = opened && file.Times(entry.timeCreated, entry.timeAccessed, entry.timeModified);

    const std::int32_t number = ++filesFound_;
    const std::string copyName = FitNameLimit(
        std::string_view(fileName).substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0),
        "-" + std::to_string(number) + ".jpg");

    const bool includePhotos = host_.IncludePhotos();
    NewOutputFile copy;
    long copyError = opened ? 0 : file.LastError();
    if (includePhotos && opened && !copy.Create(outputFolder_ + copyName)) copyError = copy.Error();

    if (opened) {
        if (afterOpen_) afterOpen_(fullPath);
        const bool copying = includePhotos && copyError == 0;
        entry.digest = MD5().DigestEvidenceToHexStr(
            file, copying ? [&copy](std::string_view bytes) { copy.Write(bytes); }
                          : std::function<void(std::string_view)>());
        if (file.LastError() != 0 && copyError == 0) copyError = file.LastError();  // a read failed
        if (entry.digest == MD5::kFileFailureText && file.LastError() == 0 && !file.UnchangedSinceOpen()) {
            ++gaps_.filesChanged;
            host_.FileChangedWhileRead(fullPath);
        }
        if (copying && copyError == 0) copyError = copy.Finish();
    }
    file.Close();
    if (entry.digest == MD5::kFileFailureText || !entry.timesAvailable) ++gaps_.entriesIncomplete;

    if (includePhotos && copyError != 0) {
        ++gaps_.copiesFailed;
        host_.ShowMessage("Error copying file: " + fullPath + ". Error number: " + std::to_string(copyError) +
                              ". Click OK to continue.",
                          MessageKind::FileProblem);
    }

    if (includePhotos) entry.copyFileName = copyName;
    if (!AppendReportEntry(outputFolder_ + std::string(kReportFileName), entry)) {
        ++gaps_.entriesNotWritten;
        host_.ShowMessage("Error writing to HTML report for file: " + fullPath + ". Click OK to continue.",
                          MessageKind::FileProblem);
    }
}

}  // namespace snapsift
