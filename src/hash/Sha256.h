// SHA-256 (FIPS 180-4), piece by piece, from the system's own engine: OpenSSL's libcrypto on
// POSIX systems, CNG on Windows, so that the Windows programs need no library of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace snapsift {

class Sha256 {
public:
    Sha256();  // ready for the first Update
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::span<const std::uint8_t> bytes);
    void Update(std::string_view bytes) {
        Update(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    }
    // The digest as 64 lower-case hexadecimal digits (as sha256sum writes it); the engine is then
    // ready for another message.
    std::string Final();

    // The digest of one string.
    static std::string Of(std::string_view bytes);

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

}  // namespace snapsift
