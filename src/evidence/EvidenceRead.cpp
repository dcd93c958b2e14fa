#include "evidence/EvidenceRead.h"

#include <cstdint>
#include <memory>
#include <span>

#include "hash/Md5Sha256.h"

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
        std::uint8_t* const buffer = ReadBuffer();
        Md5Sha256 digests;
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
            digests.Update(piece);
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
        Md5Sha256::Digests both = digests.Final();
        digest.sha256 = std::move(both.sha256);
        if (both.md5)
            digest.md5 = std::move(both.md5);
        else
            digest.failure = DigestFailure::TooLarge;
    } catch (const std::exception& failure) {
        // A digest engine that fails (the system's SHA-256, memory): the file is as unread.
        digest.why = failure.what();
        digest.md5.reset();
        digest.sha256.reset();
        digest.failure = DigestFailure::ReadFailed;
    }
    return digest;
}

}  // namespace snapsift
