// MD5 and SHA-256 of one message, taken in one pass. Where the processor has the SHA
// instructions, one transform runs both: SHA-256's rounds fill the time MD5's chain of dependent
// steps leaves idle, so the pair costs about what MD5 costs alone. Elsewhere MD5 runs beside the
// system's SHA-256 engine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "hash/MD5.h"

namespace snapsift {

class Sha256;

class Md5Sha256 {
public:
    enum class Engine { Fastest, Separate };

    explicit Md5Sha256(Engine engine = Engine::Fastest);
    ~Md5Sha256();
    Md5Sha256(const Md5Sha256&) = delete;
    Md5Sha256& operator=(const Md5Sha256&) = delete;

    // Whether Engine::Fastest runs the shared transform on this processor.
    static bool SharedTransformAvailable();

    void Update(std::span<const std::uint8_t> bytes);

    struct Digests {
        std::optional<std::string> md5;  // 32 upper-case digits; none from 2^28 bytes on (MD5::kFinalLimit)
        std::string sha256;              // 64 lower-case digits, as sha256sum writes it
    };
    // The digests of everything taken in; the engine is then ready for another message.
    Digests Final();

private:
    void Restart();

    bool shared_ = false;
    // The shared transform's state.
    std::uint32_t md5State_[4] = {};
    std::uint32_t shaState_[8] = {};
    std::uint64_t totalBytes_ = 0;
    std::uint8_t blockBuffer_[64] = {};
    // The separate engines.
    MD5 md5_;
    std::unique_ptr<Sha256> sha256_;
};

}  // namespace snapsift
