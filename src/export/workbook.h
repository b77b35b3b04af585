// Writes a recordset as an .xlsx workbook: a header row of captions, then the records
// in order, numbers as numbers, texts as texts, nulls as empty cells.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "data/recordset.h"

namespace faq::output {

// Rows of a worksheet below its header row; more continue on further sheets.
constexpr size_t kRowsPerSheet = 1048575;

// How far a workbook being written has come, for another thread to show.
struct WriteProgress {
    std::atomic<size_t> rows{0};       // records written so far
    std::atomic<bool> closing{false};  // the rows are written and the file is being zipped
    // Pages (PDF and print) go through stages: every row measured, then laid out on pages,
    // then the pages painted; done counts rows, then rows, then pages, of in all.
    enum Stage { Writing, Measuring, LayingOut, Painting };
    std::atomic<int> stage{Writing};
    std::atomic<size_t> done{0}, of{0};
    void at(Stage s, size_t d, size_t total) {
        of = total;
        done = d;
        stage = s;
    }
};

// Writes the workbook into file's temporary file and reads it back; the caller commits.
// libxlsxwriter keeps its own temporary files (already unlinked) in the target's folder.
// Throws OutputError when the workbook cannot be written completely, OutputCancelled when
// *stop turns true while rows are written (within a thousand rows; nothing is zipped then).
// The zip phase cannot be stopped.
// A template (.xltx) is the same workbook, which the spreadsheet program opens as a new one.
// A line after the records (a card list's total): for each column a number, a text, or
// neither (an empty cell).
struct TrailingCell {
    std::string text;
    std::optional<double> number;
};
using TrailingRow = std::vector<TrailingCell>;

enum class WorkbookForm { Workbook, Template };
void writeWorkbook(AtomicFile& file, const std::vector<std::string>& captions, const data::Recordset& rs,
                   const std::atomic<bool>* stop = nullptr, WriteProgress* progress = nullptr,
                   WorkbookForm form = WorkbookForm::Workbook, const TrailingRow* trailer = nullptr);

// A complete new workbook at path, through an AtomicFile.
void saveWorkbook(const std::string& path, const std::vector<std::string>& captions, const data::Recordset& rs,
                  const TargetRules& rules = {}, const std::atomic<bool>* stop = nullptr,
                  WriteProgress* progress = nullptr, WorkbookForm form = WorkbookForm::Workbook,
                  const TrailingRow* trailer = nullptr);

}  // namespace faq::output
