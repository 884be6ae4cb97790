#pragma once
// Fixed-point number: a signed 64-bit integer scaled by 10000 (four fractional
// digits). Holds money amounts, rates, print coordinates and date numbers.
// Every operation checks its range: an overflow raises RuntimeError(Overflow).
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace kov {

class Currency {
public:
    // NOLINTNEXTLINE(readability-identifier-naming): named before the rule, used in every layer
    static constexpr std::int64_t Scale = 10000;

    constexpr Currency() = default;

    // From the scaled value itself (12.5 is 125000).
    static constexpr Currency fromRaw(std::int64_t raw)
    {
        Currency c;
        c.m_raw = raw;
        return c;
    }
    static Currency fromInt(std::int64_t value);
    // From a number of tenths (print coordinates: fromTenths(65) is 6.5).
    static constexpr Currency fromTenths(std::int32_t tenths) { return fromRaw(std::int64_t{tenths} * (Scale / 10)); }
    // Rounded to four decimals, halves away from zero. NaN, infinities and values
    // outside the range are an overflow.
    static Currency fromDouble(double value);
    // Decimal text: optional blanks, optional sign, digits with an optional "." and
    // fraction (".5" and "5." are accepted). More than four decimals are rounded,
    // halves away from zero. Anything else is a type mismatch.
    static Currency parse(std::string_view text);
    // As parse, but false instead of an error.
    static bool tryParse(std::string_view text, Currency& out);

    constexpr std::int64_t raw() const { return m_raw; }
    constexpr bool isZero() const { return m_raw == 0; }
    constexpr bool isNegative() const { return m_raw < 0; }

    Currency operator+(Currency o) const;
    Currency operator-(Currency o) const;
    Currency operator-() const;
    Currency operator*(std::int64_t factor) const;
    // Product rounded to four decimals, halves away from zero.
    Currency operator*(Currency o) const;
    Currency& operator+=(Currency o) { return *this = *this + o; }
    Currency& operator-=(Currency o) { return *this = *this - o; }
    Currency abs() const;

    constexpr auto operator<=>(const Currency&) const =
        default; // NOLINT(modernize-use-nullptr): clang-tidy 14 takes the 0 of the comparison for a pointer
    constexpr bool operator==(const Currency&) const = default;

    // Whole part, truncated toward zero.
    std::int64_t truncated() const { return m_raw / Scale; }
    // Whole part, rounded toward minus infinity.
    std::int64_t floored() const;
    // Rounded to a whole number, halves away from zero.
    std::int64_t rounded() const;
    // Rounded to the given number of decimals (0 to 4), halves away from zero.
    Currency roundedTo(int decimals) const;
    double toDouble() const { return static_cast<double>(m_raw) / Scale; }

    // Shortest decimal text: "12.5", "-0.05", "100" (no grouping, no trailing zeros).
    std::string toString() const;
    // Exactly `decimals` digits after the point (rounded halves away from zero), no sign
    // for zero; decimals 0 gives no point.
    std::string toFixed(int decimals) const;

private:
    std::int64_t m_raw = 0;
};

// 16-bit integers: every conversion checks the range; outside it is an overflow.
std::int16_t toInt16(std::int64_t value);
// Rounds halves away from zero first.
std::int16_t toInt16(Currency value);
std::int16_t toInt16(double value);
// Decimal text to a 16-bit integer (rounded); not a number is a type mismatch.
std::int16_t toInt16(std::string_view text);
// Checked 16-bit addition.
std::int16_t addInt16(std::int16_t a, std::int16_t b);

} // namespace kov
