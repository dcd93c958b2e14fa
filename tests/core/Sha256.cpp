#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "hash/Sha256.h"
#include "evidence/EvidenceRead.h"
#include "support/ScriptedVolume.h"

namespace snapsift {

namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Md5Of(std::string_view message) {
    MD5 md5;
    md5.Init();
    md5.Update(Bytes(message));
    return md5.Final();
}

}  // namespace

// The system's engine as sha256sum writes its digests (FIPS 180-2's first examples), however the
// message is handed over.
TEST(Sha256Engine, DigestsInSha256sumsFormFromOneCallOrPieces) {
    const struct { std::string message, digest; } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"}};
    Sha256 sha;  // used again after each Final
    for (const auto& row : rows) {
        EXPECT_EQ(Sha256::Of(row.message), row.digest);
        for (const char c : row.message) sha.Update(std::string_view(&c, 1));
        EXPECT_EQ(sha.Final(), row.digest) << row.message;
    }
}

// Random bytes of every length up to three blocks and a few large ones, split at random: both
// engines of the pair (the shared transform where the processor has the SHA instructions, and MD5
// beside the system's SHA-256) give MD5's digest and the system's SHA-256 of the whole, and are
// ready for the next message after Final.
TEST(Md5Sha256Engine, BothEnginesGiveBothDigestsInAnySplit) {
    RecordProperty("shared_transform", Md5Sha256::SharedTransformAvailable() ? "yes" : "no");
    std::mt19937_64 random(7);
    Md5Sha256 fastest(Md5Sha256::Engine::Fastest), separate(Md5Sha256::Engine::Separate);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 192; ++length) lengths.push_back(length);
    for (const std::size_t length : {4095, 4096, 4097, 65536 + 55, 65536 + 56, 1 << 20}) lengths.push_back(length);
    for (const std::size_t length : lengths) {
        std::string message(length, '\0');
        for (char& byte : message) byte = static_cast<char>(random());
        const std::size_t piece = 1 + random() % 130;
        for (Md5Sha256* pair : {&fastest, &separate}) {
            for (std::size_t at = 0, k = 0, n = 0; at < length; at += n, ++k) {
                n = std::min(k % 2 == 0 ? piece : 64, length - at);
                pair->Update(Bytes(message).subspan(at, n));
            }
            const Md5Sha256::Digests digests = pair->Final();
            EXPECT_EQ(std::tuple(digests.md5.value_or("none"), digests.sha256), std::tuple(Md5Of(message), Sha256::Of(message)))
                << (pair == &fastest ? "fastest, " : "separate, ") << length << " bytes in pieces of " << piece;
        }
    }
}

// The evidence's one pass gives both digests and the copy: each byte is read once.
TEST(Sha256Engine, OnePassOverTheEvidenceGivesBothDigestsAndTheCopy) {
    std::string pattern((1 << 20) + 4096, '\0');  // over 16 reads, no two alike
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>((i * 31 + 7) % 251);
    for (const std::string& message : {std::string("abc"), pattern}) {
        std::int64_t bytesRead = 0;
        test::ScriptedFile file;
        file.bytes = message;
        file.size = static_cast<std::int64_t>(message.size());
        file.bytesRead = &bytesRead;
        std::string copy;
        const EvidenceDigest digest = DigestEvidence(file, [&](std::string_view bytes) { copy += bytes; });
        EXPECT_EQ(std::tuple(digest.sha256.value_or(""), digest.md5.value_or(""), copy == message, bytesRead),
                  std::tuple(Sha256::Of(message), Md5Of(message), true, file.size))
            << message.size();
    }
}

}  // namespace snapsift
