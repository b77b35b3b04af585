#include "text_table.h"

#include <charconv>
#include <cmath>
#include <cwchar>

#include "data/utf.h"

namespace faq::output {

namespace {

bool control(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// Text safe for a terminal: control characters (escape sequences among them) become "?".
std::string printable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const size_t start = i;
        const char32_t c = data::decodeUtf8(s, i);
        if (control(c))
            out += '?';
        else
            out.append(s.substr(start, i - start));
    }
    return out;
}

// Columns a terminal gives c: the C library's wcwidth(); Windows' has none, so there the
// East Asian wide and fullwidth blocks and the emoji count two.
int columns(char32_t c) {
#ifdef _WIN32
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
                      (c >= 0x20000 && c <= 0x3FFFD) || c == 0x231A || c == 0x231B;
    if ((c >= 0x300 && c <= 0x36F) || c == 0x200B) return 0;
    return wide ? 2 : 1;
#else
    return wcwidth(static_cast<wchar_t>(c));
#endif
}

bool numeric(data::FieldType t) {
    return t == data::FieldType::Integer || t == data::FieldType::Double || t == data::FieldType::Decimal;
}

}  // namespace

size_t displayWidth(std::string_view s) {
    data::ensureUtf8CType();  // wcwidth() knows wide characters only in a UTF-8 locale
    size_t w = 0;
    for (size_t i = 0; i < s.size();) {
        const char32_t c = data::decodeUtf8(s, i);
        if (control(c)) {
            w += 1;  // shown as "?"
            continue;
        }
        const int cw = columns(c);
        w += cw < 0 ? 1 : static_cast<size_t>(cw);  // unassigned: one column, as terminals draw it
    }
    return w;
}

void writeTable(std::ostream& out, const data::Recordset& rs,
                const std::vector<std::function<std::string(const data::Value&)>>& format) {
    const size_t cols = rs.fieldCount();
    auto cellText = [&](size_t r, size_t c) {
        const data::Value v = rs.value(r, c);
        if (c < format.size() && format[c]) return printable(format[c](v));
        return printable(v.toString());
    };
    std::vector<size_t> width(cols);
    for (size_t c = 0; c < cols; ++c) width[c] = displayWidth(printable(rs.field(c).name));
    for (size_t r = 0; r < rs.recordCount(); ++r)
        for (size_t c = 0; c < cols; ++c) width[c] = std::max(width[c], displayWidth(cellText(r, c)));
    auto cell = [&](const std::string& text, size_t c, bool right) {
        const std::string pad(width[c] - displayWidth(text), ' ');
        if (c) out << "  ";
        out << (right ? pad + text : (c + 1 == cols ? text : text + pad));
    };
    for (size_t c = 0; c < cols; ++c) cell(printable(rs.field(c).name), c, numeric(rs.field(c).type));
    out << '\n';
    for (size_t c = 0; c < cols; ++c) {
        if (c) out << "  ";
        out << std::string(width[c], '-');
    }
    out << '\n';
    for (size_t r = 0; r < rs.recordCount(); ++r) {
        for (size_t c = 0; c < cols; ++c) cell(cellText(r, c), c, numeric(rs.field(c).type));
        out << '\n';
    }
}

std::string numberText(double d) {
    char buf[400];
    if (!std::isfinite(d)) return d != d ? "NaN" : d > 0 ? "Infinity" : "-Infinity";
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    if (s.find('e') == std::string::npos) return s;
    r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

void writeCsv(std::ostream& out, const data::Recordset& rs, bool forTerminal) {
    auto field = [&](std::string s, bool text) {
        if (forTerminal) s = printable(s);
        // Text a spreadsheet program would take for a formula stays text.
        if (text && !s.empty() && std::string_view("=+-@\t\r").find(s.front()) != std::string_view::npos)
            s.insert(s.begin(), '\'');
        if (s.find_first_of(",\"\r\n") == std::string::npos) {
            out << s;
            return;
        }
        out << '"';
        for (char ch : s) {
            if (ch == '"') out << '"';
            out << ch;
        }
        out << '"';
    };
    out << "\xEF\xBB\xBF";
    for (size_t c = 0; c < rs.fieldCount(); ++c) {
        if (c) out << ',';
        field(rs.field(c).name, true);
    }
    out << "\r\n";
    for (size_t r = 0; r < rs.recordCount(); ++r) {
        for (size_t c = 0; c < rs.fieldCount(); ++c) {
            if (c) out << ',';
            const data::Value v = rs.value(r, c);
            if (v.type == data::FieldType::Double)
                field(numberText(v.d), false);
            else
                field(v.toString(), v.type == data::FieldType::Text || v.type == data::FieldType::DateTime);
        }
        out << "\r\n";
    }
}

}  // namespace faq::output
