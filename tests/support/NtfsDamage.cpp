#include "support/NtfsDamage.h"

#include <fstream>
#include <iterator>

namespace snapsift::test {

namespace {

constexpr std::size_t kSector = 512;

std::optional<std::string> ReadAt(const std::string& image, std::uint64_t offset, std::size_t size) {
    std::ifstream in(image, std::ios::binary);
    std::string bytes(size, '\0');
    if (!in.seekg(static_cast<std::streamoff>(offset)) || !in.read(bytes.data(), static_cast<std::streamsize>(size)))
        return std::nullopt;
    return bytes;
}

std::string WholeFile(const std::string& image) {
    std::ifstream in(image, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Puts the real bytes of the sector ends back from the update-sequence array; false when a
// sector end does not hold the sequence number.
bool UndoFixups(std::string& bytes) {
    const std::size_t array = GetLittle(bytes, 4, 2), count = GetLittle(bytes, 6, 2);
    if (count == 0 || array + 2 * count > bytes.size() || (count - 1) * kSector > bytes.size()) return false;
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t end = i * kSector - 2;
        if (bytes.compare(end, 2, bytes, array, 2) != 0) return false;
        bytes.replace(end, 2, bytes, array + 2 * i, 2);
    }
    return true;
}

void MakeFixups(std::string& bytes) {
    const std::size_t array = GetLittle(bytes, 4, 2), count = GetLittle(bytes, 6, 2);
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t end = i * kSector - 2;
        bytes.replace(array + 2 * i, 2, bytes, end, 2);
        bytes.replace(end, 2, bytes, array, 2);
    }
}

std::string Utf16(const std::string& ascii) {
    std::string wide;
    for (const char c : ascii) wide += std::string{c, '\0'};
    return wide;
}

// The record's $FILE_NAME attributes hold the name.
bool NamedRecord(const std::string& record, const std::string& name) {
    std::size_t at = GetLittle(record, 0x14, 2);
    while (at + 0x18 <= record.size() && GetLittle(record, at, 4) != 0xFFFFFFFF) {
        const std::size_t length = GetLittle(record, at + 4, 4);
        if (length == 0 || at + length > record.size()) return false;
        if (GetLittle(record, at, 4) == 0x30 && record[at + 8] == 0) {
            const std::size_t value = at + GetLittle(record, at + 0x14, 2);
            if (value + 0x42 <= record.size() && static_cast<std::uint8_t>(record[value + 0x40]) == name.size() &&
                record.compare(value + 0x42, 2 * name.size(), Utf16(name)) == 0)
                return true;
        }
        at += length;
    }
    return false;
}

}  // namespace

std::uint64_t GetLittle(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

void SetLittle(std::string& bytes, std::size_t at, int size, std::uint64_t value) {
    for (int i = 0; i < size; ++i, value >>= 8) bytes.at(at + i) = static_cast<char>(value & 0xFF);
}

std::uint64_t ReferenceOfRecord(const std::string& record) {
    return GetLittle(record, 0x2C, 4) | GetLittle(record, 0x10, 2) << 48;
}

std::optional<std::uint64_t> FindRecord(const std::string& image, const std::string& name) {
    const std::string bytes = WholeFile(image);
    for (std::size_t at = 0; at + kRecordSize <= bytes.size(); at += kRecordSize) {
        if (bytes.compare(at, 4, "FILE") != 0) continue;
        std::string record = bytes.substr(at, kRecordSize);
        if (UndoFixups(record) && (GetLittle(record, 0x16, 2) & 1) != 0 && NamedRecord(record, name)) return at;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> FindIndexBlock(const std::string& image, const std::string& name) {
    const std::string bytes = WholeFile(image);
    for (std::size_t at = 0; at + kIndexBlockSize <= bytes.size(); at += kIndexBlockSize) {
        if (bytes.compare(at, 4, "INDX") != 0) continue;
        std::string block = bytes.substr(at, kIndexBlockSize);
        if (UndoFixups(block) && FindIndexEntry(block, name)) return at;
    }
    return std::nullopt;
}

std::optional<std::size_t> FindAttribute(const std::string& record, std::uint32_t type) {
    std::size_t at = GetLittle(record, 0x14, 2);
    while (at + 8 <= record.size() && GetLittle(record, at, 4) != 0xFFFFFFFF) {
        if (GetLittle(record, at, 4) == type) return at;
        const std::size_t length = GetLittle(record, at + 4, 4);
        if (length == 0) break;
        at += length;
    }
    return std::nullopt;
}

// An index entry: the file reference (8 bytes), its length, its key's length, flags, then the
// key, a $FILE_NAME value whose name length is at 0x40 and whose name is at 0x42.
std::optional<std::size_t> FindIndexEntry(const std::string& bytes, const std::string& name, std::size_t from) {
    const std::string wide = Utf16(name);
    for (std::size_t at = bytes.find(wide, from); at != std::string::npos; at = bytes.find(wide, at + 1)) {
        if (at >= 0x52 && static_cast<std::uint8_t>(bytes[at - 2]) == name.size() &&
            GetLittle(bytes, at - 0x52 + 0x0A, 2) >= 0x42 + wide.size())
            return at - 0x52;
    }
    return std::nullopt;
}

bool EditFixedUp(const std::string& image, std::uint64_t offset, std::size_t size,
                 const std::function<void(std::string&)>& edit) {
    auto bytes = ReadAt(image, offset, size);
    if (!bytes || !UndoFixups(*bytes)) return false;
    edit(*bytes);
    MakeFixups(*bytes);
    return EditRaw(image, offset, *bytes);
}

bool EditRaw(const std::string& image, std::uint64_t offset, const std::string& bytes) {
    std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
    return out.seekp(static_cast<std::streamoff>(offset)) && out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) &&
           out.flush();
}

}  // namespace snapsift::test
