#include "platform/SystemError.h"

#include <windows.h>

#include "platform/WideText.h"

namespace snapsift {

std::string SystemErrorText(long code) {
    if (code == kReplacedDuringScan) return "Replaced by another entry while the scan ran";
    if (code == kFolderLoop) return "A folder already searched (a loop); not searched again";
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0,
        nullptr);
    std::wstring words = length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' || words.back() == L' ' ||
                              words.back() == L'.'))
        words.pop_back();
    return words.empty() ? std::string("Error ").append(std::to_string(code)) : Utf8FromWide(words);
}

}  // namespace snapsift
