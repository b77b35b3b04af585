// Period boxes and today's date: whatever is typed, accepted criteria are real dates in
// order, and the as-of date is always a date.
#include <cstdlib>

#include "fuzz_input.h"
#include "query/period.h"

using namespace faq::query;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto f = faq::fuzz::fields(data, size, 5);
    int y = 2026, m = 1, d = 1;
    if (!f[4].empty()) {
        const auto b = reinterpret_cast<const unsigned char*>(f[4].data());
        y = 1 + (b[0] * 37 + (f[4].size() > 1 ? b[1] : 0)) % 9998;
        m = 1 + (f[4].size() > 2 ? b[2] : 0) % 12;
        d = 1 + (f[4].size() > 3 ? b[3] : 0) % daysInMonth(y, m);
    }
    CMvLogin p;
    const auto bad = fillDates(p, f[0], f[1], f[2], f[3], {y, m, d});
    if (bad) {
        if (!p.strBegDate.empty() || !p.strEndDate.empty() || !p.strDate.empty()) std::abort();
        return 0;
    }
    if (!isValidDate(p.strBegDate) || !isValidDate(p.strEndDate)) std::abort();
    if (p.strBegDate.substr(0, 4) != f[0] || p.strEndDate.substr(0, 4) != f[2]) std::abort();
    if (y < 9999 && !isValidDate(p.strDate)) std::abort();
    return 0;
}
