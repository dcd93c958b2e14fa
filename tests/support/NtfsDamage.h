// Byte edits of an NTFS volume's MFT records and index blocks in an image file, as damage or a
// hostile hand would make them. Records are found by the name in their $FILE_NAME attribute.
// Edits go through the update-sequence fixups: the record is read with the real bytes of its
// sector ends put back, changed, and written with the fixups made again, so that only the
// changed bytes differ.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace snapsift::test {

inline constexpr std::size_t kRecordSize = 1024;  // mkntfs's MFT record
inline constexpr std::size_t kIndexBlockSize = 4096;

// The image offset of the in-use MFT record whose $FILE_NAME holds the ASCII name.
std::optional<std::uint64_t> FindRecord(const std::string& image, const std::string& name);
// The image offset of the first INDX block that holds an entry with the ASCII name.
std::optional<std::uint64_t> FindIndexBlock(const std::string& image, const std::string& name);

// The offset within a record of its first attribute of the type; nothing when it has none.
std::optional<std::size_t> FindAttribute(const std::string& record, std::uint32_t type);
// The offset within a block (a record's $INDEX_ROOT value, or an INDX block) of the index
// entry whose key is a $FILE_NAME with the ASCII name, searched from `from`.
std::optional<std::size_t> FindIndexEntry(const std::string& bytes, const std::string& name, std::size_t from = 0);

// Reads the record or INDX block of `size` bytes at the offset with its fixups undone, lets
// `edit` change it, and writes it back with its fixups made again. False on a failed read or
// write or when the fixups do not match.
bool EditFixedUp(const std::string& image, std::uint64_t offset, std::size_t size,
                 const std::function<void(std::string& bytes)>& edit);
// Changes the bytes at the offset as they are, fixups or not.
bool EditRaw(const std::string& image, std::uint64_t offset, const std::string& bytes);

// Little-endian fields.
std::uint64_t GetLittle(const std::string& bytes, std::size_t at, int size);
void SetLittle(std::string& bytes, std::size_t at, int size, std::uint64_t value);

// An MFT reference of a record's own header: its record number and sequence number.
std::uint64_t ReferenceOfRecord(const std::string& record);

}  // namespace snapsift::test
