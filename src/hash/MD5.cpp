#include "hash/MD5.h"

#include <bit>
#include "text/Hex.h"
#include <cstring>
#include <optional>

#include "hash/Md5Steps.h"
#include "platform/CodePage.h"
#include "platform/EvidenceFile.h"

namespace snapsift {

namespace {

void StoreLittleEndian(std::uint32_t word, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(word);
    p[1] = static_cast<std::uint8_t>(word >> 8);
    p[2] = static_cast<std::uint8_t>(word >> 16);
    p[3] = static_cast<std::uint8_t>(word >> 24);
}

void LongToHexStr(std::uint32_t word, std::string& out) { AppendHexWord(out, word, false, HexCase::Upper); }

}  // namespace

void Md5Blocks(std::uint32_t state[4], const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t A = state[0], B = state[1], C = state[2], D = state[3];
    for (; blocks != 0; --blocks, data += 64) {
        SNAPSIFT_MD5_LOAD_WORDS(data)
        std::uint32_t a = A, b = B, c = C, d = D;
        SNAPSIFT_MD5_GROUP_0 SNAPSIFT_MD5_GROUP_1 SNAPSIFT_MD5_GROUP_2 SNAPSIFT_MD5_GROUP_3
        SNAPSIFT_MD5_GROUP_4 SNAPSIFT_MD5_GROUP_5 SNAPSIFT_MD5_GROUP_6 SNAPSIFT_MD5_GROUP_7
        SNAPSIFT_MD5_GROUP_8 SNAPSIFT_MD5_GROUP_9 SNAPSIFT_MD5_GROUP_10 SNAPSIFT_MD5_GROUP_11
        SNAPSIFT_MD5_GROUP_12 SNAPSIFT_MD5_GROUP_13 SNAPSIFT_MD5_GROUP_14 SNAPSIFT_MD5_GROUP_15
        A += a;
        B += b;
        C += c;
        D += d;
    }
    state[0] = A;
    state[1] = B;
    state[2] = C;
    state[3] = D;
}

void MD5::TransformBlocks(const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t state[4] = {a_, b_, c_, d_};
    Md5Blocks(state, data, blocks);
    a_ = state[0];
    b_ = state[1];
    c_ = state[2];
    d_ = state[3];
}

void MD5::Update(std::span<const std::uint8_t> bytes) {
    FeedBlocks(bytes.data(), bytes.size(), totalBytes_, blockBuffer_,
               [this](const std::uint8_t* data, std::size_t blocks) { TransformBlocks(data, blocks); });
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
