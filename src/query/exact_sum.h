// Adding up 原值 as the server's SUM would: decimals exactly (the digits as they came, to
// their last place), binary floating values in long double once one of them is among them.
#pragma once

#include <string>

#include "data/value.h"

namespace faq::query {

class ExactSum {
public:
    // Null adds nothing; a text that is no number adds nothing and makes the sum inexact.
    void add(const data::Value& v);
    void add(const ExactSum& other);
    bool empty() const { return !mAny; }
    // Null when nothing was added (as SUM over no values); a Decimal text while every value
    // was an integer or a decimal, otherwise a Double. text: where the Decimal's digits live.
    data::Value value(std::string& text) const;

private:
    void addScaled(__int128 units, int scale);
    void toInexact();
    bool mAny = false;
    bool mExact = true;
    __int128 mUnits = 0;  // the sum in units of 10^-mScale
    int mScale = 0;
    long double mApprox = 0;
};

}  // namespace faq::query
