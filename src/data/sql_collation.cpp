#include "sql_collation.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "utf.h"

namespace faq::data {

namespace {

#include "case_folding.inc"

constexpr bool sortedByCode() {
    for (size_t i = 1; i < std::size(kCaseFolding); ++i)
        if (kCaseFolding[i - 1].first >= kCaseFolding[i].first) return false;
    return true;
}
static_assert(sortedByCode());
// Scripts without case, Chinese among them, skip the search.
constexpr char32_t kCaselessFrom = 0x2D30, kCaselessTo = 0xA640;
constexpr bool caselessRangeHasNoFolding() {
    for (const auto& [from, to] : kCaseFolding)
        if (from >= kCaselessFrom && from < kCaselessTo) return false;
    return true;
}
static_assert(caselessRangeHasNoFolding());

// The half-width forms as their full-width letters (katakana, its marks and punctuation;
// ￠￡￢￣￤￥￦ and the half-width arrows as their usual forms), sorted by code.
constexpr std::pair<char32_t, char32_t> kWidthFolding[] = {
    {0xFF61, 0x3002}, {0xFF62, 0x300C}, {0xFF63, 0x300D}, {0xFF64, 0x3001}, {0xFF65, 0x30FB}, {0xFF66, 0x30F2},
    {0xFF67, 0x30A1}, {0xFF68, 0x30A3}, {0xFF69, 0x30A5}, {0xFF6A, 0x30A7}, {0xFF6B, 0x30A9}, {0xFF6C, 0x30E3},
    {0xFF6D, 0x30E5}, {0xFF6E, 0x30E7}, {0xFF6F, 0x30C3}, {0xFF70, 0x30FC}, {0xFF71, 0x30A2}, {0xFF72, 0x30A4},
    {0xFF73, 0x30A6}, {0xFF74, 0x30A8}, {0xFF75, 0x30AA}, {0xFF76, 0x30AB}, {0xFF77, 0x30AD}, {0xFF78, 0x30AF},
    {0xFF79, 0x30B1}, {0xFF7A, 0x30B3}, {0xFF7B, 0x30B5}, {0xFF7C, 0x30B7}, {0xFF7D, 0x30B9}, {0xFF7E, 0x30BB},
    {0xFF7F, 0x30BD}, {0xFF80, 0x30BF}, {0xFF81, 0x30C1}, {0xFF82, 0x30C4}, {0xFF83, 0x30C6}, {0xFF84, 0x30C8},
    {0xFF85, 0x30CA}, {0xFF86, 0x30CB}, {0xFF87, 0x30CC}, {0xFF88, 0x30CD}, {0xFF89, 0x30CE}, {0xFF8A, 0x30CF},
    {0xFF8B, 0x30D2}, {0xFF8C, 0x30D5}, {0xFF8D, 0x30D8}, {0xFF8E, 0x30DB}, {0xFF8F, 0x30DE}, {0xFF90, 0x30DF},
    {0xFF91, 0x30E0}, {0xFF92, 0x30E1}, {0xFF93, 0x30E2}, {0xFF94, 0x30E4}, {0xFF95, 0x30E6}, {0xFF96, 0x30E8},
    {0xFF97, 0x30E9}, {0xFF98, 0x30EA}, {0xFF99, 0x30EB}, {0xFF9A, 0x30EC}, {0xFF9B, 0x30ED}, {0xFF9C, 0x30EF},
    {0xFF9D, 0x30F3}, {0xFF9E, 0x3099}, {0xFF9F, 0x309A}, {0xFFE0, 0x00A2}, {0xFFE1, 0x00A3}, {0xFFE2, 0x00AC},
    {0xFFE3, 0x00AF}, {0xFFE4, 0x00A6}, {0xFFE5, 0x00A5}, {0xFFE6, 0x20A9}, {0xFFE8, 0x2502}, {0xFFE9, 0x2190},
    {0xFFEA, 0x2191}, {0xFFEB, 0x2192}, {0xFFEC, 0x2193}, {0xFFED, 0x25A0}, {0xFFEE, 0x25CB}};
// A kana with a voiced or semi-voiced sound mark after it (ｶﾞ, か + U+3099) as the one letter.
constexpr struct {
    char32_t base, mark, letter;
} kVoiced[] = {{0x3046, 0x3099, 0x3094}, {0x304B, 0x3099, 0x304C}, {0x304D, 0x3099, 0x304E}, {0x304F, 0x3099, 0x3050},
               {0x3051, 0x3099, 0x3052}, {0x3053, 0x3099, 0x3054}, {0x3055, 0x3099, 0x3056}, {0x3057, 0x3099, 0x3058},
               {0x3059, 0x3099, 0x305A}, {0x305B, 0x3099, 0x305C}, {0x305D, 0x3099, 0x305E}, {0x305F, 0x3099, 0x3060},
               {0x3061, 0x3099, 0x3062}, {0x3064, 0x3099, 0x3065}, {0x3066, 0x3099, 0x3067}, {0x3068, 0x3099, 0x3069},
               {0x306F, 0x3099, 0x3070}, {0x306F, 0x309A, 0x3071}, {0x3072, 0x3099, 0x3073}, {0x3072, 0x309A, 0x3074},
               {0x3075, 0x3099, 0x3076}, {0x3075, 0x309A, 0x3077}, {0x3078, 0x3099, 0x3079}, {0x3078, 0x309A, 0x307A},
               {0x307B, 0x3099, 0x307C}, {0x307B, 0x309A, 0x307D}};

// Without width (the full-width forms U+FF01–U+FF5E and the ideographic space read as
// ASCII, the half-width ones as their full-width letters), without kana type (katakana as
// hiragana), then without case: every cased letter as Unicode's simple case folding has it
// (Greek, Cyrillic, accented Latin with its accent kept, Roman numerals, circled letters).
// Chinese_PRC_CI_AS is width- and kana-insensitive: it has neither _WS nor _KS.
char32_t fold(char32_t c) {
    if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 32 : c;
    if (c >= U'\uFF01' && c <= U'\uFF5E') {
        c -= 0xFEE0;
        return c >= U'A' && c <= U'Z' ? c + 32 : c;
    }
    if (c == U'\u3000') return U' ';
    if (c >= 0xFF61 && c <= 0xFFEE) {
        const auto* end = std::end(kWidthFolding);
        const auto* it =
            std::lower_bound(std::begin(kWidthFolding), end, c,
                             [](const std::pair<char32_t, char32_t>& e, char32_t v) { return e.first < v; });
        if (it != end && it->first == c) c = it->second;
    }
    if ((c >= 0x30A1 && c <= 0x30F6) || c == 0x30FD || c == 0x30FE) return c - 0x60;
    if (c >= kCaselessFrom && c < kCaselessTo) return c;
    const auto* end = std::end(kCaseFolding);
    const auto* it = std::lower_bound(std::begin(kCaseFolding), end, c,
                                      [](const std::pair<char32_t, char32_t>& e, char32_t v) { return e.first < v; });
    return it != end && it->first == c ? it->second : c;
}

// The next character of s at i as the collation reads it: folded, and a sound mark after a
// kana composed with it.
char32_t nextFolded(std::string_view s, size_t& i) {
    const char32_t c = fold(decodeUtf8(s, i));
    if (c < 0x3041 || c > 0x3096 || i >= s.size()) return c;
    size_t j = i;
    const char32_t mark = fold(decodeUtf8(s, j));
    if (mark != 0x3099 && mark != 0x309A) return c;
    for (const auto& v : kVoiced)
        if (v.base == c && v.mark == mark) {
            i = j;
            return v.letter;
        }
    return c;
}

std::vector<char32_t> folded(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out.push_back(nextFolded(s, i));
    return out;
}

void dropTrailingBlanks(std::vector<char32_t>& v) {
    while (!v.empty() && v.back() == U' ') v.pop_back();
}

// One element of a pattern that matches exactly one character.
struct Element {
    enum Kind { Literal, Any, Set } kind = Literal;
    char32_t c = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // of a set
    bool matches(char32_t v) const {
        if (kind == Any) return true;
        if (kind == Literal) return v == c;
        bool in = false;
        for (const auto& [lo, hi] : ranges) in = in || (v >= lo && v <= hi);
        return in != negated;
    }
};

// The pattern as elements, a nullptr element standing for '%'; false when it can match
// nothing (an unclosed '[').
bool compile(const std::vector<char32_t>& p, char32_t escape, std::vector<const Element*>& out,
             std::vector<Element>& store) {
    store.reserve(p.size());
    std::vector<size_t> at;  // index into store, or npos for '%'
    constexpr size_t kPercent = static_cast<size_t>(-1);
    for (size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        if (escape && c == escape && i + 1 < p.size()) {
            store.push_back({Element::Literal, p[++i], false, {}});
            at.push_back(store.size() - 1);
        } else if (c == U'%') {
            if (at.empty() || at.back() != kPercent) at.push_back(kPercent);
        } else if (c == U'_') {
            store.push_back({Element::Any, 0, false, {}});
            at.push_back(store.size() - 1);
        } else if (c == U'[') {
            size_t j = i + 1;
            Element e{Element::Set, 0, false, {}};
            if (j < p.size() && p[j] == U'^') e.negated = true, ++j;
            const size_t first = j;
            // The set ends at the first ']' after its first character: "[]]" holds ']'.
            while (j < p.size() && (p[j] != U']' || j == first)) ++j;
            if (j >= p.size()) return false;
            for (size_t k = first; k < j; ++k) {
                if (k + 2 < j && p[k + 1] == U'-')
                    e.ranges.push_back({p[k], p[k + 2]}), k += 2;
                else
                    e.ranges.push_back({p[k], p[k]});
            }
            store.push_back(std::move(e));
            at.push_back(store.size() - 1);
            i = j;
        } else {
            store.push_back({Element::Literal, c, false, {}});
            at.push_back(store.size() - 1);
        }
    }
    for (size_t a : at) out.push_back(a == kPercent ? nullptr : &store[a]);
    return true;
}

}  // namespace

int compareSqlServer(std::string_view a, std::string_view b) {
    // The bytes both texts begin with compare equal: start where they part, at a byte that
    // begins a character in both (one that no character of either continues into).
    size_t i = static_cast<size_t>(
        std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(std::min(a.size(), b.size())), b.begin())
            .first -
        a.begin());
    if (i == a.size() && i == b.size()) return 0;
    const auto continues = [](std::string_view s, size_t at) {
        return at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80;
    };
    while (i > 0 && (continues(a, i) || continues(b, i))) --i;
    // One character further back where they part at a sound mark (U+3099/309A, U+FF9E/FF9F,
    // led by 0xE3 or 0xEF): it composes with the kana before it.
    const auto mayBeMark = [&](std::string_view s) {
        return i < s.size() && (static_cast<unsigned char>(s[i]) == 0xE3 || static_cast<unsigned char>(s[i]) == 0xEF);
    };
    if (i > 0 && (mayBeMark(a) || mayBeMark(b)))
        for (--i; i > 0 && continues(a, i);) --i;
    // ASCII on both sides (codes, card numbers): byte by byte, letters without case.
    const auto ascii = [i](std::string_view s) {
        return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(i), s.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (ascii(a) && ascii(b)) {
        for (size_t k = i; k < a.size() || k < b.size(); ++k) {
            char x = k < a.size() ? a[k] : ' ', y = k < b.size() ? b[k] : ' ';
            if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
            if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
            if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
        }
        return 0;
    }
    // As SQL Server does: the shorter operand padded with blanks, then character by character.
    size_t j = i;
    while (i < a.size() || j < b.size()) {
        const char32_t x = i < a.size() ? nextFolded(a, i) : U' ';
        const char32_t y = j < b.size() ? nextFolded(b, j) : U' ';
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::string sqlServerKey(std::string_view text) {
    std::string out;
    std::vector<char32_t> key = folded(text);
    dropTrailingBlanks(key);
    for (char32_t c : key) {
        // UTF-8 of the folded character; a malformed byte stays U+FFFD as it was read.
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6)), out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12)), out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18)), out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F))),
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {

bool matches(const std::vector<char32_t>& v, const std::vector<const Element*>& p) {
    // Each element but '%' takes exactly one character: on a mismatch, the last '%' takes
    // one character more and matching goes on from after it.
    size_t vi = 0, pi = 0, starP = std::string::npos, starV = 0;
    while (vi < v.size()) {
        if (pi < p.size() && p[pi] && p[pi]->matches(v[vi])) {
            ++vi, ++pi;
        } else if (pi < p.size() && !p[pi]) {
            starP = pi++, starV = vi;
        } else if (starP != std::string::npos) {
            pi = starP + 1, vi = ++starV;
        } else {
            return false;
        }
    }
    while (pi < p.size() && !p[pi]) ++pi;
    return pi == p.size();
}

}  // namespace

bool likeSqlServer(std::string_view value, std::string_view pattern, char32_t escape) {
    std::vector<Element> store;
    std::vector<const Element*> p;
    if (!compile(folded(pattern), fold(escape), p, store)) return false;
    // The value's trailing blanks may count or not; the pattern's always count.
    std::vector<char32_t> v = folded(value);
    if (matches(v, p)) return true;
    const size_t whole = v.size();
    dropTrailingBlanks(v);
    return v.size() != whole && matches(v, p);
}

}  // namespace faq::data
