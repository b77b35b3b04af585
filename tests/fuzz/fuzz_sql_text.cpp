// Any criteria values: every literal of the statement stays closed, and the text outside
// the literals is the same as for harmless values of the same emptiness.
#include <cstdlib>

#include "fuzz_input.h"
#include "query/sql_text.h"

using faq::query::CMvLogin;

namespace {

// The statement with the contents of its string literals removed; aborts when a literal
// is left open.
std::string skeleton(const std::string& sql) {
    std::string out;
    bool inLiteral = false;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (!inLiteral) {
            out += c;
            if (c == '\'') inLiteral = true;
        } else if (c == '\'') {
            if (i + 1 < sql.size() && sql[i + 1] == '\'')
                ++i;  // a doubled quote stays inside
            else
                inLiteral = false, out += c;
        }
    }
    if (inLiteral) std::abort();
    return out;
}

std::string harmless(const std::string& v) {
    return v.empty() ? v : "x";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto f = faq::fuzz::fields(data, size, 8);
    CMvLogin p;
    p.strZcID = f[0], p.strDeptID = f[1], p.strDeptName = f[2], p.strBegDate = f[3];
    p.strEndDate = f[4], p.strDate = f[5], p.gsCZLike = f[6];
    CMvLogin ref = p;
    ref.strZcID = harmless(p.strZcID), ref.strDeptID = "x", ref.strDeptName = harmless(p.strDeptName);
    ref.strBegDate = ref.strEndDate = ref.strDate = "x";
    if (skeleton(faq::query::summarySql(p)) != skeleton(faq::query::summarySql(ref))) std::abort();
    // The value comes back whole from its literal.
    const std::string sql = faq::query::assetNameListSql(f[7]);
    if (skeleton(sql) != skeleton(faq::query::assetNameListSql(harmless(f[7])))) std::abort();
    if (!f[7].empty() && sql.find(faq::query::sqlLiteral(f[7]) + "%'") == std::string::npos) std::abort();
    return 0;
}
