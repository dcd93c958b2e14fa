// ProcessCandidate: recognition of a pre-filtered name, then the evidence entry for a
// recognised file: times, digest and copy from one open of the file, count, and the report entry.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cache/IndexDat.h"
#include "search/CacheFiles.h"
#include "text/PathText.h"
#include "search/CandidateHandler.h"
#include "search/SearchHost.h"

namespace snapsift {

struct CacheEntry;
struct ReportEntry;

// What a run's report lacks, counted as it happens.
struct EvidenceGaps {
    std::uint64_t entriesNotWritten = 0;  // the report could not take the entry
    std::uint64_t entriesIncomplete = 0;  // written without a digest, or without times
    std::uint64_t filesChanged = 0;       // of those: the file changed while it was read
    std::uint64_t copiesFailed = 0;
    std::uint64_t candidatesLost = 0;     // files passing the name filter that could not be examined
    std::uint64_t entriesFromDamage = 0;  // entries whose bytes lie in a damaged part of a disk image
    std::uint64_t imageDamage = 0;        // damaged parts of a disk image met in the run (read as zeros)
    std::uint64_t reportWritesFailed = 0; // the report's header or tail could not be written
    std::uint64_t cacheEntriesDamaged = 0;    // photos' cache entries written with part of them unreadable
    std::uint64_t cacheEntriesUnreadable = 0; // cache entries whose URL could not be read
    std::uint64_t foldersUnreadable = 0;      // folders that could not be read, whole or in part (or loops)
    std::uint64_t runFilesNotWritten = 0;     // the timeline or the digest list, written at the run's end
    std::uint64_t accessTimesNotKept = 0;     // files and folders read only in a way that moved their access time
    std::uint64_t cachedBodiesCutShort = 0;   // cached photos whose body the server or the cache cut short
    std::uint64_t bodiesNotDecoded = 0;       // cached photos whose body does not decode, or not in this build
    std::uint64_t cachesNotReadable = 0;      // cache folders of a format this build cannot read
    std::uint64_t volumesWithoutProfiles = 0; // profile searches of a volume with neither profile folder
    // Cached responses under a photo's URL that are no photo (an error page, a redirect): reported
    // as evidence that the URL was fetched, and no gap in the report.
    std::uint64_t cachedNotPhotos = 0;
    // Photos' cache entries the browser had let go of, left out without --include-deleted.
    std::uint64_t deletedCacheEntriesLeftOut = 0;

    // What the counts count, by name, in the order met: the count it adds to, the name (a path,
    // and why where the count's label does not say it) and the separator between its names.
    struct Named {
        std::uint64_t EvidenceGaps::*count;
        std::string name;
        char separator;
    };
    std::vector<Named> named;
    // The most names kept for one count; a run that meets more says how many it did not name.
    static constexpr std::size_t kNamesPerCount = 100000;
    // Adds one to `count` and keeps its name.
    void Add(std::uint64_t EvidenceGaps::*count, std::string name, char separator = kSeparator) {
        if (++(this->*count) <= kNamesPerCount) named.push_back({count, std::move(name), separator});
    }
    // Whether the report may lack evidence: a count of a kind that leaves it incomplete is not 0.
    bool Any() const;
};

// Each count of EvidenceGaps, in the order of the report's closing lines: the label of its line,
// and whether it leaves the report incomplete (a problem) or says something of the run that takes
// nothing from the evidence (a note, such as an access time the system would not keep: it changed
// the evidence's metadata, not what the report holds).
struct GapKind {
    std::uint64_t EvidenceGaps::*count;
    const char* label;
    bool incomplete;
};
inline constexpr GapKind kGapKinds[] = {
    {&EvidenceGaps::foldersUnreadable, "Folders that could not be read: ", true},
    {&EvidenceGaps::entriesIncomplete, "Entries without their MD5 or times: ", true},
    {&EvidenceGaps::filesChanged, "Files that changed while they were read: ", true},
    {&EvidenceGaps::copiesFailed, "Copies that could not be made: ", true},
    {&EvidenceGaps::entriesNotWritten, "Entries that could not be written to the report: ", true},
    {&EvidenceGaps::candidatesLost, "Files that could not be examined: ", true},
    {&EvidenceGaps::entriesFromDamage, "Entries whose bytes lie in a damaged part of the disk image: ", true},
    {&EvidenceGaps::imageDamage, "Damaged parts of the disk image (read as zeros): ", true},
    {&EvidenceGaps::reportWritesFailed, "Report lines that could not be written: ", true},
    {&EvidenceGaps::runFilesNotWritten, "Timeline or digest list that could not be written: ", true},
    {&EvidenceGaps::cacheEntriesDamaged, "Photos' cache entries not read whole: ", true},
    {&EvidenceGaps::cacheEntriesUnreadable, "Cache entries or parts whose URL could not be read: ", true},
    {&EvidenceGaps::cachedBodiesCutShort, "Cached photos cut short: ", true},
    {&EvidenceGaps::bodiesNotDecoded, "Cached photos whose body could not be decoded: ", true},
    {&EvidenceGaps::cachesNotReadable, "Caches this build cannot read: ", true},
    {&EvidenceGaps::volumesWithoutProfiles,
     "Volumes with neither a Users nor a Documents and Settings folder (nothing searched there): ", true},
    {&EvidenceGaps::accessTimesNotKept, "Files and folders whose access time changed when read: ", false},
    {&EvidenceGaps::cachedNotPhotos, "Cached responses that are not photos: ", false},
    {&EvidenceGaps::deletedCacheEntriesLeftOut,
     "Photos in cache entries the browser had let go of, not reported (--include-deleted reports them): ", false},
};

inline bool EvidenceGaps::Any() const {
    for (const GapKind& kind : kGapKinds)
        if (kind.incomplete && this->*kind.count != 0) return true;
    return false;
}

// What a run's evidence entries have made so far: the files recognised (each entry's number is
// the count with it) and the gaps.
struct EvidenceTally {
    std::int32_t filesFound = 0;
    EvidenceGaps gaps;
};

// The report's status words for a file in `state`; empty for a present file.
std::string_view StatusText(FileState state);
// Adds a reason to an entry's status, after a "; " when it holds one already.
void AddStatus(std::string& status, std::string_view reason);

class EvidenceEntry : public CandidateHandler {
public:
    // The entries of one volume's files. runFolder is the run's own folder (ending in the
    // separator), where the report and the copies go; separator is the one between the names of
    // the paths handed in (a disk image's is "\"); the count and the gaps go on from earlier.
    // abortRequested, when given, is the run's abort flag: a long read yields to the host now and
    // then and stops once it is set.
    EvidenceEntry(std::string runFolder, SearchHost& host, char separator = kSeparator, EvidenceTally earlier = {},
                  const std::atomic<bool>* abortRequested = nullptr)
        : runFolder_(std::move(runFolder)), host_(host), separator_(separator), tally_(earlier),
          abortRequested_(abortRequested) {}

    void ProcessCandidate(const VolumeFolder& folder, const std::string& fullPath,
                          const std::string& fileName, NameStyle nameStyle) override;
    // The photos a cache file holds, each an entry as a recognised file's is (CacheEvidence.cpp).
    void ProcessCacheFile(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName,
                          CacheFileKind kind) override;

    // The evidence of one recognised file, written into the report in the output folder.
    void RecordEvidence(const VolumeFolder& folder, const std::string& fullPath,
                        const std::string& fileName, const std::string& userId);

    // The walk's root: an index.dat met in the walk is read once a photo below it is recorded,
    // its folder opened again below the root then.
    void WalkRoot(Volume* volume, const VolumeFolder* root, const std::string& rootPath) override;

    const EvidenceTally& Tally() const { return tally_; }

    // Called with the file's path once it is open and before its first byte is read: where
    // tests change a file at exactly that point.
    void SetAfterOpen(std::function<void(const std::string& fullPath)> afterOpen) { afterOpen_ = std::move(afterOpen); }

private:
    void ExamineEntryFile(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName,
                          CacheFileKind kind);
    // A Chromium blockfile cache, met through its index or its entry file data_1.
    void ExamineBlockfileCache(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    void ExamineSqlShard(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    // The file named after a cache file's own name and `suffix` ("-wal", "-journal"), opened beside
    // it; nothing when there is none, and `surelyNone` then says whether that is known.
    std::unique_ptr<VolumeFile> OpenSibling(const VolumeFolder& folder, const std::string& fullPath,
                                            const std::string& fileName, const std::string& suffix, bool& surelyNone);
    // Part of a cache that could not be read, or an entry whose URL could not be: counted and told.
    void CachePartUnreadable(const std::string& where, const std::string& problem);
    void UrlUnreadable(const std::string& where, const std::string& why);
    // A photo's entry the browser had let go of, when such entries are not reported: counted.
    bool LeftOutAsDeleted(const CacheEntry& cached, const std::string& where);
    void ReadIeCacheIndex(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    // An index.dat the walk met: noted, to be read when a photo below it is recorded.
    void NoteIeCacheIndex(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    // Reads the index.dat files met but not read yet whose records may name the file at fullPath.
    void ReadIeCacheIndexesFor(const std::string& fullPath);
    // What the index.dat beside the photo's folder records of it, as the entry's cache rows.
    void AddIeCacheRecord(ReportEntry& entry);
    // A photo found in a cache entry whose body lies in `bodyFile` (none when it cannot be
    // placed); bodyPath says where, for the report's full path. timesOf names a file shared by
    // several entries, whose times the entry's are; cacheStatus is what the cache as a whole says
    // of each of its entries.
    void RecordCachedPhoto(const CacheEntry& cached, const CachedPhoto& photo, const HeldFile* bodyFile,
                           const std::string& bodyPath, const std::string& timesOf = {},
                           const std::string& cacheStatus = {});
    // The next entry's number, told to the host.
    std::int32_t CountEntry();
    // Appends the entry to the report; a failure is counted and told.
    void AppendEntry(const ReportEntry& entry);
    // A copy that could not be made: counted and told.
    void CopyFailed(const std::string& fullPath, long error);

    const std::string runFolder_;
    SearchHost& host_;
    const char separator_;
    EvidenceTally tally_;
    const std::atomic<bool>* abortRequested_;
    std::function<void(const std::string&)> afterOpen_;
    // The old cache's index.dat of each folder that holds one, read once in the run, when the
    // first photo in a folder beside it is recorded (the walk meets a folder's files before its
    // subfolders, and notes the index first): its records of files by "<folder>\<name>"
    // in lower case, a live record before one the browser let go of; or why it could not be read.
    struct IeCacheIndex {
        std::string problem;
        std::string notes;  // how the index was read, where nothing of it was lost: said on each record
        std::map<std::string, IndexDatRecord> records;
        // Records not read whole, by their file's name alone in lower case: a damaged record may
        // not say its folder.
        std::map<std::string, IndexDatRecord> damagedByName;
    };
    std::map<std::string, IeCacheIndex> ieCacheIndexes_;  // by the path of the folder holding it
    // The index.dat files the walk under way has met and no photo has wanted yet, by the path of
    // their folder: its identity, to open it again by, and their names. Dropped when the walk ends.
    struct UnreadIeCacheIndexes {
        FileIdentity folder;
        std::vector<std::string> names;
    };
    std::map<std::string, UnreadIeCacheIndexes> ieCacheIndexesUnread_;
    Volume* walkVolume_ = nullptr;
    const VolumeFolder* walkRoot_ = nullptr;
    std::string walkRootPath_;
    // The blockfile caches read, by their folder's path; and an "index" without the blockfile
    // magic, held open until the walk meets its folder's data_1 (if it does).
    std::set<std::string> blockfileCachesRead_;
    struct HeldIndex {
        std::string folderPath;
        HeldFile file;
    };
    std::optional<HeldIndex> heldIndex_;
    // Cache folders of a format this build cannot read, each named once.
    std::set<std::string> unreadableCaches_;
};

}  // namespace snapsift
