// UTF-8 inside the host, UTF-16 only at Windows and WebView2 calls.
#pragma once

#include <string>

namespace kiln {

// Empty on empty input or when the text cannot be converted.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::string WideToUtf8(const wchar_t* text);  // null gives an empty text

}  // namespace kiln
