#include "cmnname.h"

namespace kov {

Currency BasCmnName::prfEraConv(Currency date)
{
    // The era table is read afresh on every conversion.
    prsNameRead(4);

    p_strEraKj.clear();
    p_strEraKb.clear();
    p_curEraYmd = Currency();

    // Eras are in calendar order; a start of 0 marks an era that is not defined. A date
    // on a start date already belongs to the era that starts there.
    int era = 3;
    if (p_curNenSt[2].isZero() || date < p_curNenSt[2]) era = 1;
    else if (p_curNenSt[3].isZero() || date < p_curNenSt[3]) era = 2;

    p_strEraKb = p_strNenKb[era];
    p_strEraKj = p_strNenKj[era];

    // Era year 1 is the calendar year of the start: subtract (start year - 1) whole years.
    std::int64_t startYear = p_curNenSt[era].floored() / 10000;
    if (p_curNenSt[era].floored() < 0 && p_curNenSt[era].floored() % 10000 != 0) --startYear;
    p_curEraYmd = date - Currency::fromInt(startYear - 1) * 10000;
    return p_curEraYmd;
}

} // namespace kov
