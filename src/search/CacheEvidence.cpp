// The photos found in browsers' caches, each written as an evidence entry: the file that holds
// its body, its name from the URL, what the cache records, and the digest and copy of the bytes
// as the browser received them.
#include <map>

#include "cache/BlockfileCache.h"
#include "cache/BodyDecoding.h"
#include "cache/FirefoxCache.h"
#include "cache/SimpleCache.h"
#ifdef SNAPSIFT_SQLITE
#include "cache/SqlCache.h"
#endif
#include "hash/MD5.h"
#include "platform/OutputFile.h"
#include "report/Report.h"
#include "search/CacheFiles.h"
#include "search/EvidenceEntry.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

// What a simple-cache entry file is read for before its key says whether it holds a photo: its
// header and the key (a few hundred bytes), with room to spare.
constexpr std::size_t kSimpleHead = 16 * 1024;

std::string FormatName(CacheFormat format) {
    switch (format) {
    case CacheFormat::ChromiumBlockfile: return "Chromium blockfile cache";
    case CacheFormat::ChromiumSimple: return "Chromium simple cache";
    case CacheFormat::FirefoxCache2: return "Firefox cache2";
    case CacheFormat::ChromiumSql: return "Chromium SQL cache";
    case CacheFormat::InternetExplorerIndexDat: return "Internet Explorer index.dat";
    }
    return {};
}

void AddNote(std::string& notes, std::string_view note) {
    if (note.empty()) return;
    if (!notes.empty()) notes += "; ";
    notes += note;
}

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
    return record;
}

}  // namespace

void EvidenceEntry::CachePartUnreadable(const std::string& where, const std::string& problem) {
    ++tally_.gaps.cacheEntriesUnreadable;
    host_.CacheProblem(where, problem);
}

void EvidenceEntry::UrlUnreadable(const std::string& where, const std::string& why) {
    CachePartUnreadable(where, "a cache entry whose URL could not be read: " + (why.empty() ? "it holds none" : why));
}

void EvidenceEntry::ProcessCacheFile(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName, CacheFileKind kind) {
    if (kind == CacheFileKind::BlockfileIndex)
        ExamineBlockfileCache(folder, fullPath);
    else if (kind == CacheFileKind::SqlShard)
        ExamineSqlShard(folder, fullPath, fileName);
    else if (kind == CacheFileKind::IndexDat)
        ReadIeCacheIndex(folder, fullPath, fileName);
    else
        ExamineEntryFile(folder, fullPath, fileName, kind);
}

void EvidenceEntry::ExamineEntryFile(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName, CacheFileKind kind) {
    const bool doomed = kind == CacheFileKind::Cache2Doomed;
    if (doomed && !host_.IncludeDeletedCacheEntries()) return;
    HeldFile file;
    const auto unreadable = [&](const std::string& why) { UrlUnreadable(fullPath, why); };
    if (!file.Open(folder, fileName, fullPath)) {
        // A name like a cache entry's that could not be opened may have held a photo.
        if (!file.Missing() && !doomed) unreadable(file.Problem());
        return;
    }
    if (!file.AccessTimeKept()) host_.AccessTimeNotKept(fullPath);
    if (afterOpen_) afterOpen_(fullPath);

    CacheEntry cached;
    if (kind == CacheFileKind::SimpleEntry) {
        file.ReadUpTo(kSimpleHead);
        if (!IsSimpleEntryStart(file.Bytes())) {
            // Not a cache entry (or nothing of it could be read).
            if (!file.Problem().empty()) unreadable(file.Problem());
            return;
        }
        if (const std::optional<std::string> key = SimpleEntryKey(file.Bytes())) {
            if (!PhotoOfCachedUrl(UrlFromChromiumKey(*key))) return;
        }
        file.ReadWhole();
        cached = ReadSimpleEntry(fileName, file.Bytes());
    } else {
        file.ReadWhole();
        cached = ReadCache2Entry(fileName, file.Bytes(), doomed ? Cache2Folder::Doomed : Cache2Folder::Entries);
        cached.deleted = cached.deleted || doomed;
        // A doomed entry is named by a number, as other files are: one with no key is no entry.
        if (doomed && cached.key.empty()) return;
    }
    if (cached.url.empty()) {
        std::string why = cached.note;
        AddNote(why, file.Problem());
        unreadable(why);
        return;
    }
    const std::optional<CachedPhoto> photo = PhotoOfCachedUrl(cached.url);
    if (!photo || (cached.deleted && !host_.IncludeDeletedCacheEntries())) return;
    RecordCachedPhoto(cached, *photo, &file, fullPath);
}

void EvidenceEntry::ExamineSqlShard(const VolumeFolder& folder, const std::string& fullPath,
                                    const std::string& fileName) {
#ifdef SNAPSIFT_SQLITE
    HeldFile file;
    if (!file.Open(folder, fileName, fullPath)) return;  // a "sqldb" name of something else, or none
    if (!file.AccessTimeKept()) host_.AccessTimeNotKept(fullPath);
    if (afterOpen_) afterOpen_(fullPath);
    file.ReadUpTo(16);
    if (!IsSqliteDatabaseStart(file.Bytes())) return;
    file.ReadWhole();
    std::string problems = file.Problem();
    const SqlCacheContents contents = ReadSqlCache(file.Bytes(), fileName);
    AddNote(problems, contents.note);
    if (!problems.empty()) CachePartUnreadable(fullPath, "part of the cache could not be read: " + problems);
    for (const CacheEntry& cached : contents.entries) {
        if (cached.url.empty()) {
            UrlUnreadable(fullPath, cached.note);
            continue;
        }
        const std::optional<CachedPhoto> photo = PhotoOfCachedUrl(cached.url);
        if (!photo || (cached.deleted && !host_.IncludeDeletedCacheEntries())) continue;
        RecordCachedPhoto(cached, *photo, &file, fullPath);
    }
#else
    // This build reads no SQLite databases.
    (void)folder;
    (void)fullPath;
    (void)fileName;
#endif
}

void EvidenceEntry::ReadIeCacheIndex(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName) {
    HeldFile file;
    const std::string folderPath = fullPath.substr(0, fullPath.size() - fileName.size());
    if (!file.Open(folder, fileName, fullPath)) {
        // A locked or unreadable index leaves the photos beside it without their records.
        if (file.Missing()) return;
        ieCacheIndexes_[folderPath].problem = file.Problem();
        CachePartUnreadable(fullPath, "the cache's index could not be read: " + file.Problem());
        return;
    }
    if (!file.AccessTimeKept()) host_.AccessTimeNotKept(fullPath);
    if (afterOpen_) afterOpen_(fullPath);
    file.ReadUpTo(kIndexDatSignatureSize);
    if (!IsIndexDatStart(file.Bytes())) return;  // an index.dat of something else
    file.ReadWhole();
    IeCacheIndex& index = ieCacheIndexes_[folderPath];
    const IndexDatContents contents = ReadIndexDat(file.Bytes());
    index.problem = file.Problem();
    AddNote(index.problem, contents.note);
    for (const IndexDatRecord& record : contents.records) {
        if (record.fileName.empty() || record.kind == IndexDatRecordKind::Redirect) continue;
        const std::string key = LowerAscii(record.folder + '\\' + record.fileName);
        const auto found = index.records.find(key);
        if (found == index.records.end() || (found->second.deleted && !record.deleted)) index.records[key] = record;
    }
    if (!index.problem.empty()) CachePartUnreadable(fullPath, "part of the cache's index could not be read: " + index.problem);
}

void EvidenceEntry::AddIeCacheRecord(ReportEntry& entry) {
    // ".../Content.IE5/ABCD1234/name[1].jpg": the index lies in the folder above the file's own.
    const std::size_t nameStart = entry.fullPath.rfind(separator_);
    if (nameStart == std::string::npos || nameStart == 0) return;
    const std::size_t folderStart = entry.fullPath.rfind(separator_, nameStart - 1);
    if (folderStart == std::string::npos) return;
    const auto index = ieCacheIndexes_.find(entry.fullPath.substr(0, folderStart + 1));
    if (index == ieCacheIndexes_.end()) return;
    const std::string key = LowerAscii(entry.fullPath.substr(folderStart + 1, nameStart - folderStart - 1) + '\\' +
                                       entry.fullPath.substr(nameStart + 1));
    const auto found = index->second.records.find(key);
    if (found == index->second.records.end()) {
        if (!index->second.problem.empty()) {
            AddStatus(entry.status, "its cache's index.dat could not be read whole: its record may be missing");
            ++tally_.gaps.cacheEntriesDamaged;
        }
        return;
    }
    const IndexDatRecord& record = found->second;
    CacheRecord cache;
    cache.url = record.url;
    cache.format = FormatName(CacheFormat::InternetExplorerIndexDat);
    cache.serverLastModified = record.lastModified;
    cache.lastAccessed = record.lastAccessed;
    cache.expires = record.expires;
    cache.lastChecked = record.lastChecked;
    cache.hitCount = record.hitCount;
    cache.statusLine = record.statusLine;
    cache.contentType = record.contentType;
    cache.contentEncoding = record.contentEncoding;
    entry.cache = std::move(cache);
    if (record.deleted) AddStatus(entry.status, "its index.dat record is one the browser had let go of");
    if (!record.note.empty()) {
        AddStatus(entry.status, "not all of its index.dat record could be read: " + record.note);
        ++tally_.gaps.cacheEntriesDamaged;
        host_.CacheProblem(entry.fullPath, "not all of its index.dat record could be read: " + record.note);
    }
}

void EvidenceEntry::ExamineBlockfileCache(const VolumeFolder& folder, const std::string& indexPath) {
    constexpr std::string_view kIndexName = "index";
    const std::string folderPath = indexPath.substr(0, indexPath.size() - kIndexName.size());
    // Each file of the cache opened once and held while the cache is read.
    std::map<std::string, HeldFile, std::less<>> files;
    HeldFile& index = files[std::string(kIndexName)];
    if (!index.Open(folder, kIndexName, indexPath)) return;  // an "index" of something else, or none
    index.ReadUpTo(4);
    if (!IsBlockfileIndexStart(index.Bytes())) return;
    if (!index.AccessTimeKept()) host_.AccessTimeNotKept(indexPath);
    index.ReadWhole();

    const BlockfileFiles held = [&](std::string_view name) -> std::optional<std::span<const std::uint8_t>> {
        auto found = files.find(name);
        if (found == files.end()) {
            found = files.emplace(std::string(name), HeldFile()).first;
            HeldFile& file = found->second;
            const std::string path = folderPath + std::string(name);
            if (file.Open(folder, name, path)) {
                if (!file.AccessTimeKept()) host_.AccessTimeNotKept(path);
                if (afterOpen_) afterOpen_(path);
                file.ReadWhole();
            }
        }
        if (!found->second.Opened()) return std::nullopt;
        return found->second.Bytes();
    };
    const BlockfileCacheContents contents = ReadBlockfileCacheContents(held);
    // What the cache as a whole lacks: entries its table no longer reaches, files not read whole.
    std::string cacheProblems = contents.note;
    for (const auto& [name, file] : files)
        if (file.Opened() && !file.Problem().empty()) AddNote(cacheProblems, name + ": " + file.Problem());
    if (!cacheProblems.empty()) CachePartUnreadable(indexPath, "part of the cache could not be read: " + cacheProblems);

    for (const CacheEntry& cached : contents.entries) {
        if (cached.url.empty()) {
            UrlUnreadable(indexPath, cached.note);
            continue;
        }
        // A sparse child holds a range of its parent's body, never a photo of its own.
        if (cached.key.starts_with("Range_")) continue;
        const std::optional<CachedPhoto> photo = PhotoOfCachedUrl(cached.url);
        if (!photo || (cached.deleted && !host_.IncludeDeletedCacheEntries())) continue;
        const HeldFile* bodyFile = nullptr;
        std::string bodyPath = indexPath;
        if (cached.body) {
            const auto found = files.find(cached.body->file);
            if (found != files.end() && found->second.Opened()) bodyFile = &found->second;
            bodyPath = folderPath + BodyPlaceText(*cached.body);
        }
        RecordCachedPhoto(cached, *photo, bodyFile, bodyPath);
    }
}

void EvidenceEntry::RecordCachedPhoto(const CacheEntry& cached, const CachedPhoto& photo, const HeldFile* bodyFile,
                                      const std::string& bodyPath) {
    ReportEntry entry;
    entry.fullPath = bodyPath;
    entry.fileName = photo.name;
    entry.userId = photo.userId;
    entry.separator = separator_;
    entry.cache = RecordOf(cached);
    if (cached.deleted) AddStatus(entry.status, "deleted from the browser's cache (its content may have been partly overwritten)");
    if (bodyFile != nullptr) {
        AddStatus(entry.status, StatusText(bodyFile->State()));
        entry.timesAvailable = bodyFile->TimesAvailable();
        entry.timeCreated = bodyFile->Created();
        entry.timeAccessed = bodyFile->Accessed();
        entry.timeModified = bodyFile->Modified();
    }

    // What of the entry is missing; any of it makes the entry's evidence incomplete.
    std::string problems = cached.note;
    const CachedBody body = BodyOf(cached, bodyFile);
    if (!cached.body && !cached.bodyBytes && !problems.empty()) {
        // The reader has said why the body could not be placed.
    } else if (body.decoded.outcome == DecodedBody::Outcome::Unsupported) {
        // The stored bytes are all there is to give, and the entry says so.
        AddStatus(entry.status, body.decoded.note);
    } else {
        AddNote(problems, body.problem);
    }
    if (body.storedMd5) entry.cache->storedDigest = *body.storedMd5;
    const std::optional<std::string>& digest = body.md5;
    const bool fromDamage = body.unreliable;
    if (bodyFile != nullptr && bodyFile->Changed()) {
        ++tally_.gaps.filesChanged;
        host_.FileChangedWhileRead(bodyPath);
    }
    if (!problems.empty()) {
        problems.insert(0, "not all of the cache entry could be read: ");
        AddStatus(entry.status, problems);
        ++tally_.gaps.cacheEntriesDamaged;
        host_.CacheProblem(bodyPath, problems);
    }
    if (fromDamage) {
        AddStatus(entry.status, "unreliable: its bytes lie in a damaged part of the disk image, which was read as zeros");
        ++tally_.gaps.entriesFromDamage;
    } else if (!digest || !entry.timesAvailable) {
        ++tally_.gaps.entriesIncomplete;
    }
    entry.digest = digest.value_or(std::string(MD5::kFileFailureText));
    if (digest && body.sha256) entry.sha256 = *body.sha256;

    const std::int32_t number = CountEntry();
    entry.number = number;
    if (host_.IncludePhotos() && digest) {
        const std::string copyName = CachedPhotoCopyName(photo.name, number);
        NewOutputFile copy;
        long error = copy.Create(runFolder_ + copyName) ? 0 : copy.Error();
        if (error == 0) {
            copy.Write(std::string_view(reinterpret_cast<const char*>(body.received.data()), body.received.size()));
            error = copy.Finish();
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
