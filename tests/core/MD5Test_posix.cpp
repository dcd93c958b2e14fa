#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "MD5TestSupport.h"
#include "hash/MD5.h"
#include "support/TempTree.h"

namespace snapsift {

void test::MakeSparseFile(const std::filesystem::path& path, std::int64_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

namespace {

using test::Bytes;

std::string ReferenceDigest(std::string_view message) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr);
    EVP_DigestUpdate(context.get(), message.data(), message.size());
    EVP_DigestFinal_ex(context.get(), digest, &length);
    std::string text;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", digest[i]);
        text += pair;
    }
    return text;
}

std::string RandomBytes(std::mt19937& random, std::size_t length) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST(MD5Reference, RandomMessagesInRandomPieces) {
    std::mt19937 random(20240611);
    MD5 md5;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = round < 300 ? static_cast<std::size_t>(round) : random() % 5000;
        const std::string message = RandomBytes(random, length);
        md5.MD5Init();
        for (std::size_t at = 0; at < length;) {
            const std::size_t n = std::min<std::size_t>(random() % 200, length - at);
            md5.MD5Update(static_cast<std::int32_t>(n), Bytes(std::string_view(message).substr(at, n)));
            at += n;
        }
        md5.MD5Final();
        ASSERT_EQ(md5.GetValues(), ReferenceDigest(message)) << "length " << length;
    }
}

TEST(MD5Reference, RandomTextAsString) {
    std::mt19937 random(7);
    MD5 md5;
    for (int round = 0; round < 500; ++round) {
        std::string text(random() % 300, ' ');
        for (char& c : text) c = static_cast<char>(0x20 + random() % 95);
        ASSERT_EQ(md5.DigestStrToHexStr(text), ReferenceDigest(text)) << text;
    }
}

TEST(MD5Reference, Files) {
    std::mt19937 random(99);
    test::TempTree tree;
    MD5 md5;
    for (const std::size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, (1 << 20) + 7, 3 * 262144 + 100}) {
        const std::string bytes = RandomBytes(random, size);
        const std::string name = std::to_string(size) + ".bin";
        tree.File(name, bytes);
        EXPECT_EQ(md5.DigestFileToHexStr(tree.Text(name)), ReferenceDigest(bytes)) << "size " << size;
    }
}

// /proc files say they are empty and yet have contents: the digest reads to the end rather
// than trusting the size, and stops at the limit when the contents go on past it.
TEST(MD5Reference, FilesLongerThanTheirSize) {
    MD5 md5;
    std::ifstream version("/proc/version", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(version)), std::istreambuf_iterator<char>());
    if (text.empty()) GTEST_SKIP() << "no /proc";
    EXPECT_EQ(md5.DigestFileToHexStr("/proc/version"), ReferenceDigest(text));
    // 8 bytes for every page of the address space, far beyond 2^28 bytes.
    if (::access("/proc/self/pagemap", R_OK) != 0) GTEST_SKIP() << "no /proc/self/pagemap";
    EXPECT_EQ(md5.DigestFileToHexStr("/proc/self/pagemap"), MD5::kFileFailureText);
}

}  // namespace
}  // namespace snapsift
