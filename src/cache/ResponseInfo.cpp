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

namespace snapsift {

std::string UrlFromChromiumKey(std::string_view key) {
    const bool range = key.starts_with("Range_");
    const std::size_t space = key.rfind(' ');
    std::string_view url = space == std::string_view::npos ? key.substr(range ? 6 : 0) : key.substr(space + 1);
    // "<digits>/<digits>/" before a single-keyed URL.
    std::size_t at = 0;
    for (int part = 0; space == std::string_view::npos && !range && part < 2 && at != std::string_view::npos; ++part) {
        const std::size_t start = at;
        while (at < url.size() && url[at] >= '0' && url[at] <= '9') ++at;
        at = at == start || at >= url.size() || url[at] != '/' ? std::string_view::npos : at + 1;
        if (part == 1 && at != std::string_view::npos) url.remove_prefix(at);
    }
    for (int part = 0; range && part < 2; ++part) {
        const std::size_t colon = url.rfind(':');
        if (colon == std::string_view::npos) break;
        const std::string_view digits = url.substr(colon + 1);
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            }))
            break;
        url = url.substr(0, colon);
    }
    return std::string(url);
}

}  // namespace snapsift
