#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "hash/Sha256.h"
#include "search/EvidenceRead.h"
#include "support/TempTree.h"

namespace snapsift {

namespace {

// Bytes (i * 31 + 7) mod 251, as the MD5 tests use.
std::string Pattern(std::size_t length) {
    std::string message(length, '\0');
    for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<char>((i * 31 + 7) % 251);
    return message;
}

// FIPS 180-2's examples, then lengths around the 64-byte block and its padding, with the digests
// coreutils' sha256sum gives for them.
const struct { const char* name; std::string message, digest; } kVectors[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"896 bits",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {"55", Pattern(55), "e40272620990d5f772101e014a0fe168d9ab13215739a04bdcb4b9cadc303c75"},
    {"56", Pattern(56), "5b3154594d65c2a11e797576e2b4ece47f48373d8acfc0ae2cc3b87ca7adaedc"},
    {"63", Pattern(63), "2caeed71c024d190f2f9633bdac2b8f283b1cb86dfe7709023ab70f11f747a1b"},
    {"64", Pattern(64), "3483dc12a3fea6618642162f88124ea56e797597a97483d5ba597a42d98aaf6b"},
    {"65", Pattern(65), "3a513663aae909c328f43e2d74265dc5ec35495c99dfde7b8f9dd37f297dfa40"},
    {"119", Pattern(119), "c06b1fcfb8d206bb4fe8e8cde10de7af236f619ff29c720de0083f7377491fd9"},
    {"120", Pattern(120), "f425d2567f5c636c99335e5e8bb04669475b3b8b6f7523bbabbd11115cef8550"},
    {"128", Pattern(128), "43a42610c7b657d1ce21bf0255e86be7ea01aa9dddf0701f596e99a4c6f61001"},
    {"1 MiB and 4 KiB", Pattern((1 << 20) + 4096), "a014468a9b6547c42110d4a9ca4a0062d647b531bc76c36d588825217ed556b2"}};

// Feeds the message in pieces of the given sizes, taken in turn; the engine is used twice, as
// Final leaves it ready for the next message.
std::string Digest(Sha256& sha, std::string_view message, std::initializer_list<std::size_t> sizes) {
    for (std::size_t at = 0, k = 0, n = 0; at < message.size(); at += n, ++k) {
        n = std::min(sizes.begin()[k % sizes.size()], message.size() - at);
        sha.Update(message.substr(at, n));
    }
    return sha.Final();
}

}  // namespace

TEST(Sha256Engine, VectorsFedInAnySplit) {
    Sha256 sha;
    for (const auto& v : kVectors)
        for (const auto sizes : {std::initializer_list<std::size_t>{1 << 20}, {1}, {10, 60, 3}})
            EXPECT_EQ(Digest(sha, v.message, sizes), v.digest) << v.name << " in pieces of " << *sizes.begin();
    EXPECT_EQ(Sha256::Of("abc"), kVectors[1].digest);
}

namespace {

std::string Md5Of(std::string_view message) {
    MD5 md5;
    md5.Init();
    md5.Update(std::span(reinterpret_cast<const std::uint8_t*>(message.data()), message.size()));
    return md5.Final();
}

struct EngineCase {
    const char* name;
    Md5Sha256::Engine engine;
};
const EngineCase kEngines[] = {{"fastest", Md5Sha256::Engine::Fastest}, {"separate", Md5Sha256::Engine::Separate}};

Md5Sha256::Digests PairDigest(Md5Sha256& pair, std::string_view message, std::initializer_list<std::size_t> sizes) {
    for (std::size_t at = 0, k = 0, n = 0; at < message.size(); at += n, ++k) {
        n = std::min(sizes.begin()[k % sizes.size()], message.size() - at);
        pair.Update(std::span(reinterpret_cast<const std::uint8_t*>(message.data()) + at, n));
    }
    return pair.Final();
}

}  // namespace

// Both engines of the pair (the shared transform where the processor has the SHA instructions,
// and MD5 beside the system's SHA-256) give the vectors' digests and MD5's, however the message
// is split, and are ready for the next message after Final.
TEST(Md5Sha256Engine, BothEnginesGiveBothDigestsInAnySplit) {
    RecordProperty("shared_transform", Md5Sha256::SharedTransformAvailable() ? "yes" : "no");
    for (const auto& engine : kEngines) {
        Md5Sha256 pair(engine.engine);
        for (const auto& v : kVectors)
            for (const auto sizes : {std::initializer_list<std::size_t>{1 << 20}, {1}, {10, 60, 3}, {64, 65}}) {
                const Md5Sha256::Digests digests = PairDigest(pair, v.message, sizes);
                EXPECT_EQ(std::pair(digests.md5.value_or("none"), digests.sha256), std::pair(Md5Of(v.message), v.digest))
                    << engine.name << ", " << v.name << " in pieces of " << *sizes.begin();
            }
    }
}

// Random bytes of every length up to three blocks and a few large ones, split at random: the
// engines agree with each other and with MD5 alone.
TEST(Md5Sha256Engine, EnginesAgreeOnRandomMessages) {
    std::mt19937_64 random(7);
    Md5Sha256 fastest(Md5Sha256::Engine::Fastest), separate(Md5Sha256::Engine::Separate);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 192; ++length) lengths.push_back(length);
    for (const std::size_t length : {4095, 4096, 4097, 65536 + 55, 65536 + 56, 51200}) lengths.push_back(length);
    for (const std::size_t length : lengths) {
        std::string message(length, '\0');
        for (char& byte : message) byte = static_cast<char>(random());
        const std::size_t piece = 1 + random() % 130;
        const Md5Sha256::Digests a = PairDigest(fastest, message, {piece, 64}), b = PairDigest(separate, message, {1 << 20});
        EXPECT_EQ(std::tuple(a.md5.value_or("none"), a.sha256), std::tuple(Md5Of(message), b.sha256))
            << length << " bytes in pieces of " << piece;
        EXPECT_EQ(b.md5.value_or("none"), Md5Of(message)) << length << " bytes";
    }
}

// An evidence file in memory that counts what is read of it.
class CountedFile final : public VolumeFile {
public:
    explicit CountedFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    bool Times(std::optional<DateTime>&, DateTime&, DateTime&) const override { return false; }
    std::int64_t Read(void* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, bytes_.size() - at_);
        std::copy_n(bytes_.data() + at_, count, static_cast<char*>(buffer));
        at_ += count;
        bytesRead += count;
        return static_cast<std::int64_t>(count);
    }
    bool UnchangedSinceOpen() override { return true; }
    bool AccessTimeKept() const override { return true; }
    SystemError Error() const override { return {}; }
    std::size_t bytesRead = 0;

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

// The evidence's one pass gives both digests and the copy: each byte is read once.
TEST(Sha256Engine, OnePassOverTheEvidenceGivesBothDigestsAndTheCopy) {
    for (const auto& v : {kVectors[1], kVectors[13]}) {
        CountedFile file(v.message);
        std::string copy;
        const EvidenceDigest digest = DigestEvidence(file, [&](std::string_view bytes) { copy += bytes; });
        MD5 md5;
        md5.Init();
        md5.Update(std::span(reinterpret_cast<const std::uint8_t*>(v.message.data()), v.message.size()));
        EXPECT_EQ(std::tuple(digest.sha256.value_or(""), digest.md5.value_or(""), copy == v.message, file.bytesRead),
                  std::tuple(v.digest, md5.Final(), true, v.message.size()))
            << v.name;
    }
}

#ifndef _WIN32
// Random bytes of random lengths near the block boundaries, against coreutils' sha256sum.
TEST(Sha256Engine, RandomFilesAgreeWithSha256sum) {
    std::mt19937_64 random(20261207);
    test::TempTree tree;
    for (const std::size_t base : {0, 64, 128, 4096, 65536}) {
        const std::size_t length = base + random() % 9 - (base == 0 ? 0 : 4);
        std::string bytes(length, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        tree.File("random", bytes);
        FILE* pipe = popen(("sha256sum " + tree.Text("random")).c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char reference[65] = {};
        ASSERT_EQ(std::fread(reference, 1, 64, pipe), 64u);
        pclose(pipe);
        EXPECT_EQ(Sha256::Of(bytes), reference) << length << " bytes";
    }
}
#endif

}  // namespace snapsift
