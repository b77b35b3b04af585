// How SQL Server's Chinese_PRC_CI_AS, the collation of the accounting databases, compares
// texts, for the embedded engine: letters without regard to case (every cased letter, by
// Unicode's simple case folding), width (full-width forms as ASCII, half-width katakana and
// signs as their full-width forms) or kana type (katakana as hiragana, a sound mark composed
// with its kana); accents and everything else (Chinese characters) as they are; trailing
// blanks ignored by comparison, not by LIKE patterns; LIKE with T-SQL's wildcards.
#pragma once

#include <string>
#include <string_view>

namespace faq::data {

// The collation's name in the embedded engine's statements.
constexpr const char* kSqlServerCollation = "chinese_prc_ci_as";

// <0, 0, >0 as a is before, equal to, after b: texts equal but for the case of letters or
// trailing blanks (U+0020) compare equal. The order otherwise is by code point (SQL Server
// sorts Chinese by pinyin; the program's statements never rely on an order of texts).
int compareSqlServer(std::string_view a, std::string_view b);

// A key that is equal for texts the collation finds equal (the comparison's own folding).
std::string sqlServerKey(std::string_view text);

// value LIKE pattern as T-SQL has it under the collation: % any run of characters, _ one
// character, [abc] [a-f] one of a set or range, [^a] one not in it, [[] a literal '['; a '['
// with no closing ']' matches nothing. value matches with or without its trailing blanks;
// the pattern's always count. escape (0: none) makes the character after it literal.
bool likeSqlServer(std::string_view value, std::string_view pattern, char32_t escape = 0);

}  // namespace faq::data
