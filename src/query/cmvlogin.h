// The criteria of one summary query, as the query window fills them.
#pragma once

#include <string>

namespace faq::query {

class CMvLogin {
public:
    std::string strZcID;      // asset name; empty: no name criterion
    std::string strDeptID;    // department code, matched as a prefix of the card's department number
    std::string strDeptName;  // non-empty switches the department criterion on
    std::string strBegDate;   // first start-of-use date, inclusive
    std::string strEndDate;   // last start-of-use date, inclusive
    std::string strDate;      // as-of date of the latest-card subquery
    std::string strSql;       // the statement text of the last getList call
    std::string gsCZLike;     // exactly "1": the name is matched as a part of the asset name
};

}  // namespace faq::query
