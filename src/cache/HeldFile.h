// One file of a browser's cache read into memory at its one open (with its times and whether
// its bytes can be trusted), and an entry's body taken from the file that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/BodyDecoding.h"
#include "cache/CacheEntry.h"
#include "cache/CacheReader.h"
#include "text/DateText.h"
#include "volume/Volume.h"

namespace snapsift {

// Whether an open failed because the name stands for no file: the system's "no such file", or a
// volume's kNotOnVolume.
bool NoSuchFile(const SystemError& error);

// One file of a cache, opened once and read into memory: the times as they were at the open,
// then its bytes.
class HeldFile {
public:
    // The largest file held whole: larger ones are no cache entry worth reading as one.
    static constexpr std::size_t kLimit = std::size_t{1} << 28;

    // Opens `name` of `folder` (fullPath its whole path) and takes its times. False when it could
    // not be opened; Problem() says why. A name that stands for no file is `missing`.
    bool Open(const VolumeFolder& folder, std::string_view name, const std::string& fullPath);
    // Reads on until `size` bytes are held (never past kLimit) or the file ends. False on a
    // failed read; Problem() says why.
    bool ReadUpTo(std::size_t size);
    bool ReadWhole() { return ReadUpTo(kLimit); }

    const std::string& FullPath() const { return fullPath_; }
    bool Opened() const { return file_ != nullptr || opened_; }
    bool Missing() const { return missing_; }
    // The open failed as the name stands for no file (NoSuchFile), whether or not it was listed.
    bool NoSuchFile() const { return noSuchFile_; }
    // All of the file is held, and it did not change while it was read.
    bool Whole() const { return whole_; }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }
    std::int64_t Size() const { return size_; }
    FileState State() const { return state_; }
    bool TimesAvailable() const { return timesAvailable_; }
    const std::optional<DateTime>& Created() const { return created_; }
    const DateTime& Accessed() const { return accessed_; }
    const DateTime& Modified() const { return modified_; }
    bool AccessTimeKept() const { return accessTimeKept_; }
    bool Changed() const { return changed_; }
    bool FromDamage() const { return fromDamage_; }
    // Why the file is not held whole; empty when it is (or its reading has not ended).
    const std::string& Problem() const { return problem_; }

private:
    void Close();

    std::unique_ptr<VolumeFile> file_;
    std::string fullPath_;
    std::vector<std::uint8_t> bytes_;
    std::int64_t size_ = 0;
    FileState state_ = FileState::Present;
    bool opened_ = false, missing_ = false, noSuchFile_ = false, whole_ = false, changed_ = false, fromDamage_ = false;
    bool timesAvailable_ = false, accessTimeKept_ = true;
    std::optional<DateTime> created_;
    DateTime accessed_, modified_;
    std::string problem_;
};

// A cache folder's files on a volume, for a reader: each opened when first asked for, once, and
// held (with its times) while the cache is read.
class HeldCacheSource : public CacheSource {
public:
    // folderPath is the folder's own path, ending in its separator. beforeRead is called with each
    // file once it is open and before its first byte is read.
    HeldCacheSource(const VolumeFolder& folder, std::string folderPath,
                    std::function<void(const HeldFile&)> beforeRead = {})
        : folder_(folder), folderPath_(std::move(folderPath)), beforeRead_(std::move(beforeRead)) {}

    CacheFile Read(std::string_view name, std::size_t upTo = kWhole) override;
    // A file the caller opened already, held from now on as this folder's `name`.
    void Adopt(std::string name, HeldFile file) {
        const bool read = file.Opened();  // told of already, when it was first read
        files_.insert_or_assign(std::move(name), Entry{std::move(file), false, read});
    }
    // The file asked for as `name`, handed over (a file never asked for: one never opened).
    HeldFile Take(std::string_view name) {
        const auto found = files_.find(name);
        return found == files_.end() ? HeldFile() : std::move(found->second.file);
    }
    // The names "<name>/..." are those of `folder` (whose path is folderPath, ending in its
    // separator); below any other subfolder every name is missing.
    void AddFolder(std::string name, std::unique_ptr<VolumeFolder> folder, std::string folderPath) {
        subfolders_.insert_or_assign(std::move(name), Subfolder{std::move(folder), std::move(folderPath)});
    }
    // A folder of a disk image opens only the names its listing has given so far: a name it says
    // is no file is looked for again in the folder as `reopen` opens it again, and is missing only
    // when that folder says so too (not known when it gives none).
    void SetReopen(std::function<std::unique_ptr<VolumeFolder>()> reopen) { reopen_ = std::move(reopen); }
    // Subfolders not added are opened when a name below one is first asked for: `open` gets the
    // subfolder's name ("3/1A") and gives the folder and its path (ending in its separator), or
    // none; asked once for each.
    using SubfolderOpener =
        std::function<std::unique_ptr<VolumeFolder>(std::string_view name, std::string& path)>;
    void SetSubfolderOpener(SubfolderOpener open) { openSubfolder_ = std::move(open); }
    // The file asked for as `name`, opened or not; none when never asked for.
    const HeldFile* Held(std::string_view name) const;
    // Each file opened and not held whole, as "<name>: <why>".
    Findings NotWhole() const;

private:
    struct Entry {
        HeldFile file;
        bool unknown = false, read = false;
    };
    struct Subfolder {
        std::unique_ptr<VolumeFolder> folder;
        std::string path;
    };
    const VolumeFolder& folder_;
    std::string folderPath_;
    std::function<void(const HeldFile&)> beforeRead_;
    std::function<std::unique_ptr<VolumeFolder>()> reopen_;
    SubfolderOpener openSubfolder_;
    std::unique_ptr<VolumeFolder> reopened_;
    bool reopenTried_ = false;
    std::map<std::string, Entry, std::less<>> files_;
    std::map<std::string, Subfolder, std::less<>> subfolders_;
};

// The folder `relative` ("3/1A") below `start`, a folder freshly opened at startPath below the open
// root `root` (or the root itself, opened again): each level listed for the next one's identity and
// opened below the root by it, so that no link is followed. Its path goes into `path`; nothing when
// a level is not there or will not open.
std::unique_ptr<VolumeFolder> OpenListedSubfolder(Volume& volume, const VolumeFolder& root,
                                                  std::unique_ptr<VolumeFolder> start, std::string startPath,
                                                  std::string_view relative, std::string& path);

// An entry's body taken from the held file that holds it: the stored bytes, what decoding them
// by their Content-Encoding gave, and the digests. The decoded body is never held: it is decoded
// in pieces into the digests, and again into a copy (WriteReceivedBody).
struct CachedBody {
    std::span<const std::uint8_t> stored;    // as the cache keeps them (a view into the held file)
    DecodedBody decoded;                     // the outcome and its note; its bytes stay empty
    // The body as the browser received it: decoded, or the stored bytes where they are not
    // encoded. Where they are encoded and do not decode (or this build cannot decode them), the
    // digests are those of the stored bytes, and `ofStoredBytes` says so.
    std::optional<std::string> md5;          // none when it cannot be had
    std::optional<std::string> sha256;       // with md5
    bool ofStoredBytes = false;
    std::optional<std::string> storedMd5;    // of `stored`, when the body was decoded
    std::string problem;                     // why the body is missing or not whole in the cache
    bool unreliable = false;                 // its bytes came from a damaged part of a disk image
    // The body as the browser received it can be given (decoded, or not encoded).
    bool Received() const {
        return md5 && !ofStoredBytes && (decoded.outcome == DecodedBody::Outcome::NotEncoded ||
                                         decoded.outcome == DecodedBody::Outcome::Decoded);
    }
};

// The body of `entry`; bodyFile is the held file named by its place (none when it could not be
// opened).
CachedBody BodyOf(const CacheEntry& entry, const HeldFile* bodyFile);

// Writes the body as the browser received it, piece by piece: the stored bytes, or decoded again.
// False when it does not decode as it did for the digests.
bool WriteReceivedBody(const CacheEntry& entry, const CachedBody& body,
                       const std::function<void(std::string_view)>& write);

// Where a body lies, as the report and a listing give it: the file, and for a block file the
// block and the bytes ("data_2, block 26 (1,024 bytes at 34,816)").
std::string BodyPlaceText(const BodyPlace& place);

}  // namespace snapsift
