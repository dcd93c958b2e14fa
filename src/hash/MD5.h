// RFC 1321 MD5: the init/update/final engine with its fixed limits, and one-call digests
// of a file and of a string that return 32 upper-case hexadecimal digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace snapsift {

class VolumeFile;

// A count or length beyond the engine's limits (32,767 bytes a call, 2^31-1 in all,
// 2^28 bytes to finish a digest), or a character with no single-byte code.
class MD5OverflowError : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

// An input buffer shorter than the length it is said to hold (or a negative length).
class MD5SubscriptError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

class MD5 {
public:
    static constexpr std::int32_t kMaxUpdateLength = 32767;
    static constexpr std::int32_t kMaxTotalBytes = 2147483647;
    static constexpr std::int32_t kFinalLimit = 268435456;  // 2^28: bit count must fit 32 bits
    static constexpr std::string_view kFileFailureText = "Error generating MD5 hash";

    // State words as signed decimal text.
    std::string RegisterA() const;
    std::string RegisterB() const;
    std::string RegisterC() const;
    std::string RegisterD() const;

    // Digest of a regular file's whole contents, or kFileFailureText; never throws.
    std::string DigestFileToHexStr(const std::string& FileName);
    // Digest of an open evidence file, read once from its start up to its size at the open;
    // every piece read is handed to alsoTo as well (a copy being made). kFileFailureText when a
    // read fails, the file is 2^28 bytes or more, or its size or modification time changed
    // while it was read. Never throws.
    std::string DigestEvidenceToHexStr(VolumeFile& file,
                                       const std::function<void(std::string_view)>& alsoTo = {});
    // Digest of UTF-8 text converted to the report's single-byte code page.
    // Throws MD5OverflowError for over 32,767 characters or a character with no single-byte code.
    std::string DigestStrToHexStr(std::string_view SourceString);
    // The current state words as 32 upper-case hexadecimal digits.
    std::string GetValues() const;

    void MD5Init();
    // Throws MD5OverflowError (and changes nothing) when the digest could not be finished
    // within the 32-bit bit count, that is when TotalBytes is 2^28 or more.
    void MD5Final();
    // Takes in the first InputLen bytes of InputBuffer. Every failure is detected before
    // anything changes: MD5OverflowError for InputLen above 32,767 or a running total above
    // 2^31-1; MD5SubscriptError for a negative InputLen or a buffer shorter than InputLen.
    void MD5Update(std::int32_t InputLen, std::span<const std::uint8_t> InputBuffer);

    static std::int32_t LongLeftRotate(std::int32_t value, std::int32_t bits);

private:
    friend struct MD5TestAccess;

    // Runs the block transform over `blocks` consecutive 64-byte blocks.
    void TransformBlocks(const std::uint8_t* data, std::size_t blocks);
    // Takes in bytes whose count is already known to keep TotalBytes within its limits.
    void Absorb(const std::uint8_t* data, std::size_t size);

    std::uint32_t a_ = 0, b_ = 0, c_ = 0, d_ = 0;
    std::int32_t TotalBytes = 0;
    std::uint8_t BlockBuffer[64] = {};
};

}  // namespace snapsift
