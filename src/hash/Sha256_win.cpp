#include "hash/Sha256.h"

#include <windows.h>
#include "text/Hex.h"
#include <bcrypt.h>

#include <stdexcept>

namespace snapsift {

namespace {

constexpr ULONG kDigestSize = 32;

// The system's SHA-256 provider, opened once for the program's life.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            opened = nullptr;
        return opened;
    }();
    if (provider == nullptr) throw std::runtime_error("SHA-256 is not available");
    return provider;
}

}  // namespace

struct Sha256::Engine {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Engine() {
        if (hash != nullptr) BCryptDestroyHash(hash);
    }
    void Start() {
        if (hash != nullptr) BCryptDestroyHash(hash);
        hash = nullptr;
        if (!BCRYPT_SUCCESS(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0)))
            throw std::runtime_error("SHA-256 is not available");
    }
};

Sha256::Sha256() : engine_(std::make_unique<Engine>()) { engine_->Start(); }

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    // CNG takes at most 4 GiB a call.
    constexpr std::size_t kMostPerCall = 1u << 30;
    while (!bytes.empty()) {
        const std::size_t size = bytes.size() < kMostPerCall ? bytes.size() : kMostPerCall;
        if (!BCRYPT_SUCCESS(BCryptHashData(engine_->hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(size), 0)))
            throw std::runtime_error("SHA-256 update failed");
        bytes = bytes.subspan(size);
    }
}

std::string Sha256::Final() {
    UCHAR digest[kDigestSize];
    if (!BCRYPT_SUCCESS(BCryptFinishHash(engine_->hash, digest, kDigestSize, 0)))
        throw std::runtime_error("SHA-256 final failed");
    engine_->Start();
    return HexText(digest, kDigestSize, HexCase::Lower);
}

std::string Sha256::Of(std::string_view bytes) {
    Sha256 sha;
    sha.Update(bytes);
    return sha.Final();
}

}  // namespace snapsift
