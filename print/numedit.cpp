#include "numedit.h"

#include "common/runtimeerror.h"
#include "common/text.h"

#include <charconv>
#include <cstring>

namespace kov {

namespace {

// An exact decimal number as its digits: the edits work on these, so a text with more
// decimals than a fixed-point number holds is still rounded exactly.
struct Decimal {
    bool negative = false;
    std::string whole = "0"; // no leading zeros, at least one digit
    std::string fraction; // digits after the point, as many as written
};

Decimal fromCurrency(Currency value)
{
    const std::int64_t raw = value.raw();
    const std::uint64_t m = raw < 0 ? 0ULL - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    Decimal d;
    d.negative = raw < 0;
    d.whole = std::to_string(m / static_cast<std::uint64_t>(Currency::Scale));
    std::string frac = std::to_string(m % static_cast<std::uint64_t>(Currency::Scale));
    d.fraction = std::string(4 - frac.size(), '0') + frac;
    return d;
}

// Optional sign, digits, optional "." and digits; at least one digit in all.
bool parseDecimal(std::string_view s, Decimal& out)
{
    std::size_t i = 0;
    Decimal d;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        d.negative = s[i] == '-';
        ++i;
    }
    std::string whole;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') whole += s[i++];
    std::string fraction;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') fraction += s[i++];
    }
    if (i != s.size() || (whole.empty() && fraction.empty())) return false;
    const std::size_t firstNonZero = whole.find_first_not_of('0');
    d.whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
    d.fraction = fraction;
    out = d;
    return true;
}

bool isZero(const Decimal& d) { return d.whole == "0" && d.fraction.find_first_not_of('0') == std::string::npos; }

// Rounds to exactly `decimals` fraction digits, halves away from zero (the sign is
// untouched, so this rounds the absolute value).
void roundTo(Decimal& d, std::size_t decimals)
{
    if (d.fraction.size() <= decimals) {
        d.fraction.append(decimals - d.fraction.size(), '0');
        return;
    }
    const bool up = d.fraction[decimals] >= '5';
    d.fraction.resize(decimals);
    if (!up) return;
    std::string digits = d.whole + d.fraction;
    std::size_t k = digits.size();
    while (k > 0) {
        --k;
        if (digits[k] == '9') {
            digits[k] = '0';
        } else {
            ++digits[k];
            break;
        }
        if (k == 0) digits.insert(0, 1, '1');
    }
    d.whole = digits.substr(0, digits.size() - decimals);
    d.fraction = digits.substr(digits.size() - decimals);
}

std::string grouped(const std::string& digits)
{
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

void checkField(std::int16_t width, std::int16_t decimals)
{
    if (width < 0) throwInvalidArgument("数値編集の桁数 " + std::to_string(width) + " は使えません。");
    if (decimals < 0) throwInvalidArgument("数値編集の小数桁数 " + std::to_string(decimals) + " は使えません。");
    if (decimals > 0 && width < decimals + 2)
        throwInvalidArgument("数値編集の桁数 " + std::to_string(width) + " は小数桁数 " + std::to_string(decimals) +
                             " には足りません。");
}

std::string edit(Decimal value, std::int16_t width, std::int16_t decimals, std::int16_t minus, std::int16_t grouping,
                 std::int16_t suppress, std::int16_t zero)
{
    checkField(width, decimals);
    const auto w = static_cast<std::size_t>(width);
    if (zero == 0 && isZero(value)) return text::spaces(w);

    const auto dec = static_cast<std::size_t>(decimals);
    roundTo(value, dec);

    std::string whole = value.whole;
    if (suppress == 0) {
        // Zero fill: the integer part takes the whole field, less the point and decimals.
        const std::size_t fill = dec == 0 ? w : w - dec - 1;
        if (whole.size() < fill) whole.insert(0, fill - whole.size(), '0');
    }
    if (grouping != 0 && width > 3) whole = grouped(whole);

    std::string result = whole;
    if (dec > 0) result += "." + value.fraction;
    // A value that rounds to zero shows no sign: "-0" is no amount.
    if (value.negative && minus != 0 && !isZero(value)) result.insert(0, 1, '-');

    // A result wider than the field is never cut: cutting would drop its sign or leading
    // digits and print a different amount. The whole field shows "*" instead.
    if (text::length(result) > w) return std::string(w, '*');
    return text::padLeft(result, w);
}

// The edit above for a fixed-point value in a field of at most kShortField characters,
// on integers: the value's four decimals round to fewer exactly as its digits do (the
// next digit 5 or more rounds up).
constexpr std::int16_t kShortField = 40;

// The magnitude of a raw value rounded to `kept` decimals (0 to 4): whole part and
// fraction digits.
struct RoundedMagnitude {
    std::uint64_t rounded; // the magnitude in units of the last kept decimal
    std::uint64_t whole;
    std::uint64_t fraction;
};

constexpr std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000};

RoundedMagnitude roundMagnitude(std::int64_t raw, int kept)
{
    const std::uint64_t m = raw < 0 ? 0ULL - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    std::uint64_t q = m;
    if (kept < 4) {
        const std::uint64_t unit = kPow10[4 - kept];
        q = m / unit + (m % unit >= unit / 2 ? 1 : 0);
    }
    return {q, q / kPow10[kept], q % kPow10[kept]};
}

// Writes the whole part (led by `zeros` zeros, grouped by three when asked) at p;
// returns the end.
char* writeWhole(char* p, std::uint64_t whole, std::size_t zeros, bool group)
{
    char wholeDigits[24];
    char* const wholeEnd = std::to_chars(wholeDigits, wholeDigits + sizeof wholeDigits, whole).ptr;
    const std::size_t total = zeros + static_cast<std::size_t>(wholeEnd - wholeDigits);
    for (std::size_t i = 0; i < total; ++i) {
        if (group && i > 0 && (total - i) % 3 == 0) *p++ = ',';
        *p++ = i < zeros ? '0' : wholeDigits[i - zeros];
    }
    return p;
}

std::size_t decimalDigits(std::uint64_t n)
{
    std::size_t digits = 1;
    for (; n >= 10; n /= 10) ++digits;
    return digits;
}

std::string editShort(Currency value, std::int16_t width, std::int16_t decimals, std::int16_t minus,
                      std::int16_t grouping, std::int16_t suppress, std::int16_t zero)
{
    checkField(width, decimals);
    const auto w = static_cast<std::size_t>(width);
    const std::int64_t raw = value.raw();
    if (zero == 0 && raw == 0) return std::string(w, ' ');

    const int dec = decimals;
    const int kept = dec < 4 ? dec : 4; // decimals taken from the value; zeros follow up to dec
    const RoundedMagnitude r = roundMagnitude(raw, kept);
    std::size_t zeros = 0;
    if (suppress == 0) {
        const std::size_t fill = dec == 0 ? w : w - static_cast<std::size_t>(dec) - 1;
        const std::size_t digits = decimalDigits(r.whole);
        if (digits < fill) zeros = fill - digits;
    }

    char out[128];
    char* p = out;
    if (raw < 0 && minus != 0 && r.rounded != 0) *p++ = '-'; // "-0" is no amount
    p = writeWhole(p, r.whole, zeros, grouping != 0 && width > 3);
    if (dec > 0) {
        *p++ = '.';
        for (int i = kept - 1; i >= 0; --i) *p++ = static_cast<char>('0' + r.fraction / kPow10[i] % 10);
        for (int i = kept; i < dec; ++i) *p++ = '0';
    }
    const auto n = static_cast<std::size_t>(p - out);
    if (n > w) return std::string(w, '*');
    std::string result(w, ' ');
    std::memcpy(result.data() + (w - n), out, n);
    return result;
}

} // namespace

std::string prfNumEdit(Currency value, std::int16_t width, std::int16_t decimals, std::int16_t minus,
                       std::int16_t grouping, std::int16_t suppress, std::int16_t zero)
{
    if (width >= 0 && width <= kShortField && decimals >= 0)
        return editShort(value, width, decimals, minus, grouping, suppress, zero);
    return edit(fromCurrency(value), width, decimals, minus, grouping, suppress, zero);
}

std::string prfNumEditStr(std::string& text, std::int16_t width, std::int16_t decimals, std::int16_t minus,
                          std::int16_t grouping, std::int16_t suppress, std::int16_t zero)
{
    text = text::trim(text);
    Decimal value;
    if (!parseDecimal(text, value)) throwTypeMismatch("数値ではない文字列「" + text + "」は数値編集できません。");
    if (decimals < 0) {
        // Keep the decimals the number was written with.
        const std::size_t point = text.find('.');
        decimals = point == std::string::npos
                       ? 0
                       : toInt16(static_cast<std::int64_t>(text::length(std::string_view(text).substr(point + 1))));
    }
    return edit(value, width, decimals, minus, grouping, suppress, zero);
}

} // namespace kov
