#include "hash/MD5.h"

#include <bit>
#include <cstring>
#include <optional>

#include "platform/CodePage.h"
#include "platform/EvidenceFile.h"

namespace snapsift {

namespace {

inline std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        return word;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

void StoreLittleEndian(std::uint32_t word, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(word);
    p[1] = static_cast<std::uint8_t>(word >> 8);
    p[2] = static_cast<std::uint8_t>(word >> 16);
    p[3] = static_cast<std::uint8_t>(word >> 24);
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

void LongToHexStr(std::uint32_t word, std::string& out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < 4; ++i) {
        const unsigned byte = (word >> (8 * i)) & 0xFF;
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
}

}  // namespace

void MD5::TransformBlocks(const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t A = a_, B = b_, C = c_, D = d_;
    for (; blocks != 0; --blocks, data += 64) {
        const std::uint32_t x0 = LoadLittleEndian(data), x1 = LoadLittleEndian(data + 4),
                            x2 = LoadLittleEndian(data + 8), x3 = LoadLittleEndian(data + 12),
                            x4 = LoadLittleEndian(data + 16), x5 = LoadLittleEndian(data + 20),
                            x6 = LoadLittleEndian(data + 24), x7 = LoadLittleEndian(data + 28),
                            x8 = LoadLittleEndian(data + 32), x9 = LoadLittleEndian(data + 36),
                            x10 = LoadLittleEndian(data + 40), x11 = LoadLittleEndian(data + 44),
                            x12 = LoadLittleEndian(data + 48), x13 = LoadLittleEndian(data + 52),
                            x14 = LoadLittleEndian(data + 56), x15 = LoadLittleEndian(data + 60);
        std::uint32_t a = A, b = B, c = C, d = D;

        SNAPSIFT_ROUND_F(a, b, c, d, x0, 7, 0xD76AA478u)
        SNAPSIFT_ROUND_F(d, a, b, c, x1, 12, 0xE8C7B756u)
        SNAPSIFT_ROUND_F(c, d, a, b, x2, 17, 0x242070DBu)
        SNAPSIFT_ROUND_F(b, c, d, a, x3, 22, 0xC1BDCEEEu)
        SNAPSIFT_ROUND_F(a, b, c, d, x4, 7, 0xF57C0FAFu)
        SNAPSIFT_ROUND_F(d, a, b, c, x5, 12, 0x4787C62Au)
        SNAPSIFT_ROUND_F(c, d, a, b, x6, 17, 0xA8304613u)
        SNAPSIFT_ROUND_F(b, c, d, a, x7, 22, 0xFD469501u)
        SNAPSIFT_ROUND_F(a, b, c, d, x8, 7, 0x698098D8u)
        SNAPSIFT_ROUND_F(d, a, b, c, x9, 12, 0x8B44F7AFu)
        SNAPSIFT_ROUND_F(c, d, a, b, x10, 17, 0xFFFF5BB1u)
        SNAPSIFT_ROUND_F(b, c, d, a, x11, 22, 0x895CD7BEu)
        SNAPSIFT_ROUND_F(a, b, c, d, x12, 7, 0x6B901122u)
        SNAPSIFT_ROUND_F(d, a, b, c, x13, 12, 0xFD987193u)
        SNAPSIFT_ROUND_F(c, d, a, b, x14, 17, 0xA679438Eu)
        SNAPSIFT_ROUND_F(b, c, d, a, x15, 22, 0x49B40821u)

        SNAPSIFT_ROUND_G(a, b, c, d, x1, 5, 0xF61E2562u)
        SNAPSIFT_ROUND_G(d, a, b, c, x6, 9, 0xC040B340u)
        SNAPSIFT_ROUND_G(c, d, a, b, x11, 14, 0x265E5A51u)
        SNAPSIFT_ROUND_G(b, c, d, a, x0, 20, 0xE9B6C7AAu)
        SNAPSIFT_ROUND_G(a, b, c, d, x5, 5, 0xD62F105Du)
        SNAPSIFT_ROUND_G(d, a, b, c, x10, 9, 0x02441453u)
        SNAPSIFT_ROUND_G(c, d, a, b, x15, 14, 0xD8A1E681u)
        SNAPSIFT_ROUND_G(b, c, d, a, x4, 20, 0xE7D3FBC8u)
        SNAPSIFT_ROUND_G(a, b, c, d, x9, 5, 0x21E1CDE6u)
        SNAPSIFT_ROUND_G(d, a, b, c, x14, 9, 0xC33707D6u)
        SNAPSIFT_ROUND_G(c, d, a, b, x3, 14, 0xF4D50D87u)
        SNAPSIFT_ROUND_G(b, c, d, a, x8, 20, 0x455A14EDu)
        SNAPSIFT_ROUND_G(a, b, c, d, x13, 5, 0xA9E3E905u)
        SNAPSIFT_ROUND_G(d, a, b, c, x2, 9, 0xFCEFA3F8u)
        SNAPSIFT_ROUND_G(c, d, a, b, x7, 14, 0x676F02D9u)
        SNAPSIFT_ROUND_G(b, c, d, a, x12, 20, 0x8D2A4C8Au)

        SNAPSIFT_ROUND_H(a, b, c, d, x5, 4, 0xFFFA3942u)
        SNAPSIFT_ROUND_H(d, a, b, c, x8, 11, 0x8771F681u)
        SNAPSIFT_ROUND_H(c, d, a, b, x11, 16, 0x6D9D6122u)
        SNAPSIFT_ROUND_H(b, c, d, a, x14, 23, 0xFDE5380Cu)
        SNAPSIFT_ROUND_H(a, b, c, d, x1, 4, 0xA4BEEA44u)
        SNAPSIFT_ROUND_H(d, a, b, c, x4, 11, 0x4BDECFA9u)
        SNAPSIFT_ROUND_H(c, d, a, b, x7, 16, 0xF6BB4B60u)
        SNAPSIFT_ROUND_H(b, c, d, a, x10, 23, 0xBEBFBC70u)
        SNAPSIFT_ROUND_H(a, b, c, d, x13, 4, 0x289B7EC6u)
        SNAPSIFT_ROUND_H(d, a, b, c, x0, 11, 0xEAA127FAu)
        SNAPSIFT_ROUND_H(c, d, a, b, x3, 16, 0xD4EF3085u)
        SNAPSIFT_ROUND_H(b, c, d, a, x6, 23, 0x04881D05u)
        SNAPSIFT_ROUND_H(a, b, c, d, x9, 4, 0xD9D4D039u)
        SNAPSIFT_ROUND_H(d, a, b, c, x12, 11, 0xE6DB99E5u)
        SNAPSIFT_ROUND_H(c, d, a, b, x15, 16, 0x1FA27CF8u)
        SNAPSIFT_ROUND_H(b, c, d, a, x2, 23, 0xC4AC5665u)

        SNAPSIFT_ROUND_I(a, b, c, d, x0, 6, 0xF4292244u)
        SNAPSIFT_ROUND_I(d, a, b, c, x7, 10, 0x432AFF97u)
        SNAPSIFT_ROUND_I(c, d, a, b, x14, 15, 0xAB9423A7u)
        SNAPSIFT_ROUND_I(b, c, d, a, x5, 21, 0xFC93A039u)
        SNAPSIFT_ROUND_I(a, b, c, d, x12, 6, 0x655B59C3u)
        SNAPSIFT_ROUND_I(d, a, b, c, x3, 10, 0x8F0CCC92u)
        SNAPSIFT_ROUND_I(c, d, a, b, x10, 15, 0xFFEFF47Du)
        SNAPSIFT_ROUND_I(b, c, d, a, x1, 21, 0x85845DD1u)
        SNAPSIFT_ROUND_I(a, b, c, d, x8, 6, 0x6FA87E4Fu)
        SNAPSIFT_ROUND_I(d, a, b, c, x15, 10, 0xFE2CE6E0u)
        SNAPSIFT_ROUND_I(c, d, a, b, x6, 15, 0xA3014314u)
        SNAPSIFT_ROUND_I(b, c, d, a, x13, 21, 0x4E0811A1u)
        SNAPSIFT_ROUND_I(a, b, c, d, x4, 6, 0xF7537E82u)
        SNAPSIFT_ROUND_I(d, a, b, c, x11, 10, 0xBD3AF235u)
        SNAPSIFT_ROUND_I(c, d, a, b, x2, 15, 0x2AD7D2BBu)
        SNAPSIFT_ROUND_I(b, c, d, a, x9, 21, 0xEB86D391u)

        A += a;
        B += b;
        C += c;
        D += d;
    }
    a_ = A;
    b_ = B;
    c_ = C;
    d_ = D;
}

#undef SNAPSIFT_ROUND_F
#undef SNAPSIFT_ROUND_G
#undef SNAPSIFT_ROUND_H
#undef SNAPSIFT_ROUND_I

void MD5::Update(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    if (size == 0) return;  // an empty span may carry no buffer at all
    std::size_t idx = static_cast<std::size_t>(totalBytes_ % 64);
    totalBytes_ += size;
    if (idx != 0) {
        const std::size_t part = 64 - idx;
        if (size < part) {
            std::memcpy(blockBuffer_ + idx, data, size);
            return;
        }
        std::memcpy(blockBuffer_ + idx, data, part);
        TransformBlocks(blockBuffer_, 1);
        data += part;
        size -= part;
    }
    const std::size_t blocks = size / 64;
    if (blocks != 0) {
        TransformBlocks(data, blocks);
        data += blocks * 64;
        size -= blocks * 64;
    }
    if (size != 0) std::memcpy(blockBuffer_, data, size);
}

void MD5::Init() {
    totalBytes_ = 0;
    a_ = 0x67452301u;
    b_ = 0xEFCDAB89u;
    c_ = 0x98BADCFEu;
    d_ = 0x10325476u;
}

std::string MD5::Final() {
    if (totalBytes_ >= static_cast<std::uint64_t>(kFinalLimit))
        throw MD5OverflowError("MD5Final: bit count does not fit 32 bits");
    static constexpr std::uint8_t kPadding[64] = {0x80};
    const std::uint32_t bitCount = static_cast<std::uint32_t>(totalBytes_) * 8u;
    const std::size_t idx = static_cast<std::size_t>(totalBytes_ % 64);
    Update(std::span(kPadding, idx < 56 ? 56 - idx : 120 - idx));
    std::uint8_t lengthBytes[8] = {};
    StoreLittleEndian(bitCount, lengthBytes);
    Update(lengthBytes);
    std::string text;
    text.reserve(32);
    for (const std::uint32_t word : {a_, b_, c_, d_}) LongToHexStr(word, text);
    return text;
}

std::string MD5::DigestStrToHexStr(std::string_view SourceString) {
    const std::optional<std::string> bytes = ToReportCodePage(SourceString);
    if (!bytes) throw MD5OverflowError("DigestStrToHexStr: a character has no single-byte code");
    if (bytes->size() > static_cast<std::size_t>(kMaxStringLength))
        throw MD5OverflowError("DigestStrToHexStr: more than 32,767 characters");
    Init();
    Update(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    return Final();
}

std::string MD5::DigestFileToHexStr(const std::string& FileName) {
    EvidenceFile file;
    if (!file.Open(FileName) || file.Size() >= kFinalLimit) return std::string(kFileFailureText);
    // On the stack: no allocation, and its pages stay mapped from one file to the next.
    std::uint8_t buffer[64 * 1024];
    Init();
    for (std::int64_t got; (got = file.Read(buffer, sizeof buffer)) != 0;) {
        if (got < 0) return std::string(kFileFailureText);
        Update(std::span(buffer, static_cast<std::size_t>(got)));
    }
    // Reads stop at the size of the open, so Final cannot overflow here.
    return file.UnchangedSinceOpen() ? Final() : std::string(kFileFailureText);
}

}  // namespace snapsift
