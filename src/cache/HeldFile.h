// One file of a browser's cache read into memory at its one open (with its times and whether
// its bytes can be trusted), and an entry's body taken from the file that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/BodyDecoding.h"
#include "cache/CacheEntry.h"
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
