#include "search/EvidenceRead.h"

#include <cstdint>
#include <memory>
#include <span>

#include "hash/MD5.h"
#include "hash/Sha256.h"

namespace snapsift {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;  // larger reads measured slower here

// One read buffer per thread, kept between calls so that reading many small files does not
// allocate and fault in a fresh buffer each time.
std::uint8_t* ReadBuffer() {
    thread_local std::unique_ptr<std::uint8_t[]> buffer;
    if (!buffer) buffer = std::make_unique<std::uint8_t[]>(kReadChunk);
    return buffer.get();
}

}  // namespace

EvidenceDigest DigestEvidence(VolumeFile& file, const std::function<void(std::string_view)>& alsoTo,
                              const std::function<bool()>& stopRequested) {
    EvidenceDigest digest;
    try {
        const bool digestible = file.Size() < MD5::kFinalLimit;
        std::uint8_t* const buffer = ReadBuffer();
        MD5 md5;
        md5.Init();
        Sha256 sha256;
        std::int64_t sinceAsked = 0;
        for (;;) {
            const std::int64_t got = file.Read(buffer, kReadChunk);
            if (got < 0) {
                digest.failure = DigestFailure::ReadFailed;
                digest.readError = file.Error();
                return digest;
            }
            if (got == 0) break;
            const std::span<const std::uint8_t> piece(buffer, static_cast<std::size_t>(got));
            if (alsoTo) alsoTo(std::string_view(reinterpret_cast<const char*>(piece.data()), piece.size()));
            if (digestible) md5.Update(piece);
            sha256.Update(piece);
            sinceAsked += got;
            if (stopRequested && sinceAsked >= kStopAskBytes) {
                sinceAsked = 0;
                if (stopRequested()) {
                    digest.failure = DigestFailure::Aborted;
                    return digest;
                }
            }
        }
        // Bytes that changed under the read would give a digest of a mixture of two files.
        if (!file.UnchangedSinceOpen()) {
            digest.failure = DigestFailure::ChangedWhileRead;
            return digest;
        }
        digest.sha256 = sha256.Final();
        if (!digestible)
            digest.failure = DigestFailure::TooLarge;
        else
            digest.hex = md5.Final();
    } catch (...) {
        digest.hex.reset();
        digest.sha256.reset();
        digest.failure = DigestFailure::ReadFailed;
    }
    return digest;
}

}  // namespace snapsift
