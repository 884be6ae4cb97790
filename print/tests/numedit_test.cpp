// Numeric edits: every option, rounding of halves, and a field too narrow for its value
// showing asterisks instead of a cut amount.
#include "print/numedit.h"

#include "common/runtimeerror.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using kov::Currency;
using kov::prfNumEdit;
using kov::prfNumEditStr;
using kov::RuntimeError;
using kov::RuntimeErrorKind;

namespace {

struct Row {
    const char* value; // as decimal text, so that the value is exact
    std::int16_t width, decimals, minus, grouping, suppress, zero;
    const char* result;
};

const Row kRows[] = {
    // The worked examples of the edit.
    {"1234567", 10, 0, -1, -1, -1, 0, " 1,234,567"},
    {"-1234567", 10, 0, -1, -1, -1, 0, "-1,234,567"},
    {"0", 10, 0, -1, -1, -1, 0, "          "},
    {"0", 10, 0, -1, -1, -1, -1, "         0"},
    {"12.5", 8, 2, -1, 0, -1, -1, "   12.50"},
    {"0.125", 6, 2, -1, 0, -1, -1, "  0.13"},
    {"123", 5, 0, 0, 0, 0, -1, "00123"},
    {"-45", 6, 0, 0, 0, -1, -1, "    45"},
    // Too wide for the field: asterisks, never the rightmost characters.
    {"987654", 5, 0, -1, -1, -1, -1, "*****"},
    {"1000", 3, 0, -1, -1, -1, -1, "***"},
    {"123", 8, 0, 0, -1, 0, -1, "********"}, // "00,000,123" does not fit in 8
    {"-45", 6, 0, -1, 0, 0, -1, "******"}, // "-000045": the sign has no room
    {"-1234567", 9, 0, -1, -1, -1, -1, "*********"},
    {"99.995", 5, 2, -1, 0, -1, -1, "*****"}, // rounds up to 100.00
    // Fits exactly.
    {"999", 3, 0, -1, -1, -1, -1, "999"}, // width 3: no separator
    {"-1234567", 10, 0, -1, -1, -1, -1, "-1,234,567"},
    {"99.995", 6, 2, -1, 0, -1, -1, "100.00"},
    // Zero.
    {"0", 4, 2, -1, 0, -1, -1, "0.00"},
    {"0", 4, 2, -1, 0, -1, 0, "    "},
    {"0", 5, 0, -1, 0, 0, -1, "00000"},
    {"0", 0, 0, -1, -1, -1, -1, ""},
    // Halves away from zero, on the absolute value.
    {"0.5", 3, 0, -1, 0, -1, -1, "  1"},
    {"-0.5", 3, 0, -1, 0, -1, -1, " -1"},
    {"2.5", 3, 0, -1, 0, -1, -1, "  3"},
    {"-2.5", 3, 0, -1, 0, -1, -1, " -3"},
    {"1.4999", 3, 0, -1, 0, -1, -1, "  1"},
    {"0.005", 5, 2, -1, 0, -1, -1, " 0.01"},
    {"-0.005", 6, 2, -1, 0, -1, -1, " -0.01"},
    {"-0.125", 6, 2, -1, 0, -1, -1, " -0.13"},
    {"0.0049", 5, 2, -1, 0, -1, -1, " 0.00"},
    // A value that is not zero but rounds to it shows no sign.
    {"-0.4", 3, 0, -1, 0, -1, -1, "  0"},
    {"-0.0001", 5, 2, -1, 0, -1, 0, " 0.00"},
    // Sign shown or not.
    {"-1500", 8, 0, 0, -1, -1, -1, "   1,500"},
    {"-1500", 8, 0, -1, -1, -1, -1, "  -1,500"},
    // Zero fill: to the width, or to the width less point and decimals.
    {"7", 2, 0, -1, -1, 0, -1, "07"},
    {"3.5", 6, 2, -1, 0, 0, -1, "003.50"},
    {"-3.5", 7, 2, 0, 0, 0, -1, "0003.50"},
    {"1234", 9, 0, -1, -1, 0, -1, "*********"}, // "000,001,234" does not fit in 9
    // Grouping of the integer part only.
    {"1234567.891", 14, 2, -1, -1, -1, -1, "  1,234,567.89"},
    {"1000", 4, 0, -1, -1, -1, -1, "****"}, // "1,000" in 4
    {"1000", 5, 0, -1, -1, -1, -1, "1,000"},
    {"100", 4, 0, -1, -1, -1, -1, " 100"},
    // More decimals than a fixed-point number holds: zeros follow its four.
    {"1.2345", 9, 6, -1, 0, -1, -1, " 1.234500"},
};

} // namespace

TEST(NumEdit, Table)
{
    for (const Row& r : kRows) {
        EXPECT_EQ(prfNumEdit(Currency::parse(r.value), r.width, r.decimals, r.minus, r.grouping, r.suppress, r.zero),
                  r.result)
            << r.value << " width " << r.width << " decimals " << r.decimals;
    }
}

TEST(NumEdit, TextEditTrimsTheCallersTextAndKeepsItsDecimals)
{
    const struct {
        const char* in;
        std::int16_t width, decimals;
        const char* trimmed;
        const char* result;
    } rows[] = {
        {" 3.50 ", 6, -1, "3.50", "  3.50"},
        {"3.50", 6, 0, "3.50", "     4"},
        {"3.5", 6, 2, "3.5", "  3.50"},
        {"  12", 4, -1, "12", "  12"},
        {"12.", 4, -1, "12.", "  12"},
        {"-0.125", 6, -1, "-0.125", "-0.125"},
        {".5", 4, -1, ".5", " 0.5"},
        {"+7", 2, -1, "+7", " 7"},
        // A text keeps every decimal it was written with, beyond what a fixed-point number holds.
        {"1.234567", 9, -1, "1.234567", " 1.234567"},
        {"1.234565", 8, 5, "1.234565", " 1.23457"},
        {"12345678901234567890", 20, -1, "12345678901234567890", "12345678901234567890"},
    };
    for (const auto& r : rows) {
        std::string text = r.in;
        EXPECT_EQ(prfNumEditStr(text, r.width, r.decimals, -1, 0, -1, -1), r.result) << r.in;
        EXPECT_EQ(text, r.trimmed);
    }
}

TEST(NumEdit, BadArgumentsAreRunTimeErrors)
{
    auto kindOf = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const RuntimeError& e) {
            return e.kind();
        }
        ADD_FAILURE() << "no RuntimeError raised";
        return RuntimeErrorKind::ObjectCreation;
    };
    const Currency v = Currency::fromInt(1);
    EXPECT_EQ(kindOf([&] { prfNumEdit(v, 3, 2, -1, 0, -1, -1); }), RuntimeErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf([&] { prfNumEdit(v, 1, 1, -1, 0, -1, -1); }), RuntimeErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf([&] { prfNumEdit(v, -1, 0, -1, 0, -1, -1); }), RuntimeErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf([&] { prfNumEdit(v, 5, -1, -1, 0, -1, -1); }), RuntimeErrorKind::InvalidArgument);
    EXPECT_EQ(prfNumEdit(v, 4, 2, -1, 0, -1, -1), "1.00"); // the narrowest field for two decimals

    for (const char* bad : {"", "   ", "abc", "1.2.3", "1,000", "--1", "-", ".", "1e3", "１２"}) {
        std::string text = bad;
        EXPECT_EQ(kindOf([&] { prfNumEditStr(text, 8, 0, -1, 0, -1, -1); }), RuntimeErrorKind::TypeMismatch)
            << "\"" << bad << "\"";
    }
    std::string text = " 12 ";
    EXPECT_EQ(kindOf([&] { prfNumEditStr(text, 3, 2, -1, 0, -1, -1); }), RuntimeErrorKind::InvalidArgument);
}

// The edit of a fixed-point value works on integers; the edit of its decimal text works
// on digits: both give the same field for every value and option.
TEST(NumEdit, ValueAndItsTextEditAlike)
{
    std::vector<std::int64_t> raws = {
        0,     1,      -1,        4999,         5000,           -5000,     5001,          49999,    50000,
        99995, -99995, 123456789, 999999999999, -1000000000000, INT64_MAX, INT64_MIN + 1, INT64_MIN};
    std::uint64_t x = 88172645463325252ULL; // xorshift: a repeatable spread of values
    for (int i = 0; i < 400; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        raws.push_back(static_cast<std::int64_t>(x) >> (i % 60));
    }
    for (const std::int64_t raw : raws) {
        const Currency v = Currency::fromRaw(raw);
        for (const std::int16_t width : {0, 3, 4, 8, 12, 25, 40})
            for (const std::int16_t decimals : {0, 1, 2, 3, 4, 6})
                for (const int options : {0, 5, 10, 15, 3, 12}) {
                    if (decimals > 0 && width < decimals + 2) continue;
                    const std::int16_t minus = options & 1 ? -1 : 0, grouping = options & 2 ? -1 : 0,
                                       suppress = options & 4 ? -1 : 0, zero = options & 8 ? -1 : 0;
                    std::string text = v.toString();
                    EXPECT_EQ(prfNumEdit(v, width, decimals, minus, grouping, suppress, zero),
                              prfNumEditStr(text, width, decimals, minus, grouping, suppress, zero))
                        << raw << " width " << width << " decimals " << decimals << " options " << options;
                }
    }
}
