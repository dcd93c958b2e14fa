#include "search/CacheFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "cache/FirefoxCache.h"
#include "cache/SimpleCache.h"
#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "search/Recognition.h"
#include "text/PathText.h"

namespace snapsift {

std::optional<CacheFileKind> CacheFileKindOf(std::string_view fileName) {
    if (fileName == "index") return CacheFileKind::BlockfileIndex;
    if (fileName == "data_1") return CacheFileKind::BlockfileEntries;
    if (fileName.size() == 9 && std::equal(fileName.begin(), fileName.end(), "index.dat", [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a + 32) : a) == b;
        }))
        return CacheFileKind::IndexDat;
    if (IsSimpleEntryName(fileName)) return CacheFileKind::SimpleEntry;
    if (IsCache2EntryFileName(fileName, Cache2Folder::Entries)) return CacheFileKind::Cache2Entry;
    if (IsCache2EntryFileName(fileName, Cache2Folder::Doomed)) return CacheFileKind::Cache2Doomed;
    if (IsSqlShardName(fileName)) return CacheFileKind::SqlShard;
    return std::nullopt;
}

bool IsSqlShardName(std::string_view fileName) {
    constexpr std::string_view kShard = "sqldb";
    return fileName.size() > kShard.size() && fileName.size() <= kShard.size() + 10 && fileName.starts_with(kShard) &&
           IsNumeric(fileName.substr(kShard.size()));
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%HH" as its byte; a "%" not followed by two hex digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size()) {
            const int high = HexValue(text[at + 1]), low = HexValue(text[at + 2]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high << 4 | low);
                at += 2;
                continue;
            }
        }
        decoded += text[at];
    }
    return decoded;
}

}  // namespace

std::optional<CachedPhoto> PhotoOfCachedUrl(std::string_view url) {
    url = url.substr(0, std::min(url.find('#'), url.size()));
    url = url.substr(0, std::min(url.find('?'), url.size()));
    const std::size_t slash = url.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string name = PercentDecoded(url.substr(slash + 1));
    const std::size_t dot = name.rfind('.');
    if (name.empty() || dot == std::string::npos) return std::nullopt;
    // The name the old cache gave the file it kept: "[1]" before the extension.
    std::string keptName = name;
    keptName.insert(dot, "[1]");
    const std::optional<NameStyle> style = NameFilter(keptName);
    if (!style) return std::nullopt;
    const std::optional<std::string_view> userId = RecognizeCandidate(keptName, *style);
    if (!userId) return std::nullopt;
    return CachedPhoto{std::move(name), std::string(*userId)};
}

std::string CachedPhotoCopyName(std::string_view photoName, std::int32_t number) {
    std::string stem(photoName.substr(0, photoName.size() >= 4 ? photoName.size() - 4 : 0));
    for (char& c : stem) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            c = '_';
    }
    std::string ending = std::to_string(number);  // built up so that GCC 12 sees no overlap in it
    ending.insert(0, 1, '-');
    ending += ".jpg";
    return FitNameLimit(stem, ending);
}

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
    if (bodyFile == nullptr || !bodyFile->Whole()) {
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
