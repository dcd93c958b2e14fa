#include "cache/HeldFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "text/PathText.h"

namespace snapsift {

bool NoSuchFile(const SystemError& error) {
#ifdef _WIN32
    constexpr long kFileNotFound = 2, kPathNotFound = 3;  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
    if (error.code == kFileNotFound || error.code == kPathNotFound) return true;
#else
    if (error.code == ENOENT) return true;
#endif
    return error == kNotOnVolume;
}

bool HeldFile::Open(const VolumeFolder& folder, std::string_view name, const std::string& fullPath) {
    fullPath_ = fullPath;
    SystemError error;
    file_ = folder.OpenFile(name, fullPath, error);
    if (!file_) {
        missing_ = error == kNotOnVolume;
        noSuchFile_ = snapsift::NoSuchFile(error);
        problem_ = missing_ ? "it is not on the volume" : "it could not be opened: " + SystemErrorText(error.code);
        return false;
    }
    opened_ = true;
    state_ = file_->State();
    size_ = file_->Size();
    accessTimeKept_ = file_->AccessTimeKept();
    timesAvailable_ = file_->Times(created_, accessed_, modified_);
    if (state_ == FileState::RecordReused || state_ == FileState::RecordUnreadable ||
        state_ == FileState::DeletedRecordUnreadable) {
        problem_ = "its record is lost: nothing of it can be read";
        timesAvailable_ = false;
        Close();
        return true;
    }
    if (file_->Error().code != 0) {
        problem_ = "its record is damaged: nothing of it is read";
        Close();
    }
    return true;
}

bool HeldFile::ReadUpTo(std::size_t size) {
    if (!file_) return whole_;
    size = std::min(size, kLimit);
    constexpr std::size_t kChunk = 64 * 1024;
    while (bytes_.size() < size) {
        const std::size_t before = bytes_.size();
        const std::size_t want = std::min(kChunk, size - before);
        bytes_.resize(before + want);
        const std::int64_t got = file_->Read(bytes_.data() + before, want);
        if (got < 0) {
            bytes_.resize(before);
            problem_ = "it could not be read: " + SystemErrorText(file_->Error().code);
            Close();
            return false;
        }
        bytes_.resize(before + static_cast<std::size_t>(got));
        if (got == 0) {
            // Its end: the bytes are the file's when nothing of it changed and none came from damage.
            fromDamage_ = file_->ReadFromDamage();
            changed_ = !file_->UnchangedSinceOpen();
            if (changed_) problem_ = "it changed while it was read";
            else if (fromDamage_) problem_ = "its bytes lie in a damaged part of the disk image, which was read as zeros";
            else whole_ = true;
            Close();
            return whole_;
        }
    }
    if (bytes_.size() >= kLimit) {
        problem_ = "it is larger than " + std::to_string(kLimit >> 20) + " MiB: not read whole";
        Close();
        return false;
    }
    return true;
}

void HeldFile::Close() { file_.reset(); }

CacheFile HeldCacheSource::Read(std::string_view name, std::size_t upTo) {
    auto found = files_.find(name);
    if (found == files_.end()) {
        const std::size_t slash = name.rfind('/');
        const VolumeFolder* folder = &folder_;
        std::string path = folderPath_;
        if (slash != std::string_view::npos) {
            auto sub = subfolders_.find(name.substr(0, slash));
            if (sub == subfolders_.end() && openSubfolder_) {
                std::string subPath;
                std::unique_ptr<VolumeFolder> opened = openSubfolder_(name.substr(0, slash), subPath);
                sub = subfolders_.emplace(std::string(name.substr(0, slash)), Subfolder{std::move(opened), subPath}).first;
            }
            if (sub == subfolders_.end() || !sub->second.folder) return CacheFile{false, true, {}, {}, 0};
            folder = sub->second.folder.get();
            path = sub->second.path;
        }
        const std::string_view leaf = name.substr(slash == std::string_view::npos ? 0 : slash + 1);
        found = files_.emplace(std::string(name), Entry()).first;
        Entry& held = found->second;
        if (!held.file.Open(*folder, leaf, path + std::string(leaf)) && held.file.NoSuchFile() && reopen_) {
            if (!reopenTried_) reopened_ = reopen_();
            reopenTried_ = true;
            held.unknown = reopened_ == nullptr;
            if (reopened_) {
                HeldFile again;
                again.Open(*reopened_, leaf, path + std::string(leaf));
                held.file = std::move(again);
            }
        }
    }
    Entry& held = found->second;
    HeldFile& file = held.file;
    if (file.Opened() && upTo > 0 && !held.read) {
        held.read = true;
        if (beforeRead_) beforeRead_(file);
    }
    if (upTo > 0) file.ReadUpTo(std::min(upTo, HeldFile::kLimit));
    return {.opened = file.Opened(), .missing = !file.Opened() && file.NoSuchFile() && !held.unknown,
            .problem = file.Problem(), .bytes = file.Bytes(), .size = file.Size()};
}

std::unique_ptr<VolumeFolder> OpenListedSubfolder(Volume& volume, const VolumeFolder& root,
                                                  std::unique_ptr<VolumeFolder> start, std::string startPath,
                                                  std::string_view relative, std::string& path) {
    std::unique_ptr<VolumeFolder> folder = std::move(start);
    path = std::move(startPath);
    while (folder && !relative.empty()) {
        const std::string_view wanted = relative.substr(0, relative.find('/'));
        relative.remove_prefix(std::min(wanted.size() + 1, relative.size()));
        std::string_view name;
        EntryKind kind;
        FileIdentity identity;
        bool found = false;
        while (!found && folder->Next(name, kind, &identity) == ListingStep::Entry)
            found = kind == EntryKind::Folder && name == wanted;
        if (!found) return nullptr;
        path += std::string(wanted) + volume.Separator();
        // The last level for its files: a disk image's folder opens only the names it has listed.
        SystemError error;
        folder = relative.empty() ? volume.OpenBelowForFiles(root, path, identity, error)
                                  : volume.OpenBelow(root, path, identity, error);
    }
    return folder;
}

const HeldFile* HeldCacheSource::Held(std::string_view name) const {
    const auto found = files_.find(name);
    return found == files_.end() ? nullptr : &found->second.file;
}

Findings HeldCacheSource::NotWhole() const {
    Findings findings;
    for (const auto& [name, held] : files_)
        if (held.file.Opened() && !held.file.Problem().empty())
            findings.Add(Severity::Damaged, name + ": " + held.file.Problem());
    return findings;
}

namespace {

std::optional<std::string> Md5Hex(std::span<const std::uint8_t> bytes) {
    try {
        MD5 md5;
        md5.Init();
        md5.Update(bytes);
        return md5.Final();
    } catch (const MD5OverflowError&) {
        return std::nullopt;  // 2^29 bytes or more: no MD5, as for a file
    }
}

// 34816 as "34,816".
std::string WithThousands(std::uint64_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

void TakeDigests(Md5Sha256& digests, CachedBody& body) {
    Md5Sha256::Digests taken = digests.Final();
    body.md5 = std::move(taken.md5);
    if (body.md5) body.sha256 = std::move(taken.sha256);
}

}  // namespace

CachedBody BodyOf(const CacheEntry& entry, const HeldFile* bodyFile) {
    CachedBody body;
    if (!entry.body && !entry.bodyBytes) {
        body.problem = "its body could not be found";
        return body;
    }
    // A body carved from bytes that no file holds has none: the reader holds its bytes.
    if (bodyFile == nullptr ? !entry.bodyBytes : !bodyFile->Whole()) {
        const std::string file = entry.body ? entry.body->file : std::string("its database");
        body.problem = file + ": " + (bodyFile ? bodyFile->Problem() : "it could not be opened");
        body.unreliable = bodyFile != nullptr && bodyFile->FromDamage();
        return body;
    }
    if (entry.bodyBytes) {
        // Put together from a database's pieces by the reader, which said in the entry's note
        // what it could not put together.
        body.stored = {reinterpret_cast<const std::uint8_t*>(entry.bodyBytes->data()), entry.bodyBytes->size()};
    } else {
        const std::span<const std::uint8_t> held = bodyFile->Bytes();
        const std::uint64_t offset = std::min<std::uint64_t>(entry.body->offset, held.size());
        body.stored = held.subspan(offset, std::min<std::uint64_t>(entry.body->length, held.size() - offset));
        if (body.stored.size() < entry.body->length)
            body.problem = "its body is cut short: " + std::to_string(body.stored.size()) + " of " +
                           std::to_string(entry.body->length) + " bytes";
    }
    using Outcome = DecodedBody::Outcome;
    try {
        Md5Sha256 digests;
        const BodyDecoding decoding = DecodeBodyInPieces(
            entry.contentEncoding, body.stored, [&](std::span<const std::uint8_t> piece) { digests.Update(piece); });
        body.decoded.outcome = decoding.outcome;
        body.decoded.note = decoding.note;
        if (decoding.outcome == Outcome::Decoded) {
            TakeDigests(digests, body);
            body.storedMd5 = Md5Hex(body.stored);
        } else {
            // Not encoded, or not decoded: the stored bytes are all there is to give.
            Md5Sha256 stored;
            stored.Update(body.stored);
            TakeDigests(stored, body);
            body.ofStoredBytes = decoding.outcome != Outcome::NotEncoded;
        }
    } catch (const std::exception& failure) {
        // A digest engine or a decoder that fails (the system's SHA-256, memory): no digest.
        body.md5.reset();
        body.sha256.reset();
        if (body.problem.empty()) body.problem = std::string("its digests could not be made: ") + failure.what();
    }
    return body;
}

bool WriteReceivedBody(const CacheEntry& entry, const CachedBody& body,
                       const std::function<void(std::string_view)>& write) {
    if (body.decoded.outcome == DecodedBody::Outcome::NotEncoded) {
        write(std::string_view(reinterpret_cast<const char*>(body.stored.data()), body.stored.size()));
        return true;
    }
    const BodyDecoding again = DecodeBodyInPieces(entry.contentEncoding, body.stored, [&](std::span<const std::uint8_t> piece) {
        write(std::string_view(reinterpret_cast<const char*>(piece.data()), piece.size()));
    });
    return again.outcome == DecodedBody::Outcome::Decoded;
}

std::string BodyPlaceText(const BodyPlace& place) {
    std::string text = place.file;
    if (place.block)
        text += ", block " + std::to_string(*place.block) + " (" + WithThousands(place.length) + " bytes at " +
                WithThousands(place.offset) + ")";
    return text;
}


}  // namespace snapsift
