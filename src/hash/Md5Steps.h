// MD5's 64 steps (RFC 1321) in 16 groups of four, over the state words a, b, c, d and the block's
// message words x0 to x15 of the code that uses them. MD5's own transform runs the groups in a
// row; the transform that computes SHA-256 beside it puts one group of SHA-256's rounds between
// each two, so that the processor overlaps the two chains of dependent operations. Both take the
// message into blocks the same way (FeedBlocks).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace snapsift {

// The message words of the 64-byte block at p, in x0 to x15.
#define SNAPSIFT_MD5_LOAD_WORDS(p)                                                              \
    const std::uint32_t x0 = Md5Word(p), x1 = Md5Word(p + 4), x2 = Md5Word(p + 8),            \
                        x3 = Md5Word(p + 12), x4 = Md5Word(p + 16), x5 = Md5Word(p + 20),      \
                        x6 = Md5Word(p + 24), x7 = Md5Word(p + 28), x8 = Md5Word(p + 32),      \
                        x9 = Md5Word(p + 36), x10 = Md5Word(p + 40), x11 = Md5Word(p + 44),    \
                        x12 = Md5Word(p + 48), x13 = Md5Word(p + 52), x14 = Md5Word(p + 56),   \
                        x15 = Md5Word(p + 60);

inline std::uint32_t Md5Word(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        return word;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

// The four steps. Each adds the message word and the constant (and, in G, the half of the
// round function without q) before the terms that wait on q, the word that the step before
// computed, which keeps the chain of dependent operations per step short.
#define SNAPSIFT_ROUND_F(p, q, r, u, x, s, t)   \
    p += (x) + (t);                             \
    p += (u) ^ ((q) & ((r) ^ (u)));             \
    p = std::rotl(p, s) + (q);

#define SNAPSIFT_ROUND_G(p, q, r, u, x, s, t)   \
    p += (x) + (t) + ((r) & ~(u));              \
    p += (q) & (u);                             \
    p = std::rotl(p, s) + (q);

#define SNAPSIFT_ROUND_H(p, q, r, u, x, s, t)   \
    p += (x) + (t);                             \
    p += (q) ^ (r) ^ (u);                       \
    p = std::rotl(p, s) + (q);

#define SNAPSIFT_ROUND_I(p, q, r, u, x, s, t)   \
    p += (x) + (t);                             \
    p += (r) ^ ((q) | ~(u));                    \
    p = std::rotl(p, s) + (q);

#define SNAPSIFT_MD5_GROUP_0 \
    SNAPSIFT_ROUND_F(a, b, c, d, x0, 7, 0xD76AA478u) \
    SNAPSIFT_ROUND_F(d, a, b, c, x1, 12, 0xE8C7B756u) \
    SNAPSIFT_ROUND_F(c, d, a, b, x2, 17, 0x242070DBu) \
    SNAPSIFT_ROUND_F(b, c, d, a, x3, 22, 0xC1BDCEEEu)

#define SNAPSIFT_MD5_GROUP_1 \
    SNAPSIFT_ROUND_F(a, b, c, d, x4, 7, 0xF57C0FAFu) \
    SNAPSIFT_ROUND_F(d, a, b, c, x5, 12, 0x4787C62Au) \
    SNAPSIFT_ROUND_F(c, d, a, b, x6, 17, 0xA8304613u) \
    SNAPSIFT_ROUND_F(b, c, d, a, x7, 22, 0xFD469501u)

#define SNAPSIFT_MD5_GROUP_2 \
    SNAPSIFT_ROUND_F(a, b, c, d, x8, 7, 0x698098D8u) \
    SNAPSIFT_ROUND_F(d, a, b, c, x9, 12, 0x8B44F7AFu) \
    SNAPSIFT_ROUND_F(c, d, a, b, x10, 17, 0xFFFF5BB1u) \
    SNAPSIFT_ROUND_F(b, c, d, a, x11, 22, 0x895CD7BEu)

#define SNAPSIFT_MD5_GROUP_3 \
    SNAPSIFT_ROUND_F(a, b, c, d, x12, 7, 0x6B901122u) \
    SNAPSIFT_ROUND_F(d, a, b, c, x13, 12, 0xFD987193u) \
    SNAPSIFT_ROUND_F(c, d, a, b, x14, 17, 0xA679438Eu) \
    SNAPSIFT_ROUND_F(b, c, d, a, x15, 22, 0x49B40821u)

#define SNAPSIFT_MD5_GROUP_4 \
    SNAPSIFT_ROUND_G(a, b, c, d, x1, 5, 0xF61E2562u) \
    SNAPSIFT_ROUND_G(d, a, b, c, x6, 9, 0xC040B340u) \
    SNAPSIFT_ROUND_G(c, d, a, b, x11, 14, 0x265E5A51u) \
    SNAPSIFT_ROUND_G(b, c, d, a, x0, 20, 0xE9B6C7AAu)

#define SNAPSIFT_MD5_GROUP_5 \
    SNAPSIFT_ROUND_G(a, b, c, d, x5, 5, 0xD62F105Du) \
    SNAPSIFT_ROUND_G(d, a, b, c, x10, 9, 0x02441453u) \
    SNAPSIFT_ROUND_G(c, d, a, b, x15, 14, 0xD8A1E681u) \
    SNAPSIFT_ROUND_G(b, c, d, a, x4, 20, 0xE7D3FBC8u)

#define SNAPSIFT_MD5_GROUP_6 \
    SNAPSIFT_ROUND_G(a, b, c, d, x9, 5, 0x21E1CDE6u) \
    SNAPSIFT_ROUND_G(d, a, b, c, x14, 9, 0xC33707D6u) \
    SNAPSIFT_ROUND_G(c, d, a, b, x3, 14, 0xF4D50D87u) \
    SNAPSIFT_ROUND_G(b, c, d, a, x8, 20, 0x455A14EDu)

#define SNAPSIFT_MD5_GROUP_7 \
    SNAPSIFT_ROUND_G(a, b, c, d, x13, 5, 0xA9E3E905u) \
    SNAPSIFT_ROUND_G(d, a, b, c, x2, 9, 0xFCEFA3F8u) \
    SNAPSIFT_ROUND_G(c, d, a, b, x7, 14, 0x676F02D9u) \
    SNAPSIFT_ROUND_G(b, c, d, a, x12, 20, 0x8D2A4C8Au)

#define SNAPSIFT_MD5_GROUP_8 \
    SNAPSIFT_ROUND_H(a, b, c, d, x5, 4, 0xFFFA3942u) \
    SNAPSIFT_ROUND_H(d, a, b, c, x8, 11, 0x8771F681u) \
    SNAPSIFT_ROUND_H(c, d, a, b, x11, 16, 0x6D9D6122u) \
    SNAPSIFT_ROUND_H(b, c, d, a, x14, 23, 0xFDE5380Cu)

#define SNAPSIFT_MD5_GROUP_9 \
    SNAPSIFT_ROUND_H(a, b, c, d, x1, 4, 0xA4BEEA44u) \
    SNAPSIFT_ROUND_H(d, a, b, c, x4, 11, 0x4BDECFA9u) \
    SNAPSIFT_ROUND_H(c, d, a, b, x7, 16, 0xF6BB4B60u) \
    SNAPSIFT_ROUND_H(b, c, d, a, x10, 23, 0xBEBFBC70u)

#define SNAPSIFT_MD5_GROUP_10 \
    SNAPSIFT_ROUND_H(a, b, c, d, x13, 4, 0x289B7EC6u) \
    SNAPSIFT_ROUND_H(d, a, b, c, x0, 11, 0xEAA127FAu) \
    SNAPSIFT_ROUND_H(c, d, a, b, x3, 16, 0xD4EF3085u) \
    SNAPSIFT_ROUND_H(b, c, d, a, x6, 23, 0x04881D05u)

#define SNAPSIFT_MD5_GROUP_11 \
    SNAPSIFT_ROUND_H(a, b, c, d, x9, 4, 0xD9D4D039u) \
    SNAPSIFT_ROUND_H(d, a, b, c, x12, 11, 0xE6DB99E5u) \
    SNAPSIFT_ROUND_H(c, d, a, b, x15, 16, 0x1FA27CF8u) \
    SNAPSIFT_ROUND_H(b, c, d, a, x2, 23, 0xC4AC5665u)

#define SNAPSIFT_MD5_GROUP_12 \
    SNAPSIFT_ROUND_I(a, b, c, d, x0, 6, 0xF4292244u) \
    SNAPSIFT_ROUND_I(d, a, b, c, x7, 10, 0x432AFF97u) \
    SNAPSIFT_ROUND_I(c, d, a, b, x14, 15, 0xAB9423A7u) \
    SNAPSIFT_ROUND_I(b, c, d, a, x5, 21, 0xFC93A039u)

#define SNAPSIFT_MD5_GROUP_13 \
    SNAPSIFT_ROUND_I(a, b, c, d, x12, 6, 0x655B59C3u) \
    SNAPSIFT_ROUND_I(d, a, b, c, x3, 10, 0x8F0CCC92u) \
    SNAPSIFT_ROUND_I(c, d, a, b, x10, 15, 0xFFEFF47Du) \
    SNAPSIFT_ROUND_I(b, c, d, a, x1, 21, 0x85845DD1u)

#define SNAPSIFT_MD5_GROUP_14 \
    SNAPSIFT_ROUND_I(a, b, c, d, x8, 6, 0x6FA87E4Fu) \
    SNAPSIFT_ROUND_I(d, a, b, c, x15, 10, 0xFE2CE6E0u) \
    SNAPSIFT_ROUND_I(c, d, a, b, x6, 15, 0xA3014314u) \
    SNAPSIFT_ROUND_I(b, c, d, a, x13, 21, 0x4E0811A1u)

#define SNAPSIFT_MD5_GROUP_15 \
    SNAPSIFT_ROUND_I(a, b, c, d, x4, 6, 0xF7537E82u) \
    SNAPSIFT_ROUND_I(d, a, b, c, x11, 10, 0xBD3AF235u) \
    SNAPSIFT_ROUND_I(c, d, a, b, x2, 15, 0x2AD7D2BBu) \
    SNAPSIFT_ROUND_I(b, c, d, a, x9, 21, 0xEB86D391u)

// Takes a message piece into 64-byte blocks, as MD5 and SHA-256 both do: the bytes held from the
// piece before are topped up to a block first, whole blocks go to `transform(data, blocks)`
// straight from the piece, and what is left is held for the next. `totalBytes` counts them all.
template <class Transform>
void FeedBlocks(const std::uint8_t* data, std::size_t size, std::uint64_t& totalBytes, std::uint8_t (&held)[64],
                Transform transform) {
    if (size == 0) return;  // an empty span may carry no buffer at all
    const std::size_t heldBytes = static_cast<std::size_t>(totalBytes % 64);
    totalBytes += size;
    if (heldBytes != 0) {
        const std::size_t part = 64 - heldBytes;
        if (size < part) {
            std::memcpy(held + heldBytes, data, size);
            return;
        }
        std::memcpy(held + heldBytes, data, part);
        transform(held, 1);
        data += part;
        size -= part;
    }
    if (const std::size_t blocks = size / 64; blocks != 0) {
        transform(data, blocks);
        data += blocks * 64;
        size -= blocks * 64;
    }
    if (size != 0) std::memcpy(held, data, size);
}

// MD5's block transform over `blocks` consecutive 64-byte blocks, on the state words A, B, C, D.
void Md5Blocks(std::uint32_t state[4], const std::uint8_t* data, std::size_t blocks);

}  // namespace snapsift
