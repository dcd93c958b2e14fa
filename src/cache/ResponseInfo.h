// Chromium's stored HTTP response, and the URL in a cache key: a pickle (payload size, then the payload) of its flags, the
// request and response times and the header lines. The simple cache keeps it as an entry's
// stream 0 (the blockfile cache too), the SQL cache in a resource's `head`. For the readers in
// this folder only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cache/CacheEntry.h"

namespace snapsift {

// Fills the entry's request and response times, status line and the headers ReadResponseHeaderLines
// keeps, and markedTruncated from the flags, from `record`; what is cut or absurd goes into its
// note, naming the record as `holder` ("stream 0", "the head").
void ReadChromiumResponseInfo(std::span<const std::uint8_t> record, std::string_view holder, CacheEntry& entry);

// The URL in a Chromium cache key: the text after the last space of a split key
// ("1/0/_dk_<site> <site> <url>"), else the key without a leading "<digits>/<digits>/". A sparse
// child's key ("Range_<parent key>:<signature>:<child number>", both in hex) gives its parent's.
std::string UrlFromChromiumKey(std::string_view key);

}  // namespace snapsift
