#include "utf.h"

#ifndef _WIN32
#include <langinfo.h>
#endif

#include <clocale>
#include <mutex>

namespace faq::data {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

char32_t decodeUtf8(std::string_view s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 1) {
        ++i;
        return b;
    }
    char32_t c = len ? b & (0x7F >> len) : 0;
    bool ok = len != 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
        const auto cb = static_cast<unsigned char>(s[i + k]);
        ok = (cb & 0xC0) == 0x80;
        c = (c << 6) | (cb & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed too.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += len;
    return c;
}

bool isCleanUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == 0) return false;
        if (b < 0x80) {
            ++i;
            continue;
        }
        const size_t at = i;
        // A replacement character read from a malformed sequence takes a single byte.
        if (decodeUtf8(s, i) == kReplacement && i - at == 1) return false;
    }
    return true;
}

std::string cleanUtf8(std::string_view s) {
    constexpr char32_t kNulSymbol = 0x2400;
    std::string out;
    out.reserve(s.size() + 8);
    for (size_t i = 0; i < s.size();) {
        const size_t at = i;
        char32_t c = decodeUtf8(s, i);
        if (c == 0) c = kNulSymbol;
        if (c != kReplacement && c != kNulSymbol) {
            out.append(s.substr(at, i - at));
            continue;
        }
        const char16_t unit = static_cast<char16_t>(c);
        appendUtf8(out, &unit, 1);
    }
    return out;
}

size_t unfinishedUtf8Tail(std::string_view s) {
    for (size_t k = 1; k <= 3 && k <= s.size(); ++k) {
        const auto b = static_cast<unsigned char>(s[s.size() - k]);
        if ((b & 0xC0) == 0x80) continue;
        const size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return len > k ? k : 0;
    }
    return 0;
}

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t c = decodeUtf8(s, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

namespace {
// The code point at s[i] (a surrogate pair counts once; a lone surrogate is U+FFFD);
// advances i past it.
inline char32_t codePoint(const char16_t* s, size_t n, size_t& i) {
    char32_t c = s[i++];
    if (c < 0xD800 || c > 0xDFFF) return c;
    if (c <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF)
        return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    return kReplacement;
}
}  // namespace

size_t utf8Length(const char16_t* s, size_t n) {
    size_t len = 0;
    for (size_t i = 0; i < n;) {
        const char32_t c = codePoint(s, n, i);
        len += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    return len;
}

namespace {
char* putCodePoint(char* p, char32_t c) {
    if (c < 0x80) {
        *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *p++ = static_cast<char>(0xC0 | (c >> 6));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = static_cast<char>(0xE0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *p++ = static_cast<char>(0xF0 | (c >> 18));
        *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return p;
}
}  // namespace

char* encodeUtf8(char* p, const char16_t* s, size_t n) {
    for (size_t i = 0; i < n;) p = putCodePoint(p, codePoint(s, n, i));
    return p;
}

char* encodeCleanUtf8(char* p, const char16_t* s, size_t n) {
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80 && s[i] != 0) {  // the common case, without the general path
            *p++ = static_cast<char>(s[i++]);
            continue;
        }
        const char32_t c = codePoint(s, n, i);
        p = putCodePoint(p, c == 0 ? 0x2400 : c);
    }
    return p;
}

size_t appendUtf8(std::string& out, const char16_t* s, size_t n) {
    const size_t before = out.size();
    out.resize(before + utf8Length(s, n));
    encodeUtf8(out.data() + before, s, n);
    return out.size() - before;
}

std::string toUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3 / 2);
    appendUtf8(out, s.data(), s.size());
    return out;
}

void ensureUtf8CType() {
#ifdef _WIN32
    // The wide-character calls are UTF-16 already, and the C library has no wcwidth().
#else
    static std::once_flag once;
    std::call_once(once, [] {
        const char* codeset = nl_langinfo(CODESET);
        if (codeset && std::string_view(codeset) == "UTF-8") return;
        if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "en_US.UTF-8");
    });
#endif
}

}  // namespace faq::data
