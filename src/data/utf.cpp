#include "utf.h"

#ifndef _WIN32
#include <langinfo.h>
#endif

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <bit>
#include <clocale>
#include <cstdint>
#include <cstring>
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

namespace {
inline bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Walks s as clean UTF-8 (well-formed, no NUL) and, when Copy, writes it to out on the
// way. Returns the end of what was written (s's end when not copying), or nullptr at the
// first byte that is not clean. Every text a recordset stores goes through here, so the
// common cases come first: eight ASCII bytes at a time, then a character of the BMP's
// three-byte range (all of Chinese).
template <bool Copy>
const char* scanCleanUtf8(char* out, const char* in, size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    size_t i = 0;
    while (i < n) {
#ifdef __SSE2__
        // Sixteen ASCII bytes at a time: none with its top bit, none zero.
        while (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, _mm_setzero_si128())))) break;
            if constexpr (Copy) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
            i += 16;
        }
        if (i == n) break;
#endif
        if (n - i >= 8) {
            uint64_t w;
            std::memcpy(&w, s + i, 8);
            // Every byte in 1..0x7F: none has its top bit, and none borrows when 1 is taken.
            if ((((w - 0x0101010101010101ull) | w) & 0x8080808080808080ull) == 0) {
                if constexpr (Copy) std::memcpy(out + i, &w, 8);
                i += 8;
                continue;
            }
        }
        const unsigned char b = s[i];
        size_t len;
        if (b < 0x80) {
            if (b == 0) return nullptr;
            len = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            // E0 needs A0..BF after it (else overlong), ED 80..9F (else a surrogate).
            const unsigned char lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
            if (n - i < 3 || s[i + 1] < lo || s[i + 1] > hi || !continuation(s[i + 2])) return nullptr;
            len = 3;
        } else if (b >= 0xC2 && b <= 0xDF) {
            if (n - i < 2 || !continuation(s[i + 1])) return nullptr;
            len = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            // F0 needs 90..BF after it (else overlong), F4 80..8F (else past U+10FFFF).
            const unsigned char lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
            if (n - i < 4 || s[i + 1] < lo || s[i + 1] > hi || !continuation(s[i + 2]) || !continuation(s[i + 3]))
                return nullptr;
            len = 4;
        } else {
            return nullptr;  // a stray continuation byte, C0/C1 (overlong), F5 and above
        }
        if constexpr (Copy) std::memcpy(out + i, s + i, len);
        i += len;
    }
    return Copy ? out + n : in + n;
}
}  // namespace

bool isCleanUtf8(std::string_view s) {
    return scanCleanUtf8<false>(nullptr, s.data(), s.size()) != nullptr;
}

char* copyCleanUtf8(char* out, std::string_view s) {
    return const_cast<char*>(scanCleanUtf8<true>(out, s.data(), s.size()));
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

namespace {
// Units in 1..0x7F from s[i] on, as bytes at p; advances both past them.
inline void copyAscii(char*& p, const char16_t* s, size_t n, size_t& i) {
#ifdef __SSE2__
    // Eight units at a time: none with bits above 0x7F, none zero; packed to bytes.
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80)), zero = _mm_setzero_si128();
    while (n - i >= 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i bad = _mm_or_si128(
            _mm_cmpeq_epi16(v, zero), _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero), _mm_set1_epi16(-1)));
        if (_mm_movemask_epi8(bad)) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
        p += 8;
        i += 8;
    }
#endif
    while (i < n && s[i] < 0x80 && s[i] != 0) *p++ = static_cast<char>(s[i++]);
}
}  // namespace

char* encodeCleanUtf8(char* p, const char16_t* s, size_t n) {
    for (size_t i = 0; i < n;) {
        const char16_t u = s[i];
        if (u < 0x80 && u != 0) {
            copyAscii(p, s, n, i);
            continue;
        }
        // The rest of the BMP outside the surrogates, all of Chinese: three bytes each, a
        // run of them in one loop, each character's as one four-byte store (little-endian,
        // hence the slack byte after the output), the next character overwriting the fourth.
        if (u >= 0x800 && (u < 0xD800 || u > 0xDFFF)) {
            do {
                const uint32_t w = s[i];
                if (w < 0x800 || w - 0xD800 < 0x800) break;
                if constexpr (std::endian::native == std::endian::little) {
                    const uint32_t bytes = 0x8080E0 | (w >> 12) | ((w << 2) & 0x3F00) | ((w & 0x3F) << 16);
                    std::memcpy(p, &bytes, 4);
                } else {
                    p[0] = static_cast<char>(0xE0 | (w >> 12));
                    p[1] = static_cast<char>(0x80 | ((w >> 6) & 0x3F));
                    p[2] = static_cast<char>(0x80 | (w & 0x3F));
                }
                p += 3;
            } while (++i < n);
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
