// The Windows wide-character API's side of program text: UTF-8 to UTF-16 and back, and the
// \\?\ path form that lifts the 260-character limit. Windows builds only.
#pragma once

#include <string>
#include <string_view>

namespace snapsift {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The path as the API should receive it: an absolute path in the \\?\ form (\\?\UNC\ for a
// \\server\share path), taken literally; a relative path, or one with "/" or "." and ".."
// parts, made whole by the system first. Empty for text that is not valid UTF-8 or holds a
// NUL, which would otherwise name another entry. The program's own text is never changed.
std::wstring ApiPath(std::string_view path);

}  // namespace snapsift
