#include "search/CacheFiles.h"

#include <algorithm>
#include <cstdio>

#include "cache/FirefoxCache.h"
#include "cache/FirefoxLegacyCache.h"
#include "cache/SimpleCache.h"
#include "search/Recognition.h"
#include "text/PathText.h"

namespace snapsift {

std::optional<CacheFileKind> CacheFileKindOf(std::string_view fileName) {
    if (fileName == "index") return CacheFileKind::BlockfileIndex;
    if (fileName == "data_1") return CacheFileKind::BlockfileEntries;
    if (fileName.size() == 9 && std::equal(fileName.begin(), fileName.end(), "index.dat", [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a + 32) : a) == b;
        }))
        return CacheFileKind::IndexDat;
    if (IsFirefoxLegacyCacheFileName(fileName)) return CacheFileKind::FirefoxLegacy;
    if (IsSimpleEntryName(fileName)) return CacheFileKind::SimpleEntry;
    if (IsCache2EntryFileName(fileName, Cache2Folder::Entries)) return CacheFileKind::Cache2Entry;
    if (IsCache2EntryFileName(fileName, Cache2Folder::Doomed)) return CacheFileKind::Cache2Doomed;
    if (IsSqlShardName(fileName)) return CacheFileKind::SqlShard;
    return std::nullopt;
}

bool IsSqlShardName(std::string_view fileName) {
    constexpr std::string_view kShard = "sqldb";
    return fileName.size() > kShard.size() && fileName.size() <= kShard.size() + 10 && fileName.starts_with(kShard) &&
           IsNumeric(fileName.substr(kShard.size()));
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%HH" as its byte; a "%" not followed by two hex digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size()) {
            const int high = HexValue(text[at + 1]), low = HexValue(text[at + 2]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high << 4 | low);
                at += 2;
                continue;
            }
        }
        decoded += text[at];
    }
    return decoded;
}

}  // namespace

std::optional<CachedPhoto> PhotoOfCachedUrl(std::string_view url) {
    url = url.substr(0, std::min(url.find('#'), url.size()));
    url = url.substr(0, std::min(url.find('?'), url.size()));
    const std::size_t slash = url.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string name = PercentDecoded(url.substr(slash + 1));
    const std::size_t dot = name.rfind('.');
    if (name.empty() || dot == std::string::npos) return std::nullopt;
    // The name the old cache gave the file it kept: "[1]" before the extension.
    std::string keptName = name;
    keptName.insert(dot, "[1]");
    const std::optional<NameStyle> style = NameFilter(keptName);
    if (!style) return std::nullopt;
    const std::optional<std::string_view> userId = RecognizeCandidate(keptName, *style);
    if (!userId) return std::nullopt;
    return CachedPhoto{std::move(name), std::string(*userId)};
}

std::string CachedPhotoCopyName(std::string_view photoName, std::int32_t number) {
    std::string stem(photoName.substr(0, photoName.size() >= 4 ? photoName.size() - 4 : 0));
    for (char& c : stem) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            c = '_';
    }
    std::string ending = std::to_string(number);  // built up so that GCC 12 sees no overlap in it
    ending.insert(0, 1, '-');
    ending += ".jpg";
    return FitNameLimit(stem, ending);
}

}  // namespace snapsift
