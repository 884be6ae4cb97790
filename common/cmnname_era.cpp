#include "cmnname.h"

namespace kov {

Currency BasCmnName::prfEraConv(Currency date)
{
    // The era table is read afresh on every conversion.
    const NameGroup eras = prsNameRead(4);

    p_strEraKj.clear();
    p_strEraKb.clear();
    p_curEraYmd = Currency();

    // Eras are in calendar order; a start of 0 marks an era that is not defined. A date
    // on a start date already belongs to the era that starts there.
    const std::array<Currency, 4>& starts = eras.eraStarts;
    std::size_t era = 3;
    if (starts[2].isZero() || date < starts[2]) era = 1;
    else if (starts[3].isZero() || date < starts[3]) era = 2;

    p_strEraKb = eras.eraLetters[era];
    p_strEraKj = eras.eraNames[era];

    // Era year 1 is the calendar year of the start: subtract (start year - 1) whole years.
    std::int64_t startYear = starts[era].floored() / 10000;
    if (starts[era].floored() < 0 && starts[era].floored() % 10000 != 0) --startYear;
    p_curEraYmd = date - Currency::fromInt(startYear - 1) * 10000;
    return p_curEraYmd;
}

EraDate BasCmnName::eraDate(Currency date)
{
    const Currency ymd = prfEraConv(date);
    return EraDate{p_strEraKj, p_strEraKb, ymd};
}

} // namespace kov
