#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "hash/MD5.h"
#include "support/TempTree.h"

namespace snapsift {

static std::string ReferenceDigest(const std::string& message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;  // stays 0, and so fails every comparison, if OpenSSL fails
    EVP_Digest(message.data(), message.size(), digest, &length, EVP_md5(), nullptr);
    char text[2 * EVP_MAX_MD_SIZE + 1] = {};
    for (unsigned int i = 0; i < length; ++i) std::snprintf(text + 2 * i, 3, "%02X", digest[i]);
    return text;
}

static std::string RandomBytes(std::mt19937& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

TEST(MD5Reference, RandomMessagesInRandomPieces) {
    std::mt19937 random(20240611);
    const std::string pool = RandomBytes(random, 9096);
    MD5 md5;
    for (int round = 0; round < 3000; ++round) {
        const std::string message = pool.substr(random() % 4096, round < 300 ? round : random() % 5000);
        md5.MD5Init();
        for (std::size_t at = 0, n = 0; at < message.size(); at += n) {
            n = std::min<std::size_t>(random() % 300, message.size() - at);
            md5.MD5Update(static_cast<std::int32_t>(n),
                          {reinterpret_cast<const std::uint8_t*>(message.data()) + at, n});
        }
        md5.MD5Final();
        ASSERT_EQ(md5.GetValues(), ReferenceDigest(message)) << "length " << message.size();
    }
}

TEST(MD5Reference, AFileOfManyReads) {
    std::mt19937 random(20240611);
    const std::string bytes = RandomBytes(random, (1 << 20) + 4096);
    test::TempTree tree;
    tree.File("big", bytes);
    EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text("big")), ReferenceDigest(bytes));
}

}  // namespace snapsift
