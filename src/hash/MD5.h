// RFC 1321 MD5: the init/update/final engine, and one-call digests of a file and of a string
// that return 32 upper-case hexadecimal digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace snapsift {

// A string too long for the one-call digest (over 32,767 characters), a character with no
// single-byte code, or a digest finished after 2^28 bytes (its bit count would pass 32 bits).
class MD5OverflowError : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

class MD5 {
public:
    static constexpr std::int32_t kMaxStringLength = 32767;
    static constexpr std::int64_t kFinalLimit = 268435456;  // 2^28: bit count must fit 32 bits
    static constexpr std::string_view kFileFailureText = "Error generating MD5 hash";

    // Digest of a regular file's whole contents, or kFileFailureText when it cannot be opened
    // or read, is 2^28 bytes or more, or changed while it was read; never throws.
    std::string DigestFileToHexStr(const std::string& FileName);
    // Digest of UTF-8 text converted to the report's single-byte code page.
    // Throws MD5OverflowError for over 32,767 characters or a character with no single-byte code.
    std::string DigestStrToHexStr(std::string_view SourceString);

    // The engine, piece by piece: Init, Update with the message in pieces of any size, then
    // Final, which gives the digest as 32 upper-case hexadecimal digits. Final throws
    // MD5OverflowError (and changes nothing) when 2^28 bytes or more were taken in.
    void Init();
    void Update(std::span<const std::uint8_t> bytes);
    std::string Final();

private:
    // Runs the block transform over `blocks` consecutive 64-byte blocks.
    void TransformBlocks(const std::uint8_t* data, std::size_t blocks);

    std::uint32_t a_ = 0, b_ = 0, c_ = 0, d_ = 0;
    std::uint64_t totalBytes_ = 0;
    std::uint8_t blockBuffer_[64] = {};
};

}  // namespace snapsift
