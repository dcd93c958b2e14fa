#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "hash/MD5.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

std::string ReferenceDigest(const std::string& message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest, &length, EVP_md5(), nullptr), 1);
    char text[2 * EVP_MAX_MD_SIZE + 1] = {};
    for (unsigned int i = 0; i < length; ++i) std::snprintf(text + 2 * i, 3, "%02X", digest[i]);
    return text;
}

std::string RandomBytes(std::mt19937& random, std::size_t length) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST(MD5Reference, RandomMessagesInRandomPiecesAndFiles) {
    std::mt19937 random(20240611);
    MD5 md5;
    for (int round = 0; round < 3000; ++round) {
        const std::string message = RandomBytes(random, round < 300 ? round : random() % 5000);
        md5.MD5Init();
        for (std::size_t at = 0, n = 0; at < message.size(); at += n) {
            n = std::min<std::size_t>(random() % 300, message.size() - at);
            md5.MD5Update(static_cast<std::int32_t>(n),
                          {reinterpret_cast<const std::uint8_t*>(message.data()) + at, n});
        }
        md5.MD5Final();
        ASSERT_EQ(md5.GetValues(), ReferenceDigest(message)) << "length " << message.size();
    }
    test::TempTree tree;
    for (const std::size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, (1 << 20) + 7}) {
        const std::string bytes = RandomBytes(random, size);
        tree.File(std::to_string(size), bytes);
        EXPECT_EQ(md5.DigestFileToHexStr(tree.Text(std::to_string(size))), ReferenceDigest(bytes)) << size;
    }
}

}  // namespace
}  // namespace snapsift
