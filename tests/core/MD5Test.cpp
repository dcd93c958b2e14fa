#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "MD5TestSupport.h"
#include "hash/MD5.h"
#include "platform/CodePage.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

using test::Bytes;

std::string Digest(std::string_view message) {
    MD5 md5;
    md5.MD5Init();
    md5.MD5Update(static_cast<std::int32_t>(message.size()), Bytes(message));
    md5.MD5Final();
    return md5.GetValues();
}

std::string Pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return bytes;
}

struct Vector {
    const char* message;
    const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
constexpr Vector kRfcSuite[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
};

TEST(MD5Engine, RfcSuite) {
    MD5 md5;
    for (const auto& [message, digest] : kRfcSuite) {
        SCOPED_TRACE(message);
        EXPECT_EQ(Digest(message), digest);
        EXPECT_EQ(md5.DigestStrToHexStr(message), digest);
    }
}

struct BoundaryCase {
    std::size_t length;
    const char* digest;  // of Pattern(length)
};

constexpr BoundaryCase kBoundaries[] = {
    {0, "D41D8CD98F00B204E9800998ECF8427E"},   {1, "89E74E640B8C46257A29DE0616794D5D"},
    {55, "C9E512626618C9980EF21A96597AF94C"},  {56, "ECDE7CAA08E9F5657C863DF107CAC60A"},
    {57, "B17B1A018DD6A4D1EDDA8ACA15F17846"},  {63, "2F0301069E1C40AF7F6C8F843B1B13F2"},
    {64, "B6BF87C24B1BC334E2541387A92B981B"},  {65, "F168246F08B6134D66BD2A10343FA9F1"},
    {119, "D5DC3D8264DE3AA24DEE105910EE27FE"}, {120, "BCC139B3848923904860D1EEFD6E5923"},
    {121, "10AAC7FE9E1DEF45870B0AA1C3A2FAF0"}, {128, "3E85B70FFC8DF5C735ECF2A8F14F1BEE"},
};

TEST(MD5Engine, PaddingBoundariesInAnySplit) {
    for (const auto& [length, digest] : kBoundaries) {
        SCOPED_TRACE("length " + std::to_string(length));
        const std::string message = Pattern(length);
        EXPECT_EQ(Digest(message), digest);

        MD5 bytewise;
        bytewise.MD5Init();
        for (char c : message) bytewise.MD5Update(1, Bytes(std::string_view(&c, 1)));
        bytewise.MD5Final();
        EXPECT_EQ(bytewise.GetValues(), digest);

        MD5 pieces;
        pieces.MD5Init();
        const std::size_t sizes[] = {10, 60, 3};
        for (std::size_t at = 0, k = 0; at < length; ++k) {
            const std::size_t n = std::min(sizes[k % 3], length - at);
            pieces.MD5Update(static_cast<std::int32_t>(n), Bytes(std::string_view(message).substr(at, n)));
            at += n;
        }
        pieces.MD5Final();
        EXPECT_EQ(pieces.GetValues(), digest);
    }
}

TEST(MD5Engine, FilesGiveTheDigestOfTheirBytes) {
    test::TempTree tree;
    MD5 md5;  // one object for every file: each digest starts afresh
    for (const auto& [length, digest] : kBoundaries) {
        SCOPED_TRACE("length " + std::to_string(length));
        const std::string name = std::to_string(length) + ".bin";
        tree.File(name, Pattern(length));
        EXPECT_EQ(md5.DigestFileToHexStr(tree.Text(name)), digest);
        EXPECT_EQ(md5.GetValues(), digest);
    }
    tree.File("fox.txt", "The quick brown fox jumps over the lazy dog");
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("fox.txt")),
              MD5().DigestStrToHexStr("The quick brown fox jumps over the lazy dog"));
}

TEST(MD5Engine, RegistersReadSignedWords) {
    MD5 md5;
    EXPECT_EQ(md5.RegisterA(), "0");
    EXPECT_EQ(md5.RegisterD(), "0");
    EXPECT_EQ(md5.GetValues(), std::string(32, '0'));
    md5.MD5Init();
    EXPECT_EQ(md5.RegisterA(), "1732584193");
    EXPECT_EQ(md5.RegisterB(), "-271733879");
    EXPECT_EQ(md5.RegisterC(), "-1732584194");
    EXPECT_EQ(md5.RegisterD(), "271733878");
    md5.MD5Final();  // D41D8CD9 8F00B204 E9800998 ECF8427E, each word's bytes least significant first
    EXPECT_EQ(md5.RegisterA(), "-645128748");
    EXPECT_EQ(md5.RegisterB(), "78774415");
    EXPECT_EQ(md5.RegisterC(), "-1744207639");
    EXPECT_EQ(md5.RegisterD(), "2118318316");
}

TEST(MD5Engine, UpdateLimits) {
    const std::string big(32768, 'a');
    MD5 md5;
    md5.MD5Init();
    md5.MD5Update(0, {});
    EXPECT_EQ(MD5TestAccess::TotalBytes(md5), 0);
    md5.MD5Update(32767, Bytes(big));
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "F92977CA3046643F0E26DBCF945EC7DF");

    md5.MD5Init();
    EXPECT_THROW(md5.MD5Update(32768, Bytes(big)), MD5OverflowError);
    EXPECT_THROW(md5.MD5Update(5, Bytes("abcd")), MD5SubscriptError);
    EXPECT_THROW(md5.MD5Update(-1, Bytes("abcd")), MD5SubscriptError);
    EXPECT_THROW(md5.MD5Update(1, {}), MD5SubscriptError);
    // None of them took anything in.
    md5.MD5Update(3, Bytes("abc"));
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(MD5Engine, TotalOverflowChangesNothing) {
    const std::string message = Pattern(130);
    MD5 md5;
    md5.MD5Init();
    md5.MD5Update(70, Bytes(message));
    const std::string before = md5.GetValues();
    // The same position within the block (70 mod 64), 57 bytes short of the 2^31-1 limit.
    constexpr std::int32_t kNearLimit = 2147483647 - 57;
    static_assert(kNearLimit % 64 == 70 % 64);
    MD5TestAccess::TotalBytes(md5) = kNearLimit;
    EXPECT_THROW(md5.MD5Update(58, Bytes(message)), MD5OverflowError);
    EXPECT_EQ(md5.GetValues(), before);
    EXPECT_EQ(MD5TestAccess::TotalBytes(md5), kNearLimit);
    // One byte less fits exactly.
    MD5 exact;
    exact.MD5Init();
    MD5TestAccess::TotalBytes(exact) = 2147483647 - 58;
    exact.MD5Update(58, Bytes(message));
    EXPECT_EQ(MD5TestAccess::TotalBytes(exact), 2147483647);
    EXPECT_THROW(exact.MD5Update(1, Bytes(message)), MD5OverflowError);

    MD5TestAccess::TotalBytes(md5) = 70;
    md5.MD5Update(60, Bytes(std::string_view(message).substr(70)));
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), Digest(message));
}

TEST(MD5Engine, FinalLimitChangesNothing) {
    MD5 md5;
    md5.MD5Init();
    md5.MD5Update(3, Bytes("abc"));
    MD5TestAccess::TotalBytes(md5) = 268435456 + 3;
    EXPECT_THROW(md5.MD5Final(), MD5OverflowError);
    MD5TestAccess::TotalBytes(md5) = 268435456;
    EXPECT_THROW(md5.MD5Final(), MD5OverflowError);
    EXPECT_EQ(MD5TestAccess::TotalBytes(md5), 268435456);
    MD5TestAccess::TotalBytes(md5) = 3;
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(MD5TestAccess::TotalBytes(md5), 64);  // counts the padding and length bytes

    MD5 below;
    below.MD5Init();
    MD5TestAccess::TotalBytes(below) = 268435455;
    EXPECT_NO_THROW(below.MD5Final());
}

TEST(MD5Engine, FinalDoesNotEndTheObject) {
    MD5 md5;
    md5.MD5Init();
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "D41D8CD98F00B204E9800998ECF8427E");
    // A second Final goes on from the finished state; MD5Init starts afresh.
    md5.MD5Final();
    EXPECT_NE(md5.GetValues(), "D41D8CD98F00B204E9800998ECF8427E");
    md5.MD5Init();
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(MD5Engine, LongLeftRotate) {
    struct Case {
        std::int32_t value, bits, expected;
    };
    constexpr Case cases[] = {
        {-2147483647, 1, 3},                     // 0x80000001
        {0x40000000, 1, -2147483647 - 1},        // bit 30 into the sign
        {-2147483647 - 1, 1, 1},                 // the sign into bit 0
        {0x12345678, 4, 0x23456781},
        {0x12345678, 31, 0x091A2B3C},            // one to the right
        {0x12345678, 0, 0x12345678},
        {0x12345678, 32, 0x12345678},
        {0x12345678, 64, 0x12345678},
        {0x12345678, -1, 0x12345678},
        {0x12345678, -33, 0x12345678},
        {0x12345678, -2147483647 - 1, 0x12345678},
        {0x12345678, 33, 0x2468ACF0},            // 33 mod 32 = 1
        {-1, 13, -1},
        {1, 2147483647, -2147483647 - 1},        // 2^31-1 mod 32 = 31
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " by " + std::to_string(c.bits));
        EXPECT_EQ(MD5::LongLeftRotate(c.value, c.bits), c.expected);
    }
}

TEST(MD5Strings, CodePageBytesAndLimits) {
    MD5 md5;
    EXPECT_EQ(md5.DigestStrToHexStr(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.DigestStrToHexStr(std::string(32767, 'a')), "F92977CA3046643F0E26DBCF945EC7DF");
    EXPECT_THROW(md5.DigestStrToHexStr(std::string(32768, 'a')), MD5OverflowError);
    EXPECT_THROW(md5.DigestStrToHexStr("\xE6\xBC\xA2"), MD5OverflowError);  // 漢
    EXPECT_THROW(md5.DigestStrToHexStr("a\xFF"), MD5OverflowError);         // not UTF-8
    // A failure leaves the object fit for the next digest.
    EXPECT_EQ(md5.DigestStrToHexStr("abc"), "900150983CD24FB0D6963F7D28E17F72");
    if (ReportCodePageNumber() == 1252) {
        EXPECT_EQ(md5.DigestStrToHexStr("\xC3\xA9"), "3406877694691DDD1DFB0ACA54681407");  // é = 0xE9
        // The limit counts characters, not UTF-8 bytes.
        std::string accents;
        for (int i = 0; i < 32767; ++i) accents += "\xC3\xA9";
        EXPECT_EQ(md5.DigestStrToHexStr(accents), "BF8BBE3F05A6D33450F14DA0F4B57153");
        EXPECT_THROW(md5.DigestStrToHexStr(accents + "\xC3\xA9"), MD5OverflowError);
    }
}

TEST(MD5Files, FailuresGiveTheFailureText) {
    test::TempTree tree;
    tree.Folder("folder");
    tree.File("ok.txt", "abc");
    MD5 md5;
    const std::string failure(MD5::kFileFailureText);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("missing.txt")), failure);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("folder")), failure);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("missing/ok.txt")), failure);
    EXPECT_EQ(md5.DigestFileToHexStr(""), failure);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("ok.txt")), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(MD5Files, SizeLimit) {
    test::TempTree tree;
    MD5 md5;
    test::MakeSparseFile(tree.Path("limit.bin"), 268435456);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("limit.bin")), MD5::kFileFailureText);
    test::MakeSparseFile(tree.Path("huge.bin"), 5'000'000'000);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("huge.bin")), MD5::kFileFailureText);
    // The largest file that can be digested: 2^28-1 zero bytes, read in full.
    test::MakeSparseFile(tree.Path("largest.bin"), 268435455);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("largest.bin")), "11049CCFCE66D876D2620C8F53C3762F");
}

}  // namespace
}  // namespace snapsift
