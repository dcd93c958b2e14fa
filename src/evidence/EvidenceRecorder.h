// The recorder of one volume's evidence: for a name the walk hands over, recognition, then the
// report entry of a recognised file (times, digest and copy from one open of the file) or of each
// photo a cache file holds; the count, the gaps, and the entry appended to the report and CSV.
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

#include "cache/HeldFile.h"
#include "cache/IndexDat.h"
#include "evidence/EvidenceGaps.h"
#include "image/UnallocatedSpace.h"
#include "report/EntrySink.h"
#include "search/CacheFiles.h"
#include "text/PathText.h"
#include "search/CandidateHandler.h"
#include "search/SearchHost.h"

namespace snapsift {

struct CacheEntry;
struct ReportEntry;

// What a run's evidence entries have made so far: the files recognised (each entry's number is
// the count with it) and the gaps.
struct EvidenceTally {
    std::int32_t filesFound = 0;
    EvidenceGaps gaps;
    // The photos of cache entries recorded, by cache format, URL and the MD5 of the body
    // ("<format>\n<url>\n<md5>"): the number of the first entry that held each.
    std::map<std::string, std::int32_t> cachedPhotos;
};

// The report's status words for a file in `state`; empty for a present file.
std::string_view StatusText(FileState state);
// Adds a reason to an entry's status, after a "; " when it holds one already.
void AddStatus(std::string& status, std::string_view reason);

class EvidenceRecorder : public CandidateHandler {
public:
    // The entries of one volume's files, handed to `entries`. runFolder is the run's own folder
    // (ending in the separator), where the copies go; separator is the one between the names of
    // the paths handed in (a disk image's is "\"); the count and the gaps go on from earlier.
    // abortRequested, when given, is the run's abort flag: a long read yields to the host now and
    // then and stops once it is set.
    EvidenceRecorder(std::string runFolder, SearchHost& host, EntrySink& entries, char separator = kSeparator,
                     EvidenceTally earlier = {}, const std::atomic<bool>* abortRequested = nullptr)
        : runFolder_(std::move(runFolder)), host_(host), entries_(entries), separator_(separator), tally_(earlier),
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

    // The photos of the cache entries carved from a partition's unallocated space, after its
    // files (CarvedEvidence.cpp): each entry's full path is where its bytes lie.
    void CarveUnallocated(const UnallocatedArea& area);

    const EvidenceTally& Tally() const { return tally_; }

    // Called with the file's path once it is open and before its first byte is read: where
    // tests change a file at exactly that point.
    void SetAfterOpen(std::function<void(const std::string& fullPath)> afterOpen) { afterOpen_ = std::move(afterOpen); }

private:
    void ExamineEntryFile(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName,
                          CacheFileKind kind);
    // A Chromium blockfile cache, met through its index or its entry file data_1.
    void ExamineBlockfileCache(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    // Firefox's cache before cache2, met through its map or a block file.
    void ExamineFirefoxLegacyCache(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    void ExamineSqlShard(const VolumeFolder& folder, const std::string& fullPath, const std::string& fileName);
    // What is told of each cache file once it is open and before its first byte is read.
    std::function<void(const HeldFile&)> BeforeCacheRead();
    // Where a cache reader's entries lie: `path` names the cache in what could not be read (its
    // index, its database, its entry file); a body's place follows folderPath (blockfile). The
    // file holding the entry (entryFile: simple, cache2), or every entry's body (holder: SQL, whose
    // entries' times are those of the file timesOf names).
    struct CacheWhere {
        std::string path{}, folderPath{};
        const HeldFile* entryFile = nullptr;
        const HeldFile* holder = nullptr;
        std::string timesOf{};
        std::string status{};  // said of each entry: how it was found
    };
    // Each photo a cache reader gave recorded, the cache's damage (cacheProblems) named once and
    // its notes said on each of its entries; an entry whose URL could not be read counted.
    // `files` is none for entries carved from bytes that no file holds (each entry's body in bodyBytes).
    void RecordCacheContents(const CacheContents& contents, const Findings& cacheProblems, const CacheWhere& at,
                             const HeldCacheSource* files);
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
    EntrySink& entries_;
    const char separator_;
    EvidenceTally tally_;
    const std::atomic<bool>* abortRequested_;
    std::function<void(const std::string&)> afterOpen_;
    bool carving_ = false;  // the entries recorded are carved from unallocated space
    // The old cache's index.dat of each folder that holds one, read once in the run, when the
    // first photo in a folder beside it is recorded (the walk meets a folder's files before its
    // subfolders, and notes the index first): its records of files by "<folder>/<name>"
    // in lower case, a live record before one the browser let go of; or why it could not be read.
    struct IeCacheIndex {
        std::string problem;
        std::string notes;  // how the index was read, where nothing of it was lost: said on each record
        std::map<std::string, CacheEntry> records;
        // Records not read whole, by their file's name alone in lower case: a damaged record may
        // not say its folder.
        std::map<std::string, CacheEntry> damagedByName;
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
    std::set<std::string> firefoxLegacyCachesRead_;  // by their folder's path
    // Cache folders of a format this build cannot read, each named once.
    std::set<std::string> unreadableCaches_;
};

}  // namespace snapsift
