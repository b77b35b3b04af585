#include "exact_sum.h"

#include <cstdlib>
#include <limits>

namespace faq::query {

namespace {

// Beyond this many decimal places, or this magnitude, the sum goes inexact rather than wrong.
constexpr int kMostScale = 12;
constexpr __int128 kLimit = static_cast<__int128>(1) << 120;

__int128 pow10(int n) {
    __int128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

long double asLongDouble(__int128 units, int scale) {
    return static_cast<long double>(units) / static_cast<long double>(pow10(scale));
}

}  // namespace

void ExactSum::toInexact() {
    if (!mExact) return;
    mApprox = asLongDouble(mUnits, mScale);
    mExact = false;
}

void ExactSum::addScaled(__int128 units, int scale) {
    if (!mExact) {
        mApprox += asLongDouble(units, scale);
        return;
    }
    if (scale > mScale) {
        const __int128 f = pow10(scale - mScale);
        if (mUnits > kLimit / f || mUnits < -kLimit / f) {
            toInexact();
            mApprox += asLongDouble(units, scale);
            return;
        }
        mUnits *= f;
        mScale = scale;
    } else if (scale < mScale) {
        units *= pow10(mScale - scale);
    }
    mUnits += units;
    if (mUnits > kLimit || mUnits < -kLimit) toInexact();
}

void ExactSum::add(const data::Value& v) {
    switch (v.type) {
        case data::FieldType::Null: return;
        case data::FieldType::Integer:
            mAny = true;
            addScaled(v.i, 0);
            return;
        case data::FieldType::Double:
            mAny = true;
            toInexact();
            mApprox += v.d;
            return;
        default: break;
    }
    // A decimal's digits: [-+]digits[.digits]
    std::string_view s = v.text;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) negative = s.front() == '-', s.remove_prefix(1);
    __int128 units = 0;
    int scale = 0;
    bool point = false, digits = false, fine = !s.empty();
    for (char c : s) {
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9' || units > kLimit / 10) {
            fine = false;
            break;
        }
        digits = true;
        units = units * 10 + (c - '0');
        if (point) ++scale;
    }
    mAny = true;
    if (!fine || !digits || scale > kMostScale) {
        toInexact();
        mApprox += std::strtold(std::string(v.text).c_str(), nullptr);
        return;
    }
    addScaled(negative ? -units : units, scale);
}

void ExactSum::add(const ExactSum& other) {
    if (!other.mAny) return;
    mAny = true;
    if (other.mExact)
        addScaled(other.mUnits, other.mScale);
    else {
        toInexact();
        mApprox += other.mApprox;
    }
}

data::Value ExactSum::value(std::string& text) const {
    data::Value v;
    if (!mAny) return v;
    if (!mExact) {
        v.type = data::FieldType::Double;
        v.d = static_cast<double>(mApprox);
        return v;
    }
    const bool negative = mUnits < 0;
    __int128 u = negative ? -mUnits : mUnits;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
        u /= 10;
    } while (u > 0);
    if (static_cast<int>(digits.size()) <= mScale)
        digits.insert(0, static_cast<size_t>(mScale) + 1 - digits.size(), '0');
    text.clear();
    if (negative) text += '-';
    text.append(digits, 0, digits.size() - static_cast<size_t>(mScale));
    if (mScale > 0) text.append(".").append(digits, digits.size() - static_cast<size_t>(mScale));
    v.type = data::FieldType::Decimal;
    v.text = text;
    return v;
}

}  // namespace faq::query
