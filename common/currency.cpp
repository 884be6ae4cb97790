#include "currency.h"

#include "runtimeerror.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace kov {

namespace {
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// The range of the fixed-point type, for messages.
const char* const kRange = "扱える範囲（±922337203685477.5807）";

[[noreturn]] void overflowOf(const std::string& what) { throwOverflow(what + "が" + kRange + "を超えます。"); }

std::string shownRaw(std::int64_t raw) { return Currency::fromRaw(raw).toString(); }

std::int64_t checkedAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r)) overflowOf("計算「" + shownRaw(a) + " + " + shownRaw(b) + "」の結果");
    return r;
}

std::int64_t checkedMul(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) overflowOf("計算の結果");
    return r;
}

// a / b rounded halves away from zero, b > 0.
std::int64_t divRound(__int128 a, std::int64_t b)
{
    const bool neg = a < 0;
    __int128 m = neg ? -a : a;
    __int128 q = (m + b / 2) / b;
    if (neg) q = -q;
    if (q > kMax || q < kMin) overflowOf("計算の結果");
    return static_cast<std::int64_t>(q);
}

// The same for a 64-bit a, without the wide division.
std::int64_t divRound(std::int64_t a, std::int64_t b)
{
    const bool neg = a < 0;
    const std::uint64_t m = neg ? 0ULL - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
    const auto ub = static_cast<std::uint64_t>(b);
    const std::uint64_t q = m / ub + (m % ub >= ub - ub / 2 ? 1 : 0);
    if (q > static_cast<std::uint64_t>(kMax) + (neg ? 1 : 0)) overflowOf("計算の結果");
    const auto result = neg ? 0ULL - q : q;
    return static_cast<std::int64_t>(result);
}
} // namespace

Currency Currency::fromInt(std::int64_t value)
{
    std::int64_t r;
    if (__builtin_mul_overflow(value, Scale, &r)) overflowOf("値「" + std::to_string(value) + "」");
    return fromRaw(r);
}

Currency Currency::fromDouble(double value)
{
    auto shown = [value] {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", value);
        return std::string(buf);
    };
    if (!std::isfinite(value)) overflowOf("値「" + shown() + "」");
    const long double scaled = static_cast<long double>(value) * Scale;
    const long double r = scaled < 0 ? -std::floor(-scaled + 0.5L) : std::floor(scaled + 0.5L);
    if (r >= 9223372036854775807.0L || r < -9223372036854775808.0L) overflowOf("値「" + shown() + "」");
    return fromRaw(static_cast<std::int64_t>(r));
}

namespace {
enum class ParseResult { Ok, NotANumber, OutOfRange };

// The digits of a decimal text, read from `at` onwards.
struct DecimalDigits {
    __int128 whole = 0;
    bool tooLarge = false;
    int digits = 0; // whole and fraction
    __int128 frac = 0; // the first four fraction digits
    int fracDigits = 0;
    int roundDigit = -1; // the fifth fraction digit, -1 without one
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t readWhole(std::string_view s, std::size_t i, std::size_t e, DecimalDigits& d)
{
    for (; i < e && isDigit(s[i]); ++i, ++d.digits) {
        if (d.tooLarge) continue;
        d.whole = d.whole * 10 + (s[i] - '0');
        if (d.whole > static_cast<__int128>(kMax)) d.tooLarge = true;
    }
    return i;
}

std::size_t readFraction(std::string_view s, std::size_t i, std::size_t e, DecimalDigits& d)
{
    for (; i < e && isDigit(s[i]); ++i, ++d.digits) {
        if (d.fracDigits < 4) {
            d.frac = d.frac * 10 + (s[i] - '0');
            ++d.fracDigits;
        } else if (d.roundDigit < 0) {
            d.roundDigit = s[i] - '0';
        }
    }
    return i;
}

ParseResult parseDecimal(std::string_view s, std::int64_t& rawOut)
{
    std::size_t i = 0, e = s.size();
    while (i < e && s[i] == ' ') ++i;
    while (e > i && s[e - 1] == ' ') --e;
    if (i == e) return ParseResult::NotANumber;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
    }
    DecimalDigits d;
    i = readWhole(s, i, e, d);
    if (i < e && s[i] == '.') i = readFraction(s, i + 1, e, d);
    if (i != e || d.digits == 0) return ParseResult::NotANumber;
    if (d.tooLarge) return ParseResult::OutOfRange;
    for (; d.fracDigits < 4; ++d.fracDigits) d.frac *= 10;
    __int128 raw = d.whole * Currency::Scale + d.frac;
    if (d.roundDigit >= 5) ++raw;
    if (neg) raw = -raw;
    if (raw > kMax || raw < kMin) return ParseResult::OutOfRange;
    rawOut = static_cast<std::int64_t>(raw);
    return ParseResult::Ok;
}
} // namespace

bool Currency::tryParse(std::string_view s, Currency& out)
{
    std::int64_t raw = 0;
    if (parseDecimal(s, raw) != ParseResult::Ok) return false;
    out = fromRaw(raw);
    return true;
}

Currency Currency::parse(std::string_view text)
{
    std::int64_t raw = 0;
    switch (parseDecimal(text, raw)) {
    case ParseResult::Ok:
        return fromRaw(raw);
    case ParseResult::OutOfRange:
        overflowOf("値「" + std::string(text) + "」");
    case ParseResult::NotANumber:
        break;
    }
    throwTypeMismatch("「" + std::string(text) + "」は数値ではありません。");
}

Currency Currency::operator+(Currency o) const { return fromRaw(checkedAdd(m_raw, o.m_raw)); }
Currency Currency::operator-(Currency o) const
{
    std::int64_t r;
    if (__builtin_sub_overflow(m_raw, o.m_raw, &r))
        overflowOf("計算「" + toString() + " - " + o.toString() + "」の結果");
    return fromRaw(r);
}
Currency Currency::operator-() const
{
    if (m_raw == kMin) overflowOf("計算「-(" + toString() + ")」の結果");
    return fromRaw(-m_raw);
}
Currency Currency::abs() const { return m_raw < 0 ? -*this : *this; }
Currency Currency::operator*(std::int64_t factor) const
{
    std::int64_t r;
    if (__builtin_mul_overflow(m_raw, factor, &r))
        overflowOf("計算「" + toString() + " × " + std::to_string(factor) + "」の結果");
    return fromRaw(r);
}
Currency Currency::operator*(Currency o) const
{
    const __int128 product = static_cast<__int128>(m_raw) * o.m_raw;
    const __int128 limit = static_cast<__int128>(kMax) * Scale;
    if (product > limit || product < -limit) overflowOf("計算「" + toString() + " × " + o.toString() + "」の結果");
    return fromRaw(divRound(product, Scale));
}

std::int64_t Currency::floored() const
{
    std::int64_t q = m_raw / Scale;
    if (m_raw % Scale != 0 && m_raw < 0) --q;
    return q;
}

std::int64_t Currency::rounded() const { return divRound(m_raw, Scale); }

Currency Currency::roundedTo(int decimals) const
{
    if (decimals >= 4) return *this;
    if (decimals < 0) throwInvalidArgument();
    std::int64_t unit = 1;
    for (int k = decimals; k < 4; ++k) unit *= 10;
    return fromRaw(checkedMul(divRound(m_raw, unit), unit));
}

std::string Currency::toFixed(int decimals) const
{
    if (decimals < 0 || decimals > 4) throwInvalidArgument();
    const Currency r = roundedTo(decimals);
    const bool neg = r.m_raw < 0;
    const unsigned long long m =
        neg ? 0ULL - static_cast<unsigned long long>(r.m_raw) : static_cast<unsigned long long>(r.m_raw);
    std::string out = std::to_string(m / Scale);
    if (decimals > 0) {
        std::string frac = std::to_string(m % Scale);
        frac.insert(0, 4 - frac.size(), '0');
        out += '.';
        out += frac.substr(0, static_cast<std::size_t>(decimals));
    }
    if (neg && m != 0) out.insert(0, 1, '-');
    return out;
}

std::string Currency::toString() const
{
    std::string out = toFixed(4);
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    return out;
}

std::int16_t toInt16(std::int64_t value)
{
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        throwOverflow("値「" + std::to_string(value) + "」が整数の範囲（-32768 ～ 32767）を超えます。");
    return static_cast<std::int16_t>(value);
}

std::int16_t toInt16(Currency value) { return toInt16(value.rounded()); }

std::int16_t toInt16(double value)
{
    if (!std::isfinite(value) || value > 40000 || value < -40000) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", value);
        throwOverflow(std::string("値「") + buf + "」が整数の範囲（-32768 ～ 32767）を超えます。");
    }
    return toInt16(Currency::fromDouble(value));
}

std::int16_t toInt16(std::string_view text) { return toInt16(Currency::parse(text)); }

std::int16_t addInt16(std::int16_t a, std::int16_t b) { return toInt16(static_cast<std::int64_t>(a) + b); }

} // namespace kov
