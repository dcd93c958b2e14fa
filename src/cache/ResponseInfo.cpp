#include "cache/ResponseInfo.h"

#include <algorithm>
#include <optional>
#include <string>

#include "cache/CacheBytes.h"

namespace snapsift {

namespace {

using namespace cachebytes;

// A base::Pickle read front to back; every read checked against the payload's end.
class PickleReader {
public:
    explicit PickleReader(Bytes payload) : bytes_(payload) {}
    std::optional<std::uint32_t> ReadU32() {
        if (bytes_.size() - at_ < 4) return std::nullopt;
        const auto value = LittleEndian32(bytes_, at_);
        at_ += 4;
        return value;
    }
    std::optional<std::uint64_t> ReadU64() {
        if (bytes_.size() - at_ < 8) return std::nullopt;
        const auto value = LittleEndian64(bytes_, at_);
        at_ += 8;
        return value;
    }
    // A length, then that many bytes padded to a multiple of 4.
    std::optional<std::string_view> ReadString() {
        const auto length = ReadU32();
        if (!length || *length > bytes_.size() - at_) return std::nullopt;
        const std::string_view text(reinterpret_cast<const char*>(bytes_.data() + at_), *length);
        at_ += std::min<std::size_t>(bytes_.size() - at_, (std::size_t{*length} + 3) & ~std::size_t{3});
        return text;
    }

private:
    Bytes bytes_;
    std::size_t at_ = 0;
};

}  // namespace

void ReadChromiumResponseInfo(Bytes record, std::string_view holder, CacheEntry& entry) {
    if (record.size() < 4) {
        entry.findings.Add(Damaged, "stored response: too short for its size field");
        return;
    }
    std::size_t payload = LittleEndian32(record, 0);
    if (payload > record.size() - 4) {
        entry.findings.Add(Damaged,
                           "stored response: its size runs past " + std::string(holder) + ", read as far as it goes");
        payload = record.size() - 4;
    }
    PickleReader pickle(record.subspan(4, payload));
    constexpr std::uint32_t kVersionMask = 0xFF, kHasExtraFlags = 1u << 31, kHasOriginalTime = 1u << 2;
    constexpr std::uint32_t kTruncated = 1u << 12;  // the browser stopped storing the body before its end
    const auto flags = pickle.ReadU32();
    std::optional<std::uint32_t> extra = 0;
    if (flags && (*flags & kHasExtraFlags)) extra = pickle.ReadU32();
    if (!flags || !extra) {
        entry.findings.Add(Damaged, "stored response: cut in its flags");
        return;
    }
    entry.markedTruncated = (*flags & kTruncated) != 0;
    const auto version = *flags & kVersionMask;
    if (version < 1 || version > 3)
        entry.findings.Add(Damaged, "stored response: unknown version " + std::to_string(version));
    const auto request = pickle.ReadU64();
    const auto response = pickle.ReadU64();
    const auto original = (*extra & kHasOriginalTime) ? pickle.ReadU64() : std::optional<std::uint64_t>(0);
    if (!request || !response || !original) {
        entry.findings.Add(Damaged, "stored response: cut in its times");
        return;
    }
    entry.requestTime = ChromiumTime(*request);
    entry.responseTime = ChromiumTime(*response);
    const auto headers = pickle.ReadString();
    if (!headers) {
        entry.findings.Add(Damaged, "stored response: its headers run past its end");
        return;
    }
    ReadResponseHeaderLines(*headers, '\0', entry);
    if (entry.statusLine.empty()) entry.findings.Add(Damaged, "stored response: no status line");
}

}  // namespace snapsift
