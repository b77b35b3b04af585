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

// Without width (the full-width forms U+FF01–U+FF5E and the ideographic space read as
// ASCII), then without case: every cased letter as Unicode's simple case folding has it
// (Greek, Cyrillic, accented Latin with its accent kept, Roman numerals, circled letters).
char32_t fold(char32_t c) {
    if (c >= U'\uFF01' && c <= U'\uFF5E') c -= 0xFEE0;
    if (c == U'\u3000') c = U' ';
    if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 32 : c;
    if (c >= kCaselessFrom && c < kCaselessTo) return c;
    const auto* end = std::end(kCaseFolding);
    const auto* it = std::lower_bound(std::begin(kCaseFolding), end, c,
                                      [](const std::pair<char32_t, char32_t>& e, char32_t v) { return e.first < v; });
    return it != end && it->first == c ? it->second : c;
}

std::vector<char32_t> folded(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out.push_back(fold(decodeUtf8(s, i)));
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
    // As SQL Server does: the shorter operand padded with blanks, then character by character.
    size_t j = i;
    while (i < a.size() || j < b.size()) {
        const char32_t x = i < a.size() ? fold(decodeUtf8(a, i)) : U' ';
        const char32_t y = j < b.size() ? fold(decodeUtf8(b, j)) : U' ';
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

bool likeSqlServer(std::string_view value, std::string_view pattern, char32_t escape) {
    std::vector<char32_t> v = folded(value);
    dropTrailingBlanks(v);
    std::vector<Element> store;
    std::vector<const Element*> p;
    if (!compile(folded(pattern), fold(escape), p, store)) return false;
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

}  // namespace faq::data
