// MD5 (the system's own), and MD5 beside SHA-256 in one pass.
#include <gtest/gtest.h>

#include <random>

#include "evidence/EvidenceRead.h"
#include "hash/MD5.h"
#include "hash/Md5Sha256.h"
#include "hash/Sha256.h"
#include "support/ScriptedVolume.h"
#include "support/TempTree.h"

namespace snapsift {

namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Bytes (i * 31 + 7) mod 251: no two 64 KiB reads of a long file alike.
std::string Pattern(std::size_t length) {
    std::string message(length, '\0');
    for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<char>((i * 31 + 7) % 251);
    return message;
}

std::string Md5Of(std::string_view message, std::size_t piece = 64) {
    MD5 md5;
    md5.Init();
    for (std::size_t at = 0; at < message.size(); at += piece) md5.Update(Bytes(message.substr(at, piece)));
    return md5.Final();
}

}  // namespace

// Text first (RFC 1321's suite), then lengths around the padding boundaries and a file of 17
// reads; each fed in pieces of any size, read from a file, and as a string with one object.
TEST(MD5Engine, VectorsFedInAnySplitAsFilesAndAsStrings) {
    const struct { const char* name; std::string message, digest; } vectors[] = {
        {"empty", "", "D41D8CD98F00B204E9800998ECF8427E"}, {"abc", "abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"alphanumerics", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"32767 a", std::string(32767, 'a'), "F92977CA3046643F0E26DBCF945EC7DF"},
        {"55", Pattern(55), "D39F7454BBE034082797E66C125A31AD"}, {"56", Pattern(56), "8E9DBCCE67719F0304AD52C59FF3D743"},
        {"63", Pattern(63), "19A31D9B1AFBD6867266FD6CF4C8821F"}, {"64", Pattern(64), "8D9CFA334D4E690843FA68E59C798B84"},
        {"120", Pattern(120), "B4A4CE125F8932C19665E554892473C4"},
        {"1 MiB and 4 KiB", Pattern((1 << 20) + 4096), "50061F8E77004C4098DF5132786A70D6"}};
    test::TempTree tree;
    MD5 strings;
    for (const auto& v : vectors) {
        for (const std::size_t size : {32767, 1, 10, 60}) EXPECT_EQ(Md5Of(v.message, size), v.digest) << v.name << ", " << size;
        tree.File(v.name, v.message);
        EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text(v.name)), v.digest) << v.name;
        if (v.message.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") == std::string::npos)
            { EXPECT_EQ(strings.DigestStrToHexStr(v.message), v.digest) << v.name; }
    }
}

// A missing file, a folder, and a file too long for the bit count (sparse: nothing written); as
// evidence such a file has its SHA-256 and no MD5, and says why.
TEST(MD5Digest, WhatCannotBeDigestedGivesTheFailureText) {
    test::TempTree tree;
    tree.File("limit.bin");
    std::filesystem::resize_file(tree.Path("limit.bin"), MD5::kFinalLimit);
    for (const char* name : {"missing.txt", ".", "limit.bin"})
        EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text(name)), MD5::kFileFailureText) << name;
    test::ScriptedFile evidence;  // read to its end all the same
    evidence.size = MD5::kFinalLimit;
    const EvidenceDigest digest = DigestEvidence(evidence);
    EXPECT_EQ(std::tuple(digest.md5.has_value(), digest.failure, digest.sha256.has_value()), std::tuple(false, DigestFailure::TooLarge, true));
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

}  // namespace snapsift
