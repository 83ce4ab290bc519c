#include "platform/Currency.h"

#include <algorithm>
#include <limits>

namespace {
[[noreturn]] void overflow() { throw AppError(errOverflow, "オーバーフローしました。", "Currency"); }

int64_t checked(__int128 v) {
    if (v > std::numeric_limits<int64_t>::max() || v < std::numeric_limits<int64_t>::min()) overflow();
    return static_cast<int64_t>(v);
}

__int128 floorDiv(__int128 a, __int128 b) {
    __int128 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Reads an optional sign, digits and a fraction; returns digits as a big
// integer with its scale. False when no digit was read.
bool readDecimal(const QString& text, __int128& mant, int& scale, bool& neg) {
    int i = 0, n = text.size();
    while (i < n && text[i].isSpace()) ++i;
    neg = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) { neg = text[i] == '-'; ++i; }
    mant = 0;
    scale = 0;
    bool any = false, frac = false;
    for (; i < n; ++i) {
        QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            any = true;
            if (mant > (static_cast<__int128>(1) << 100)) overflow();
            mant = mant * 10 + (c.unicode() - '0');
            if (frac) ++scale;
        } else if (c == '.' && !frac) {
            frac = true;
        } else {
            break;
        }
    }
    if (!any) return false;
    // An exponent ("2.5e-3", "1E+6") belongs to the number: the value is
    // read whole, never cut at the "e". A letter without digits after it
    // ends the number as any other character does.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        int j = i + 1;
        bool expNeg = false;
        if (j < n && (text[j] == '-' || text[j] == '+')) { expNeg = text[j] == '-'; ++j; }
        int e = 0;
        bool expAny = false;
        for (; j < n && text[j].isDigit() && text[j].unicode() < 128; ++j) {
            expAny = true;
            if (e < 100000) e = e * 10 + (text[j].unicode() - '0');
        }
        if (expAny) {
            if (expNeg) {
                scale += e;
            } else {
                // Move the point right: fewer decimals, then whole zeros.
                int take = std::min(scale, e);
                scale -= take;
                e -= take;
                for (; e > 0; --e) {
                    if (mant > (static_cast<__int128>(1) << 100)) overflow();
                    mant *= 10;
                }
            }
        }
    }
    return true;
}

// A big integer with `scale` decimals in ten-thousandths, rounded half to
// even on the dropped digits.
__int128 toTenThousandths(__int128 m, int scale) {
    while (scale < 4) {
        if (m > (static_cast<__int128>(1) << 100)) overflow();
        m *= 10;
        ++scale;
    }
    if (scale > 4) {
        // More than 38 dropped digits leave nothing of a mantissa below 2^100.
        if (scale - 4 > 38) return 0;
        __int128 p = 1;
        for (int i = 4; i < scale; ++i) p *= 10;
        __int128 q = m / p, r = m % p;
        if (r * 2 > p || (r * 2 == p && q % 2 == 1)) ++q;
        m = q;
    }
    return m;
}
}  // namespace

DecimalRate DecimalRate::Parse(const QString& text) {
    __int128 m; int scale; bool neg;
    DecimalRate r;
    if (!readDecimal(text, m, scale, neg)) return r;
    // Trailing zeros do not change the value; keep the numbers small.
    while (scale > 0 && m % 10 == 0) { m /= 10; --scale; }
    if (scale > 17) overflow();
    __int128 den = 1;
    for (int i = 0; i < scale; ++i) den *= 10;
    r.num = checked(neg ? -m : m);
    r.den = static_cast<int64_t>(den);
    return r;
}

Currency Currency::FromWhole(int64_t units) { return FromRaw(checked(static_cast<__int128>(units) * Scale)); }

Currency Currency::FromText(const QString& text) {
    __int128 m; int scale; bool neg;
    if (!readDecimal(text, m, scale, neg)) return Currency();
    m = toTenThousandths(m, scale);
    return FromRaw(checked(neg ? -m : m));
}

bool Currency::ReadWide(const QString& text, __int128& tenThousandths) {
    __int128 m; int scale; bool neg;
    if (!readDecimal(text, m, scale, neg)) return false;
    m = toTenThousandths(m, scale);
    tenThousandths = neg ? -m : m;
    return true;
}

QString Currency::WideToString(__int128 tenThousandths) {
    __int128 v = tenThousandths;
    bool neg = v < 0;
    if (neg) v = -v;
    __int128 whole = v / Scale;
    int64_t frac = static_cast<int64_t>(v % Scale);
    QString s;
    if (whole == 0) s = "0";
    while (whole > 0) {
        s.prepend(QChar('0' + static_cast<int>(whole % 10)));
        whole /= 10;
    }
    if (frac) {
        QString f = QString::number(frac).rightJustified(4, '0');
        while (f.endsWith('0')) f.chop(1);
        s += "." + f;
    }
    return neg ? "-" + s : s;
}

bool Currency::IsWhole() const { return v_ % Scale == 0; }

Currency Currency::Floor() const {
    return FromRaw(checked(floorDiv(v_, Scale) * Scale));
}

Currency Currency::Abs() const {
    if (v_ == std::numeric_limits<int64_t>::min()) overflow();
    return FromRaw(v_ < 0 ? -v_ : v_);
}

Currency Currency::operator+(Currency o) const { return FromRaw(checked(static_cast<__int128>(v_) + o.v_)); }
Currency Currency::operator-(Currency o) const { return FromRaw(checked(static_cast<__int128>(v_) - o.v_)); }
Currency Currency::operator-() const { return FromRaw(checked(-static_cast<__int128>(v_))); }

Currency Currency::FloorMul(Currency amount, const DecimalRate& rate) {
    // amount = A / Scale, rate = n / d  ->  floor(A * n / (Scale * d)) units
    __int128 q = floorDiv(static_cast<__int128>(amount.v_) * rate.num, static_cast<__int128>(Scale) * rate.den);
    return FromRaw(checked(q * Scale));
}

Currency Currency::FloorIncludedTax(Currency amount, const DecimalRate& rate) {
    // a - a / (1 + r) = a * r / (1 + r) = A * n / (Scale * (d + n))
    __int128 den = static_cast<__int128>(Scale) * (static_cast<__int128>(rate.den) + rate.num);
    if (den == 0) throw AppError(11, "0 で除算しました。", "Currency");
    __int128 q = floorDiv(static_cast<__int128>(amount.v_) * rate.num, den);
    return FromRaw(checked(q * Scale));
}

QString Currency::ToString() const {
    __int128 v = v_;
    bool neg = v < 0;
    if (neg) v = -v;
    int64_t whole = static_cast<int64_t>(v / Scale);
    int64_t frac = static_cast<int64_t>(v % Scale);
    QString s = QString::number(whole);
    if (frac) {
        QString f = QString::number(frac).rightJustified(4, '0');
        while (f.endsWith('0')) f.chop(1);
        s += "." + f;
    }
    return neg ? "-" + s : s;
}

QString Currency::Formatted() const {
    __int128 v = v_;
    bool neg = v < 0;
    if (neg) v = -v;
    __int128 whole = (v + Scale / 2) / Scale;
    QString digits = QString::number(static_cast<qulonglong>(whole));
    QString out;
    int n = digits.size();
    for (int i = 0; i < n; ++i) {
        out += digits[i];
        int left = n - 1 - i;
        if (left > 0 && left % 3 == 0) out += ',';
    }
    return (neg && whole != 0) ? "-" + out : out;
}
