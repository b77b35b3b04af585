// The program's one UTF-8 decoder, and UTF-8 <-> UTF-16 conversion for the wide-character
// ODBC calls.
#pragma once

#include <string>
#include <string_view>

namespace faq::data {

// The code point at s[i], advancing i past it. A malformed sequence (a stray byte, an
// overlong form, a surrogate, past U+10FFFF, cut short) reads as U+FFFD and advances i
// by one byte, so nothing is dropped silently.
char32_t decodeUtf8(std::string_view s, size_t& i);

// Whether s is well-formed UTF-8 without NUL, as every text of a recordset is.
bool isCleanUtf8(std::string_view s);
// Copies s to out (which must have room for s.size() bytes) while checking it is clean;
// returns the end of the copy, or nullptr when it is not clean (out then holds a part).
char* copyCleanUtf8(char* out, std::string_view s);
// s with each malformed byte as U+FFFD and each NUL as U+2400 (␀), so that neither is
// dropped or cuts the text further on.
std::string cleanUtf8(std::string_view s);

// Bytes at the end of s that begin a UTF-8 sequence s does not finish (text arriving in
// pieces is decoded up to there).
size_t unfinishedUtf8Tail(std::string_view s);

// Malformed input is replaced by U+FFFD, never dropped silently.
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
// Appends the UTF-8 form of utf16 to out; returns the number of bytes appended.
size_t appendUtf8(std::string& out, const char16_t* utf16, size_t units);
// Bytes of the UTF-8 form of utf16, and that form written to out (which must have room).
size_t utf8Length(const char16_t* utf16, size_t units);
char* encodeUtf8(char* out, const char16_t* utf16, size_t units);
// The same form as a recordset keeps texts, each U+0000 as ␀ (U+2400): at most three bytes
// for each unit, and out must have room for one byte more. Returns the end.
char* encodeCleanUtf8(char* out, const char16_t* utf16, size_t units);

// Makes LC_CTYPE a UTF-8 one (C.UTF-8 when the environment's is not), once per process:
// the driver manager converts an ANSI driver's texts in it, and wcwidth() reads it. On
// Windows, where the wide calls are UTF-16, it does nothing.
void ensureUtf8CType();

}  // namespace faq::data
