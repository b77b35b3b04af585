// Plain-text renderings of a recordset for the command line: an aligned table for a
// terminal and CSV for spreadsheet programs.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "data/recordset.h"

namespace faq::app {

// Columns a terminal gives the UTF-8 text s: two for East Asian wide characters.
size_t displayWidth(std::string_view s);

// An aligned table: header, a rule, the rows; numeric columns right-aligned. format, when
// set for a column, gives its display text. Control characters show as "?".
void writeTable(std::ostream& out, const data::Recordset& rs,
                const std::vector<std::function<std::string(const data::Value&)>>& format);

// CSV in UTF-8 with a byte-order mark, CRLF line ends, values unformatted.
void writeCsv(std::ostream& out, const data::Recordset& rs);

}  // namespace faq::app
