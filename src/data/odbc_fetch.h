// Fetches the current result of an executed ODBC statement into a recordset.
#pragma once

#include <stdexcept>

#include "odbc_handles.h"
#include "recordset.h"

namespace faq::data::odbc {

// Thrown by the block fetch when a value did not fit the buffer its column's reported
// size allowed; the caller runs the statement again with a piecewise fetch.
struct Truncated : std::runtime_error {
    Truncated() : std::runtime_error("column value longer than its reported size") {}
};

// Block fetch: columns bound to row arrays of up to about a thousand rows. Columns
// without a usable size (long data) make the whole fetch piecewise.
RecordsetPtr fetchBlocks(const Stmt& stmt);
// One row at a time, each value read with SQLGetData in pieces of any length.
RecordsetPtr fetchPiecewise(const Stmt& stmt);

}  // namespace faq::data::odbc
