// Plain-text renderings of a recordset for the command line: an aligned table for a
// terminal and CSV for spreadsheet programs.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "data/recordset.h"

namespace faq::output {

// Columns a terminal gives the UTF-8 text s: two for East Asian wide characters.
size_t displayWidth(std::string_view s);

// An aligned table: header, a rule, the rows; numeric columns right-aligned. format, when
// set for a column, gives its display text. Control characters show as "?".
void writeTable(std::ostream& out, const data::Recordset& rs,
                const std::vector<std::function<std::string(const data::Value&)>>& format);

// CSV in UTF-8 with a byte-order mark and CRLF line ends. Numbers unformatted, to the
// fifteen significant digits a double holds (a sum shows as 234390498.8); a text that a
// spreadsheet would run as a formula gets a leading "'". For a terminal, control
// characters show as "?".
void writeCsv(std::ostream& out, const data::Recordset& rs, bool forTerminal = false);

// The shortest text of d at fifteen significant digits, never in exponent form.
std::string numberText(double d);

}  // namespace faq::output
