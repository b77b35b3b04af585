// Writes a recordset to an .xlsx workbook: a header row of captions, then the records
// from a given one to the last, numbers as numbers, texts as texts, nulls as empty cells.
#pragma once

#include <string>
#include <vector>

#include "recordset.h"

namespace faq::data {

// Rows of a worksheet below its header row; more continue on further sheets.
constexpr size_t kRowsPerSheet = 1048575;

// Writes in constant-memory mode with temporary files in tmpDir (empty: the system's).
// Throws DbError with the reason when the workbook cannot be written completely.
void writeWorkbook(const std::string& path, const std::vector<std::string>& captions, const Recordset& rs,
                   size_t firstRow, const std::string& tmpDir = {});

}  // namespace faq::data
