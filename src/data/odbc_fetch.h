// Fetches the current result of an executed ODBC statement into a recordset.
#pragma once

#include "odbc_handles.h"
#include "recordset.h"

namespace faq::data::odbc {

// Bound fetch: columns bound to row arrays of up to about a thousand rows. Long columns
// (no usable size) are read per cell with SQLGetData while the others stay bound, one row
// at a time, and so is a value longer than its column's reported size where the driver
// can read it again (else it is refused). getDataExtensions: the driver's
// SQL_GETDATA_EXTENSIONS.
RecordsetPtr fetchBlocks(const Stmt& stmt, SQLUINTEGER getDataExtensions);
// One row at a time, each value read with SQLGetData in pieces of any length.
RecordsetPtr fetchPiecewise(const Stmt& stmt);

}  // namespace faq::data::odbc
