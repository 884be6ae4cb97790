#include "era.h"

#include "common/runtimeerror.h"
#include "common/text.h"

#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>

namespace kov {

namespace {

// A "0" at the 1-based character position becomes a blank; a position past the end is
// left alone.
void blankZeroAt(std::string& s, std::size_t pos)
{
    if (pos == 0 || pos > text::length(s)) return;
    if (text::mid(s, pos, 1) != "0") return;
    s = text::left(s, pos - 1) + " " + text::mid(s, pos + 1);
}

// The era-relative date as at least six digits, zero-filled ("050601").
std::string eraDigits(Currency eraYmd)
{
    const std::int64_t v = eraYmd.rounded();
    const std::uint64_t m = v < 0 ? 0ULL - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string digits = std::to_string(m);
    if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
    return (v < 0 ? "-" : "") + digits;
}

// The layouts of the format codes: %J the era name, %K the letter, %y %m %d the two
// digits of year, month and day; the rest as it stands.
struct EraLayout {
    std::string_view code;
    std::string_view display; // mode "DSP"
    std::string_view other; // any other mode
};

constexpr EraLayout kLayouts[] = {
    {"JYMD", "%J%y年%m月%d日", "%J %y 年 %m 月 %d 日"},
    {"JYM", "%J%y年%m月", "%J %y 年 %m 月"},
    {"JY", "%J%y年", "%J %y 年"},
    {"KYMD", "%K %y.%m.%d", "%K %y.%m.%d"},
    {"KYM", "%K %y.%m", "%K %y.%m"},
    {"KY", "%K %y", "%K %y"},
};

// The summary report's formatter has these before the others: its "KYMD" has no blank
// after the letter.
constexpr EraLayout kExtendedLayouts[] = {
    {"KYMD", "%K%y.%m.%d", "%K%y.%m.%d"},
    {"YMD", "%y.%m.%d", "%y.%m.%d"},
    {"YM", "%y年%m月", "%y年%m月"},
    {"MD", "%m.%d", "%m.%d"},
    {"J", "%J", "%J"},
    {"Y", "%y", "%y"},
    {"M", "%m", "%m"},
    {"D", "%d", "%d"},
};

// The layout of the code for the mode; empty for an unknown code.
std::string_view layoutOf(std::string_view format, bool dsp, bool extended)
{
    if (extended) {
        for (const EraLayout& l : kExtendedLayouts)
            if (l.code == format) return dsp ? l.display : l.other;
    }
    for (const EraLayout& l : kLayouts)
        if (l.code == format) return dsp ? l.display : l.other;
    return {};
}

std::string expandLayout(std::string_view layout, const EraDate& date)
{
    const std::string digits = eraDigits(date.ymd);
    std::string out;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i] != '%' || i + 1 == layout.size()) {
            out += layout[i];
            continue;
        }
        switch (layout[++i]) {
        case 'J':
            out += text::trim(date.name);
            break;
        case 'K':
            out += text::trim(date.letter);
            break;
        case 'y':
            out += text::mid(digits, 1, 2);
            break;
        case 'm':
            out += text::mid(digits, 3, 2);
            break;
        case 'd':
            out += text::mid(digits, 5, 2);
            break;
        default:
            out += layout[i];
            break;
        }
    }
    return out;
}

// The formatter of the screens and reports; `extended` adds the codes and the mode
// "PRT1" of the summary report's formatter.
std::string formatEra(const EraDate& date, std::string_view format, std::string_view mode, std::string_view suffix,
                      bool extended)
{
    const bool dsp = mode == "DSP";
    std::string out = expandLayout(layoutOf(format, dsp, extended), date);

    // Leading zeros of year, month and day are blanked where they stand in the layouts
    // of a two-character era name.
    if (dsp) {
        for (std::size_t pos : {3, 6, 9}) blankZeroAt(out, pos);
    } else if (mode == "PRT") {
        for (std::size_t pos : {4, 9, 14}) blankZeroAt(out, pos);
    } else if (extended && mode == "PRT1") {
        for (std::size_t pos : {1, 4}) blankZeroAt(out, pos);
    }

    if (suffix == "B") out += "分";
    else if (suffix == "NB") out += "度分";
    return out;
}

} // namespace

std::string prfEraFormat(const EraDate& date, std::string_view format, std::string_view mode, std::string_view suffix)
{
    return formatEra(date, format, mode, suffix, false);
}

std::string prfChgDateFormat(const EraDate& date, std::string_view format, std::string_view mode,
                             std::string_view suffix)
{
    return formatEra(date, format, mode, suffix, true);
}

std::string prfChgDate(BasCmnName& names, Currency date, std::string_view format, std::string_view mode,
                       std::string_view suffix)
{
    return prfChgDateFormat(names.eraDate(date), format, mode, suffix);
}

Currency prfDatePart(Currency value, std::string_view part)
{
    std::size_t start = 1, count = 8;
    if (part == "YMD" || part == "ymd") {
        start = 1;
        count = 8;
    } else if (part == "YM" || part == "ym") {
        start = 1;
        count = 6;
    } else if (part == "Y" || part == "y") {
        start = 1;
        count = 4;
    } else if (part == "MD" || part == "md") {
        start = 5;
        count = 4;
    } else if (part == "M" || part == "m") {
        start = 5;
        count = 2;
    } else if (part == "D" || part == "d") {
        start = 7;
        count = 2;
    }

    const std::string digits = value.toString();
    // A day needs all eight digits: "D" or "MD" of a shorter value (a YYYYMM month) would
    // find no day, or the month in its place, so such a value has day part 0. Any part
    // whose characters are missing altogether is 0 as well.
    if (start + count - 1 == 8 && start > 1 && text::length(digits) < 8) return Currency();
    const std::string piece = text::mid(digits, start, count);
    if (piece.empty()) return Currency();
    Currency result;
    if (!Currency::tryParse(piece, result))
        throwTypeMismatch("日付「" + digits + "」から「" + std::string(part) + "」を取り出せません。");
    return result;
}

std::string japaneseCalendarHeading(int year, int month, int day)
{
    // Every page of a run asks for the same date: the last one is kept (making ICU's
    // formatter costs more than the rest of a page).
    struct Last {
        int year = 0, month = 0, day = 0;
        std::string heading;
    };
    thread_local Last last;
    if (!last.heading.empty() && last.year == year && last.month == month && last.day == day) return last.heading;

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale("ja_JP@calendar=japanese");
    // The calendar date is fixed at noon of a zone without daylight saving, and the
    // formatter reads it in the same zone, so the day never shifts.
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::getGMT()->clone());
    icu::GregorianCalendar gregorian(*zone, status);
    gregorian.setLenient(false);
    gregorian.clear();
    gregorian.set(year, month - 1, day, 12, 0, 0);
    const UDate when = gregorian.getTime(status);
    if (U_FAILURE(status))
        throwInvalidArgument("日付 " + std::to_string(year) + "年" + std::to_string(month) + "月" +
                             std::to_string(day) + "日は暦にありません。");

    // "y=latn" keeps the era year in ASCII digits: without it the Japanese calendar writes
    // the first year of an era as "元" and drops the leading zero.
    icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8("GGGG yy年MM月分"), icu::UnicodeString("y=latn"),
                                    locale, status);
    if (U_FAILURE(status))
        throwInvalidArgument(std::string("和暦の書式を作成できません。(") + u_errorName(status) + ")");
    formatter.setTimeZone(*zone);
    icu::UnicodeString formatted;
    formatter.format(when, formatted);
    std::string out;
    formatted.toUTF8String(out);
    last = Last{year, month, day, out};
    return out;
}

} // namespace kov
