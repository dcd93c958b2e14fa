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

TEST(MD5Reference, RandomMessagesInRandomPiecesAndFiles) {
    std::mt19937 random(20240611);
    std::string pool((1 << 20) + 4096, '\0');
    for (char& c : pool) c = static_cast<char>(random());
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
    test::TempTree tree;  // a file of many reads
    tree.File("big", pool);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("big")), ReferenceDigest(pool));
}

}  // namespace snapsift
