#include "hash/Md5Sha256.h"

#include <cstring>
#include "text/Hex.h"

#include "hash/Md5Steps.h"
#include "hash/Sha256.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SNAPSIFT_SHA_INSTRUCTIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace snapsift {

namespace {

constexpr std::uint32_t kMd5Start[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
constexpr std::uint32_t kSha256Start[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                           0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};

#ifdef SNAPSIFT_SHA_INSTRUCTIONS

alignas(16) constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u};

#define SNAPSIFT_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// SHA-256's state as the SHA instructions hold it (words ABEF and CDGH), and the four message
// vectors of the schedule, each four words of it.
struct ShaRegisters {
    __m128i abef, cdgh;
    __m128i message[4];
};

// Rounds 4 * group to 4 * group + 3 of the block at `data`, and the part of the message schedule
// that the rounds after them need.
template <int group>
SNAPSIFT_SHA_TARGET inline void ShaRounds(ShaRegisters& r, const std::uint8_t* data, __m128i byteSwap) {
    __m128i& words = r.message[group % 4];
    if constexpr (group < 4)
        words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byteSwap);
    __m128i sum = _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group)));
    r.cdgh = _mm_sha256rnds2_epu32(r.cdgh, r.abef, sum);
    if constexpr (group >= 3 && group <= 14) {
        __m128i& next = r.message[(group + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(words, r.message[(group + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, words);
    }
    sum = _mm_shuffle_epi32(sum, 0x0E);
    r.abef = _mm_sha256rnds2_epu32(r.abef, r.cdgh, sum);
    if constexpr (group >= 1 && group <= 12)
        r.message[(group + 3) % 4] = _mm_sha256msg1_epu32(r.message[(group + 3) % 4], words);
}

SNAPSIFT_SHA_TARGET inline ShaRegisters LoadSha(const std::uint32_t state[8]) {
    const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    ShaRegisters r;
    r.abef = _mm_alignr_epi8(dcba, efgh, 8);
    r.cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    return r;
}

SNAPSIFT_SHA_TARGET inline void StoreSha(const ShaRegisters& r, std::uint32_t state[8]) {
    const __m128i feba = _mm_shuffle_epi32(r.abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(r.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

inline __m128i ByteSwapMask() { return _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL); }

SNAPSIFT_SHA_TARGET void Sha256Blocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    const __m128i byteSwap = ByteSwapMask();
    ShaRegisters r = LoadSha(state);
    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abef = r.abef, cdgh = r.cdgh;
        ShaRounds<0>(r, data, byteSwap), ShaRounds<1>(r, data, byteSwap), ShaRounds<2>(r, data, byteSwap);
        ShaRounds<3>(r, data, byteSwap), ShaRounds<4>(r, data, byteSwap), ShaRounds<5>(r, data, byteSwap);
        ShaRounds<6>(r, data, byteSwap), ShaRounds<7>(r, data, byteSwap), ShaRounds<8>(r, data, byteSwap);
        ShaRounds<9>(r, data, byteSwap), ShaRounds<10>(r, data, byteSwap), ShaRounds<11>(r, data, byteSwap);
        ShaRounds<12>(r, data, byteSwap), ShaRounds<13>(r, data, byteSwap), ShaRounds<14>(r, data, byteSwap);
        ShaRounds<15>(r, data, byteSwap);
        r.abef = _mm_add_epi32(r.abef, abef);
        r.cdgh = _mm_add_epi32(r.cdgh, cdgh);
    }
    StoreSha(r, state);
}

// Both transforms over the same blocks, a group of SHA-256's rounds between each two groups of
// MD5's steps.
SNAPSIFT_SHA_TARGET void Md5Sha256Blocks(std::uint32_t md5State[4], std::uint32_t shaState[8],
                                         const std::uint8_t* data, std::size_t blocks) {
    const __m128i byteSwap = ByteSwapMask();
    ShaRegisters r = LoadSha(shaState);
    std::uint32_t A = md5State[0], B = md5State[1], C = md5State[2], D = md5State[3];
    for (; blocks != 0; --blocks, data += 64) {
        SNAPSIFT_MD5_LOAD_WORDS(data)
        std::uint32_t a = A, b = B, c = C, d = D;
        const __m128i abef = r.abef, cdgh = r.cdgh;
        ShaRounds<0>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_0
        ShaRounds<1>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_1
        ShaRounds<2>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_2
        ShaRounds<3>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_3
        ShaRounds<4>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_4
        ShaRounds<5>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_5
        ShaRounds<6>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_6
        ShaRounds<7>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_7
        ShaRounds<8>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_8
        ShaRounds<9>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_9
        ShaRounds<10>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_10
        ShaRounds<11>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_11
        ShaRounds<12>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_12
        ShaRounds<13>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_13
        ShaRounds<14>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_14
        ShaRounds<15>(r, data, byteSwap);
        SNAPSIFT_MD5_GROUP_15
        A += a;
        B += b;
        C += c;
        D += d;
        r.abef = _mm_add_epi32(r.abef, abef);
        r.cdgh = _mm_add_epi32(r.cdgh, cdgh);
    }
    md5State[0] = A;
    md5State[1] = B;
    md5State[2] = C;
    md5State[3] = D;
    StoreSha(r, shaState);
}

bool ProcessorHasShaInstructions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = (ecx & bit_SSSE3) != 0, sse41 = (ecx & bit_SSE4_1) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return ssse3 && sse41 && (ebx & bit_SHA) != 0;
}

#else

bool ProcessorHasShaInstructions() { return false; }
void Sha256Blocks(std::uint32_t*, const std::uint8_t*, std::size_t) {}
void Md5Sha256Blocks(std::uint32_t*, std::uint32_t*, const std::uint8_t*, std::size_t) {}

#endif


}  // namespace

bool Md5Sha256::SharedTransformAvailable() {
    static const bool available = ProcessorHasShaInstructions();
    return available;
}

Md5Sha256::Md5Sha256(Engine engine) : shared_(engine == Engine::Fastest && SharedTransformAvailable()) {
    if (!shared_) sha256_ = std::make_unique<Sha256>();
    Restart();
}

Md5Sha256::~Md5Sha256() = default;

void Md5Sha256::Restart() {
    if (shared_) {
        std::memcpy(md5State_, kMd5Start, sizeof md5State_);
        std::memcpy(shaState_, kSha256Start, sizeof shaState_);
        totalBytes_ = 0;
    } else {
        md5_.Init();
    }
}

void Md5Sha256::Update(std::span<const std::uint8_t> bytes) {
    if (!shared_) {
        md5_.Update(bytes);
        sha256_->Update(bytes);
        return;
    }
    FeedBlocks(bytes.data(), bytes.size(), totalBytes_, blockBuffer_, [this](const std::uint8_t* data, std::size_t blocks) {
        Md5Sha256Blocks(md5State_, shaState_, data, blocks);
    });
}

Md5Sha256::Digests Md5Sha256::Final() {
    Digests digests;
    if (!shared_) {
        try {
            digests.md5 = md5_.Final();
        } catch (const MD5OverflowError&) {
        }
        digests.sha256 = sha256_->Final();
        Restart();
        return digests;
    }
    // The held bytes, the 0x80 that ends the message, zeros, and the length in bits: little-endian
    // for MD5, big-endian for SHA-256. One block, or two when fewer than 8 bytes are left after 0x80.
    const std::size_t held = static_cast<std::size_t>(totalBytes_ % 64);
    const std::size_t blocks = held < 56 ? 1 : 2;
    std::uint8_t md5Tail[128] = {}, shaTail[128] = {};
    std::memcpy(md5Tail, blockBuffer_, held);
    md5Tail[held] = 0x80;
    std::memcpy(shaTail, md5Tail, held + 1);
    const std::uint64_t bits = totalBytes_ * 8;
    for (int i = 0; i < 8; ++i) {
        md5Tail[blocks * 64 - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        shaTail[blocks * 64 - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    Md5Blocks(md5State_, md5Tail, blocks);
    Sha256Blocks(shaState_, shaTail, blocks);
    if (totalBytes_ < static_cast<std::uint64_t>(MD5::kFinalLimit)) {
        digests.md5.emplace();
        for (const std::uint32_t word : md5State_) AppendHexWord(*digests.md5, word, false, HexCase::Upper);
    }
    for (const std::uint32_t word : shaState_) AppendHexWord(digests.sha256, word, true, HexCase::Lower);
    Restart();
    return digests;
}

}  // namespace snapsift
