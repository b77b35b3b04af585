// Stored-procedure parameters, numbered as ADO numbers them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace faq::data {

// null, integer, floating, text (also dates as "YYYY-MM-DD[ HH:MM:SS]" and decimals)
using Variant = std::variant<std::monostate, int64_t, double, std::string>;

namespace ado {
// Data types
constexpr int32_t adEmpty = 0, adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5, adCurrency = 6, adDate = 7,
                  adBoolean = 11, adDecimal = 14, adTinyInt = 16, adBigInt = 20, adChar = 129, adWChar = 130,
                  adNumeric = 131, adDBDate = 133, adDBTimeStamp = 135, adVarChar = 200, adLongVarChar = 201,
                  adVarWChar = 202, adLongVarWChar = 203;
// Parameter directions and attributes
constexpr int32_t adParamInput = 1, adParamOutput = 2, adParamInputOutput = 3, adParamReturnValue = 4;
constexpr int32_t adParamSigned = 16;
// Cursor, lock and command types, options
constexpr int32_t adOptionUnspecified = -1, adUseClient = 3, adOpenForwardOnly = 0, adOpenStatic = 3,
                  adLockReadOnly = 1, adCmdText = 1, adCmdTable = 2, adCmdStoredProc = 4, adCmdUnknown = 8;
}  // namespace ado

struct Parameter {
    // A freshly created parameter has ADO's defaults.
    std::string name;
    int32_t type = ado::adEmpty;
    int32_t direction = ado::adParamInput;
    int32_t attributes = 0;
    int32_t size = 0;
    Variant value;
};

// The command object of a connection: its text, type and parameter list persist from
// call to call.
struct Command {
    std::string commandText;
    int32_t commandType = ado::adCmdUnknown;
    int32_t commandTimeout = 30;
    std::vector<Parameter> parameters;
};

}  // namespace faq::data
