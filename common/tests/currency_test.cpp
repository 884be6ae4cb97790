// Fixed-point numbers: halves away from zero, range checks, 16-bit conversions.
#include "common/currency.h"
#include "common/dataaccess/dataaccess.h"
#include "common/runtimeerror.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <utility>
#include <vector>

using kov::Currency;
using kov::RuntimeError;
using kov::RuntimeErrorKind;

namespace {
Currency C(const char* s) { return Currency::parse(s); }
// Rows of a table: an input and what it gives.
template <class T>
using Rows = std::vector<std::pair<const char*, T>>;

template <class F>
RuntimeErrorKind errorKind(F f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no RuntimeError";
    return RuntimeErrorKind::InvalidArgument;
}
} // namespace

TEST(Currency, RoundingHalvesAwayFromZero)
{
    for (auto [s, want] : Rows<std::int64_t>{{"2.5", 3}, {"-2.5", -3}, {"-2.4999", -2}, {"-0.5", -1}, {"0.4999", 0}})
        EXPECT_EQ(C(s).rounded(), want) << s;
    for (auto [s, want] : Rows<std::int64_t>{{"-2.5", -3}, {"2.5", 2}, {"-3", -3}})
        EXPECT_EQ(C(s).floored(), want) << s;
    EXPECT_EQ(C("-1.005").roundedTo(2), C("-1.01"));
    EXPECT_EQ(C("1.005").roundedTo(2), C("1.01"));
    EXPECT_EQ(C("-2.5").toFixed(0), "-3");
    EXPECT_EQ(C("-0.4").toFixed(0), "0"); // no sign for zero
    EXPECT_EQ(C("-2.5").truncated(), -2);
}

TEST(Currency, ParseRoundsTheFifthDecimal)
{
    for (auto [s, raw] : Rows<std::int64_t>{{"-0.00005", -1}, {"0.00005", 1}, {"0.000049999", 0}, {"1.23456", 12346}})
        EXPECT_EQ(C(s).raw(), raw) << s;
    for (auto [s, raw] : Rows<std::int64_t>{{"-1.23455", -12346}, {" 12 ", 120000}, {".5", 5000}, {"5.", 50000}})
        EXPECT_EQ(C(s).raw(), raw) << s;
    EXPECT_EQ(C("+7").raw(), 70000);
    EXPECT_EQ(C("-0").raw(), 0);
}

TEST(Currency, ParseRejectsWhatIsNoNumber)
{
    for (const char* s : {"", " ", "-", ".", "abc", "1e5", "1,000", "1.2.3", "- 1", "１２", "1-2345678901234567"})
        EXPECT_EQ(errorKind([&] { (void)C(s); }), RuntimeErrorKind::TypeMismatch) << s;
    Currency c;
    EXPECT_FALSE(Currency::tryParse("x", c));
}

TEST(Currency, Int64EdgesAndOverflow)
{
    EXPECT_EQ(C("922337203685477.5807").raw(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(C("-922337203685477.5808").raw(), std::numeric_limits<std::int64_t>::min());
    // Fifteen digits can be out of range too: a number that is too large is an overflow,
    // not a type mismatch.
    for (const char* s : {"922337203685477.5808", "99999999999999999999", "-922337203685478", "999999999999999",
                          "922337203685477.99995"})
        EXPECT_EQ(errorKind([&] { (void)C(s); }), RuntimeErrorKind::Overflow) << s;
    const Currency max = Currency::fromRaw(std::numeric_limits<std::int64_t>::max());
    const Currency min = Currency::fromRaw(std::numeric_limits<std::int64_t>::min());
    const std::function<void()> overflows[] = {
        [&] { (void)(max + Currency::fromRaw(1)); },
        [&] { (void)(min - Currency::fromRaw(1)); },
        [&] { (void)-min; },
        [&] { (void)min.abs(); },
        [&] { (void)(max * 2); },
        [&] { (void)(max * C("1.0001")); },
        [] { (void)Currency::fromInt(std::numeric_limits<std::int64_t>::max() / 10000 + 1); },
        [] { (void)Currency::fromDouble(1e300); },
        [] { (void)Currency::fromDouble(std::numeric_limits<double>::quiet_NaN()); }};
    for (const auto& f : overflows) EXPECT_EQ(errorKind(f), RuntimeErrorKind::Overflow) << &f - overflows;
    EXPECT_EQ(max.toString(), "922337203685477.5807");
    EXPECT_EQ(min.toString(), "-922337203685477.5808");
    EXPECT_EQ(max.rounded(), 922337203685478);
    EXPECT_EQ(min.rounded(), -922337203685478);
    EXPECT_EQ(min.toFixed(4), "-922337203685477.5808");
}

TEST(Currency, ProductRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(C("1.5") * C("-1.5"), C("-2.25"));
    EXPECT_EQ(C("0.0001") * C("0.5"), C("0.0001"));
    EXPECT_EQ(C("-0.0001") * C("0.5"), C("-0.0001"));
    EXPECT_EQ(C("0.0001") * C("0.4999"), C("0"));
    EXPECT_EQ(C("123456.78") * 3, C("370370.34"));
}

TEST(Currency, FromDoubleRoundsToFourDecimals)
{
    EXPECT_EQ(Currency::fromDouble(4.084).raw(), 40840);
    EXPECT_EQ(Currency::fromDouble(-0.00005).raw(), -1);
    EXPECT_EQ(Currency::fromDouble(0.125).toString(), "0.125");
    EXPECT_EQ(Currency::fromDouble(-2.5).rounded(), -3);
}

TEST(Currency, Texts)
{
    for (auto [s, text] : Rows<const char*>{{"12.5", "12.5"}, {"-0.05", "-0.05"}, {"100", "100"}, {"0", "0"}})
        EXPECT_EQ(C(s).toString(), text) << s;
    // No sign on a value that rounds to zero.
    for (auto [s, text] : Rows<const char*>{{"1.23456", "1.235"}, {"-0.0004", "0.000"}, {"-0.0005", "-0.001"}})
        EXPECT_EQ(C(s).toFixed(3), text) << s;
    EXPECT_EQ(C("2").toFixed(2), "2.00");
    EXPECT_EQ(errorKind([] { (void)C("1").toFixed(5); }), RuntimeErrorKind::InvalidArgument);
}

TEST(Currency, Int16Range)
{
    EXPECT_EQ(kov::toInt16(std::int64_t{32767}), 32767);
    EXPECT_EQ(kov::toInt16(std::int64_t{-32768}), -32768);
    EXPECT_EQ(errorKind([] { (void)kov::toInt16(std::int64_t{32768}); }), RuntimeErrorKind::Overflow);
    EXPECT_EQ(errorKind([] { (void)kov::toInt16(std::int64_t{-32769}); }), RuntimeErrorKind::Overflow);
    EXPECT_EQ(kov::toInt16(C("32767.4999")), 32767);
    EXPECT_EQ(errorKind([] { (void)kov::toInt16(C("32767.5")); }), RuntimeErrorKind::Overflow);
    EXPECT_EQ(kov::toInt16(C("-32768.4")), -32768);
    EXPECT_EQ(errorKind([] { (void)kov::toInt16(C("-32768.5")); }), RuntimeErrorKind::Overflow);
    EXPECT_EQ(kov::toInt16(-2.5), -3);
    EXPECT_EQ(errorKind([] { (void)kov::toInt16(1e10); }), RuntimeErrorKind::Overflow);
    EXPECT_EQ(kov::toInt16(std::string_view(" 45 ")), 45);
    EXPECT_EQ(errorKind([] { (void)kov::toInt16(std::string_view("4a")); }), RuntimeErrorKind::TypeMismatch);
    EXPECT_EQ(kov::addInt16(32766, 1), 32767);
    EXPECT_EQ(errorKind([] { (void)kov::addInt16(32767, 1); }), RuntimeErrorKind::Overflow);
    EXPECT_EQ(errorKind([] { (void)kov::addInt16(-32768, -1); }), RuntimeErrorKind::Overflow);
}

// What the clerk reads: the value that did not fit or was no number, and where the run
// was (the column, then the record, as the callers add them).
TEST(Currency, ErrorsNameTheValueAndWhereTheRunWas)
{
    using kov::dataaccess::DbValue;
    const Currency max = Currency::fromRaw(std::numeric_limits<std::int64_t>::max());
    struct Case {
        const char* name;
        std::function<void()> run;
        std::string message;
    };
    const Case cases[] = {
        {"sum", [&] { (void)(max + Currency::fromInt(1)); },
         "オーバーフローしました。\r\n計算「922337203685477.5807 + "
         "1」の結果が扱える範囲（±922337203685477.5807）を超えます。"},
        {"text too large in a column, with the record",
         [] {
             kov::withErrorContext("SKSYKEI の職員コード「000123」", [] {
                 return kov::dataaccess::toCurrency(DbValue(std::string("99999999999999999999")), "KENKO");
             });
         },
         "オーバーフローしました。\r\n値「99999999999999999999」が扱える範囲（±922337203685477.5807）を超えます。\r\n"
         "列「KENKO」、SKSYKEI の職員コード「000123」"},
        {"text in a number column", [] { kov::dataaccess::toCurrency(DbValue(std::string("abc")), "SIKYUG"); },
         "型が一致しません。\r\n「abc」は数値ではありません。\r\n列「SIKYUG」"},
        {"16-bit count", [] { kov::dataaccess::toInt16(DbValue(std::int64_t{40000}), "KENSU"); },
         "オーバーフローしました。\r\n値「40000」が整数の範囲（-32768 ～ 32767）を超えます。\r\n列「KENSU」"},
    };
    for (const Case& c : cases) {
        try {
            c.run();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.userMessage(), c.message) << c.name;
        }
    }
}
