// Currency: exact money, a signed 64-bit count of ten-thousandths (four
// decimal places, about +-922 trillion). Sums and products never wrap: an
// overflow throws AppError 6 ("オーバーフローしました。").
#pragma once
#include "platform/AppError.h"

#include <QString>
#include <compare>
#include <cstdint>

constexpr long errOverflow = 6;

// A decimal number of any scale read exactly from its text ("0.08" is 8/100).
struct DecimalRate {
    int64_t num = 0;
    int64_t den = 1;
    static DecimalRate Parse(const QString& text);
};

class Currency {
public:
    static constexpr int64_t Scale = 10000;
    constexpr Currency() = default;
    static Currency FromRaw(int64_t tenThousandths) { Currency c; c.v_ = tenThousandths; return c; }
    static Currency FromWhole(int64_t units);
    // The leading number of a text, exactly, an exponent included ("1e3" is
    // 1000; extra decimals rounded half to even, as a Currency conversion
    // does); 0 when the text starts with no number. Throws on overflow.
    static Currency FromText(const QString& text);

    // The value of a number text that may be beyond the Currency range
    // (sums of balances), in ten-thousandths: the leading number with its
    // fraction and exponent, rounded as FromText does. False when the text
    // starts with no number.
    static bool ReadWide(const QString& text, __int128& tenThousandths);
    // Plain decimal text of such a value ("1080", "-12.5").
    static QString WideToString(__int128 tenThousandths);

    int64_t Raw() const { return v_; }
    bool IsZero() const { return v_ == 0; }
    // True when the value has no fraction of a unit.
    bool IsWhole() const;
    // Whole units toward minus infinity (Int).
    Currency Floor() const;
    Currency Abs() const;

    Currency operator+(Currency o) const;
    Currency operator-(Currency o) const;
    Currency operator-() const;
    Currency& operator+=(Currency o) { return *this = *this + o; }
    Currency& operator-=(Currency o) { return *this = *this - o; }
    auto operator<=>(const Currency&) const = default;
    bool operator==(const Currency&) const = default;

    // Int(amount x rate): the product truncated toward minus infinity to a
    // whole unit, computed without rounding on the way.
    static Currency FloorMul(Currency amount, const DecimalRate& rate);
    // Int(amount - amount / (rate + 1)): the tax contained in a tax-included
    // amount, exactly, truncated toward minus infinity.
    static Currency FloorIncludedTax(Currency amount, const DecimalRate& rate);

    // Plain decimal text ("1080", "-12.5"), for SQL statements and cells.
    QString ToString() const;
    // "###,###,###,##0": whole units with thousands separators (rounded half
    // away from zero), "0" for zero.
    QString Formatted() const;

private:
    int64_t v_ = 0;
};
