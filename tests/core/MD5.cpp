#include <gtest/gtest.h>

#include "hash/MD5.h"
#include "platform/CodePage.h"
#include "evidence/EvidenceRead.h"
#include "volume/LiveVolume.h"
#include "support/TempTree.h"

namespace snapsift {

namespace {

const std::string kBig(32768, 'a');

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Bytes (i * 31 + 7) mod 251: no two 64 KiB reads of a long file alike.
std::string Pattern(std::size_t length) {
    std::string message(length, '\0');
    for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<char>((i * 31 + 7) % 251);
    return message;
}

// Text first (from RFC 1321's suite, and the longest string digest), then lengths in bytes around
// the padding boundaries and a file of 17 reads.
const struct { const char* name; std::string message, digest; } kVectors[] = {
    {"empty", "", "D41D8CD98F00B204E9800998ECF8427E"}, {"abc", "abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"alphanumerics", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"80 digits", "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
    {"32767 a", kBig.substr(1), "F92977CA3046643F0E26DBCF945EC7DF"},
    {"55", Pattern(55), "D39F7454BBE034082797E66C125A31AD"}, {"56", Pattern(56), "8E9DBCCE67719F0304AD52C59FF3D743"},
    {"63", Pattern(63), "19A31D9B1AFBD6867266FD6CF4C8821F"}, {"64", Pattern(64), "8D9CFA334D4E690843FA68E59C798B84"},
    {"120", Pattern(120), "B4A4CE125F8932C19665E554892473C4"},
    {"1 MiB and 4 KiB", Pattern((1 << 20) + 4096), "50061F8E77004C4098DF5132786A70D6"}};
constexpr std::size_t kTextVectors = 5;

}  // namespace

// Each vector fed in pieces of any size, read from a file, and (the text ones) as a string, all
// strings with one object.
TEST(MD5Engine, VectorsFedInAnySplitAsFilesAndAsStrings) {
    test::TempTree tree;
    MD5 strings;
    for (const auto& v : kVectors) {
        for (const std::size_t size : {32767, 1, 10, 60}) {
            MD5 md5;
            md5.Init();
            for (std::size_t at = 0; at < v.message.size(); at += size) md5.Update(Bytes(v.message.substr(at, size)));
            EXPECT_EQ(md5.Final(), v.digest) << v.name << " in pieces of " << size;
        }
        tree.File(v.name, v.message);
        EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text(v.name)), v.digest) << v.name;
        if (&v < kVectors + kTextVectors) { EXPECT_EQ(strings.DigestStrToHexStr(v.message), v.digest) << v.name; }
    }
}

// A missing file, a folder, and a file too long for the bit count.
TEST(MD5Digest, WhatCannotBeDigestedGivesTheFailureText) {
    test::TempTree tree;
    tree.File("limit.bin");
    std::filesystem::resize_file(tree.Path("limit.bin"), MD5::kFinalLimit);  // sparse: nothing written
    for (const char* name : {"missing.txt", ".", "limit.bin"})
        EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text(name)), MD5::kFileFailureText) << name;
    // The same file as evidence: read to its end, no digest, and the reason says why.
    SystemError error;
    const auto folder = LiveVolume().OpenRoot(tree.Text("."), error);
    ASSERT_TRUE(folder);
    const auto file = folder->OpenFile("limit.bin", tree.Text("limit.bin"), error);
    ASSERT_TRUE(file);
    const EvidenceDigest digest = DigestEvidence(*file);
    // SHA-256 has no such limit: 256 MiB of zeros, as sha256sum gives it.
    EXPECT_EQ(std::tuple(digest.md5.has_value(), digest.failure, digest.sha256.value_or("none")),
              std::tuple(false, DigestFailure::TooLarge,
                         "a6d72ac7690f53be6ae46ba88506bd97302a093f7108472bd9efc3cefda06484"));
}

}  // namespace snapsift
