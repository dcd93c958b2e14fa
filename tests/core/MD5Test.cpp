#include <gtest/gtest.h>

#include <algorithm>

#include "hash/MD5.h"
#include "platform/CodePage.h"
#include "support/TempTree.h"

namespace snapsift {

struct MD5TestAccess { static std::int32_t& TotalBytes(MD5& md5) { return md5.TotalBytes; } };

namespace {

constexpr const char* kAbc = "900150983CD24FB0D6963F7D28E17F72";
const std::string kBig(32768, 'a');

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Feeds the message to the engine in pieces of the given sizes, taken in turn.
std::string Digest(std::string_view message, std::initializer_list<std::size_t> sizes) {
    MD5 md5;
    md5.MD5Init();
    for (std::size_t at = 0, k = 0; at < message.size(); ++k) {
        const std::size_t n = std::min(sizes.begin()[k % sizes.size()], message.size() - at);
        md5.MD5Update(static_cast<std::int32_t>(n), Bytes(message.substr(at, n)));
        at += n;
    }
    md5.MD5Final();
    return md5.GetValues();
}

// Messages of bytes (i * 31 + 7) mod 256 around each padding boundary, with their digests.
const std::pair<std::size_t, const char*> kBoundaries[] = {
    {55, "C9E512626618C9980EF21A96597AF94C"}, {56, "ECDE7CAA08E9F5657C863DF107CAC60A"},
    {57, "B17B1A018DD6A4D1EDDA8ACA15F17846"}, {63, "2F0301069E1C40AF7F6C8F843B1B13F2"},
    {64, "B6BF87C24B1BC334E2541387A92B981B"}, {65, "F168246F08B6134D66BD2A10343FA9F1"},
    {119, "D5DC3D8264DE3AA24DEE105910EE27FE"}, {120, "BCC139B3848923904860D1EEFD6E5923"},
    {121, "10AAC7FE9E1DEF45870B0AA1C3A2FAF0"}};
std::string BoundaryMessage(std::size_t length) {
    std::string message(length, '\0');
    for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return message;
}

std::string Accents(int count) {  // "é" count times: two UTF-8 bytes, one code page character
    std::string text;
    for (int i = 0; i < count; ++i) text += "\xC3\xA9";
    return text;
}

}  // namespace

TEST(MD5Engine, RegistersReadZeroUntilInitialisedThenTheStandardsValues) {
    MD5 md5;
    EXPECT_EQ(md5.RegisterA() + md5.RegisterB() + md5.RegisterC() + md5.RegisterD(), "0000");
    md5.MD5Init();
    EXPECT_EQ(md5.RegisterA() + " " + md5.RegisterB() + " " + md5.RegisterC() + " " + md5.RegisterD(),
              "1732584193 -271733879 -1732584194 271733878");
}

// The engine fed whole, then the string digest of one object used for every message.
TEST(MD5Engine, RfcSuiteFedWholeAndAsStrings) {
    const std::pair<const char*, std::string> suite[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"}, {"a", "0CC175B9C0F1B6A831C399E269772661"}, {"abc", kAbc},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"}};
    MD5 md5;
    for (const auto& [message, digest] : suite)
        EXPECT_EQ(Digest(message, {32767}) + " " + md5.DigestStrToHexStr(message), digest + " " + digest) << message;
}

// Past 32767 characters, or with a character the code page has no byte for.
TEST(MD5Engine, StringDigestOverflowsOnTextItCannotTake) {
    for (const std::string& text : {kBig, std::string("\xE6\xBC\xA2"), Accents(32768)})
        EXPECT_THROW(MD5().DigestStrToHexStr(text), MD5OverflowError) << text.size();
}

TEST(MD5Engine, StringDigestTakesTheCodePagesByteForEachCharacter) {
    if (ReportCodePageNumber() != 1252) GTEST_SKIP() << "code page " << ReportCodePageNumber();
    EXPECT_EQ(MD5().DigestStrToHexStr("\xC3\xA9"), "3406877694691DDD1DFB0ACA54681407");  // the byte 0xE9
    EXPECT_EQ(MD5().DigestStrToHexStr(Accents(32767)), "BF8BBE3F05A6D33450F14DA0F4B57153");
}

TEST(MD5Engine, PaddingBoundariesInAnySplit) {
    for (const auto& [length, digest] : kBoundaries)
        for (const auto sizes : {std::initializer_list<std::size_t>{32767}, {1}, {10, 60, 3}})
            EXPECT_EQ(Digest(BoundaryMessage(length), sizes), digest) << length << " in pieces of " << *sizes.begin();
}

TEST(MD5Digest, FilesAtPaddingBoundaries) {
    test::TempTree tree;
    for (const auto& [length, digest] : kBoundaries) {
        tree.File(std::to_string(length), BoundaryMessage(length));
        EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text(std::to_string(length))), digest) << length;
    }
}

// A missing file, a folder, and a file too long for the bit count.
TEST(MD5Digest, WhatCannotBeDigestedGivesTheFailureText) {
    test::TempTree tree;
    tree.File("limit.bin");
    std::filesystem::resize_file(tree.Path("limit.bin"), MD5::kFinalLimit);  // sparse: nothing written
    for (const char* name : {"missing.txt", ".", "limit.bin"})
        EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text(name)), MD5::kFileFailureText) << name;
}

TEST(MD5Engine, LimitsFailBeforeAnythingChanges) {
    MD5 md5;
    md5.MD5Init();
    md5.MD5Update(3, Bytes("abc"));
    std::int32_t& total = MD5TestAccess::TotalBytes(md5);
    EXPECT_THROW(md5.MD5Update(32768, Bytes(kBig)), MD5OverflowError);
    EXPECT_THROW(md5.MD5Update(5, Bytes("abcd")), MD5SubscriptError);
    total = 2147483647 - 60;  // the same place in the block as 3: 61 more bytes would finish it
    EXPECT_THROW(md5.MD5Update(61, Bytes(kBig)), MD5OverflowError);
    total = MD5::kFinalLimit;
    EXPECT_THROW(md5.MD5Final(), MD5OverflowError);
    total = 3;
    md5.MD5Update(0, {});
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), kAbc);
}

TEST(MD5Engine, EachLimitItselfIsWithin) {
    EXPECT_EQ(Digest(kBig.substr(1), {32767}), "F92977CA3046643F0E26DBCF945EC7DF");
    MD5 md5;
    md5.MD5Init();
    MD5TestAccess::TotalBytes(md5) = 2147483647 - 60;
    EXPECT_NO_THROW(md5.MD5Update(60, Bytes(kBig)));
    MD5TestAccess::TotalBytes(md5) = MD5::kFinalLimit - 1;
    EXPECT_NO_THROW(md5.MD5Final());
}

TEST(MD5Engine, LongLeftRotate) {
    constexpr std::int32_t kMin = -2147483647 - 1;
    const std::int32_t rotations[][3] = {{-2147483647, 1, 3}, {0x40000000, 1, kMin}, {0x12345678, 4, 0x23456781},
        {0x12345678, 33, 0x2468ACF0}, {1, 2147483647, kMin}, {0x12345678, 0, 0x12345678},
        {0x12345678, 32, 0x12345678}, {0x12345678, -1, 0x12345678}, {0x12345678, kMin, 0x12345678}};
    for (const auto& [value, bits, expected] : rotations)
        EXPECT_EQ(MD5::LongLeftRotate(value, bits), expected) << value << " by " << bits;
}

}  // namespace snapsift
