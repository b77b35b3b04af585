// UTF-8 <-> UTF-16 conversion for the wide-character ODBC calls.
#pragma once

#include <string>
#include <string_view>

namespace faq::data {

// Malformed input is replaced by U+FFFD, never dropped silently.
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
// Appends the UTF-8 form of utf16 to out; returns the number of bytes appended.
size_t appendUtf8(std::string& out, const char16_t* utf16, size_t units);
// Bytes of the UTF-8 form of utf16, and that form written to out (which must have room).
size_t utf8Length(const char16_t* utf16, size_t units);
char* encodeUtf8(char* out, const char16_t* utf16, size_t units);

}  // namespace faq::data
