// A summary with subtotals as a workbook a spreadsheet keeps right: each group's rows, then
// its subtotal row, and the total row last, whose sums are SUBTOTAL(9, …) formulas over the
// rows above them (a total's SUBTOTAL leaves the subtotals inside its range out), each with
// its value cached so the file shows it unopened. Money in the grid's format, subtotal and
// total rows bold, columns as wide as their widest value.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "data/recordset.h"
#include "workbook.h"

namespace faq::output {

enum class SheetRow : unsigned char { Detail, Subtotal, Total };

struct SummarySheet {
    std::vector<std::string> captions;
    const data::Recordset* rows = nullptr;
    std::vector<SheetRow> kinds;       // for each row
    std::vector<size_t> sumColumns;    // the columns a subtotal adds up (原值, 数量)
    std::vector<size_t> moneyColumns;  // shown as "#,##0.00"
};

// The 1-based spreadsheet name of column c (0: A, 26: AA).
std::string columnName(size_t c);

// Writes the workbook into file's temporary file and reads it back; the caller commits.
// Throws OutputError (more rows than one sheet holds too), OutputCancelled when *stop turns
// true.
void writeSummaryWorkbook(AtomicFile& file, const SummarySheet& sheet, const std::atomic<bool>* stop = nullptr,
                          WriteProgress* progress = nullptr, WorkbookForm form = WorkbookForm::Workbook);

}  // namespace faq::output
