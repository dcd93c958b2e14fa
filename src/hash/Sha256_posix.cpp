#include "hash/Sha256.h"

#include <openssl/evp.h>
#include "text/Hex.h"

#include <stdexcept>

namespace snapsift {

namespace {


}  // namespace

struct Sha256::Engine {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Engine() { EVP_MD_CTX_free(context); }
    void Start() {
        if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1)
            throw std::runtime_error("SHA-256 is not available");
    }
};

Sha256::Sha256() : engine_(std::make_unique<Engine>()) { engine_->Start(); }

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    if (EVP_DigestUpdate(engine_->context, bytes.data(), bytes.size()) != 1)
        throw std::runtime_error("SHA-256 update failed");
}

std::string Sha256::Final() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_DigestFinal_ex(engine_->context, digest, &size) != 1) throw std::runtime_error("SHA-256 final failed");
    engine_->Start();
    return HexText(digest, size, HexCase::Lower);
}

std::string Sha256::Of(std::string_view bytes) {
    Sha256 sha;
    sha.Update(bytes);
    return sha.Final();
}

}  // namespace snapsift
