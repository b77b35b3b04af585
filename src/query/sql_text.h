// The statement texts the program sends, each built in one place from named fragments.
#pragma once

#include <string>
#include <string_view>

#include "cmvlogin.h"

namespace faq::query {

// A value for a T-SQL string literal: every single quote doubled. LIKE wildcards keep
// their meaning.
std::string sqlLiteral(std::string_view value);

// The asset summary: grouped rows, then the total row "合计:".
std::string summarySql(const CMvLogin& p);
// Distinct asset names, those beginning with prefix when it is not empty.
std::string assetNameListSql(const std::string& prefix);
// Departments: cDepCode, cDepName ordered by code.
std::string departmentListSql();

}  // namespace faq::query
