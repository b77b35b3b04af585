// Statement texts, compared whole with texts assembled here from the fragment tables.
#include "query/sql_text.h"

#include <gtest/gtest.h>

using namespace faq::query;

namespace {

std::string b(int blanks, const std::string& text) {
    return std::string(static_cast<size_t>(blanks), ' ') + text;
}

std::string fromBlock() {
    return b(2, "FROM   (fa_Origins AS fa_Origins_2 RIGHT JOIN (") + b(33, "fa_Origins AS fa_Origins_1 RIGHT JOIN (") +
           b(33, "(((((((fa_Cards LEFT JOIN fa_DeprTransactions ON fa_Cards.sCardNum = fa_DeprTransactions.sCardNum)") +
           b(35, "LEFT JOIN fa_WorkLoad ON fa_Cards.sCardNum = fa_WorkLoad.sCardNum))") +
           b(36, "LEFT JOIN fa_AssetTypes ON fa_Cards.sTypeNum = fa_AssetTypes.sNum)") +
           b(36, "LEFT JOIN fa_Status ON fa_Cards.sStatusID = fa_Status.sID)") +
           b(36, "LEFT JOIN fa_Depreciations ON fa_Cards.sDeprMethodID = fa_Depreciations.sID)") +
           b(36, "LEFT JOIN fa_ItemsManual ON fa_Cards.sCardNum = fa_ItemsManual.sCardNum)") +
           b(36,
             "LEFT JOIN fa_Origins ON fa_Cards.sOrgID = fa_Origins.sID) ON fa_Origins_1.sAddID = fa_Cards.sOrgAddID)") +
           b(36, "ON fa_Origins_2.sDecID = fa_Cards.sOrgDisposeID)") +
           b(36, "LEFT JOIN fa_Vouchers ON fa_Cards.sVoucherNum = fa_Vouchers.sNum") +
           b(36, "INNER join fa_DeptScale on (fa_Cards.sCardNum = fa_DeptScale.sCardNum") +
           b(36, "AND fa_cards.lOptID = fa_DeptScale.lOptID)") +
           b(35, "INNER JOIN fa_Departments ON fa_DeptScale.sDeptNum = fa_Departments.sNum");
}

std::string whereBlock(const std::string& d) {
    return b(3, "where  fa_Cards.sCardID IN (  ") + b(1, "SELECT ") + b(3, "Max(fc.sCardID) As sCardID ") +
           b(1, "From ") + b(3, "fa_Cards fc") + b(1, "Where (((fa_Cards.dInputDate)<= '" + d + "')") +
           b(1, "AND ((fa_Cards.dTransDate)<='" + d + "'") + b(1, "Or (fa_Cards.dTransDate) Is Null)") +
           b(1, "AND ((fa_Cards.dDisposeDate)<='" + d + "'") + b(1, "Or (fa_Cards.dDisposeDate) Is Null))") +
           b(1, "GROUP BY fc.sCardNum ) ") + b(2, "and  (fa_Cards.dDisposeDate is null ) ");
}

// The whole statement around a given criteria text.
std::string statement(const std::string& asOf, const std::string& criteria) {
    const std::string head =
        b(1, "Select distinct ") + b(6, "convert(varchar(10),fa_Cards.dStartdate,102)  as [开始使用日期] ,") +
        b(7, "(fa_Cards.sDeptNames) as [使用部门] ,") + b(6, "(fa_Cards.sAssetName) as [固定资产名称],") +
        b(6, "sum(fa_Cards.dblValue) as [原值],") + b(6, "count( (fa_Cards.sOrgID)) as [数量] ");
    const std::string groupBy = b(2, "Group By convert(varchar(10),fa_Cards.dStartdate,102), ") +
                                b(4, "fa_Cards.sDeptNames ,") + b(2, "fa_Cards.sAssetName ");
    const std::string total = b(1, "union  ALL") + b(1, "Select  ") + b(6, "''  as [开始使用日期] ,") +
                              b(7, "'' as [使用部门] ,") + b(5, "'合计:' as [固定资产名称],") +
                              b(6, "sum( fa_Cards.dblValue) as [原值],") + b(6, "count( (fa_Cards.sOrgID)) as [数量] ");
    return b(5, "") + head + fromBlock() + whereBlock(asOf) + criteria + groupBy + total + fromBlock() +
           whereBlock(asOf) + criteria;
}

CMvLogin criteria() {
    CMvLogin p;
    p.strBegDate = "2026-01-01";
    p.strEndDate = "2026-12-31";
    p.strDate = "2027-01-07";
    p.gsCZLike = "0";
    return p;
}

const std::string kDates = b(1, "and  dStartdate >= '2026-01-01'") + b(3, "AND dStartdate <='2026-12-31'");

TEST(SummarySql, NoNameNoDepartment) {
    CMvLogin p = criteria();
    const std::string sql = summarySql(p);
    EXPECT_EQ(sql, statement("2027-01-07", kDates));
    EXPECT_TRUE(sql.starts_with("      Select distinct "));
    EXPECT_TRUE(sql.ends_with("<='2026-12-31'"));
    EXPECT_EQ(sql.find('\n'), std::string::npos);
}

TEST(SummarySql, NameCriterionFollowsTheFuzzySwitchExactly) {
    CMvLogin p = criteria();
    p.strZcID = "电脑";
    p.gsCZLike = "1";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates + " AND fa_Cards.sAssetName like  '%电脑%'"));
    for (const char* other : {"0", "", "2", "1 ", "01"}) {
        p.gsCZLike = other;
        EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates + " AND fa_Cards.sAssetName = '电脑'")) << other;
    }
    p.strZcID = "";
    p.gsCZLike = "1";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates));
    p.strZcID = "   ";  // blanks only count as a name
    p.gsCZLike = "0";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates + " AND fa_Cards.sAssetName = '   '"));
}

TEST(SummarySql, DepartmentCriterionIsSwitchedByTheNameButUsesTheCode) {
    CMvLogin p = criteria();
    p.strDeptID = "03";
    p.strDeptName = "";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates));
    p.strDeptName = "生产部";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates + " AND (fa_DeptScale.sDeptNum) Like  '03%'"));
    p.strDeptID = "";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates + " AND (fa_DeptScale.sDeptNum) Like  '%'"));
    p.strDeptID = "0301";
    p.strZcID = "车床";
    EXPECT_EQ(summarySql(p), statement("2027-01-07", kDates + " AND fa_Cards.sAssetName = '车床'" +
                                                         " AND (fa_DeptScale.sDeptNum) Like  '0301%'"));
}

TEST(SummarySql, SingleQuotesAreDoubledInEveryValue) {
    CMvLogin p = criteria();
    p.strZcID = "O'Neil 台式机";
    p.strDeptID = "0'1";
    p.strDeptName = "x";
    p.strBegDate = "2026'-01-01";
    p.strEndDate = "2026-12-31'";
    p.strDate = "'2027-01-07";
    EXPECT_EQ(summarySql(p), statement("''2027-01-07", b(1, "and  dStartdate >= '2026''-01-01'") +
                                                           b(3, "AND dStartdate <='2026-12-31'''") +
                                                           " AND fa_Cards.sAssetName = 'O''Neil 台式机'" +
                                                           " AND (fa_DeptScale.sDeptNum) Like  '0''1%'"));
    p.gsCZLike = "1";
    p.strZcID = "'; drop table fa_Cards; --";
    EXPECT_NE(summarySql(p).find("like  '%''; drop table fa_Cards; --%'"), std::string::npos);
    EXPECT_EQ(sqlLiteral("a''b"), "a''''b");
    EXPECT_EQ(sqlLiteral("100%_[x]"), "100%_[x]");  // wildcards keep their meaning
}

TEST(LookupSql, TextsByteForByte) {
    EXPECT_EQ(assetNameListSql(""), " SELECT distinct  sAssetName FROM fa_Cards");
    EXPECT_EQ(assetNameListSql("A"), " SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  'A%'");
    EXPECT_EQ(assetNameListSql(" "), " SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  ' %'");
    EXPECT_EQ(assetNameListSql("O'N"), " SELECT distinct  sAssetName FROM fa_Cards where sAssetName like  'O''N%'");
    EXPECT_EQ(departmentListSql(),
              " SELECT distinct cDepCode as cDepCode ,cDepName as cDepName  FROM department order by cDepCode");
}

}  // namespace
