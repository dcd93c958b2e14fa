// The photos found in browsers' caches, each written as an evidence entry: the file that holds
// its body, its name from the URL, what the cache records, and the digest and copy of the bytes
// as the browser received them.
#include <algorithm>
#include <map>
#include <set>

#include "cache/BlockfileCache.h"
#include "cache/BodyDecoding.h"
#include "cache/FirefoxCache.h"
#include "cache/FirefoxLegacyCache.h"
#include "cache/SimpleCache.h"
#include "cache/SqlCache.h"
#include "hash/MD5.h"
#include "platform/OutputFile.h"
#include "report/Report.h"
#include "cache/HeldFile.h"
#include "search/CacheFiles.h"
#include "evidence/EvidenceRecorder.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

std::string FormatName(CacheFormat format) {
    switch (format) {
    case CacheFormat::ChromiumBlockfile: return "Chromium blockfile cache";
    case CacheFormat::ChromiumSimple: return "Chromium simple cache";
    case CacheFormat::FirefoxCache2: return "Firefox cache2";
    case CacheFormat::ChromiumSql: return "Chromium SQL cache";
    case CacheFormat::InternetExplorerIndexDat: return "Internet Explorer index.dat";
    case CacheFormat::FirefoxLegacy: return "Firefox legacy cache";
    }
    return {};
}

// What a reader found that makes part of the entry or the cache missing or doubtful: all its
// findings, the notes among them, when any is damage; else nothing.
std::string DamageText(const Findings& findings) { return findings.Damaged() ? findings.Text() : std::string(); }
// Its notes, when nothing it found is damage: how it was read, with nothing lost.
std::string NotesText(const Findings& findings) { return findings.Damaged() ? std::string() : findings.Text(); }

CacheRecord RecordOf(const CacheEntry& cached) {
    CacheRecord record;
    record.url = cached.url;
    record.format = FormatName(cached.format);
    record.created = cached.created;
    record.lastUsed = cached.lastUsed;
    record.lastModified = cached.lastModified;
    record.requestTime = cached.requestTime;
    record.responseTime = cached.responseTime;
    record.fetchCount = cached.fetchCount;
    record.statusLine = cached.statusLine;
    record.contentType = cached.contentType;
    record.contentEncoding = cached.contentEncoding;
    record.reuseCount = cached.reuseCount;
    record.expires = cached.expires;
    record.date = cached.date;
    record.lastModifiedHeader = cached.serverLastModified;
    record.server = cached.server;
    record.etag = cached.etag;
    record.contentLength = cached.contentLength;
    return record;
}

// The stored status line's code ("HTTP/1.1 404 Not Found" gives 404, and " 404 Not Found" after
// it); nothing where it holds none.
std::optional<int> StatusCode(std::string_view statusLine, std::string_view& answer) {
    const std::size_t space = statusLine.find(' ');
    if (!statusLine.starts_with("HTTP/") || space == std::string_view::npos || statusLine.size() < space + 4)
        return std::nullopt;
    const std::string_view digits = statusLine.substr(space + 1, 3);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    answer = statusLine.substr(space + 1);
    return (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
}

// What an entry's stored status says when the server did not send the photo: the body the cache
// keeps is its answer (an error page, a redirect), not the photo. Empty for a success (2xx) or
// an entry that keeps no status.
std::string NotPhotoAnswer(std::string_view statusLine) {
    std::string_view answer;
    const std::optional<int> code = StatusCode(statusLine, answer);
    if (!code || (*code >= 200 && *code < 300)) return {};
    const char* what = *code >= 400 ? "its error page" : *code >= 300 ? "its redirect" : "its answer";
    return "the server answered " + std::string(answer) + ": the cached body is " + what + ", not the photo";
}

// A Content-Length as a number: digits alone (blanks around them trimmed by the reader).
std::optional<std::uint64_t> LengthValue(std::string_view text) {
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    return value;
}

// Why a stored body is not all the server was to send: fewer bytes than its Content-Length, or
// the browser's own mark. Empty for a whole body (or one the cache could not place).
std::string CutShortText(const CacheEntry& cached, const CachedBody& body) {
    if (!cached.body && !cached.bodyBytes) return {};
    const std::uint64_t kept = body.stored.size();
    if (const auto promised = LengthValue(cached.contentLength); promised && kept < *promised)
        return "cut short: the server sent " + std::to_string(kept) + " of " + std::to_string(*promised) + " bytes";
    if (cached.markedTruncated)
        return "cut short: the browser marked the response incomplete; " + std::to_string(kept) + " bytes kept";
    return {};
}

// Whose times a body's file gives: a block file or a database holding several entries' bodies.
std::string SharedFileText(const std::string& fileName, std::size_t entries) {
    return fileName + (entries == 1 ? std::string(", a file of the cache shared by its entries")
                                    : ", shared by " + std::to_string(entries) + " entries");
}

constexpr std::string_view kWritingWhenStopped = "the browser was writing this cache when it stopped: ";

}  // namespace

void EvidenceRecorder::CachePartUnreadable(const std::string& where, const std::string& problem) {
    tally_.gaps.Add(&EvidenceGaps::cacheEntriesUnreadable, where + ": " + problem, separator_);
    host_.CacheProblem(where, problem);
}

bool EvidenceRecorder::LeftOutAsDeleted(const CacheEntry& cached, const std::string& where) {
    if (!cached.deleted || host_.IncludeDeletedCacheEntries()) return false;
    tally_.gaps.Add(&EvidenceGaps::deletedCacheEntriesLeftOut, where + ": " + cached.url, separator_);
    return true;
}

void EvidenceRecorder::UrlUnreadable(const std::string& where, const std::string& why) {
    CachePartUnreadable(where, "a cache entry whose URL could not be read: " + (why.empty() ? "it holds none" : why));
}

void EvidenceRecorder::ProcessCacheFile(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName, CacheFileKind kind) {
    if (kind == CacheFileKind::BlockfileIndex || kind == CacheFileKind::BlockfileEntries)
        ExamineBlockfileCache(folder, fullPath, fileName);
    else if (kind == CacheFileKind::SqlShard)
        ExamineSqlShard(folder, fullPath, fileName);
    else if (kind == CacheFileKind::FirefoxLegacy)
        ExamineFirefoxLegacyCache(folder, fullPath, fileName);
    else if (kind == CacheFileKind::IndexDat)
        NoteIeCacheIndex(folder, fullPath, fileName);
    else
        ExamineEntryFile(folder, fullPath, fileName, kind);
}

std::function<void(const HeldFile&)> EvidenceRecorder::BeforeCacheRead() {
    return [this](const HeldFile& file) {
        if (!file.AccessTimeKept()) host_.AccessTimeNotKept(file.FullPath());
        if (afterOpen_) afterOpen_(file.FullPath());
    };
}

void EvidenceRecorder::ExamineEntryFile(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName, CacheFileKind kind) {
    // A doomed entry is read even when such entries are not reported, so that the run can say how
    // many photos it left out.
    const bool doomed = kind == CacheFileKind::Cache2Doomed;
    HeldCacheSource files(folder, fullPath.substr(0, fullPath.size() - fileName.size()), BeforeCacheRead());
    // Only an entry file whose key names a photo is read whole.
    const CacheWanted photoKey = [](const CacheEntry& cached) { return PhotoOfCachedUrl(cached.url).has_value(); };
    CacheContents contents = kind == CacheFileKind::SimpleEntry
                                 ? ReadSimpleCache(files, fileName, photoKey)
                                 : ReadCache2(files, fileName, doomed ? Cache2Folder::Doomed : Cache2Folder::Entries);
    const HeldFile& file = *files.Held(fileName);
    if (file.Missing()) return;
    // A doomed entry is named by a number, as other files are: one with no key is no entry.
    std::erase_if(contents.entries, [&](const CacheEntry& cached) {
        return doomed && (cached.key.empty() || (cached.url.empty() && !host_.IncludeDeletedCacheEntries()));
    });
    RecordCacheContents(contents, {}, {.path = fullPath, .entryFile = &file}, &files);
}

void EvidenceRecorder::ExamineFirefoxLegacyCache(const VolumeFolder& folder, const std::string& fullPath,
                                                 const std::string& fileName) {
    // Read once, from whichever of its map and block files the walk meets first.
    const std::string folderPath = fullPath.substr(0, fullPath.size() - fileName.size());
    if (!firefoxLegacyCachesRead_.insert(folderPath).second) return;
    HeldCacheSource files(folder, folderPath, BeforeCacheRead());
    // A folder of a disk image opens only the names its listing has given so far; the separate
    // files lie in subfolders the walk has not entered yet, each opened below the walk's root.
    const std::optional<FileIdentity> identity = folder.Identity();
    const auto reopen = [this, folderPath, identity]() -> std::unique_ptr<VolumeFolder> {
        if (walkRoot_ == nullptr || !identity) return nullptr;
        SystemError error;
        return folderPath == walkRootPath_ ? walkVolume_->OpenRoot(walkRootPath_, error)
                                           : walkVolume_->OpenBelow(*walkRoot_, folderPath, *identity, error);
    };
    if (folderPath != walkRootPath_)
        files.SetReopen([this, folderPath, identity]() -> std::unique_ptr<VolumeFolder> {
            if (walkRoot_ == nullptr || !identity) return nullptr;
            SystemError error;
            return walkVolume_->OpenBelowForFiles(*walkRoot_, folderPath, *identity, error);
        });
    files.SetSubfolderOpener([this, folderPath, reopen](std::string_view name, std::string& path) {
        return walkRoot_ == nullptr ? nullptr
                                    : OpenListedSubfolder(*walkVolume_, *walkRoot_, reopen(), folderPath, name, path);
    });
    // A body is read only for an entry that may be a photo's, or whose URL cannot be read.
    const CacheWanted mayBePhoto = [](const CacheEntry& cached) {
        return cached.url.empty() || PhotoOfCachedUrl(cached.url).has_value();
    };
    const CacheContents contents = ReadFirefoxLegacyCache(files, mayBePhoto);
    Findings problems;
    problems.Add(contents.findings);
    problems.Add(files.NotWhole());
    if (contents.version.empty() && contents.entries.empty()) {
        // No such cache; a file of its names that would not open may have held photos.
        if (problems.Damaged()) CachePartUnreadable(fullPath, "part of the cache could not be read: " + problems.Text());
        return;
    }
    RecordCacheContents(contents, problems, {.path = folderPath + "_CACHE_MAP_", .folderPath = folderPath}, &files);
}

void EvidenceRecorder::ExamineSqlShard(const VolumeFolder& folder, const std::string& fullPath,
                                    const std::string& fileName) {
    const std::string folderPath = fullPath.substr(0, fullPath.size() - fileName.size());
    HeldCacheSource files(folder, folderPath, BeforeCacheRead());
    const CacheFile head = files.Read(fileName, 16);
    if (!head.opened) {
        // A shard that will not open may have held photos.
        if (!files.Held(fileName)->Missing())
            CachePartUnreadable(fullPath, "part of the cache could not be read: " + head.problem);
        return;
    }
    if (!IsSqliteDatabaseStart(head.bytes)) return;
#ifdef SNAPSIFT_SQLITE
    // A folder of a disk image opens only the names its listing has given so far, and a sibling
    // is listed after the file: its absence is told by the folder opened again for its files.
    files.SetReopen([&]() -> std::unique_ptr<VolumeFolder> {
        const std::optional<FileIdentity> identity = folder.Identity();
        if (walkRoot_ == nullptr || !identity || folderPath == walkRootPath_) return nullptr;
        SystemError error;
        return walkVolume_->OpenBelowForFiles(*walkRoot_, folderPath, *identity, error);
    });
    const CacheContents contents = ReadSqlCache(files, fileName);
    const HeldFile& shard = *files.Held(fileName);
    Findings problems;
    problems.Add(Severity::Damaged, shard.Problem());
    problems.Add(contents.findings);
    RecordCacheContents(contents, problems,
                        {.path = fullPath, .holder = &shard, .timesOf = SharedFileText(fileName, contents.entries.size())},
                        &files);
#else
    // This build reads no SQLite databases: the cache is named, once for its folder, and its
    // photos are missing from the report.
    if (!unreadableCaches_.insert(folderPath).second) return;
    tally_.gaps.Add(&EvidenceGaps::cachesNotReadable, folderPath + " (Chromium SQL cache)", separator_);
    host_.CacheProblem(fullPath, "this build cannot read Chromium's SQL cache: the photos it holds are not searched");
#endif
}

void EvidenceRecorder::ReadIeCacheIndex(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName) {
    const std::string folderPath = fullPath.substr(0, fullPath.size() - fileName.size());
    HeldCacheSource files(folder, folderPath, BeforeCacheRead());
    const CacheFile head = files.Read(fileName, kIndexDatSignatureSize);
    if (!head.opened) {
        // A locked or unreadable index leaves the photos beside it without their records.
        if (files.Held(fileName)->Missing()) return;
        ieCacheIndexes_[folderPath].problem = head.problem;
        CachePartUnreadable(fullPath, "the cache's index could not be read: " + head.problem);
        return;
    }
    if (!IsIndexDatStart(head.bytes)) return;  // an index.dat of something else
    IeCacheIndex& index = ieCacheIndexes_[folderPath];
    const CacheContents contents = ReadIndexDat(files, fileName);
    index.problem = DamageText(contents.findings);
    index.notes = NotesText(contents.findings);
    for (const CacheEntry& record : contents.entries) {
        if (!record.body) continue;
        const bool inFreeBlocks = record.reached == EntryReached::ByWalkInFreeBlocks;
        // "<folder>/<name>": a damaged record may not say its folder, and what it says of its
        // file's name is kept.
        const std::string key = LowerAscii(record.body->file);
        if (record.findings.Damaged() && !inFreeBlocks)
            index.damagedByName.emplace(key.substr(key.find('/') + 1), record);
        const auto found = index.records.find(key);
        // A live record the hash tables reach first, then one only the block walk reaches, then one
        // the browser let go of, then one left in blocks set free.
        const auto rank = [](const CacheEntry& r) {
            return r.reached == EntryReached::ByWalkInFreeBlocks ? 3 : r.deleted ? 2 : static_cast<int>(r.reached);
        };
        if (found == index.records.end() || rank(record) < rank(found->second)) index.records[key] = record;
    }
    if (!index.problem.empty()) CachePartUnreadable(fullPath, "part of the cache's index could not be read: " + index.problem);
}

void EvidenceRecorder::NoteIeCacheIndex(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName) {
    // Only a photo below it wants its records: until one does, the walk only notes where it is.
    // A folder that could not be opened again by its identity has its index read at once.
    const std::optional<FileIdentity> identity = folder.Identity();
    if (walkRoot_ == nullptr || !identity) {
        ReadIeCacheIndex(folder, fullPath, fileName);
        return;
    }
    UnreadIeCacheIndexes& unread = ieCacheIndexesUnread_[fullPath.substr(0, fullPath.size() - fileName.size())];
    unread.folder = *identity;
    unread.names.push_back(fileName);
}

void EvidenceRecorder::WalkRoot(Volume* volume, const VolumeFolder* root, const std::string& rootPath) {
    walkVolume_ = volume;
    walkRoot_ = root;
    walkRootPath_ = rootPath;
    ieCacheIndexesUnread_.clear();
}

namespace {

// ".../Content.IE5/ABCD1234/name[1].jpg": the index of a file lies in the folder above the file's
// own. The path of that folder, with its separator; nothing for a path without one.
std::optional<std::string> IeCacheIndexFolder(const std::string& fullPath, char separator) {
    const std::size_t nameStart = fullPath.rfind(separator);
    if (nameStart == std::string::npos || nameStart == 0) return std::nullopt;
    const std::size_t folderStart = fullPath.rfind(separator, nameStart - 1);
    if (folderStart == std::string::npos) return std::nullopt;
    return fullPath.substr(0, folderStart + 1);
}

}  // namespace

void EvidenceRecorder::ReadIeCacheIndexesFor(const std::string& fullPath) {
    const std::optional<std::string> folderPath = IeCacheIndexFolder(fullPath, separator_);
    if (!folderPath) return;
    const auto unread = ieCacheIndexesUnread_.find(*folderPath);
    if (unread == ieCacheIndexesUnread_.end()) return;
    const UnreadIeCacheIndexes indexes = std::move(unread->second);
    ieCacheIndexesUnread_.erase(unread);
    // The folder opened again below the walk's root, as the walk opens its folders.
    SystemError error;
    std::unique_ptr<VolumeFolder> opened;
    if (*folderPath != walkRootPath_) opened = walkVolume_->OpenBelowForFiles(*walkRoot_, *folderPath, indexes.folder, error);
    const VolumeFolder* folder = *folderPath == walkRootPath_ ? walkRoot_ : opened.get();
    for (const std::string& name : indexes.names) {
        if (folder != nullptr) {
            ReadIeCacheIndex(*folder, *folderPath + name, name);
            continue;
        }
        const std::string problem = "it could not be opened: " + SystemErrorText(error.code);
        ieCacheIndexes_[*folderPath].problem = problem;
        CachePartUnreadable(*folderPath + name, "the cache's index could not be read: " + problem);
    }
}

void EvidenceRecorder::AddIeCacheRecord(ReportEntry& entry) {
    const std::size_t nameStart = entry.fullPath.rfind(separator_);
    const std::optional<std::string> folderPath = IeCacheIndexFolder(entry.fullPath, separator_);
    if (!folderPath) return;
    const std::size_t folderStart = folderPath->size() - 1;
    const auto index = ieCacheIndexes_.find(*folderPath);
    if (index == ieCacheIndexes_.end()) return;
    const std::string key = LowerAscii(entry.fullPath.substr(folderStart + 1, nameStart - folderStart - 1) + '/' +
                                       entry.fullPath.substr(nameStart + 1));
    const auto found = index->second.records.find(key);
    if (found == index->second.records.end()) {
        if (const auto damaged = index->second.damagedByName.find(LowerAscii(entry.fullPath.substr(nameStart + 1)));
            damaged != index->second.damagedByName.end()) {
            const std::string problem = "its index.dat record could not be read: " + damaged->second.findings.Text();
            AddStatus(entry.status, problem);
            tally_.gaps.Add(&EvidenceGaps::cacheEntriesDamaged, entry.fullPath + ": " + problem, separator_);
            host_.CacheProblem(entry.fullPath, problem);
        } else if (!index->second.problem.empty()) {
            AddStatus(entry.status, "its cache's index.dat could not be read whole: its record may be missing");
            tally_.gaps.Add(&EvidenceGaps::cacheEntriesDamaged,
                            entry.fullPath + ": its cache's index.dat could not be read whole", separator_);
        }
        return;
    }
    const CacheEntry& record = found->second;
    const bool inFreeBlocks = record.reached == EntryReached::ByWalkInFreeBlocks;
    CacheRecord cache;
    cache.url = record.url;
    cache.format = FormatName(CacheFormat::InternetExplorerIndexDat);
    cache.serverLastModified = record.lastModified;
    cache.lastAccessed = record.lastUsed;
    cache.expires = record.expires;
    cache.lastChecked = record.lastChecked;
    cache.hitCount = record.fetchCount;
    cache.statusLine = record.statusLine;
    cache.contentType = record.contentType;
    cache.contentEncoding = record.contentEncoding;
    entry.cache = std::move(cache);
    if (inFreeBlocks)
        AddStatus(entry.status, "its index.dat record is one the browser had let go of, found in blocks set free");
    else if (record.deleted)
        AddStatus(entry.status, "its index.dat record is one the browser had let go of");
    const std::string damage = DamageText(record.findings);
    if (!damage.empty() && inFreeBlocks) {
        AddStatus(entry.status, "what is left of its index.dat record could not all be read: " + damage);
    } else if (!damage.empty()) {
        AddStatus(entry.status, "not all of its index.dat record could be read: " + damage);
        tally_.gaps.Add(&EvidenceGaps::cacheEntriesDamaged,
                        entry.fullPath + ": not all of its index.dat record could be read: " + damage, separator_);
        host_.CacheProblem(entry.fullPath, "not all of its index.dat record could be read: " + damage);
    }
    AddStatus(entry.status, NotesText(record.findings));
    AddStatus(entry.status, index->second.notes);
}

void EvidenceRecorder::ExamineBlockfileCache(const VolumeFolder& folder, const std::string& fullPath,
                                          const std::string& fileName) {
    // The cache is read once, from whichever of its index and its entry file (data_1) the walk
    // meets first; an index without the blockfile magic is held in case data_1 follows.
    constexpr std::string_view kIndexName = "index", kEntriesName = "data_1";
    const std::string folderPath = fullPath.substr(0, fullPath.size() - fileName.size());
    if (blockfileCachesRead_.contains(folderPath)) return;
    HeldCacheSource files(folder, folderPath, BeforeCacheRead());
    bool indexCounted = false;  // an index that would not open, counted when the walk met it
    if (fileName == kIndexName) {
        const CacheFile index = files.Read(kIndexName, 4);
        if (!index.opened || !IsBlockfileIndexStart(index.bytes)) {
            // Held, so that data_1 met later does not open it again; it may be the cache's index.
            if (files.Held(kIndexName)->Missing()) return;
            if (!index.opened) CachePartUnreadable(fullPath, "the cache's index could not be read: " + index.problem);
            heldIndex_ = HeldIndex{folderPath, files.Take(kIndexName)};
            return;
        }
    } else {
        const CacheFile entries = files.Read(kEntriesName, 4);
        if (!entries.opened || !IsBlockfileDataStart(entries.bytes)) return;
        if (heldIndex_ && heldIndex_->folderPath == folderPath) {
            indexCounted = !heldIndex_->file.Opened();
            files.Adopt(std::string(kIndexName), std::move(heldIndex_->file));
        }
    }
    heldIndex_.reset();
    blockfileCachesRead_.insert(folderPath);

    // A body, and the file that holds it, is read only for an entry that may be a photo's: one
    // whose URL names a photo, or one whose URL cannot be read (said with all that was read of it).
    const CacheWanted mayBePhoto = [](const CacheEntry& cached) {
        return cached.url.empty() || (!cached.key.starts_with("Range_") && PhotoOfCachedUrl(cached.url));
    };
    const CacheContents contents = ReadBlockfileCache(files, mayBePhoto);
    // What the cache as a whole lacks: entries its table no longer reaches, files not read whole;
    // an index counted already is not counted again.
    Findings problems;
    if (!indexCounted) problems.Add(Severity::Damaged, contents.indexUnusable);
    problems.Add(contents.findings);
    problems.Add(files.NotWhole());
    RecordCacheContents(contents, problems, {.path = folderPath + std::string(kIndexName), .folderPath = folderPath},
                        &files);
}

void EvidenceRecorder::RecordCacheContents(const CacheContents& contents, const Findings& cacheProblems,
                                           const CacheWhere& at, const HeldCacheSource* files) {
    if (cacheProblems.Damaged())
        CachePartUnreadable(at.path, "part of the cache could not be read: " + cacheProblems.Text());
    std::string cacheStatus;
    if (!contents.indexUnusable.empty())
        AddStatus(cacheStatus, "the cache's index is damaged: its entries were read from data_1 block by block");
    if (contents.crashed) AddStatus(cacheStatus, std::string(kWritingWhenStopped) + "its index was not closed cleanly");
    if (!contents.unfinishedChange.empty())
        AddStatus(cacheStatus, std::string(kWritingWhenStopped) + contents.unfinishedChange);
    AddStatus(cacheStatus, NotesText(cacheProblems));
    AddStatus(cacheStatus, at.status);
    // How many entries' bodies each block file holds: their times are the block file's.
    std::map<std::string, std::size_t, std::less<>> bodiesIn;
    for (const CacheEntry& cached : contents.entries)
        if (cached.body) ++bodiesIn[cached.body->file];

    for (const CacheEntry& cached : contents.entries) {
        if (cached.url.empty()) {
            Findings why = cached.findings;
            if (at.entryFile != nullptr && at.entryFile->Opened()) why.Add(Severity::Damaged, at.entryFile->Problem());
            UrlUnreadable(at.path, why.Text());
            continue;
        }
        // A sparse child holds a range of its parent's body, never a photo of its own.
        if (cached.format == CacheFormat::ChromiumBlockfile && cached.key.starts_with("Range_")) continue;
        const std::optional<CachedPhoto> photo = PhotoOfCachedUrl(cached.url);
        if (!photo || LeftOutAsDeleted(cached, at.path)) continue;
        const HeldFile* bodyFile = at.entryFile != nullptr ? at.entryFile : at.holder;
        std::string bodyPath = at.path, timesOf = at.timesOf;
        if (cached.body && !at.folderPath.empty() && files != nullptr) {
            bodyFile = files->Held(cached.body->file);
            if (bodyFile != nullptr && !bodyFile->Opened()) bodyFile = nullptr;
            bodyPath = at.folderPath + BodyPlaceText(*cached.body);
            // A separate file in a subfolder ("3/1A/2B3C4d01"), named with the volume's separator.
            if (cached.format == CacheFormat::FirefoxLegacy) std::replace(bodyPath.begin(), bodyPath.end(), '/', separator_);
            if (cached.body->block) timesOf = SharedFileText(cached.body->file, bodiesIn[cached.body->file]);
        }
        RecordCachedPhoto(cached, *photo, bodyFile, bodyPath, timesOf, cacheStatus);
    }
}

void EvidenceRecorder::RecordCachedPhoto(const CacheEntry& cached, const CachedPhoto& photo, const HeldFile* bodyFile,
                                      const std::string& bodyPath, const std::string& timesOf,
                                      const std::string& cacheStatus) {
    ReportEntry entry;
    entry.fullPath = bodyPath;
    entry.fileName = photo.name;
    entry.userId = photo.userId;
    entry.separator = separator_;
    entry.cache = RecordOf(cached);
    if (cached.deleted) AddStatus(entry.status, "deleted from the browser's cache (its content may have been partly overwritten)");
    AddStatus(entry.status, cacheStatus);
    if (bodyFile != nullptr) {
        AddStatus(entry.status, StatusText(bodyFile->State()));
        entry.timesAvailable = bodyFile->TimesAvailable();
        entry.timeCreated = bodyFile->Created();
        entry.timeAccessed = bodyFile->Accessed();
        entry.timeModified = bodyFile->Modified();
        entry.timesOf = timesOf;
    }

    // What of the entry is missing; any of it makes the entry's evidence incomplete.
    Findings problems;
    if (cached.findings.Damaged()) problems.Add(cached.findings);
    const CachedBody body = BodyOf(cached, bodyFile);
    const std::int32_t number = CountEntry();
    entry.number = number;
    const std::string named = "entry " + std::to_string(number) + ", " + bodyPath;
    const auto gap = [&](std::uint64_t EvidenceGaps::*count, const std::string& why) {
        tally_.gaps.Add(count, named + (why.empty() ? "" : ": " + why), separator_);
    };
    if (cached.body || cached.bodyBytes || problems.Empty()) problems.Add(Severity::Damaged, body.problem);
    // What the browser kept may be no photo, or not all of one: the entry says so, and only a
    // whole, successful response gives a copy.
    const std::string notPhoto = NotPhotoAnswer(cached.statusLine);
    const std::string cutShort = body.problem.empty() ? CutShortText(cached, body) : std::string();
    if (!notPhoto.empty()) {
        AddStatus(entry.status, notPhoto);
        gap(&EvidenceGaps::cachedNotPhotos, cached.statusLine);
    }
    if (!cutShort.empty()) {
        AddStatus(entry.status, cutShort);
        gap(&EvidenceGaps::cachedBodiesCutShort, cutShort);
        host_.CacheProblem(bodyPath, cutShort);
    }
    if (body.ofStoredBytes && body.md5) {
        // Encoded as the browser could not decode it, or as this build cannot: the stored bytes
        // are all there is to give.
        const bool unsupported = body.decoded.outcome == DecodedBody::Outcome::Unsupported;
        AddStatus(entry.status, body.decoded.note + (unsupported ? "" : "; the MD5 is of the stored bytes"));
        if (notPhoto.empty() && cutShort.empty()) {
            gap(&EvidenceGaps::bodiesNotDecoded, body.decoded.note);
            host_.CacheProblem(bodyPath, body.decoded.note);
        }
    }
    if (body.storedMd5) entry.cache->storedDigest = *body.storedMd5;
    const std::optional<std::string>& digest = body.md5;
    const bool fromDamage = body.unreliable;
    if (bodyFile != nullptr && bodyFile->Changed()) {
        gap(&EvidenceGaps::filesChanged, {});
        host_.FileChangedWhileRead(bodyPath);
    }
    // How the entry was read, where nothing of it was lost: said in its status alone.
    AddStatus(entry.status, NotesText(cached.findings));
    if (!problems.Empty()) {
        const std::string damage = "not all of the cache entry could be read: " + problems.Text();
        AddStatus(entry.status, damage);
        gap(&EvidenceGaps::cacheEntriesDamaged, damage);
        host_.CacheProblem(bodyPath, damage);
    }
    if (fromDamage) {
        AddStatus(entry.status, "unreliable: its bytes lie in a damaged part of the disk image, which was read as zeros");
        gap(&EvidenceGaps::entriesFromDamage, {});
    } else if (!digest || (!entry.timesAvailable && !carving_)) {
        gap(&EvidenceGaps::entriesIncomplete, entry.status);
    }
    if (digest) {
        // The first entry of a photo in a cache format stays its entry; a carved copy of it names it.
        const auto [first, isFirst] =
            tally_.cachedPhotos.try_emplace(entry.cache->format + '\n' + cached.url + '\n' + *digest, number);
        if (!isFirst && carving_)
            AddStatus(entry.status, "a copy of entry " + std::to_string(first->second) +
                                        " (the same cache format, URL and body), left in unallocated space");
    }
    entry.md5 = digest;
    if (digest && body.sha256) entry.sha256 = *body.sha256;

    if (host_.IncludePhotos() && body.Received() && notPhoto.empty() && cutShort.empty()) {
        const std::string copyName = CachedPhotoCopyName(photo.name, number);
        NewOutputFile copy;
        long error = copy.Create(runFolder_ + copyName) ? 0 : copy.Error();
        if (error == 0) {
            const bool whole = WriteReceivedBody(cached, body, [&copy](std::string_view piece) { copy.Write(piece); });
            error = copy.Finish();
            if (error == 0 && !whole) error = -1;
        }
        if (error == 0) {
            entry.copyFileName = copyName;
            entry.copyMade = true;
        }
        else
            CopyFailed(bodyPath, error);
    }
    AppendEntry(entry);
}

}  // namespace snapsift
