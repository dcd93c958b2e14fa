#include "cache/FirefoxCache.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <string>

#include "cache/CacheBytes.h"
#include "cache/Sha1.h"

namespace snapsift {

namespace {

using namespace cachebytes;

constexpr std::uint64_t kChunkSize = 256 * 1024;
constexpr std::uint32_t kTrailerVersion = 4;  // the metadata version whose trailer has two words
constexpr std::uint32_t kEncryptedFlag = 0x80000000u;
constexpr std::uint64_t kHeaderSizeV1 = 7 * 4;  // version 1 has no flags word
constexpr std::uint64_t kHeaderSize = 8 * 4;

void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
    a -= b;
    a -= c;
    a ^= c >> 13;
    b -= c;
    b -= a;
    b ^= a << 8;
    c -= a;
    c -= b;
    c ^= b >> 13;
    a -= b;
    a -= c;
    a ^= c >> 12;
    b -= c;
    b -= a;
    b ^= a << 16;
    c -= a;
    c -= b;
    c ^= b >> 5;
    a -= b;
    a -= c;
    a ^= c >> 3;
    b -= c;
    b -= a;
    b ^= a << 10;
    c -= a;
    c -= b;
    c ^= b >> 15;
}

// The cache's hash of its metadata and chunks: Bob Jenkins' lookup2 with an initial value of 0
// (its length added modulo 2^32, as the browser does).
std::uint32_t CacheHash(Bytes bytes) {
    std::uint32_t a = 0x9e3779b9, b = 0x9e3779b9, c = 0;
    std::size_t at = 0;
    for (; bytes.size() - at >= 12; at += 12) {
        a += LittleEndian32(bytes, at);
        b += LittleEndian32(bytes, at + 4);
        c += LittleEndian32(bytes, at + 8);
        Mix(a, b, c);
    }
    c += static_cast<std::uint32_t>(bytes.size());
    // The last bytes: a and b take theirs from the lowest byte up, c from its second byte.
    for (std::size_t i = 0; at + i < bytes.size(); ++i) {
        const std::uint32_t byte = bytes[at + i];
        if (i < 4)
            a += byte << (8 * i);
        else if (i < 8)
            b += byte << (8 * (i - 4));
        else
            c += byte << (8 * (i - 7));
    }
    Mix(a, b, c);
    return c;
}

std::optional<DateTime> FromUnixSeconds(std::uint32_t seconds) {
    if (seconds == 0) return std::nullopt;  // never set
    const auto fileTime = FileTimeFromUnixTime(seconds, 0);
    return fileTime ? FileTimeToDate(*fileTime) : std::nullopt;
}

// "alt-data" is "1;<offset>,<type>": the response's body ends where the alternative data
// (a script's compiled form, say) begins.
std::optional<std::uint64_t> AltDataOffset(std::string_view value) {
    if (value.size() < 2 || value[0] != '1' || value[1] != ';') return std::nullopt;
    std::uint64_t offset = 0;
    std::size_t at = 2, digits = 0;
    for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at, ++digits) {
        if (digits == 12) return std::nullopt;  // far past any offset the trailer can hold
        offset = offset * 10 + static_cast<std::uint64_t>(value[at] - '0');
    }
    if (digits == 0 || at >= value.size() || value[at] != ',') return std::nullopt;
    return offset;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += u >= 0x20 && u < 0x7f ? c : '?';
    }
    return out + (text.size() > 40 ? "...\"" : "\"");
}

// The name/value pairs after the key. What a cut pair holds is still taken.
void ReadElements(std::string_view elements, CacheEntry& entry, std::optional<std::string>& altData) {
    for (std::size_t at = 0; at < elements.size();) {
        const std::size_t nameEnd = elements.find('\0', at);
        if (nameEnd == std::string_view::npos) {
            entry.findings.Add(Damaged, "the metadata ends inside an element's name");
            return;
        }
        const std::string_view name = elements.substr(at, nameEnd - at);
        if (nameEnd + 1 >= elements.size()) {
            entry.findings.Add(Damaged, "the element " + Quoted(name) + " has no value");
            return;
        }
        std::size_t valueEnd = elements.find('\0', nameEnd + 1);
        const bool cut = valueEnd == std::string_view::npos;
        if (cut) valueEnd = elements.size();
        const std::string_view value = elements.substr(nameEnd + 1, valueEnd - nameEnd - 1);
        if (cut) entry.findings.Add(Damaged, "the value of the element " + Quoted(name) + " is cut short");
        if (EqualsNoCase(name, "response-head"))
            ReadResponseHeaderLines(value, '\n', entry);
        else if (EqualsNoCase(name, "alt-data"))
            altData = std::string(value);
        at = valueEnd + 1;
    }
}

void CheckChunks(Bytes data, Bytes hashes, CacheEntry& entry) {
    std::uint64_t bad = 0, firstBad = 0;
    const std::uint64_t count = hashes.size() / 2;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t start = i * kChunkSize;
        const Bytes chunk = data.subspan(start, std::min<std::uint64_t>(kChunkSize, data.size() - start));
        if ((CacheHash(chunk) & 0xFFFF) != BigEndian16(hashes, 2 * i) && bad++ == 0) firstBad = i;
    }
    if (bad)
        entry.findings.Add(Damaged, std::to_string(bad) + " of the data's " + std::to_string(count) +
                           " chunk(s) of 256 KiB do not match their hashes (the first: chunk " +
                           std::to_string(firstBad) + "): the stored body or its hashes are damaged");
}

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

bool IsCache2EntryFileName(std::string_view name, Cache2Folder folder) {
    if (folder == Cache2Folder::Entries)
        return name.size() == 40 && std::all_of(name.begin(), name.end(), IsUpperHex);
    return !name.empty() && name.size() <= 10 &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> Cache2KeyUrl(std::string_view key) {
    char lastTag = 0;
    // Each pass takes at least the tag's character, so the loop ends within the key's length.
    for (std::size_t at = 0; at < key.size();) {
        const char tag = key[at++];
        const auto code = static_cast<unsigned char>(tag);
        if (code < 0x20 || code > 0x7f) return std::nullopt;
        if (tag == ':') return std::string(key.substr(at));
        if (!(lastTag < tag)) return std::nullopt;  // the browser writes its tags in order
        lastTag = tag;
        if (tag == 'i') {  // an old numeric tag
            const std::size_t start = at;
            while (at < key.size() && key[at] >= '0' && key[at] <= '9') ++at;
            if (at == start) return std::nullopt;
        } else if (tag != 'a' && tag != 'p' && tag != 'b') {
            // A value, up to a lone ','; ",," is a comma within it.
            bool ended = false;
            while (at < key.size() && !ended) {
                if (key[at] != ',')
                    ++at;
                else if (at + 1 < key.size() && key[at + 1] == ',')
                    at += 2;
                else
                    ended = true;
            }
            if (!ended) return std::nullopt;
        }
        if (at >= key.size() || key[at] != ',') return std::nullopt;
        ++at;
    }
    return std::nullopt;  // no ':' after the tags
}

namespace {

void ReadEntry(std::string_view fileName, Bytes bytes, Cache2Folder folder, CacheEntry& entry) {
    const std::string file =
        (folder == Cache2Folder::Doomed ? "doomed/" : "entries/") + std::string(fileName);
    const std::uint64_t size = bytes.size();
    const std::string cutOrDamaged = " (" + std::to_string(size) + " bytes): cut short or damaged";

    if (size < 4) {
        entry.findings.Add(Damaged, "the file is too short to hold its metadata's offset" + cutOrDamaged);
        return;
    }
    // Since version 4 the offset follows a copy of the version. An older entry ends with the
    // offset alone, after its metadata's last byte, always a NUL: its last word but one is never 4.
    const std::uint32_t offsetWord = BigEndian32(bytes, size - 4);
    std::uint64_t trailer = 4;
    if (size >= 8 && BigEndian32(bytes, size - 8) == kTrailerVersion) {
        trailer = 8;
        if (offsetWord & kEncryptedFlag) {
            entry.findings.Add(Damaged,
                               "the entry is encrypted: its key, metadata and body cannot be read without "
                               "the browser's key");
            return;
        }
    }
    const std::uint64_t dataSize = offsetWord;
    const std::uint64_t metaEnd = size - trailer;
    if (dataSize > metaEnd) {
        entry.findings.Add(Damaged, "the metadata's offset " + std::to_string(dataSize) + " lies past the file's end" +
                           cutOrDamaged);
        return;
    }
    const Bytes meta = bytes.subspan(dataSize, metaEnd - dataSize);
    const std::uint64_t hashCount = (dataSize + kChunkSize - 1) / kChunkSize;
    const std::uint64_t header = 4 + 2 * hashCount;
    if (header + 4 > meta.size()) {
        entry.findings.Add(Damaged, "the metadata is too short to hold its hashes and header" + cutOrDamaged);
        return;
    }
    const std::uint32_t version = BigEndian32(meta, header);
    const std::uint64_t headerSize = version == 1                   ? kHeaderSizeV1
                                     : version <= 4 && version >= 2 ? kHeaderSize
                                                                    : 0;
    if (headerSize == 0) {
        entry.findings.Add(Damaged, "the metadata's version " + std::to_string(version) +
                           " is not one of 1 to 4: the file is not a readable entry");
        return;
    }
    if (header + headerSize > meta.size()) {
        entry.findings.Add(Damaged, "the metadata is too short to hold its header" + cutOrDamaged);
        return;
    }

    entry.body = BodyPlace{file, 0, dataSize, std::nullopt};
    entry.fetchCount = BigEndian32(meta, header + 4);
    entry.lastUsed = FromUnixSeconds(BigEndian32(meta, header + 8));
    entry.lastModified = FromUnixSeconds(BigEndian32(meta, header + 12));
    const std::uint32_t keySize = BigEndian32(meta, header + 24);

    // The key, then its NUL; when the size runs past the metadata, the key up to the first NUL.
    const std::uint64_t keyAt = header + headerSize;
    const auto text = reinterpret_cast<const char*>(meta.data());
    const std::string_view metaText(text, meta.size());
    std::uint64_t keyEnd = keyAt + keySize;
    if (keySize >= meta.size() - keyAt) {
        const std::size_t nul = metaText.find('\0', keyAt);
        keyEnd = nul == std::string_view::npos ? meta.size() : nul;
        entry.findings.Add(Damaged, "the key's size " + std::to_string(keySize) +
                           " runs past the metadata: the key is read up to its first NUL");
    } else if (meta[keyEnd] != 0) {
        entry.findings.Add(Damaged, "no NUL follows the key");
    }
    entry.key.assign(metaText.substr(keyAt, keyEnd - keyAt));

    if (CacheHash(meta.subspan(4)) != BigEndian32(meta, 0))
        entry.findings.Add(Damaged, "the metadata does not match its hash: what it gives may be damaged");

    std::optional<std::string> altData;
    if (keyEnd < meta.size()) ReadElements(metaText.substr(keyEnd + 1), entry, altData);
    if (altData) {
        const auto altOffset = AltDataOffset(*altData);
        if (altOffset && *altOffset <= dataSize)
            entry.body->length = *altOffset;
        else
            entry.findings.Add(Damaged, "the alternative data's place " + Quoted(*altData) +
                               " cannot be read: the body is taken as all the stored data");
    }
    CheckChunks(bytes.subspan(0, dataSize), meta.subspan(4, 2 * hashCount), entry);

    if (folder == Cache2Folder::Entries) {
        const std::string hash = Sha1Hex({meta.data() + keyAt, entry.key.size()});
        if (!EqualsNoCase(hash, fileName))
            entry.findings.Add(Damaged, "the file's name is not the SHA-1 of its key (" + hash + ")");
    }
    if (const auto url = Cache2KeyUrl(entry.key)) {
        entry.url = *url;
        if (url->empty()) entry.findings.Add(Damaged, "the key holds no URL");
    } else {
        entry.findings.Add(Damaged, "the key's tags cannot be read: no URL is taken from it");
    }
}

CacheEntry ReadCache2Entry(std::string_view fileName, Bytes bytes, Cache2Folder folder) {
    CacheEntry entry;
    entry.format = CacheFormat::FirefoxCache2;
    entry.deleted = folder == Cache2Folder::Doomed;
    try {
        ReadEntry(fileName, bytes, folder, entry);
    } catch (const std::exception& error) {  // memory running out: what was read so far is kept
        entry.findings.Add(Damaged, std::string("the entry could not be read whole: ") + error.what());
    }
    return entry;
}

}  // namespace

CacheContents ReadCache2(CacheSource& files, std::string_view name, Cache2Folder folder) {
    CacheContents contents;
    const CacheFile file = files.Read(name);
    if (file.opened) {
        contents.entries.push_back(ReadCache2Entry(name, file.bytes, folder));
    } else {
        contents.entries.emplace_back().format = CacheFormat::FirefoxCache2;
        contents.entries.back().findings.Add(Damaged, file.problem);
    }
    return contents;
}

}  // namespace snapsift
